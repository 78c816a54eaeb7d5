#include <gtest/gtest.h>

#include "driver/run_state.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

Bytes counting_bytes(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 13 + 1);  // never 0 before the end
    return bytes;
}

InputStream stream_of(const ModuleInput& module)
{
    InputStream input;
    input.file = module.file();
    begin_input(input);
    return input;
}

struct ForwardSkip {
    const char* what;
    std::size_t size;
    std::int64_t first_skip;
    std::int64_t second_skip;
};

class SkipOnBothInputs : public ::testing::TestWithParam<std::tuple<ForwardSkip, Source>> {};

// After the skips the next byte is the one at their sum, whether the input
// seeks or is consumed by reading; past the end every read gives zero.
TEST_P(SkipOnBothInputs, NextByteIsTheOneAfterTheSkippedBytes)
{
    const auto& [skip, source] = GetParam();
    const Bytes bytes = counting_bytes(skip.size);
    ModuleInput module(bytes, source);
    InputStream input = stream_of(module);
    skip_bytes(input, skip.first_skip);
    skip_bytes(input, skip.second_skip);
    const auto at = static_cast<std::size_t>(skip.first_skip + skip.second_skip);
    const std::uint8_t expected = at < bytes.size() ? bytes[at] : 0;
    EXPECT_EQ(read_u8(input), expected) << skip.what;
    EXPECT_EQ(input.position, skip.first_skip + skip.second_skip + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Skips, SkipOnBothInputs,
    ::testing::Combine(
        ::testing::Values(ForwardSkip{"nothing", 100, 0, 0}, ForwardSkip{"a few bytes", 100, 3, 0},
                          ForwardSkip{"zero after some", 100, 7, 0},
                          ForwardSkip{"more than one block", 300000, 70000, 100000},
                          ForwardSkip{"to the last byte", 5000, 4999, 0},
                          ForwardSkip{"past the end", 5000, 6000, 10}),
        ::testing::Values(Source::file, Source::pipe)));

TEST(SkipBytes, NegativeSkipMovesBackOnAFile)
{
    const Bytes bytes = counting_bytes(64);
    ModuleInput module(bytes, Source::file);
    InputStream input = stream_of(module);
    skip_bytes(input, 40);
    skip_bytes(input, -30);
    EXPECT_EQ(read_u8(input), bytes[10]);
}

TEST(SkipBytes, NegativeSkipOnAPipeEndsTheRun)
{
    const Bytes bytes = counting_bytes(64);
    ModuleInput module(bytes, Source::pipe);
    InputStream input = stream_of(module);
    skip_bytes(input, 40);
    try {
        skip_bytes(input, -30);
        FAIL() << "a backward skip on a pipe went on";
    } catch (const FatalError& error) {
        EXPECT_EQ(error.message, "Cannot skip backwards on this input.\n");
    }
}

// Past the end of a pipe everything reads as zero: going back within that
// stretch is harmless, going back before it is not.
TEST(SkipBytes, OnAPipeASkipBackWithinTheZerosPastTheEndGoesOn)
{
    const Bytes bytes = counting_bytes(10);
    ModuleInput module(bytes, Source::pipe);
    InputStream input = stream_of(module);
    std::array<std::uint8_t, 20> block{};
    read_block(input, block.data(), block.size());
    skip_bytes(input, -5);
    EXPECT_EQ(input.position, 15);
    EXPECT_EQ(read_u8(input), 0);
    skip_bytes(input, -6);  // back to offset 10, the end itself
    EXPECT_EQ(read_u8(input), 0);
    EXPECT_THROW(skip_bytes(input, -2), FatalError);  // offset 9 held a byte
}

// Reads past the end count as bytes read: a skip back lands where the sizes say.
TEST(SkipBytes, EndOfInputIsForgottenAfterASkipBack)
{
    const Bytes bytes = counting_bytes(16);
    ModuleInput module(bytes, Source::file);
    InputStream input = stream_of(module);
    std::array<std::uint8_t, 32> block{};
    EXPECT_EQ(read_block(input, block.data(), block.size()), 16u);
    skip_bytes(input, -20);
    EXPECT_EQ(read_u8(input), bytes[12]);
    seek_to(input, 3);
    EXPECT_EQ(read_u8(input), bytes[3]);
}

struct Rewind {
    const char* what;
    std::vector<std::size_t> blocks;  // read one after another; 1 is a byte read
    std::int64_t back;
    bool allowed;
};

// On a pipe whose reader may rewind, the last 4 KiB read come back after a
// skip backwards, however the reads crossed the ring's end.
TEST(SkipBytes, OnAPipeARewindReadsTheRecentBytesAgain)
{
    Bytes bytes(20000);
    for (std::size_t i = 0; i < bytes.size(); ++i)  // no period of 256 or 4096
        bytes[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8) * 101 + (i >> 12) * 37);
    for (const Rewind& c : {Rewind{"one block larger than the ring", {5000}, 4096, true},
                            Rewind{"a block across the ring's end", {3000, 2000}, 2500, true},
                            Rewind{"byte reads", {1, 1, 1, 1}, 4, true},
                            Rewind{"one byte too far", {5000}, 4097, false}}) {
        ModuleInput module(bytes, Source::pipe);
        InputStream input = stream_of(module);
        input.may_rewind = true;
        EXPECT_EQ(read_block(input, nullptr, 0), 0u);  // found by fuzzing: an empty read has no buffer
        std::vector<std::uint8_t> block(5000);
        for (std::size_t size : c.blocks) {
            if (size == 1)
                read_u8(input);
            else
                read_block(input, block.data(), size);
        }
        const std::int64_t at = input.position - c.back;
        if (!c.allowed) {
            EXPECT_THROW(skip_bytes(input, -c.back), FatalError) << c.what;
            continue;
        }
        skip_bytes(input, -c.back);
        const auto count = static_cast<std::size_t>(c.back) + 10;  // past the rewound bytes too
        ASSERT_EQ(read_block(input, block.data(), count), count) << c.what;
        EXPECT_TRUE(std::equal(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(count),
                               bytes.begin() + at))
            << c.what;
    }
}

// Found by fuzzing: a stream that cannot seek past its end (fmemopen). After
// skipping there and back within the zeros, a seek to real bytes reads them.
TEST(SkipBytes, ASeekToRealBytesEndsTheZerosPastTheEnd)
{
    Bytes bytes = counting_bytes(64);
    std::unique_ptr<std::FILE, FileCloser> file(fmemopen(bytes.data(), bytes.size(), "rb"));
    ASSERT_NE(file, nullptr);
    InputStream input;
    input.file = file.get();
    begin_input(input);
    skip_bytes(input, 100);
    skip_bytes(input, -10);
    EXPECT_EQ(read_u8(input), 0);
    seek_to(input, 10);
    EXPECT_EQ(read_u8(input), bytes[10]);
}

TEST(ReadBlock, ShortReadReportsItsCountAndFillsTheRestWithZeros)
{
    for (Source source : {Source::file, Source::pipe}) {
        const Bytes bytes = counting_bytes(10);
        ModuleInput module(bytes, source);
        InputStream input = stream_of(module);
        skip_bytes(input, 4);
        std::array<std::uint8_t, 12> block;
        block.fill(0xEE);
        EXPECT_EQ(read_block(input, block.data(), block.size()), 6u);
        for (std::size_t i = 0; i < block.size(); ++i)
            EXPECT_EQ(block[i], i < 6 ? bytes[4 + i] : 0) << "byte " << i;
        EXPECT_EQ(read_u16be(input), 0);
        EXPECT_EQ(read_u32le(input), 0u);
    }
}

TEST(ReadValues, ByteOrderIsAssembledByteByByte)
{
    const Bytes bytes{0x12, 0x34, 0x12, 0x34, 0x78, 0x56, 0x34, 0x12};
    ModuleInput module(bytes, Source::file);
    InputStream input = stream_of(module);
    EXPECT_EQ(read_u16be(input), 0x1234);
    EXPECT_EQ(read_u16le(input), 0x3412);
    EXPECT_EQ(read_u32le(input), 0x12345678u);
}

TEST(SeekTo, OnAPipeMovesForwardByReadingAndRefusesToGoBack)
{
    const Bytes bytes = counting_bytes(200);
    ModuleInput module(bytes, Source::pipe);
    InputStream input = stream_of(module);
    read_u8(input);
    seek_to(input, 150);
    EXPECT_EQ(read_u8(input), bytes[150]);
    EXPECT_THROW(seek_to(input, 20), FatalError);
}

}  // namespace
}  // namespace trk2inst::test
