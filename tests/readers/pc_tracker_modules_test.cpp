// The PC trackers' formats under "=A": which one claims a file, with the
// counts of its listing, and headers whose counts and offsets point past the
// input.
#include <gtest/gtest.h>

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

// One sample of 4 bytes (669: two), and counts that tell the fields apart.
Bytes mtm(std::uint32_t length = 4)
{
    return build::build_mtm({.last_pattern = 2, .channels = 6, .samples = {{"one", length, 0, 0, 0, 64, 0, Bytes(4, 0x80)}}});
}
Bytes module_669()
{
    return build::build_669({.patterns = 3, .samples = {{"one", 4, 0, 0xFFFFF, {}}, {"two", 4, 0, 0xFFFFF, {}}}});
}
Bytes stm(std::uint8_t type = 2, std::optional<std::uint16_t> paragraph = {})
{
    return build::build_stm({.type = type, .patterns = 2, .samples = {{"ONE.SMP", 4, 0, 0xFFFF, 64, 8363, {}, paragraph}}});
}
Bytes stx()
{
    return build::build_stx({.patterns = 5, .samples = {{.length = 4}}});
}
Bytes ult(std::uint32_t size_end = 4)
{
    return build::build_ult({.channels = 3, .patterns = 7, .samples = {{.size_end = size_end}}});
}
Bytes far(std::optional<std::uint16_t> header_length = {})
{
    return build::build_far(
        {.header_length = header_length, .patterns = {{0, 66}, {5, 130}}, .samples = {{0, "one", 4, 15, 0, 0, 0, 0, {}}}});
}
Bytes ptm(std::optional<std::uint16_t> count = {}, std::optional<std::uint32_t> offset = {})
{
    return build::build_ptm(
        {.channels = 9, .patterns = 3, .sample_count = count, .samples = {{1, "one", 64, 8363, 4, 0, 0, {}, offset}}});
}

Bytes mod_titled_if()
{
    build::ModSpec layout;
    layout.title = "if only";
    layout.samples = {{"one", 4, 0, 64, 0, 1, {}}};
    return build::build_mod(layout);
}

struct ModuleCase {
    const char* what;
    Bytes module;
    std::string listing;  // "i"; empty: refused as no format at all
    std::string warnings;
};

void PrintTo(const ModuleCase& c, std::ostream* os)
{
    *os << c.what;
}

class PcTrackerModules : public ::testing::TestWithParam<ModuleCase> {};

// "i j": the listing, then the JSON listing, which reads every sample header.
TEST_P(PcTrackerModules, AreListedWithinTheInputOrRefused)
{
    const ModuleCase& c = GetParam();
    const RunResult result = run_both({"i", "j"}, c.module);
    if (c.listing.empty()) {
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err.rfind("Unexpected format tag: ", 0), 0u) << result.err;
        return;
    }
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string out = text_of(result.out);
    EXPECT_EQ(out.substr(0, out.find('{')), c.listing);
    EXPECT_EQ(result.err, c.warnings);
}

std::string head(const char* tag, int channels, int patterns)
{
    return std::string("Format: ") + tag + "\nChannels: " + std::to_string(channels) + "\nPatterns: " +
           std::to_string(patterns) + "\n\n";
}

std::string entry(const char* number, const char* name, const char* length = "    2")
{
    return std::string("[") + number + "] " + name + "\n  Len: " + length + "   Finetune: C.5+0   Vol:  64   Loop: N\n";
}

std::string cut_warning(int slot)
{
    return "Warning: the module ends inside the data of slot " + std::to_string(slot) +
           "; what is missing reads as zeros.\n";
}

const std::string headers_past_end = "Warning: left out: samples 2 to 255 (their headers lie past the end of the input).\n";
const std::string listing_669 = head("669 ", 8, 3) + entry("01", "one") + entry("02", "two");

INSTANTIATE_TEST_SUITE_P(
    Cases, PcTrackerModules,
    ::testing::Values(
        ModuleCase{"MTM of 255 samples, one header present", cut(patched(mtm(), 30, {255}), 103),
                   head("MTM ", 6, 3) + entry("01", "one"), cut_warning(1) + headers_past_end},
        ModuleCase{"MTM length near 2^32", mtm(0xFFFFFFF0), head("MTM ", 6, 3) + entry("01", "one", "65535"), cut_warning(1)},
        ModuleCase{"MTM version 2.0", patched(mtm(), 3, {0x20}), "", ""},
        ModuleCase{"MTM of 33 channels", patched(mtm(), 33, {33}), "", ""},
        ModuleCase{"669 cut inside sample 2", cut(module_669(), module_669().size() - 2), listing_669, cut_warning(2)},
        ModuleCase{"UNIS 669", patched(module_669(), 0, {'J', 'N'}), listing_669, ""},
        ModuleCase{"669 using all 128 orders", patched(patched(module_669(), 240, {0}), 368, {4}), listing_669, ""},
        ModuleCase{"669 whose order plays at tempo 0", patched(module_669(), 241, {0}), "", ""},
        ModuleCase{"669 with a break row of 64", patched(module_669(), 369, {64}), "", ""},
        ModuleCase{"ProTracker titled \"if\"", mod_titled_if(),
                   head("M.K.", 4, 1) + entry("01", "one", "    4") + "\nExpected length: 2116\n", ""},
        ModuleCase{"STM data pointer past the end", stm(2, 0xFFFF), head("STM ", 4, 2) + entry("01", "ONE.SMP"), cut_warning(1)},
        ModuleCase{"STM song", stm(1), head("STM ", 4, 2), ""},
        ModuleCase{"STM of version 2.30", patched(stm(), 31, {30}), "", ""},
        ModuleCase{"STM with an order of 64", patched(stm(), 1041, {64}), "", ""},
        ModuleCase{"STX sample table past the end", patched(stx(), 34, {0xFF, 0xFF}), head("STX ", 4, 5), ""},
        ModuleCase{"STX without its 1 at 44: neither STX nor STM", patched(stx(), 44, {2}), "", ""},
        ModuleCase{"ULT cut inside its tracks", cut(ult(), ult().size() - 8), head("ULT ", 3, 7) + entry("01", ""),
                   cut_warning(1)},
        ModuleCase{"ULT size end below size start", patched(ult(), 49 + 52, {9}), head("ULT ", 3, 7), ""},
        ModuleCase{"ULT of 256 channels and patterns", patched(ult(), 49 + 66 + 256, {255, 255}),
                   head("ULT ", 256, 256) + entry("01", ""), cut_warning(1)},
        ModuleCase{"ULT version 5", patched(ult(), 14, {'5'}), "", ""},
        ModuleCase{"FAR header length past the end", far(0xFFFF), head("FAR ", 16, 6), ""},
        ModuleCase{"FAR header length 97", far(97), "", ""},
        ModuleCase{"PTM data offset near 2^32", ptm({}, 0xFFFFFFF0), head("PTM ", 9, 3) + entry("01", "one"), cut_warning(1)},
        ModuleCase{"PTM of 255 samples, one header present", cut(ptm(255), 688), head("PTM ", 9, 3) + entry("01", "one"),
                   cut_warning(1) + headers_past_end},
        ModuleCase{"PTM with flags", patched(ptm(), 40, {1}), "", ""},
        ModuleCase{"PTM of 129 patterns", patched(ptm(), 36, {129}), "", ""}));

}  // namespace
}  // namespace trk2inst::test
