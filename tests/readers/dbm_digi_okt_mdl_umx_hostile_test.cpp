// Hostile and cut DigiBooster, Oktalyzer, Digitrakker modules and Unreal
// packages under "=A": counts and offsets are bounded by the chunks and the
// input, a cut sample keeps its stored length with a warning, and a package
// without a module is refused with its signature.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

struct HostileCase {
    const char* what;
    Bytes module;
    std::string listing;  // "i"; empty when refused
    std::string err;
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.what;
}

class HostileModules : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileModules, StayWithinTheInput)
{
    const HostileCase& c = GetParam();
    const RunResult result = run_both({"i"}, c.module);
    EXPECT_EQ(result.status, c.listing.empty() ? 1 : 0);
    EXPECT_EQ(text_of(result.out), c.listing);
    EXPECT_EQ(result.err, c.err);
}

std::string head(const char* tag, int channels, int patterns)
{
    return std::string("Format: ") + tag + "\nChannels: " + std::to_string(channels) + "\nPatterns: " +
           std::to_string(patterns) + "\n\n";
}

std::string entry(const char* number, const char* name, const char* length, const char* volume = " 64")
{
    return std::string("[") + number + "] " + name + "\n  Len: " + length + "   Finetune: C.5+0   Vol: " + volume +
           "   Loop: N\n";
}

std::string cut(int slot)
{
    return "Warning: the module ends inside the data of slot " + std::to_string(slot) +
           "; what is missing reads as zeros.\n";
}

const std::string refused = "Unexpected format tag: \\xC1\\x83*\\x9E\n";

Bytes dbm(std::vector<build::DbmSample> samples, std::optional<std::uint32_t> smpl_size,
          std::optional<std::uint16_t> claimed = {})
{
    build::DbmSpec layout;
    layout.samples = std::move(samples);
    layout.instruments = {{"one", 1, 64, 8363, 0, 0, 0, 0}};
    layout.smpl_size = smpl_size;
    layout.info_samples = claimed;
    return build::build_dbm(layout);
}

Bytes digi(std::uint32_t length, bool packed, std::uint8_t patterns_claimed)
{
    build::DigiSpec layout;
    layout.packed = packed;
    layout.samples = {{"one", length, 0, 0, 64, 0, Bytes(10, 1)}};
    Bytes module = build::build_digi(layout);
    module[46] = static_cast<std::uint8_t>(patterns_claimed - 1);
    return module;
}

Bytes okt(std::uint32_t length)
{
    build::OktSpec layout;
    layout.cmod = {1, 0, 0, 1};  // two voices split: 6 channels
    layout.samples = {{"one", length, 0, 0, 64, 1, {}}};
    return build::build_okt(layout);
}

build::MdlSample mdl_sample(std::uint8_t number, std::uint32_t length, std::uint8_t flags, std::vector<std::int16_t> values)
{
    build::MdlSample s;
    s.number = number;
    s.name = numbered("s", number);
    s.length = length;
    s.flags = flags;
    s.values = std::move(values);
    return s;
}

Bytes mdl(std::vector<build::MdlSample> samples, bool sa = true)
{
    build::MdlSpec layout;
    layout.channel_bytes.fill(0x80);
    layout.channel_bytes[0] = 0;
    layout.patterns = {{1}};
    layout.samples = std::move(samples);
    layout.sa = sa;
    return build::build_mdl(layout);
}

Bytes without_last(Bytes module, std::size_t count)
{
    module.erase(module.end() - static_cast<std::ptrdiff_t>(count), module.end());
    return module;
}

// The IS chunk of a version-1 module whose count byte says 255.
Bytes claims_255_samples()
{
    Bytes module = mdl({mdl_sample(1, 2, 0, {1, 2})});
    const std::string is("IS\x3C\0\0\0\x01", 7);
    const auto at = std::search(module.begin(), module.end(), is.begin(), is.end());
    at[6] = 255;
    return module;
}

Bytes umx(Bytes module, std::string class_name = "Music", std::optional<std::uint32_t> length = {})
{
    build::UmxSpec layout;
    layout.module = std::move(module);
    layout.class_name = std::move(class_name);
    layout.module_length = length;
    return build::build_umx(layout);
}

Bytes mod_module()
{
    build::ModSpec layout;
    layout.samples = {{"in a package", 2, 0, 64, 0, 1, std::nullopt}};
    return build::build_mod(layout);
}

Bytes names_past_the_end()
{
    Bytes package = umx(mod_module());
    build::patch_u32le(package, 16, 0x7FFFFFF0);
    return package;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileModules,
    ::testing::Values(
        HostileCase{"DBM: a sample longer than its chunk, the next past it",
                    dbm({{1, 100, {1, 2, 3, 4}}, {1, 2, {5, 6}}}, 12), head("DBM0", 4, 1) + entry("01", "one", "    2"), ""},
        HostileCase{"DBM: a chunk past the end of the input", dbm({{1, 100, {1, 2, 3, 4}}}, 1000),
                    head("DBM0", 4, 1) + entry("01", "one", "   50"), cut(1)},
        HostileCase{"DBM: 65,535 samples claimed", dbm({{1, 2, {1, 2}}}, {}, 65535),
                    head("DBM0", 4, 1) + entry("01", "one", "    1"), ""},
        HostileCase{"DIGI: a length near 2^32", digi(0xFFFFFFF0, false, 1),
                    head("DIGI", 4, 1) + entry("01", "one", "65535"), cut(1)},
        HostileCase{"DIGI: packed patterns claimed past the end", digi(10, true, 200),
                    head("DIGI", 4, 200) + entry("01", "one", "    5"), cut(1)},
        HostileCase{"OKT: a sample without its body", okt(4), head("OKT ", 6, 1) + entry("01", "one", "    2"), cut(1)},
        HostileCase{"OKT: a length near 2^32 without its body", okt(0xFFFFFFFF),
                    head("OKT ", 6, 1) + entry("01", "one", "65535"), cut(1)},
        HostileCase{"MDL: 255 headers claimed in a chunk of one", claims_255_samples(),
                    head("DMDL", 1, 1) + entry("01", "s1", "    1"), ""},
        HostileCase{"MDL: cut inside a packed stream", without_last(mdl({mdl_sample(1, 200, 0x09, std::vector<std::int16_t>(100, 300))}), 20),
                    head("DMDL", 1, 1) + entry("01", "s1", "   50"), cut(1)},
        HostileCase{"MDL: a length the stream cannot fill: at most 8 values in 5 bytes",
                    [] { build::MdlSample s = mdl_sample(1, 1000, 0x04, {}); s.stream = Bytes{0x6E, 0x90, 0x23, 0x00, 0x00};
                         return mdl({s}); }(),
                    head("DMDL", 1, 1) + entry("01", "s1", "    4"), ""},
        HostileCase{"MDL: sample number 0 ends the headers; a number twice: the first",
                    mdl({mdl_sample(2, 2, 0, {1, 2}), mdl_sample(2, 4, 0, {1, 2, 3, 4}), mdl_sample(0, 2, 0, {1, 2}),
                         mdl_sample(3, 2, 0, {1, 2})}),
                    head("DMDL", 1, 1) + entry("02", "s2", "    1"), ""},
        HostileCase{"MDL: no SA chunk", mdl({mdl_sample(1, 2, 0x04, {1, 2})}, false),
                    head("DMDL", 1, 1) + entry("01", "s1", "    1"), cut(1)},
        HostileCase{"UMX: a module of length 0", umx({}), "", refused},
        HostileCase{"UMX: no export of class Music", umx(mod_module(), "Sound"), "", refused},
        HostileCase{"UMX: a module longer than its object", umx(mod_module(), "Music", 3000), "", refused},
        HostileCase{"UMX: a name table past the end", names_past_the_end(), "", refused},
        HostileCase{"UMX: a package inside a package", umx(umx(mod_module())), "", refused},
        HostileCase{"UMX: bytes that no reader recognises", umx(Bytes(2000, 'A')), "", refused}));

}  // namespace
}  // namespace trk2inst::test
