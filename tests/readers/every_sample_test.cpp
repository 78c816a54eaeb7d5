// Modules with more samples than the record table has slots: "s", "x", "z"
// and "j" give out every one, the slots stay as they were, and what cannot be
// read is said once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "test_support.h"

namespace trk2inst::test {
namespace {

using build::XmInstrument;

using build::xm_sixteen_headers_each;

Bytes it_samples(int count, int first = 0)
{
    return build::it_many_samples(count, first);
}

std::string json_without_slot(std::string entry)
{
    return entry.substr(entry.find(", \"name\""));
}

// The listing's entry of one sample.
std::string sample_entry_of(const std::string& json, int number)
{
    const std::string key = "{\"slot\": " + std::to_string(number) + ",";
    const std::size_t at = json.find(key);
    if (at == std::string::npos)
        return {};
    return json.substr(at, json.find("}}", at) + 2 - at);
}

struct PastSlotsCase {
    const char* what;
    Bytes many;   // the sample at `number`
    int number;
    Bytes alone;  // the same sample, as `alone_number`
    int alone_number;
    std::string instrument;  // part of the "j" entry of an instrument that plays past 99
};

void PrintTo(const PastSlotsCase& c, std::ostream* os)
{
    *os << c.what;
}

class PastTheSlots : public ::testing::TestWithParam<PastSlotsCase> {};

// A sample past 99 is what it would be in a slot: the same WAV file and listing
// entry, from a file and from a pipe; instruments play it.
TEST_P(PastTheSlots, SamplesAreWhatTheyWouldBeInASlot)
{
    const PastSlotsCase& c = GetParam();
    const RunResult many = run_both({numbered("s", c.number), "j"}, c.many);
    const RunResult alone = run_both({numbered("s", c.alone_number), "j"}, c.alone);
    ASSERT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(many.err, "");
    const std::string many_text = text_of(many.out), alone_text = text_of(alone.out);
    const std::size_t many_wav = many_text.find("{\"format\""), alone_wav = alone_text.find("{\"format\"");
    EXPECT_EQ(many_text.substr(0, many_wav), alone_text.substr(0, alone_wav));
    const std::string entry = sample_entry_of(many_text, c.number);
    ASSERT_FALSE(entry.empty());
    EXPECT_EQ(json_without_slot(entry), json_without_slot(sample_entry_of(alone_text, c.alone_number)));
    EXPECT_NE(many_text.find(c.instrument), std::string::npos) << many_text.substr(many_wav);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PastTheSlots,
    ::testing::Values(
        PastSlotsCase{"XM, 8-bit with an odd length", xm_sixteen_headers_each(8), 113, xm_sixteen_headers_each(1, 7), 1,
                      R"({"number": 8, "name": "keys 8", "slots": [113, 114], )"},
        PastSlotsCase{"XM, 16-bit with an odd loop", xm_sixteen_headers_each(8), 114, xm_sixteen_headers_each(1, 7), 2,
                      R"({"lokey": 60, "hikey": 107, "slot": 114, "transpose": 0, "tune": 0,)"},
        PastSlotsCase{"IT, 8-bit", it_samples(120), 119, it_samples(1, 118), 1,
                      R"({"lokey": 118, "hikey": 118, "slot": 119, "transpose": 0, "tune": 0,)"},
        PastSlotsCase{"IT, 16-bit with an odd loop", it_samples(120), 120, it_samples(1, 119), 1,
                      R"("slots": [1, 2, 3, )"}));

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "x", "z", "j" and "s" against each other, and the slots as they were: each
// file that "z" writes is listed, each WAV file holds what "s" writes and "j"
// lists its sample, each SFZ region names one of them, and the records of
// slots 1 to 99 do not change when the run gives out every sample.
TEST(EverySample, ZJAndSAgreeAndTheSlotsStayAsTheyWere)
{
    for (const Bytes& module : {xm_sixteen_headers_each(8), it_samples(120)}) {
        const TempFile file(module);
        const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "every-sample";
        std::filesystem::remove_all(folder);
        std::vector<std::string> records;
        for (int slot = 1; slot <= slot_count; ++slot)
            records.push_back(numbered("o", slot));
        std::vector<std::string> args{"=A", file.path()};
        args.insert(args.end(), records.begin(), records.end());
        const Bytes slots = run_in_process(args).out;
        args.insert(args.begin() + 2, {std::string("z").append(folder.string()), "j"});
        const RunResult run = run_in_process(args);
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_GE(run.out.size(), slots.size());
        EXPECT_TRUE(std::equal(slots.begin(), slots.end(), run.out.end() - static_cast<std::ptrdiff_t>(slots.size())));
        const std::string out = text_of(run.out);
        const std::string listing = out.substr(out.find("{\"format\""));
        int highest = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            EXPECT_NE(out.find(entry.path().string() + "\n"), std::string::npos) << name;
            const std::string contents = read_file(entry.path());
            if (name.ends_with(".sfz")) {
                std::istringstream words(contents);
                for (std::string word; words >> word;)
                    EXPECT_TRUE(!word.starts_with("sample=") || std::filesystem::exists(folder / word.substr(7))) << word;
                continue;
            }
            const int number = std::stoi(name);
            highest = std::max(highest, number);
            EXPECT_FALSE(sample_entry_of(listing, number).empty()) << name;
            EXPECT_EQ(text_of(run_in_process({"=A", file.path(), numbered("s", number)}).out), contents) << name;
        }
        EXPECT_GT(highest, slot_count);
    }
}

// A module that claims more than is read, or whose headers lie past its end:
// one warning for the commands that give every sample out, none for others.
Bytes xm_claiming(int instruments, std::uint16_t samples, std::optional<std::uint16_t> instrument_count = {})
{
    build::XmSpec layout;
    XmInstrument instrument;
    instrument.samples.resize(samples);
    instrument.samples[0].length = 8;
    layout.instruments.assign(static_cast<std::size_t>(instruments), instrument);
    layout.instrument_count = instrument_count;
    return build::build_xm(layout);
}

Bytes it_claiming(std::uint16_t samples)
{
    build::ItSpec layout;
    layout.samples.resize(1);
    layout.samples[0].length = 4;
    layout.samples[0].data = Bytes(4, 1);
    layout.sample_count = samples;
    return build::build_it(layout);
}

Bytes it_cut_at_header(int number)
{
    Bytes module = it_samples(120);
    const std::size_t pointers = 0xC0 + 2 + 4 * 1;  // after the order list and one instrument pointer
    module.resize(u32le(module, pointers + 4 * static_cast<std::size_t>(number - 1)));
    return module;
}

struct LeftOutCase {
    const char* what;
    Bytes module;
    std::vector<std::string> commands;
    std::string warning;
};

void PrintTo(const LeftOutCase& c, std::ostream* os)
{
    *os << c.what;
}

class LeftOut : public ::testing::TestWithParam<LeftOutCase> {};

TEST_P(LeftOut, IsSaidOnceAndTheRunGoesOn)
{
    const LeftOutCase& c = GetParam();
    const RunResult run = run_both(c.commands, c.module);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, c.warning);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeftOut,
    ::testing::Values(
        LeftOutCase{"IT claiming 65,535 samples", it_claiming(65535), {"s4000", "j"},
                    "Warning: left out: samples 4001 to 65535 (at most 4000 samples are read).\n"},
        LeftOutCase{"XM instruments of 255 samples each", xm_claiming(20, 255), {"s1"},
                    "Warning: left out: samples 4001 to 5100 (at most 4000 samples are read).\n"},
        LeftOutCase{"XM claiming 300 instruments", xm_claiming(1, 1, 300), {"j"},
                    "Warning: left out: instruments 256 to 300 and their samples (at most 255 instruments are "
                    "read).\n"},
        LeftOutCase{"IT cut at the header of sample 111", it_cut_at_header(111), {"s1"},
                    "Warning: the module ends inside the data of slot 1; what is missing reads as zeros.\n"
                    "Warning: left out: samples 111 to 120 (their headers lie past the end of the input).\n"},
        LeftOutCase{"nothing given out: no warning", it_claiming(65535), {"i", "o1"}, ""}));

}  // namespace
}  // namespace trk2inst::test
