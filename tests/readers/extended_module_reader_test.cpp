#include <gtest/gtest.h>

#include <optional>

#include "readers/readers.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::XmInstrument;
using build::XmPattern;
using build::XmSample;
using build::XmSpec;

constexpr std::uint8_t no_loop = 0, forward = 1, ping_pong = 2, sixteen_bit = 0x10;

// What the reader must make of stored delta-coded bytes: their running sum.
Bytes decoded(const Bytes& stored, std::size_t keep)
{
    Bytes out;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < keep && i < stored.size(); ++i) {
        sum = static_cast<std::uint8_t>(sum + stored[i]);
        out.push_back(sum);
    }
    return out;
}

Bytes decoded(const XmSample& sample)
{
    return decoded(build::xm_sample_data(sample), sample.length & ~1u);
}

XmSample sample(std::string name, std::uint32_t length, std::uint8_t type = no_loop,
                std::uint32_t loop_start = 0, std::uint32_t loop_length = 0)
{
    XmSample s;
    s.name = std::move(name);
    s.length = length;
    s.type = type;
    s.loop_start = loop_start;
    s.loop_length = loop_length;
    return s;
}

XmInstrument instrument(std::vector<XmSample> samples)
{
    XmInstrument i;
    i.name = "instrument";
    i.samples = std::move(samples);
    return i;
}

XmSpec with_patterns(std::vector<XmInstrument> instruments)
{
    XmSpec layout;
    layout.patterns = {XmPattern{9, 64, Bytes(300, 0x80)}, XmPattern{9, 32, Bytes(17, 0x81)}};
    layout.instruments = std::move(instruments);
    return layout;
}

LoadResult load(const XmSpec& layout, Source source = Source::file)
{
    return load_module(build::build_xm(layout), source, read_streamed_module);
}

// Samples fill the slots in file order across instruments; an instrument with
// no samples takes no slot. Slots are named after the samples.
TEST(ExtendedModuleReader, SamplesFillSlotsInFileOrder)
{
    const XmSpec layout = with_patterns(
        {instrument({sample("Sample_1_____________X", 100), sample("two", 7), sample("three", 0)}),
         instrument({}), instrument({sample("four", 64, forward, 2, 60), sample("five", 1)})});
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load(layout, source);
        ASSERT_EQ(loaded.error, "");
        const SampleTable slots = record_table(*loaded.state);
        const ModuleSummary& summary = loaded.state->summary;
        EXPECT_STREQ(summary.format_tag.data(), "EXT.");
        EXPECT_TRUE(summary.no_expected_length);
        EXPECT_EQ(summary.channels, 8);
        EXPECT_EQ(summary.patterns, 2);
        const char* names[] = {"Sample_1_____________X", "two", "three", "four", "five"};
        const std::int32_t lengths[] = {50, 3, 0, 32, 0};
        const XmSample* samples[] = {&layout.instruments[0].samples[0], &layout.instruments[0].samples[1],
                                     &layout.instruments[0].samples[2], &layout.instruments[2].samples[0],
                                     &layout.instruments[2].samples[1]};
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_STREQ(slots[i].name.data(), names[i]);
            EXPECT_EQ(slots[i].length, lengths[i]) << names[i];
            EXPECT_EQ(slot_data(slots[i]), decoded(*samples[i])) << names[i];
        }
        EXPECT_TRUE(slots[1].odd_length);
        EXPECT_FALSE(slots[0].odd_length);
        EXPECT_EQ(slots[3].loop_start, 1);
        EXPECT_EQ(slots[3].loop_length, 30);
        EXPECT_EQ(slots[5].name[0], '\0');
    }
}

TEST(ExtendedModuleReader, DeltaDecodingRunsAnEightBitSum)
{
    XmSample s = sample("delta", 4);
    s.data = Bytes{0x05, 0x03, 0xFE, 0x00};
    XmSample t = sample("restarts", 2);
    t.data = Bytes{0x10, 0xF0};
    const LoadResult loaded = load(with_patterns({instrument({s, t})}));
    ASSERT_EQ(loaded.error, "");
    EXPECT_EQ(slot_data(loaded.state->samples[0]), (Bytes{0x05, 0x08, 0x06, 0x06}));
    EXPECT_EQ(slot_data(loaded.state->samples[1]), (Bytes{0x10, 0x00}));
}

// The block-wise decoding must match a byte-by-byte running sum at every
// length around its block size, and carry the sum across blocks.
TEST(ExtendedModuleReader, DeltaDecodingMatchesTheRunningSumAtEveryLength)
{
    for (std::size_t size = 0; size <= 70; ++size) {
        Bytes data = build::filler(size, static_cast<unsigned>(size * 37));
        Bytes expected = data;
        std::uint8_t sum = 0;
        for (std::uint8_t& byte : expected) {
            sum = static_cast<std::uint8_t>(sum + byte);
            byte = sum;
        }
        delta_decode(data.data(), data.size());
        EXPECT_EQ(data, expected) << "size " << size;
    }
}

struct ConversionCase {
    const char* what;
    std::int8_t finetune;
    std::uint8_t type;
    std::uint32_t loop_start, loop_length;
    std::uint8_t expected_finetune;
    std::int32_t expected_loop_start, expected_loop_length;
};

void PrintTo(const ConversionCase& c, std::ostream* os)
{
    *os << c.what;
}

class SampleConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(SampleConversion, FinetuneAndLoopTakeTheRecordsForm)
{
    const ConversionCase& c = GetParam();
    XmSample s = sample("s", 1000, c.type, c.loop_start, c.loop_length);
    s.finetune = c.finetune;
    s.relative_note = -13;
    s.volume = 0x33;
    const LoadResult loaded = load(with_patterns({instrument({s, sample("next", 10)})}));
    ASSERT_EQ(loaded.error, "");
    const SampleSlot& slot = loaded.state->samples[0];
    EXPECT_EQ(slot.finetune, c.expected_finetune);
    EXPECT_EQ(slot.loop_start, c.expected_loop_start);
    EXPECT_EQ(slot.loop_length, c.expected_loop_length);
    EXPECT_EQ(slot.note, -13);
    EXPECT_EQ(slot.volume, 0x33);
    EXPECT_EQ(slot_data(loaded.state->samples[1]), decoded(sample("next", 10)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SampleConversion,
    ::testing::Values(
        ConversionCase{"finetune -16 is -1 eighth", -16, no_loop, 0, 0, 0x0F, 0, 1},
        ConversionCase{"finetune 127", 127, no_loop, 0, 0, 0xF7, 0, 1},
        ConversionCase{"finetune 64, half a semitone", 64, no_loop, 0, 0, 0x04, 0, 1},
        ConversionCase{"finetune -64", -64, no_loop, 0, 0, 0x0C, 0, 1},
        ConversionCase{"finetune -128", -128, no_loop, 0, 0, 0x08, 0, 1},
        ConversionCase{"forward loop keeps its length", 0, forward, 200, 600, 0x00, 100, 300},
        ConversionCase{"ping-pong counts as no loop", 0, ping_pong, 200, 600, 0x00, 100, 1},
        ConversionCase{"both loop bits: forward", 0, forward | ping_pong, 8, 4, 0x00, 4, 2},
        // Trackers leave odd values in the loop fields of samples that do not loop.
        ConversionCase{"odd loop fields without a loop", 0, no_loop, 3, 1, 0x00, 1, 1},
        ConversionCase{"odd loop fields on ping-pong", 0, ping_pong, 7, 9, 0x00, 3, 1}));

struct RefusalCase {
    const char* what;
    std::uint8_t type;
    std::uint32_t loop_start, loop_length;
    const char* message;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.what;
}

class SampleRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SampleRefusal, EndsTheRunWithItsMessage)
{
    const RefusalCase& c = GetParam();
    const LoadResult loaded = load(
        with_patterns({instrument({sample("ok", 10), sample("bad", 100, c.type, c.loop_start,
                                                               c.loop_length)})}),
        Source::pipe);
    EXPECT_EQ(loaded.error, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SampleRefusal,
    ::testing::Values(
        RefusalCase{"odd loop start", forward, 3, 10, "Sample length is not even.\n"},
        RefusalCase{"odd loop length", forward, 2, 11, "Sample length is not even.\n"},
        RefusalCase{"16-bit data", sixteen_bit, 0, 0, "Sixteen-bit sample data is not supported.\n"},
        RefusalCase{"16-bit data with odd unused loop", sixteen_bit, 1, 1,
                    "Sixteen-bit sample data is not supported.\n"},
        RefusalCase{"odd loop comes before 16-bit", forward | sixteen_bit, 1, 2,
                    "Sample length is not even.\n"}));

// Header, pattern, instrument and sample header sizes are honoured as given.
TEST(ExtendedModuleReader, UnusualStructureSizesAreHonoured)
{
    XmSpec layout = with_patterns({});
    layout.header_size = 300;
    layout.patterns.push_back(XmPattern{20, 64, Bytes(5, 1)});
    XmInstrument big = instrument({sample("a", 30), sample("b", 12)});
    big.size = 400;
    big.sample_header_size = 64;
    XmInstrument empty = instrument({});
    empty.size = 100;
    layout.instruments = {empty, big, instrument({sample("c", 8)})};
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load(layout, source);
        ASSERT_EQ(loaded.error, "");
        EXPECT_EQ(loaded.state->summary.patterns, 3);
        EXPECT_STREQ(loaded.state->samples[1].name.data(), "b");
        EXPECT_EQ(slot_data(loaded.state->samples[0]), decoded(big.samples[0]));
        EXPECT_EQ(slot_data(loaded.state->samples[1]), decoded(big.samples[1]));
        EXPECT_EQ(slot_data(loaded.state->samples[2]), decoded(layout.instruments[2].samples[0]));
    }
}

// A sample header size below 40 overlaps the next header: on a file the reader
// moves back as the size says; a pipe cannot go back.
TEST(ExtendedModuleReader, SampleHeaderSizeBelowItsFieldsMovesBack)
{
    XmInstrument short_headers = instrument({sample("first", 6), sample("second", 4)});
    short_headers.sample_header_size = 30;
    const XmSpec layout = with_patterns({short_headers});
    const LoadResult from_file = load(layout, Source::file);
    ASSERT_EQ(from_file.error, "");
    // The second header starts 30 bytes after the first and overwrote its name.
    EXPECT_EQ(from_file.state->samples[1].length, 2);
    const LoadResult from_pipe = load(layout, Source::pipe);
    EXPECT_EQ(from_pipe.error, "Cannot skip backwards on this input.\n");
}

struct LongCase {
    const char* what;
    std::uint32_t length, loop_start, loop_length;
    std::uint8_t type;
    std::int32_t words, kept_loop_start, kept_loop_length;
};

void PrintTo(const LongCase& c, std::ostream* os)
{
    *os << c.what;
}

class LongXmSample : public ::testing::TestWithParam<LongCase> {};

// Byte counts are read in full; a slot keeps at most 65,535 words and the
// loop inside them, and the samples after a long one stay in step.
TEST_P(LongXmSample, KeepsItsStartAndTheModuleInStep)
{
    const LongCase& c = GetParam();
    const XmSample long_one = sample("long", c.length, c.type, c.loop_start, c.loop_length);
    const XmSample after = sample("after", 300);
    const XmSpec layout = with_patterns({instrument({long_one}), instrument({after})});
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load(layout, source);
        ASSERT_EQ(loaded.error, "");
        const SampleSlot& slot = loaded.state->samples[0];
        EXPECT_EQ(slot.length, c.words);
        EXPECT_EQ(slot.loop_start, c.kept_loop_start);
        EXPECT_EQ(slot.loop_length, c.kept_loop_length);
        EXPECT_EQ(slot_data(slot),
                  decoded(build::xm_sample_data(long_one), 2 * static_cast<std::size_t>(c.words)));
        EXPECT_EQ(slot_data(loaded.state->samples[1]), decoded(after));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, LongXmSample,
    ::testing::Values(
        LongCase{"65,536 bytes", 65536, 0, 65536, forward, 32768, 0, 32768},
        LongCase{"131,071 bytes", 131071, 100000, 30000, forward, 65535, 50000, 15000},
        LongCase{"loop inside the kept part", 200000, 1000, 2000, forward, 65535, 500, 1000},
        LongCase{"loop cut at the kept end", 200000, 100000, 90000, forward, 65535, 50000,
                 15535},
        LongCase{"loop past the kept end dropped", 200000, 140000, 2000, forward, 65535, 65535, 1},
        LongCase{"no loop, start past the end", 300000, 200000, 0, no_loop, 65535, 65535, 1}));

// 120 samples: the first 99 fill the table with their own data; the instrument
// that crosses slot 99 stores what fits.
TEST(ExtendedModuleReader, MoreThanNinetyNineSamples)
{
    std::vector<XmInstrument> instruments;
    for (int i = 0; i < 3; ++i) {
        std::vector<XmSample> samples;
        for (int j = 0; j < 40; ++j)
            samples.push_back(sample(numbered("", i * 40 + j + 1), static_cast<std::uint32_t>(10 + i * 40 + j)));
        instruments.push_back(instrument(samples));
    }
    const XmSpec layout = with_patterns(instruments);
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load(layout, source);
        ASSERT_EQ(loaded.error, "");
        for (std::size_t n = 0; n < 99; ++n) {
            const XmSample& expected = layout.instruments[n / 40].samples[n % 40];
            EXPECT_STREQ(loaded.state->samples[n].name.data(), expected.name.c_str());
            EXPECT_EQ(slot_data(loaded.state->samples[n]), decoded(expected)) << "slot " << n + 1;
        }
    }
}

struct ClaimCase {
    const char* what;
    std::optional<std::uint16_t> pattern_count;
    std::optional<std::uint16_t> instrument_count;
    std::uint32_t sample_header_size;
    std::uint32_t first_sample_length;
    const char* pipe_error;
};

void PrintTo(const ClaimCase& c, std::ostream* os)
{
    *os << c.what;
}

class HugeClaims : public ::testing::TestWithParam<ClaimCase> {};

// Counts and sizes that claim far more than the input holds end in time: the
// reads past the end give zeros, and nothing is kept beyond 99 slots.
TEST_P(HugeClaims, EndInTimeWithZeros)
{
    const ClaimCase& c = GetParam();
    XmSpec layout = with_patterns({});
    layout.pattern_count = c.pattern_count;
    layout.instrument_count = c.instrument_count;
    XmSample first = sample("first", c.first_sample_length);
    first.data = Bytes(1000, 0);
    XmInstrument claims = instrument({first});
    claims.sample_count = 0xFFFF;
    claims.sample_header_size = c.sample_header_size;
    layout.instruments = {claims};
    const Bytes module = build::build_xm(layout);
    const LoadResult from_file = load_module(module, Source::file, read_streamed_module);
    EXPECT_EQ(from_file.error, "");
    const LoadResult from_pipe = load_module(module, Source::pipe, read_streamed_module);
    EXPECT_EQ(from_pipe.error, c.pipe_error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HugeClaims,
    ::testing::Values(
        ClaimCase{"65,535 patterns", 0xFFFF, std::nullopt, 40, 10, ""},
        ClaimCase{"65,535 instruments", std::nullopt, 0xFFFF, 40, 10, ""},
        ClaimCase{"65,535 samples with a header size of 0", std::nullopt, std::nullopt, 0, 10,
                  "Cannot skip backwards on this input.\n"},
        ClaimCase{"65,535 samples, the first of 4 GiB", std::nullopt, 0xFFFF, 40, 0xFFFFFFFF,
                  ""}));

TEST(ExtendedModuleReader, CutOffSampleDataIsZeroFilled)
{
    const XmSample a = sample("a", 100);
    const Bytes full = build::build_xm(with_patterns({instrument({a, sample("b", 100)})}));
    const Bytes module(full.begin(), full.end() - 60);  // 40 bytes of "b" remain
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load_module(module, source, read_streamed_module);
        ASSERT_EQ(loaded.error, "");
        EXPECT_EQ(slot_data(loaded.state->samples[0]), decoded(a));
        Bytes expected_b = decoded(sample("b", 100));
        expected_b.resize(40);
        expected_b.resize(100, expected_b.back());  // the running sum goes on over zeros
        EXPECT_EQ(slot_data(loaded.state->samples[1]), expected_b);
    }
}

// Cut off among the patterns, the module reads zeros from there on, and a
// pattern header length of 0 then points back by 9 bytes. Only zeros lie
// there, so a pipe follows it as a file does and both end cleanly.
TEST(ExtendedModuleReader, CutOffAmongThePatternsReadsAlikeFromAPipe)
{
    const Bytes full = build::build_xm(with_patterns({instrument({sample("a", 100)})}));
    const Bytes module(full.begin(), full.begin() + 60 + 276 + 9 + 100);
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load_module(module, source, read_streamed_module);
        ASSERT_EQ(loaded.error, "");
        EXPECT_EQ(loaded.state->samples[0].length, 0);
    }
}

TEST(ExtendedModuleReader, ListingAndNameSearch)
{
    std::vector<XmSample> samples;
    for (int i = 1; i <= 32; ++i)
        samples.push_back(sample(numbered("s", i), 4));
    samples[0].relative_note = 12;
    samples[0].finetune = -16;
    samples[0].name = "lead";
    const Bytes module = build::build_xm(with_patterns({instrument(samples)}));
    const RunResult listing = run_in_process({"i"}, &module, Source::pipe);
    const std::string start = "Format: EXT.\nChannels: 8\nPatterns: 2\n\n"
                              "[01] lead\n  Len:     2   Finetune: C.4-1   Vol:  64   Loop: N\n[02] s";
    EXPECT_EQ(text_of(listing.out).substr(0, start.size()), start);
    EXPECT_EQ(text_of(listing.out).find("Expected"), std::string::npos);
    const RunResult search = run_in_process({"-s31", "-s32"}, &module, Source::pipe);
    EXPECT_EQ(search.out.size(), 11u + 4);
    EXPECT_EQ(search.err, "Instrument not found: s32\n");
    EXPECT_EQ(search.status, 1);
}

}  // namespace
}  // namespace trk2inst::test
