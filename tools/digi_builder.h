// DigiBooster 1 modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

struct DigiSample {
    std::string name;
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_start = 0;
    std::uint32_t loop_length = 0;
    std::uint8_t volume = 64;
    std::int8_t finetune = 0;
    Bytes data;  // as stored
};

// The 1,572-byte header with its sample arrays, `patterns` empty patterns
// (packed: each a 64-byte row mask with no cell), then the samples' data.
struct DigiSpec {
    std::uint8_t channels = 4;
    std::uint8_t patterns = 1;
    bool packed = false;
    std::vector<DigiSample> samples;  // up to 31
};

Bytes build_digi(const DigiSpec& layout);

}  // namespace trk2inst::build
