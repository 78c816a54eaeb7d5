// MultiTracker modules under "=A": unsigned 8- and 16-bit samples back to back.
#include "sample_kind_check.h"

namespace trk2inst::test {
namespace {

using build::MtmSample;

Bytes mtm_of(std::vector<MtmSample> samples)
{
    build::MtmSpec layout;
    layout.tracks = 3;
    layout.last_pattern = 1;
    layout.comment = "a comment";
    layout.samples = std::move(samples);
    return build::build_mtm(layout);
}

const MtmSample eight_bit{"Sample_1______________X", 8, 2, 6, 0x0F, 40, 0,
                          Bytes{0x80, 0x81, 0x82, 0x83, 0x7F, 0x7E, 0x00, 0xFF}};
// 8 frames and an odd byte; the loop in bytes.
const MtmSample sixteen_bit{"wide", 17, 4, 16, 0, 64, 1,
                            [] { Bytes d = words_le({0, 0x0100, -0x0100, 0x4000, 0, 0, 0, 0x7FFF});
                                 d.push_back(0x55); return d; }()};

INSTANTIATE_TEST_SUITE_P(
    Mtm, SampleKinds,
    ::testing::Values(
        SampleKindCase{"unsigned 8-bit, finetune -1, a loop", mtm_of({eight_bit}), 1,
                       slot_record(4, 0x0F, 1, 2, 40, 0, {0, 1, 2, 3, 0xFF, 0xFE, 0x80, 0x7F}),
                       {0x80, 0x81, 0x82, 0x83, 0x7F, 0x7E, 0x00, 0xFF},
                       mono_source(8, 8, 8303, loop_of("forward", 2, 5), false)},
        // Unsigned words 0x8000 + v hold v.
        SampleKindCase{"unsigned 16-bit after an 8-bit sample, halved", mtm_of({eight_bit, sixteen_bit}), 2,
                       slot_record(4, 0, 1, 3, 64, 0, {0x80, 0x81, 0x7F, 0xC0, 0x80, 0x80, 0x80, 0x00}),
                       words_le({-0x8000, -0x7F00, 0x7F00, -0x4000, -0x8000, -0x8000, -0x8000, -1}),
                       mono_source(16, 8, 8363, loop_of("forward", 2, 7))}));

}  // namespace
}  // namespace trk2inst::test
