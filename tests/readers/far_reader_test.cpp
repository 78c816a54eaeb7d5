// Farandole Composer modules under "=A": the samples the map marks, each
// after its header, at full volume and 8363 Hz.
#include "sample_kind_check.h"

namespace trk2inst::test {
namespace {

Bytes two_samples()
{
    build::FarSpec layout;
    layout.text = "song text";
    layout.patterns = {{0, 66}, {5, 130}};
    layout.samples = {{2, "eight", 8, 4, 2, 6, 0, 0x08, Bytes{1, 2, 3, 4, 5, 6, 7, 8}},
                      {9, "sixteen", 5, 16, 0, 4, 1, 0x04, [] { Bytes d = words_le({0x1234, -0x1234});
                                                                 d.push_back(0x55); return d; }()}};
    return build::build_far(layout);
}

INSTANTIATE_TEST_SUITE_P(
    Far, SampleKinds,
    ::testing::Values(
        SampleKindCase{"signed 8-bit in slot 3, loop mode bit 3, volume byte unused", two_samples(), 3,
                       slot_record(4, 0, 1, 2, 64, 0, {1, 2, 3, 4, 5, 6, 7, 8}),
                       {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88},
                       mono_source(8, 8, 8363, loop_of("forward", 2, 5), false)},
        SampleKindCase{"signed 16-bit in slot 10, loop mode 4 is no loop", two_samples(), 10,
                       slot_record(1, 0, 0, 1, 64, 0, {0x12, 0xEE}), words_le({0x1234, -0x1234}),
                       mono_source(16, 2, 8363)}));

}  // namespace
}  // namespace trk2inst::test
