// Composer 669 and UNIS 669 modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// The header with one order, 25-byte sample headers, empty patterns, then
// every sample's bytes back to back.
struct Sample669 {
    std::string name{};
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0xFFFFF;  // no loop
    std::optional<Bytes> data{};         // default: filler of `length` bytes
};

struct Spec669 {
    std::string id = "if";  // or "JN"
    std::uint8_t patterns = 1;
    std::optional<std::uint8_t> sample_count{};  // default: the samples'
    std::vector<Sample669> samples{};
};

Bytes build_669(const Spec669& layout);

}  // namespace trk2inst::build
