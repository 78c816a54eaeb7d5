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
    AmfSample sample;
    sample.name = "Sample_1_____________X and more";
    sample.data = std::move(data);
    sample.loop_start = loop_start;
    sample.loop_end = loop_end;
    return sample;
}

Bytes amf(std::vector<AmfSample> samples, std::uint8_t version = 14, const char* id = "AMF")
{
    AmfSpec layout;
    layout.id = id;
    layout.version = version;
    layout.samples = std::move(samples);
    return build::build_amf(layout);
}

const Bytes unsigned_bytes{0x80, 0x90, 0x70, 0xFF};
const Bytes as_signed{0x00, 0x10, 0xF0, 0x7F};
const Bytes eight{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87};
const Bytes zero_to_seven{0, 1, 2, 3, 4, 5, 6, 7};
const std::string no_loop = R"("frames": 4, "rate": 8363, "loops": [])";
const std::string loop_2_to_5 = R"("loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}])";
const std::string loop_4_to_7 = R"("loops": [{"kind": "forward", "sustain": false, "start": 4, "end": 7}])";

Bytes wide_module()
{
    AmfSpec layout;
    layout.channels = 6;
    layout.orders = 3;
    layout.samples = {amf_sample(unsigned_bytes)};
    return build::build_amf(layout);
}

Bytes with_rate(AmfSample sample, std::uint16_t rate, std::uint8_t volume)
{
    sample.rate = rate;
    sample.volume = volume;
    return amf({sample});
}

Bytes short_headers_of_version_10()
{
    AmfSpec layout;
    layout.version = 10;
    layout.short_headers = true;
    layout.samples = {amf_sample(eight, 4, 0)};
    return build::build_amf(layout);
}

// The data are written in header order, but sample 1 has index 2: it takes
// the second block, the bytes written for sample 2.
Bytes indexes_swapped()
{
    AmfSample first = amf_sample(Bytes(4, 0x82));
    first.index = 2;
    AmfSample second = amf_sample(Bytes(4, 0x81));
    second.index = 1;
    return amf({first, second});
}

// Version 1 does not count a track's end marker.
Bytes version_1_tracks()
{
    AmfSpec layout;
    layout.version = 1;
    layout.track_map = {2, 1};
    layout.track_events = {1, 0};
    layout.samples = {amf_sample(unsigned_bytes)};
    return build::build_amf(layout);
}

class AmfSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(AmfSamples, AreReadAsStored)
{
    expect_sample(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AmfSamples,
    ::testing::Values(
        SampleCase{"version 14: unsigned 8-bit, the name cut at 22 bytes", wide_module(), 1,
                   slot_record(2, 0, 0, 1, 64, 0, as_signed), unsigned_bytes,
                   {R"({"format": "AMF ", "channels": 6, "patterns": 3,)", R"("name": "Sample_1_____________X",)",
                    R"("source": {"bits": 8, "channels": 1, )" + no_loop}},
        SampleCase{"a loop ending more than 2 past its start, a rate", with_rate(amf_sample(eight, 2, 6), 16726, 48), 1,
                   slot_record(4, 0, 1, 2, 48, 12, zero_to_seven), eight, {R"("rate": 16726, )" + loop_2_to_5}},
        SampleCase{"a loop ending 2 past its start is none", amf({amf_sample(eight, 2, 4)}, 12), 1,
                   slot_record(4, 0, 0, 1, 64, 0, zero_to_seven), eight, {R"("loops": [])"}},
        SampleCase{"version 8: 16-bit fields, 4 channels", amf({amf_sample(eight, 2, 6)}, 8), 1,
                   slot_record(4, 0, 1, 2, 64, 0, zero_to_seven), eight, {R"("channels": 4,)", loop_2_to_5}},
        SampleCase{"version 10 with full headers", amf({amf_sample(eight, 4, 8)}, 10), 1,
                   slot_record(4, 0, 2, 2, 64, 0, zero_to_seven), eight, {loop_4_to_7}},
        SampleCase{"version 10 with short headers: the loop runs to the end", short_headers_of_version_10(), 1,
                   slot_record(4, 0, 2, 2, 64, 0, zero_to_seven), eight, {loop_4_to_7}},
        SampleCase{"DMF: unsigned deltas, no name", amf({amf_sample({0x80, 0x10, 0xF0, 0x00}, 0, 4)}, 12, "DMF"), 1,
                   slot_record(2, 0, 0, 2, 64, 0, {0x00, 0x10, 0x00, 0x00}), {0x80, 0x90, 0x80, 0x80},
                   {R"({"slot": 1, "name": "", )"}},
        SampleCase{"data by index, not by header", indexes_swapped(), 1, slot_record(2, 0, 0, 1, 64, 0, Bytes(4, 1)),
                   Bytes(4, 0x81), {}},
        SampleCase{"version 1 tracks with their end markers", version_1_tracks(), 1,
                   slot_record(2, 0, 0, 1, 64, 0, as_signed), unsigned_bytes, {no_loop}}));

}  // namespace
}  // namespace trk2inst::test
