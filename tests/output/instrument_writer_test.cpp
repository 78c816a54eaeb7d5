#include <gtest/gtest.h>

#include <climits>

#include "output/output.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

struct SlotFields {
    std::int32_t length;
    std::uint8_t finetune;
    std::uint8_t volume;
    std::int32_t loop_start;
    std::int32_t loop_length;
    std::int8_t note = 0;
};

SampleSlot slot_with(const SlotFields& fields)
{
    SampleSlot slot;
    slot.length = fields.length;
    slot.finetune = fields.finetune;
    slot.volume = fields.volume;
    slot.loop_start = fields.loop_start;
    slot.loop_length = fields.loop_length;
    slot.note = fields.note;
    return slot;
}

struct HeaderCase {
    const char* what;
    SlotFields slot;
    RunSettings settings;
    std::array<std::uint8_t, 11> header;
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << c.what;
}

class RecordHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(RecordHeader, IsBigEndianWithTheSettingsApplied)
{
    const HeaderCase& c = GetParam();
    EXPECT_EQ(instrument_record_header(slot_with(c.slot), c.settings), c.header) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordHeader,
    ::testing::Values(
        HeaderCase{"ProTracker sample, default settings", SlotFields{1000, 0x0F, 48, 100, 1},
                   RunSettings{},
                   {0x0A, 0x03, 0xE8, 0x0F, 0x00, 0x64, 0x00, 0x01, 0x30, 0x00, 0x00}},
        HeaderCase{"empty slot with a key offset", SlotFields{0, 0, 0, 0, 0}, RunSettings{false, 12, 256},
                   {0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12}},
        HeaderCase{"k-1 wraps the note byte", SlotFields{0, 0, 0, 0, 0}, RunSettings{false, -1, 256},
                   {0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF}},
        HeaderCase{"note plus offset modulo 256", SlotFields{0, 0, 0, 0, 0, -100},
                   RunSettings{false, INT_MIN, 256}, {0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 156}},
        HeaderCase{"largest offset", SlotFields{0, 0, 0, 0, 0, 127},
                   RunSettings{false, INT_MAX, 256}, {0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 126}},
        HeaderCase{"volume 64 with v1024 keeps the low 16 bits", SlotFields{0, 0, 64, 0, 0},
                   RunSettings{false, 0, 1024}, {0x0A, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0}},
        HeaderCase{"volume scale 3", SlotFields{0, 0, 64, 0, 0}, RunSettings{false, 0, 3},
                   {0x0A, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xC0, 0}},
        HeaderCase{"v-16384 is the same for every volume", SlotFields{0, 0, 12, 0, 0},
                   RunSettings{false, 0, -16384}, {0x0A, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x00, 0}},
        HeaderCase{"v0 writes zero", SlotFields{0, 0, 64, 0, 0}, RunSettings{false, 0, 0},
                   {0x0A, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0}},
        HeaderCase{"most negative scale", SlotFields{0, 0, 64, 0, 0},
                   RunSettings{false, 0, INT_MIN}, {0x0A, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0}},
        HeaderCase{"largest scale and volume", SlotFields{0, 0, 255, 0, 0},
                   RunSettings{false, 0, INT_MAX}, {0x0A, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x01, 0}},
        HeaderCase{"negative loop length keeps its low 16 bits", SlotFields{10, 0, 0, 500, -250},
                   RunSettings{}, {0x0A, 0x00, 0x0A, 0, 0x01, 0xF4, 0xFF, 0x06, 0, 0, 0}},
        HeaderCase{"largest values", SlotFields{0xFFFF, 0xFF, 0, 0xFFFF, 0xFFFF}, RunSettings{},
                   {0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0}}));

TEST(WriteInstrument, WritesTheHeaderAndThenTheData)
{
    RunState state;
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    state.out = out.get();
    SampleSlot& slot = state.samples[98];
    slot = slot_with({3, 1, 2, 0, 1});
    slot.data = std::make_unique<std::uint8_t[]>(6);
    for (std::uint8_t i = 0; i < 6; ++i)
        slot.data[i] = static_cast<std::uint8_t>(0x80 + i);
    write_instrument(state, 98);
    write_instrument(state, 0);
    std::fflush(out.get());
    std::rewind(out.get());
    Bytes written(64);
    written.resize(std::fread(written.data(), 1, written.size(), out.get()));
    const Bytes expected{0x0A, 0, 3, 1, 0, 0, 0, 1, 2, 0, 0, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85,
                         0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(written, expected);
}

TEST(WriteInstrument, SlotNumbersOutsideTheTableEndTheRun)
{
    RunState state;
    for (const auto& [index, message] :
         {std::pair{std::int64_t{-1}, "Invalid instrument number: 0\n"},
          std::pair{std::int64_t{99}, "Invalid instrument number: 100\n"},
          std::pair{std::int64_t{INT_MIN} - 1, "Invalid instrument number: -2147483648\n"}}) {
        try {
            write_instrument(state, index);
            FAIL() << "index " << index << " was written";
        } catch (const FatalError& error) {
            EXPECT_EQ(error.message, message);
        }
    }
}

}  // namespace
}  // namespace trk2inst::test
