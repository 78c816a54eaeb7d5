// The PC trackers' formats under "=A": which one claims a file, and headers
// whose counts and offsets point past the input.
#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"

namespace trk2inst::test {
namespace {

Bytes patched(Bytes module, std::size_t at, std::initializer_list<std::uint8_t> bytes)
{
    std::copy(bytes.begin(), bytes.end(), module.begin() + static_cast<std::ptrdiff_t>(at));
    return module;
}

Bytes cut(Bytes module, std::size_t size)
{
    build::fit_to(module, size);
    return module;
}

Bytes mtm(std::uint32_t length = 4)
{
    build::MtmSpec layout;
    layout.last_pattern = 2;
    layout.channels = 6;
    layout.samples = {{"one", length, 0, 0, 0, 64, 0, Bytes(4, 0x80)}};
    return build::build_mtm(layout);
}

Bytes module_669(std::uint32_t length = 4)
{
    build::Spec669 layout;
    layout.patterns = 3;
    layout.samples = {{"one", 4, 0, 0xFFFFF, {}}, {"two", length, 0, 0xFFFFF, {}}};
    return build::build_669(layout);
}

Bytes stm(std::optional<std::uint16_t> paragraph = {}, std::uint8_t type = 2)
{
    build::StmSpec layout;
    layout.type = type;
    layout.patterns = 2;
    layout.samples = {{"ONE.SMP", 4, 0, 0xFFFF, 64, 8363, {}, paragraph}};
    return build::build_stm(layout);
}

Bytes stx()
{
    build::StxSpec layout;
    layout.patterns = 5;
    layout.samples = {build::StxSample{}};
    layout.samples[0].length = 4;
    return build::build_stx(layout);
}

Bytes ult(std::uint32_t size_end = 4)
{
    build::UltSpec layout;
    layout.channels = 3;
    layout.patterns = 7;
    layout.samples = {build::UltSample{}};
    layout.samples[0].size_end = size_end;
    return build::build_ult(layout);
}

Bytes far(std::optional<std::uint16_t> header_length = {})
{
    build::FarSpec layout;
    layout.header_length = header_length;
    layout.patterns = {{0, 66}, {5, 130}};
    layout.samples = {{0, "one", 4, 15, 0, 0, 0, 0, {}}};
    return build::build_far(layout);
}

Bytes ptm(std::optional<std::uint16_t> count = {}, std::optional<std::uint32_t> offset = {})
{
    build::PtmSpec layout;
    layout.sample_count = count;
    layout.channels = 9;
    layout.patterns = 3;
    layout.samples = {{1, "one", 64, 8363, 4, 0, 0, {}, offset}};
    return build::build_ptm(layout);
}

// A ProTracker module whose title begins with the 669 signature.
Bytes mod_titled_if()
{
    build::ModSpec layout;
    layout.title = "if only";
    layout.samples = {{"one", 4, 0, 64, 0, 1, {}}};
    return build::build_mod(layout);
}

const char* const head_669 = "Format: 669 \nChannels: 8\nPatterns: 3\n";

struct RecognitionCase {
    const char* what;
    Bytes module;
    const char* head;  // the listing's first lines; nullptr: no format here claims it
};

void PrintTo(const RecognitionCase& c, std::ostream* os)
{
    *os << c.what;
}

class PcTrackerRecognition : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(PcTrackerRecognition, ClaimsOnlyItsOwnFiles)
{
    const RecognitionCase& c = GetParam();
    const TempFile file(c.module);
    const RunResult result = run_in_process({"=A", file.path(), "i"});
    const std::string out = text_of(result.out);
    if (c.head == nullptr) {
        EXPECT_EQ(out.find("Format: "), std::string::npos) << out;
        EXPECT_EQ(result.err.rfind("Unexpected format tag: ", 0), 0u) << result.err;
    } else {
        EXPECT_EQ(out.substr(0, std::strlen(c.head)), c.head) << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PcTrackerRecognition,
    ::testing::Values(
        RecognitionCase{"MTM", mtm(), "Format: MTM \nChannels: 6\nPatterns: 3\n"},
        RecognitionCase{"MTM version 2.0", patched(mtm(), 3, {0x20}), nullptr},
        RecognitionCase{"MTM of 33 channels", patched(mtm(), 33, {33}), nullptr},
        RecognitionCase{"669", module_669(), head_669},
        RecognitionCase{"UNIS 669", patched(module_669(), 0, {'J', 'N'}), head_669},
        RecognitionCase{"669 using all 128 orders", patched(patched(module_669(), 240, {0}), 368, {4}), head_669},
        RecognitionCase{"669 whose order plays at tempo 0", patched(module_669(), 241, {0}), nullptr},
        RecognitionCase{"669 with a break row of 64", patched(module_669(), 369, {64}), nullptr},
        RecognitionCase{"ProTracker titled \"if\"", mod_titled_if(), "Format: M.K.\n"},
        RecognitionCase{"STM module", stm(), "Format: STM \nChannels: 4\nPatterns: 2\n"},
        RecognitionCase{"STM song", stm({}, 1), "Format: STM \nChannels: 4\nPatterns: 2\n"},
        RecognitionCase{"STM of version 2.30", patched(stm(), 31, {30}), nullptr},
        RecognitionCase{"STM with an order of 64", patched(stm(), 1041, {64}), nullptr},
        RecognitionCase{"STX", stx(), "Format: STX \nChannels: 4\nPatterns: 5\n"},
        RecognitionCase{"STX without its 1 at 44: neither STX nor STM", patched(stx(), 44, {2}), nullptr},
        RecognitionCase{"ULT", ult(), "Format: ULT \nChannels: 3\nPatterns: 7\n"},
        RecognitionCase{"ULT version 5", patched(ult(), 14, {'5'}), nullptr},
        RecognitionCase{"FAR", far(), "Format: FAR \nChannels: 16\nPatterns: 6\n"},
        RecognitionCase{"FAR header length 97", far(97), nullptr},
        RecognitionCase{"PTM", ptm(), "Format: PTM \nChannels: 9\nPatterns: 3\n"},
        RecognitionCase{"PTM with flags", patched(ptm(), 40, {1}), nullptr},
        RecognitionCase{"PTM of 129 patterns", patched(ptm(), 36, {129}), nullptr}));

struct HostileCase {
    const char* what;
    Bytes module;
    std::string listing;  // "i", after the head
    std::string warnings;
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.what;
}

class PcTrackerHostile : public ::testing::TestWithParam<HostileCase> {};

// "i j": the listing, then the JSON listing, which reads every sample header.
TEST_P(PcTrackerHostile, StayWithinTheInput)
{
    const HostileCase& c = GetParam();
    const RunResult result = run_both({"i", "j"}, c.module);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string out = text_of(result.out);
    const std::size_t head_end = out.find("\n\n") + 2;
    EXPECT_EQ(out.substr(head_end, out.find('{') - head_end), c.listing);
    EXPECT_EQ(result.err, c.warnings);
}

std::string entry(const char* number, const char* name, const char* length)
{
    return std::string("[") + number + "] " + name + "\n  Len: " + length +
           "   Finetune: C.5+0   Vol:  64   Loop: N\n";
}

std::string cut_warning(int slot)
{
    return "Warning: the module ends inside the data of slot " + std::to_string(slot) +
           "; what is missing reads as zeros.\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PcTrackerHostile,
    ::testing::Values(
        HostileCase{"MTM of 255 samples, one header present", cut(patched(mtm(), 30, {255}), 103),
                    entry("01", "one", "    2"),
                    cut_warning(1) + "Warning: left out: samples 2 to 255 (their headers lie past the end of the input).\n"},
        HostileCase{"MTM length near 2^32", mtm(0xFFFFFFF0), entry("01", "one", "65535"), cut_warning(1)},
        HostileCase{"669 cut inside sample 2", cut(module_669(), module_669().size() - 2),
                    entry("01", "one", "    2") + entry("02", "two", "    2"), cut_warning(2)},
        HostileCase{"STM data pointer past the end", stm(0xFFFF), entry("01", "ONE.SMP", "    2"), cut_warning(1)},
        HostileCase{"STX sample table past the end", patched(stx(), 34, {0xFF, 0xFF}), "", ""},
        HostileCase{"ULT cut inside its tracks", cut(ult(), ult().size() - 8), entry("01", "", "    2"), cut_warning(1)},
        HostileCase{"ULT size end below size start", patched(ult(), 49 + 52, {9}), "", ""},
        HostileCase{"ULT of 256 channels and patterns", patched(ult(), 49 + 66 + 256, {255, 255}), entry("01", "", "    2"),
                    cut_warning(1)},
        HostileCase{"FAR header length past the end", far(0xFFFF), "", ""},
        HostileCase{"PTM data offset near 2^32", ptm({}, 0xFFFFFFF0), entry("01", "one", "    2"), cut_warning(1)},
        HostileCase{"PTM of 255 samples, one header present", cut(ptm(255), 688), entry("01", "one", "    2"),
                    cut_warning(1) + "Warning: left out: samples 2 to 255 (their headers lie past the end of the input).\n"}));

}  // namespace
}  // namespace trk2inst::test
