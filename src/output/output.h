// Output of the commands: instrument records and the module listing, both on
// the run's standard output.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "driver/run_state.h"

namespace trk2inst {

// Writes slot `index` (0-based) as an instrument record; an index outside the
// table ends the run.
void write_instrument(RunState& state, std::int64_t index);

// The 11 header bytes of a slot's record under the given settings.
std::array<std::uint8_t, 11> instrument_record_header(const SampleSlot& slot,
                                                      const RunSettings& settings);

void print_module_info(const RunState& state);

// The file length that a ProTracker header implies.
std::int64_t expected_file_length(const RunState& state);

// Writes slot `index` (0-based) as a RIFF WAVE file, 8-bit mono; an index
// outside the table ends the run.
void write_wav(RunState& state, std::int64_t index);

// "s": sample `index` (0-based) as one RIFF WAVE file of its source sample; an
// index outside the module's samples (and the record table) ends the run.
void write_source_wav(RunState& state, std::int64_t index);

// The same file for a slot in the table, to `out`; false (errno set) when the
// sample is too large for a WAV file. Write errors show on the stream.
bool write_source_wav_file(RunState& state, std::size_t index, std::FILE* out);

// "x": every sample that holds data as DIR/NN-NAME.wav, the path of each on
// standard output. An empty directory is the current one.
void extract_samples(RunState& state, const char* directory);

// The file name "x" gives a sample: its number in two digits or more and its
// name made safe for a file system.
std::string sample_file_name(int sample_number, const char* name);

// The same rule for any file: the number in two digits (three from 100), "-"
// and the safe name, or the number alone for an empty name; then the extension.
std::string numbered_file_name(int number, const char* name, const char* extension);

// A file at PATH as "x" writes each of its files: missing folders made,
// written under a temporary name and renamed when complete. `write` gives its
// contents and false, errno set, for a failure of its own.
void write_whole_file(const std::string& path, const std::function<bool(std::FILE*)>& write);

// "f": the instruments of "z" as one SoundFont 2 bank, into FILE, or onto
// standard output for "-".
void write_soundfont(RunState& state, const char* file);

// "z": what "x" writes, then every instrument that plays a sample as
// DIR/II-NAME.sfz, the path of each on standard output.
void extract_instruments(RunState& state, const char* directory);

// Text as a JSON string holds it, without the quotes: `"` and `\` escaped,
// bytes outside 0x20 to 0x7E as \u00XX. Up to the first zero byte.
std::string json_escaped(const char* text);

// "j": the listing as one JSON object and a newline.
void print_module_json(RunState& state);

struct SamplerInstrument;
// One instrument as an SFZ file's text: a comment naming it, a <group> line
// with its release and envelope, a <region> line for each key range.
void write_sfz(const RunState& state, const SamplerInstrument& instrument, std::FILE* out);

// The WAV sample rate of a slot: 8363 Hz moved by its note byte (with the key
// offset) and its finetune.
std::uint32_t wav_sample_rate(const SampleSlot& slot, const RunSettings& settings);

// Five characters: note letter, accidental, octave, finetune sign and amount.
std::array<char, 5> note_and_finetune(std::int8_t note, std::uint8_t finetune);

}  // namespace trk2inst
