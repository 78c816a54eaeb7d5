// Imago Orpheus modules under "=A": samples numbered across the instruments,
// 16-bit lengths and loops in bytes, and the instruments' key maps.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ImfInstrument;
using build::ImfSample;

ImfInstrument instrument(std::vector<ImfSample> samples)
{
    return {"Instrument_1_____________X and more", {}, 0, {}, std::move(samples)};
}

// Two patterns, the second of a stored size below its own 4 bytes.
Bytes imf(std::vector<ImfInstrument> instruments)
{
    return build::build_imf({5, 125, {20, 0}, {}, std::move(instruments)});
}

Bytes imf(ImfSample sample)
{
    return imf({instrument({sample})});
}

Bytes words(std::initializer_list<int> values)
{
    Bytes out;
    for (int value : values)
        build::put_u16le(out, static_cast<std::uint16_t>(value));
    return out;
}

const Bytes eight{0, 1, 2, 3, 4, 5, 6, 7};
const Bytes eight_unsigned{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87};

class ImfSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(ImfSamples, AreReadAsStored)
{
    expect_sample(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImfSamples,
    ::testing::Values(
        SampleCase{"signed 8-bit at 16,726 Hz, named by its file name",
                   imf({"SAMPLE01.WAV_X", {}, 0, 0, 16726, 48, 128, 0, {0x00, 0x10, 0xF0, 0x7F}}), 1,
                   slot_record(2, 0, 0, 1, 48, 12, {0x00, 0x10, 0xF0, 0x7F}), {0x80, 0x90, 0x70, 0xFF},
                   {R"({"format": "IMF ", "channels": 5, "patterns": 2,)", R"("name": "SAMPLE01.WAV_",)",
                    R"("rate": 16726, "loops": [])"}},
        SampleCase{"signed 16-bit: length and loop in bytes",
                   imf({"wide", {}, 4, 12, 8363, 64, 128, 0x05, words({0, 256, 512, 768, 1024, 1280, 1536, 1792})}), 1,
                   slot_record(4, 0, 1, 2, 64, 0, eight), words({0, 256, 512, 768, 1024, 1280, 1536, 1792}),
                   {R"("bits": 16, "channels": 1, "frames": 8, "rate": 8363, "loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}])"}},
        SampleCase{"ping-pong: none in the record", imf({"pong", {}, 0, 8, 8363, 64, 128, 0x03, eight}), 1,
                   slot_record(4, 0, 0, 1, 64, 0, eight), eight_unsigned,
                   {R"("loops": [{"kind": "ping-pong", "sustain": false, "start": 0, "end": 7}])"}},
        SampleCase{"numbered on from the samples of the instruments before",
                   imf({instrument({{"one", {}, 0, 0, 8363, 64, 128, 0, {1, 1}}, {"two", {}, 0, 0, 8363, 64, 128, 0, {2, 2}}}),
                        instrument({}), instrument({{"three", {}, 0, 0, 8363, 64, 128, 0, eight}})}),
                   3, slot_record(4, 0, 0, 1, 64, 0, eight), eight_unsigned, {R"({"slot": 3, "name": "three",)"}}));

// Entries 0 to 107 map keys 12 to 119; entries past the instrument's samples
// and past 107 play nothing. A sample's pan counts with its flag.
TEST(ImfInstruments, MapKeysToTheirSamples)
{
    ImfInstrument first = instrument({{"low", {}, 0, 0, 8363, 64, 255, 0x08, {1, 1}}, {"high", {}, 0, 0, 8363, 32, 0, 0, {2, 2}}});
    for (std::size_t k = 0; k < first.key_map.size(); ++k)
        first.key_map[k] = k < 60 ? 0 : 1;
    first.key_map[30] = 5;
    first.fadeout = 300;
    const RunResult result = run_both({"j"}, imf({instrument({{"other", {}, 0, 0, 8363, 64, 128, 0, {3, 3}}}), first}));
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string json = text_of(result.out);
    const std::string regions =
        R"("name": "Instrument_1_____________X", "slots": [2, 3], "tick_seconds": 0.02, "regions": [)"
        R"({"lokey": 12, "hikey": 41, "slot": 2, "transpose": 0, "tune": 0, "volume_db": 0, "pan": 100}, )"
        R"({"lokey": 43, "hikey": 71, "slot": 2, "transpose": 0, "tune": 0, "volume_db": 0, "pan": 100}, )"
        R"({"lokey": 72, "hikey": 119, "slot": 3, "transpose": 0, "tune": 0, "volume_db": -6.021, "pan": null}], )"
        R"("volume_envelope": null, "fadeout": 300, "release_seconds": 0})";
    EXPECT_NE(json.find(regions), std::string::npos) << json;
}

}  // namespace
}  // namespace trk2inst::test
