// Farandole Composer (FAR) modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// The header with the song text and pattern sizes, the patterns, the map of
// samples present, then each sample's 48-byte header and its bytes.
struct FarSample {
    int index = 0;  // 0..63: slot index + 1
    std::string name{};
    std::uint32_t length = 0;  // bytes
    std::uint8_t volume = 15;
    std::uint32_t loop_start = 0;  // bytes
    std::uint32_t loop_end = 0;
    std::uint8_t type = 0;       // bit 0: 16-bit
    std::uint8_t loop_mode = 0;  // bit 3: loop
    std::optional<Bytes> data{};   // default: filler of `length` bytes
};

struct FarSpec {
    std::string text{};
    std::optional<std::uint16_t> header_length{};  // default: where the patterns start
    std::vector<std::pair<int, std::uint16_t>> patterns{{0, 66}};  // index and size in bytes
    std::vector<FarSample> samples{};  // in index order
};

Bytes build_far(const FarSpec& layout);

}  // namespace trk2inst::build
