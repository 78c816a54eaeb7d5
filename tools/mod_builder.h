// ProTracker-family modules, 31 and 15 samples.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

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
    std::uint8_t restart = 127;  // as ProTracker writes it; Mod's Grave writes 0
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

// ModPlug's packed sample data in a ProTracker module: "ADPCM", then the
// table and the steps (adpcm_pack).
Bytes mod_adpcm_data(const std::array<std::int8_t, 16>& table, const std::vector<std::uint8_t>& steps);

// NoiseRunner: 31 sample records of 16 bytes from offset 0 (volume, address,
// length, loop address, loop length, finetune), zeros up to the song length
// at 950, the orders at 952, "M.K.", patterns of 1,024 bytes, the data. The
// builder gives the samples consecutive even addresses from 0x10000.
struct NruSample {
    std::uint16_t volume = 64;
    std::uint16_t length = 0;       // words
    std::uint32_t loop_offset = 0;  // bytes from the sample's start to its loop
    std::uint16_t loop_length = 1;  // words
    std::int16_t finetune = 0;      // -72 n for ProTracker's finetune n
    std::optional<Bytes> data;      // default: filler of 2 * length bytes
};

struct NruSpec {
    std::vector<NruSample> samples;  // up to 31; the rest are empty
    std::uint8_t song_length = 1;
    std::array<std::uint8_t, 128> orders{};
    std::optional<Bytes> pattern_data;  // default: zeros for the song's patterns
};

Bytes build_noiserunner(const NruSpec& layout);

// UNIC Tracker: the ProTracker header with a 20-byte name, then a signed
// finetune, in each sample header; patterns of 768 bytes (3-byte cells).
struct UnicSample {
    std::string name;               // 20 bytes
    std::int16_t finetune = 0;      // -1 is ProTracker's +1
    std::uint16_t length = 0;       // words
    std::uint8_t volume = 64;
    std::uint16_t loop_start = 0;   // words
    std::uint16_t loop_length = 0;  // words
    std::optional<Bytes> data;      // default: filler of 2 * length bytes
};

struct UnicSpec {
    std::string title = "unic module";
    std::vector<UnicSample> samples;  // up to 31; the rest are empty
    std::uint8_t song_length = 1;
    std::array<std::uint8_t, 128> orders{};
    std::string tag = "M.K.";  // or "UNIC", or four zero bytes
    Bytes pattern_data;        // written as given
};

Bytes build_unic(const UnicSpec& layout);

// A UNIC cell: note (0 none), sample number (0 to 63), effect, parameter.
Bytes unic_cell(unsigned note, unsigned sample, unsigned effect, unsigned parameter);
Bytes mod_sample_data(const ModSample& sample, int slot_number);

}  // namespace trk2inst::build
