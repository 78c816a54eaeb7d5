// PolyTracker modules under "=A": delta-coded samples at the offsets their
// headers hold.
#include "sample_kind_check.h"

namespace trk2inst::test {
namespace {

using build::PtmSample;

Bytes ptm_of(std::uint8_t type, std::uint32_t length, Bytes data)
{
    const PtmSample sample{type, "Sample_2____________________", 48, 16726, length, 0, 4, std::move(data), {}};
    return build::build_ptm({.samples = {PtmSample{}, sample}});
}

INSTANTIATE_TEST_SUITE_P(
    Ptm, SampleKinds,
    ::testing::Values(
        SampleKindCase{"8-bit delta, a loop", ptm_of(0x05, 4, {1, 1, 1, 0xFD}), 2,
                       slot_record(2, 0, 0, 2, 48, 12, {1, 2, 3, 0}), {0x81, 0x82, 0x83, 0x80},
                       mono_source(8, 4, 16726, loop_of("forward", 0, 3), false)},
        // The sums of the bytes 00 01 00 FF are 00 01 01 00: words 0x0100, 0x0001.
        SampleKindCase{"16-bit byte-wise delta, a ping-pong loop", ptm_of(0x1D, 4, {0x00, 0x01, 0x00, 0xFF}), 2,
                       slot_record(1, 0, 0, 1, 48, 12, {1, 0}), words_le({0x0100, 0x0001}),
                       mono_source(16, 2, 16726, loop_of("ping-pong", 0, 1))},
        SampleKindCase{"AdLib", ptm_of(0x02, 4, {1, 1, 1, 1}), 2, slot_record(0, 0, 0, 0, 48, 12, {}), {}, ""}));

}  // namespace
}  // namespace trk2inst::test
