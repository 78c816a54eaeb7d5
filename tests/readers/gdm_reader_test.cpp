// GDM modules under "=A": unsigned data, the loop end of each 2GDM version,
// the volume only with its flag.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::GdmSample;

Bytes gdm(GdmSample sample, std::uint8_t converter_major = 1)
{
    return build::build_gdm({converter_major, 6, 3, {{"first", {}, 0, 0, 0x04, 8363, 64, {0x80, 0x80}}, std::move(sample)}});
}

const Bytes eight{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87};
const Bytes zero_to_seven{0, 1, 2, 3, 4, 5, 6, 7};
const std::string loop_2_to_6 = R"("loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}])";

class GdmSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(GdmSamples, AreReadAsStored)
{
    expect_sample(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GdmSamples,
    ::testing::Values(
        SampleCase{"2GDM 1.x: unsigned 8-bit, the loop end one past",
                   gdm({"Sample_2_____________X and more", {}, 2, 7, 0x05, 8363, 40, eight}), 2,
                   slot_record(4, 0, 1, 2, 40, 0, zero_to_seven), eight,
                   {R"({"format": "GDM ", "channels": 6, "patterns": 3,)", R"("name": "Sample_2_____________X",)",
                    loop_2_to_6}},
        SampleCase{"2GDM 0.98: the loop end as stored", gdm({"old", {}, 2, 6, 0x05, 8363, 40, eight}, 0), 2,
                   slot_record(4, 0, 1, 2, 40, 0, zero_to_seven), eight, {loop_2_to_6}},
        SampleCase{"unsigned 16-bit: length and loop halved",
                   gdm({"wide", {}, 0, 9, 0x07, 8363, 64, {0x00, 0x80, 0x00, 0x90, 0x00, 0x70, 0xFF, 0xFF}}), 2,
                   slot_record(2, 0, 0, 2, 64, 0, {0x00, 0x10, 0xF0, 0x7F}), {0x00, 0x00, 0x00, 0x10, 0x00, 0xF0, 0xFF, 0x7F},
                   {R"("bits": 16, "channels": 1, "frames": 4,)"}},
        SampleCase{"without the volume flag: 64, the rate as stored", gdm({"loud", {}, 0, 0, 0x00, 8424, 20, eight}), 2,
                   slot_record(4, 0x01, 0, 1, 64, 0, zero_to_seven), eight, {R"("rate": 8424, "loops": [])"}}));

}  // namespace
}  // namespace trk2inst::test
