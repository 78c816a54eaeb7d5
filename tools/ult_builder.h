// UltraTracker (ULT) modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// The header with its message, sample headers (66 bytes from version 4, else
// 64), orders, counts, pans, the tracks, then every sample's bytes back to
// back.
struct UltSample {
    std::string name{};
    std::uint32_t loop_start = 0;  // frames; bytes for 16-bit
    std::uint32_t loop_end = 0;
    std::uint32_t size_start = 0;
    std::uint32_t size_end = 0;  // frames = size end - size start
    std::uint8_t volume = 255;
    std::uint8_t flags = 0;  // 4 16-bit, 8 loop, 16 ping-pong
    std::uint16_t c2spd = 8363;
    std::int16_t finetune = 0;
    std::optional<Bytes> data{};  // default: filler of the sample's bytes
};

struct UltSpec {
    char version = '4';
    std::uint8_t message_lines = 0;
    std::uint8_t channels = 4;
    std::uint8_t patterns = 1;
    std::optional<Bytes> tracks{};  // default: one 0xFC event of 64 rows per track
    std::vector<UltSample> samples{};
};

Bytes build_ult(const UltSpec& layout);

// One event: 5 bytes for a row, or 0xFC, the count and 5 bytes for `rows` rows.
Bytes ult_event(int rows);

}  // namespace trk2inst::build
