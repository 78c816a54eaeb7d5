// Runs of the built program: exact standard output bytes, standard error text
// and exit status, with the module on a real pipe or in a file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ModSample;
using build::ModSpec;

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ModSpec song()
{
    ModSpec layout;
    layout.samples = {{"kick", 4, 0x00, 64, 0, 1, std::nullopt},
                    {"snare", 8, 0x0F, 40, 0, 1, std::nullopt},
                    {"bass", 6, 0x02, 48, 2, 4, std::nullopt}};
    layout.orders = {0, 1, 2, 1};
    return layout;
}

const std::string song_listing =
    "Format: M.K.\nChannels: 4\nPatterns: 3\n\n"
    "[01] kick\n  Len:     4   Finetune: C.5+0   Vol:  64   Loop: N\n"
    "[02] snare\n  Len:     8   Finetune: C.5-1   Vol:  40   Loop: N\n"
    "[03] bass\n  Len:     6   Finetune: C.5+2   Vol:  48   Loop: Y\n"
    "\nExpected length: 4192\n";

TEST(Cli, PipeWithTranspositionRecordAndListing)
{
    const Bytes module = build::build_mod(song());
    const RunResult result = run_binary({"k12", "o3", "i"}, &module, Source::pipe);
    Bytes expected{0x0A, 0x00, 0x06, 0x02, 0x00, 0x02, 0x00, 0x04, 0x30, 0x00, 0x0C};
    build::append(expected, build::mod_sample_data(song().samples[2], 3));
    build::append(expected, bytes_of(song_listing));
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
}

TEST(Cli, FileFormAndStandardInputGiveTheSameBytes)
{
    const Bytes module = build::build_mod(song());
    const TempFile file(module);
    const std::vector<std::string> commands{"i", "o1", "-snare", "v-1", "k-3", "o3", "o99"};
    std::vector<std::string> file_args{"=M", file.path()};
    file_args.insert(file_args.end(), commands.begin(), commands.end());
    const RunResult from_file = run_binary(file_args);
    const RunResult from_pipe = run_binary(commands, &module, Source::pipe);
    const RunResult from_redirect = run_binary(commands, &module, Source::file);
    EXPECT_EQ(from_file.status, 0);
    EXPECT_EQ(from_file.out.size(), song_listing.size() + 4 * 11 + 2 * (4 + 8 + 6));
    EXPECT_EQ(from_pipe.out, from_file.out);
    EXPECT_EQ(from_redirect.out, from_file.out);
    EXPECT_EQ(from_pipe.status, 0);
}

TEST(Cli, FatalErrorKeepsEarlierRecordsAndEndsWithStatusOne)
{
    const Bytes module = build::build_mod(song());
    const RunResult result = run_binary({"o1", "o0", "o2"}, &module, Source::pipe);
    Bytes expected{0x0A, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x01, 0x40, 0x00, 0x00};
    build::append(expected, build::mod_sample_data(song().samples[0], 1));
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "Invalid instrument number: 0\n");
    EXPECT_EQ(result.status, 1);
}

struct FailureCase {
    const char* what;
    std::vector<std::string> args;
    std::string err;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.what;
}

class CliFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliFailure, PrintsOneMessageAndEndsWithStatusOne)
{
    const FailureCase& c = GetParam();
    const Bytes module = build::build_mod(song());
    const TempFile file(module);
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
        if (arg == "FILE")
            arg = file.path();
    }
    const RunResult result = run_binary(args, &module, Source::pipe);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliFailure,
    ::testing::Values(
        FailureCase{"type letter", {"=Q", "FILE", "i"}, "Improper file type: Q\n"},
        FailureCase{"missing file name", {"=M"}, "Missing file name.\n"},
        FailureCase{"unopenable file", {"=M", "/nonexistent", "i"},
                    "Error opening file /nonexistent: No such file or directory\n"},
        FailureCase{"unknown name", {"-hihat", "i"}, "Instrument not found: hihat\n"},
        FailureCase{"slot past the table", {"o0x64"}, "Invalid instrument number: 100\n"},
        FailureCase{"bank without a file name", {"=A", "FILE", "f"}, "Missing file name after \"f\".\n"}));

TEST(Cli, NoArgumentsReadsTheModuleAndWritesNothing)
{
    const Bytes module = build::build_mod(song());
    const RunResult result = run_binary({}, &module, Source::pipe);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(result.err, "");
    ModSpec bad = song();
    bad.tag = "ABCD";
    const Bytes refused = build::build_mod(bad);
    const RunResult refusal = run_binary({}, &refused, Source::pipe);
    EXPECT_EQ(refusal.status, 1);
    EXPECT_EQ(refusal.err, "Unexpected format tag: ABCD\n");
}

// A full device must not pass for success.
TEST(Cli, WriteErrorOnStandardOutputIsReported)
{
    const Bytes module = build::build_mod(song());
    const RunResult result = run_binary({"o1", "i"}, &module, Source::file, "/dev/full");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error writing output: No space left on device\n");
}

// The largest ProTracker module: 99 channels, 256 patterns (6.5 MB) on a pipe.
TEST(Cli, LargestPatternBlockPassesThroughAPipe)
{
    ModSpec layout;
    layout.tag = "99CH";
    layout.channels = 99;
    layout.orders[127] = 255;
    for (int i = 0; i < 31; ++i)
        layout.samples.push_back({numbered("", i + 1), 0xFFFF, 0, 64, 0, 1, std::nullopt});
    const Bytes module = build::build_mod(layout);
    const RunResult result = run_binary({"o31"}, &module, Source::pipe);
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_EQ(result.out.size(), 11u + 2 * 0xFFFF);
    EXPECT_TRUE(std::equal(result.out.begin() + 11, result.out.end(),
                           build::mod_sample_data(layout.samples[30], 31).begin()));
}

TEST(Cli, ShippedDemoModulesAreWhatTheGeneratorWrites)
{
    for (const char* name : {"demo.mod", "demo.it", "demo.s3m", "demo.xm", "demo.med", "demo.mtm"}) {
        const std::string path = ::testing::TempDir() + "regenerated-" + name;
        const std::string command = std::string(MAKE_DEMO_BINARY) + " " + path;
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(read_file(path), read_file(std::string(EXAMPLES_DIR) + "/" + name)) << name;
        std::remove(path.c_str());
    }
    const RunResult listing = run_binary({"=M", DEMO_MODULE, "i"});
    EXPECT_EQ(listing.status, 0);
    EXPECT_NE(text_of(listing.out).find("[04] saw pad, finetune -1\n  Len:  2112   Finetune: C.5-1"),
              std::string::npos);
}

}  // namespace
}  // namespace trk2inst::test

namespace trk2inst::test {
namespace {

// What a user meets at a terminal: help instead of a wait, no binary data on
// the screen, text commands as ever.
struct TerminalCase {
    const char* what;
    std::vector<std::string> args;  // "DEMO" stands for the example module
    bool input_terminal, output_terminal;
    int status;
    std::string err_start;  // the start of standard error
    std::string out_start;  // the start of what reached standard output
};

void PrintTo(const TerminalCase& c, std::ostream* os)
{
    *os << c.what;
}

class AtATerminal : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(AtATerminal, HelpsAndRefuses)
{
    const TerminalCase& c = GetParam();
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
        if (arg == "DEMO")
            arg = DEMO_MODULE;
    }
    const RunResult result = run_at_terminal(args, c.input_terminal, c.output_terminal);
    if (result.status == -1)
        GTEST_SKIP() << result.err;  // a machine without pseudo-terminals (a bare chroot)
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.err.substr(0, c.err_start.size()), c.err_start) << result.err;
    EXPECT_EQ(text_of(result.out).substr(0, c.out_start.size()), c.out_start);
    if (c.out_start.empty()) {
        EXPECT_TRUE(result.out.empty()) << text_of(result.out);
    }
}

const std::string usage = "Usage: trk2inst [COMMAND...] < MODULE";
const std::string no_module = "No module: standard input is a terminal.\n" + usage;
const std::string binary = "Not writing binary data to a terminal.\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, AtATerminal,
    ::testing::Values(
        TerminalCase{"no arguments", {}, true, true, 1, no_module, ""},
        TerminalCase{"=A - and no module", {"=A", "-", "i"}, true, true, 1, no_module, ""},
        TerminalCase{"--help", {"--help"}, true, true, 0, "", usage},
        TerminalCase{"-h to a file", {"-h"}, true, false, 0, "", usage},
        TerminalCase{"--version", {"--version"}, true, true, 0, "", "trk2inst 1.0.0\r\n"},
        TerminalCase{"--help among other arguments is a name", {"=M", "DEMO", "--help"}, true, false, 1,
                     "Instrument not found: -help\n", ""},
        TerminalCase{"a file, standard input a terminal", {"=M", "DEMO", "i"}, true, true, 0, "", "Format: M.K.\r\n"},
        TerminalCase{"o", {"=M", "DEMO", "o1"}, false, true, 1, binary, ""},
        TerminalCase{"-NAME", {"=M", "DEMO", "-sine lead"}, false, true, 1, binary, ""},
        TerminalCase{"w", {"=M", "DEMO", "w1"}, false, true, 1, binary, ""},
        TerminalCase{"f-", {"=M", "DEMO", "f-"}, false, true, 1, binary, ""},
        TerminalCase{"s, after a listing", {"=A", "DEMO", "j", "s1"}, false, true, 1, binary, "{\"format\""}));

TEST(Messages, QuoteEveryByteOutsidePrintableAsciiInHex)
{
    ModSpec layout = song();
    layout.tag = "\x1B[2J";
    const Bytes hostile_tag = build::build_mod(layout);
    layout.tag = std::string("A\0\x1B", 3);
    const Bytes early_zero = build::build_mod(layout);
    const Bytes module = build::build_mod(song());
    struct MessageCase {
        std::vector<std::string> args;
        const Bytes* module;
        std::string err;
    };
    for (const MessageCase& c : {
             MessageCase{{}, &hostile_tag, "Unexpected format tag: \\x1B[2J\n"},
             MessageCase{{"=A", "-"}, &early_zero, "Unexpected format tag: A\n"},
             MessageCase{{"-bass\x07\xE9", "o1"}, &module, "Instrument not found: bass\\x07\\xE9\n"},
             MessageCase{{"=M", "/nonexistent/\x1B]0;x\x07"}, &module,
                         "Error opening file /nonexistent/\\x1B]0;x\\x07: No such file or directory\n"},
             MessageCase{{"=\x7F", "/dev/null"}, &module, "Improper file type: \\x7F\n"},
             MessageCase{{"\x1B", "o1"}, &module, "Unrecognized option: \\x1B\n"}}) {
        const RunResult result = run_binary(c.args, c.module, Source::pipe);
        EXPECT_EQ(result.err, c.err);
    }
}

// "=A" finds a name in any of the 99 slots.
TEST(Names, AnyModuleSearchesEverySlot)
{
    build::ItSpec it;
    for (int i = 0; i < 33; ++i) {
        build::ItSample sample;
        sample.name = numbered("S", i + 1);
        sample.length = 2;
        sample.data = {1, 2};
        it.samples.push_back(sample);
    }
    const TempFile it_file(build::build_it(it));
    EXPECT_EQ(run_binary({"=A", it_file.path(), "-S33"}).out, run_binary({"=A", it_file.path(), "o33"}).out);
}

// A module cut inside a sample: one warning under "=A" naming the first slot
// cut, the same bytes on standard output, status 0; other forms say nothing.
TEST(CutModules, AnyModuleWarnsOnce)
{
    build::XmSample xm_sample;
    xm_sample.length = 100;
    build::XmSpec xm;
    xm.instruments = {{"one", std::nullopt, std::nullopt, 40, {xm_sample, xm_sample}}};
    build::S3mInstrument s3m_instrument;
    s3m_instrument.length = 100;
    build::S3mSpec s3m;
    s3m.instruments = {s3m_instrument, s3m_instrument};
    build::ItSample it_sample;
    it_sample.flags = 0x0B;  // 16-bit, compressed
    it_sample.length = 140000;  // the last block holds values past those a slot keeps
    it_sample.data = build::it_compress(std::vector<std::int16_t>(140000, 300), true, false);
    build::ItSpec it;
    it.samples = {it_sample};
    struct CutCase {
        const char* form;
        Bytes module;
        std::size_t cut;  // bytes taken off the end
        int slot;
    };
    for (const CutCase& c : {CutCase{"=M", build::build_mod(song()), 2 * 6 + 1, 2},
                             CutCase{"=M", build::build_xm(xm), 101, 1},
                             CutCase{"=S", build::build_s3m(s3m), 1, 2},
                             CutCase{"=S", build::build_it(it), 1, 1},
                             CutCase{"=M", build::build_mod(song()), 0, 0}}) {
        Bytes module = c.module;
        module.erase(module.end() - static_cast<std::ptrdiff_t>(c.cut), module.end());
        const TempFile file(module);
        const RunResult any = run_binary({"=A", file.path(), "i", "o1", "o2"});
        const std::string warning =
            c.slot == 0 ? "" : "Warning: the module ends inside the data of slot " + std::to_string(c.slot) +
                                   "; what is missing reads as zeros.\n";
        EXPECT_EQ(any.err, warning) << c.form << " cut by " << c.cut;
        EXPECT_EQ(any.status, 0);
        if (std::string(c.form) != "=S" || c.module[44] == 'S') {
            const RunResult own = run_binary({c.form, file.path(), "i", "o1", "o2"});
            EXPECT_EQ(own.err, "");
            EXPECT_EQ(own.out, any.out) << c.form << " cut by " << c.cut;
        }
    }
}

}  // namespace
}  // namespace trk2inst::test
