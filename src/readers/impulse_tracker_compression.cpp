// Decompression of Impulse Tracker samples. A block's bit stream is read from
// the least significant bit of each byte up. Each field is read at the current
// width; some field values at each width mean "change the width" instead of a
// value. Values are differences (2.14) or differences of differences (2.15),
// summed modulo the sample's width from zero at every block.
#include "readers/impulse_tracker_compression.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace trk2inst {

namespace {

constexpr std::size_t stream_padding = 8;

// What a width means for the fields read at it: the field values that change
// the width instead of giving a value, and the shift that sign-extends a
// value. Set again only when the width changes, which is rare in real data.
struct FieldWidth {
    unsigned width;
    std::uint32_t mask;         // the field's bits
    std::uint32_t change_low;   // fields from change_low ...
    std::uint32_t change_span;  // ... to change_low + change_span change the width
    unsigned sign_shift;        // 32 - the value's bits
};

template <bool SixteenBit>
FieldWidth field_width(unsigned width)
{
    constexpr unsigned full_width = SixteenBit ? 17 : 9;
    constexpr std::uint32_t span = SixteenBit ? 8 : 4;  // change codes around the top at 7 and up
    const std::uint32_t top = std::uint32_t{1} << (width - 1);
    FieldWidth field{width, 2 * top - 1, top, 0, 32 - width};
    if (width == full_width) {
        field.change_span = top - 1;  // every field with the top bit set
        field.sign_shift = 32 - (full_width - 1);  // the low 8 (16) bits; the top bit is clear
    } else if (width >= 7) {
        field.change_low = top - span;
        field.change_span = 2 * span - 1;
    }
    return field;
}

enum class Field { value, width_changed, end };

// Reads one field at `at`. Checked: the stream may end within it; unchecked,
// the caller has made sure that the field and a width change's extra bits fit.
template <bool SixteenBit, bool Checked>
inline Field read_field(const std::uint8_t* stream, std::uint64_t bits, std::uint64_t& at,
                        FieldWidth& field, std::int32_t& difference)
{
    constexpr unsigned full_width = SixteenBit ? 17 : 9;
    constexpr unsigned change_bits = SixteenBit ? 4 : 3;  // after a change code at widths 1 to 6
    if (Checked && at + field.width > bits)
        return Field::end;
    // The stream is followed by 8 readable bytes: one load covers the field.
    std::uint64_t word;
    std::memcpy(&word, stream + (at >> 3), sizeof word);
    if constexpr (std::endian::native == std::endian::big)
        word = __builtin_bswap64(word);
    const auto offset = static_cast<unsigned>(at & 7);
    const auto value = static_cast<std::uint32_t>(word >> offset) & field.mask;
    at += field.width;
    if (value - field.change_low > field.change_span) {
        // Two's complement of the width's bits (modulo the sum's width, the
        // same as the low 8 or 16 bits at the full width).
        difference = static_cast<std::int32_t>(value << field.sign_shift) >> field.sign_shift;
        return Field::value;
    }
    unsigned next = 0;
    if (field.width < 7) {
        if (Checked && at + change_bits > bits)
            return Field::end;
        next = (static_cast<std::uint32_t>(word >> (offset + field.width)) & ((1u << change_bits) - 1)) + 1;
        at += change_bits;
    } else if (field.width < full_width) {
        next = value - field.change_low + 1;
    } else {
        next = (value & (field.mask >> 1)) + 1;
        if (next > full_width)
            return Field::end;  // corrupt: no such width
        if (next == full_width)
            return Field::width_changed;
    }
    if (field.width < full_width && next >= field.width)
        ++next;  // the current width is never named, so one more fits
    field = field_width<SixteenBit>(next);
    return Field::width_changed;
}

template <bool SixteenBit, bool It215>
std::size_t decode_block(const std::uint8_t* stream, std::size_t size, std::int16_t* out,
                         std::size_t count)
{
    using Sum = std::conditional_t<SixteenBit, std::uint16_t, std::uint8_t>;
    using Value = std::conditional_t<SixteenBit, std::int16_t, std::int8_t>;
    constexpr unsigned full_width = SixteenBit ? 17 : 9;
    constexpr unsigned change_bits = SixteenBit ? 4 : 3;

    const std::uint64_t bits = std::uint64_t{size} * 8;
    std::uint64_t at = 0;
    FieldWidth field = field_width<SixteenBit>(full_width);
    Sum sum1 = 0;
    Sum sum2 = 0;
    std::size_t produced = 0;
    std::int32_t difference = 0;
    const auto put = [&] {
        sum1 = static_cast<Sum>(sum1 + static_cast<Sum>(difference));
        sum2 = static_cast<Sum>(sum2 + sum1);
        out[produced++] = static_cast<Value>(It215 ? sum2 : sum1);
    };
    while (produced < count) {
        // So many fields fit for certain at this width: read them unchecked.
        const std::uint64_t sure = (bits - at) / (field.width + change_bits);
        if (sure == 0) {
            const Field kind = read_field<SixteenBit, true>(stream, bits, at, field, difference);
            if (kind == Field::end)
                break;
            if (kind == Field::value)
                put();
            continue;
        }
        for (std::uint64_t run = std::min<std::uint64_t>(sure, count - produced); run > 0; --run) {
            const Field kind = read_field<SixteenBit, false>(stream, bits, at, field, difference);
            if (kind == Field::end)
                return produced;
            if (kind == Field::width_changed)
                break;
            put();
        }
    }
    return produced;
}

}  // namespace

std::int64_t it_block_values(const ItCompression& kind)
{
    return kind.sixteen_bit ? 0x4000 : 0x8000;
}

std::size_t decode_it_block(const std::uint8_t* stream, std::size_t size, const ItCompression& kind,
                            std::int16_t* out, std::size_t count)
{
    if (kind.sixteen_bit)
        return kind.it215 ? decode_block<true, true>(stream, size, out, count)
                          : decode_block<true, false>(stream, size, out, count);
    return kind.it215 ? decode_block<false, true>(stream, size, out, count)
                      : decode_block<false, false>(stream, size, out, count);
}

ItChannelRead read_it_compressed_channel(InputStream& input, std::int64_t offset,
                                         std::int64_t file_size, const ItCompression& kind,
                                         std::int64_t length, std::vector<std::int16_t>& out,
                                         std::int64_t keep, bool whole_source, bool find_end)
{
    static std::array<std::uint8_t, 0x10000 + stream_padding> stream;
    const std::int64_t block_values = it_block_values(kind);
    keep = std::clamp<std::int64_t>(keep, 0, std::max<std::int64_t>(length, 0));
    // The buffer only grows: one sample after another of the same size costs
    // no clearing, so every value up to `written` is set here.
    const auto room = [&out](std::int64_t size) {
        if (out.size() < static_cast<std::size_t>(size))
            out.resize(static_cast<std::size_t>(size));
    };
    std::int64_t written = 0;
    ItChannelRead result;
    bool source_open = whole_source;
    std::int64_t done = 0;  // values of the channel that its blocks have covered
    // Each block stands at its own place: a damaged one does not move the next.
    while (done < length && (done < keep || source_open || find_end)) {
        if (offset + 2 > file_size)
            break;  // no block here: the rest is zero
        seek_to(input, offset);
        const std::uint16_t size = read_u16le(input);
        const std::int64_t values = std::min(block_values, length - done);
        if (done < keep || source_open) {
            const auto present = static_cast<std::size_t>(std::min<std::int64_t>(size, file_size - offset - 2));
            read_block(input, stream.data(), present);
            std::fill_n(stream.data() + present, stream_padding, std::uint8_t{0});
            const std::int64_t wanted = source_open ? values : std::min(values, keep - done);
            room(done + wanted);
            std::int16_t* at = out.data() + done;
            const std::size_t produced =
                decode_it_block(stream.data(), present, kind, at, static_cast<std::size_t>(wanted));
            std::fill(at + produced, at + wanted, std::int16_t{0});
            written = done + wanted;
            if (source_open) {
                result.source_values = done + static_cast<std::int64_t>(produced);
                source_open = static_cast<std::int64_t>(produced) == values;
            }
        }
        offset += 2 + std::int64_t{size};
        done += values;
    }
    if (written < keep) {
        room(keep);
        std::fill(out.data() + written, out.data() + keep, std::int16_t{0});
    }
    // Stopped early: the file ended first, or the caller did not ask for the end.
    result.end = done < length ? std::max(offset, file_size) : offset;
    result.complete = done >= length && offset <= file_size;
    return result;
}

}  // namespace trk2inst
