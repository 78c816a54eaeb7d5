// Decompression of Impulse Tracker samples. A block's bit stream is read from
// the least significant bit of each byte up. Each field is read at the current
// width; some field values at each width mean "change the width" instead of a
// value. Values are differences (2.14) or differences of differences (2.15),
// summed modulo the sample's width from zero at every block.
#include "readers/impulse_tracker_compression.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace trk2inst {

namespace {

constexpr std::size_t stream_padding = 8;

// The next `width` bits at bit position `at`; a stream is followed by at least
// 8 readable bytes, so one 64-bit load always covers the field.
std::uint32_t peek_bits(const std::uint8_t* stream, std::uint64_t at, unsigned width)
{
    std::uint64_t word;
    std::memcpy(&word, stream + (at >> 3), sizeof word);
    if constexpr (std::endian::native == std::endian::big)
        word = __builtin_bswap64(word);
    return static_cast<std::uint32_t>((word >> (at & 7)) & ((std::uint64_t{1} << width) - 1));
}

template <bool SixteenBit, bool It215>
std::size_t decode_block(const std::uint8_t* stream, std::size_t size, std::int16_t* out,
                         std::size_t count)
{
    using Sum = std::conditional_t<SixteenBit, std::uint16_t, std::uint8_t>;
    using Value = std::conditional_t<SixteenBit, std::int16_t, std::int8_t>;
    constexpr unsigned full_width = SixteenBit ? 17 : 9;
    constexpr unsigned change_bits = SixteenBit ? 4 : 3;  // after a change code at widths 1 to 6
    constexpr std::uint32_t change_span = SixteenBit ? 8 : 4;  // change codes around the top at 7 and up

    const std::uint64_t bits = std::uint64_t{size} * 8;
    std::uint64_t at = 0;
    unsigned width = full_width;
    Sum sum1 = 0;
    Sum sum2 = 0;
    std::size_t produced = 0;
    while (produced < count) {
        if (at + width > bits)
            break;
        const std::uint32_t field = peek_bits(stream, at, width);
        at += width;
        const std::uint32_t top = std::uint32_t{1} << (width - 1);
        if (width < 7) {
            if (field == top) {
                if (at + change_bits > bits)
                    break;
                const unsigned next = peek_bits(stream, at, change_bits) + 1;
                at += change_bits;
                width = next >= width ? next + 1 : next;  // the current width is never named
                continue;
            }
        } else if (width < full_width) {
            if (field >= top - change_span && field < top + change_span) {
                const unsigned next = field - (top - change_span) + 1;
                width = next >= width ? next + 1 : next;
                continue;
            }
        } else if ((field & top) != 0) {
            const std::uint32_t next = (field & (top - 1)) + 1;
            if (next > full_width)
                break;  // corrupt: no such width
            width = next;
            continue;
        }
        // A value: two's complement below the full width; at the full width its
        // low 8 (16) bits, which the wrapping sums read as signed.
        std::uint32_t value = field;
        if (width < full_width && field >= top)
            value = field - 2 * top;  // modulo 2^32, cut to the sum's width below
        sum1 = static_cast<Sum>(sum1 + value);
        sum2 = static_cast<Sum>(sum2 + sum1);
        out[produced++] = static_cast<Value>(It215 ? sum2 : sum1);
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

std::int64_t read_it_compressed_channel(InputStream& input, std::int64_t offset,
                                        std::int64_t file_size, const ItCompression& kind,
                                        std::int64_t length, std::int16_t* out, std::int64_t keep,
                                        bool find_end)
{
    std::fill(out, out + keep, std::int16_t{0});
    std::vector<std::uint8_t> stream;
    const std::int64_t block_values = it_block_values(kind);
    // Each block stands at its own place: a damaged one does not move the next.
    for (std::int64_t done = 0; done < length && (done < keep || find_end);) {
        if (offset + 2 > file_size)
            return std::max(offset, file_size);  // no block here: the rest stays zero
        seek_to(input, offset);
        const std::uint16_t size = read_u16le(input);
        const std::int64_t values = std::min(block_values, length - done);
        if (done < keep) {
            const auto present = static_cast<std::size_t>(std::min<std::int64_t>(size, file_size - offset - 2));
            stream.assign(present + stream_padding, 0);
            read_block(input, stream.data(), present);
            decode_it_block(stream.data(), present, kind, out + done,
                            static_cast<std::size_t>(std::min(values, keep - done)));
        }
        offset += 2 + std::int64_t{size};
        done += values;
    }
    return offset;
}

}  // namespace trk2inst
