// "=A" on modules as real trackers wrote them: one module of each quirk, its
// listing, a record, the source sample and its JSON, from a file and a pipe.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ItSample;
using build::XmInstrument;
using build::XmSample;

constexpr std::array<std::int8_t, 16> steps{0, 1, 2, 3, 4, 5, 6, 7, -1, -2, -3, -4, -5, -6, -7, -8};

// A listing entry as "i" prints it.
std::string entry(int slot, const char* name, int length, const char* pitch, int volume, char loop)
{
    char text[128];
    std::snprintf(text, sizeof text, "[%02d] %s\n  Len: %5d   Finetune: %s   Vol: %3d   Loop: %c\n", slot, name,
                  length, pitch, volume, loop);
    return text;
}

std::string head(const char* format, int channels, int patterns)
{
    return std::string("Format: ") + format + "\nChannels: " + std::to_string(channels) +
           "\nPatterns: " + std::to_string(patterns) + "\n\n";
}

// A record: 11 header bytes, then the data.
Bytes record(std::initializer_list<std::uint8_t> fields, const Bytes& data)
{
    Bytes out(fields);
    build::append(out, data);
    return out;
}

// 8-bit values as a WAV file holds them.
Bytes wav8(const Bytes& values)
{
    Bytes out;
    for (std::uint8_t value : values)
        out.push_back(static_cast<std::uint8_t>(value ^ 0x80));
    return out;
}

Bytes wav8(std::initializer_list<int> values)
{
    Bytes bytes;
    for (int value : values)
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    return wav8(bytes);
}

std::string source(int channels, int frames, int rate, const char* loops, const char* compression, bool converted)
{
    return "\"source\": {\"bits\": 8, \"channels\": " + std::to_string(channels) + ", \"frames\": " +
           std::to_string(frames) + ", \"rate\": " + std::to_string(rate) + ", \"loops\": [" + loops +
           "], \"compression\": " + compression + ", \"converted\": " + (converted ? "true" : "false") + "}";
}

XmSample xm_sample(const char* name, Bytes data, std::uint8_t type = 0)
{
    XmSample s;
    s.name = name;
    s.length = static_cast<std::uint32_t>(data.size());
    s.type = type;
    s.data = std::move(data);
    return s;
}

Bytes xm(std::vector<std::vector<XmSample>> instruments, std::uint16_t version = 0x0104,
         std::optional<std::uint32_t> header_size_field = {})
{
    build::XmSpec layout;
    layout.version = version;
    layout.header_size_field = header_size_field;
    layout.patterns = {{9, 64, Bytes(10, 0x80)}};
    for (auto& samples : instruments) {
        XmInstrument instrument;
        instrument.samples = std::move(samples);
        layout.instruments.push_back(std::move(instrument));
    }
    return build::build_xm(layout);
}

Bytes with_loop(XmSample s, std::uint32_t start, std::uint32_t length)
{
    s.loop_start = start;
    s.loop_length = length;
    return xm({{s}});
}

Bytes xm_ogg()
{
    const Bytes stream{0x10, 0, 0, 0, 'O', 'g', 'g', 'S', 1, 2, 3, 4};
    return xm({{xm_sample("ogg", stream), xm_sample("plain", {5, 1}), xm_sample("ogg too", Bytes(stream.begin(), stream.begin() + 8))}});
}

Bytes xm_adpcm_1_03()
{
    XmSample packed = xm_sample("packed", build::adpcm_pack(steps, {1, 2, 3, 15, 8}));
    packed.length = 5;
    packed.reserved = 0xAD;
    return xm({{packed, xm_sample("after", {3, 1})}}, 0x0103);
}

Bytes xm_stereo()
{
    XmSample both = xm_sample("stereo", {10, 2, 2, 2, 20, 2, 2, 2, 0x55}, 0x21);
    both.loop_length = 8;
    return xm({{both, xm_sample("after", {1, 1})}});
}

build::ModSpec mod(std::string tag, std::vector<build::ModSample> samples)
{
    build::ModSpec layout;
    layout.tag = std::move(tag);
    layout.samples = std::move(samples);
    return layout;
}

Bytes mod_adpcm()
{
    return build::build_mod(mod("M.K.", {{"packed", 4, 0, 64, 0, 1, build::mod_adpcm_data(steps, {1, 1, 1, 1, 15, 8, 0, 2})},
                                         {"plain", 1, 0, 64, 0, 1, Bytes{9, 8}}}));
}

Bytes mod_wow()
{
    build::ModSpec layout = mod("M.K.", {{"669", 4, 0, 64, 0, 1, Bytes{1, 2, 3, 4, 5, 6, 7, 8}}});
    layout.restart = 0;
    layout.channels = 8;
    return build::build_mod(layout);
}

Bytes s3m_adpcm_cut()
{
    build::S3mInstrument packed;
    packed.file_name = "PACKED.SMP";
    packed.length = 7;
    packed.pack = 4;
    packed.data = build::adpcm_pack(steps, {1, 2, 3, 4, 5, 6, 7});
    build::S3mSpec layout;
    layout.instruments = {packed};
    Bytes module = build::build_s3m(layout);
    module.erase(module.end() - 2, module.end());
    return module;
}

ItSample it_sample(std::uint8_t flags, std::uint8_t convert, Bytes data)
{
    ItSample s;
    s.name = "it sample";
    s.flags = flags;
    s.convert = convert;
    s.length = static_cast<std::uint32_t>(data.size());
    s.data = std::move(data);
    return s;
}

Bytes it(std::vector<ItSample> samples)
{
    build::ItSpec layout;
    layout.samples = std::move(samples);
    return build::build_it(layout);
}

Bytes noiserunner()
{
    build::NruSpec layout;
    layout.samples = {{40, 4, 2, 2, -72, Bytes{1, 2, 3, 4, 5, 6, 7, 8}}, {64, 28, 0, 1, 0, std::nullopt}};
    return build::build_noiserunner(layout);
}

Bytes unic()
{
    build::UnicSpec layout;
    layout.tag = "UNIC";
    layout.samples = {{"bell", -1, 128, 50, 0, 0, build::filler(256, 1)}};
    for (unsigned i = 0; i < 16; ++i)
        build::append(layout.pattern_data, build::unic_cell(1 + i, 1, 0, 0));
    build::fit_to(layout.pattern_data, 768);
    return build::build_unic(layout);
}

const char* const not_decoded =
    "Warning: samples 1, 3 are stored in a form that is not decoded (Ogg Vorbis, a file outside the module, FM "
    "registers); they have no data.\n";

struct QuirkCase {
    const char* what;
    Bytes module;
    std::string listing;  // all of "i"
    std::string err;
    int slot;
    Bytes record;
    Bytes wav_data;                  // of "s"
    std::vector<std::string> json;   // found in "j"
};

void PrintTo(const QuirkCase& c, std::ostream* os)
{
    *os << c.what;
}

class RealFiles : public ::testing::TestWithParam<QuirkCase> {};

TEST_P(RealFiles, ReadAsTheirTrackersWroteThem)
{
    const QuirkCase& c = GetParam();
    const RunResult listing = run_both({"i"}, c.module);
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(text_of(listing.out), c.listing);
    EXPECT_EQ(listing.err, c.err);
    EXPECT_EQ(run_both({numbered("o", c.slot)}, c.module).out, c.record);
    const RunResult source = run_both({numbered("s", c.slot), "j"}, c.module);
    const std::string out = text_of(source.out);
    const std::size_t json_at = out.find("{\"format\"");
    ASSERT_NE(json_at, std::string::npos);
    const Bytes wav(source.out.begin(), source.out.begin() + static_cast<std::ptrdiff_t>(json_at));
    for (const auto& [tag, payload] : riff_chunks(wav)) {
        if (tag == "data") {
            EXPECT_EQ(payload, c.wav_data);
        }
    }
    for (const std::string& fragment : c.json)
        EXPECT_NE(out.find(fragment, json_at), std::string::npos) << fragment << "\n" << out.substr(json_at);
}

const char* const no_loop = "";
const char* const plain = "null";
const char* const adpcm = "\"adpcm\"";

INSTANTIATE_TEST_SUITE_P(
    Cases, RealFiles,
    ::testing::Values(
        // Headers 40 bytes apart whatever the field says.
        QuirkCase{"XM sample header size 0", xm({{xm_sample("one", {1, 1, 1, 1}), xm_sample("two", {10, 1, 1, 1, 1, 1})}}, 0x0104, 0),
                  head("EXT.", 8, 1) + entry(1, "one", 2, "C.5+0", 64, 'N') + entry(2, "two", 3, "C.5+0", 64, 'N'), "", 2,
                  record({0x0A, 0, 3, 0, 0, 0, 0, 1, 0x40, 0, 0}, {10, 11, 12, 13, 14, 15}), wav8({10, 11, 12, 13, 14, 15}),
                  {source(1, 6, 8363, no_loop, plain, false)}},
        // Instruments first, then 8-byte pattern headers, then the data in slot order.
        QuirkCase{"XM version 1.02", xm({{xm_sample("first", {1, 1, 1, 1})}, {xm_sample("second", {7, 1, 1, 1})}}, 0x0102),
                  head("EXT.", 8, 1) + entry(1, "first", 2, "C.5+0", 64, 'N') + entry(2, "second", 2, "C.5+0", 64, 'N'), "", 2,
                  record({0x0A, 0, 2, 0, 0, 0, 0, 1, 0x40, 0, 0}, {7, 8, 9, 10}), wav8({7, 8, 9, 10}),
                  {source(1, 4, 8363, no_loop, plain, false)}},
        // 1, 1+2, 3+3, 6-8, -2-1: five values in 16 + 3 bytes; the record drops the odd one.
        QuirkCase{"XM version 1.03 with ADPCM", xm_adpcm_1_03(),
                  head("EXT.", 8, 1) + entry(1, "packed", 2, "C.5+0", 64, 'N') + entry(2, "after", 1, "C.5+0", 64, 'N'), "", 1,
                  record({0x0A, 0, 2, 0, 0, 0, 0, 1, 0x40, 0, 0}, {1, 3, 6, 0xFE}), wav8({1, 3, 6, -2, -3}),
                  {source(1, 5, 8363, no_loop, adpcm, true)}},
        // Ping-pong: no loop in the record, and an odd one keeps the bytes as they stand.
        QuirkCase{"XM type 3", with_loop(xm_sample("bidi", Bytes(8, 1), 3), 1, 5),
                  head("EXT.", 8, 1) + entry(1, "bidi", 4, "C.5+0", 64, 'N'), "", 1,
                  record({0x0A, 0, 4, 0, 0, 0, 0, 1, 0x40, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8}), wav8({1, 2, 3, 4, 5, 6, 7, 8}),
                  {source(1, 8, 8363, R"({"kind": "ping-pong", "sustain": false, "start": 1, "end": 5})", plain, false)}},
        // Left 10..16 and right 20..26 in steps of 2, each summed from 0; the ninth byte is neither's.
        QuirkCase{"XM stereo", xm_stereo(),
                  head("EXT.", 8, 1) + entry(1, "stereo", 2, "C.5+0", 64, 'Y') + entry(2, "after", 1, "C.5+0", 64, 'N'), "", 1,
                  record({0x0A, 0, 2, 0, 0, 0, 0, 2, 0x40, 0, 0}, {15, 17, 19, 21}), wav8({10, 20, 12, 22, 14, 24, 16, 26}),
                  {source(2, 4, 8363, R"({"kind": "forward", "sustain": false, "start": 0, "end": 3})", plain, true)}},
        QuirkCase{"XM Ogg Vorbis", xm_ogg(), head("EXT.", 8, 1) + entry(2, "plain", 1, "C.5+0", 64, 'N'), not_decoded, 1,
                  record({0x0A, 0, 0, 0, 0, 0, 0, 1, 0x40, 0, 0}, {}), {}, {}},
        QuirkCase{"MOD ADPCM", mod_adpcm(),
                  head("M.K.", 4, 1) + entry(1, "packed", 4, "C.5+0", 64, 'N') + entry(2, "plain", 1, "C.5+0", 64, 'N') +
                      "\nExpected length: 2118\n", "", 1,
                  record({0x0A, 0, 4, 0, 0, 0, 0, 1, 0x40, 0, 0}, {1, 2, 3, 4, 0xFC, 0xFB, 0xFB, 0xFD}),
                  wav8({1, 2, 3, 4, -4, -5, -5, -3}), {source(1, 8, 8363, no_loop, adpcm, false)}},
        // Cut two bytes short: four of the seven values, the rest zeros; unsigned data do not apply.
        QuirkCase{"S3M ADPCM cut off", s3m_adpcm_cut(), head("SCRM", 32, 1) + entry(1, "PACKED.SMP", 3, "C.5+0", 64, 'N'),
                  "Warning: the module ends inside the data of slot 1; what is missing reads as zeros.\n", 1,
                  record({0x0A, 0, 3, 0, 0, 0, 0, 1, 0x40, 0, 0}, {1, 3, 6, 10, 0, 0}), wav8({1, 3, 6, 10}),
                  {source(1, 4, 8363, no_loop, adpcm, true)}},
        QuirkCase{"IT outside file and FM registers",
                  it({it_sample(0x01, 0x80, {3, 'a', 'b', 'c'}), it_sample(0x01, 0x01, {1, 2}),
                      it_sample(0x01, 0x40, Bytes(12, 0x20))}),
                  head("IMPM", 64, 0) + entry(2, "it sample", 1, "C.5+0", 64, 'N'), not_decoded, 3,
                  record({0x0A, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0}, {}), {}, {}},
        QuirkCase{"IT without the present flag, not by Impulse Tracker", it({it_sample(0x00, 0x01, {1, 2, 3, 4})}),
                  head("IMPM", 64, 0) + entry(1, "it sample", 2, "C.5+0", 64, 'N'), "", 1,
                  record({0x0A, 0, 2, 0, 0, 0, 0, 1, 0x40, 0, 0}, {1, 2, 3, 4}), wav8({1, 2, 3, 4}),
                  {source(1, 4, 8363, no_loop, plain, false)}},
        QuirkCase{"WOW", mod_wow(), head("WOW!", 8, 1) + entry(1, "669", 4, "C.5+0", 64, 'N') + "\nExpected length: 3140\n", "",
                  1, record({0x0A, 0, 4, 0, 0, 0, 0, 1, 0x40, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8}), wav8({1, 2, 3, 4, 5, 6, 7, 8}),
                  {source(1, 8, 8363, no_loop, plain, false)}},
        // f = -8: half a semitone up for the source; the record keeps the byte.
        QuirkCase{"His Master's NoiseTracker", build::build_mod(mod("M&K!", {{"tuned", 4, 0xF8, 64, 0, 1, Bytes(8, 0)}})),
                  head("M&K!", 4, 1) + entry(1, "tuned", 4, "C.5-8", 64, 'N') + "\nExpected length: 2116\n", "", 1,
                  record({0x0A, 0, 4, 0xF8, 0, 0, 0, 1, 0x40, 0, 0}, Bytes(8, 0)), wav8({0, 0, 0, 0, 0, 0, 0, 0}),
                  {source(1, 8, 8608, no_loop, plain, false), "\"tune\": 0,"}},
        // Finetune -72 is ProTracker's 1; the loop two bytes into the sample.
        QuirkCase{"NoiseRunner", noiserunner(),
                  head("NRU ", 4, 1) + entry(1, "", 4, "C.5+1", 40, 'Y') + entry(2, "", 28, "C.5+0", 64, 'N') +
                      "\nExpected length: 2172\n", "", 1,
                  record({0x0A, 0, 4, 1, 0, 1, 0, 2, 0x28, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8}), wav8({1, 2, 3, 4, 5, 6, 7, 8}),
                  {source(1, 8, 8424, R"({"kind": "forward", "sustain": false, "start": 2, "end": 5})", plain, false)}},
        QuirkCase{"UNIC Tracker", unic(), head("UNIC", 4, 1) + entry(1, "bell", 128, "C.5+1", 50, 'N') + "\nExpected length: 2108\n",
                  "", 1, record({0x0A, 0, 128, 1, 0, 0, 0, 0, 0x32, 0, 0}, build::filler(256, 1)), wav8(build::filler(256, 1)),
                  {source(1, 256, 8424, no_loop, plain, false)}}));

// Past the record table the values are decoded again when they are written
// (from a file) or kept (from a pipe), each coding as the reader decodes it.
TEST(RealFiles, SamplesPastTheRecordTableKeepTheirCoding)
{
    std::vector<XmSample> samples(99, xm_sample("plain", {1}));
    samples.push_back(xm_sample("stereo", {10, 2, 20, 2}, 0x20));
    XmSample packed = xm_sample("packed", build::adpcm_pack(steps, {1, 2, 3}));
    packed.length = 3;
    packed.reserved = 0xAD;
    samples.push_back(packed);
    build::S3mSpec s3m;
    s3m.instruments.resize(100);
    s3m.instruments.back().length = 3;
    s3m.instruments.back().pack = 4;
    s3m.instruments.back().data = build::adpcm_pack(steps, {1, 2, 3});
    const std::vector<std::tuple<Bytes, int, std::uint16_t, Bytes>> cases{
        {xm({samples}), 100, 2, wav8({10, 20, 12, 22})},
        {xm({samples}), 101, 1, wav8({1, 3, 6})},
        {build::build_s3m(s3m), 100, 1, wav8({1, 3, 6})},
    };
    for (const auto& [module, slot, channels, data] : cases) {
        const RunResult result = run_both({numbered("s", slot)}, module);
        EXPECT_EQ(result.err, "");
        for (const auto& [tag, payload] : riff_chunks(result.out)) {
            if (tag == "fmt ") {
                EXPECT_EQ(payload[2], channels) << slot;
            } else if (tag == "data") {
                EXPECT_EQ(payload, data) << slot;
            }
        }
    }
}

// One field away from a quirk, a module reads as it always did.
TEST(RealFiles, NearMissesReadAsToday)
{
    const auto patched = [](Bytes module, std::size_t at, std::uint8_t value) {
        module.at(at) = value;
        return module;
    };
    Bytes wow_longer = mod_wow();
    wow_longer.push_back(0);
    Bytes wow_shorter = mod_wow();
    wow_shorter.erase(wow_shorter.end() - 2, wow_shorter.end());
    XmSample wide = xm_sample("wide", Bytes(8, 0), 0x10);
    wide.reserved = 0xAD;
    build::S3mSpec s3m;
    s3m.instruments.resize(1);
    s3m.instruments[0].length = 4;
    s3m.instruments[0].pack = 4;
    s3m.instruments[0].flags = 2;  // stereo
    const std::vector<std::pair<Bytes, std::string>> cases{
        {patched(unic(), 21, 0x1F), "Unexpected format tag: UNIC"},       // a control byte in a name
        {patched(unic(), 22, 0xE9), "Unexpected format tag: UNIC"},       // a byte above 0x7F
        {patched(unic(), 1084 + 45, 0), "Unexpected format tag: UNIC"},  // 15 notes
        {patched(mod_wow(), 45, 63), "Format: M.K.\nChannels: 4\n"},     // a volume of 63
        {wow_longer, "Format: WOW!\n"},                                   // an odd last byte
        {wow_shorter, "Format: M.K.\n"},
        {patched(noiserunner(), 1087, 1), "Format: M.K.\n"},             // a cell's sample byte
        {xm({{wide}}), "\"bits\": 16"},                                   // ADPCM is 8-bit mono
        {build::build_s3m(s3m), "\"channels\": 2"},
    };
    for (const auto& [module, expected] : cases) {
        const RunResult result = run_both({"i", "j"}, module);
        EXPECT_NE((text_of(result.out) + result.err).find(expected), std::string::npos) << expected;
    }
}

}  // namespace
}  // namespace trk2inst::test
