#include <gtest/gtest.h>

#include <cstring>

#include "readers/readers.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ItSample;
using build::ItSpec;

constexpr std::uint8_t present = 0x01, wide = 0x02, stereo = 0x04, packed = 0x08, loop = 0x10,
                       sustain = 0x20, ping_pong = 0x40, sustain_ping_pong = 0x80;

ItSample sample(std::uint8_t flags, std::uint8_t convert, std::uint32_t length, Bytes data)
{
    ItSample s;
    s.flags = flags;
    s.convert = convert;
    s.length = length;
    s.data = std::move(data);
    s.name = "name";
    return s;
}

ItSample with_loop(ItSample s, std::uint32_t begin, std::uint32_t end)
{
    s.loop_begin = begin;
    s.loop_end = end;
    return s;
}

ItSample with_sustain(ItSample s, std::uint32_t begin, std::uint32_t end)
{
    s.sustain_begin = begin;
    s.sustain_end = end;
    return s;
}

Bytes be16(std::initializer_list<std::int16_t> values)
{
    Bytes out;
    for (std::int16_t v : values)
        build::put_u16be(out, static_cast<std::uint16_t>(v));
    return out;
}

Bytes pcm16(std::initializer_list<std::int16_t> values)
{
    return build::it_pcm(values, 16);
}

Bytes compressed(std::vector<std::int16_t> values, bool sixteen_bit, bool it215)
{
    return build::it_compress(values, sixteen_bit, it215);
}

struct ItSampleCase {
    const char* what;
    ItSample sample;
    std::uint16_t created_with;
    Bytes data;  // the slot's bytes
    std::int32_t loop_start;
    std::int32_t loop_length;
};

void PrintTo(const ItSampleCase& c, std::ostream* os)
{
    *os << c.what;
}

class ItSampleData : public ::testing::TestWithParam<ItSampleCase> {};

TEST_P(ItSampleData, IsDecodedAndConverted)
{
    const ItSampleCase& c = GetParam();
    ItSpec layout;
    layout.created_with = c.created_with;
    layout.samples = {c.sample};
    for (Source source : {Source::file, Source::pipe}) {
        const LoadResult loaded = load_module(build::build_it(layout), source, read_any_module);
        ASSERT_EQ(loaded.error, "");
        const SampleSlot& slot = loaded.state->samples[0];
        EXPECT_EQ(slot_data(slot), c.data);
        EXPECT_EQ(slot.length, static_cast<std::int32_t>(c.data.size() / 2));
        EXPECT_EQ(slot.loop_start, c.loop_start);
        EXPECT_EQ(slot.loop_length, c.loop_length);
    }
}

const Bytes adpcm = [] {
    Bytes out{0, 1, 2, 3, 4, 5, 6, 7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    build::append(out, {0x21, 0x0F});  // indexes 1, 2, 15, 0
    return out;
}();

// Expected bytes worked out by hand: 16-bit v becomes floor((v + 128) / 256),
// clamped; a stereo pair its mean; loops on whole words.
INSTANTIATE_TEST_SUITE_P(
    Cases, ItSampleData,
    ::testing::Values(
        ItSampleCase{"8-bit signed, odd length", sample(present, 1, 3, {10, 20, 30}), 0x214, {10, 20, 30, 0}, 0, 1},
        ItSampleCase{"8-bit unsigned", sample(present, 0, 4, {0x80, 0x90, 0x70, 0xFF}), 0x214,
                     {0x00, 0x10, 0xF0, 0x7F}, 0, 1},
        ItSampleCase{"16-bit little-endian", sample(present | wide, 1, 4, pcm16({256, -256, 32767, -32768})),
                     0x214, {1, 0xFF, 0x7F, 0x80}, 0, 1},
        ItSampleCase{"16-bit big-endian", sample(present | wide, 3, 4, be16({256, -256, 32767, -32768})),
                     0x214, {1, 0xFF, 0x7F, 0x80}, 0, 1},
        ItSampleCase{"16-bit unsigned", sample(present | wide, 0, 2, pcm16({0, -1})), 0x214, {0x80, 0x7F}, 0, 1},
        ItSampleCase{"8-bit delta", sample(present, 5, 4, {5, 3, 0xFE, 0}), 0x214, {5, 8, 6, 6}, 0, 1},
        ItSampleCase{"16-bit byte-delta", sample(present | wide, 9, 2, {0x00, 0x01, 0xFF, 0x02}), 0x214,
                     {1, 2}, 0, 1},
        ItSampleCase{"ADPCM", sample(present, 0xFF, 4, adpcm), 0x214, {1, 3, 2, 2}, 0, 1},
        ItSampleCase{"8-bit stereo", sample(present | stereo, 1, 2, {10, 0xF6, 20, 30}), 0x214, {15, 10}, 0, 1},
        ItSampleCase{"stereo flag before 2.14 is mono", sample(present | stereo, 1, 2, {10, 0xF6, 20, 30}),
                     0x213, {10, 0xF6}, 0, 1},
        ItSampleCase{"odd forward loop written twice", with_loop(sample(present | loop, 1, 6, {1, 2, 3, 4, 5, 6}), 2, 5),
                     0x214, {1, 2, 3, 4, 5, 3, 4, 5, 6, 0}, 1, 3},
        ItSampleCase{"ping-pong loop is none",
                     with_loop(sample(present | loop | ping_pong, 1, 4, {1, 2, 3, 4}), 0, 4), 0x214, {1, 2, 3, 4}, 0, 1},
        ItSampleCase{"sustain loop when the loop is off",
                     with_sustain(with_loop(sample(present | sustain, 1, 4, {1, 2, 3, 4}), 0, 2), 2, 4), 0x214,
                     {1, 2, 3, 4}, 1, 1},
        ItSampleCase{"ping-pong sustain loop is none",
                     with_sustain(sample(present | sustain | sustain_ping_pong, 1, 4, {1, 2, 3, 4}), 0, 4), 0x214,
                     {1, 2, 3, 4}, 0, 1},
        ItSampleCase{"loop end past the length ends there",
                     with_loop(sample(present | loop, 1, 4, {1, 2, 3, 4}), 2, 90), 0x214, {1, 2, 3, 4}, 1, 1},
        ItSampleCase{"8-bit compressed, 2.14", sample(present | packed, 1, 4, compressed({1, 3, 2, -1}, false, false)),
                     0x214, {1, 3, 2, 0xFF}, 0, 1},
        ItSampleCase{"16-bit stereo compressed, 2.15",
                     sample(present | wide | stereo | packed, 5, 2, [] {
                         Bytes both = compressed({1000, -1000}, true, true);
                         build::append(both, compressed({3000, -3000}, true, true));
                         return both;
                     }()),
                     0x214, {8, 0xF8}, 0, 1},
        ItSampleCase{"cut off: a half value is 0", sample(present | wide, 1, 3, {0x00, 0x05, 0x00, 0x06, 0x00}),
                     0x214, {5, 6, 0, 0}, 0, 1},
        ItSampleCase{"a length far past the file", sample(present, 1, 4000000000u, {7, 7}), 0x214,
                     [] {
                         Bytes kept(131070, 0);
                         kept[0] = kept[1] = 7;
                         return kept;
                     }(),
                     0, 1}));

TEST(ImpulseTrackerReader, SampleIGoesToSlotIWithItsFields)
{
    ItSpec layout;
    layout.order_count = 5;
    layout.instrument_count = 3;
    layout.edit_timer = 0x1234;  // made by Impulse Tracker 2.14: the "sample present" flag holds
    layout.patterns = {Bytes(64, 0), Bytes(10, 0)};
    ItSample first = sample(present, 1, 2, {1, 2});
    first.name = "Sample_1_____________X__ZZ";
    first.volume = 48;
    first.global_volume = 20;
    first.c5speed = 16726;
    ItSample no_data = sample(loop, 1, 2, {1, 2});
    no_data.volume = 33;
    no_data.c5speed = 22050;
    ItSample no_pointer = sample(present, 1, 2, {1, 2});
    no_pointer.header_pointer = 0;
    ItSample past_the_end = sample(present, 1, 2, {1, 2});
    past_the_end.header_pointer = 0xFFFFFF00;
    ItSample not_a_sample = sample(present, 1, 2, {1, 2});
    not_a_sample.signature = "IMPI";
    ItSample fifth = sample(present, 1, 2, {9, 9});
    fifth.c5speed = 8448;
    layout.samples = {first, no_data, no_pointer, past_the_end, not_a_sample, fifth};
    const LoadResult loaded = load_module(build::build_it(layout), Source::file, read_any_module);
    ASSERT_EQ(loaded.error, "");
    const ModuleSummary& summary = loaded.state->summary;
    EXPECT_STREQ(summary.format_tag.data(), "IMPM");
    EXPECT_EQ(summary.channels, 64);
    EXPECT_EQ(summary.patterns, 2);
    EXPECT_TRUE(summary.no_expected_length);
    const SampleTable slots = record_table(*loaded.state);
    EXPECT_STREQ(slots[0].name.data(), "Sample_1_____________X");
    EXPECT_EQ(slots[0].volume, 48);
    EXPECT_EQ(slots[0].note, 12);
    EXPECT_EQ(slot_data(slots[0]), (Bytes{1, 2}));
    // Without its "sample present" flag a header gives only its name and volume.
    EXPECT_STREQ(slots[1].name.data(), "name");
    EXPECT_EQ(slots[1].volume, 33);
    EXPECT_EQ(slots[1].length, 0);
    EXPECT_EQ(slots[1].note, 0);
    EXPECT_EQ(slots[1].loop_length, 0);
    for (std::size_t empty : {2u, 3u, 4u}) {
        EXPECT_EQ(slots[empty].name[0], '\0') << empty;
        EXPECT_EQ(slots[empty].volume, 0) << empty;
        EXPECT_EQ(slots[empty].data, nullptr) << empty;
    }
    EXPECT_EQ(slots[5].finetune, 0x61);
    EXPECT_EQ(slot_data(slots[5]), (Bytes{9, 9}));
}

TEST(ImpulseTrackerReader, ReadsTheFirst99Samples)
{
    ItSpec layout;
    for (int i = 1; i <= 120; ++i) {
        ItSample s = sample(present, 1, 2, {static_cast<std::uint8_t>(i), 0});
        s.name = numbered("s", i);
        layout.samples.push_back(s);
    }
    const LoadResult loaded = load_module(build::build_it(layout), Source::file, read_any_module);
    ASSERT_EQ(loaded.error, "");
    EXPECT_STREQ(loaded.state->samples[98].name.data(), "s99");
    EXPECT_EQ(slot_data(loaded.state->samples[98]), (Bytes{99, 0}));
}

TEST(ImpulseTrackerReader, CutOffModulesGiveZerosAndPointersToNothing)
{
    ItSpec layout;
    layout.samples = {sample(present | packed | wide, 1, 5000, compressed(std::vector<std::int16_t>(5000, 300), true, false)),
                      sample(present, 1, 100, Bytes(100, 5))};
    const Bytes whole = build::build_it(layout);
    for (std::size_t size : {std::size_t{3}, std::size_t{0xC0}, whole.size() - 150, whole.size() - 10}) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        for (Source source : {Source::file, Source::pipe}) {
            const LoadResult loaded = load_module(cut, source, read_any_module);
            if (size < 4) {
                EXPECT_EQ(loaded.error, "Unexpected format tag: \n");  // too short to be anything but a MOD
                continue;
            }
            ASSERT_EQ(loaded.error, "") << size;
            const Bytes second = slot_data(loaded.state->samples[1]);
            if (size == whole.size() - 10) {
                ASSERT_EQ(second.size(), 100u);
                EXPECT_EQ(Bytes(second.begin(), second.begin() + 90), Bytes(90, 5));
                EXPECT_EQ(Bytes(second.begin() + 90, second.end()), Bytes(10, 0));
            }
        }
    }
}

}  // namespace
}  // namespace trk2inst::test
