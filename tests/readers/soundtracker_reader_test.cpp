// The rest of the ProTracker family under "=A": other trackers' tags, the
// 15-sample module and its recognition; "FLT8" patterns counted in pairs.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ModSample;
using build::ModSpec;
using build::St15Spec;

ModSpec tagged(const std::string& tag, int channels, Bytes after_tag = {})
{
    ModSpec layout;
    layout.tag = tag;
    layout.channels = channels;
    layout.after_tag = std::move(after_tag);
    layout.orders[0] = 1;
    layout.samples = {{"first", 5, 0xFE, 40, 1, 3, std::nullopt}, {"second", 3, 0, 64, 0, 1, std::nullopt}};
    return layout;
}

std::string listing_head(const std::string& tag, int channels, int patterns)
{
    return "Format: " + tag + "\nChannels: " + std::to_string(channels) + "\nPatterns: " +
           std::to_string(patterns) + "\n\n";
}

struct TagCase {
    const char* tag;
    int channels;
    const char* twin;  // a tag "=M" reads with the same layout
    Bytes after_tag;
};

// Each tag reads as its twin reads under "=M" (FA0x without its four bytes);
// the listing shows the tag as found, and the expected length is the file's.
TEST(OtherTags, ReadAsTheirTwins)
{
    for (const TagCase& c : {TagCase{"N.T.", 4, "M.K.", {}}, TagCase{"FEST", 4, "M&K!", {}},
                             TagCase{"NSMS", 4, "M.K.", {}}, TagCase{"LARD", 4, "M.K.", {}},
                             TagCase{"PATT", 4, "M.K.", {}}, TagCase{"CD61", 6, "6CHN", {}},
                             TagCase{"WARD", 8, "CD81", {}}, TagCase{"FA04", 4, "M.K.", {0, 0x40, 0, 0}},
                             TagCase{"FA05", 5, "5CHN", {0, 0x40, 0, 0}}, TagCase{"FA08", 8, "8CHN", {0, 0x40, 0, 0}},
                             TagCase{"EXO4", 4, "FLT4", {}}}) {
        const Bytes module = build::build_mod(tagged(c.tag, c.channels, c.after_tag));
        const TempFile twin_file(build::build_mod(tagged(c.twin, c.channels)));
        EXPECT_EQ(run_both({"o1", "o2"}, module).out, run_in_process({"=M", twin_file.path(), "o1", "o2"}).out)
            << c.tag;
        const RunResult listing = run_both({"i"}, module);
        ASSERT_EQ(listing.status, 0) << c.tag << ": " << listing.err;
        const std::string out = text_of(listing.out);
        EXPECT_EQ(out.substr(0, out.find("\n\n") + 2), listing_head(c.tag, c.channels, 2));
        EXPECT_NE(out.find("\nExpected length: " + std::to_string(module.size()) + "\n"), std::string::npos) << c.tag;
        const TempFile file(module);
        EXPECT_EQ(run_in_process({"=M", file.path(), "i"}).err, std::string("Unexpected format tag: ") + c.tag + "\n");
    }
}

// An 8-channel pattern is stored as two 4-channel ones: with the highest
// order entry 2 the file holds 4 patterns, and the samples follow them.
TEST(PairedPatterns, SamplesFollowAnEvenCount)
{
    for (const char* tag : {"FLT8", "EXO8"}) {
        ModSpec layout;
        layout.tag = tag;
        layout.orders = {0, 2, 2};
        layout.pattern_data = build::filler(4 * 1024, 0x33);
        layout.samples = {{"kick", 2, 0, 64, 0, 1, Bytes{0x11, 0x22, 0x33, 0x44}}};
        const Bytes module = build::build_mod(layout);
        Bytes expected{0x0A, 0, 2, 0, 0, 0, 0, 1, 0x40, 0, 0, 0x11, 0x22, 0x33, 0x44};
        build::append(expected, bytes_of(listing_head(tag, 4, 4)));
        build::append(expected, bytes_of("[01] kick\n  Len:     2   Finetune: C.5+0   Vol:  64   Loop: N\n\n"
                                         "Expected length: " + std::to_string(module.size()) + "\n"));
        EXPECT_EQ(run_both({"o1", "i"}, module).out, expected) << tag;
        if (std::string(tag) == "FLT8") {
            EXPECT_EQ(run_both({"o1", "i"}, module, "=M").out, expected);
            EXPECT_EQ(run_in_process({"o1", "i"}, &module, Source::pipe).out, expected);
        }
    }
}

St15Spec st15()
{
    St15Spec layout;
    layout.title = "song";
    layout.samples = {{"st-01:strings", 8, 0, 64, 4, 2, std::nullopt}, {"", 0, 0, 0, 0, 1, std::nullopt},
                      {"st-01:bass", 3, 0, 32, 0, 1, std::nullopt}};
    layout.orders[0] = 1;
    return layout;
}

// One cell of a pattern: sample number and period, as ProTracker packs them.
Bytes with_cell(Bytes pattern, std::size_t cell, unsigned sample, unsigned period)
{
    pattern[4 * cell] = static_cast<std::uint8_t>((sample & 0xF0) | (period >> 8));
    pattern[4 * cell + 1] = static_cast<std::uint8_t>(period & 0xFF);
    pattern[4 * cell + 2] = static_cast<std::uint8_t>((sample & 0x0F) << 4);
    return pattern;
}

struct RecognitionCase {
    const char* what;
    Bytes module;
    int patterns;  // 0: refused
};

void PrintTo(const RecognitionCase& c, std::ostream* os)
{
    *os << c.what;
}

class FifteenSamples : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(FifteenSamples, AreRecognisedByTheRule)
{
    const RecognitionCase& c = GetParam();
    const RunResult result = run_both({"i"}, c.module);
    if (c.patterns == 0) {
        // The refusal quotes the four bytes at 1080.
        std::string tag;
        for (std::size_t at = 1080; at < 1084 && at < c.module.size() && c.module[at] != 0; ++at)
            tag += static_cast<char>(c.module[at]);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "Unexpected format tag: " + printable(tag.c_str()) + "\n");
        return;
    }
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string out = text_of(result.out);
    EXPECT_EQ(out.substr(0, out.find("\n\n") + 2), listing_head("ST15", 4, c.patterns));
}

Bytes changed(St15Spec layout, void (*change)(St15Spec&))
{
    change(layout);
    return build::build_st15(layout);
}

Bytes cut_to(Bytes bytes, std::size_t size)
{
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(size), bytes.end());
    return bytes;
}

// Patterns 0 and 1 in the song, pattern 3 past it: the first hidden pattern
// (number 2) decides.
St15Spec hidden(const Bytes& third_block)
{
    St15Spec layout = st15();
    layout.song_length = 2;
    layout.orders[2] = 3;
    Bytes patterns(2 * 1024, 0);
    build::append(patterns, third_block);
    build::append(patterns, Bytes(1024, 0));
    layout.pattern_data = patterns;
    return layout;
}

Bytes text_file()
{
    std::string text;
    while (text.size() < 4000)
        text += "A text file is not a module, whatever its bytes at 1080 say.\n";
    return bytes_of(text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FifteenSamples,
    ::testing::Values(
        RecognitionCase{"a 15-sample module", build::build_st15(st15()), 2},
        RecognitionCase{"hidden pattern that is sample data", build::build_st15(hidden(build::filler(1024, 0x40))), 2},
        RecognitionCase{"hidden pattern that is a pattern", build::build_st15(hidden(Bytes(1024, 0))), 4},
        RecognitionCase{"hidden pattern cut off", cut_to(build::build_st15(hidden(Bytes(1024, 0))), 600 + 2048 + 1000), 2},
        RecognitionCase{"hidden entries, cut inside the song's patterns",
                        cut_to(build::build_st15(hidden(Bytes(1024, 0))), 600 + 2048 - 1), 0},
        RecognitionCase{"samples cut off", cut_to(build::build_st15(st15()), 600 + 2048 + 3), 2},
        RecognitionCase{"just short of the patterns", cut_to(build::build_st15(st15()), 600 + 2048 - 1), 0},
        RecognitionCase{"text", text_file(), 0},
        RecognitionCase{"600 zero bytes", Bytes(600, 0), 0},
        RecognitionCase{"1624 zero bytes", Bytes(1624, 0), 0},
        RecognitionCase{"31 samples, an unknown tag", build::build_mod(tagged("XM.K", 4)), 0},
        RecognitionCase{"31 samples, a zero tag", build::build_mod(tagged(std::string(4, '\0'), 4)), 0},
        RecognitionCase{"a volume of 65", changed(st15(), [](St15Spec& l) { l.samples[2].volume = 65; }), 0},
        RecognitionCase{"a finetune of 16", changed(st15(), [](St15Spec& l) { l.samples[0].finetune = 16; }), 0},
        RecognitionCase{"a length of 32769 words", changed(st15(), [](St15Spec& l) { l.samples[1].length = 32769; }), 0},
        RecognitionCase{"a title of junk", changed(st15(), [](St15Spec& l) { l.title = "\x01\x02\x03\x04\x05\x06"; }), 0},
        RecognitionCase{"silent samples", changed(st15(), [](St15Spec& l) {
                            l.samples.resize(15);
                            for (auto& sample : l.samples)
                                sample.volume = 0;
                        }), 0},
        RecognitionCase{"no song", changed(st15(), [](St15Spec& l) { l.song_length = 0; }), 0},
        RecognitionCase{"an order entry of 64", changed(st15(), [](St15Spec& l) { l.orders[127] = 64; }), 0},
        RecognitionCase{"a first pattern of wrong periods", changed(st15(), [](St15Spec& l) {
                            Bytes pattern(2048, 0);
                            for (std::size_t cell = 0; cell < 9; ++cell)
                                pattern = with_cell(pattern, cell, 1, 500);
                            l.pattern_data = pattern;
                        }), 0},
        RecognitionCase{"a first pattern of Amiga periods", changed(st15(), [](St15Spec& l) {
                            Bytes pattern(2048, 0);
                            for (std::size_t cell = 0; cell < 200; ++cell)
                                pattern = with_cell(pattern, cell, 15, cell % 2 == 0 ? 856 : 114);
                            l.pattern_data = pattern;
                        }), 2}));

// All stored bytes kept; the loop starts at its byte: an odd start gets a zero
// in front. A slot of length 0 keeps its header's values.
TEST(FifteenSampleSlots, KeepEveryByteWithTheLoopInPlace)
{
    St15Spec layout = st15();
    layout.samples[0].loop_start = 3;  // bytes
    const Bytes module = build::build_st15(layout);
    const RunResult result = run_both({"o1", "o2", "o3"}, module);
    ASSERT_EQ(result.status, 0) << result.err;
    Bytes expected{0x0A, 0, 9, 0, 0, 2, 0, 2, 0x40, 0, 0, 0};
    build::append(expected, build::mod_sample_data(layout.samples[0], 1));
    expected.push_back(0);  // the total made even
    build::append(expected, {0x0A, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    build::append(expected, {0x0A, 0, 3, 0, 0, 0, 0, 1, 0x20, 0, 0});
    build::append(expected, build::mod_sample_data(layout.samples[2], 3));
    EXPECT_EQ(result.out, expected);
}

}  // namespace
}  // namespace trk2inst::test
