// Unreal packages under "=A": the module inside, whatever its family and
// whatever the package's version, reads as the module file itself does.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

struct PackageCase {
    const char* what;
    std::uint16_t version;
    const char* format;  // the name the package gives the module's format
    Bytes module;
};

void PrintTo(const PackageCase& c, std::ostream* os)
{
    *os << c.what;
}

class UmxPackages : public ::testing::TestWithParam<PackageCase> {};

TEST_P(UmxPackages, ReadAsTheirModule)
{
    const PackageCase& c = GetParam();
    build::UmxSpec package;
    package.version = c.version;
    package.format = c.format;
    package.module = c.module;
    const std::vector<std::string> commands{"i", "j", "s1", "o1"};
    const RunResult inside = run_both(commands, build::build_umx(package));
    const RunResult alone = run_both(commands, c.module);
    ASSERT_EQ(alone.status, 0) << alone.err;
    EXPECT_EQ(inside.status, 0);
    EXPECT_EQ(inside.err, alone.err);
    EXPECT_EQ(inside.out, alone.out);
}

Bytes it_module()
{
    build::ItSpec layout;
    build::ItSample sample;
    sample.name = "it sample";
    sample.flags = 0x03;  // 16-bit
    sample.length = 3;
    sample.c5speed = 22050;
    sample.data = {0x00, 0x80, 0xFF, 0x7F, 0x34, 0x12};
    layout.samples = {sample};
    return build::build_it(layout);
}

Bytes s3m_module()
{
    build::S3mSpec layout;
    build::S3mInstrument instrument;
    instrument.file_name = "S3M.SMP";
    instrument.length = 40;
    layout.instruments = {instrument};
    return build::build_s3m(layout);
}

Bytes xm_module()
{
    build::XmSpec layout;
    build::XmInstrument instrument;
    build::XmSample sample;
    sample.length = 30;
    sample.name = "xm sample";
    instrument.samples = {sample};
    layout.instruments = {instrument};
    return build::build_xm(layout);
}

Bytes mod_module()
{
    build::ModSpec layout;
    layout.samples = {{"mod sample", 20, 3, 50, 0, 1, std::nullopt}};
    return build::build_mod(layout);
}

// Each version decides how the names, tables and object are laid out.
INSTANTIATE_TEST_SUITE_P(
    Cases, UmxPackages,
    ::testing::Values(PackageCase{"Impulse Tracker named s3m, version 69", 69, "s3m", it_module()},
                      PackageCase{"Scream Tracker 3, version 61", 61, "s3m", s3m_module()},
                      PackageCase{"Extended Module, version 100", 100, "xm", xm_module()},
                      PackageCase{"ProTracker, version 120", 120, "mod", mod_module()},
                      PackageCase{"Impulse Tracker, version 50", 50, "it", it_module()},
                      PackageCase{"ProTracker, version 35", 35, "mod", mod_module()}));

}  // namespace
}  // namespace trk2inst::test
