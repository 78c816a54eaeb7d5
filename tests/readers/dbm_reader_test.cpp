// DigiBooster Pro modules under "=A": each width of SMPL values with the
// settings of the instrument that plays it, listed by "j" and written by
// "s"; a pipe gives what the file gives.
#include "sample_kinds.h"

namespace trk2inst::test {
namespace {

using build::DbmInstrument;
using build::DbmSample;
using build::DbmSpec;

class DbmKinds : public ::testing::TestWithParam<SampleKind> {};

TEST_P(DbmKinds, TakeTheirInstrumentsSettings)
{
    check_sample_kind(GetParam());
}

DbmSpec layout_of(DbmInstrument instrument, DbmSample sample)
{
    DbmSpec layout;
    layout.instruments = {std::move(instrument)};
    layout.samples = {std::move(sample)};
    return layout;
}

Bytes one(DbmInstrument instrument, DbmSample sample)
{
    return build::build_dbm(layout_of(std::move(instrument), std::move(sample)));
}

const DbmInstrument plain{"Instrument_name_30_bytes_____X", 1, 64, 8363, 0, 0, 0, 0};

DbmInstrument looped(std::uint16_t flags, std::uint32_t start, std::uint32_t length, std::uint32_t rate = 8363)
{
    DbmInstrument instrument = plain;
    instrument.flags = flags;
    instrument.loop_start = start;
    instrument.loop_length = length;
    instrument.rate = rate;
    return instrument;
}

Bytes unplayed(DbmSample sample)
{
    DbmSpec layout = layout_of(plain, std::move(sample));
    layout.instruments[0].sample = 2;
    return build::build_dbm(layout);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DbmKinds,
    ::testing::Values(
        SampleKind{"8-bit, a forward loop, an octave up, volume above 64",
                 [] { DbmSpec l = layout_of(looped(1, 2, 4, 16726), {1, 8, {1, 2, 3, 4, 5, 6, 7, 0x80}});
                      l.instruments[0].volume = 65; return build::build_dbm(l); }(), 1,
                 R"({"slot": 1, "name": "Instrument_name_30_byt", "length": 4, "loop_start": 1, "loop_length": 2, "volume": 64, "note": 12, "finetune": 0, "pitch": "C.4+0", )"
                 R"("source": {"bits": 8, "channels": 1, "frames": 8, "rate": 16726, "loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}], "compression": null, "converted": false}})",
                 {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x00}},
        SampleKind{"16-bit big-endian, ping-pong", one(looped(3, 1, 2), {2, 3, {0x12, 0x34, 0xFF, 0xFE, 0x80, 0x00}}), 1,
                 R"("source": {"bits": 16, "channels": 1, "frames": 3, "rate": 8363, "loops": [{"kind": "ping-pong", "sustain": false, "start": 1, "end": 2}], "compression": null, "converted": true})",
                 {0x34, 0x12, 0xFE, 0xFF, 0x00, 0x80}},
        SampleKind{"32-bit: the high halves", one(plain, {4, 2, {0x80, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}}), 1,
                 R"("source": {"bits": 16, "channels": 1, "frames": 2,)", {0x00, 0x80, 0x34, 0x12}},
        SampleKind{"several width bits: the widest", one(plain, {3, 1, {0x12, 0x34}}), 1,
                 R"("source": {"bits": 16, "channels": 1, "frames": 1,)", {0x34, 0x12}},
        SampleKind{"a loop flag with a length of 0", one(looped(1, 0, 0), {1, 2, {5, 6}}), 1,
                 R"("source": {"bits": 8, "channels": 1, "frames": 2, "rate": 8363, "loops": [])", {0x85, 0x86}},
        SampleKind{"no instrument plays it: 8363 Hz, volume 64, no name", unplayed({1, 2, {5, 6}}), 1,
                 R"({"slot": 1, "name": "", "length": 1, "loop_start": 0, "loop_length": 1, "volume": 64,)",
                 {0x85, 0x86}},
        SampleKind{"no width bit: no values", one(plain, {0, 4, {}}), 1, R"("samples": [],)", {}},
        SampleKind{"MPEG: listed without data", [] { DbmSpec l = layout_of(plain, {1, 4, {1, 2, 3, 4}}); l.mpeg = true; l.version = 3;
                                                 return build::build_dbm(l); }(), 1,
                 R"("samples": [],)", {}}));

// "z" and "j": one instrument per INST record, every key on its sample, with
// the pan of the first instrument that plays it.
TEST(DbmInstruments, OnePerRecord)
{
    DbmSpec layout;
    layout.instruments = {looped(0, 0, 0), looped(0, 0, 0), looped(0, 0, 0)};
    layout.instruments[0].pan = -128;
    layout.instruments[1].name = "second";
    layout.instruments[1].sample = 2;
    layout.instruments[1].pan = 64;
    layout.instruments[2].name = "plays none";
    layout.instruments[2].sample = 3;
    layout.samples = {{1, 2, {1, 2}}, {1, 2, {3, 4}}};
    const RunResult result = run_both({"j"}, build::build_dbm(layout));
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string out = text_of(result.out);
    const std::string regions = R"(, "tick_seconds": 0.02, "regions": [{"lokey": 0, "hikey": 127, "slot": )";
    EXPECT_NE(out.find(R"("instruments": [{"number": 1, "name": "Instrument_name_30_bytes__", "slots": [1])" + regions +
                       R"(1, "transpose": 0, "tune": 0, "volume_db": 0, "pan": -100}], "volume_envelope": null, "fadeout": null, "release_seconds": 0}, )"
                       R"({"number": 2, "name": "second", "slots": [2])" + regions +
                       R"(2, "transpose": 0, "tune": 0, "volume_db": 0, "pan": 50}], "volume_envelope": null, "fadeout": null, "release_seconds": 0}, )"
                       R"({"number": 3, "name": "plays none", "slots": [], "tick_seconds": 0.02, "regions": [])"),
              std::string::npos)
        << out;
}

}  // namespace
}  // namespace trk2inst::test
