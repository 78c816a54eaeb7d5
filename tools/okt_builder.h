// Oktalyzer modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

struct OktSample {
    std::string name;
    std::uint32_t length = 0;  // bytes
    std::uint16_t loop_start = 0;   // words
    std::uint16_t loop_length = 0;  // words
    std::uint16_t volume = 64;
    std::uint16_t mode = 1;  // 0, 2: 7-bit
    Bytes data;  // the SBOD chunk's body; none: no SBOD
};

// "OKTASONG", then CMOD, SAMP (36 headers), SPEE, SLEN, PLEN, PATT, one
// PBOD per pattern and one SBOD per sample with data, an empty SBOD first
// when asked.
struct OktSpec {
    std::array<std::uint16_t, 4> cmod{};
    std::uint16_t patterns = 1;
    std::vector<OktSample> samples;  // up to 36
    bool empty_body_first = false;
};

Bytes build_okt(const OktSpec& layout);

}  // namespace trk2inst::build
