// Conversion of decoded samples into slots. Every step is exact integer
// arithmetic: the same values always give the same bytes.
#include "readers/sample_conversion.h"

#include <algorithm>
#include <cstring>

#include "readers/readers.h"

namespace trk2inst {

namespace {

std::uint8_t byte_of(int value)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFF);
}

// One 8-bit mono value per position; rounding to nearest, halves up (the
// shifts floor).
std::vector<std::uint8_t> mono_8_bit(const SampleShape& shape, const SampleValues& values,
                                     std::size_t kept)
{
    std::vector<std::uint8_t> mono(kept);
    const std::int16_t* left = values.data();
    const std::int16_t* right = values.data() + (shape.stereo ? kept : 0);
    if (shape.bits == 8 && !shape.stereo) {
        for (std::size_t i = 0; i < kept; ++i)
            mono[i] = byte_of(left[i]);
    } else if (shape.bits == 8) {
        for (std::size_t i = 0; i < kept; ++i)
            mono[i] = byte_of((left[i] + right[i] + 1) >> 1);
    } else if (!shape.stereo) {
        for (std::size_t i = 0; i < kept; ++i)
            mono[i] = byte_of(std::min((left[i] + 128) >> 8, 127));
    } else {
        for (std::size_t i = 0; i < kept; ++i)
            mono[i] = byte_of(std::min((left[i] + right[i] + 256) >> 9, 127));
    }
    return mono;
}

struct LoopInValues {
    bool on = false;
    std::int64_t begin = 0;
    std::int64_t length = 0;
};

// An empty loop, or one that starts at or past the end, is no loop; one that
// runs past the end ends there.
LoopInValues loop_within_sample(const SampleShape& shape)
{
    if (!shape.loops || shape.loop_begin < 0 || shape.loop_end <= shape.loop_begin ||
        shape.loop_begin >= shape.length)
        return {};
    const std::int64_t end = std::min(shape.loop_end, shape.length);
    return {true, shape.loop_begin, end - shape.loop_begin};
}

// Appends values [from, to) of the mono sample, as far as the slot has room.
struct SlotWriter {
    std::uint8_t* out;
    std::size_t size;
    std::size_t at = 0;

    void copy(const std::vector<std::uint8_t>& mono, std::int64_t from, std::int64_t to)
    {
        if (at >= size || to <= from)
            return;
        const auto first = static_cast<std::size_t>(from);
        // Never past the values decoded: output position at is never below from.
        const std::size_t count = std::min({static_cast<std::size_t>(to - from), size - at,
                                            mono.size() - std::min(first, mono.size())});
        std::memcpy(out + at, mono.data() + first, count);
        at += count;
    }
    void zero(std::size_t count)
    {
        count = std::min(count, size - at);
        std::memset(out + at, 0, count);
        at += count;
    }
};

}  // namespace

std::int64_t values_to_keep(const SampleShape& shape)
{
    return std::clamp<std::int64_t>(shape.length, 0, max_kept_values);
}

// The record counts words, so the loop must start and last an even number of
// values: an odd loop is written twice over (it sounds the same), an odd
// start gets one zero value in front of the sample, and an odd total one zero
// at the end. Nothing else moves.
void store_converted_sample(SampleSlot& slot, const SampleShape& shape, const SampleValues& values,
                            int slot_number)
{
    const auto kept = static_cast<std::size_t>(values_to_keep(shape));
    const std::vector<std::uint8_t> mono = mono_8_bit(shape, values, kept);
    const LoopInValues loop = loop_within_sample(shape);
    const std::int64_t lead = loop.on ? loop.begin & 1 : 0;
    const std::int64_t repeat = loop.on && (loop.length & 1) != 0 ? loop.length : 0;
    std::int64_t total = lead + std::max<std::int64_t>(shape.length, 0) + repeat;
    total += total & 1;
    slot.loop_start = loop.on ? static_cast<std::int32_t>((loop.begin + lead) / 2) : 0;
    slot.loop_length = loop.on ? static_cast<std::int32_t>(std::min<std::int64_t>(
                                     (loop.length + repeat) / 2, INT32_MAX))
                               : 1;
    keep_words(slot, total / 2);
    allocate_sample_data(slot, slot_number);
    if (!slot.data)
        return;

    SlotWriter writer{slot.data.get(), 2 * static_cast<std::size_t>(slot.length)};
    writer.zero(static_cast<std::size_t>(lead));
    if (loop.on) {
        const std::int64_t loop_end = loop.begin + loop.length;
        writer.copy(mono, 0, loop_end);
        if (repeat != 0)
            writer.copy(mono, loop.begin, loop_end);
        writer.copy(mono, loop_end, shape.length);
    } else {
        writer.copy(mono, 0, shape.length);
    }
    writer.zero(writer.size - writer.at);
}

}  // namespace trk2inst
