// "s" and "j": a slot's source sample as a WAV file and as the "source" object
// of the JSON listing, from modules built here.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "output/output.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

using Values = std::vector<std::int16_t>;

// The WAV data of the values: 8-bit with the top bit flipped, 16-bit
// little-endian, stereo interleaved.
Bytes wav_data(int bits, const Values& left, const Values& right = {})
{
    Bytes out;
    for (std::size_t i = 0; i < left.size(); ++i) {
        for (const Values* channel : {&left, &right}) {
            if (channel->empty())
                continue;
            const auto word = static_cast<std::uint16_t>((*channel)[i]);
            if (bits == 8)
                build::put_u8(out, (word & 0xFF) ^ 0x80);
            else
                build::put_u16le(out, word);
        }
    }
    return out;
}

struct Loop {
    std::uint32_t type;  // 0 forward, 1 alternating
    std::uint32_t start, end;  // inclusive
};

struct SourceCase {
    const char* what;
    const char* form;
    Bytes module;
    int slot;
    std::uint16_t channels, bits;
    std::uint32_t rate;
    Bytes data;
    std::vector<Loop> loops;
    std::string json;  // the slot's "source" object
};

void PrintTo(const SourceCase& c, std::ostream* os)
{
    *os << c.what;
}

class SourceWav : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SourceWav, IsTheSampleAsTheModuleStoresIt)
{
    const SourceCase& c = GetParam();
    const TempFile file(c.module);
    const RunResult result = run_in_process({c.form, file.path(), "k5", "v3", numbered("s", c.slot), "j"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string json = R"("source": )" + c.json + "}";
    const std::string out = text_of(result.out);
    const std::size_t at = out.find("{\"format\"");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(out.find(json, at), std::string::npos) << out.substr(at);

    std::map<std::string, Bytes> chunks;
    for (auto& [tag, payload] : riff_chunks(Bytes(result.out.begin(), result.out.begin() + static_cast<std::ptrdiff_t>(at))))
        chunks[tag] = payload;
    const std::uint32_t align = c.channels * c.bits / 8u;
    Bytes fmt{1, 0};
    build::put_u16le(fmt, c.channels);
    build::put_u32le(fmt, c.rate);
    build::put_u32le(fmt, c.rate * align);
    build::put_u16le(fmt, align);
    build::put_u16le(fmt, c.bits);
    EXPECT_EQ(chunks["fmt "], fmt);
    EXPECT_EQ(chunks["data"], c.data);
    if (c.loops.empty()) {
        EXPECT_EQ(chunks.count("smpl"), 0u);
        return;
    }
    const Bytes& smpl = chunks["smpl"];
    ASSERT_EQ(smpl.size(), 36 + 24 * c.loops.size());
    EXPECT_EQ(u32le(smpl, 8), (1000000000ull + c.rate / 2) / c.rate);
    EXPECT_EQ(u32le(smpl, 28), c.loops.size());
    for (std::size_t i = 0; i < c.loops.size(); ++i) {
        EXPECT_EQ(u32le(smpl, 40 + 24 * i), c.loops[i].type) << i;
        EXPECT_EQ(u32le(smpl, 44 + 24 * i), c.loops[i].start) << i;
        EXPECT_EQ(u32le(smpl, 48 + 24 * i), c.loops[i].end) << i;
    }
}

constexpr std::uint8_t it_present = 0x01, it_wide = 0x02, it_stereo = 0x04, it_compressed = 0x08,
                       it_loop = 0x10, it_sustain = 0x20, it_sustain_ping_pong = 0x80;

Bytes it_module(std::uint8_t flags, std::uint8_t convert, std::uint32_t length, Bytes data,
                std::uint32_t rate, std::array<std::uint32_t, 4> loops = {})
{
    build::ItSample sample;
    sample.name = "it";
    sample.flags = flags;
    sample.convert = convert;
    sample.length = length;
    sample.data = std::move(data);
    sample.c5speed = rate;
    sample.loop_begin = loops[0];
    sample.loop_end = loops[1];
    sample.sustain_begin = loops[2];
    sample.sustain_end = loops[3];
    build::ItSpec layout;
    layout.samples = {sample};
    return build::build_it(layout);
}

const Values wide_values{1000, -2000, 3, 32767, -32768, 5};
const Values left_values{1, 2, 3, 4}, right_values{-1, -2, -3, -127};
const Values noise{-300, 2000, -32768, 32767, 0, 17, -5, 1234};

// Differences of 16-bit values, little-endian, as an Extended Module stores them.
Bytes xm_deltas(const Values& values)
{
    Bytes out;
    std::uint16_t previous = 0;
    for (std::int16_t value : values) {
        build::put_u16le(out, static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) - previous));
        previous = static_cast<std::uint16_t>(value);
    }
    return out;
}

// Stored as given, with relative note 12.
Bytes xm_module(Bytes data, std::uint8_t type, std::uint32_t loop_start = 0, std::uint32_t loop_length = 0)
{
    build::XmSample sample;
    sample.name = "xm";
    sample.length = static_cast<std::uint32_t>(data.size());
    sample.type = type;
    sample.loop_start = loop_start;
    sample.loop_length = loop_length;
    sample.relative_note = 12;
    sample.data = std::move(data);
    build::XmSpec layout;
    layout.instruments = {{"instrument", std::nullopt, std::nullopt, 40, {sample}}};
    return build::build_xm(layout);
}

// Unsigned 16-bit stereo: the left channel's values, then the right's.
Bytes s3m_module()
{
    build::S3mInstrument instrument;
    instrument.file_name = "S3M";
    instrument.flags = 0x07;  // loop, stereo, 16-bit
    instrument.length = 4;
    instrument.loop_begin = 1;
    instrument.loop_end = 3;
    instrument.c2spd = 0x12345;
    Bytes data;
    for (const Values* channel : {&left_values, &right_values})
        for (std::int16_t value : *channel)
            build::put_u16le(data, static_cast<std::uint16_t>(value) ^ 0x8000u);
    instrument.data = data;
    build::S3mSpec layout;
    layout.instruments = {instrument};
    return build::build_s3m(layout);
}

// A ProTracker sample of 8 words whose data the file cuts after 6 bytes.
Bytes cut_mod()
{
    build::ModSpec layout;
    layout.samples = {{"cut", 8, 0x0F, 64, 1, 6, Bytes{1, 2, 3, 4, 5, 6}}};
    return build::build_mod(layout);
}

Bytes cut(Bytes module, std::size_t drop)
{
    module.erase(module.end() - static_cast<std::ptrdiff_t>(drop), module.end());
    return module;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceWav,
    ::testing::Values(
        SourceCase{"IT 16-bit mono, forward loop and ping-pong sustain loop", "=A",
                   it_module(it_present | it_wide | it_loop | it_sustain | it_sustain_ping_pong, 1, 6,
                             build::it_pcm(wide_values, 16), 44100, {1, 4, 2, 6}),
                   1, 1, 16, 44100, wav_data(16, wide_values), {{0, 1, 3}, {1, 2, 5}},
                   R"({"bits": 16, "channels": 1, "frames": 6, "rate": 44100, "loops": [{"kind": "forward", "sustain": false, "start": 1, "end": 3}, {"kind": "ping-pong", "sustain": true, "start": 2, "end": 5}], "compression": null, "converted": true})"},
        SourceCase{"IT 16-bit stereo compressed (2.15), C5Speed above 16 bits", "=A",
                   it_module(it_present | it_wide | it_stereo | it_compressed, 5, 8,
                             [] { Bytes d = build::it_compress(noise, true, true);
                                  build::append(d, build::it_compress(Values(noise.rbegin(), noise.rend()), true, true));
                                  return d; }(),
                             96000),
                   1, 2, 16, 96000, wav_data(16, noise, Values(noise.rbegin(), noise.rend())), {},
                   R"({"bits": 16, "channels": 2, "frames": 8, "rate": 96000, "loops": [], "compression": "it2.15", "converted": true})"},
        // The file ends after 6 of 10 values: the loop ends there, a loop past it is left out.
        SourceCase{"IT 8-bit cut off", "=A",
                   cut(it_module(it_present | it_loop | it_sustain, 1, 10, build::it_pcm({9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, 8), 8363,
                                 {4, 10, 7, 9}), 4),
                   1, 1, 8, 8363, wav_data(8, {9, 8, 7, 6, 5, 4}), {{0, 4, 5}},
                   R"({"bits": 8, "channels": 1, "frames": 6, "rate": 8363, "loops": [{"kind": "forward", "sustain": false, "start": 4, "end": 5}], "compression": null, "converted": true})"},
        // Half a value at the end is not part of it; the loop in bytes is halved.
        SourceCase{"XM 16-bit ping-pong", "=A",
                   xm_module([] { Bytes d = xm_deltas(noise); d.push_back(0x55); return d; }(), 0x12, 3, 9),
                   1, 1, 16, 16726,
                   wav_data(16, noise), {{1, 1, 4}},
                   R"({"bits": 16, "channels": 1, "frames": 8, "rate": 16726, "loops": [{"kind": "ping-pong", "sustain": false, "start": 1, "end": 4}], "compression": null, "converted": true})"},
        // The record drops the odd last byte; the source keeps it.
        SourceCase{"XM 8-bit, odd length", "=A", xm_module({1, 1, 1, 1, 0xFE}, 0), 1, 1, 8, 16726,
                   wav_data(8, {1, 2, 3, 4, 2}), {},
                   R"({"bits": 8, "channels": 1, "frames": 5, "rate": 16726, "loops": [], "compression": null, "converted": true})"},
        SourceCase{"S3M 16-bit stereo unsigned, C2Spd above 16 bits", "=A", s3m_module(), 1, 2, 16, 0x12345,
                   wav_data(16, left_values, right_values), {{0, 1, 2}},
                   R"({"bits": 16, "channels": 2, "frames": 4, "rate": 74565, "loops": [{"kind": "forward", "sustain": false, "start": 1, "end": 2}], "compression": null, "converted": true})"},
        SourceCase{"ProTracker cut off, as stored", "=A", cut_mod(), 1, 1, 8, 8303,
                   wav_data(8, {1, 2, 3, 4, 5, 6}), {{0, 2, 5}},
                   R"({"bits": 8, "channels": 1, "frames": 6, "rate": 8303, "loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 5}], "compression": null, "converted": true})"},
        SourceCase{"ProTracker cut off, other forms: the record's data", "=M", cut_mod(), 1, 1, 8, 8303,
                   wav_data(8, {1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), {{0, 2, 13}},
                   R"({"bits": 8, "channels": 1, "frames": 16, "rate": 8303, "loops": [{"kind": "forward", "sustain": false, "start": 2, "end": 13}], "compression": null, "converted": false})"}));

// "j" gives the record's 16-bit fields as the record holds them, where a
// field went negative or past 16 bits before the record took its low bits:
// a Scream Tracker 3 loop that ends before it begins, an Extended Module loop
// that starts 65,536 words in.
TEST(SourceJson, RecordFieldsAreTheNumbersTheRecordHolds)
{
    build::S3mInstrument backwards;
    backwards.file_name = "BACKWARDS";
    backwards.length = 2000;
    backwards.loop_begin = 1000;
    backwards.loop_end = 600;
    backwards.flags = 0x01;
    build::S3mSpec s3m;
    s3m.instruments = {backwards};
    const Bytes s3m_bytes = build::build_s3m(s3m);
    const Bytes xm_bytes = xm_module(Bytes(16, 1), 0x01, 0x20000, 4);
    for (const auto& [form, module] : {std::pair{"=S", &s3m_bytes}, std::pair{"=A", &s3m_bytes}, std::pair{"=M", &xm_bytes}}) {
        const TempFile file(*module);
        const RunResult result = run_in_process({form, file.path(), "o1", "j"});
        ASSERT_EQ(result.status, 0) << result.err;
        const Bytes& out = result.out;
        ASSERT_GE(out.size(), 11u);
        const auto u16 = [&out](std::size_t at) { return std::to_string(unsigned{out[at]} << 8 | out[at + 1]); };
        const std::string fields =
            "\"length\": " + u16(1) + ", \"loop_start\": " + u16(4) + ", \"loop_length\": " + u16(6) + ",";
        EXPECT_NE(text_of(out).find(fields, 11), std::string::npos) << form << ": " << fields;
    }
}

// A slot without data gives what "w" gives it with no key offset.
TEST(SourceWav, ASlotWithoutDataIsWhatWWrites)
{
    const TempFile file(cut_mod());
    const RunResult source = run_in_process({"=A", file.path(), "k7", "s2"});
    const RunResult plain = run_in_process({"=A", file.path(), "w2"});
    EXPECT_EQ(source.out, plain.out);
    EXPECT_EQ(run_in_process({"=M", file.path(), "s100"}).err, "Invalid instrument number: 100\n");
}

// Three Scream Tracker 3 samples share one block of data: the values kept stay
// within the file's size, the others are decoded again when written.
TEST(SourceWav, ValuesBeyondTheInputAreDecodedAgain)
{
    build::S3mInstrument instrument;
    instrument.file_name = "SHARED";
    instrument.flags = 0x04;  // 16-bit
    instrument.length = 3000;
    build::S3mSpec layout;
    layout.instruments = {instrument, instrument, instrument};
    layout.instruments[1].data = layout.instruments[2].data = Bytes{};
    Bytes module = build::build_s3m(layout);
    const auto header = [&](std::size_t i) {  // from the parapointer after the two orders
        return 16 * (std::size_t{module[98 + 2 * i]} | std::size_t{module[99 + 2 * i]} << 8);
    };
    for (std::size_t i = 1; i < 3; ++i)
        std::copy_n(module.begin() + static_cast<std::ptrdiff_t>(header(0) + 13), 3,
                    module.begin() + static_cast<std::ptrdiff_t>(header(i) + 13));
    const TempFile file(module);
    const RunResult result = run_in_process({"=A", file.path(), "s1", "s2", "s3"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Bytes first = run_in_process({"=A", file.path(), "s1"}).out;
    ASSERT_EQ(first.size() * 3, result.out.size());
    EXPECT_EQ(Bytes(result.out.end() - static_cast<std::ptrdiff_t>(first.size()), result.out.end()), first);
    EXPECT_EQ(Bytes(result.out.begin() + static_cast<std::ptrdiff_t>(first.size()),
                    result.out.begin() + static_cast<std::ptrdiff_t>(2 * first.size())), first);
}

}  // namespace
}  // namespace trk2inst::test
