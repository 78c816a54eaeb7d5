// DigiBooster 1 modules under "=A": the sample arrays, the data after
// unpacked or packed patterns, listed by "j" and written by "s"; a pipe
// gives what the file gives.
#include "sample_kinds.h"

namespace trk2inst::test {
namespace {

using build::DigiSample;
using build::DigiSpec;

class DigiKinds : public ::testing::TestWithParam<SampleKind> {};

TEST_P(DigiKinds, ListAndWriteSlotTwo)
{
    check_sample_kind(GetParam());
}

// Slot 1 holds three bytes before slot 2's.
Bytes second(DigiSample sample, std::uint8_t channels = 4, std::uint8_t patterns = 1, bool packed = false)
{
    DigiSpec layout;
    layout.channels = channels;
    layout.patterns = patterns;
    layout.packed = packed;
    layout.samples = {{"first", 3, 0, 0, 64, 0, {9, 9, 9}}, std::move(sample)};
    return build::build_digi(layout);
}

const DigiSample looped{"Sample_name_30_bytes_________X", 4, 1, 2, 40, -1, {1, 2, 0xFF, 0x80}};

INSTANTIATE_TEST_SUITE_P(
    Cases, DigiKinds,
    ::testing::Values(
        SampleKind{"a loop, finetune -1, 8 channels of 2 unpacked patterns", second(looped, 8, 2), 2,
                 R"({"slot": 2, "name": "Sample_name_30_bytes__", "length": 3, "loop_start": 1, "loop_length": 1, "volume": 40, "note": 0, "finetune": 15, "pitch": "C.5-1", )"
                 R"("source": {"bits": 8, "channels": 1, "frames": 4, "rate": 8303, "loops": [{"kind": "forward", "sustain": false, "start": 1, "end": 2}], "compression": null, "converted": true}})",
                 {0x81, 0x82, 0x7F, 0x00}},
        SampleKind{"packed patterns: a size and its bytes each", second(looped, 3, 3, true), 2,
                 R"("frames": 4, "rate": 8303,)", {0x81, 0x82, 0x7F, 0x00}},
        SampleKind{"finetune 7, volume above 64, a loop start without a length", second({"", 2, 1, 0, 65, 7, {4, 5}}), 2,
                 R"("length": 1, "loop_start": 0, "loop_length": 1, "volume": 64, "note": 0, "finetune": 7, "pitch": "C.5+7", "source": {"bits": 8, "channels": 1, "frames": 2, "rate": 8797, "loops": [])",
                 {0x84, 0x85}}));

}  // namespace
}  // namespace trk2inst::test
