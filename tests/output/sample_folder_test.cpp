// "x": every listed sample into a folder, by name; its refusals.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "output/output.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

namespace fs = std::filesystem;

struct NameCase {
    int slot;
    const char* name;
    const char* file;
};

TEST(SampleFileName, IsTheNumberAndTheNameMadeSafe)
{
    for (const NameCase& c : {NameCase{1, "lead", "01-lead.wav"},
                              NameCase{12, "bass drum", "12-bass_drum.wav"},
                              NameCase{3, ".hidden", "03-_hidden.wav"},
                              NameCase{4, "../a/b\\c:\x01\xE9", "04-_._a_b_c___.wav"},
                              NameCase{5, "", "05.wav"},
                              NameCase{99, " v1.2-x_Y  ", "99-_v1.2-x_Y.wav"}})
        EXPECT_EQ(sample_file_name(c.slot, c.name), c.file) << c.name;
}

Bytes read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Slots 1 and 3 hold samples; slot 2 is named but empty, so it is not written.
Bytes module_with_gap()
{
    build::ModSpec layout;
    layout.samples = {{"kick", 4, 0, 64, 0, 1, std::nullopt},
                      {"empty", 0, 0, 64, 0, 1, std::nullopt},
                      {"hat/open", 3, 0, 64, 0, 3, std::nullopt}};
    return build::build_mod(layout);
}

struct Folder {
    fs::path path = fs::path(::testing::TempDir()) / numbered("trk2inst-x-", ::getpid());
    Folder() { fs::remove_all(path); }
    ~Folder() { fs::remove_all(path); }
};

TEST(ExtractSamples, WritesEveryListedSlotAndPrintsItsPath)
{
    const Folder folder;
    const Bytes module = module_with_gap();
    const std::string dir = (folder.path / "a" / "b").string();
    const mode_t old_mask = ::umask(027);
    run_binary({"=A", "-", "x" + dir}, &module, Source::pipe);
    std::ofstream(fs::path(dir) / "01-kick.wav") << "an older file, replaced";
    const RunResult result = run_binary({"=A", "-", "x" + dir + "/"}, &module, Source::pipe);
    ::umask(old_mask);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(text_of(result.out), dir + "/01-kick.wav\n" + dir + "/03-hat_open.wav\n");
    for (const auto& [file, slot] : {std::pair{"01-kick.wav", "s1"}, {"03-hat_open.wav", "s3"}}) {
        EXPECT_EQ(read_file(fs::path(dir) / file), run_binary({"=A", "-", slot}, &module).out) << file;
        EXPECT_EQ(fs::status(fs::path(dir) / file).permissions(), fs::perms(0640)) << file;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 2);  // nothing else
    EXPECT_EQ(fs::status(folder.path / "a").permissions(), fs::perms(0750));
}

TEST(ExtractSamples, WithoutAFolderWritesIntoTheCurrentOne)
{
    const Folder folder;
    fs::create_directories(folder.path);
    const fs::path was = fs::current_path();
    fs::current_path(folder.path);
    const Bytes module = module_with_gap();
    const RunResult result = run_in_process({"x"}, &module);
    fs::current_path(was);
    EXPECT_EQ(text_of(result.out), "01-kick.wav\n03-hat_open.wav\n");
    EXPECT_TRUE(fs::exists(folder.path / "03-hat_open.wav"));
}

// Files already written stay; no temporary file is left behind.
TEST(ExtractSamples, FailuresEndTheRunWithTheReason)
{
    const Folder folder;
    const Bytes module = module_with_gap();
    fs::create_directories(folder.path / "locked");
    fs::permissions(folder.path / "locked", fs::perms(0555));
    fs::create_directories(folder.path / "taken" / "03-hat_open.wav");
    fs::permissions(folder.path / "taken", fs::perms::all);
    std::ofstream(folder.path / "file") << "not a folder";
    const std::string base = folder.path.string();
    struct FailureCase {
        std::string dir;
        std::string err;
        std::size_t files_left;
    };
    for (const FailureCase& c :
         {FailureCase{base + "/file/sub", "Error creating directory " + base + "/file: Not a directory\n", 0},
          FailureCase{base + "/file", "Error creating directory " + base + "/file: File exists\n", 0},
          FailureCase{base + "/locked", "Error writing file " + base + "/locked/01-kick.wav: Permission denied\n", 0},
          FailureCase{base + "/taken", "Error writing file " + base + "/taken/03-hat_open.wav: Is a directory\n", 2}}) {
        const RunResult result = run_binary({"=A", "-", "x" + c.dir, "i"}, &module, Source::file, nullptr, true);
        EXPECT_EQ(result.status, 1) << c.dir;
        EXPECT_EQ(result.err, c.err);
        if (fs::is_directory(c.dir)) {
            EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(c.dir), fs::directory_iterator{})),
                      c.files_left) << c.dir;
        }
    }
    fs::permissions(folder.path / "locked", fs::perms(0755));
}

}  // namespace
}  // namespace trk2inst::test
