// DSMI AMF and DMF modules under "=A": every header layout, the data blocks
// in index order after the tracks.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::AmfSample;
using build::AmfSpec;

AmfSample amf_sample(Bytes data, std::uint32_t loop_start = 0, std::uint32_t loop_end = 0)
{
    return {1, "Sample_1_____________X and more", {}, {}, 8363, 64, loop_start, loop_end, std::move(data)};
}

// A module of the samples, changed by `edit` before it is built.
template <typename Edit>
Bytes amf(std::vector<AmfSample> samples, std::uint8_t version, Edit edit)
{
    AmfSpec layout;
    layout.version = version;
    layout.samples = std::move(samples);
    edit(layout);
    return build::build_amf(layout);
}

Bytes amf(std::vector<AmfSample> samples, std::uint8_t version = 14)
{
    return amf(std::move(samples), version, [](AmfSpec&) {});
}

const Bytes unsigned_bytes{0x80, 0x90, 0x70, 0xFF};
const Bytes as_signed{0x00, 0x10, 0xF0, 0x7F};
const Bytes eight{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87};
const Bytes zero_to_seven{0, 1, 2, 3, 4, 5, 6, 7};
const std::string loop_2_to_5 = R"("loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}])";
const std::string loop_4_to_7 = R"("loops": [{"kind": "forward", "sustain": false, "start": 4, "end": 7}])";

AmfSample at_rate(AmfSample sample, std::uint16_t rate, std::uint8_t volume)
{
    sample.rate = rate;
    sample.volume = volume;
    return sample;
}

// The data are written in header order, but sample 1 has index 2: it takes
// the second block, the bytes written for sample 2.
std::vector<AmfSample> indexes_swapped()
{
    std::vector<AmfSample> samples{amf_sample(Bytes(4, 0x82)), amf_sample(Bytes(4, 0x81))};
    samples[0].index = 2;
    samples[1].index = 1;
    return samples;
}

class AmfSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(AmfSamples, AreReadAsStored)
{
    expect_sample(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AmfSamples,
    ::testing::Values(
        SampleCase{"version 14: unsigned 8-bit, the name cut at 22 bytes",
                   amf({amf_sample(unsigned_bytes)}, 14, [](AmfSpec& l) { l.channels = 6; l.orders = 3; }), 1,
                   slot_record(2, 0, 0, 1, 64, 0, as_signed), unsigned_bytes,
                   {R"({"format": "AMF ", "channels": 6, "patterns": 3,)", R"("name": "Sample_1_____________X",)",
                    R"("source": {"bits": 8, "channels": 1, "frames": 4, "rate": 8363, "loops": [])"}},
        SampleCase{"a loop ending more than 2 past its start, a rate", amf({at_rate(amf_sample(eight, 2, 6), 16726, 48)}),
                   1, slot_record(4, 0, 1, 2, 48, 12, zero_to_seven), eight, {R"("rate": 16726, )" + loop_2_to_5}},
        SampleCase{"a loop ending 2 past its start is none", amf({amf_sample(eight, 2, 4)}, 12), 1,
                   slot_record(4, 0, 0, 1, 64, 0, zero_to_seven), eight, {R"("loops": [])"}},
        SampleCase{"version 8: 16-bit fields, 4 channels", amf({amf_sample(eight, 2, 6)}, 8), 1,
                   slot_record(4, 0, 1, 2, 64, 0, zero_to_seven), eight, {R"("channels": 4,)", loop_2_to_5}},
        SampleCase{"version 10 with full headers", amf({amf_sample(eight, 4, 8)}, 10), 1,
                   slot_record(4, 0, 2, 2, 64, 0, zero_to_seven), eight, {loop_4_to_7}},
        SampleCase{"version 10 with short headers: the loop runs to the end",
                   amf({amf_sample(eight, 4)}, 10, [](AmfSpec& l) { l.short_headers = true; }), 1,
                   slot_record(4, 0, 2, 2, 64, 0, zero_to_seven), eight, {loop_4_to_7}},
        SampleCase{"DMF: unsigned deltas, no name",
                   amf({amf_sample({0x80, 0x10, 0xF0, 0x00}, 0, 4)}, 12, [](AmfSpec& l) { l.id = "DMF"; }), 1,
                   slot_record(2, 0, 0, 2, 64, 0, {0x00, 0x10, 0x00, 0x00}), {0x80, 0x90, 0x80, 0x80},
                   {R"({"slot": 1, "name": "", )"}},
        SampleCase{"data by index, not by header", amf(indexes_swapped()), 1, slot_record(2, 0, 0, 1, 64, 0, Bytes(4, 1)),
                   Bytes(4, 0x81), {}},
        SampleCase{"version 1 tracks with their end markers",
                   amf({amf_sample(unsigned_bytes)}, 1, [](AmfSpec& l) { l.track_map = {2, 1}; l.track_events = {1, 0}; }),
                   1, slot_record(2, 0, 0, 1, 64, 0, as_signed), unsigned_bytes, {R"("frames": 4, "rate": 8363, )"}}));

}  // namespace
}  // namespace trk2inst::test
