// Conversion of decoded samples into slots. Every step is exact integer
// arithmetic: the same values always give the same bytes.
#include "readers/sample_conversion.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "readers/readers.h"

namespace trk2inst {

namespace {

std::uint8_t byte_of(int value)
{
    return static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFF);
}

// Writes the 8-bit mono values of positions [from, from + count); rounding to
// nearest, halves up (the shifts floor). The slot's bytes never overlap the
// values, which lets the loops run many values at a time.
void put_mono_8_bit(std::uint8_t* __restrict out, const SampleShape& shape,
                    const std::int16_t* __restrict left, const std::int16_t* __restrict right,
                    std::size_t from, std::size_t count)
{
    left += from;
    right += from;
    if (shape.bits == 8 && !shape.stereo) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = byte_of(left[i]);
    } else if (shape.bits == 8) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = byte_of((left[i] + right[i] + 1) >> 1);
    } else if (!shape.stereo) {
        std::size_t i = 0;
#if defined(__SSE2__)
        // floor((v + 128) / 256) is v >> 8 plus bit 7 of v; packing saturates
        // the one result above 127 (from 32,640 up) to 127.
        const __m128i one = _mm_set1_epi16(1);
        for (; i + 16 <= count; i += 16) {
            __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left + i));
            __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left + i + 8));
            low = _mm_add_epi16(_mm_srai_epi16(low, 8), _mm_and_si128(_mm_srli_epi16(low, 7), one));
            high = _mm_add_epi16(_mm_srai_epi16(high, 8), _mm_and_si128(_mm_srli_epi16(high, 7), one));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi16(low, high));
        }
#endif
        for (; i < count; ++i)
            out[i] = byte_of(std::min((left[i] + 128) >> 8, 127));
    } else {
        std::size_t i = 0;
#if defined(__SSE2__)
        // The sums in 32 bits; packing saturates the one result above 127.
        const __m128i half = _mm_set1_epi32(256);
        const auto sum_of = [&half](__m128i l, __m128i r) {
            l = _mm_srai_epi32(l, 16);  // each value sign-extended from the high half
            r = _mm_srai_epi32(r, 16);
            return _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(l, r), half), 9);
        };
        for (; i + 8 <= count; i += 8) {
            const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left + i));
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(right + i));
            const __m128i low = sum_of(_mm_unpacklo_epi16(l, l), _mm_unpacklo_epi16(r, r));
            const __m128i high = sum_of(_mm_unpackhi_epi16(l, l), _mm_unpackhi_epi16(r, r));
            const __m128i words = _mm_packs_epi32(low, high);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi16(words, words));
        }
#endif
        for (; i < count; ++i)
            out[i] = byte_of(std::min((left[i] + right[i] + 256) >> 9, 127));
    }
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

// Appends the values of positions [from, to), as far as the slot has room.
struct SlotWriter {
    std::uint8_t* out;
    std::size_t size;
    const SampleShape& shape;
    const std::int16_t* left;
    const std::int16_t* right;
    std::size_t kept;  // values decoded per channel
    std::size_t at = 0;

    void copy(std::int64_t from, std::int64_t to)
    {
        if (at >= size || to <= from)
            return;
        const auto first = static_cast<std::size_t>(from);
        // Never past the values decoded: output position at is never below from.
        const std::size_t count = std::min({static_cast<std::size_t>(to - from), size - at,
                                            kept - std::min(first, kept)});
        put_mono_8_bit(out + at, shape, left, right, first, count);
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

void decode_pcm(const std::uint8_t* bytes, int bits, bool is_unsigned, bool big_endian,
                std::int16_t* out, std::size_t count)
{
    if (bits == 8) {
        const unsigned flip = is_unsigned ? 0x80 : 0;
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<std::int8_t>(bytes[i] ^ flip);
        return;
    }
    const unsigned flip = is_unsigned ? 0x8000 : 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight values at a time: the two bytes of each swapped for big-endian ones.
    const __m128i flip_bits = _mm_set1_epi16(static_cast<short>(flip));
    for (; big_endian && i + 8 <= count; i += 8) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
        x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_xor_si128(x, flip_bits));
    }
#endif
    for (; i < count; ++i) {
        const unsigned first = bytes[2 * i];
        const unsigned second = bytes[2 * i + 1];
        out[i] = static_cast<std::int16_t>((big_endian ? first << 8 | second : second << 8 | first) ^ flip);
    }
}

void decode_adpcm(const AdpcmTable& table, const std::uint8_t* packed, std::int16_t* out, std::size_t count)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned nibble = (packed[i / 2] >> (4 * (i & 1))) & 0x0F;
        sum = static_cast<std::uint8_t>(sum + table[nibble]);
        out[i] = static_cast<std::int8_t>(sum);
    }
}

std::int64_t values_to_keep(const SampleShape& shape)
{
    return std::clamp<std::int64_t>(shape.length, 0, max_kept_values);
}

// The record counts words, so the loop must start and last an even number of
// values: an odd loop is written twice over (it sounds the same), an odd
// start gets one zero value in front of the sample, and an odd total one zero
// at the end. Nothing else moves.
namespace {

struct ConvertedLayout {
    LoopInValues loop;
    std::int64_t lead = 0;    // zero values in front
    std::int64_t repeat = 0;  // values of the loop written twice
    bool as_they_stand = false;
};

// The record's length and loop for the converted values.
ConvertedLayout set_converted_fields(SampleSlot& slot, const SampleShape& shape)
{
    ConvertedLayout layout;
    const LoopInValues& loop = layout.loop = loop_within_sample(shape);
    layout.lead = loop.on ? loop.begin & 1 : 0;
    layout.repeat = loop.on && (loop.length & 1) != 0 ? loop.length : 0;
    std::int64_t total = layout.lead + std::max<std::int64_t>(shape.length, 0) + layout.repeat;
    total += total & 1;
    slot.loop_start = loop.on ? static_cast<std::int32_t>((loop.begin + layout.lead) / 2) : 0;
    slot.loop_length = loop.on ? static_cast<std::int32_t>(std::min<std::int64_t>(
                                     (loop.length + layout.repeat) / 2, INT32_MAX))
                               : 1;
    keep_words(slot, total / 2);
    layout.as_they_stand = shape.bits == 8 && !shape.stereo && layout.lead == 0 && layout.repeat == 0;
    return layout;
}

}  // namespace

bool set_record_fields(SampleSlot& slot, const SampleShape& shape)
{
    return set_converted_fields(slot, shape).as_they_stand;
}

bool store_converted_sample(SampleSlot& slot, const SampleShape& shape,
                            std::span<const std::int16_t> left, std::span<const std::int16_t> right,
                            int sample_number)
{
    if (sample_number > slot_count)
        return set_record_fields(slot, shape);  // no record data
    const auto kept = static_cast<std::size_t>(values_to_keep(shape));
    if (left.size() < kept || (shape.stereo && right.size() < kept))
        return false;  // a reader that did not decode its values stores none
    const ConvertedLayout layout = set_converted_fields(slot, shape);
    const LoopInValues& loop = layout.loop;
    const std::int64_t lead = layout.lead;
    const std::int64_t repeat = layout.repeat;
    allocate_sample_data(slot, sample_number);
    const bool as_they_stand = layout.as_they_stand;
    if (!slot.data)
        return as_they_stand;

    SlotWriter writer{slot.data.get(), 2 * static_cast<std::size_t>(slot.length), shape,
                      left.data(), shape.stereo ? right.data() : left.data(), kept};
    writer.zero(static_cast<std::size_t>(lead));
    if (loop.on) {
        const std::int64_t loop_end = loop.begin + loop.length;
        writer.copy(0, loop_end);
        if (repeat != 0)
            writer.copy(loop.begin, loop_end);
        writer.copy(loop_end, shape.length);
    } else {
        writer.copy(0, shape.length);
    }
    writer.zero(writer.size - writer.at);
    return as_they_stand;
}

}  // namespace trk2inst
