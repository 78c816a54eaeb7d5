// State shared by one run of the tool: the sample table the readers fill, the
// module summary, the settings the commands change, and the module input.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace trk2inst {

inline constexpr int slot_count = 99;
inline constexpr int name_length = 22;
// The record's length field is 16 bits wide: no slot holds more words.
inline constexpr std::int64_t max_slot_words = 0xFFFF;

struct SampleSlot {
    std::array<char, name_length + 1> name{};  // as stored, zero-terminated after 22 bytes
    std::int32_t length = 0;                   // in 16-bit words; data holds 2 * length bytes
    std::int8_t note = 0;                      // semitones of transposition
    std::uint8_t finetune = 0;                 // ft_nibbles form
    std::uint8_t volume = 0;                   // the module's value, unchanged
    std::int32_t loop_start = 0;               // in words
    std::int32_t loop_length = 0;              // in words; below 2 means no loop
    std::unique_ptr<std::uint8_t[]> data;      // signed 8-bit sample values
    bool odd_length = false;                   // Extended Modules: last byte was dropped
};

using SampleTable = std::array<SampleSlot, slot_count>;

struct ModuleSummary {
    std::array<char, 5> format_tag{};  // four characters and a terminator
    std::int32_t channels = 0;
    std::int32_t patterns = 0;
    bool no_expected_length = false;
};

struct RunSettings {
    bool wow_mode = false;
    std::int32_t key_offset = 0;
    std::int32_t volume_scale = 256;
    // "=A": every sample is stored, converted to what a record holds.
    bool convert_samples = false;
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
    std::array<std::uint8_t, 256> recent{};
    std::int64_t replay_until = 0;
    bool may_rewind = false;
};

struct RunState {
    SampleTable samples;
    ModuleSummary summary;
    RunSettings settings;
    InputStream input;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

// A fatal error: the message goes to standard error and the run ends with
// status 1. The message may hold a zero byte (a "%c" of a zero character).
struct FatalError {
    std::string message;
};

[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Module input. Reads past the end of the input give zeros.

// Finds out whether the input's file can seek and where it stands; called
// once before the first read.
void begin_input(InputStream& input);
std::uint8_t read_u8(InputStream& input);
std::uint16_t read_u16le(InputStream& input);
std::uint16_t read_u16be(InputStream& input);
std::uint32_t read_u32le(InputStream& input);
// Fills size bytes, zeros past the end; returns how many came from the input.
std::size_t read_block(InputStream& input, void* destination, std::size_t size);
void skip_bytes(InputStream& input, std::int64_t count);
void seek_to(InputStream& input, std::int64_t offset);
// The length of a seekable input; the position does not change.
std::int64_t input_size(InputStream& input);
// Copies the input from its position to its end into an unnamed temporary
// file, which then becomes the input, seekable, the copied bytes from offset 0.
void copy_to_temporary_file(InputStream& input);

}  // namespace trk2inst
