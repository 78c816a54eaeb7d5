// DSM modules under "=A": DSIK's INST chunks in every coding, and Dynamic
// Studio's sample headers.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::DsmSample;

Bytes dsik(DsmSample sample, bool riff = true)
{
    return build::build_dsik({riff, 6, 3, {{"first", 2, 64, {}, 0, 0, 8363, 0, {1, 1}}, std::move(sample)}});
}

Bytes dynamic_studio(DsmSample sample)
{
    return build::build_dynamic_studio({5, {1, 3, 0}, {{"first", 0, 64, {}, 0, 0, 0, 0, {1, 1}}, std::move(sample)}});
}

const Bytes eight{0, 1, 2, 3, 4, 5, 6, 7};
const Bytes eight_unsigned{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87};
const Bytes eight_words{0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7};
const std::string loop_2_to_6 = R"("loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}])";

class DsmSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(DsmSamples, AreReadAsStored)
{
    expect_sample(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DsmSamples,
    ::testing::Values(
        SampleCase{"DSIK: unsigned 8-bit at 16,726 Hz",
                   dsik({"Sample_2_____________X and more", 0, 40, {}, 0, 0, 16726, 0, {0x80, 0x90, 0x70, 0xFF}}), 2,
                   slot_record(2, 0, 0, 1, 40, 12, {0x00, 0x10, 0xF0, 0x7F}), {0x80, 0x90, 0x70, 0xFF},
                   {R"({"format": "DSM ", "channels": 6, "patterns": 3,)", R"("name": "Sample_2_____________X",)",
                    R"("rate": 16726, "loops": [])"}},
        SampleCase{"DSIK from DSMF at 0: signed, a loop", dsik({"signed", 3, 64, {}, 2, 6, 8363, 0, eight}, false), 2,
                   slot_record(4, 0, 1, 2, 64, 0, eight), eight_unsigned, {loop_2_to_6}},
        SampleCase{"DSIK: deltas", dsik({"delta", 0x40, 64, {}, 0, 0, 8363, 0, Bytes(8, 1)}), 2,
                   slot_record(4, 0, 0, 1, 64, 0, {1, 2, 3, 4, 5, 6, 7, 8}),
                   {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88}, {}},
        SampleCase{"DSIK: signed 16-bit, the length in frames", dsik({"wide", 0x07, 64, {}, 2, 6, 8363, 0, eight_words}), 2,
                   slot_record(4, 0, 1, 2, 64, 0, eight), eight_words,
                   {R"("bits": 16, "channels": 1, "frames": 8, "rate": 8363, )" + loop_2_to_6}},
        SampleCase{"Dynamic Studio: signed 8-bit, a finetune, a loop by start and length",
                   dynamic_studio({"Sample_2_____________X and more", 0, 48, {}, 2, 4, 0, 0x0F, eight}), 2,
                   slot_record(4, 0x0F, 1, 2, 48, 0, eight), eight_unsigned,
                   {R"({"format": "DSM ", "channels": 5, "patterns": 4,)", R"("name": "Sample_2_____________X",)",
                    loop_2_to_6}},
        SampleCase{"Dynamic Studio: 16-bit, a loop of 2 is none", dynamic_studio({"wide", 16, 64, {}, 2, 2, 0, 0, eight_words}), 2,
                   slot_record(4, 0, 0, 1, 64, 0, eight), eight_words, {R"("bits": 16, "channels": 1, "frames": 8, "rate": 8363, "loops": [])"}}));

}  // namespace
}  // namespace trk2inst::test
