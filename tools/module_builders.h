// Builders that write tracker modules byte by byte, for the tests and for the
// example module. They write what they are told, including unsound size fields,
// so that a reader can be tried on any shape of module.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trk2inst::build {

using Bytes = std::vector<std::uint8_t>;

void put_u8(Bytes& out, unsigned value);
void put_u16be(Bytes& out, unsigned value);
void put_u16le(Bytes& out, unsigned value);
void put_u32le(Bytes& out, std::uint32_t value);
// Writes text, cut or zero-padded to exactly width bytes.
void put_text(Bytes& out, std::string_view text, std::size_t width);
// Cuts the buffer to size bytes, or pads it with zeros up to size.
void fit_to(Bytes& out, std::size_t size);
void append(Bytes& out, const Bytes& more);

// prefix followed by the decimal number, such as "s12".
std::string numbered(const char* prefix, int number);

// Writes the bytes to the file; on failure prints why on standard error and
// returns false.
bool write_file(const std::string& path, const Bytes& bytes);

// A recognisable filler: byte i is (seed + i * 7) mod 256.
Bytes filler(std::size_t size, unsigned seed);

// ProTracker-family module. Sample data default to filler of 2 * length bytes;
// pattern data default to zeros of the size the order table and `channels` give.
struct ModSample {
    std::string name;
    std::uint16_t length = 0;  // words
    std::uint8_t finetune = 0;
    std::uint8_t volume = 64;
    std::uint16_t loop_start = 0;
    std::uint16_t loop_length = 1;
    std::optional<Bytes> data;
};

struct ModSpec {
    std::string title = "test module";
    std::vector<ModSample> samples;  // up to 31; the rest are empty
    std::uint8_t song_length = 1;
    std::array<std::uint8_t, 128> orders{};
    std::string tag = "M.K.";
    Bytes after_tag;   // "FA0x" modules: four bytes follow the tag
    int channels = 4;  // only sizes the default pattern data
    std::optional<Bytes> pattern_data;
};

Bytes build_mod(const ModSpec& layout);

// 15-sample module: no tag, 15 headers whose loop start counts bytes, the
// song length, a tempo byte and the orders, then patterns from offset 600.
// Pattern data default to zeros for the highest order entry + 1 patterns.
struct St15Spec {
    std::string title = "st15 module";
    std::vector<ModSample> samples;  // up to 15; loop_start in bytes
    std::uint8_t song_length = 1;
    std::uint8_t tempo = 0x78;
    std::array<std::uint8_t, 128> orders{};
    std::optional<Bytes> pattern_data;
};

Bytes build_st15(const St15Spec& layout);
Bytes mod_sample_data(const ModSample& sample, int slot_number);

// Extended Module. Every size field is written as given and the structure it
// sizes is then cut or padded to it.
struct XmSample {
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_start = 0;
    std::uint32_t loop_length = 0;
    std::uint8_t volume = 64;
    std::int8_t finetune = 0;
    std::uint8_t type = 0;
    std::uint8_t panning = 128;
    std::int8_t relative_note = 0;
    std::string name;
    std::optional<Bytes> data;  // as stored (delta-coded); default: filler of `length` bytes
};

struct XmInstrument {
    std::string name;
    std::optional<std::uint32_t> size;  // default 263 with samples, 29 without
    std::optional<std::uint16_t> sample_count;
    std::uint32_t sample_header_size = 40;
    std::vector<XmSample> samples;
};

struct XmPattern {
    std::uint32_t header_length = 9;
    std::uint16_t rows = 64;
    Bytes packed;
};

struct XmSpec {
    std::string name = "test module";
    std::uint32_t header_size = 276;
    std::uint16_t channels = 8;
    std::optional<std::uint16_t> pattern_count;
    std::optional<std::uint16_t> instrument_count;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

Bytes build_xm(const XmSpec& layout);
Bytes xm_sample_data(const XmSample& sample);

// Scream Tracker 3 module: header, order list, instrument parapointers,
// instrument headers and sample data on 16-byte paragraphs.
struct S3mInstrument {
    std::uint8_t type = 1;
    std::string file_name;
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_begin = 0;
    std::uint32_t loop_end = 0;
    std::uint8_t volume = 64;
    std::uint8_t pack = 0;
    std::uint8_t flags = 0;
    std::uint32_t c2spd = 8363;
    std::string title;
    std::optional<Bytes> data;                    // default: filler of `length` bytes
    std::optional<std::uint16_t> parapointer;     // default: where the builder puts it
    std::optional<std::uint32_t> data_paragraph;  // default: where the builder puts it
};

struct S3mSpec {
    std::string title = "test module";
    std::uint16_t order_count = 2;
    std::uint16_t pattern_count = 1;
    std::uint16_t format_information = 2;
    std::string tag = "SCRM";
    std::optional<std::uint16_t> instrument_count;
    std::vector<S3mInstrument> instruments;
    // Packed rows of 64-row patterns; when there are any, the pattern count
    // is theirs.
    std::vector<Bytes> patterns;
};

Bytes build_s3m(const S3mSpec& layout);
Bytes s3m_sample_data(const S3mInstrument& instrument);

// Impulse Tracker module: header, order list and pointer tables, sample
// headers, patterns, then the sample data, each where its pointer says.
struct ItSample {
    std::string file_name;
    std::string name;  // 26 bytes in the module
    std::uint8_t flags = 0x01;  // Flg: sample present, 8-bit, mono, uncompressed
    std::uint8_t volume = 64;
    std::uint8_t global_volume = 64;
    std::uint8_t convert = 0x01;  // Cvt: signed values
    std::uint32_t length = 0;     // values of one channel
    std::uint32_t loop_begin = 0;
    std::uint32_t loop_end = 0;   // exclusive
    std::uint32_t c5speed = 8363;
    std::uint32_t sustain_begin = 0;
    std::uint32_t sustain_end = 0;
    Bytes data;  // as stored
    std::string signature = "IMPS";
    std::optional<std::uint32_t> header_pointer;  // default: where the builder puts the header
    std::optional<std::uint32_t> data_pointer;    // default: where the builder puts the data
};

struct ItSpec {
    std::string song_name = "test module";
    std::uint16_t order_count = 2;
    std::uint16_t instrument_count = 0;
    std::uint16_t created_with = 0x0214;  // Cwt/v
    std::uint16_t compatible_with = 0x0214;
    std::optional<std::uint16_t> sample_count;
    std::vector<ItSample> samples;
    std::vector<Bytes> patterns;  // packed rows of 64-row patterns
};

Bytes build_it(const ItSpec& layout);

// Values as an Impulse Tracker module stores them uncompressed: signed, 8-bit
// or 16-bit little-endian.
Bytes it_pcm(const std::vector<std::int16_t>& values, int bits);

// One channel in IT 2.14 or 2.15 compression: blocks of at most 0x8000 (8-bit)
// or 0x4000 (16-bit) values, each its byte count and its bit stream. Each
// difference is written at the narrowest width that can hold it.
Bytes it_compress(const std::vector<std::int16_t>& values, bool sixteen_bit, bool it215);

}  // namespace trk2inst::build
