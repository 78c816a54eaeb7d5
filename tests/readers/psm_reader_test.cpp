// PSM modules under "=A": the chunked layout (Epic's and Sinaria's headers)
// and PSM16, each sample in the slot of its number.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::PsmSample;

Bytes psm(std::vector<PsmSample> samples, bool sinaria = false)
{
    return build::build_psm({sinaria, {4, 6, 5}, 2, std::move(samples)});
}

Bytes psm16(PsmSample sample)
{
    return build::build_psm16({4, 7, 1, "PSAH", {{"first", 1, 0, {}, 0, 0, 0x70, 64, 8363, {1, 1}}, std::move(sample)}});
}

const Bytes ones(8, 1);
const Bytes one_to_eight{1, 2, 3, 4, 5, 6, 7, 8};
const Bytes one_to_eight_unsigned{0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88};
const std::string loop_2_to_6 = R"("loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}])";

class PsmSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(PsmSamples, AreReadAsStored)
{
    expect_sample(GetParam());
}

// The rates: 16,726 Hz in the low half of Epic's u32; 8363 Hz moved 1/8
// semitone down (8303 Hz) and half a semitone up (8608 Hz).
INSTANTIATE_TEST_SUITE_P(
    Cases, PsmSamples,
    ::testing::Values(
        SampleCase{"Epic: deltas in the slot of number + 1, the loop's last byte, volume 0..127",
                   psm({{"Sample_3_____________X and more", 2, 0x80, {}, 2, 5, 0, 127, 0x10000 + 16726, ones}}), 3,
                   slot_record(4, 0, 1, 2, 64, 12, one_to_eight), one_to_eight_unsigned,
                   {R"({"format": "PSM ", "channels": 6, "patterns": 2,)", R"("slot": 3, "name": "Sample_3_____________X",)",
                    R"("rate": 16726, )" + loop_2_to_6}},
        SampleCase{"Sinaria: the loop as stored, a finetune",
                   psm({{"sinaria", 0, 0x80, {}, 2, 6, 0x0F, 119, 8363, ones}}, true), 1,
                   slot_record(4, 0x0F, 1, 2, 60, 0, one_to_eight), one_to_eight_unsigned,
                   {R"("rate": 8303, )" + loop_2_to_6}},
        SampleCase{"a number met twice keeps its first sample",
                   psm({{"kept", 0, 0, {}, 0, 0, 0, 127, 8363, ones}, {"dropped", 0, 0, {}, 0, 0, 0, 127, 8363, Bytes(8, 2)}}), 1,
                   slot_record(4, 0, 0, 1, 64, 0, one_to_eight), one_to_eight_unsigned, {R"("name": "kept")"}},
        SampleCase{"a slot past the record table", psm({{"far", 149, 0, {}, 0, 0, 0, 127, 8363, ones}}), 150, {},
                   one_to_eight_unsigned, {R"({"slot": 150, "name": "far",)"}},
        SampleCase{"PSM16: deltas without flags, in the slot of the number",
                   psm16({"Sample_3_____________X and more", 3, 0x00, {}, 0, 0, 0x70, 32, 16726, ones}), 3,
                   slot_record(4, 0, 0, 1, 32, 12, one_to_eight), one_to_eight_unsigned,
                   {R"({"format": "PSM ", "channels": 7, "patterns": 1,)", R"("name": "Sample_3_____________X",)",
                    R"("rate": 16726, "loops": [])"}},
        SampleCase{"PSM16: unsigned 16-bit, the loop in frames cut at the length",
                   psm16({"wide", 2, 0x8C, {}, 2, 9, 0x70, 64, 8363,
                          {0, 0x80, 0, 0x81, 0, 0x82, 0, 0x83, 0, 0x84, 0, 0x85, 0, 0x86, 0, 0x87}}), 2,
                   slot_record(4, 0, 1, 3, 64, 0, {0, 1, 2, 3, 4, 5, 6, 7}),
                   {0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7},
                   {R"("bits": 16, "channels": 1, "frames": 8, "rate": 8363, "loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 7}])"}},
        SampleCase{"PSM16: signed ping-pong, half a semitone up",
                   psm16({"pong", 2, 0xA0, {}, 0, 8, 0x88, 64, 8363, {0, 1, 2, 3, 4, 5, 6, 7}}), 2,
                   slot_record(4, 0x04, 0, 1, 64, 0, {0, 1, 2, 3, 4, 5, 6, 7}),
                   {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87},
                   {R"("rate": 8608, "loops": [{"kind": "ping-pong", "sustain": false, "start": 0, "end": 7}])"}}));

}  // namespace
}  // namespace trk2inst::test
