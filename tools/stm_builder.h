// Scream Tracker 2 (STM) modules and songs.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// The header, 31 sample headers (version 1.10: one per sample after a gap),
// the orders, empty patterns, then each sample's bytes on a paragraph of its
// own, pointed to by its header.
struct StmSample {
    std::string name{};
    std::uint16_t length = 0;  // bytes
    std::uint16_t loop_start = 0;
    std::uint16_t loop_end = 0xFFFF;  // no loop
    std::uint8_t volume = 64;
    std::uint16_t c2spd = 8363;
    std::optional<Bytes> data{};                    // default: filler of `length` bytes
    std::optional<std::uint16_t> data_paragraph{};  // default: where the builder puts it
};

struct StmSpec {
    std::uint8_t type = 2;  // 1: a song, whose samples are kept outside
    std::uint8_t major = 2;
    std::uint8_t minor = 21;
    std::uint8_t patterns = 1;
    std::uint16_t gap = 0;  // version 1.10: bytes before the sample headers
    std::vector<StmSample> samples{};
};

Bytes build_stm(const StmSpec& layout);

}  // namespace trk2inst::build
