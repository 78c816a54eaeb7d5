// Samples whose values lie plainly at an offset of a seekable input, in one of
// a few codings: a reader describes the sample's header and layout, and this
// stores it in the list, converted for the record, with its source sample.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "driver/run_state.h"
#include "readers/sample_conversion.h"

namespace trk2inst {

struct StoredSample {
    std::string_view name;       // as stored; cut at its first zero byte and at 22 bytes
    std::uint8_t volume = 64;    // 0..64
    StoredLayout layout;         // frames 0: no data
    bool loops = false;
    bool ping_pong = false;
    std::int64_t loop_start = 0;  // frames
    std::int64_t loop_end = 0;    // frames, exclusive
    // The pitch: a rate in Hz at the tracker's middle C, as a Scream Tracker 3
    // C2Spd; or, when 0, a transposition and a ProTracker finetune.
    std::uint32_t rate = 0;
    std::int8_t note = 0;         // semitones
    std::uint8_t finetune = 0;    // a signed nibble, 1/8 semitone
};

// A name field as stored, of up to 32 bytes.
using NameField = std::array<char, 32>;

// Reads a name field of `size` bytes (at most 32); the view covers all of it.
std::string_view read_name_field(InputStream& input, NameField& field, std::size_t size);

// The listing's head: a four-character tag and the header's counts, with no
// expected length.
void set_listing(ModuleSummary& summary, const char* tag, std::int64_t channels, std::int64_t patterns);

// Bytes one stored value of the layout takes.
int stored_value_bytes(const StoredLayout& layout);

// Decodes `count` values of one channel from bytes of the layout's coding
// (for mdl_packed, from the layout's packed_bytes bytes).
void decode_stored_values(const StoredLayout& layout, const std::uint8_t* bytes, std::int16_t* out,
                          std::size_t count);

// Digitrakker's packed values (8 or 16 bits) from a stream of `size` bytes:
// decodes up to `count` of them into out and returns how many the stream
// holds whole; the values after those are 0.
std::size_t unpack_mdl_values(const std::uint8_t* stream, std::size_t size, int bits, std::int16_t* out,
                              std::size_t count);

// The most values a packed stream of `bytes` bytes can hold: each takes at
// least 5 bits (8-bit) or 13 (16-bit).
std::int64_t most_packed_values(std::int64_t bytes, int bits);

// Fills sample `number` of the list (growing it) from the description; a
// sample with data gets the record's fields, its data when it has a slot, and
// its source sample, whose values are read again when written. Notes a sample
// that the input ends inside. One set of decoding buffers serves every
// sample of the run.
void store_sample(RunState& state, int number, const StoredSample& sample);

// How many of the `claimed` samples of a module a reader goes through: the
// record table's, and past it, when the run gives every sample out, up to
// sample_limit (noting those left out).
int samples_to_read(RunState& state, std::int64_t claimed);

// Whether sample `number`, whose header starts at `header`, is read: one of
// the record table always (a header past the end reads as zeros), one past it
// only when its header starts inside the input. Notes a header past the end.
bool sample_header_read(RunState& state, int number, std::int64_t header);

// "s" and "x": the WAV data of a stored sample, decoded again.
void decode_stored_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav);

}  // namespace trk2inst
