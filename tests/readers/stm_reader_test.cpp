// Scream Tracker 2 modules and songs under "=A": signed 8-bit samples at
// their pointers; songs and unused slots without data.
#include "sample_kind_check.h"

namespace trk2inst::test {
namespace {

using build::StmSample;

Bytes stm_of(StmSample sample, std::uint8_t type = 2, std::uint8_t major = 2, std::uint16_t gap = 0)
{
    return build::build_stm({.type = type, .major = major, .minor = static_cast<std::uint8_t>(major == 1 ? 10 : 21), .gap = gap,
                             .samples = {StmSample{}, std::move(sample)}});
}

const StmSample looped{"LOOPED.SMP", 6, 2, 6, 50, 16726, Bytes{1, 2, 3, 4, 5, 0xFA}, {}};

INSTANTIATE_TEST_SUITE_P(
    Stm, SampleKinds,
    ::testing::Values(
        SampleKindCase{"signed, C2Spd an octave up, a loop", stm_of(looped), 2,
                       slot_record(3, 0, 1, 2, 50, 12, {1, 2, 3, 4, 5, 0xFA}), {0x81, 0x82, 0x83, 0x84, 0x85, 0x7A},
                       mono_source(8, 6, 16726, loop_of("forward", 2, 5), false)},
        SampleKindCase{"volume 0: unused", stm_of({"QUIET.SMP", 6, 0, 0xFFFF, 0, 8363, {}, {}}), 2,
                       slot_record(0, 0, 0, 0, 0, 0, {}), {}, ""},
        SampleKindCase{"a song keeps its samples outside", stm_of(looped, 1), 2, slot_record(0, 0, 0, 0, 50, 12, {}), {},
                       ""},
        SampleKindCase{"version 1.10: headers after a gap", stm_of({"OLD.SMP", 2, 0, 0xFFFF, 64, 8363, {}, {}}, 2, 1, 16),
                       2, slot_record(1, 0, 0, 1, 64, 0, {0x20, 0x27}), {0xA0, 0xA7}, mono_source(8, 2, 8363, "[]", false)}));

}  // namespace
}  // namespace trk2inst::test
