// The instruments of "j" (and so of "z"): key tables, pitch, gain, pan,
// envelopes and release, read from modules built here, hostile ones too.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ItInstrument;
using build::ItSample;
using build::ItSpec;
using build::XmInstrument;
using build::XmSample;
using build::XmSpec;

struct InstrumentCase {
    const char* what;
    const char* form;
    Bytes module;
    int count;              // instruments listed
    std::string expected;   // one of them, as "j" prints it
};

void PrintTo(const InstrumentCase& c, std::ostream* os)
{
    *os << c.what;
}

class Instruments : public ::testing::TestWithParam<InstrumentCase> {};

TEST_P(Instruments, AreListedAsTheTrackerPlaysThem)
{
    const InstrumentCase& c = GetParam();
    const TempFile file(c.module);
    const RunResult result = run_in_process({c.form, file.path(), "j"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string out = text_of(result.out);
    const std::size_t at = out.find("\"instruments\": [");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string listed = out.substr(at);
    EXPECT_NE(listed.find(c.expected), std::string::npos) << c.expected << "\n" << listed;
    int count = 0;
    for (std::size_t i = listed.find("{\"number\": "); i != std::string::npos; i = listed.find("{\"number\": ", i + 1))
        ++count;
    EXPECT_EQ(count, c.count);
}

XmSample xm_sample(const char* name, std::uint8_t volume, std::uint8_t panning, std::int8_t relative_note = 0)
{
    XmSample sample;
    sample.name = name;
    sample.length = 16;
    sample.volume = volume;
    sample.panning = panning;
    sample.relative_note = relative_note;
    return sample;
}

XmInstrument xm_instrument(const char* name, std::vector<XmSample> samples)
{
    return {name, std::nullopt, std::nullopt, 40, std::move(samples)};
}

Bytes xm_module(std::vector<XmInstrument> instruments, std::uint16_t tempo = 125)
{
    XmSpec layout;
    layout.instruments = std::move(instruments);
    layout.tempo = tempo;
    return build::build_xm(layout);
}

// Entries 0-11 the first sample, 12-23 a sample it does not have, then the
// second but for 40-45, the third (volume 70, read as 64).
Bytes xm_runs_and_gaps()
{
    XmInstrument instrument = xm_instrument(
        "runs and gaps", {xm_sample("left", 64, 0), xm_sample("low", 32, 255, -96), xm_sample("loud", 70, 128)});
    auto& keys = instrument.keys;
    std::fill(keys.begin() + 12, keys.begin() + 24, std::uint8_t{5});
    std::fill(keys.begin() + 24, keys.end(), std::uint8_t{1});
    std::fill(keys.begin() + 40, keys.begin() + 46, std::uint8_t{2});
    instrument.fadeout = 300;
    return xm_module({instrument});
}

XmInstrument with_envelope(XmInstrument instrument, std::vector<build::XmEnvelopePoint> points, std::uint8_t type)
{
    instrument.volume_points = std::move(points);
    instrument.volume_type = type;
    return instrument;
}

// 13 points given, 12 written, a count of 20; a value above 64, a tick that
// goes back, a sustain point past the points, a loop that ends before it starts.
Bytes xm_envelope_at_its_limits()
{
    XmInstrument instrument = with_envelope(xm_instrument("limits", {xm_sample("s", 64, 128)}),
                                            {{0, 64}, {5, 100}, {3, 40}, {10, 30}, {20, 20}, {30, 10}, {40, 8},
                                             {50, 6}, {60, 4}, {70, 2}, {80, 1}, {90, 0}, {100, 0}},
                                            0x07);
    instrument.volume_point_count = 20;
    instrument.volume_sustain = 12;
    instrument.volume_loop_start = 2;
    instrument.volume_loop_end = 1;
    return xm_module({instrument});
}

Bytes xm_fade_at_150_bpm()
{
    XmInstrument instrument =
        with_envelope(xm_instrument("fade", {xm_sample("s", 64, 128)}), {{0, 64}, {10, 32}, {20, 16}}, 0x05);
    instrument.volume_loop_start = 1;
    instrument.volume_loop_end = 2;
    instrument.fadeout = 1000;
    return xm_module({instrument}, 150);
}

// A header of 240 bytes: the fadeout at 239 is not wholly inside it.
Bytes xm_short_header()
{
    XmInstrument instrument = with_envelope(xm_instrument("short", {xm_sample("s", 64, 128)}), {{0, 64}}, 0x01);
    instrument.size = 240;
    instrument.fadeout = 500;
    return xm_module({instrument});
}

// Instrument 1 fills the table; 2 and 3 are walked past it.
Bytes xm_past_a_full_table()
{
    std::vector<XmSample> many(99, xm_sample("s", 64, 128));
    XmSample ten = xm_sample("ten", 64, 128), six = xm_sample("six", 64, 128);
    ten.length = 10;
    six.length = 6;
    XmInstrument third = with_envelope(xm_instrument("third", {xm_sample("s", 64, 128)}), {{0, 64}, {4, 0}}, 0x01);
    third.fadeout = 4096;
    return xm_module({xm_instrument("many", many), xm_instrument("second", {ten, six}), third});
}

ItSample it_sample(std::uint8_t volume, std::uint8_t global_volume, std::uint8_t default_pan)
{
    ItSample sample;
    sample.name = "it";
    sample.length = 8;
    sample.data = Bytes(8, 1);
    sample.volume = volume;
    sample.global_volume = global_volume;
    sample.default_pan = default_pan;
    return sample;
}

Bytes it_module(std::vector<ItSample> samples, std::vector<ItInstrument> instruments, std::uint16_t compatible_with = 0x0214)
{
    ItSpec layout;
    layout.compatible_with = compatible_with;
    layout.samples = std::move(samples);
    layout.instruments = std::move(instruments);
    return build::build_it(layout);
}

// Keys 36-39 play the first sample at C-5, 40 a note above 119, 41 and 42
// samples past the count and past 99, 43-59 the second (its own pan), 60 up
// the third an octave down. 30 nodes claimed, 3 written.
Bytes it_kit()
{
    ItInstrument kit;
    kit.name = "kit";
    std::array<std::uint8_t, 120> notes{};
    for (std::size_t key = 0; key < 120; ++key) {
        notes[key] = static_cast<std::uint8_t>(key >= 60 ? key - 12 : key);
        kit.samples[key] = key < 36 ? 0 : key < 41 ? 1 : key == 41 ? 4 : key == 42 ? 120 : key < 60 ? 2 : 3;
    }
    std::fill(notes.begin() + 36, notes.begin() + 40, std::uint8_t{60});
    notes[40] = 200;
    kit.notes = notes;
    kit.envelope_flags = 0x07;
    kit.nodes = {{0, 64}, {10, 32}, {20, 16}};
    kit.node_count = 30;
    kit.loop_begin = 1;
    kit.loop_end = 2;
    kit.sustain_begin = 6;
    kit.sustain_end = 4;
    kit.global_volume = 200;
    kit.default_pan = 16;
    return it_module({it_sample(64, 64, 32), it_sample(64, 64, 0x80 | 48), it_sample(64, 64, 32)}, {kit});
}

std::string it_kit_expected()
{
    std::string points = "[0, 64], [10, 32], [20, 16]";
    for (int k = 3; k < 25; ++k)
        points += ", [20, 0]";  // zero ticks, taken as the one before
    std::string regions;
    for (int key = 36; key <= 40; ++key)
        regions += R"({"lokey": )" + std::to_string(key) + R"(, "hikey": )" + std::to_string(key) +
                   R"(, "slot": 1, "transpose": )" + std::to_string(key == 40 ? 0 : 60 - key) +
                   R"(, "tune": 0, "volume_db": 0, "pan": -50}, )";
    return R"({"number": 1, "name": "kit", "slots": [1, 2, 3], "tick_seconds": 0.02, "regions": [)" + regions +
           R"({"lokey": 43, "hikey": 59, "slot": 2, "transpose": 0, "tune": 0, "volume_db": 0, "pan": 50}, )"
           R"({"lokey": 60, "hikey": 119, "slot": 3, "transpose": -12, "tune": 0, "volume_db": 0, "pan": -50}], )"
           R"("volume_envelope": {"points": [)" + points + R"(], "sustain": null, "loop": [1, 2]}, )"
           R"("fadeout": 0, "release_seconds": 100})";
}

ItInstrument every_key_plays(std::uint8_t sample)
{
    ItInstrument instrument;
    instrument.name = "every key";
    instrument.samples.fill(sample);
    return instrument;
}

Bytes it_old_layout()
{
    ItInstrument old = every_key_plays(1);
    old.envelope_flags = 0x05;
    old.nodes = {{0, 64}, {4, 32}, {8, 0}};
    old.sustain_begin = old.sustain_end = 1;
    old.fadeout = 64;
    return it_module({it_sample(32, 32, 32)}, {old}, 0x0100);
}

Bytes it_without_headers()
{
    ItInstrument unsigned_header = every_key_plays(1);
    unsigned_header.signature = "IMPX";
    ItInstrument nowhere = every_key_plays(1);
    nowhere.pointer = 0;
    return it_module({it_sample(64, 64, 32)}, {unsigned_header, nowhere});
}

Bytes it_300_instruments()
{
    ItSpec layout;
    layout.samples = {it_sample(64, 64, 32)};
    layout.instruments = {every_key_plays(1)};
    layout.instrument_count = 300;
    return build::build_it(layout);
}

Bytes mod_finetune_with_a_high_nibble()
{
    build::ModSpec layout;
    layout.samples = {{"pt", 8, 0x1F, 32, 0, 1, std::nullopt}};
    return build::build_mod(layout);
}

Bytes s3m_at(std::uint32_t c2spd)
{
    build::S3mInstrument instrument;
    instrument.file_name = "S3M";
    instrument.length = 16;
    instrument.c2spd = c2spd;
    build::S3mSpec layout;
    layout.instruments = {instrument};
    return build::build_s3m(layout);
}

std::string one_slot(const char* name, const char* tune, const char* volume, const char* pan)
{
    return std::string(R"({"number": 1, "name": ")") + name +
           R"(", "slots": [1], "tick_seconds": 0.02, "regions": [{"lokey": 0, "hikey": 127, "slot": 1, "transpose": 0, "tune": )" +
           tune + R"(, "volume_db": )" + volume + R"(, "pan": )" + pan +
           R"(}], "volume_envelope": null, "fadeout": null, "release_seconds": 0})";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Instruments,
    ::testing::Values(
        InstrumentCase{"XM key table with runs, a gap and entries past the samples", "=A", xm_runs_and_gaps(), 1,
                       R"({"number": 1, "name": "runs and gaps", "slots": [1, 2, 3], "tick_seconds": 0.02, "regions": [)"
                       R"({"lokey": 12, "hikey": 23, "slot": 1, "transpose": 0, "tune": 0, "volume_db": 0, "pan": -100}, )"
                       R"({"lokey": 36, "hikey": 51, "slot": 2, "transpose": 0, "tune": -18, "volume_db": -6.021, "pan": 99.219}, )"
                       R"({"lokey": 52, "hikey": 57, "slot": 3, "transpose": 0, "tune": 0, "volume_db": 0, "pan": 0}, )"
                       R"({"lokey": 58, "hikey": 107, "slot": 2, "transpose": 0, "tune": -18, "volume_db": -6.021, "pan": 99.219}], )"
                       R"("volume_envelope": null, "fadeout": 300, "release_seconds": 0})"},
        InstrumentCase{"XM envelope past its limits", "=A", xm_envelope_at_its_limits(), 1,
                       R"("volume_envelope": {"points": [[0, 64], [5, 64], [5, 40], [10, 30], [20, 20], [30, 10], [40, 8], )"
                       R"([50, 6], [60, 4], [70, 2], [80, 1], [90, 0]], "sustain": null, "loop": null}, "fadeout": 0, "release_seconds": 100})"},
        InstrumentCase{"XM fade at 150 beats per minute, with a loop", "=A", xm_fade_at_150_bpm(), 1,
                       R"("tick_seconds": 0.017, "regions": [{"lokey": 12, "hikey": 107, "slot": 1, "transpose": 0, "tune": 0, "volume_db": 0, "pan": 0}], )"
                       R"("volume_envelope": {"points": [[0, 64], [10, 32], [20, 16]], "sustain": null, "loop": [1, 2]}, )"
                       R"("fadeout": 1000, "release_seconds": 0.55})"},
        InstrumentCase{"XM header that ends inside the fadeout", "=A", xm_short_header(), 1,
                       R"("volume_envelope": {"points": [[0, 64]], "sustain": null, "loop": null}, "fadeout": 0, "release_seconds": 100})"},
        InstrumentCase{"XM instrument without samples", "=A", xm_module({xm_instrument("empty", {})}), 1,
                       R"({"number": 1, "name": "empty", "slots": [], "tick_seconds": 0.02, "regions": [], )"
                       R"("volume_envelope": null, "fadeout": null, "release_seconds": 0})"},
        InstrumentCase{"XM instruments past 99 samples play theirs", "=A", xm_past_a_full_table(), 3,
                       R"({"number": 3, "name": "third", "slots": [102], "tick_seconds": 0.02, "regions": [)"
                       R"({"lokey": 12, "hikey": 107, "slot": 102, "transpose": 0, "tune": 0, "volume_db": 0, "pan": 0}], )"
                       R"("volume_envelope": {"points": [[0, 64], [4, 0]], "sustain": null, "loop": null}, "fadeout": 4096, "release_seconds": 0.16})"},
        InstrumentCase{"IT kit, new layout", "=A", it_kit(), 1, it_kit_expected()},
        InstrumentCase{"IT old layout", "=A", it_old_layout(), 1,
                       R"({"number": 1, "name": "every key", "slots": [1], "tick_seconds": 0.02, "regions": [)"
                       R"({"lokey": 0, "hikey": 119, "slot": 1, "transpose": 0, "tune": 0, "volume_db": -12.041, "pan": null}], )"
                       R"("volume_envelope": {"points": [[0, 64], [4, 32], [8, 0]], "sustain": [1, 1], "loop": null}, )"
                       R"("fadeout": 64, "release_seconds": 0.16})"},
        InstrumentCase{"IT header without IMPI", "=A", it_without_headers(), 2,
                       R"({"number": 1, "name": "", "slots": [], "tick_seconds": 0.02, "regions": [], )"
                       R"("volume_envelope": null, "fadeout": null, "release_seconds": 0})"},
        InstrumentCase{"IT 300 instruments, 255 read", "=A", it_300_instruments(), 255,
                       R"({"number": 255, "name": "", "slots": [])"},
        InstrumentCase{"IT sample mode: the sample's global volume and pan", "=A",
                       it_module({it_sample(64, 32, 0x80 | 64)}, {}), 1, one_slot("it", "0", "-6.021", "100")},
        InstrumentCase{"ProTracker finetune with a high nibble", "=A", mod_finetune_with_a_high_nibble(), 1,
                       one_slot("pt", "-1", "-6.021", "null")},
        InstrumentCase{"S3M in its own form: the C2Spd against the WAV's rate", "=S", s3m_at(8491), 1,
                       one_slot("S3M", "1", "0", "null")},
        InstrumentCase{"S3M under =A: the WAV has the C2Spd", "=A", s3m_at(8491), 1, one_slot("S3M", "0", "0", "null")}));

}  // namespace
}  // namespace trk2inst::test
