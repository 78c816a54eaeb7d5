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
        FailureCase{"slot past the table", {"o0x64"}, "Invalid instrument number: 100\n"}));

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

TEST(Cli, ShippedDemoModuleIsWhatTheGeneratorWrites)
{
    const std::string path = ::testing::TempDir() + "demo-regenerated.mod";
    const std::string command = std::string(MAKE_DEMO_BINARY) + " " + path;
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(path), read_file(DEMO_MODULE));
    const RunResult listing = run_binary({"=M", DEMO_MODULE, "i"});
    EXPECT_EQ(listing.status, 0);
    EXPECT_NE(text_of(listing.out).find("[04] saw pad, finetune -1\n  Len:    64   Finetune: C.5-1"),
              std::string::npos);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace trk2inst::test
