// Impulse Tracker modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

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
    std::uint8_t default_pan = 32;  // DfP: bit 7 set uses it
    std::string signature = "IMPS";
    std::optional<std::uint32_t> header_pointer;  // default: where the builder puts the header
    std::optional<std::uint32_t> data_pointer;    // default: where the builder puts the data
};

struct ItEnvelopeNode {
    std::uint16_t tick = 0;  // a byte in the old layout
    std::uint8_t value = 0;
};

// An instrument header of 554 bytes, in the new layout, or in the old one when
// the module's Cmwt is below 0x200 (its nodes end with a tick of 0xFF).
struct ItInstrument {
    std::string name;  // 26 bytes
    std::string signature = "IMPI";
    std::optional<std::array<std::uint8_t, 120>> notes{};  // the note each key plays; default: the key
    std::array<std::uint8_t, 120> samples{};  // the sample each key plays, 0 none
    std::uint8_t envelope_flags = 0;  // bit 0 on, bit 1 loop, bit 2 sustain loop
    std::vector<ItEnvelopeNode> nodes{};
    std::optional<std::uint8_t> node_count{};  // new layout; default: the nodes'
    std::uint8_t loop_begin = 0;
    std::uint8_t loop_end = 0;
    std::uint8_t sustain_begin = 0;
    std::uint8_t sustain_end = 0;
    std::uint16_t fadeout = 0;
    std::uint8_t global_volume = 128;
    std::uint8_t default_pan = 0x80 | 32;  // DfP: bit 7 set does not use it
    std::optional<std::uint32_t> pointer{};  // default: where the builder puts the header
};

struct ItSpec {
    std::string song_name = "test module";
    std::uint16_t order_count = 2;
    std::uint16_t instrument_count = 0;  // with instruments: their count when this is 0
    std::uint16_t created_with = 0x0214;  // Cwt/v
    std::uint16_t compatible_with = 0x0214;
    std::uint32_t edit_timer = 0;  // at 0x3C: Impulse Tracker from 2.07 keeps one, other trackers 0
    std::optional<std::uint16_t> sample_count;
    std::vector<ItSample> samples;
    std::vector<Bytes> patterns;  // packed rows of 64-row patterns
    std::vector<ItInstrument> instruments;  // any: instrument mode
    std::uint8_t tempo = 125;
};

Bytes build_it(const ItSpec& layout);

// Samples `first` + 1 to `first` + `count`, 8-bit and 16-bit looped in turn,
// each at its own rate; with `first` 0, one instrument whose key n plays
// sample n mod count + 1.
Bytes it_many_samples(int count, int first = 0);

// Values as an Impulse Tracker module stores them uncompressed: signed, 8-bit
// or 16-bit little-endian.
Bytes it_pcm(const std::vector<std::int16_t>& values, int bits);

// One channel in IT 2.14 or 2.15 compression: blocks of at most 0x8000 (8-bit)
// or 0x4000 (16-bit) values, each its byte count and its bit stream. Each
// difference is written at the narrowest width that can hold it.
Bytes it_compress(const std::vector<std::int16_t>& values, bool sixteen_bit, bool it215);

}  // namespace trk2inst::build
