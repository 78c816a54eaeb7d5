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

}  // namespace trk2inst::build
