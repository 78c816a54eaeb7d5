// Epic MegaGames' MASI modules: the chunked layout (with the Sinaria
// variant) and the older PSM16.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// A DSMP chunk of the chunked layout, or a PSM16 sample header.
struct PsmSample {
    std::string name;
    std::uint16_t number = 0;  // chunked: the slot is number + 1; PSM16: the slot
    std::uint8_t flags = 0;    // chunked: 0x80 loop; PSM16: see the format
    std::optional<std::uint32_t> length;  // bytes; default: the data's size
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;
    std::uint8_t finetune = 0;  // chunked Sinaria: the low nibble; PSM16: the tune byte (0x70: none)
    std::uint8_t volume = 64;
    std::uint32_t rate = 8363;
    Bytes data;
};

struct PsmSpec {
    bool sinaria = false;
    std::vector<std::uint8_t> song_channels = {4};  // one SONG chunk each
    int patterns = 1;                               // PBOD chunks
    std::vector<PsmSample> samples;                 // DSMP chunks, after the patterns
};

Bytes build_psm(const PsmSpec& layout);

struct Psm16Spec {
    std::uint16_t channels_played = 4;
    std::uint16_t channels_processed = 4;
    std::uint16_t patterns = 1;
    std::string table_tag = "PSAH";  // stands before the sample headers
    std::vector<PsmSample> samples;  // headers, then the data in order
};

Bytes build_psm16(const Psm16Spec& layout);

}  // namespace trk2inst::build
