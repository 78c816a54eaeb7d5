#include <gtest/gtest.h>

#include <cstring>

#include "readers/readers.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ModSample;
using build::ModSpec;

struct TagCase {
    const char* tag;
    bool wow_mode;
    int channels;            // 0: refused
    const char* shown_tag;   // the tag afterwards
};

void PrintTo(const TagCase& c, std::ostream* os)
{
    *os << c.tag << (c.wow_mode ? " (WOW)" : "");
}

class FormatTag : public ::testing::TestWithParam<TagCase> {};

TEST_P(FormatTag, GivesItsChannelCountOrIsRefused)
{
    const TagCase& c = GetParam();
    std::array<char, 5> tag{};
    std::memcpy(tag.data(), c.tag, 4);
    if (c.channels == 0) {
        try {
            decode_format_tag(tag, c.wow_mode);
            FAIL() << c.tag << " was accepted";
        } catch (const FatalError& error) {
            EXPECT_EQ(error.message, "Unexpected format tag: " + std::string(c.shown_tag) + "\n");
        }
        return;
    }
    EXPECT_EQ(decode_format_tag(tag, c.wow_mode), c.channels) << c.tag;
    EXPECT_STREQ(tag.data(), c.shown_tag);
}

INSTANTIATE_TEST_SUITE_P(
    AllTags, FormatTag,
    ::testing::Values(
        TagCase{"M.K.", false, 4, "M.K."}, TagCase{"M.K.", true, 8, "WOW!"},
        TagCase{"M!K!", false, 4, "M!K!"}, TagCase{"M!K!", true, 4, "M!K!"},
        TagCase{"M&K!", true, 4, "M&K!"}, TagCase{"FLT4", false, 4, "FLT4"},
        TagCase{"FLT8", false, 4, "FLT8"}, TagCase{"FLT\x01", false, 4, "FLT\x01"},
        TagCase{"CD81", false, 8, "CD81"}, TagCase{"OCTA", false, 8, "OCTA"},
        TagCase{"OKTA", true, 8, "OKTA"}, TagCase{"TDZ1", false, 1, "TDZ1"},
        TagCase{"TDZ9", false, 9, "TDZ9"}, TagCase{"TDZ0", false, 0, "TDZ0"},
        TagCase{"1CHN", false, 1, "1CHN"}, TagCase{"5CHN", false, 5, "5CHN"},
        TagCase{"9CHN", false, 9, "9CHN"}, TagCase{"0CHN", false, 0, "0CHN"},
        TagCase{"10CH", false, 10, "10CH"}, TagCase{"10CN", false, 10, "10CN"},
        TagCase{"32CH", false, 32, "32CH"}, TagCase{"99CH", false, 99, "99CH"},
        TagCase{"08CH", false, 0, "08CH"}, TagCase{"1ACH", false, 0, "1ACH"},
        TagCase{"WOW!", false, 0, "WOW!"}, TagCase{"WOW!", true, 0, "WOW!"},
        TagCase{"M!K.", true, 0, "M!K."}, TagCase{"M.K!", false, 0, "M.K!"},
        TagCase{"m.k.", false, 0, "m.k."}, TagCase{"M\0K.", false, 0, "M"},
        TagCase{"\0\0\0\0", false, 0, ""}));

// Every header field of a slot, with names filled to their full 22 bytes.
TEST(ProTrackerReader, ReadsEverySampleHeaderFieldAndItsData)
{
    ModSpec layout;
    layout.samples.resize(31);
    layout.samples[0] = {"Sample_1_____________X", 1000, 0x0F, 48, 100, 1, std::nullopt};
    layout.samples[4] = {"short", 3, 0x07, 64, 1, 2, std::nullopt};
    layout.samples[30] = {"Sample_31____________Y", 0xFFFF, 0x88, 0xFF, 0xFFFE, 0xFFFF, std::nullopt};
    layout.samples[7].name = "named but empty";
    layout.samples[7].length = 0;
    const Bytes module = build::build_mod(layout);
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load_module(module, source, read_streamed_module);
        ASSERT_EQ(loaded.error, "");
        const SampleTable slots = record_table(*loaded.state);
        EXPECT_STREQ(slots[0].name.data(), "Sample_1_____________X");
        EXPECT_EQ(slots[0].length, 1000);
        EXPECT_EQ(slots[0].finetune, 0x0F);
        EXPECT_EQ(slots[0].volume, 48);
        EXPECT_EQ(slots[0].loop_start, 100);
        EXPECT_EQ(slots[0].loop_length, 1);
        EXPECT_EQ(slots[0].note, 0);
        EXPECT_EQ(slot_data(slots[0]), build::mod_sample_data(layout.samples[0], 1));
        EXPECT_EQ(slot_data(slots[4]), build::mod_sample_data(layout.samples[4], 5));
        EXPECT_STREQ(slots[7].name.data(), "named but empty");
        EXPECT_EQ(slots[7].length, 0);
        EXPECT_EQ(slots[7].data, nullptr);
        EXPECT_STREQ(slots[30].name.data(), "Sample_31____________Y");
        EXPECT_EQ(slots[30].length, 0xFFFF);
        EXPECT_EQ(slots[30].finetune, 0x88);
        EXPECT_EQ(slots[30].volume, 0xFF);
        EXPECT_EQ(slots[30].loop_start, 0xFFFE);
        EXPECT_EQ(slots[30].loop_length, 0xFFFF);
        EXPECT_EQ(slot_data(slots[30]), build::mod_sample_data(layout.samples[30], 31));
        EXPECT_EQ(slots[31].length, 0);
        EXPECT_STREQ(loaded.state->summary.format_tag.data(), "M.K.");
        EXPECT_FALSE(loaded.state->summary.no_expected_length);
    }
}

struct PatternCase {
    const char* tag;
    bool wow_mode;
    std::uint8_t largest_order;
    int channels;
    int patterns;
};

void PrintTo(const PatternCase& c, std::ostream* os)
{
    *os << c.tag << " orders up to " << int(c.largest_order);
}

class PatternSkip : public ::testing::TestWithParam<PatternCase> {};

// The sample data start right after patterns x channels x 256 bytes: a wrong
// count would read pattern bytes (all 0xAA here) as samples.
TEST_P(PatternSkip, SampleDataFollowTheCountedPatterns)
{
    const PatternCase& c = GetParam();
    ModSpec layout;
    layout.tag = c.tag;
    layout.orders[100] = c.largest_order;
    layout.orders[3] = 1;
    layout.pattern_data = Bytes(static_cast<std::size_t>(c.patterns * c.channels * 256), 0xAA);
    layout.samples = {{"a", 300, 0, 64, 0, 1, std::nullopt}, {"b", 5, 0, 64, 0, 1, std::nullopt}};
    const Bytes module = build::build_mod(layout);
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load_module(module, source, read_streamed_module, c.wow_mode);
        ASSERT_EQ(loaded.error, "");
        EXPECT_EQ(loaded.state->summary.channels, c.channels);
        EXPECT_EQ(loaded.state->summary.patterns, c.patterns);
        EXPECT_EQ(slot_data(loaded.state->samples[0]), build::mod_sample_data(layout.samples[0], 1));
        EXPECT_EQ(slot_data(loaded.state->samples[1]), build::mod_sample_data(layout.samples[1], 2));
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, PatternSkip,
                         ::testing::Values(PatternCase{"M.K.", false, 5, 4, 6},
                                           PatternCase{"M.K.", true, 5, 8, 6},
                                           PatternCase{"FLT8", false, 1, 4, 2},
                                           PatternCase{"6CHN", false, 2, 6, 3},
                                           PatternCase{"99CH", false, 255, 99, 256}));

TEST(ProTrackerReader, OrderTableOfZerosGivesOnePattern)
{
    const LoadResult loaded = load_module(build::build_mod({}), Source::file, read_streamed_module);
    ASSERT_EQ(loaded.error, "");
    EXPECT_EQ(loaded.state->summary.patterns, 1);
}

TEST(ProTrackerReader, AlmostTheExtendedModuleSignatureIsATitle)
{
    ModSpec layout;
    layout.title = "Extended Module:_xyz";
    layout.samples = {{"kick", 10, 0, 64, 0, 1, std::nullopt}};
    const LoadResult loaded =
        load_module(build::build_mod(layout), Source::pipe, read_streamed_module);
    ASSERT_EQ(loaded.error, "");
    EXPECT_STREQ(loaded.state->summary.format_tag.data(), "M.K.");
    EXPECT_STREQ(loaded.state->samples[0].name.data(), "kick");
}

// An input shorter than the signature is not compared beyond what arrived:
// it is a ProTracker module whose tag reads as zeros.
TEST(ProTrackerReader, InputShorterThanTheSignatureEndsOnItsTag)
{
    for (const char* head : {"", "Extended Module", "Extended Module:"}) {
        const LoadResult loaded = load_module(bytes_of(head), Source::pipe, read_streamed_module);
        EXPECT_EQ(loaded.error, "Unexpected format tag: \n") << '"' << head << '"';
    }
}

// A module cut anywhere in its sample data loads, with zeros for what is missing.
TEST(ProTrackerReader, CutOffSampleDataIsZeroFilled)
{
    ModSpec layout;
    layout.samples = {{"a", 100, 0, 64, 0, 1, std::nullopt}, {"b", 100, 0, 64, 0, 1, std::nullopt}};
    const Bytes full = build::build_mod(layout);
    const Bytes module(full.begin(), full.end() - 150);  // 50 bytes of "b" remain
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load_module(module, source, read_streamed_module);
        ASSERT_EQ(loaded.error, "");
        Bytes expected_b = build::mod_sample_data(layout.samples[1], 2);
        expected_b.resize(50);
        expected_b.resize(200, 0);
        EXPECT_EQ(slot_data(loaded.state->samples[0]), build::mod_sample_data(layout.samples[0], 1));
        EXPECT_EQ(slot_data(loaded.state->samples[1]), expected_b);
    }
}

}  // namespace
}  // namespace trk2inst::test
