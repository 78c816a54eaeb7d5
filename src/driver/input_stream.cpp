// The module input: byte, block and skip reads over a stdio stream that may be
// a seekable file or a pipe. Everything past the end of the input reads as zeros,
// so counts assembled from a cut-off module stay bounded by what the formats allow.
#include <algorithm>
#include <array>
#include <cstring>

#include "driver/run_state.h"

namespace trk2inst {

namespace {

void note_end(InputStream& input, std::int64_t offset)
{
    if (input.end < 0)
        input.end = offset;
}

// Reads and drops up to count bytes in blocks; stops early at the end of the input.
void discard_forward(InputStream& input, std::int64_t count)
{
    static std::array<unsigned char, 64 * 1024> scratch;
    std::int64_t left = count;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(scratch.size())));
        const std::size_t got = std::fread(scratch.data(), 1, want, input.file);
        left -= static_cast<std::int64_t>(got);
        if (got < want) {
            note_end(input, input.position + (count - left));
            break;
        }
    }
}

}  // namespace

std::uint8_t read_u8(InputStream& input)
{
    const int c = std::getc(input.file);
    if (c == EOF)
        note_end(input, input.position);
    ++input.position;
    return c == EOF ? 0 : static_cast<std::uint8_t>(c);
}

std::uint16_t read_u16le(InputStream& input)
{
    const unsigned low = read_u8(input);
    const unsigned high = read_u8(input);
    return static_cast<std::uint16_t>(low | high << 8);
}

std::uint16_t read_u16be(InputStream& input)
{
    const unsigned high = read_u8(input);
    const unsigned low = read_u8(input);
    return static_cast<std::uint16_t>(high << 8 | low);
}

std::uint32_t read_u32le(InputStream& input)
{
    const std::uint32_t low = read_u16le(input);
    const std::uint32_t high = read_u16le(input);
    return low | high << 16;
}

std::size_t read_block(InputStream& input, void* destination, std::size_t size)
{
    const std::size_t got = std::fread(destination, 1, size, input.file);
    if (got < size) {
        std::memset(static_cast<unsigned char*>(destination) + got, 0, size - got);
        note_end(input, input.position + static_cast<std::int64_t>(got));
    }
    input.position += static_cast<std::int64_t>(size);
    return got;
}

void begin_input(InputStream& input)
{
    const long offset = std::ftell(input.file);
    input.seekable = offset >= 0;
    input.position = offset >= 0 ? offset : 0;
}

void skip_bytes(InputStream& input, std::int64_t count)
{
    if (count == 0)
        return;
    const std::int64_t target = input.position + count;
    if (input.seekable && target >= 0 &&
        std::fseek(input.file, static_cast<long>(target), SEEK_SET) == 0) {
        input.position = target;
        return;
    }
    // Past the end of a pipe every byte reads as zero, so going back within
    // that stretch changes nothing that is read; going back before it would.
    const bool within_zeros = input.end >= 0 && target >= input.end;
    if (count < 0 && !within_zeros)
        fail("Cannot skip backwards on this input.\n");
    if (count > 0)
        discard_forward(input, count);
    input.position = target;
}

void seek_to(InputStream& input, std::int64_t offset)
{
    skip_bytes(input, offset - input.position);
}

}  // namespace trk2inst
