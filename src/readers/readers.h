// Module readers: each fills the sample table and the module summary from the
// run's input, or ends the run with a fatal error.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "driver/run_state.h"

namespace trk2inst {

// Standard input, "=M" and "=W": a ProTracker-family module, or an Extended
// Module recognised by its signature. Reads strictly forward.
void read_streamed_module(RunState& state);

// Channel count for a ProTracker format tag; in WOW mode "M.K." becomes "WOW!".
std::int32_t decode_format_tag(std::array<char, 5>& tag, bool wow_mode);

// "=A", for a module whose tag is not known: reads it as a 15-sample module
// from its start when it is one; false, storing nothing, when it is not.
bool read_soundtracker_module(RunState& state);

// What the ProTracker family's samples may be besides plain data ("=A").
struct ProTrackerSampleRules {
    bool adpcm_marks = false;  // ModPlug's "ADPCM" in front of packed data
    bool his_masters = false;  // the finetune byte of His Master's NoiseTracker
};

// Reads the data of samples 1 to `count` one after another, 2 * length bytes
// each as their headers give them; under "=A" with their source samples.
void read_protracker_samples(RunState& state, int count, ProTrackerSampleRules rules);

// "=A": a UNIC Tracker or NoiseRunner module, which keep a ProTracker tag on
// a layout of their own, is read from its first 1,084 bytes and what follows
// them; false, storing nothing and standing at the module's start, when the
// module is not one.
bool read_unic_module(RunState& state, std::span<const std::uint8_t, 1084> head);
bool read_noiserunner_module(RunState& state, std::span<const std::uint8_t, 1084> head);

// Makes the input a seekable file whose module starts at 0; the input stands
// at the module's start.
void make_seekable_from_its_start(InputStream& input);

// Continues right after the 17-byte Extended Module signature.
void read_extended_module(RunState& state);

// Turns delta-coded sample bytes into their 8-bit running sum, in place.
void delta_decode(std::uint8_t* data, std::size_t size);

// "=S": a Scream Tracker 3 module, read by its parapointers.
void read_scream_tracker_module(RunState& state);

// An Impulse Tracker module, read by its pointers from a seekable input.
void read_impulse_tracker_module(RunState& state);

// "=A": an OctaMED module (MMD0 to MMD3, MMDC), read by its pointers from a
// seekable input.
void read_octamed_module(RunState& state);

// "=A": the Amiga chunk formats, DigiBooster 1, Digitrakker, and the
// Unreal package around a module; each recognised by its first bytes and
// read by seeking.
struct ModuleHead;
bool is_dbm_module(const ModuleHead& head);
void read_dbm_module(RunState& state);
bool is_digi_module(const ModuleHead& head);
void read_digi_module(RunState& state);
bool is_okt_module(const ModuleHead& head);
void read_okt_module(RunState& state);
bool is_mdl_module(const ModuleHead& head);
void read_mdl_module(RunState& state);
bool is_umx_package(const ModuleHead& head);
// Reads the module inside the package as "=A" reads a module file.
void read_umx_package(RunState& state);
// The module of a package, now the input from its first byte: recognised
// and read as any module, but for another package.
void read_module_in_package(RunState& state);
// The refusal of a package that holds no module "=A" reads.
[[noreturn]] void refuse_package();
// "=A": the PC tracker formats, each recognised by its first bytes (a pure
// function of them) and read by seeking.
struct ModuleHead;
bool is_dsmi_amf_module(const ModuleHead& head);  // DSMI's AMF and its compact DMF
void read_dsmi_amf_module(RunState& state);
bool is_asylum_module(const ModuleHead& head);
void read_asylum_module(RunState& state);
bool is_gdm_module(const ModuleHead& head);
void read_gdm_module(RunState& state);
bool is_imf_module(const ModuleHead& head);
void read_imf_module(RunState& state);
bool is_psm_module(const ModuleHead& head);  // both layouts
void read_psm_module(RunState& state);
bool is_dsm_module(const ModuleHead& head);  // DSIK's and Dynamic Studio's
void read_dsm_module(RunState& state);
// "=A", the PC trackers' formats: a recognition test of the module's first
// bytes, and a reader of a seekable input.
struct ModuleHead;
bool is_mtm_module(const ModuleHead& head);
void read_mtm_module(RunState& state);
bool is_669_module(const ModuleHead& head);
void read_669_module(RunState& state);
bool is_stm_module(const ModuleHead& head);
void read_stm_module(RunState& state);
bool is_stx_module(const ModuleHead& head);
void read_stx_module(RunState& state);
bool is_ult_module(const ModuleHead& head);
void read_ult_module(RunState& state);
bool is_far_module(const ModuleHead& head);
void read_far_module(RunState& state);
bool is_ptm_module(const ModuleHead& head);
void read_ptm_module(RunState& state);

// "=A": recognises the module by its contents and reads it with every sample
// stored, converted where a record cannot hold it as it stands.
void read_any_module(RunState& state);

struct Pitch {
    std::int8_t note;
    std::uint8_t finetune;  // ft_nibbles form
};
Pitch pitch_from_c2spd(std::uint32_t c2spd);

// Sets the slot's note and finetune from a C2Spd (C5Speed) rate.
void set_pitch(SampleSlot& slot, std::uint32_t c2spd);

// Shared by the readers.

// A signed finetune byte in 1/128 semitone, with its nibbles swapped.
constexpr std::uint8_t ft_nibbles(std::uint8_t finetune)
{
    return static_cast<std::uint8_t>((finetune << 4 | finetune >> 4) & 0xFF);
}

// Reads a name field of `size` bytes (at most 22) and terminates it there.
void read_name(InputStream& input, SampleSlot& slot, std::size_t size);

// Sets the slot's length to at most max_slot_words of the given words; a loop
// is kept inside what is kept.
void keep_words(SampleSlot& slot, std::int64_t words);

// The same from a byte count (an odd last byte is dropped); returns the byte
// count kept.
std::int64_t set_length_from_bytes(SampleSlot& slot, std::uint32_t bytes);

// Allocates the slot's buffer of 2 * length bytes (none for a length of 0,
// nor for a sample past the record table).
void allocate_sample_data(SampleSlot& slot, int slot_number);

// Whether a sample number has a record slot, and so record data.
constexpr bool has_record_slot(int sample_number)
{
    return sample_number >= 1 && sample_number <= slot_count;
}

// Reads the slot's 2 * length bytes into its buffer; returns how many the
// input held.
std::size_t read_sample_data(InputStream& input, SampleSlot& slot);

// Reads the next `count` bytes into `out` as far as the input holds them
// (so `out` never grows past the input), then stands after all `count`, as
// a skip would; returns how many arrived.
std::size_t read_present_bytes(InputStream& input, std::int64_t count, std::vector<std::uint8_t>& out);

struct DecodeBuffers;

// Reads a ModPlug ADPCM sample of `count` values from the input's position
// and stands after its stored bytes. Decodes at least `keep` values into the
// buffers' first channel, and with `whole` every value the input holds; the
// values the input lacks are 0. Returns how many of those read it held.
std::int64_t read_adpcm_sample(InputStream& input, std::int64_t count, std::size_t keep, bool whole,
                               DecodeBuffers& buffers);

// "s" and "x": the WAV data of a sample whose source values were left to be
// decoded again, from a module read by seeking.
void decode_source_again(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav);
void decode_impulse_tracker_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav);
void decode_extended_module_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav);
void decode_scream_tracker_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav);
void decode_octamed_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav);

}  // namespace trk2inst
