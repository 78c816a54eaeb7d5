// STMIK (STX) modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// The 64-byte header, the pattern and sample pointer tables, the channel
// table and orders, 80-byte sample records, then each sample's bytes on a
// paragraph of its own.
struct StxSample {
    std::uint8_t type = 1;
    std::string name{};
    std::uint32_t length = 0;  // frames
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;
    std::uint8_t volume = 64;
    std::uint8_t pack = 0;
    std::uint8_t flags = 0;  // 1 loop, 2 stereo, 4 16-bit
    std::uint32_t c2spd = 8363;
    std::optional<Bytes> data{};  // default: filler of the sample's bytes
};

struct StxSpec {
    std::uint16_t patterns = 1;
    std::optional<std::uint16_t> sample_count{};  // default: the samples'
    std::vector<StxSample> samples{};
};

Bytes build_stx(const StxSpec& layout);

}  // namespace trk2inst::build
