// "f": banks read back by the tests' SoundFont reader against the model that
// "j" prints, each sample played as the module plays the values of "s".
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "driver/command_line.h"
#include "output/sampler_instrument.h"
#include "readers/source_sample.h"
#include "soundfont_reader.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

// A channel of the values of "s", as 16-bit points.
std::vector<int> source_points(RunState& state, std::size_t index, int channel)
{
    std::vector<std::uint8_t> scratch;
    const SourceShape shape = source_shape(state, index);
    const SourceData data = source_data(state, index, scratch);
    const auto width = static_cast<std::size_t>(shape.bits / 8);
    const std::size_t stride = data.signed_bytes ? 1 : width * static_cast<std::size_t>(shape.channels);
    std::vector<int> points;
    for (std::size_t at = data.signed_bytes ? 0 : width * std::size_t(channel); at + width <= data.bytes.size(); at += stride)
        points.push_back(width == 2 ? std::int16_t(data.bytes[at] | data.bytes[at + 1] << 8)
                                    : 256 * std::int8_t(data.bytes[at] ^ (data.signed_bytes ? 0 : 0x80)));
    return points;
}

// The first n points played: the module's values, a ping-pong loop turning at
// its ends; the bank's points, its loop played over and over.
std::vector<int> module_plays(const std::vector<int>& values, const SourceLoop* loop, std::size_t n)
{
    std::vector<int> out;
    for (std::int64_t at = 0, step = 1; out.size() < n && at < std::int64_t(values.size()); at += step) {
        out.push_back(values[std::size_t(at)]);
        if (loop != nullptr && step > 0 && at == loop->end - 1)
            loop->ping_pong && at > loop->start ? void(step = -1) : void(at = loop->start - 1);
        else if (loop != nullptr && step < 0 && at == loop->start)
            step = 1;
    }
    return out;
}

std::vector<int> bank_plays(const SoundFont& bank, const SfSample& sample, std::size_t n)
{
    std::vector<int> out;
    for (std::uint32_t at = sample.start; out.size() < n && at < sample.end; ++at) {
        out.push_back(bank.points[at]);
        if (at + 1 == sample.loop_end && sample.loop_end > sample.loop_start)
            at = sample.loop_start - 1;
    }
    return out;
}

// Each sample header (named for its sample, a channel each) plays what the
// module plays, then silence.
void expect_plays_as_the_module(RunState& state, const SoundFont& bank)
{
    for (const SfSample& sample : bank.samples) {
        const auto index = static_cast<std::size_t>(std::stoi(sample.name) - 1);
        const std::vector<int> values = source_points(state, index, sample.type == 2 ? 1 : 0);
        const SourceLoop* loop = played_loop(source_shape(state, index));
        const std::size_t n = values.size() + (loop ? 3 * std::size_t(loop->end - loop->start) + 64 : 0);
        std::vector<int> heard = bank_plays(bank, sample, n);
        const std::vector<int> played = module_plays(values, loop, n);
        ASSERT_GE(heard.size(), played.size()) << sample.name;
        EXPECT_EQ(std::count(heard.begin() + std::ptrdiff_t(played.size()), heard.end(), 0),
                  std::ptrdiff_t(heard.size() - played.size()));
        heard.resize(played.size());
        EXPECT_EQ(heard, played) << sample.name;
        EXPECT_EQ(sample.rate, source_shape(state, index).rate);
    }
}

// Frames of values that differ, in 8 or 16 bits (flag 0x02), mono or stereo
// (0x04); a loop (0x10, ping-pong 0x40) and a sustain loop (0x20) alike.
build::ItSample it_sample(const char* name, std::uint32_t frames, std::uint8_t flags, std::uint32_t begin, std::uint32_t end)
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

Bytes it_module(std::vector<build::ItSample> samples, std::vector<build::ItInstrument> instruments = {})
{
    build::ItSpec layout;
    layout.samples = std::move(samples);
    layout.instruments = std::move(instruments);
    return build::build_it(layout);
}

// Key 60 plays note 72, key 61 note 0, at volume 32 and the instrument's pan.
Bytes it_transposed_keys()
{
    build::ItInstrument instrument;
    instrument.notes = std::array<std::uint8_t, 120>{};
    (*instrument.notes)[60] = 72;
    instrument.samples[60] = instrument.samples[61] = 1;
    instrument.default_pan = 0;
    build::ItSample sample = it_sample("keys", 64, 0, 0, 0);
    sample.volume = 32;
    return it_module({sample}, {instrument});
}

// Every key a stereo sample of its own, in 255 instruments.
Bytes it_past_the_index_limit()
{
    build::ItInstrument instrument;
    for (std::size_t key = 0; key < 120; ++key)
        instrument.samples[key] = std::uint8_t(key + 1);
    return it_module(std::vector<build::ItSample>(120, it_sample("one", 1, 0x04, 0, 0)),
                     std::vector<build::ItInstrument>(255, instrument));
}

build::XmInstrument xm_instrument(const char* name, std::int8_t relative_note = 0, std::int8_t finetune = 0)
{
    build::XmSample sample;
    sample.name = name;
    sample.length = 16;
    sample.relative_note = relative_note;
    sample.finetune = finetune;
    return {name, {}, {}, 40, {sample}};
}

// Relative notes and finetunes at their limits; an envelope up to its peak at
// its second point, then down to its sustain point; one that falls to
// silence at its last point.
Bytes xm_instruments()
{
    build::XmInstrument limits = xm_instrument("low", -128, -128), held = xm_instrument("held"), fall = xm_instrument("fall");
    limits.samples.push_back(xm_instrument("high", 127, 127).samples[0]);
    std::fill(limits.keys.begin() + 48, limits.keys.end(), std::uint8_t{1});
    held.volume_points = {{0, 32}, {10, 64}, {30, 16}};
    held.volume_sustain = 2;
    held.volume_type = 0x03;
    held.fadeout = 4096;
    fall.volume_points = {{0, 64}, {8, 0}};
    fall.volume_type = 0x01;
    build::XmSpec layout;
    layout.instruments = {limits, held, fall};
    return build::build_xm(layout);
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

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes contents(std::FILE* file)
{
    Bytes bytes(static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    return Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(std::fread(bytes.data(), 1, bytes.size(), file)));
}

// "f-" and "fFILE" in one run, whose state then gives the model.
TEST_P(Banks, ReadBackAsTheModulePlays)
{
    const BankCase& c = GetParam();
    const TempFile file(c.module);
    auto state = std::make_unique<RunState>();
    const std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile()), err(std::tmpfile());
    state->out = out.get();
    state->err = err.get();
    const std::string target = file.path() + ".sf2", command = "f" + target;
    const char* args[] = {"=A", file.path().c_str(), "f-", command.c_str()};
    EXPECT_EQ(run_command_line(*state, args), c.error.empty() ? 0 : 1);
    EXPECT_EQ(text_of(contents(err.get())), c.error);
    const Bytes written = read_file(target);
    ::unlink(target.c_str());
    EXPECT_EQ(contents(out.get()), c.error.empty() ? written : Bytes{});
    if (!c.error.empty())
        return;
    const SoundFont bank = read_soundfont(written);
    EXPECT_EQ(bank.faults, std::vector<std::string>{});
    expect_plays_as_the_module(*state, bank);
    for (const std::string& part : c.expected)
        EXPECT_NE(bank.listing.find(part), std::string::npos) << part << "\n" << bank.listing;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Banks,
    ::testing::Values(
        BankCase{"ping-pong loop, repeated to 32 points", it_module({it_sample("pp", 40, 0x50, 10, 20)}),
                 {"pp 0:0\n", "pp: { 54=1 53=0 }\n", "01 pp: 0 66 10 46 8363 0 1\n"}},
        BankCase{"2-frame ping-pong loop: a turn later, its first points after it",
                 it_module({it_sample("two", 2, 0x50, 0, 2)}), {"01 two: 0 72 32 64"}},
        BankCase{"1-frame ping-pong loop near the start", it_module({it_sample("one", 20, 0x50, 3, 4)}),
                 {"01 one: 0 83 35 67"}},
        BankCase{"loop at the end, and a short sample without a loop",
                 it_module({it_sample("end", 50, 0x10, 45, 50), it_sample("short", 5, 0, 0, 0)}),
                 {"01 end: 0 88 45 80", "02 short: 134 182 134 134", "short: { 53=1 }"}},
        BankCase{"16-bit stereo: the sustain loop, halves linked and named, a bad byte and a long name",
                 it_module({it_sample("stereo\x01 sample with a long name", 64, 0x02 | 0x04 | 0x10 | 0x20, 16, 48)}),
                 {"{ 17=-500 54=3 53=0 } { 17=500 54=3 53=1 }", "01 stereo_ sample L: 0 64 16 48 8363 1 4",
                  "01 stereo_ sample R: 110 174 126 158 8363 0 2"}},
        BankCase{"transposed keys; no envelope, no fade; no name", it_transposed_keys(),
                 {"Instrument 1 0:0\n", "Instrument 1: { 38=7973 } { 43=60-60 51=12 48=151 17=-500 53=0 } "
                                         "{ 43=61-61 51=-61 48=151 17=-500 53=0 }\n"}},
        BankCase{"relative notes at their limits, volume envelopes", xm_instruments(),
                 {"low: { 43=12-59 51=-1 52=49 53=0 } { 43=60-107 53=1 }\n", "01 low: 0 48 0 0 5 0 1",
                  "02 high: 94 142 94 94 13587912 0 1", "held: { 34=-2786 36=2078 37=120 38=-3173 } { 43=12-107 53=2 }",
                  "fall: { 36=-3173 37=1440 38=7973 }"}},
        BankCase{"130 samples, one instrument each", it_module(std::vector<build::ItSample>(130, it_sample("s", 8, 0, 0, 0))),
                 {"s 1:1\n"}},
        BankCase{"past the index limit", it_past_the_index_limit(), {},
                 "Too many zones or generators for one SoundFont bank (at most 65535 of each).\n"}));

// The examples' banks, as the program writes them into folders it makes.
std::string example_bank(const std::string& name)
{
    const std::string path = "/tmp/trk2inst-banks-" + std::to_string(::getpid()) + "/new/" + name + ".sf2";
    const RunResult run = run_binary({"=A", std::string(EXAMPLES_DIR) + "/" + name, "f" + path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(run.out.empty());
    return path;
}

const char* const examples[] = {"demo.mod", "demo.xm", "demo.s3m", "demo.it", "demo.med"};

TEST(Banks, OfTheExamplesAreNamedForTheirModuleAndThisProgram)
{
    const std::string version = text_of(run_binary({"--version"}).out);
    for (const std::string name : examples) {
        const SoundFont bank = read_soundfont(read_file(example_bank(name)));
        EXPECT_EQ(bank.faults, std::vector<std::string>{});
        EXPECT_EQ(bank.info, (std::map<std::string, std::string>{
                                 {"ifil", "2.01"}, {"isng", "EMU8000"}, {"INAM", name}, {"ISFT", version.substr(0, version.size() - 1)}}));
    }
}

// FluidSynth loads each without an error or a warning ("No preset found on
// channel" is about the channels it sets up, not the bank).
TEST(Banks, OfTheExamplesLoadInFluidSynth)
{
    if (std::system("command -v fluidsynth >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "FluidSynth is not installed";
    for (const std::string name : examples) {
        const std::string path = example_bank(name);
        std::FILE* pipe = ::popen(("fluidsynth -q -n -i -o synth.default-soundfont= -F " + path + ".wav " + path + " 2>&1").c_str(), "r");
        char line[512];
        while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
            const std::string text = line;
            const bool complaint = text.starts_with("fluidsynth: error") || text.starts_with("fluidsynth: warning") ||
                                   text.starts_with("fluidsynth: panic");
            EXPECT_FALSE(complaint && text.find("No preset found on channel") == std::string::npos) << name << ": " << text;
        }
        ASSERT_NE(pipe, nullptr);
        ::pclose(pipe);
    }
}

}  // namespace
}  // namespace trk2inst::test
