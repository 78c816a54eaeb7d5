// Hostile headers of the PC tracker formats under "=A": counts, offsets and
// lengths past the input or past what a chunk holds read as zeros or are cut
// to what is there; nothing is read or kept past the input.
#include <gtest/gtest.h>

#include <algorithm>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

std::size_t offset_of(const Bytes& bytes, const char* id)
{
    return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), id, id + 4) - bytes.begin());
}

// The module with the little-endian number of `width` bytes at `at` changed.
Bytes patched(Bytes module, std::size_t at, std::uint32_t value, std::size_t width = 4)
{
    for (std::size_t i = 0; i < width; ++i)
        module[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return module;
}

Bytes cut(Bytes module, std::ptrdiff_t bytes)
{
    module.erase(module.end() - bytes, module.end());
    return module;
}

// Modules of one sample of 4 bytes.
const Bytes four{0x80, 0x90, 0x70, 0xFF};

Bytes amf_naming_track(std::uint16_t track)
{
    return build::build_amf({"AMF", 14, 4, 1, false, {track}, {2}, {{1, "a", {}, {}, 8363, 64, 0, 0, four}}});
}

Bytes asylum()
{
    return build::build_asylum({1, {}, {{"a", 0, 64, 0, {}, 0, 0, four}}});
}

Bytes gdm()
{
    return build::build_gdm({1, 4, 1, {{"a", {}, 0, 0, 0x04, 8363, 64, four}}});
}

Bytes imf(std::optional<std::uint16_t> sample_count = {})
{
    const build::ImfSample sample{"a", {}, 0, 0, 8363, 64, 128, 0, four};
    return build::build_imf({4, 125, {4}, {}, {{"", {}, 0, sample_count, {sample}}}});
}

Bytes psm(std::uint16_t number, std::optional<std::uint32_t> length)
{
    return build::build_psm({false, {4}, 1, {{"a", number, 0, length, 0, 0, 0, 127, 8363, four}}});
}

Bytes psm16(const char* tag)
{
    return build::build_psm16({4, 4, 1, tag, {{"a", 1, 0x01, {}, 0, 0, 0x70, 64, 8363, four}}});
}

Bytes dsik(std::optional<std::uint32_t> length)
{
    return build::build_dsik({true, 4, 1, {{"a", 2, 64, length, 0, 0, 8363, 0, four}}});
}

Bytes dynamic_studio()
{
    return build::build_dynamic_studio({4, {0}, {{"a", 0, 64, {}, 0, 0, 0, 0, four}}});
}

struct HostileCase {
    const char* what;
    Bytes module;
    std::vector<std::string> commands;
    std::string listing;  // what "i" writes first
    std::string warning;
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.what;
}

class HostilePcModules : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostilePcModules, ReadZerosPastTheInput)
{
    const HostileCase& c = GetParam();
    const RunResult result = run_both(c.commands, c.module);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(text_of(result.out).substr(0, c.listing.size()), c.listing);
    EXPECT_EQ(result.err, c.warning);
}

std::string head(const char* tag, int channels, int patterns)
{
    return std::string("Format: ") + tag + "\nChannels: " + std::to_string(channels) + "\nPatterns: " +
           std::to_string(patterns) + "\n\n";
}

const std::string slot_1_of_2_words = "[01] a\n  Len:     2   Finetune: C.5+0   Vol:  64   Loop: N\n";
const std::string slot_1_of_most_words = "[01] a\n  Len: 65535   Finetune: C.5+0   Vol:  64   Loop: N\n";
const std::string slot_1_cut = "Warning: the module ends inside the data of slot 1; what is missing reads as zeros.\n";
const std::vector<std::string> listing{"i"};
const std::vector<std::string> every_sample{"i", "j"};

INSTANTIATE_TEST_SUITE_P(
    Cases, HostilePcModules,
    ::testing::Values(
        HostileCase{"AMF: the track map names track 65535", amf_naming_track(65535), listing,
                    head("AMF ", 4, 1) + slot_1_of_2_words, slot_1_cut},
        HostileCase{"Asylum: 255 patterns, one stored", patched(asylum(), 35, 255, 1), listing,
                    head("ASYL", 8, 255) + slot_1_of_2_words, slot_1_cut},
        HostileCase{"GDM: the sample headers past the end", patched(gdm(), 128, 0x7FFFFFF0), listing,
                    head("GDM ", 4, 1), ""},
        HostileCase{"IMF: 65535 patterns", patched(imf(), 34, 65535, 2), listing, head("IMF ", 4, 65535), ""},
        HostileCase{"IMF: an instrument of 65535 samples", imf(65535), every_sample,
                    head("IMF ", 4, 1) + slot_1_of_2_words,
                    "Warning: left out: samples 4001 to 65535 (at most 4000 samples are read); samples 2 to 4000 "
                    "(their headers lie past the end of the input).\n"},
        HostileCase{"PSM: a length past the chunk", psm(0, 1000), listing, head("PSM ", 4, 1) + slot_1_of_2_words, ""},
        HostileCase{"PSM: a chunk cut by the end", cut(psm(0, {}), 2), listing, head("PSM ", 4, 1) + slot_1_of_2_words,
                    slot_1_cut},
        HostileCase{"PSM: a chunk shorter than its header",
                    [] { Bytes m = psm(0, {}); return patched(m, offset_of(m, "DSMP") + 4, 40); }(), listing,
                    head("PSM ", 4, 1), ""},
        HostileCase{"PSM: sample number 65535", psm(65535, {}), every_sample, head("PSM ", 4, 1),
                    "Warning: left out: samples 4001 to 65536 (at most 4000 samples are read).\n"},
        HostileCase{"PSM16: a table without its tag", psm16("PSAX"), listing, head("PSM ", 4, 1), ""},
        HostileCase{"PSM16: a table at offset 2, its tag before the input", patched(psm16("PSAH"), 94, 2),
                    listing, head("PSM ", 4, 1), ""},
        HostileCase{"PSM16: a data offset past the end", patched(psm16("PSAH"), 150 + 37, 0x7FFFFFF0), listing,
                    head("PSM ", 4, 1) + slot_1_of_2_words, slot_1_cut},
        HostileCase{"DSIK: lengths of chunk and sample near 2^32",
                    [] { Bytes m = dsik(0x7FFFFFFF); return patched(m, offset_of(m, "INST") + 4, 0xFFFFFFF0); }(),
                    listing, head("DSM ", 4, 1) + slot_1_of_most_words, slot_1_cut},
        HostileCase{"DSIK: a chunk shorter than its header",
                    [] { Bytes m = dsik({}); return patched(m, offset_of(m, "INST") + 4, 20); }(), listing,
                    head("DSM ", 4, 1), ""},
        HostileCase{"Dynamic Studio: an order naming pattern 255 moves the sample headers past the end",
                    patched(dynamic_studio(), 64 + 4, 255, 1), listing, head("DSM ", 4, 256), ""}));

struct RecognitionCase {
    const char* what;
    Bytes module;
    bool (*recognises)(const ModuleHead&);
    bool expected;
};

void PrintTo(const RecognitionCase& c, std::ostream* os)
{
    *os << c.what;
}

class PcModuleRecognition : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(PcModuleRecognition, TakesTheSignatureWithItsChecks)
{
    const RecognitionCase& c = GetParam();
    ModuleHead head;
    head.size = std::min(c.module.size(), head.bytes.size());
    std::copy_n(c.module.begin(), head.size, head.bytes.begin());
    EXPECT_EQ(c.recognises(head), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PcModuleRecognition,
    ::testing::Values(
        RecognitionCase{"AMF version 7", patched(amf_naming_track(1), 3, 7, 1), is_dsmi_amf_module, false},
        RecognitionCase{"AMF version 11 with 17 channels", patched(patched(amf_naming_track(1), 3, 11, 1), 40, 17, 1),
                        is_dsmi_amf_module, false},
        RecognitionCase{"AMF version 12 with 32 channels", patched(patched(amf_naming_track(1), 3, 12, 1), 40, 32, 1),
                        is_dsmi_amf_module, true},
        RecognitionCase{"AMF without orders", patched(amf_naming_track(1), 37, 0, 1), is_dsmi_amf_module, false},
        RecognitionCase{"DMF version 9", [] { build::AmfSpec l; l.id = "DMF"; l.version = 9; return build::build_amf(l); }(),
                        is_dsmi_amf_module, false},
        RecognitionCase{"Asylum signature padded with a byte", patched(asylum(), 30, 1, 1), is_asylum_module, false},
        RecognitionCase{"Asylum with 65 samples", patched(asylum(), 34, 65, 1), is_asylum_module, false},
        RecognitionCase{"GDM from format 10", patched(gdm(), 116, 10, 1), is_gdm_module, false},
        RecognitionCase{"GDM without channels", patched(gdm(), 81, 255, 1), is_gdm_module, false},
        RecognitionCase{"IMF with every channel off", build::build_imf({0, 125, {4}, {}, {}}), is_imf_module, false},
        RecognitionCase{"IMF with a channel status of 3", patched(imf(), 64 + 15, 3, 1), is_imf_module, false},
        RecognitionCase{"IMF with an amplification of 3", patched(imf(), 51, 3, 1), is_imf_module, false},
        RecognitionCase{"PSM without its SDFT chunk", patched(psm(0, {}), 12 + 8 + 3 + 3, 'X', 1), is_psm_module, false},
        RecognitionCase{"PSM16 of format version 2", patched(psm16("PSAH"), 65, 2, 1), is_psm_module, false},
        RecognitionCase{"PSM16 without channels", patched(patched(psm16("PSAH"), 78, 0, 1), 80, 0, 1), is_psm_module,
                        false},
        RecognitionCase{"DSIK whose first chunk is not SONG", patched(dsik({}), 12, 'X', 1), is_dsm_module, false},
        RecognitionCase{"Dynamic Studio with a global volume of 101", patched(dynamic_studio(), 49, 101, 1),
                        is_dsm_module, false}));

}  // namespace
}  // namespace trk2inst::test
