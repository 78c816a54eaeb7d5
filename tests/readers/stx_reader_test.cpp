// STMIK modules under "=A": Scream Tracker 3 sample records, signed data at
// each record's pointer.
#include "sample_kind_check.h"

namespace trk2inst::test {
namespace {

using build::StxSample;

Bytes stx_of(std::uint32_t length, std::uint8_t flags, Bytes data, std::uint8_t pack = 0)
{
    const StxSample sample{1, "Sample_2____________________", length, 2, 6, 64, pack, flags, 22050, std::move(data)};
    return build::build_stx({.samples = {StxSample{}, sample}});
}

// 22,050 Hz: note 16, finetune 100/128 (0x64, nibbles swapped).
INSTANTIATE_TEST_SUITE_P(
    Stx, SampleKinds,
    ::testing::Values(
        SampleKindCase{"signed 8-bit, a loop", stx_of(6, 1, {1, 2, 3, 4, 5, 6}), 2,
                       slot_record(3, 0x46, 1, 2, 64, 16, {1, 2, 3, 4, 5, 6}), {0x81, 0x82, 0x83, 0x84, 0x85, 0x86},
                       mono_source(8, 6, 22050, loop_of("forward", 2, 5), false)},
        // Pairs of the left and right channels: their mean.
        SampleKindCase{"16-bit stereo, no loop flag",
                       stx_of(2, 6, words_le({256, -512, 256, 512})), 2,
                       slot_record(1, 0x46, 0, 1, 64, 16, {1, 0}), words_le({256, 256, -512, 512}),
                       R"({"bits": 16, "channels": 2, "frames": 2, "rate": 22050, "loops": [])"},
        SampleKindCase{"packed", stx_of(6, 0, {1, 2, 3, 4, 5, 6}, 1), 2,
                       slot_record(0, 0x46, 0, 0, 64, 16, {}), {}, ""}));

}  // namespace
}  // namespace trk2inst::test
