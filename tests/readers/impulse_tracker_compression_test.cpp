#include <gtest/gtest.h>

#include "readers/impulse_tracker_compression.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

struct BlockCase {
    const char* what;
    ItCompression kind;
    Bytes stream;  // the block's bit stream, without its byte count
    std::size_t count;
    std::vector<std::int16_t> values;  // what the decoder gives
};

void PrintTo(const BlockCase& c, std::ostream* os)
{
    *os << c.what;
}

class DecodeItBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(DecodeItBlock, GivesTheValuesOfTheStream)
{
    const BlockCase& c = GetParam();
    Bytes padded = c.stream;
    padded.resize(padded.size() + 8, 0);
    std::vector<std::int16_t> out(c.count, 0);
    const std::size_t produced = decode_it_block(padded.data(), c.stream.size(), c.kind, out.data(), c.count);
    out.resize(produced);
    EXPECT_EQ(out, c.values);
}

constexpr ItCompression it214_8{false, false}, it215_8{false, true}, it214_16{true, false},
    it215_16{true, true};

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeItBlock,
    ::testing::Values(
        // The format's worked examples.
        BlockCase{"8-bit, 2.14", it214_8, {0x02, 0xA3, 0x97, 0x45, 0x01}, 5, {1, 3, 2, -1, 39}},
        BlockCase{"8-bit, 2.15", it215_8, {0x02, 0xA3, 0x97, 0x45, 0x01}, 5, {1, 4, 6, 5, 44}},
        BlockCase{"16-bit, 2.14", it214_16, {0xE8, 0x03, 0x04, 0x00, 0xCE}, 3, {1000, 1003, 1001}},
        BlockCase{"16-bit, 2.15", it215_16, {0xE8, 0x03, 0x04, 0x00, 0xCE}, 3, {1000, 2003, 3004}},
        // Fewer values asked for than the stream holds.
        BlockCase{"stops at its count", it214_8, {0x02, 0xA3, 0x97, 0x45, 0x01}, 2, {1, 3}},
        // The stream runs out: the value that needed more bits is not produced.
        BlockCase{"cut inside a value", it214_8, {0x02, 0xA3, 0x97, 0x45}, 5, {1, 3, 2, -1}},
        BlockCase{"cut inside a width change", it214_8, {0x02, 0xA3, 0x97}, 5, {1, 3, 2, -1}},
        BlockCase{"no bits at all", it214_16, {}, 4, {}},
        // Value 5, then at width 9 the field 0x1FF asks for width 256: corrupt.
        BlockCase{"range C width above 9", it214_8, {0x05, 0xFE, 0x03}, 3, {5}},
        // The field 0x108 names width 9 at width 9, which changes nothing; then 7.
        BlockCase{"range C to the same width", it214_8, {0x08, 0x0F, 0x00}, 2, {7}}));

std::vector<std::int16_t> wave(std::size_t count, bool sixteen_bit)
{
    std::vector<std::int16_t> values(count);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < count; ++i) {
        noise = noise * 1103515245u + 12345u;
        // Runs of small steps and sudden jumps, so that every width is used.
        const int step = (i / 700) % 3 == 0 ? static_cast<int>(noise >> 16) : static_cast<int>(i % 5);
        values[i] = sixteen_bit ? static_cast<std::int16_t>(step * 37)
                                : static_cast<std::int16_t>(static_cast<std::int8_t>(step));
    }
    return values;
}

// The project's compressor, read back through a file: block after block,
// the first values kept, and the end of the channel found for the next one.
TEST(ReadItCompressedChannel, ReadsWhatTheCompressorWrote)
{
    for (const ItCompression kind : {it214_8, it215_8, it214_16, it215_16}) {
        const std::size_t length = 0x8000 * 2 + 1234;  // three blocks of 8-bit values, five of 16-bit
        const std::vector<std::int16_t> left = wave(length, kind.sixteen_bit);
        const std::vector<std::int16_t> right(left.rbegin(), left.rend());
        Bytes file(10, 0xEE);
        build::append(file, build::it_compress(left, kind.sixteen_bit, kind.it215));
        const auto right_offset = static_cast<std::int64_t>(file.size());
        build::append(file, build::it_compress(right, kind.sixteen_bit, kind.it215));
        const ModuleInput source(file, Source::file);
        InputStream input;
        input.file = source.file();
        begin_input(input);
        const auto size = static_cast<std::int64_t>(file.size());
        const auto n = static_cast<std::int64_t>(length);

        // The buffer holds the values read at its front.
        const auto front = [](const std::vector<std::int16_t>& values, std::size_t count) {
            return std::vector<std::int16_t>(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));
        };
        std::vector<std::int16_t> out(7, 99);
        EXPECT_EQ(read_it_compressed_channel(input, 10, size, kind, n, out, n, false, true).end, right_offset);
        EXPECT_EQ(out, left);
        std::vector<std::int16_t> first;
        EXPECT_EQ(read_it_compressed_channel(input, 10, size, kind, n, first, 1000, false, true).end,
                  right_offset);
        EXPECT_EQ(front(first, 1000), front(left, 1000));
        const ItChannelRead whole = read_it_compressed_channel(input, right_offset, size, kind, n, out, 10, true, false);
        EXPECT_EQ(whole.end, size);
        EXPECT_EQ(whole.source_values, n);
        EXPECT_EQ(out, right);
    }
}

// Damage in one block leaves the blocks after it where they are. Within the
// damaged block the values decoded before the damage stay, the rest are 0.
TEST(ReadItCompressedChannel, DamageStaysInItsBlock)
{
    const std::vector<std::int16_t> values = wave(0x8000 * 3, false);
    const Bytes good = build::it_compress(values, false, false);
    const std::size_t second_block = 2 + (good[0] | std::size_t{good[1]} << 8);
    struct DamageCase {
        const char* what;
        Bytes file;
        std::size_t damaged_from, damaged_to;  // the values of the damaged blocks
        bool keeps_a_prefix;
        std::int64_t source_values;  // the values before the first block that falls short
    };
    Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(second_block + 100));
    Bytes empty_block{0, 0};
    build::append(empty_block, Bytes(good.begin() + static_cast<std::ptrdiff_t>(second_block), good.end()));
    Bytes corrupt = good;  // the first field asks for width 256
    corrupt[2] = 0xFF;
    corrupt[3] = static_cast<std::uint8_t>(corrupt[3] | 0x01);
    const std::vector<DamageCase> cases{
        {"cut by the end of the file", cut, 0x8000, 0x8000 * 3, true, -1},
        {"N = 0", empty_block, 0, 0x8000, false, 0},
        {"a width that cannot be", corrupt, 0, 0x8000, false, 0},
    };
    for (const DamageCase& c : cases) {
        const ModuleInput source(c.file, Source::file);
        InputStream input;
        input.file = source.file();
        begin_input(input);
        std::vector<std::int16_t> out(values.size(), 99);
        const ItChannelRead read = read_it_compressed_channel(
            input, 0, static_cast<std::int64_t>(c.file.size()), {false, false},
            static_cast<std::int64_t>(values.size()), out, static_cast<std::int64_t>(values.size()), true,
            false);
        std::size_t prefix = c.damaged_from;
        while (prefix < c.damaged_to && out[prefix] == values[prefix])
            ++prefix;
        EXPECT_EQ(prefix > c.damaged_from, c.keeps_a_prefix) << c.what;
        // The source ends in the first damaged block, after the values it gave
        // (-1: some, at most those that match).
        if (c.source_values >= 0) {
            EXPECT_EQ(read.source_values, c.source_values) << c.what;
        } else {
            EXPECT_GT(read.source_values, static_cast<std::int64_t>(c.damaged_from)) << c.what;
            EXPECT_LE(read.source_values, static_cast<std::int64_t>(prefix)) << c.what;
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::int16_t expected = i < c.damaged_from || i >= c.damaged_to ? values[i]
                                          : i < prefix                          ? values[i]
                                                                                : 0;
            ASSERT_EQ(out[i], expected) << c.what << ", value " << i;
        }
    }
}

}  // namespace
}  // namespace trk2inst::test
