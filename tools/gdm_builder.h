// General DigiMusic modules: the header, the sample headers right after it,
// then the data.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

struct GdmSample {
    std::string name;
    std::optional<std::uint32_t> length;  // bytes; default: the data's size
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;  // as stored: 2GDM 1.x adds one
    std::uint8_t flags = 0x04;   // 1 loop, 2 16-bit, 4 volume valid
    std::uint16_t rate = 8363;
    std::uint8_t volume = 64;
    Bytes data;
};

struct GdmSpec {
    std::uint8_t converter_major = 1;  // 2GDM's version
    std::uint8_t channels = 4;         // pan map entries before the first 255
    std::uint8_t patterns = 1;
    std::vector<GdmSample> samples;  // 1 to 256
};

Bytes build_gdm(const GdmSpec& layout);

}  // namespace trk2inst::build
