// State shared by one run of the tool: the sample table the readers fill, the
// module summary, the settings the commands change, and the module input.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace trk2inst {

// The record table: samples 1 to 99 of a module.
inline constexpr int slot_count = 99;
// "=A": the most samples and instruments of a module that are read (the most
// any tracker writes); past them a module's samples are left out with a warning.
inline constexpr int sample_limit = 4000;
inline constexpr int instrument_limit = 255;
inline constexpr int name_length = 22;
// The record's length field is 16 bits wide: no slot holds more words.
inline constexpr std::int64_t max_slot_words = 0xFFFF;

enum class SourceCompression : std::uint8_t { none, it214, it215, adpcm, mdl };

// A loop of a source sample, in frames (values of one channel).
struct SourceLoop {
    bool ping_pong = false;
    bool sustain = false;    // the Impulse Tracker sustain loop
    std::int64_t start = 0;  // its first frame
    std::int64_t end = 0;    // the first frame after it
};

// A sample as its module stores it, before anything was converted for the record.
struct SourceShape {
    int bits = 8;              // 8 or 16
    int channels = 1;          // 1 or 2
    std::int64_t frames = 0;   // values of one channel that the input holds
    std::uint32_t rate = 1;    // Hz
    std::array<SourceLoop, 2> loops{};  // the normal loop, then the sustain loop
    int loop_count = 0;
    SourceCompression compression = SourceCompression::none;
    bool converted = false;    // the record's data are not these values as they stand
};

// How values are stored one after another at an offset of the input, for the
// readers that describe a sample by its layout alone and leave the decoding
// (at load and when written) to one place.
enum class StoredCoding : std::uint8_t {
    none,             // the reader decodes its own values
    signed_values,    // two's complement
    unsigned_values,  // the top bit flipped
    delta,            // each value the difference from the one before, from 0
    unsigned_delta,   // 8-bit differences whose running sum has its top bit flipped
    byte_delta,       // 16-bit values whose bytes, in order, are 8-bit differences
    high_half_of_32,  // 32-bit words, of which the high 16 bits are kept
    mdl_packed,       // Digitrakker's bit stream of delta-coded values
};

struct StoredLayout {
    StoredCoding coding = StoredCoding::none;
    int bits = 8;              // 8 or 16: the decoded values' range
    bool big_endian = false;
    int channels = 1;          // 2: the left channel's values, then the right's
    std::int64_t offset = 0;   // of the first value
    std::int64_t frames = 0;   // values of each channel that the module claims
    std::int64_t packed_bytes = 0;  // mdl_packed: the bit stream's length from offset
};

// Where the values of a source sample are when they are written.
enum class SourceValues : std::uint8_t {
    slot_data,     // the first frames bytes of the slot's data
    kept,          // wav_data
    decode_again,  // decoded from the input again, by the reader of header_offset
};

// "=A" only: what a reader keeps of a slot's source sample.
struct SourceSample {
    bool present = false;
    SourceShape shape;
    SourceValues values = SourceValues::slot_data;
    std::vector<std::uint8_t> wav_data;  // the WAV data chunk: 8-bit unsigned or 16-bit LE, interleaved
    std::int64_t header_offset = 0;      // the sample's header in the input
    std::int64_t data_offset = 0;        // its data, for readers whose header does not point there
    StoredLayout stored;                 // values stored plainly: decoded again from here
};

// How a slot's module gives the pitch and panning of its sample.
// His Master's NoiseTracker: a ProTracker sample whose finetune byte is a
// signed count of sixteenths of a semitone, downwards.
enum class VoiceFamily : std::uint8_t {
    protracker,
    extended_module,
    scream_tracker,
    impulse_tracker,
    his_masters_noisetracker,
};

// What an instrument takes of a slot's sample besides its data ("z", "j"),
// as the module stores it.
struct SampleVoice {
    VoiceFamily family = VoiceFamily::protracker;
    std::uint32_t stored_rate = 0;    // Scream Tracker 3 C2Spd, Impulse Tracker C5Speed
    std::uint8_t global_volume = 64;  // Impulse Tracker GvL
    std::uint8_t panning = 128;       // Extended Module 0..255; Impulse Tracker DfP (bit 7: use it)
};

// One sample of the module: what its record holds, the sample as stored, and
// how an instrument plays it. Samples past the record table hold the record's
// fields (what their record would hold) but no record data.
struct SampleSlot {
    std::array<char, name_length + 1> name{};  // as stored, zero-terminated after 22 bytes
    std::int32_t length = 0;                   // in 16-bit words; data holds 2 * length bytes (but
                                               // see RunSettings::record_data_needed)
    std::int8_t note = 0;                      // semitones of transposition
    std::uint8_t finetune = 0;                 // ft_nibbles form
    std::uint8_t volume = 0;                   // the module's value, unchanged
    std::int32_t loop_start = 0;               // in words
    std::int32_t loop_length = 0;              // in words; below 2 means no loop
    std::unique_ptr<std::uint8_t[]> data;      // signed 8-bit sample values (slots 1 to 99 only)
    bool odd_length = false;                   // Extended Modules: last byte was dropped
    SourceSample source;                       // "=A": the sample as the module stores it
    SampleVoice voice;
};

// The module's samples, numbered from 1 in the order its reader meets their
// headers: entry n - 1 is sample n. The first 99 are the record table, which
// "o", "w", "-NAME" and "i" read; the list never holds fewer. Under "=A" a
// reader adds samples past 99 when a command gives them out.
using SampleList = std::vector<SampleSlot>;

// The record table, a view of the list's first 99 entries.
using SampleTable = std::span<const SampleSlot, slot_count>;

// The instruments of an Extended Module or an Impulse Tracker module ("=A").
inline constexpr int key_count = 128;        // MIDI keys; 60 plays a sample at its own rate
inline constexpr int envelope_point_limit = 25;

struct KeyTarget {
    std::uint16_t sample = 0;   // a sample number; 0 plays nothing
    std::int8_t transpose = 0;  // semitones from the key to the note played
};

struct EnvelopePoint {
    std::uint16_t tick = 0;  // never below the point before
    std::uint8_t value = 0;  // 0..64
};

// A point range [first, last]; first is -1 for none.
struct EnvelopeSpan {
    int first = -1;
    int last = -1;
};

struct VolumeEnvelope {
    std::array<EnvelopePoint, envelope_point_limit> points{};
    int point_count = 0;  // 0: none, or switched off
    EnvelopeSpan sustain;
    EnvelopeSpan loop;
};

enum class InstrumentKind : std::uint8_t { extended_module, impulse_tracker, impulse_tracker_old };

struct ModuleInstrument {
    InstrumentKind kind = InstrumentKind::extended_module;
    std::array<char, 27> name{};          // up to 26 bytes and a terminator
    bool has_header = false;              // XM: it has samples; IT: "IMPI" found
    std::array<KeyTarget, key_count> keys{};
    std::vector<int> samples;             // the numbers of its samples, ascending
    VolumeEnvelope volume;
    std::uint16_t fadeout = 0;            // as stored
    std::uint8_t global_volume = 128;     // Impulse Tracker GbV
    std::uint8_t default_pan = 0x80;      // Impulse Tracker DfP (bit 7: do not use it)
};

struct InstrumentTable {
    bool from_module = false;  // else one instrument per slot that holds data
    std::vector<ModuleInstrument> list;
};

struct ModuleSummary {
    std::array<char, 5> format_tag{};  // four characters and a terminator
    std::int32_t channels = 0;
    std::int32_t patterns = 0;
    bool no_expected_length = false;
    // ProTracker family: the bytes before the patterns (4 more after "FA0x"),
    // or the whole expected length when a reader knows it (15 samples).
    std::int64_t header_size = 1084;
    std::int64_t expected_length = -1;
    std::uint32_t tempo = 0;  // initial beats per minute; 0: none stored (125)
};

// What the commands of a run need of the source samples ("=A" only): the
// readers do the extra work only when it is asked for.
enum class SourceNeed : std::uint8_t {
    none,
    shape,   // "j": bits, channels, frames, rate, loops
    values,  // "s", "x": the values too
};

struct RunSettings {
    bool wow_mode = false;
    std::int32_t key_offset = 0;
    std::int32_t volume_scale = 256;
    // "=A": every sample is stored, converted to what a record holds.
    bool convert_samples = false;
    SourceNeed source_need = SourceNeed::none;
    // "z", "j": the readers of "=A" also read the instruments and the tempo.
    bool instruments_needed = false;
    // "o", "w", "-NAME": a command writes the records' data. Without one,
    // the readers of stored samples give the slots their fields alone.
    bool record_data_needed = true;
    // "s", "x", "z", "j" under "=A": the readers go on past sample 99.
    bool every_sample = false;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct InputStream {
    std::FILE* file = stdin;
    std::unique_ptr<std::FILE, FileCloser> owned_file;  // set when a named file was opened
    bool seekable = false;
    // Offset in the file, counting the zeros given past its end, so that a skip
    // after a short read lands where the module's sizes say.
    std::int64_t position = 0;
    // Where the input ended, once a read has met its end; -1 before that.
    std::int64_t end = -1;
    // Where the module starts: the offset of the input when reading began.
    std::int64_t start = 0;
    // The last bytes read, each at its position modulo their count. An input
    // that may rewind goes back over them on a pipe: positions below
    // replay_until are read again from here.
    std::array<std::uint8_t, 4096> recent{};
    std::int64_t replay_until = 0;
    bool may_rewind = false;
    // The size of a seekable input, once asked for; -1 before.
    std::int64_t size = -1;
};

// What the module holds that "s", "x", "z" and "j" cannot give out.
struct LeftOut {
    std::int64_t claimed_samples = 0;      // more than sample_limit: what the module claims
    std::int64_t claimed_instruments = 0;  // more than instrument_limit: what the module claims
    bool instrument_samples = false;       // with the instruments past the limit, their samples
    int headers_past_end = 0;              // samples whose headers lie past the end of the input
    int first_past_end = 0;
    int last_past_end = 0;
};

struct RunState {
    SampleList samples = SampleList(slot_count);
    InstrumentTable instruments;
    ModuleSummary summary;
    RunSettings settings;
    InputStream input;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    std::string module_name = "-";  // as the command line gives it; "-" for standard input
    bool out_is_terminal = false;
    // "=A": the first sample whose data the input ends inside; 0 for none.
    int first_cut_sample = 0;
    LeftOut left_out;
    // "=A": samples stored in a form that is not decoded (Ogg Vorbis, a file
    // outside the module, FM registers), which have no data.
    std::vector<int> not_decoded;
};

// "=A": the input ends inside the data of the sample (numbered from 1).
void note_cut_sample(RunState& state, int sample_number);

// The record table of the run.
inline SampleTable record_table(const RunState& state)
{
    return SampleTable(state.samples.data(), slot_count);
}

// Sample `number` (from 1, at most sample_limit) of the list, which grows to
// hold it.
SampleSlot& sample_entry(RunState& state, int number);

// The module claims more samples than are read, or more instruments, or
// holds a sample header past its end.
void note_claimed_samples(RunState& state, std::int64_t claimed);
void note_claimed_instruments(RunState& state, std::int64_t claimed, bool with_their_samples);
void note_header_past_end(RunState& state, int sample_number);
// The sample's data are stored in a form that is not decoded.
void note_not_decoded(RunState& state, int sample_number);

// The one line that says what was left out and why; empty when nothing was.
std::string left_out_warning(const LeftOut& left_out);
// The one line that names the samples not decoded, in order; empty for none.
std::string not_decoded_warning(std::vector<int> samples);

// A fatal error: the message goes to standard error and the run ends with
// status 1. The message may hold a zero byte (a "%c" of a zero character).
struct FatalError {
    std::string message;
};

[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Text from a file or the command line as a message may quote it: up to its
// first zero byte, every byte outside 0x20 to 0x7E as \xNN, so that no file
// can put terminal control bytes into a message.
std::string printable(const char* text);
std::string printable(char c);

// Module input. Reads past the end of the input give zeros.

// Finds out whether the input's file can seek and where it stands; called
// once before the first read.
void begin_input(InputStream& input);
std::uint8_t read_u8(InputStream& input);
std::uint16_t read_u16le(InputStream& input);
std::uint16_t read_u16be(InputStream& input);
std::uint32_t read_u32le(InputStream& input);
std::uint32_t read_u32be(InputStream& input);
// Fills size bytes, zeros past the end; returns how many came from the input.
std::size_t read_block(InputStream& input, void* destination, std::size_t size);
void skip_bytes(InputStream& input, std::int64_t count);
void seek_to(InputStream& input, std::int64_t offset);
// The length of a seekable input; the position does not change.
std::int64_t input_size(InputStream& input);
// Of count bytes from offset, how many the input holds. On a pipe this is
// known only for bytes that have been read or passed over.
std::int64_t bytes_present(InputStream& input, std::int64_t offset, std::int64_t count);
// Copies the input from its position to its end, or its next `count` bytes,
// into an unnamed temporary file, which then becomes the input, seekable,
// the copied bytes from offset 0.
void copy_to_temporary_file(InputStream& input, std::int64_t count = -1);

}  // namespace trk2inst
