#include <gtest/gtest.h>

#include <climits>

#include "driver/command_line.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::ModSample;
using build::ModSpec;

struct NumberCase {
    const char* text;
    std::int32_t value;
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class ParseNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseNumber, TakesItsBaseFromThePrefixAndSaturates)
{
    EXPECT_EQ(parse_number(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Bases, ParseNumber,
    ::testing::Values(NumberCase{"3", 3}, NumberCase{"0x1F", 31}, NumberCase{"0X1f", 31},
                      NumberCase{"010", 8}, NumberCase{"09", 0}, NumberCase{"-12", -12},
                      NumberCase{"+7", 7}, NumberCase{"  \t5", 5}, NumberCase{"12abc", 12},
                      NumberCase{"", 0}, NumberCase{"x", 0}, NumberCase{"0x", 0},
                      NumberCase{"-0x10", -16}, NumberCase{"2147483647", INT_MAX},
                      NumberCase{"2147483648", INT_MAX}, NumberCase{"-2147483649", INT_MIN},
                      NumberCase{"99999999999999999999999", INT_MAX},
                      NumberCase{"-99999999999999999999999", INT_MIN}));

const ModSpec& three_samples()
{
    static const ModSpec layout = [] {
        ModSpec s;
        s.samples = {{"lead", 4, 0x01, 64, 0, 1, std::nullopt},
                     {"bass", 2, 0x00, 32, 0, 2, std::nullopt},
                     {"lead", 3, 0x00, 16, 0, 1, std::nullopt}};
        return s;
    }();
    return layout;
}

// The record of slot `number` of three_samples() with the given volume word and
// note byte. Slots 4 to 31 hold the builder's empty headers; 32 to 99 nothing.
Bytes record(int number, unsigned volume_word, unsigned note_byte)
{
    const auto index = static_cast<std::size_t>(number - 1);
    const auto& samples = three_samples().samples;
    ModSample sample = index < samples.size() ? samples[index] : ModSample{};
    if (index >= 31)
        sample.loop_length = 0;
    Bytes out{0x0A};
    build::put_u16be(out, sample.length);
    build::put_u8(out, sample.finetune);
    build::put_u16be(out, sample.loop_start);
    build::put_u16be(out, sample.loop_length);
    build::put_u16be(out, volume_word);
    build::put_u8(out, note_byte);
    build::append(out, build::mod_sample_data(sample, number));
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        build::append(out, part);
    return out;
}

struct CommandCase {
    const char* what;
    std::vector<std::string> args;
    Bytes out;
    std::string err;
    int status;
};

void PrintTo(const CommandCase& c, std::ostream* os)
{
    *os << c.what;
}

class Commands : public ::testing::TestWithParam<CommandCase> {};

// The module comes on standard input; commands run from left to right.
TEST_P(Commands, RunFromLeftToRight)
{
    const CommandCase& c = GetParam();
    const Bytes module = build::build_mod(three_samples());
    const RunResult result = run_in_process(c.args, &module, Source::pipe);
    EXPECT_EQ(result.out, c.out) << c.what;
    EXPECT_EQ(result.err, c.err) << c.what;
    EXPECT_EQ(result.status, c.status) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Commands,
    ::testing::Values(
        CommandCase{"no commands", {}, {}, "", 0},
        CommandCase{"one record", {"o1"}, record(1, 0x4000, 0), "", 0},
        CommandCase{"hexadecimal and octal slot numbers", {"o0x2", "o010"},
                    concat({record(2, 0x2000, 0), record(8, 0x4000, 0)}), "", 0},
        CommandCase{"settings apply to later records only", {"v0", "o1", "v256", "o2"},
                    concat({record(1, 0, 0), record(2, 0x2000, 0)}), "", 0},
        CommandCase{"key offset and negative scale", {"k12", "v-0x4000", "o3", "k-1", "o3"},
                    concat({record(3, 0x4000, 12), record(3, 0x4000, 0xFF)}), "", 0},
        CommandCase{"a name held twice gives the lower slot, once", {"-lead"},
                    record(1, 0x4000, 0), "", 0},
        CommandCase{"the same record twice", {"o1", "o1"},
                    concat({record(1, 0x4000, 0), record(1, 0x4000, 0)}), "", 0},
        CommandCase{"slot 99 exists", {"o99"}, record(99, 0, 0), "", 0},
        CommandCase{"unknown commands are reported and passed over", {"q1", "", "=M", "o2"},
                    record(2, 0x2000, 0),
                    "Unrecognized option: q\nUnrecognized option: \\x00\nUnrecognized option: =\n",
                    0},
        CommandCase{"records before a bad slot number stay written", {"o1", "o100", "o2"},
                    record(1, 0x4000, 0), "Invalid instrument number: 100\n", 1},
        CommandCase{"slot 0", {"o0"}, {}, "Invalid instrument number: 0\n", 1},
        CommandCase{"a number beyond 32 bits", {"o-99999999999"}, {},
                    "Invalid instrument number: -2147483648\n", 1},
        CommandCase{"unknown name stops the run", {"-bass", "-Lead", "o1"},
                    record(2, 0x2000, 0), "Instrument not found: Lead\n", 1},
        CommandCase{"the empty name matches the first unnamed slot", {"-"}, record(4, 0x4000, 0), "",
                    0}));

TEST(CommandLine, ListingIsPrintedBetweenRecords)
{
    const Bytes module = build::build_mod(three_samples());
    const RunResult result = run_in_process({"o2", "i", "o2"}, &module, Source::file);
    const std::string listing =
        "Format: M.K.\nChannels: 4\nPatterns: 1\n\n"
        "[01] lead\n  Len:     4   Finetune: C.5+1   Vol:  64   Loop: N\n"
        "[02] bass\n  Len:     2   Finetune: C.5+0   Vol:  32   Loop: Y\n"
        "[03] lead\n  Len:     3   Finetune: C.5+0   Vol:  16   Loop: N\n"
        "\nExpected length: 2126\n";
    EXPECT_EQ(result.out, concat({record(2, 0x2000, 0), bytes_of(listing), record(2, 0x2000, 0)}));
    EXPECT_EQ(result.status, 0);
}

struct FileFormCase {
    const char* what;
    std::vector<std::string> args;  // "FILE" stands for the module's path
    std::string err;
};

void PrintTo(const FileFormCase& c, std::ostream* os)
{
    *os << c.what;
}

class FileForm : public ::testing::TestWithParam<FileFormCase> {};

TEST_P(FileForm, FailsBeforeAnyCommandRuns)
{
    const FileFormCase& c = GetParam();
    const TempFile file(build::build_mod(three_samples()));
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
        if (arg == "FILE")
            arg = file.path();
    }
    const Bytes module = build::build_mod(three_samples());
    const RunResult result = run_in_process(args, &module, Source::pipe);
    EXPECT_EQ(result.err, c.err) << c.what;
    EXPECT_EQ(result.status, 1) << c.what;
    EXPECT_TRUE(result.out.empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileForm,
    ::testing::Values(
        FileFormCase{"unknown type letter", {"=X", "FILE", "o1"}, "Improper file type: X\n"},
        FileFormCase{"lower-case letter", {"=m", "FILE", "o1"}, "Improper file type: m\n"},
        FileFormCase{"no type letter", {"=", "FILE", "o1"},
                     "Improper file type: \\x00\n"},
        FileFormCase{"no file name", {"=M"}, "Missing file name.\n"},
        FileFormCase{"file opened before the letter is examined", {"=X", "/nonexistent/song.mod"},
                     "Error opening file /nonexistent/song.mod: No such file or directory\n"},
        FileFormCase{"a directory", {"=M", "/tmp", "i"}, "Error opening file /tmp: Is a directory\n"},
        FileFormCase{"a ProTracker module read as Scream Tracker 3", {"=S", "FILE", "i"},
                     "Not a valid Scream Tracker file.\n"}));

TEST(CommandLine, FileFormReadsTheFileAndWowModeDoublesTheChannels)
{
    ModSpec layout = three_samples();
    layout.channels = 8;  // pattern data sized for WOW mode
    const TempFile file(build::build_mod(layout));
    const RunResult wow = run_in_process({"=W", file.path(), "o1"});
    EXPECT_EQ(wow.status, 0);
    EXPECT_EQ(wow.out, record(1, 0x4000, 0));
    const RunResult plain = run_in_process({"=Mxyz", file.path(), "i"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(text_of(plain.out).substr(0, 40), "Format: M.K.\nChannels: 4\nPatterns: 1\n\n[0");
}

TEST(CommandLine, BadFormatTagEndsTheRunWithoutCommands)
{
    ModSpec layout = three_samples();
    layout.tag = "M!K.";
    const Bytes module = build::build_mod(layout);
    const RunResult result = run_in_process({"o1"}, &module, Source::pipe);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Unexpected format tag: M!K.\n");
    EXPECT_TRUE(result.out.empty());
}

}  // namespace
}  // namespace trk2inst::test
