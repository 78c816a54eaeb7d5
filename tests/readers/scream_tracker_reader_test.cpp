#include <gtest/gtest.h>

#include <cstring>

#include "readers/readers.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::S3mInstrument;
using build::S3mSpec;

constexpr std::uint8_t loops = 0x01, stereo = 0x02, sixteen_bit = 0x04;

struct PitchCase {
    std::uint32_t c2spd;
    int note;  // as stored: the low 8 bits, signed
    std::uint8_t finetune;
};

void PrintTo(const PitchCase& c, std::ostream* os)
{
    *os << "C2Spd " << c.c2spd;
}

class PitchFromC2spd : public ::testing::TestWithParam<PitchCase> {};

TEST_P(PitchFromC2spd, GivesNoteAndNibbleSwappedFinetune)
{
    const PitchCase& c = GetParam();
    const Pitch pitch = pitch_from_c2spd(c.c2spd);
    EXPECT_EQ(pitch.note, static_cast<std::int8_t>(c.note));
    EXPECT_EQ(pitch.finetune, c.finetune);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedValues, PitchFromC2spd,
    ::testing::Values(PitchCase{0, 0, 0x00}, PitchCase{8363, 0, 0x00}, PitchCase{16726, 12, 0x00},
                      PitchCase{4181, -12, 0x00}, PitchCase{8400, 0, 0xA0},
                      PitchCase{8448, 0, 0x61}, PitchCase{8880, 1, 0x50},
                      PitchCase{22050, 16, 0x46}, PitchCase{44100, 28, 0x46},
                      PitchCase{65535, 35, 0x25},
                      PitchCase{8860, 1, 0x00},  // the finetune carries into the note
                      PitchCase{8287, 0, 0xCE}, PitchCase{8000, 0, 0xE9},
                      PitchCase{7895, 0, 0x18},
                      PitchCase{7894, 0, 0x08},  // F = -128, no carry below
                      PitchCase{1, 100, 0x2D}, PitchCase{2, 112, 0x2D}, PitchCase{3, 119, 0x5D},
                      PitchCase{4, 124, 0x2D},
                      // above 16 bits
                      PitchCase{100000, 42, 0xA7}, PitchCase{0xFFFFFFFF, 227, 0x25}));

S3mInstrument sample_instrument(std::string name, std::uint32_t length, std::uint8_t flags = 0)
{
    S3mInstrument i;
    i.file_name = std::move(name);
    i.length = length;
    i.flags = flags;
    i.title = "title is not read";
    return i;
}

LoadResult load(const S3mSpec& layout)
{
    return load_module(build::build_s3m(layout), Source::file, read_scream_tracker_module);
}

// Unsigned sample data turned signed: every byte moves by 128.
Bytes signed_from_unsigned(Bytes bytes)
{
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(byte ^ 0x80);
    return bytes;
}

Bytes kept_data(const S3mInstrument& instrument)
{
    Bytes data = build::s3m_sample_data(instrument);
    data.resize(std::min<std::size_t>(instrument.length & ~1u, 2 * 0xFFFF));
    return data;
}

TEST(ScreamTrackerReader, InstrumentIGoesToSlotI)
{
    S3mSpec layout;
    layout.order_count = 5;
    layout.pattern_count = 7;
    S3mInstrument first = sample_instrument("FIRST___.SMPX", 1000, loops);
    first.loop_begin = 1000;
    first.loop_end = 3000;
    first.volume = 48;
    first.c2spd = 8448;
    S3mInstrument empty = sample_instrument("EMPTY.SMP", 0);
    empty.type = 0;
    S3mInstrument adlib = sample_instrument("ADLIB.INS", 0);
    adlib.type = 2;
    S3mInstrument fourth = sample_instrument("FOURTH.SMP", 33);
    fourth.loop_begin = 4;
    fourth.loop_end = 20;
    layout.instruments = {first, empty, adlib, fourth};
    const LoadResult loaded = load(layout);
    ASSERT_EQ(loaded.error, "");
    const SampleTable slots = record_table(*loaded.state);
    EXPECT_STREQ(loaded.state->summary.format_tag.data(), "SCRM");
    EXPECT_EQ(loaded.state->summary.channels, 32);
    EXPECT_EQ(loaded.state->summary.patterns, 7);
    EXPECT_TRUE(loaded.state->summary.no_expected_length);
    EXPECT_STREQ(slots[0].name.data(), "FIRST___.SMP");  // cut after 12 characters
    EXPECT_EQ(slots[0].length, 500);
    EXPECT_EQ(slots[0].loop_start, 500);
    EXPECT_EQ(slots[0].loop_length, 1000);
    EXPECT_EQ(slots[0].volume, 48);
    EXPECT_EQ(slots[0].finetune, 0x61);
    EXPECT_EQ(slot_data(slots[0]), signed_from_unsigned(kept_data(first)));
    for (std::size_t empty_slot : {1u, 2u}) {
        EXPECT_EQ(slots[empty_slot].name[0], '\0');
        EXPECT_EQ(slots[empty_slot].length, 0);
    }
    EXPECT_EQ(slots[3].length, 16);
    EXPECT_EQ(slots[3].loop_start, 2);
    EXPECT_EQ(slots[3].loop_length, 1) << "no loop flag";
    EXPECT_EQ(slot_data(slots[3]), signed_from_unsigned(kept_data(fourth)));
}

TEST(ScreamTrackerReader, SignedDataAreKeptAsTheyAre)
{
    S3mSpec layout;
    S3mInstrument i = sample_instrument("S.SMP", 4);
    i.data = Bytes{0x80, 0x00, 0x7F, 0xFF};
    layout.instruments = {i};
    layout.format_information = 2;
    EXPECT_EQ(slot_data(load(layout).state->samples[0]), (Bytes{0x00, 0x80, 0xFF, 0x7F}));
    layout.format_information = 1;
    EXPECT_EQ(slot_data(load(layout).state->samples[0]), (Bytes{0x80, 0x00, 0x7F, 0xFF}));
}

TEST(ScreamTrackerReader, OnlyTheFirstNinetyNineInstrumentsAreRead)
{
    S3mSpec layout;
    for (int i = 1; i <= 120; ++i)
        layout.instruments.push_back(sample_instrument(numbered("I", i), 2u * static_cast<unsigned>(i)));
    const LoadResult loaded = load(layout);
    ASSERT_EQ(loaded.error, "");
    for (std::size_t i = 0; i < 99; ++i) {
        EXPECT_EQ(std::string(loaded.state->samples[i].name.data()), numbered("I", static_cast<int>(i + 1)));
        EXPECT_EQ(loaded.state->samples[i].length, static_cast<std::int32_t>(i + 1));
    }
}

struct NotStoredCase {
    const char* what;
    std::uint8_t pack;
    std::uint8_t flags;
};

void PrintTo(const NotStoredCase& c, std::ostream* os)
{
    *os << c.what;
}

class NotStored : public ::testing::TestWithParam<NotStoredCase> {};

// Packed, stereo and 16-bit samples keep name, volume and loop but no data:
// the listing passes over them and the name search still finds them.
TEST_P(NotStored, KeepsEverythingButTheData)
{
    const NotStoredCase& c = GetParam();
    S3mSpec layout;
    S3mInstrument i = sample_instrument("KEPT.SMP", 100, c.flags);
    i.pack = c.pack;
    i.volume = 20;
    i.loop_begin = 10;
    i.loop_end = 50;
    layout.instruments = {i, sample_instrument("NEXT.SMP", 6)};
    const TempFile file(build::build_s3m(layout));
    const LoadResult loaded = load(layout);
    ASSERT_EQ(loaded.error, "");
    const SampleSlot& slot = loaded.state->samples[0];
    EXPECT_STREQ(slot.name.data(), "KEPT.SMP");
    EXPECT_EQ(slot.length, 0);
    EXPECT_EQ(slot.data, nullptr);
    EXPECT_EQ(slot.volume, 20);
    EXPECT_EQ(slot.loop_start, 5);
    EXPECT_EQ(slot.loop_length, (c.flags & loops) ? 20 : 1);
    const RunResult run = run_in_process({"=S", file.path(), "-KEPT.SMP", "i"});
    EXPECT_EQ(run.status, 0);
    const Bytes record{0x0A, 0, 0, 0, 0, 5, 0, static_cast<std::uint8_t>(slot.loop_length), 20, 0, 0};
    EXPECT_EQ(Bytes(run.out.begin(), run.out.begin() + 11), record);
    EXPECT_EQ(text_of(Bytes(run.out.begin() + 11, run.out.end())),
              "Format: SCRM\nChannels: 32\nPatterns: 1\n\n"
              "[02] NEXT.SMP\n  Len:     3   Finetune: C.5+0   Vol:  64   Loop: N\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, NotStored,
                         ::testing::Values(NotStoredCase{"packed", 1, 0},
                                           NotStoredCase{"stereo", 0, stereo | loops},
                                           NotStoredCase{"16-bit", 0, sixteen_bit}));

// Only bit 0 of the pack byte means packed data.
TEST(ScreamTrackerReader, OtherPackBitsAreIgnored)
{
    S3mSpec layout;
    S3mInstrument i = sample_instrument("KEPT.SMP", 100);
    i.pack = 2;
    layout.instruments = {i};
    const LoadResult loaded = load(layout);
    ASSERT_EQ(loaded.error, "");
    EXPECT_EQ(loaded.state->samples[0].length, 50);
    EXPECT_NE(loaded.state->samples[0].data, nullptr);
}

TEST(ScreamTrackerReader, TagOtherThanScrmIsRefused)
{
    S3mSpec layout;
    layout.tag = "SCRm";
    layout.instruments = {sample_instrument("A.SMP", 10)};
    EXPECT_EQ(load(layout).error, "Not a valid Scream Tracker file.\n");
    EXPECT_EQ(load_module(Bytes(40, 0), Source::file, read_scream_tracker_module).error,
              "Not a valid Scream Tracker file.\n");
}

struct LongCase {
    const char* what;
    std::uint32_t length, loop_begin, loop_end;
    std::uint8_t flags;
    std::int32_t words, loop_start, loop_length;
};

void PrintTo(const LongCase& c, std::ostream* os)
{
    *os << c.what;
}

class LongS3mSample : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongS3mSample, KeepsAtMost65535WordsAndTheLoopInside)
{
    const LongCase& c = GetParam();
    S3mSpec layout;
    S3mInstrument i = sample_instrument("LONG.SMP", c.length, c.flags);
    i.loop_begin = c.loop_begin;
    i.loop_end = c.loop_end;
    i.c2spd = 100000;
    layout.instruments = {i};
    const LoadResult loaded = load(layout);
    ASSERT_EQ(loaded.error, "");
    const SampleSlot& slot = loaded.state->samples[0];
    EXPECT_EQ(slot.length, c.words);
    EXPECT_EQ(slot.loop_start, c.loop_start);
    EXPECT_EQ(slot.loop_length, c.loop_length);
    EXPECT_EQ(slot.note, 42) << "the full 32-bit C2Spd";
    EXPECT_EQ(slot_data(slot), signed_from_unsigned(kept_data(i)));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, LongS3mSample,
    ::testing::Values(
        LongCase{"65,536 bytes", 65536, 0, 65536, loops, 32768, 0, 32768},
        LongCase{"131,071 bytes", 131071, 70000, 131070, loops, 65535, 35000, 30535},
        LongCase{"loop inside the kept part", 200000, 2000, 4000, loops, 65535, 1000, 1000},
        LongCase{"loop cut at the kept end", 200000, 100000, 190000, loops, 65535, 50000, 15535},
        LongCase{"loop past the kept end dropped", 200000, 150000, 160000, loops, 65535, 65535, 1},
        LongCase{"loop end below its begin", 1000, 800, 200, loops, 500, 400, -300}));

// A negative loop length shows as a loop and is written as its low 16 bits.
TEST(ScreamTrackerReader, NegativeLoopLengthInListingAndRecord)
{
    S3mSpec layout;
    S3mInstrument i = sample_instrument("BACK.SMP", 8, loops);
    i.loop_begin = 6;
    i.loop_end = 2;
    layout.instruments = {i};
    const TempFile file(build::build_s3m(layout));
    const RunResult run = run_in_process({"=S", file.path(), "o1", "i"});
    EXPECT_EQ(run.status, 0);
    const Bytes header{0x0A, 0, 4, 0, 0, 3, 0xFF, 0xFE, 0x40, 0, 0};
    EXPECT_EQ(Bytes(run.out.begin(), run.out.begin() + 11), header);
    EXPECT_NE(text_of(run.out).find("Loop: Y\n"), std::string::npos);
}

// Offsets past the end of the file read as zeros; the run goes on.
TEST(ScreamTrackerReader, PointersPastTheEndGiveZeros)
{
    S3mSpec layout;
    S3mInstrument far_data = sample_instrument("FAR.SMP", 64);
    far_data.data_paragraph = 0xFFFFFF;
    S3mInstrument far_header = sample_instrument("GONE.SMP", 64);
    far_header.parapointer = 0xFFFF;
    layout.instruments = {far_data, far_header, sample_instrument("OK.SMP", 10)};
    const LoadResult loaded = load(layout);
    ASSERT_EQ(loaded.error, "");
    EXPECT_EQ(slot_data(loaded.state->samples[0]), Bytes(64, 0x80));
    EXPECT_EQ(loaded.state->samples[1].name[0], '\0');
    EXPECT_EQ(slot_data(loaded.state->samples[2]), signed_from_unsigned(kept_data(layout.instruments[2])));
}

// The memory segment's high byte counts: data at 1 MiB and beyond.
TEST(ScreamTrackerReader, DataOffsetAboveOneMebibyte)
{
    S3mSpec layout;
    S3mInstrument big = sample_instrument("BIG.SMP", 1200000);
    layout.instruments = {big, sample_instrument("HIGH.SMP", 32)};
    Bytes module = build::build_s3m(layout);
    const std::uint32_t paragraph = 0x10010;  // 1 MiB + 256 bytes
    std::size_t header = 0;
    for (std::size_t at = 0; at + 13 < module.size(); at += 16) {
        if (std::memcmp(&module[at + 1], "HIGH.SMP", 8) == 0) {
            header = at;
            break;
        }
    }
    ASSERT_NE(header, 0u);
    module[header + 13] = static_cast<std::uint8_t>(paragraph >> 16);
    module[header + 14] = static_cast<std::uint8_t>(paragraph & 0xFF);
    module[header + 15] = static_cast<std::uint8_t>((paragraph >> 8) & 0xFF);
    const LoadResult loaded = load_module(module, Source::file, read_scream_tracker_module);
    ASSERT_EQ(loaded.error, "");
    const Bytes at_offset(module.begin() + std::size_t{paragraph} * 16,
                          module.begin() + std::size_t{paragraph} * 16 + 32);
    EXPECT_EQ(slot_data(loaded.state->samples[1]), signed_from_unsigned(at_offset));
}

}  // namespace
}  // namespace trk2inst::test
