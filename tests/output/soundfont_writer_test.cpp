// "f": banks of built modules read back by the tests' SoundFont reader, each
// sample played as the module plays the values of "s".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "driver/command_line.h"
#include "output/sampler_instrument.h"
#include "readers/source_sample.h"
#include "soundfont_reader.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

// The first n values that the module plays of a channel of the values of
// "s", a ping-pong loop turning at its ends.
std::vector<int> module_plays(RunState& state, std::size_t index, int channel, std::size_t n)
{
    std::vector<std::uint8_t> scratch;
    const SourceShape shape = source_shape(state, index);
    const SourceData data = source_data(state, index, scratch);
    const SourceLoop* loop = played_loop(shape);
    const auto width = std::size_t(shape.bits / 8);
    const std::size_t stride = data.signed_bytes ? 1 : width * std::size_t(shape.channels);
    const auto value = [&](std::size_t frame) {
        const std::uint8_t* at = &data.bytes[frame * stride + (data.signed_bytes ? 0 : width * std::size_t(channel))];
        const auto flip = std::uint8_t(data.signed_bytes ? 0 : 0x80);
        return width == 2 ? std::int16_t(at[0] | at[1] << 8) : 256 * std::int8_t(at[0] ^ flip);
    };
    std::vector<int> out;
    for (std::int64_t at = 0, step = 1; out.size() < n && std::size_t(at) < data.bytes.size() / stride; at += step) {
        out.push_back(value(std::size_t(at)));
        if (loop != nullptr && step > 0 && at == loop->end - 1)
            loop->ping_pong && at > loop->start ? void(step = -1) : void(at = loop->start - 1);
        else if (loop != nullptr && step < 0 && at == loop->start)
            step = 1;
    }
    return out;
}

// Each sample of the bank, its loop played over and over, plays what the
// module plays, then silence.
void expect_plays_as_the_module(RunState& state, const SoundFont& bank)
{
    for (const SfSample& s : bank.samples) {
        const auto index = std::size_t(std::stoi(s.name) - 1);
        std::vector<int> played = module_plays(state, index, s.type == 2, 3 * (s.end - s.start)), heard;
        for (std::uint32_t at = s.start; heard.size() < 3 * (s.end - s.start) && at < s.end; ++at) {
            heard.push_back(bank.points[at]);
            at = at + 1 == s.loop_end && s.loop_end > s.loop_start ? s.loop_start - 1 : at;
        }
        ASSERT_GE(heard.size(), played.size()) << s.name;
        played.resize(heard.size(), 0);
        EXPECT_EQ(heard, played) << s.name;
        EXPECT_EQ(s.rate, source_shape(state, index).rate);
    }
}

// Values that differ, 8 or 16 bits (flag 0x02), mono or stereo (0x04); a loop
// (0x10, ping-pong 0x40) and a sustain loop (0x20) alike.
build::ItSample it_sample(const char* name, std::uint32_t frames, std::uint8_t flags, std::uint32_t begin,
                          std::uint32_t end)
{
    build::ItSample sample;
    sample.name = name;
    sample.flags = std::uint8_t(0x01 | flags);
    sample.length = frames;
    sample.loop_begin = sample.sustain_begin = begin;
    sample.loop_end = sample.sustain_end = end;
    std::vector<std::int16_t> values;
    for (std::uint32_t i = 0; i < frames * ((flags & 0x04) != 0 ? 2 : 1); ++i)
        values.push_back(std::int16_t((flags & 0x02) != 0 ? i * 997 % 65536 - 32768 : i * 37 % 256 - 128));
    sample.data = build::it_pcm(values, (flags & 0x02) != 0 ? 16 : 8);
    return sample;
}

// Key k plays sample keys[k][0], transposed keys[k][1] semitones, in each
// instrument; no keys: no instrument.
Bytes it_module(std::vector<build::ItSample> samples, std::vector<std::array<int, 2>> keys = {}, int instruments = 1)
{
    build::ItSpec layout;
    layout.samples = std::move(samples);
    build::ItInstrument instrument;
    instrument.notes = std::array<std::uint8_t, 120>{};
    for (std::size_t key = 0; key < keys.size(); ++key) {
        instrument.samples[key] = std::uint8_t(keys[key][0]);
        (*instrument.notes)[key] = std::uint8_t(int(key) + keys[key][1]);
    }
    layout.instruments.assign(keys.empty() ? 0 : std::size_t(instruments), instrument);
    return build::build_it(layout);
}

std::vector<std::array<int, 2>> keys_of_their_own()
{
    std::vector<std::array<int, 2>> keys;
    for (int key = 0; key < 120; ++key)
        keys.push_back({key + 1, 0});
    return keys;
}

// Relative notes and finetunes at their limits; an envelope up to its first
// peak at its second point, down to its sustain point; one that falls to
// silence.
Bytes xm_instruments()
{
    build::XmSpec layout;
    for (const char* name : {"low", "held", "fall", "high"}) {
        build::XmSample sample;
        sample.name = name;
        sample.length = 16;
        sample.relative_note = sample.finetune = name[0] == 'l' ? -128 : name[0] == 'h' ? 127 : 0;
        layout.instruments.push_back({name, {}, {}, 40, {sample}});
    }
    layout.instruments[0].samples.push_back(layout.instruments[3].samples[0]);
    layout.instruments.pop_back();
    std::fill(layout.instruments[0].keys.begin() + 48, layout.instruments[0].keys.end(), std::uint8_t{1});
    build::XmInstrument &held = layout.instruments[1], &fall = layout.instruments[2];
    held.volume_points = {{0, 32}, {10, 64}, {20, 64}, {30, 16}};
    held.volume_sustain = 3;
    held.volume_type = 0x03;
    held.fadeout = 4096;
    fall.volume_points = {{0, 64}, {8, 0}};
    fall.volume_type = 0x01;
    return build::build_xm(layout);
}

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct BankCase {
    const char* what;
    Bytes module;
    std::vector<std::string> expected;  // parts of the bank's listing
    std::string error = {};             // the message of a bank that cannot be written
};

void PrintTo(const BankCase& c, std::ostream* os)
{
    *os << c.what;
}

class Banks : public ::testing::TestWithParam<BankCase> {};

// "f-" and "f" into a new folder in one run, whose state then gives the values.
TEST_P(Banks, ReadBackAsTheModulePlaysThem)
{
    const BankCase& c = GetParam();
    const TempFile file(c.module);
    auto state = std::make_unique<RunState>();
    const std::string out = file.path() + ".out", folder = file.path() + ".new", command = "f" + folder + "/bank.sf2";
    state->out = state->err = std::fopen(out.c_str(), "w+b");
    const char* args[] = {"=A", file.path().c_str(), "f-", command.c_str()};
    EXPECT_EQ(run_command_line(*state, args), c.error.empty() ? 0 : 1);
    std::fclose(state->out);
    const Bytes written = read_file(folder + "/bank.sf2");
    EXPECT_EQ(read_file(out), c.error.empty() ? written : bytes_of(c.error));
    std::filesystem::remove_all(folder);
    std::filesystem::remove(out);
    if (!c.error.empty())
        return;
    const SoundFont bank = read_soundfont(written);
    EXPECT_EQ(bank.faults, std::vector<std::string>{});
    EXPECT_EQ(bank.info.at("INAM"), file.path().substr(file.path().rfind('/') + 1));
    expect_plays_as_the_module(*state, bank);
    for (const std::string& part : c.expected)
        EXPECT_NE(bank.listing.find(part), std::string::npos) << part << "\n" << bank.listing;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Banks,
    ::testing::Values(
        BankCase{"ping-pong loop, repeated to 32 points", it_module({it_sample("pp", 40, 0x50, 10, 20)}),
                 {"pp 0:0\n", "pp: { 54=1 53=0 }\n", "01 pp: 0 66 10 46 8363 0 1\n"}},
        BankCase{"ping-pong loops of 2 and 1 frames at the start, moved a turn later, their first points after them",
                 it_module({it_sample("two", 2, 0x50, 0, 2), it_sample("one", 20, 0x50, 3, 4)}),
                 {"01 two: 0 72 32 64", "02 one: 118 201 153 185"}},
        BankCase{"loop at the end, and a short sample without a loop",
                 it_module({it_sample("end", 50, 0x10, 45, 50), it_sample("short", 5, 0, 0, 0)}),
                 {"01 end: 0 88 45 80", "02 short: 134 182 134 134", "short: { 53=1 }"}},
        BankCase{"16-bit stereo: the sustain loop, halves linked and named, a bad byte and a long name",
                 it_module({it_sample("stereo\x01 sample with a long name", 64, 0x02 | 0x04 | 0x10 | 0x20, 16, 48)}),
                 {"{ 17=-500 54=3 53=0 } { 17=500 54=3 53=1 }", "01 stereo_ sample L: 0 64 16 48 8363 1 4",
                  "01 stereo_ sample R: 110 174 126 158 8363 0 2"}},
        BankCase{"transposed keys, without an envelope, a name or a fade",
                 it_module({it_sample("keys", 64, 0, 0, 0)}, {{0, 0}, {1, 12}, {1, -1}}),
                 {"Instrument 1 0:0\n", "Instrument 1: { 38=7973 } { 43=1-1 51=12 53=0 } { 43=2-2 51=-1 53=0 }\n"}},
        BankCase{"relative notes at their limits, volume envelopes", xm_instruments(),
                 {"low: { 43=12-59 51=-1 52=49 53=0 } { 43=60-107 53=1 }\n", "01 low: 0 48 0 0 5 0 1",
                  "02 high: 94 142 94 94 13587912 0 1", "held: { 34=-2786 36=2078 37=120 38=-3173 } { 43=12-107 53=2 }",
                  "fall: { 36=-3173 37=1440 38=7973 }"}},
        BankCase{"130 samples, one instrument each",
                 it_module(std::vector<build::ItSample>(130, it_sample("s", 8, 0, 0, 0))), {"s 1:1\n"}},
        BankCase{"255 instruments, each key a stereo sample of its own: past the index limit",
                 it_module(std::vector<build::ItSample>(120, it_sample("one", 1, 0x04, 0, 0)), keys_of_their_own(),
                           255),
                 {}, "Too many zones or generators for one SoundFont bank (at most 65535 of each).\n"}));

// The program writes the bank of an example into folders it makes, and
// prints nothing.
TEST(Banks, OfAnExampleFromTheProgram)
{
    const std::string folder = "/tmp/trk2inst-bank-" + std::to_string(::getpid());
    const RunResult run = run_binary({"=A", EXAMPLES_DIR "/demo.it", "f" + folder + "/new/demo.sf2"});
    const std::string version = text_of(run_binary({"--version"}).out);
    EXPECT_EQ(std::tie(run.status, run.err, run.out), std::tuple(0, "", Bytes{}));
    const SoundFont bank = read_soundfont(read_file(folder + "/new/demo.sf2"));
    std::filesystem::remove_all(folder);
    EXPECT_EQ(bank.faults, std::vector<std::string>{});
    const std::map<std::string, std::string> info{
        {"ifil", "2.01"}, {"isng", "EMU8000"}, {"INAM", "demo.it"}, {"ISFT", version.substr(0, version.size() - 1)}};
    EXPECT_EQ(bank.info, info);
}

}  // namespace
}  // namespace trk2inst::test
