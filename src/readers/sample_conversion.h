// The one way from a decoded sample of any width and channel count to a slot:
// mono, then 8 bits, then a loop on whole words, then the record's length
// limit. Each reader decodes its own format into values and hands them here.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "driver/run_state.h"

namespace trk2inst {

// A sample as its module describes it, in values (points of one channel).
struct SampleShape {
    int bits = 8;                 // 8 or 16: the range of the values
    bool stereo = false;          // the left channel's values, then the right's
    std::int64_t length = 0;      // values in each channel
    bool loops = false;           // a forward loop
    std::int64_t loop_begin = 0;  // the loop's first value
    std::int64_t loop_end = 0;    // the first value after the loop
};

// No slot keeps more values than this, so no reader decodes more per channel.
inline constexpr std::int64_t max_kept_values = 2 * max_slot_words;

// How many values of each channel the reader decodes: min(length, max_kept_values).
std::int64_t values_to_keep(const SampleShape& shape);

// Decoded values of one channel, as signed numbers of the shape's width
// (-128..127 or -32768..32767).
using SampleValues = std::vector<std::int16_t>;

// What a reader decodes into, kept for the whole module: one sample after
// another reuses them instead of leaving holes in the heap between the slots.
struct DecodeBuffers {
    std::array<SampleValues, 2> channels;  // left (or mono), right
    std::vector<std::uint8_t> bytes;
};

// Values stored one after another, 1 byte (8-bit) or 2 (16-bit, little-endian
// unless big_endian) each; unsigned ones lose half their range.
void decode_pcm(const std::uint8_t* bytes, int bits, bool is_unsigned, bool big_endian,
                std::int16_t* out, std::size_t count);

// The record's length and loop of the shape, converted, without data; returns
// what store_converted_sample returns.
bool set_record_fields(SampleSlot& slot, const SampleShape& shape);

// ModPlug's 4-bit ADPCM, in every family that stores it: a table of 16
// signed steps, then two steps a byte, low nibble first, summed from 0 in 8
// bits. A sample of n values takes the table and (n + 1) / 2 bytes.
inline constexpr std::int64_t adpcm_table_size = 16;
using AdpcmTable = std::array<std::uint8_t, adpcm_table_size>;

void decode_adpcm(const AdpcmTable& table, const std::uint8_t* packed, std::int16_t* out, std::size_t count);

// The bytes a packed sample of `count` values takes, its table included.
constexpr std::int64_t adpcm_stored_bytes(std::int64_t count)
{
    return adpcm_table_size + (count + 1) / 2;
}

// Of a packed sample of `count` values, how many the input holds when it
// holds `present` of its stored bytes: none without the whole table.
constexpr std::int64_t adpcm_values_present(std::int64_t count, std::int64_t present)
{
    return present < adpcm_table_size ? 0 : std::min(count, 2 * (present - adpcm_table_size));
}

// Converts the values into the slot's data, length and loop; the slot's other
// fields stay as the reader set them. Each channel holds at least
// values_to_keep(shape) values (`right` is not read for a mono shape), else
// nothing is stored. A sample past the record table gets the length and loop
// alone, and its values are not read. Returns whether the data begin with
// the values as they stand: 8-bit mono, nothing put in front and no loop
// written twice.
bool store_converted_sample(SampleSlot& slot, const SampleShape& shape,
                            std::span<const std::int16_t> left, std::span<const std::int16_t> right,
                            int sample_number);

}  // namespace trk2inst
