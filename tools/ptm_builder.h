// PolyTracker (PTM) modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// The 608-byte header, 80-byte sample headers, then every sample's bytes
// back to back, each header holding its data's offset.
struct PtmSample {
    std::uint8_t type = 1;  // 1 sample; 4 loop, 8 ping-pong, 16 16-bit
    std::string name{};
    std::uint8_t volume = 64;
    std::uint16_t c4spd = 8363;
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;
    std::optional<Bytes> data{};            // default: filler of `length` bytes
    std::optional<std::uint32_t> offset{};  // default: where the builder puts it
};

struct PtmSpec {
    std::uint16_t channels = 4;
    std::uint16_t patterns = 1;
    std::optional<std::uint16_t> sample_count{};  // default: the samples'
    std::vector<PtmSample> samples{};
};

Bytes build_ptm(const PtmSpec& layout);

}  // namespace trk2inst::build
