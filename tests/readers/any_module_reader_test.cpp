#include <gtest/gtest.h>

#include "readers/readers.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ItSample;
using build::S3mInstrument;
using build::XmInstrument;
using build::XmSample;

std::vector<std::string> every_slot(std::vector<std::string> args)
{
    args.push_back("i");
    for (int slot = 1; slot <= 99; ++slot)
        args.push_back(numbered("o", slot));
    return args;
}

RunResult run_form(const char* form, const Bytes& module)
{
    const TempFile file(module);
    return run_in_process(every_slot({form, file.path()}));
}

XmSample xm_sample(std::string name, std::uint32_t length, std::uint8_t type, std::uint32_t loop_start = 0,
                   std::uint32_t loop_length = 0)
{
    XmSample s;
    s.name = std::move(name);
    s.length = length;
    s.type = type;
    s.loop_start = loop_start;
    s.loop_length = loop_length;
    s.relative_note = -5;
    s.finetune = -16;
    return s;
}

build::XmSpec xm_of(std::vector<XmSample> samples)
{
    build::XmSpec layout;
    layout.patterns = {{9, 64, Bytes(100, 0x80)}};
    for (XmSample& s : samples) {
        XmInstrument instrument;
        instrument.samples = {std::move(s)};
        layout.instruments.push_back(std::move(instrument));
    }
    return layout;
}

S3mInstrument s3m_instrument(std::string name, std::uint32_t length, std::uint8_t flags,
                             std::uint32_t loop_begin = 0, std::uint32_t loop_end = 0)
{
    S3mInstrument i;
    i.file_name = std::move(name);
    i.length = length;
    i.flags = flags;
    i.loop_begin = loop_begin;
    i.loop_end = loop_end;
    i.c2spd = 22050;
    return i;
}

build::ModSpec mod_song()
{
    build::ModSpec layout;
    layout.samples = {{"kick", 4, 0x00, 64, 0, 1, std::nullopt},
                      {"snare", 0, 0x0F, 40, 0, 0, std::nullopt},
                      {"bass", 600, 0x02, 48, 2, 400, std::nullopt}};
    layout.orders = {0, 2, 1};
    return layout;
}

// Modules that "=M" or "=S" read with every sample: "=A" writes the same bytes.
TEST(AnyModule, WritesWhatThePlainFormsWriteForTheirSamples)
{
    build::S3mSpec s3m;
    s3m.instruments = {s3m_instrument("LOOP.SMP", 1001, 1, 3, 901), s3m_instrument("ONE.SMP", 64, 0, 5, 2),
                       s3m_instrument("BACK.SMP", 64, 1, 40, 20)};
    build::S3mSpec s3m_signed = s3m;
    s3m_signed.format_information = 1;
    const std::vector<std::pair<const char*, Bytes>> modules{
        {"=M", build::build_mod(mod_song())},
        {"=M", build::build_xm(xm_of({xm_sample("no loop", 1001, 0), xm_sample("forward", 600, 1, 100, 400),
                                      xm_sample("ping-pong, odd loop", 300, 2, 3, 7),
                                      xm_sample("long", 140000, 1, 1000, 138000)}))},
        {"=S", build::build_s3m(s3m)},
        {"=S", build::build_s3m(s3m_signed)},
    };
    for (const auto& [form, module] : modules) {
        const RunResult plain = run_form(form, module);
        const RunResult any = run_form("=A", module);
        ASSERT_EQ(plain.status, 0) << plain.err;
        EXPECT_EQ(any.status, 0);
        EXPECT_EQ(any.err, "");
        EXPECT_EQ(any.out, plain.out) << form;
    }
}

// The slot's record, written by "=A", against what the rules give.
struct ConvertedCase {
    const char* what;
    Bytes module;
    int slot;
    Bytes record;  // header and data
};

void PrintTo(const ConvertedCase& c, std::ostream* os)
{
    *os << c.what;
}

class AnyModuleConverts : public ::testing::TestWithParam<ConvertedCase> {};

TEST_P(AnyModuleConverts, WhatThePlainFormsRefuse)
{
    const ConvertedCase& c = GetParam();
    const TempFile file(c.module);
    const RunResult result = run_in_process({"=A", file.path(), numbered("o", c.slot)});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, c.record);
}

XmSample with_data(XmSample s, Bytes data)
{
    s.data = std::move(data);
    return s;
}

S3mInstrument with_data(S3mInstrument i, Bytes data)
{
    i.data = std::move(data);
    return i;
}

Bytes s3m_of(S3mInstrument instrument)
{
    build::S3mSpec layout;
    layout.instruments = {std::move(instrument)};
    return build::build_s3m(layout);
}

Bytes record(std::initializer_list<std::uint8_t> header, Bytes data)
{
    Bytes out(header);
    build::append(out, data);
    return out;
}

// XM: relative note -5 and finetune -16 give the note byte 0xFB and the
// finetune byte 0x0F. S3M: C2Spd 22050 gives note 16 and finetune 0x46.
INSTANTIATE_TEST_SUITE_P(
    Cases, AnyModuleConverts,
    ::testing::Values(
        // 16-bit deltas 0x0100, 0x0100, 0xFF00 sum to 256, 512, 256; the odd last byte is half a value.
        ConvertedCase{"XM 16-bit", build::build_xm(xm_of({with_data(xm_sample("wide", 7, 0x10), {0, 1, 0, 1, 0, 0xFF, 9})})),
                      1, record({0x0A, 0, 2, 0x0F, 0, 0, 0, 1, 0x40, 0, 0xFB}, {1, 2, 1, 0})},
        // The loop of 8 bytes from byte 4 is values 2 to 5: halved, it starts and lasts whole words.
        ConvertedCase{"XM 16-bit loop", build::build_xm(xm_of({with_data(xm_sample("loop", 12, 0x11, 4, 8), Bytes(12, 0))})),
                      1, record({0x0A, 0, 3, 0x0F, 0, 1, 0, 2, 0x40, 0, 0xFB}, Bytes(6, 0))},
        // An odd loop at byte 1 of length 3: a zero in front, the loop twice, the last byte kept.
        ConvertedCase{"XM odd loop", build::build_xm(xm_of({with_data(xm_sample("odd", 5, 0x01, 1, 3), {1, 1, 1, 1, 1})})),
                      1, record({0x0A, 0, 5, 0x0F, 0, 1, 0, 3, 0x40, 0, 0xFB}, {0, 1, 2, 3, 4, 2, 3, 4, 5, 0})},
        // Unsigned 16-bit values 0x8000, 0x8100, 0x7F00: 0, 256, -256.
        ConvertedCase{"S3M 16-bit unsigned", s3m_of(with_data(
                          s3m_instrument("WIDE.SMP", 3, 4), {0, 0x80, 0, 0x81, 0, 0x7F})),
                      1, record({0x0A, 0, 2, 0x46, 0, 0, 0, 1, 0x40, 0, 16}, {0, 1, 0xFF, 0})},
        // Left 0x90, 0x70 and right 0x94, 0x80 (unsigned): 16 + 20 and -16 + 0.
        ConvertedCase{"S3M 8-bit stereo with a loop", s3m_of(with_data(
                          s3m_instrument("STEREO.SMP", 2, 3, 0, 2), {0x90, 0x70, 0x94, 0x80})),
                      1, record({0x0A, 0, 1, 0x46, 0, 0, 0, 1, 0x40, 0, 16}, {18, 0xF8})}));

Bytes it_module()
{
    build::ItSpec layout;
    ItSample wide;
    wide.flags = 0x1B;  // present, 16-bit, compressed, looped
    wide.length = 3000;
    wide.loop_begin = 1001;
    wide.loop_end = 3000;
    std::vector<std::int16_t> values(3000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::int16_t>(i * 97);
    wide.data = build::it_compress(values, true, false);
    layout.samples = {wide};
    return build::build_it(layout);
}

// "=A -" reads every family from a pipe as "=A FILE" reads it; an Extended
// Module whose header sizes point back is read from the recent bytes.
TEST(AnyModule, APipeGivesWhatAFileGives)
{
    build::XmSpec short_headers = xm_of({xm_sample("first", 6, 0), xm_sample("second", 4, 0x10)});
    short_headers.instruments[0].sample_header_size = 30;
    short_headers.header_size = 10;
    build::S3mSpec s3m;
    s3m.instruments = {s3m_instrument("A.SMP", 100, 0), s3m_instrument("B.SMP", 50, 6)};
    for (const Bytes& module : {build::build_mod(mod_song()), build::build_xm(short_headers),
                                build::build_s3m(s3m), it_module()}) {
        const TempFile file(module);
        const RunResult from_file = run_in_process(every_slot({"=A", file.path()}));
        const RunResult from_pipe = run_in_process(every_slot({"=A", "-"}), &module, Source::pipe);
        EXPECT_EQ(from_file.status, 0) << from_file.err;
        EXPECT_EQ(from_pipe.err, from_file.err);
        EXPECT_EQ(from_pipe.out, from_file.out);
    }
}

TEST(AnyModule, RecognisesTheFamilyByItsContents)
{
    struct Case {
        Bytes module;
        const char* first_line;
    };
    Bytes xm_signature_only = bytes_of("Extended Module: ");
    Bytes scrm_at_44(48, 0);
    std::copy_n("SCRM", 4, scrm_at_44.begin() + 44);
    const std::vector<Case> cases{
        {build::build_mod(mod_song()), "Format: M.K.\n"},
        {build::build_xm(xm_of({})), "Format: EXT.\n"},
        {xm_signature_only, "Format: EXT.\n"},
        {it_module(), "Format: IMPM\n"},
        {bytes_of("IMPM"), "Format: IMPM\n"},
        {scrm_at_44, "Format: SCRM\n"},
    };
    for (const Case& c : cases) {
        const RunResult result = run_in_process({"=A", "-", "i"}, &c.module, Source::pipe);
        EXPECT_EQ(result.status, 0) << c.first_line << result.err;
        EXPECT_EQ(text_of(result.out).substr(0, std::string(c.first_line).size()), c.first_line);
    }
    // Too short for "SCRM" at 44 or a whole signature: read as ProTracker, as "=M" reads it.
    const Bytes short_scrm(scrm_at_44.begin(), scrm_at_44.begin() + 46);
    EXPECT_EQ(run_in_process({"=A", "-"}, &short_scrm).err, "Unexpected format tag: \n");
    const Bytes wow = build::build_mod(mod_song());
    EXPECT_EQ(text_of(run_in_process({"=A", "-", "i"}, &wow).out).substr(0, 25),
              "Format: M.K.\nChannels: 4\n");
}

TEST(AnyModule, CommandLineMessages)
{
    EXPECT_EQ(run_in_process({"=A"}).err, "Missing file name.\n");
    EXPECT_EQ(run_in_process({"=A", "/no/such/module"}).err,
              run_in_process({"=M", "/no/such/module"}).err);
    EXPECT_EQ(run_in_process({"=A", "/no/such/module"}).status, 1);
    // Only "=A" takes "-" for standard input; the other forms open a file of that name.
    EXPECT_EQ(run_in_process({"=M", "-"}).err, "Error opening file -: No such file or directory\n");
}

}  // namespace
}  // namespace trk2inst::test
