// Impulse Tracker sample compression (IT 2.14 and 2.15): each channel is cut
// into blocks of at most 0x8000 values (8-bit) or 0x4000 (16-bit), each block a
// 16-bit byte count and a bit stream of values and width changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/run_state.h"

namespace trk2inst {

struct ItCompression {
    bool sixteen_bit = false;
    bool it215 = false;  // values are second differences, not first
};

// The most values one block holds.
std::int64_t it_block_values(const ItCompression& kind);

// Decodes up to `count` values from one block's bit stream of `size` bytes,
// which must be followed by 8 readable bytes (zeros). Stops early, returning
// how many values it wrote, where the stream runs out or asks for a width it
// cannot have; the caller leaves the rest of the block zero.
std::size_t decode_it_block(const std::uint8_t* stream, std::size_t size, const ItCompression& kind,
                            std::int16_t* out, std::size_t count);

struct ItChannelRead {
    // The offset after the channel's last block (at least the file size when
    // the file ends first, or when the blocks were not all walked).
    std::int64_t end = 0;
    // With whole_source: how many values lie in the file, counted up to the
    // first block that gives fewer than it holds (cut off or damaged).
    std::int64_t source_values = 0;
    // With find_end: every block of the channel lies inside the file.
    bool complete = false;
};

// Reads the blocks of one channel of `length` values, starting at `offset` in
// a file of `file_size` bytes, into the front of `out` (which grows as need
// be, and may hold more): at least its first `keep` values, zeros where the
// stream lacks them, and with `whole_source` every value up to the first
// block that falls short. With `find_end` the blocks after those are
// walked too, to find where the channel ends and whether the file holds it.
ItChannelRead read_it_compressed_channel(InputStream& input, std::int64_t offset,
                                         std::int64_t file_size, const ItCompression& kind,
                                         std::int64_t length, std::vector<std::int16_t>& out,
                                         std::int64_t keep, bool whole_source, bool find_end);

}  // namespace trk2inst
