// The chunks of the chunked module formats (DigiBooster Pro, Oktalyzer,
// Digitrakker): an ID of 2 or 4 bytes, a 32-bit length, then the body, one
// after another to the end of the input.
#pragma once

#include <array>
#include <cstdint>

#include "driver/run_state.h"

namespace trk2inst {

struct ModuleChunk {
    std::array<char, 4> id{};
    std::int64_t body = 0;  // its first byte
    std::int64_t size = 0;  // as stored: it may run past the end of the input

    std::int64_t end() const { return body + size; }
    bool is(const char* name) const;
};

struct ChunkWalk {
    std::int64_t next = 0;        // where the next chunk's ID is
    std::int64_t input_size = 0;  // no chunk starts whose ID and length do not fit
    int id_bytes = 4;
    bool big_endian = true;
};

// The chunk at walk.next, and the walk moved past it; false at the end. Each
// step moves at least 6 bytes on, so a walk ends within the input.
bool next_chunk(InputStream& input, ChunkWalk& walk, ModuleChunk& chunk);

// The first chunk of the ID from the walk's start; false, leaving `chunk`
// as it was, when there is none.
bool find_chunk(InputStream& input, ChunkWalk walk, const char* id, ModuleChunk& chunk);

}  // namespace trk2inst
