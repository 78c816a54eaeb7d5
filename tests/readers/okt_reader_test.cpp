// Oktalyzer modules under "=A": sample headers and their SBOD chunks,
// listed by "j" and written by "s"; a pipe gives what the file gives.
#include "sample_kinds.h"

namespace trk2inst::test {
namespace {

using build::OktSample;
using build::OktSpec;

class OktKinds : public ::testing::TestWithParam<SampleKind> {};

TEST_P(OktKinds, ListAndWriteSlotThree)
{
    check_sample_kind(GetParam());
}

// Slot 1 has data, slot 2 none; slot 3 is the sample given.
Bytes third(OktSample sample, std::array<std::uint16_t, 4> cmod = {}, bool empty_body_first = false)
{
    OktSpec layout;
    layout.cmod = cmod;
    layout.empty_body_first = empty_body_first;
    layout.samples = {{"one", 2, 0, 0, 64, 1, {7, 7}}, {"none", 0, 0, 0, 64, 1, {}}, std::move(sample)};
    return build::build_okt(layout);
}

const OktSample looped{"Sample_name_20_bytes", 6, 1, 2, 70, 1, {1, 2, 3, 4, 5, 6}};

INSTANTIATE_TEST_SUITE_P(
    Cases, OktKinds,
    ::testing::Values(
        SampleKind{"a loop in words, volume above 64, the header's length against its body", third(looped), 3,
                 R"({"slot": 3, "name": "Sample_name_20_bytes", "length": 3, "loop_start": 1, "loop_length": 2, "volume": 64, "note": 0, "finetune": 0, "pitch": "C.5+0", )"
                 R"("source": {"bits": 8, "channels": 1, "frames": 6, "rate": 8363, "loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}], "compression": null, "converted": false}})",
                 {0x81, 0x82, 0x83, 0x84, 0x85, 0x86}},
        SampleKind{"an odd length: the body holds the even length", third({"odd", 5, 0, 1, 64, 1, {1, 2, 3, 4}}), 3,
                 R"("name": "odd", "length": 2, "loop_start": 0, "loop_length": 1, "volume": 64, "note": 0, "finetune": 0, "pitch": "C.5+0", "source": {"bits": 8, "channels": 1, "frames": 4, "rate": 8363, "loops": [])",
                 {0x81, 0x82, 0x83, 0x84}},
        SampleKind{"a body shorter than the header: cut to it", third({"short", 8, 0, 0, 64, 1, {1, 2}}), 3,
                 R"("name": "short", "length": 1,)", {0x81, 0x82}},
        SampleKind{"7-bit values as stored; an empty body is no sample's", third({"7-bit", 2, 0, 0, 64, 0, {0x3F, 0xC0}}, {}, true), 3,
                 R"("name": "7-bit", "length": 1,)", {0xBF, 0x40}}));

}  // namespace
}  // namespace trk2inst::test
