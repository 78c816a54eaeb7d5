// Digitrakker modules under "=A": raw and packed samples at the numbers IS
// gives them, their volumes by version, listed by "j" and written by "s";
// a pipe gives what the file gives.
#include "sample_kinds.h"

namespace trk2inst::test {
namespace {

using build::MdlSample;
using build::MdlSpec;

class MdlKinds : public ::testing::TestWithParam<SampleKind> {};

TEST_P(MdlKinds, ListAndWrite)
{
    check_sample_kind(GetParam());
}

MdlSample sample(std::uint8_t number, std::uint8_t flags, std::vector<std::int16_t> values)
{
    MdlSample s;
    s.number = number;
    s.name = "Sample_name_32_bytes_long______X";
    s.flags = flags;
    s.length = static_cast<std::uint32_t>(values.size()) * ((flags & 1) != 0 ? 2u : 1u);
    s.values = std::move(values);
    return s;
}

MdlSpec samples(std::vector<MdlSample> list, std::uint8_t version = 0x11)
{
    MdlSpec layout;
    layout.version = version;
    layout.channel_bytes.fill(0x80);
    layout.channel_bytes[0] = layout.channel_bytes[1] = 0x20;
    layout.patterns = {{1, 2}};
    layout.samples = std::move(list);
    return layout;
}

MdlSample with_loop(MdlSample s, std::uint32_t start, std::uint32_t length)
{
    s.loop_start = start;
    s.loop_length = length;
    return s;
}

// Slot 5 after slot 2 (an 8-bit packed one): the blocks follow each other.
Bytes after_packed(MdlSample s)
{
    return build::build_mdl(samples({sample(2, 0x04, {5, -5, 100}), std::move(s)}));
}

const std::string named = R"({"slot": 5, "name": "Sample_name_32_bytes_l", )";

INSTANTIATE_TEST_SUITE_P(
    Cases, MdlKinds,
    ::testing::Values(
        SampleKind{"8-bit packed, a loop, its rate; version 1 without instruments: volume 64",
                 [] { MdlSpec l = samples({with_loop(sample(5, 0x04, {3, 2, 22, -19}), 1, 2)}); l.samples[0].rate = 22050; return build::build_mdl(l); }(), 5,
                 named + R"("length": 3, "loop_start": 1, "loop_length": 1, "volume": 64, "note": 16, "finetune": 70, "pitch": "G#3+6", )"
                         R"("source": {"bits": 8, "channels": 1, "frames": 4, "rate": 22050, "loops": [{"kind": "forward", "sustain": false, "start": 1, "end": 2}], "compression": "mdl", "converted": true}})",
                 {0x83, 0x82, 0x96, 0x6D}},
        SampleKind{"16-bit packed, ping-pong, lengths in bytes halved", after_packed(with_loop(sample(5, 0x0B, {820, 767, -32768}), 2, 4)), 5,
                 named + R"("length": 2, "loop_start": 0, "loop_length": 1, "volume": 64, "note": 0, "finetune": 0, "pitch": "C.5+0", )"
                         R"("source": {"bits": 16, "channels": 1, "frames": 3, "rate": 8363, "loops": [{"kind": "ping-pong", "sustain": false, "start": 1, "end": 2}], "compression": "mdl", "converted": true}})",
                 {0x34, 0x03, 0xFF, 0x02, 0x00, 0x80}},
        SampleKind{"8-bit raw", after_packed(sample(5, 0, {1, -1})), 5,
                 R"("source": {"bits": 8, "channels": 1, "frames": 2, "rate": 8363, "loops": [], "compression": null,)", {0x81, 0x7F}},
        SampleKind{"16-bit raw", after_packed(sample(5, 1, {0x1234, -2})), 5,
                 R"("source": {"bits": 16, "channels": 1, "frames": 2, "rate": 8363, "loops": [], "compression": null,)",
                 {0x34, 0x12, 0xFE, 0xFF}},
        SampleKind{"a gap: slots 1, 3 and 4 stay empty; channels from IN",
                 after_packed(sample(5, 0, {1})), 2,
                 R"("channels": 2, "patterns": 1, "expected_length": null, "samples": [{"slot": 2, )", {0x85, 0x7B, 0xE4}},
        SampleKind{"version 0: the volume of IS, a 16-bit rate, 32 tracks a pattern",
                 [] { MdlSpec l = samples({sample(1, 0, {1})}, 0x00); l.samples[0].volume = 128; l.samples[0].rate = 0x12345;
                      l.patterns = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}};
                      return build::build_mdl(l); }(), 1,
                 R"("channels": 32, "patterns": 1, "expected_length": null, "samples": [{"slot": 1, "name": "Sample_name_32_bytes_l", "length": 1, "loop_start": 0, "loop_length": 1, "volume": 32, "note": 1, "finetune": 162, "pitch": "B.4+2", )"
                 R"("source": {"bits": 8, "channels": 1, "frames": 1, "rate": 9029,)", {0x81}},
        SampleKind{"version 1: the first valid instrument entry's volume",
                 [] { MdlSpec l = samples({sample(1, 0, {1})}); l.instruments = {{{1, 255, 0x00}, {1, 191, 0x40}}, {{1, 128, 0x40}}};
                      return build::build_mdl(l); }(), 1,
                 R"("volume": 48,)", {0x81}},
        SampleKind{"packed 8-bit values flagged 16-bit: no data", after_packed(sample(5, 0x05, {1, 2})), 5,
                 R"("samples": [{"slot": 2, )", {}}));

}  // namespace
}  // namespace trk2inst::test
