// MultiTracker (MTM) modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// The header, 37-byte sample headers, orders, tracks, pattern track lists
// and the comment, then every sample's bytes back to back.
struct MtmSample {
    std::string name{};
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;
    std::uint8_t finetune = 0;
    std::uint8_t volume = 64;
    std::uint8_t attribute = 0;  // bit 0: 16-bit
    std::optional<Bytes> data{};   // default: filler of `length` bytes
};

struct MtmSpec {
    std::uint8_t version = 0x10;
    std::uint16_t tracks = 1;
    std::uint8_t last_pattern = 0;
    std::uint8_t channels = 4;
    std::string comment{};
    std::optional<std::uint8_t> sample_count{};  // default: the samples'
    std::vector<MtmSample> samples{};
};

Bytes build_mtm(const MtmSpec& layout);

}  // namespace trk2inst::build
