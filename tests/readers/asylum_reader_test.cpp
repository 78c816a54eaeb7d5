// Asylum AMF modules under "=A": signed data after the patterns, pitch from a
// finetune and a transposition, loops by start and length.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::AsylumSample;

Bytes asylum(AsylumSample sample, std::uint8_t patterns = 1)
{
    return build::build_asylum({patterns, {}, {{"Slapbas1.pat", 0, 64, 0, {}, 0, 0, {1, 1, 1, 1}}, std::move(sample)}});
}

const Bytes eight{0, 1, 2, 3, 4, 5, 6, 7};
const Bytes eight_unsigned{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87};

class AsylumSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(AsylumSamples, AreReadAsStored)
{
    expect_sample(GetParam());
}

// 8363 Hz an octave and 1/8 semitone down from 16,726 Hz: 16,606 Hz.
INSTANTIATE_TEST_SUITE_P(
    Cases, AsylumSamples,
    ::testing::Values(
        SampleCase{"signed 8-bit after two patterns, finetune -1, an octave up",
                   asylum({"Sample_2_____________X and more", 0x0F, 40, 12, {}, 0, 0, {0x00, 0x10, 0xF0, 0x7F}}, 2), 2,
                   slot_record(2, 0x0F, 0, 1, 40, 12, {0x00, 0x10, 0xF0, 0x7F}), {0x80, 0x90, 0x70, 0xFF},
                   {R"({"format": "ASYL", "channels": 8, "patterns": 2,)", R"("name": "Sample_2_____________X",)",
                    R"("rate": 16606, "loops": [])"}},
        SampleCase{"a loop within the sample", asylum({"loop", 0, 64, 0, {}, 2, 4, eight}), 2,
                   slot_record(4, 0, 1, 2, 64, 0, eight), eight_unsigned,
                   {R"("loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}])"}},
        SampleCase{"a loop past the sample is none", asylum({"loop", 0, 64, 0, {}, 6, 4, eight}), 2,
                   slot_record(4, 0, 0, 1, 64, 0, eight), eight_unsigned, {R"("loops": [])"}}));

}  // namespace
}  // namespace trk2inst::test
