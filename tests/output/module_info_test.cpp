#include <gtest/gtest.h>

#include "output/output.h"
#include "test_support.h"

namespace trk2inst::test {
namespace {

struct NoteCase {
    int note;
    std::uint8_t finetune;
    const char* shown;
};

void PrintTo(const NoteCase& c, std::ostream* os)
{
    *os << "note " << c.note << " finetune " << int(c.finetune);
}

class NoteName : public ::testing::TestWithParam<NoteCase> {};

TEST_P(NoteName, SpellsNoteOctaveAndFinetune)
{
    const NoteCase& c = GetParam();
    const auto name = note_and_finetune(static_cast<std::int8_t>(c.note), c.finetune);
    EXPECT_EQ(std::string(name.data(), name.size()), c.shown) << "note " << c.note;
}

INSTANTIATE_TEST_SUITE_P(
    Notes, NoteName,
    ::testing::Values(NoteCase{0, 0, "C.5+0"}, NoteCase{12, 0, "C.4+0"}, NoteCase{-1, 0, "C#5+0"},
                      NoteCase{1, 0, "B.4+0"}, NoteCase{-5, 0, "F.5+0"}, NoteCase{-6, 0, "F#5+0"},
                      NoteCase{0, 0x0F, "C.5-1"}, NoteCase{0, 0x08, "C.5-8"},
                      NoteCase{0, 0x07, "C.5+7"}, NoteCase{0, 0xF7, "C.5+7"},
                      NoteCase{0, 0x4C, "C.5-4"}, NoteCase{72, 0, "C./+0"},
                      NoteCase{61, 0, "B./+0"}, NoteCase{60, 0, "C.0+0"},
                      NoteCase{-59, 0, "B.9+0"}, NoteCase{-60, 0, "C.:+0"},
                      NoteCase{-128, 0, "G#?+0"},
                      // Above 72 the octave keeps falling below "/", and the
                      // semitone stays inside the name tables.
                      NoteCase{73, 0, "B..+0"}, NoteCase{84, 0, "C..+0"},
                      NoteCase{127, 0, "F.*+0"}));

std::string listing_of(RunState& state)
{
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    state.out = out.get();
    print_module_info(state);
    std::fflush(out.get());
    std::rewind(out.get());
    std::string text;
    int c;
    while ((c = std::getc(out.get())) != EOF)
        text.push_back(static_cast<char>(c));
    return text;
}

struct LoopCase {
    const char* what;
    std::int32_t loop_length;
    char shown;
};

TEST(ModuleInfo, LoopIsShownForLengthsOfTwoAndMoreOrNegative)
{
    for (const LoopCase& c : {LoopCase{"zero", 0, 'N'}, LoopCase{"one", 1, 'N'},
                              LoopCase{"two", 2, 'Y'}, LoopCase{"negative", -5, 'Y'}}) {
        RunState state;
        state.summary.no_expected_length = true;
        state.samples[0].length = 1;
        state.samples[0].loop_length = c.loop_length;
        const std::string listing = listing_of(state);
        EXPECT_EQ(listing.substr(listing.size() - 8), std::string("Loop: ") + c.shown + "\n")
            << c.what;
    }
}

TEST(ModuleInfo, ListsNonEmptySlotsWithGapsAndTheExpectedLength)
{
    RunState state;
    state.summary = {{'M', '.', 'K', '.', '\0'}, 4, 2, false};
    SampleSlot& bass = state.samples[2];
    std::snprintf(bass.name.data(), bass.name.size(), "bass");
    bass.length = 1000;
    bass.volume = 64;
    bass.loop_length = 2;
    SampleSlot& named_only = state.samples[5];
    std::snprintf(named_only.name.data(), named_only.name.size(), "not listed");
    SampleSlot& last = state.samples[41];
    std::snprintf(last.name.data(), last.name.size(), "Sample_42____________X");
    last.length = 5;
    last.note = 12;
    last.finetune = 0x0F;
    last.volume = 200;
    EXPECT_EQ(listing_of(state),
              "Format: M.K.\nChannels: 4\nPatterns: 2\n\n"
              "[03] bass\n  Len:  1000   Finetune: C.5+0   Vol:  64   Loop: Y\n"
              "[42] Sample_42____________X\n  Len:     5   Finetune: C.4-1   Vol: 200   Loop: N\n"
              "\nExpected length: 5142\n");  // 1084 + 256 * 4 * 2 + 2000 + 10
}

TEST(ModuleInfo, EmptyTablePrintsOnlyTheHeader)
{
    RunState state;
    state.summary = {{'E', 'X', 'T', '.', '\0'}, 12, 3, true};
    EXPECT_EQ(listing_of(state), "Format: EXT.\nChannels: 12\nPatterns: 3\n\n");
    state.summary = {{'8', 'C', 'H', 'N', '\0'}, 8, 1, false};
    EXPECT_EQ(listing_of(state), "Format: 8CHN\nChannels: 8\nPatterns: 1\n\n\nExpected length: 3132\n");
}

}  // namespace
}  // namespace trk2inst::test
