// Composer 669 modules under "=A": unsigned 8-bit samples back to back after
// the patterns, at 8363 Hz and full volume.
#include "sample_kind_check.h"

namespace trk2inst::test {
namespace {

Bytes two_samples()
{
    build::Spec669 layout;
    layout.patterns = 2;
    layout.samples = {{"ABCDEFGHIJKLM", 4, 0, 4, Bytes{0x80, 0x90, 0xA0, 0xB0}},
                      {"odd", 3, 0, 0xFFFFF, Bytes{0x00, 0xFF, 0x80}}};
    return build::build_669(layout);
}

INSTANTIATE_TEST_SUITE_P(
    Composer669, SampleKinds,
    ::testing::Values(
        SampleKindCase{"a loop to the end", two_samples(), 1, slot_record(2, 0, 0, 2, 64, 0, {0, 0x10, 0x20, 0x30}),
                       {0x80, 0x90, 0xA0, 0xB0}, mono_source(8, 4, 8363, loop_of("forward", 0, 3), false)},
        SampleKindCase{"no loop (end 0xFFFFF), an odd length", two_samples(), 2,
                       slot_record(2, 0, 0, 1, 64, 0, {0x80, 0x7F, 0, 0}), {0x00, 0xFF, 0x80},
                       mono_source(8, 3, 8363)}));

}  // namespace
}  // namespace trk2inst::test
