// DSIK's RIFF modules and Dynamic Studio's "DSm" modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// An INST chunk of DSIK, or a Dynamic Studio sample header.
struct DsmSample {
    std::string name;
    std::uint16_t flags = 0;  // DSIK: 1 loop, 2 signed, 4 16-bit, 0x40 delta; DSm: the type (16: 16-bit)
    std::uint8_t volume = 64;
    std::optional<std::uint32_t> length;  // frames; default: the data's bytes per frame
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;  // DSIK: exclusive; DSm: the loop length
    std::uint32_t rate = 8363;   // DSIK only
    std::uint8_t finetune = 0;   // DSm only
    Bytes data;
};

struct DsikSpec {
    bool riff = true;  // else "DSMF" at 0
    std::uint16_t channels = 4;
    std::uint16_t patterns = 1;
    std::vector<DsmSample> samples;  // INST chunks, each after a PATT chunk while patterns last
};

Bytes build_dsik(const DsikSpec& layout);

struct DynamicStudioSpec {
    std::uint8_t channels = 4;
    std::vector<std::uint8_t> orders = {0};
    std::vector<DsmSample> samples;
};

Bytes build_dynamic_studio(const DynamicStudioSpec& layout);

}  // namespace trk2inst::build
