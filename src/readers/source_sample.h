// The source sample of a slot: the values its module stores, with their width,
// channels, loops and rate. The readers describe it; "s", "x" and "j" read it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "driver/run_state.h"

namespace trk2inst {

// The rate at which a note byte (signed semitones) and an ft_nibbles finetune
// play: 8363 Hz moved by 128 n + f in 1/1536 of an octave, at least 1 Hz.
std::uint32_t rate_from_pitch(std::int8_t note, std::uint8_t finetune);

// Appends a loop of the frames [start, end) as the module defines it.
void add_source_loop(SourceShape& shape, bool ping_pong, bool sustain, std::int64_t start,
                     std::int64_t end);

// Called by a reader once the slot's data are stored. Cuts the loops to the
// frames; `as_they_stand` tells that the slot's data begin with the values
// unchanged (8-bit mono, nothing put in front or repeated).
void describe_source(SampleSlot& slot, SourceShape shape, bool as_they_stand);

// The WAV data chunk of `frames` values of each channel: 8-bit values with
// their top bit flipped, 16-bit ones little-endian, stereo frames interleaved.
void encode_wav_data(int bits, std::span<const std::int16_t> left,
                     std::span<const std::int16_t> right, std::int64_t frames,
                     std::vector<std::uint8_t>& out);

// After describe_source, for "s" and "x": keeps the decoded values where the
// slot's data do not hold them, or, when a reader that seeks would keep more
// than the input holds or the sample lies past the record table, leaves them
// to be decoded again from the header at header_offset. `right` is ignored
// for mono samples.
void keep_source_values(RunState& state, SampleSlot& slot, std::span<const std::int16_t> left,
                        std::span<const std::int16_t> right, std::int64_t header_offset,
                        bool may_decode_again);

// After describe_source, for a reader whose values cost no more to decode
// again than to keep (stored as they are, read by seeking): leaves them to be
// decoded from the header at header_offset when they are written.
void decode_source_values_when_written(SampleSlot& slot, std::int64_t header_offset);

// The source shape of a slot: under "=A" what its reader described; in the
// other forms the slot's data as "w" writes them with a key offset of 0.
SourceShape source_shape(const RunState& state, std::size_t index);

// The slot's data as "w" writes them with a key offset of 0.
SourceShape record_source_shape(const SampleSlot& slot);

// Whether the values of a slot come from what the reader described ("=A").
bool has_described_source(const RunState& state, std::size_t index);

// The values of a slot's source sample where they are: the slot's data
// (signed 8-bit, mono), or bytes as WAV's data chunk holds them.
struct SourceData {
    std::span<const std::uint8_t> bytes;
    bool signed_bytes = false;  // the slot's data
};

// The one way to the values of source_shape(state, index): those decoded
// again go into `scratch`, which must outlive the result.
SourceData source_data(RunState& state, std::size_t index, std::vector<std::uint8_t>& scratch);

}  // namespace trk2inst
