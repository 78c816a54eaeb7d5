// Asylum's AMF modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

struct AsylumSample {
    std::string name;
    std::uint8_t finetune = 0;
    std::uint8_t volume = 64;
    std::int8_t transpose = 0;
    std::optional<std::uint32_t> length;  // default: the data's size
    std::uint32_t loop_start = 0;
    std::uint32_t loop_length = 0;
    Bytes data;
};

struct AsylumSpec {
    std::uint8_t patterns = 1;
    std::optional<std::uint8_t> samples_used;  // default: the samples given
    std::vector<AsylumSample> samples;         // up to 64
};

Bytes build_asylum(const AsylumSpec& layout);

}  // namespace trk2inst::build
