#include <gtest/gtest.h>

#include "readers/sample_conversion.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

struct ConversionCase {
    const char* what;
    SampleShape shape;
    std::vector<std::int16_t> values;  // left channel, then right
    Bytes data;                        // the slot's bytes
    std::int32_t loop_start;
    std::int32_t loop_length;
    bool plain = false;  // the data begin with the values as they stand
};

void PrintTo(const ConversionCase& c, std::ostream* os)
{
    *os << c.what;
}

class StoreConvertedSample : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(StoreConvertedSample, GivesWordsAndALoopOnWholeWords)
{
    const ConversionCase& c = GetParam();
    SampleSlot slot;
    const std::span<const std::int16_t> all(c.values);
    const std::size_t half = c.shape.stereo ? all.size() / 2 : all.size();
    const bool plain = store_converted_sample(slot, c.shape, all.first(half), all.subspan(half), 1);
    EXPECT_EQ(plain, c.plain);
    EXPECT_EQ(slot_data(slot), c.data);
    EXPECT_EQ(slot.length, static_cast<std::int32_t>(c.data.size() / 2));
    EXPECT_EQ(slot.loop_start, c.loop_start);
    EXPECT_EQ(slot.loop_length, c.loop_length);
}

SampleShape mono(int bits, std::int64_t length)
{
    return {bits, false, length, false, 0, 0};
}

SampleShape looped(std::int64_t length, std::int64_t begin, std::int64_t end)
{
    return {8, false, length, true, begin, end};
}

// Expected bytes worked out by hand from the rules: 16-bit v gives
// floor((v + 128) / 256) clamped, a stereo pair the mean, an odd loop length is
// written twice, an odd loop start gets a zero in front, an odd total a zero
// at the end.
INSTANTIATE_TEST_SUITE_P(
    Cases, StoreConvertedSample,
    ::testing::Values(
        ConversionCase{"8-bit, odd count padded", mono(8, 3), {1, -2, 3}, {1, 0xFE, 3, 0}, 0, 1, true},
        // 18 values: sixteen at a time where the machine can, and two alone.
        ConversionCase{"16-bit rounding and clamping", mono(16, 18),
                       {-32768, -129, -128, 127, 128, 32767, 32639, 32640, -32640, -32641, 383, 384,
                        -32768, -129, -128, 127, 128, 32767},
                       {0x80, 0xFF, 0x00, 0x00, 0x01, 0x7F, 0x7F, 0x7F, 0x81, 0x80, 0x01, 0x02,
                        0x80, 0xFF, 0x00, 0x00, 0x01, 0x7F}, 0, 1},
        ConversionCase{"8-bit stereo mean, halves up", {8, true, 4, false, 0, 0},
                       {1, -1, -128, 127, 2, -2, -128, 127}, {2, 0xFF, 0x80, 0x7F}, 0, 1},
        ConversionCase{"16-bit stereo", {16, true, 2, false, 0, 0},
                       {32767, -32768, 32767, -32768}, {0x7F, 0x80}, 0, 1},
        ConversionCase{"even loop", looped(6, 2, 6), {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, 1, 2, true},
        ConversionCase{"odd loop length written twice", looped(6, 2, 5), {1, 2, 3, 4, 5, 6},
                       {1, 2, 3, 4, 5, 3, 4, 5, 6, 0}, 1, 3},
        ConversionCase{"odd loop start gets a zero in front", looped(5, 1, 5), {1, 2, 3, 4, 5},
                       {0, 1, 2, 3, 4, 5}, 1, 2},
        ConversionCase{"odd start and length", looped(4, 1, 4), {1, 2, 3, 4},
                       {0, 1, 2, 3, 4, 2, 3, 4}, 1, 3},
        ConversionCase{"one value at the very end is a loop", looped(4, 3, 4), {1, 2, 3, 4},
                       {0, 1, 2, 3, 4, 4}, 2, 1},
        ConversionCase{"loop past the end ends there", looped(4, 2, 9), {1, 2, 3, 4}, {1, 2, 3, 4}, 1, 1, true},
        ConversionCase{"loop starting at the end is none", looped(4, 4, 6), {1, 2, 3, 4}, {1, 2, 3, 4}, 0, 1, true},
        ConversionCase{"empty loop is none", looped(4, 2, 2), {1, 2, 3, 4}, {1, 2, 3, 4}, 0, 1, true},
        ConversionCase{"backward loop is none", looped(4, 3, 1), {1, 2, 3, 4}, {1, 2, 3, 4}, 0, 1, true},
        ConversionCase{"no values", looped(0, 0, 2), {}, {}, 0, 1, true}));

TEST(StoreConvertedSample, KeepsTheFirst65535WordsWithTheLoopInside)
{
    struct LongCase {
        SampleShape shape;
        std::int32_t loop_start;
        std::int32_t loop_length;
    };
    const std::int64_t kept = max_kept_values;
    for (const LongCase& c : {LongCase{looped(200000, 1000, 200000), 500, 65035},
                              LongCase{looped(200000, 140000, 150000), 65535, 1},
                              LongCase{looped(200000, 10, 17), 5, 7},  // odd: twice over
                              LongCase{mono(16, 4000000000), 0, 1}}) {
        SampleValues values(static_cast<std::size_t>(values_to_keep(c.shape)));
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<std::int16_t>(static_cast<std::int8_t>(i * 7));
        SampleSlot slot;
        store_converted_sample(slot, c.shape, values, {}, 1);
        EXPECT_EQ(values.size(), static_cast<std::size_t>(std::min(c.shape.length, kept)));
        EXPECT_EQ(slot.length, 65535);
        EXPECT_EQ(slot.loop_start, c.loop_start);
        EXPECT_EQ(slot.loop_length, c.loop_length);
        const Bytes data = slot_data(slot);
        // The bytes up to the loop's end are the values as they are.
        const std::size_t plain = c.loop_length > 1 ? 17 : data.size();
        for (std::size_t i = 0; i < plain && c.shape.bits == 8; ++i)
            ASSERT_EQ(data[i], static_cast<std::uint8_t>(values[i])) << i;
    }
}

}  // namespace
}  // namespace trk2inst::test

namespace trk2inst::test {
namespace {

// The many-at-a-time paths against the rule they stand for, on every kind of
// value, with counts that leave a remainder for the plain loop.
TEST(SampleConversionBlocks, GiveWhatTheRuleGives)
{
    SampleValues left(45), right(45);
    Bytes big_endian;
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<std::int16_t>(i % 3 == 0 ? 32767 : -32768 + static_cast<int>(i * 1499));
        right[i] = static_cast<std::int16_t>(i % 5 == 0 ? 32767 : 300 - static_cast<int>(i * 977));
        build::put_u16be(big_endian, static_cast<std::uint16_t>(left[i]));
    }
    SampleValues decoded(left.size());
    decode_pcm(big_endian.data(), 16, false, true, decoded.data(), decoded.size());
    EXPECT_EQ(decoded, left);
    SampleShape shape;
    shape.bits = 16;
    shape.stereo = true;
    shape.length = static_cast<std::int64_t>(left.size());
    SampleSlot slot;
    store_converted_sample(slot, shape, left, right, 1);
    const Bytes data = slot_data(slot);
    for (std::size_t i = 0; i < left.size(); ++i)
        EXPECT_EQ(static_cast<std::int8_t>(data[i]), std::min((left[i] + right[i] + 256) >> 9, 127)) << i;
}

}  // namespace
}  // namespace trk2inst::test
