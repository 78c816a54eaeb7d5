// Digitrakker modules, with the packer of their samples.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// An IS record and its SA block. Packed (flags bits 2-3 = 1 or 2), the
// values are packed by mdl_pack unless the block's stream is given.
struct MdlSample {
    std::uint8_t number = 1;
    std::string name;
    std::uint32_t rate = 8363;
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_start = 0;
    std::uint32_t loop_length = 0;
    std::uint8_t volume = 255;  // version 0
    std::uint8_t flags = 0;     // bit 0 16-bit, bit 1 ping-pong, bits 2-3 pack method
    std::vector<std::int16_t> values;
    std::optional<Bytes> stream;  // a packed block's bytes after its size
};

// An instrument entry of II (version 1): the sample, its volume, and the
// volume-envelope byte (bit 6: the volume is valid).
struct MdlEntry {
    std::uint8_t sample = 1;
    std::uint8_t volume = 255;
    std::uint8_t envelope = 0x40;
};

// "DMDL", the version, then IN (channel bytes), PA (pattern track tables),
// II (version 1), IS and SA chunks.
struct MdlSpec {
    std::uint8_t version = 0x11;
    std::array<std::uint8_t, 32> channel_bytes{};  // bit 7: off
    std::vector<std::vector<std::uint16_t>> patterns{{1, 2, 3, 4}};  // track numbers by channel
    std::vector<std::vector<MdlEntry>> instruments;
    std::vector<MdlSample> samples;
    bool sa = true;
};

Bytes build_mdl(const MdlSpec& layout);

// The bit stream of 8 or 16-bit values: each 16-bit value's low byte plain,
// then the difference of each high (or only) byte from the one before.
Bytes mdl_pack(const std::vector<std::int16_t>& values, int bits);

}  // namespace trk2inst::build
