// The "i" listing: format and counts, one entry per slot that holds a sample,
// and for ProTracker modules the file length their header implies.
#include "output/output.h"

namespace trk2inst {

namespace {

constexpr char note_letters[] = "CCDDEFFGGAAB";
constexpr char note_accidentals[] = ".#.#..#.#.#.";

void print_slot(std::FILE* out, int number, const SampleSlot& slot)
{
    const auto pitch = note_and_finetune(slot.note, slot.finetune);
    const bool loops = static_cast<std::uint32_t>(slot.loop_length) >= 2;
    std::fprintf(out, "[%02d] %s\n  Len: %5d   Finetune: %c%c%c%c%c   Vol: %3d   Loop: %c\n",
                 number, slot.name.data(), slot.length, pitch[0], pitch[1], pitch[2], pitch[3],
                 pitch[4], slot.volume, loops ? 'Y' : 'N');
}

}  // namespace

std::int64_t expected_file_length(const RunState& state)
{
    if (state.summary.expected_length >= 0)
        return state.summary.expected_length;
    std::int64_t length = state.summary.header_size +
                          256 * std::int64_t{state.summary.channels} * state.summary.patterns;
    for (const SampleSlot& slot : record_table(state))
        length += 2 * std::int64_t{slot.length};
    return length;
}

std::array<char, 5> note_and_finetune(std::int8_t note, std::uint8_t finetune)
{
    // Note 0 is C in octave 5; higher notes count down from 72. Division rounds
    // toward minus infinity so that notes above 72 still index the name tables.
    const int from_top = 72 - note;
    const int semitone = ((from_top % 12) + 12) % 12;
    const int octave = (from_top - semitone) / 12;
    const bool negative = (finetune & 0x08) != 0;
    const int amount = negative ? 8 - (finetune & 7) : finetune & 7;
    return {note_letters[semitone], note_accidentals[semitone], static_cast<char>(47 + octave),
            negative ? '-' : '+', static_cast<char>('0' + amount)};
}

void print_module_info(const RunState& state)
{
    std::fprintf(state.out, "Format: %s\nChannels: %d\nPatterns: %d\n\n",
                 state.summary.format_tag.data(), state.summary.channels, state.summary.patterns);
    for (int i = 0; i < slot_count; ++i) {
        const SampleSlot& slot = state.samples[static_cast<std::size_t>(i)];
        if (slot.length != 0)
            print_slot(state.out, i + 1, slot);
    }
    if (!state.summary.no_expected_length)
        std::fprintf(state.out, "\nExpected length: %lld\n",
                     static_cast<long long>(expected_file_length(state)));
}

}  // namespace trk2inst
