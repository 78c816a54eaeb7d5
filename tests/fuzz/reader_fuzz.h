// One fuzz input for a reader: an options byte, then the module. Bit 0 reads
// the module as from a pipe (no seeking), bit 1 sets WOW mode, bit 2 asks for
// the source samples' shapes and bit 3 for their values too, bit 4 for the
// instruments (as "z" and "j" do).
#pragma once

#include "fuzz_harness.h"

namespace trk2inst::fuzz {

inline void fuzz_reader(const std::uint8_t* data, std::size_t size, void (*reader)(RunState&))
{
    if (size == 0)
        return;
    const std::uint8_t options = data[0];
    const auto stream = memory_stream(data + 1, size - 1);
    auto state = std::make_unique<RunState>();
    state->input.file = stream.get();
    state->settings.wow_mode = (options & 2) != 0;
    state->settings.source_need = (options & 8) != 0   ? SourceNeed::values
                                  : (options & 4) != 0 ? SourceNeed::shape
                                                       : SourceNeed::none;
    state->settings.instruments_needed = (options & 16) != 0;
    begin_input(state->input);
    if ((options & 1) != 0)
        state->input.seekable = false;
    try {
        reader(*state);
    } catch (const FatalError&) {
        return;
    }
    check_table(state->samples);
    check_sources(*state);
    check_instruments(*state);
    try {
        write_everything(*state);
    } catch (const FatalError&) {
        // a sample too large for a WAV file, or a folder that cannot be written
    }
}

}  // namespace trk2inst::fuzz
