// OctaMED modules under "=A": instrument types and flags, InstrExt entries of
// every size, hostile headers; a pipe always gives what the file gives.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::MmdInstrument;
using build::MmdSpec;
using build::mmd_hybrid;
using build::mmd_pcm;
using build::mmd_sample;

// Without an expansion structure: no InstrExt, no names.
Bytes module_of(MmdInstrument instrument, const char* id = "MMD1")
{
    MmdSpec layout;
    layout.id = id;
    layout.expansion = false;
    layout.instruments = {std::move(instrument)};
    return build::build_mmd(layout);
}

MmdInstrument instrument(Bytes body, std::uint16_t rep = 0, std::uint16_t replen = 0)
{
    MmdInstrument entry;
    entry.body = std::move(body);
    entry.rep = rep;
    entry.replen = replen;
    return entry;
}

Bytes counting(std::size_t size)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(i);
    return out;
}

Bytes tail(const Bytes& bytes, std::size_t from)
{
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end());
}

Bytes concat(Bytes a, const Bytes& b)
{
    build::append(a, b);
    return a;
}

// The record of slot 1: the header fields as given, then the data.
Bytes record(unsigned words, unsigned finetune, unsigned loop_start, unsigned loop_length, unsigned volume,
             unsigned note, const Bytes& data)
{
    Bytes out{0x0A};
    build::put_u16be(out, words);
    build::put_u8(out, finetune);
    build::put_u16be(out, loop_start);
    build::put_u16be(out, loop_length);
    build::put_u16be(out, volume << 8);
    build::put_u8(out, note);
    build::append(out, data);
    return out;
}

const Bytes empty_record = record(0, 0, 0, 0, 0, 0, {});

struct TypeCase {
    const char* what;
    Bytes module;
    Bytes record;
    std::string source;  // the start of slot 1's "source" object; empty for none
};

void PrintTo(const TypeCase& c, std::ostream* os)
{
    *os << c.what;
}

class OctamedTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(OctamedTypes, GiveTheSlotTheirSample)
{
    const TypeCase& c = GetParam();
    const RunResult result = run_both({"o1", "j"}, c.module);
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_GE(result.out.size(), c.record.size());
    EXPECT_EQ(Bytes(result.out.begin(), result.out.begin() + static_cast<std::ptrdiff_t>(c.record.size())), c.record);
    const std::string json = text_of(Bytes(result.out.begin() + static_cast<std::ptrdiff_t>(c.record.size()), result.out.end()));
    if (c.source.empty())
        EXPECT_NE(json.find("\"samples\": [],"), std::string::npos) << json;
    else
        EXPECT_NE(json.find("\"source\": " + c.source), std::string::npos) << json;
}

constexpr const char* plain_source = R"({"bits": 8, "channels": 1, "frames": )";

// Expected bytes worked out by hand: 16-bit v becomes floor((v + 128) / 256),
// a stereo pair the mean of its two.
INSTANTIATE_TEST_SUITE_P(
    Cases, OctamedTypes,
    ::testing::Values(
        TypeCase{"8-bit sample", module_of(instrument(mmd_sample(4, 0, {1, 2, 3, 4}))),
                 record(2, 0, 0, 1, 64, 0, {1, 2, 3, 4}), std::string(plain_source) + R"(4, "rate": 8363, "loops": [], "compression": null, "converted": false})"},
        TypeCase{"16-bit big-endian, an odd last byte", module_of(instrument(mmd_sample(5, 0x10, concat(mmd_pcm({256, -256}, 16), {0x55})))),
                 record(1, 0, 0, 1, 64, 0, {1, 0xFF}), R"({"bits": 16, "channels": 1, "frames": 2,)"},
        TypeCase{"16-bit stereo, the left channel's bytes then the right's",
                 module_of(instrument(mmd_sample(4, 0x30, concat(mmd_pcm({512, -512}, 16), mmd_pcm({256, 256}, 16))))),
                 record(1, 0, 0, 1, 64, 0, {2, 0}), R"({"bits": 16, "channels": 2, "frames": 2,)"},
        TypeCase{"8-bit delta", module_of(instrument(mmd_sample(4, 0x40, {5, 3, 0xFE, 0}))),
                 record(2, 0, 0, 1, 64, 0, {5, 8, 6, 6}), std::string(plain_source) + "4,"},
        TypeCase{"16-bit delta", module_of(instrument(mmd_sample(4, 0x50, mmd_pcm({1000, 24}, 16)))),
                 record(1, 0, 0, 1, 64, 0, {4, 4}), R"({"bits": 16, "channels": 1, "frames": 2,)"},
        TypeCase{"0x18 reads as 16-bit", module_of(instrument(mmd_sample(2, 0x18, mmd_pcm({-32768}, 16)))),
                 record(1, 0, 0, 1, 64, 0, {0x80, 0}), R"({"bits": 16, "channels": 1, "frames": 1,)"},
        TypeCase{"packed", module_of(instrument(mmd_sample(4, 0x90, {1, 2, 3, 4}))), empty_record, ""},
        TypeCase{"5 octaves: the longest part, an octave up", module_of(instrument(mmd_sample(62, 1, counting(62)))),
                 record(16, 0, 0, 1, 64, 12, tail(counting(62), 30)),
                 std::string(plain_source) + "32,"},
        TypeCase{"3 octaves: the first part's loop, four times over",
                 module_of(instrument(mmd_sample(28, 2, counting(28)), 1, 2)),
                 record(8, 0, 4, 4, 64, 0, tail(counting(28), 12)),
                 std::string(plain_source) + R"(16, "rate": 8363, "loops": [{"kind": "forward", "sustain": false, "start": 8, "end": 15}])"},
        TypeCase{"multi-octave with a flag", module_of(instrument(mmd_sample(28, 0x12, counting(28)))), empty_record, ""},
        TypeCase{"ExtSample: two octaves down", module_of(instrument(mmd_sample(2, 7, {9, 9}))),
                 record(1, 0, 0, 1, 64, 0xE8, {9, 9}), std::string(plain_source) + "2,"},
        TypeCase{"synth", module_of(instrument(mmd_sample(300, -1, Bytes(300, 0)))), empty_record, ""},
        TypeCase{"a type with a bit of 0xFF00", module_of(instrument(mmd_sample(4, 0x100, {1, 2, 3, 4}))), empty_record, ""},
        TypeCase{"hybrid: its first waveform's sample", module_of(instrument(mmd_hybrid(1, mmd_sample(2, 0, {7, 9})))),
                 record(1, 0, 0, 1, 64, 0, {7, 9}), std::string(plain_source) + "2,"},
        TypeCase{"hybrid whose sample is 16-bit", module_of(instrument(mmd_hybrid(1, mmd_sample(2, 0x10, {7, 9})))),
                 empty_record, ""},
        TypeCase{"hybrid without waveforms", module_of(instrument(mmd_hybrid(0, mmd_sample(2, 0, {7, 9})))),
                 empty_record, ""}));

struct InstrExtCase {
    std::uint16_t size;
    std::uint16_t count;
    std::uint8_t flags;
    unsigned finetune;
    unsigned words, loop_start, loop_length;
    std::string loops;
};

void PrintTo(const InstrExtCase& c, std::ostream* os)
{
    *os << "size " << c.size << ", count " << c.count << ", flags " << unsigned{c.flags};
}

class OctamedInstrExt : public ::testing::TestWithParam<InstrExtCase> {};

// 16 bytes with rep 1, replen 4 (frames 2 to 9); the entry holds finetune -1,
// the flags and a long loop of frames 3 to 7.
TEST_P(OctamedInstrExt, FieldsCountWhereTheEntryHoldsThem)
{
    const InstrExtCase& c = GetParam();
    MmdInstrument entry = instrument(mmd_sample(16, 0, counting(16)), 1, 4);
    entry.instr_ext = build::mmd_instr_ext(-1, c.flags, 3, 5);
    entry.name = "a name longer than twenty-two bytes";
    MmdSpec layout;
    layout.instruments = {entry};
    layout.instr_ext_size = c.size;
    layout.instr_ext_count = c.count;
    const RunResult result = run_both({"o1", "j"}, build::build_mmd(layout));
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_GE(result.out.size(), 11u);
    EXPECT_EQ(Bytes(result.out.begin(), result.out.begin() + 11),
              record(c.words, c.finetune, c.loop_start, c.loop_length, 64, 0, {}));
    const std::string out = text_of(result.out);
    EXPECT_NE(out.find(R"("name": "a name longer than twe")"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("loops": )" + c.loops + ", "), std::string::npos) << out;
}

const std::string song_loop = R"([{"kind": "forward", "sustain": false, "start": 2, "end": 9}])";

INSTANTIATE_TEST_SUITE_P(
    Sizes, OctamedInstrExt,
    ::testing::Values(InstrExtCase{0, 1, 0x01, 0, 8, 1, 4, song_loop},
                      InstrExtCase{3, 1, 0x01, 0, 8, 1, 4, song_loop},
                      InstrExtCase{4, 1, 0x00, 0x0F, 8, 1, 4, song_loop},
                      InstrExtCase{6, 1, 0x00, 0x0F, 8, 0, 1, "[]"},
                      InstrExtCase{6, 1, 0x09, 0x0F, 8, 0, 1,
                                   R"([{"kind": "ping-pong", "sustain": false, "start": 2, "end": 9}])"},
                      InstrExtCase{17, 1, 0x01, 0x0F, 8, 1, 4, song_loop},
                      // An odd start puts a zero in front, an odd length is written twice.
                      InstrExtCase{18, 1, 0x01, 0x0F, 11, 2, 5,
                                   R"([{"kind": "forward", "sustain": false, "start": 3, "end": 7}])"},
                      InstrExtCase{65535, 1, 0x01, 0x0F, 11, 2, 5,
                                   R"([{"kind": "forward", "sustain": false, "start": 3, "end": 7}])"},
                      InstrExtCase{18, 0, 0x01, 0, 8, 1, 4, song_loop}));

Bytes patched(Bytes module, std::size_t offset, std::uint32_t value)
{
    build::patch_u32be(module, offset, value);
    return module;
}

std::uint32_t u32be_at(const Bytes& bytes, std::size_t at)
{
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

// The sample array's first entry, pointed somewhere else.
Bytes first_entry_at(std::uint32_t pointer)
{
    const Bytes module = module_of(instrument(mmd_sample(4, 0, {1, 2, 3, 4})));
    return patched(module, u32be_at(module, 24), pointer);
}

Bytes hybrid_pointing_past_the_end()
{
    const Bytes module = module_of(instrument(mmd_hybrid(1, mmd_sample(2, 0, {7, 9}))));
    return patched(module, u32be_at(module, u32be_at(module, 24)) + 278, 0x7FFFFFF0);
}

Bytes blocks(const char* id, std::vector<std::uint16_t> tracks)
{
    MmdSpec layout;
    layout.id = id;
    layout.block_tracks = std::move(tracks);
    layout.instruments = {instrument(mmd_sample(2, 0, {1, 1}))};
    return build::build_mmd(layout);
}

Bytes sizes_of_zero()
{
    MmdInstrument entry = instrument(mmd_sample(2, 0, {1, 1}));
    entry.instr_ext = build::mmd_instr_ext(-1, 0x01);
    entry.name = "unseen";
    MmdSpec layout;
    layout.instruments = {entry, entry};
    layout.instr_ext_size = 0;
    layout.name_size = 0;
    return build::build_mmd(layout);
}

Bytes many_samples()
{
    MmdSpec layout;
    layout.instruments.resize(63);  // the sample array's entries 2 to 63 are 0; the 64th is not read
    layout.instruments[0] = instrument(mmd_sample(2, 0, {1, 1}));
    layout.numsamples = 255;
    return build::build_mmd(layout);
}

struct HostileCase {
    const char* what;
    Bytes module;
    std::string listing;  // after the three head lines
    std::string warning;
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.what;
}

class OctamedHostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(OctamedHostile, EndInSlotsOrNone)
{
    const HostileCase& c = GetParam();
    const RunResult result = run_both({"i"}, c.module);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(text_of(result.out), c.listing);
    EXPECT_EQ(result.err, c.warning.empty() ? "" : "Warning: the module ends inside the data of slot " + c.warning +
                                                       "; what is missing reads as zeros.\n");
}

std::string head(const char* id, int channels, int patterns)
{
    return std::string("Format: ") + id + "\nChannels: " + std::to_string(channels) + "\nPatterns: " +
           std::to_string(patterns) + "\n\n";
}

std::string entry(const char* number, const char* length, const char* pitch = "C.5+0")
{
    return std::string("[") + number + "] \n  Len: " + length + "   Finetune: " + pitch + "   Vol:  64   Loop: N\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OctamedHostile,
    ::testing::Values(
        HostileCase{"no sample array", [] { MmdSpec l; l.instruments = {instrument(mmd_sample(2, 0, {1, 1}))};
                                            l.sample_array = false; return build::build_mmd(l); }(),
                    head("MMD1", 4, 1), ""},
        HostileCase{"an entry past the end", first_entry_at(0xFFFFFF00), head("MMD1", 4, 1), ""},
        HostileCase{"a header cut by the end", [] { MmdSpec l; l.id = "MMD2"; l.expansion = false;
                                                    l.instruments = {instrument(mmd_sample(4, 0, {}))};
                                                    Bytes m = build::build_mmd(l); m.erase(m.end() - 2, m.end()); return m; }(),
                    head("MMD2", 4, 1), ""},
        HostileCase{"a length near 2^32", module_of(instrument(mmd_sample(0xFFFFFFF0, 0, Bytes(10, 1)))),
                    head("MMD1", 4, 1) + entry("01", "65535"), "1"},
        HostileCase{"16-bit stereo of a length near 2^32", module_of(instrument(mmd_sample(0xFFFFFFFE, 0x30, Bytes(10, 1)))),
                    head("MMD1", 4, 1) + entry("01", "65535"), "1"},
        HostileCase{"5 octaves of 2^32 - 1 bytes", module_of(instrument(mmd_sample(0xFFFFFFFF, 1, Bytes(10, 1)))),
                    head("MMD1", 4, 1) + entry("01", "65535", "C.4+0"), "1"},
        HostileCase{"a hybrid's waveform past the end", hybrid_pointing_past_the_end(), head("MMD1", 4, 1), ""},
        HostileCase{"InstrExt and name entries of size 0", sizes_of_zero(),
                    head("MMD1", 4, 1) + entry("01", "    1") + entry("02", "    1"), ""},
        HostileCase{"255 samples claimed", many_samples(), head("MMD1", 4, 1) + entry("01", "    1"), ""},
        HostileCase{"no song", patched(module_of(instrument(mmd_sample(2, 0, {1, 1}))), 8, 0), head("MMD1", 0, 0), ""},
        HostileCase{"MMD0 blocks count tracks in a byte", blocks("MMD0", {4, 8, 6}), head("MMD0", 8, 3) + entry("01", "    1"), ""},
        HostileCase{"MMDC as MMD0", blocks("MMDC", {12}), head("MMDC", 12, 1) + entry("01", "    1"), ""},
        HostileCase{"MMD3 blocks count tracks in a word", blocks("MMD3", {300, 4}), head("MMD3", 300, 2) + entry("01", "    1"), ""}));

// "s" writes the values as stored: 16-bit stereo delta data summed per
// channel, frames interleaved, the file's end cutting the right channel short.
TEST(OctamedSources, AreTheValuesAsStored)
{
    Bytes data = mmd_pcm({1000, 24, -2024}, 16);  // differences of 1000, 1024, -1000
    build::append(data, mmd_pcm({-5, -5}, 16));   // -5, -10, and the third cut off
    const RunResult result = run_both({"s1"}, module_of(instrument(mmd_sample(6, 0x70, data))));
    ASSERT_EQ(result.status, 0) << result.err;
    Bytes expected;
    for (int value : {1000, -5, 1024, -10})
        build::put_u16le(expected, static_cast<std::uint16_t>(value));
    std::map<std::string, Bytes> chunks;
    for (auto& [tag, payload] : riff_chunks(result.out))
        chunks[tag] = payload;
    EXPECT_EQ(chunks["data"], expected);
    EXPECT_EQ(result.err, "Warning: the module ends inside the data of slot 1; what is missing reads as zeros.\n");
}

// Only "=A" reads them: the other forms refuse an OctaMED module as before.
TEST(OctamedModules, AreRefusedByTheOtherForms)
{
    Bytes module = module_of(instrument(mmd_sample(2000, 0, Bytes(2000, 0x41))));
    const TempFile file(module);
    const std::string tag = "Unexpected format tag: AAAA\n";
    EXPECT_EQ(run_in_process({"=M", file.path(), "i"}).err, tag);
    EXPECT_EQ(run_in_process({"=W", file.path(), "i"}).err, tag);
    EXPECT_EQ(run_in_process({"i"}, &module, Source::pipe).err, tag);
    Bytes old = module;
    std::copy_n("MED\x04", 4, old.begin());
    const TempFile old_file(old);
    EXPECT_EQ(run_in_process({"=A", old_file.path(), "i"}).err, tag);
}

}  // namespace
}  // namespace trk2inst::test
