// Output of the commands: instrument records and the module listing, both on
// the run's standard output.
#pragma once

#include <array>
#include <cstdint>

#include "driver/run_state.h"

namespace trk2inst {

// Writes slot `index` (0-based) as an instrument record; an index outside the
// table ends the run.
void write_instrument(RunState& state, std::int64_t index);

// The 11 header bytes of a slot's record under the given settings.
std::array<std::uint8_t, 11> instrument_record_header(const SampleSlot& slot,
                                                      const RunSettings& settings);

void print_module_info(const RunState& state);

// Writes slot `index` (0-based) as a RIFF WAVE file, 8-bit mono; an index
// outside the table ends the run.
void write_wav(RunState& state, std::int64_t index);

// The WAV sample rate of a slot: 8363 Hz moved by its note byte (with the key
// offset) and its finetune.
std::uint32_t wav_sample_rate(const SampleSlot& slot, const RunSettings& settings);

// Five characters: note letter, accidental, octave, finetune sign and amount.
std::array<char, 5> note_and_finetune(std::int8_t note, std::uint8_t finetune);

}  // namespace trk2inst
