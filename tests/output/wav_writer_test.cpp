#include <gtest/gtest.h>

#include <cstring>

#include "output/output.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

struct RateCase {
    const char* what;
    std::int8_t note;
    std::uint8_t finetune;  // ft_nibbles form
    std::int32_t key_offset;
    std::uint32_t rate;
};

void PrintTo(const RateCase& c, std::ostream* os)
{
    *os << c.what;
}

class WavSampleRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(WavSampleRate, FollowsNoteKeyOffsetAndFinetune)
{
    const RateCase& c = GetParam();
    SampleSlot slot;
    slot.note = c.note;
    slot.finetune = c.finetune;
    RunSettings settings;
    settings.key_offset = c.key_offset;
    EXPECT_EQ(wav_sample_rate(slot, settings), c.rate);
}

// Rates computed apart from the program: floor(8363 * 2^((128 n + f) / 1536) + 0.5).
INSTANTIATE_TEST_SUITE_P(
    Cases, WavSampleRate,
    ::testing::Values(RateCase{"ProTracker finetune 0", 0, 0x00, 0, 8363},
                      RateCase{"relative note 12", 12, 0x00, 0, 16726},
                      RateCase{"ProTracker finetune -1", 0, 0x0F, 0, 8303},
                      RateCase{"F = 127", 0, 0xF7, 0, 8856},
                      RateCase{"F = -128", 0, 0x08, 0, 7894},
                      RateCase{"highest note and finetune", 127, 0xF7, 0, 13587912},
                      RateCase{"lowest note and finetune", -128, 0x08, 0, 5},
                      RateCase{"k24 with F = 64", 0, 0x04, 24, 34432},
                      RateCase{"k-1 on note 0", 0, 0x00, -1, 7894},
                      RateCase{"key offset wraps the note byte", 127, 0x00, 1, 5}));


struct LayoutCase {
    const char* what;
    const char* name;  // as the slot holds it, before its terminator
    std::int32_t length;
    std::int32_t loop_start;
    std::int32_t loop_length;
    std::vector<std::string> chunk_order;
    std::uint32_t loop_end;  // the smpl chunk's inclusive end, when there is one
};

void PrintTo(const LayoutCase& c, std::ostream* os)
{
    *os << c.what;
}

class WavLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WavLayout, HasTheChunksInOrderWithTheirFields)
{
    const LayoutCase& c = GetParam();
    RunState state;
    SampleSlot& slot = state.samples[4];
    std::memcpy(slot.name.data(), c.name, std::strlen(c.name) + 1);
    slot.length = c.length;
    slot.loop_start = c.loop_start;
    slot.loop_length = c.loop_length;
    slot.note = 12;
    const Bytes data = build::filler(2 * static_cast<std::size_t>(c.length), 0x7B);
    if (c.length > 0) {
        slot.data = std::make_unique<std::uint8_t[]>(data.size());
        std::memcpy(slot.data.get(), data.data(), data.size());
    }
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    state.out = out.get();
    write_wav(state, 4);
    std::fflush(out.get());
    std::rewind(out.get());
    Bytes file;
    for (int byte; (byte = std::getc(out.get())) != EOF;)
        file.push_back(static_cast<std::uint8_t>(byte));

    const auto chunks = riff_chunks(file);
    std::vector<std::string> order;
    for (const auto& chunk : chunks)
        order.push_back(chunk.first);
    ASSERT_EQ(order, c.chunk_order);
    const Bytes& fmt = chunks[0].second;
    EXPECT_EQ(fmt, (Bytes{1, 0, 1, 0, 0x56, 0x41, 0, 0, 0x56, 0x41, 0, 0, 1, 0, 8, 0}));  // 16726 Hz
    for (const auto& [tag, payload] : chunks) {
        if (tag == "smpl") {
            EXPECT_EQ(u32le(payload, 8), 59787u);  // round(10^9 / 16726) ns
            EXPECT_EQ(u32le(payload, 12), 60u);
            EXPECT_EQ(u32le(payload, 28), 1u);
            EXPECT_EQ(u32le(payload, 44), 2u * static_cast<std::uint32_t>(c.loop_start));
            EXPECT_EQ(u32le(payload, 48), c.loop_end);
        } else if (tag == "LIST") {
            Bytes expected = bytes_of("INFOINAM");
            const std::size_t length = std::strlen(c.name);
            for (std::uint32_t size = static_cast<std::uint32_t>(length + 1), i = 0; i < 4; ++i)
                expected.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
            build::append(expected, bytes_of(c.name));
            expected.resize(expected.size() + 1 + ((length + 1) & 1), 0);
            EXPECT_EQ(payload, expected);
        } else if (tag == "data") {
            Bytes flipped = data;
            for (std::uint8_t& byte : flipped)
                byte ^= 0x80;
            EXPECT_EQ(payload, flipped);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavLayout,
    ::testing::Values(
        LayoutCase{"loop inside, odd name", "lead", 100, 10, 20, {"fmt ", "smpl", "LIST", "data"}, 59},
        LayoutCase{"loop past the end, even name", "bass", 100, 90, 20, {"fmt ", "smpl", "LIST", "data"}, 199},
        LayoutCase{"loop length 1 is no loop", "hit", 100, 0, 1, {"fmt ", "LIST", "data"}, 0},
        LayoutCase{"loop start at the end is no loop", "pad", 100, 100, 4, {"fmt ", "LIST", "data"}, 0},
        LayoutCase{"negative loop length is no loop", "neg", 100, 10, -4, {"fmt ", "LIST", "data"}, 0},
        LayoutCase{"no name, loop", "", 8, 0, 8, {"fmt ", "smpl", "data"}, 15},
        LayoutCase{"full 22-byte name", "Sample_1_____________X", 2, 0, 1, {"fmt ", "LIST", "data"}, 0},
        LayoutCase{"empty slot", "", 0, 0, 0, {"fmt ", "data"}, 0}));

TEST(WavWriter, SlotNumbersOutsideTheTableEndTheRun)
{
    const Bytes module = build::build_mod(build::ModSpec{});
    for (const char* command : {"w0", "w100"}) {
        const RunResult result = run_in_process({command}, &module);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, std::string("Invalid instrument number: ") + (command + 1) + "\n");
    }
}

}  // namespace
}  // namespace trk2inst::test
