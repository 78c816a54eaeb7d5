// Imago Orpheus modules: instruments, each followed by its samples.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

struct ImfSample {
    std::string file_name;
    std::optional<std::uint32_t> length;  // bytes; default: the data's size
    std::uint32_t loop_start = 0;         // bytes
    std::uint32_t loop_end = 0;
    std::uint32_t rate = 8363;
    std::uint8_t volume = 64;
    std::uint8_t pan = 128;
    std::uint8_t flags = 0;  // 1 loop, 2 ping-pong, 4 16-bit, 8 pan valid
    Bytes data;
};

struct ImfInstrument {
    std::string name;
    std::array<std::uint8_t, 120> key_map{};  // sample within the instrument, per note
    std::uint16_t fadeout = 0;
    std::optional<std::uint16_t> sample_count;  // default: the samples given
    std::vector<ImfSample> samples;
};

struct ImfSpec {
    std::uint8_t channels = 4;  // the rest are switched off
    std::uint8_t bpm = 125;
    std::vector<std::uint16_t> pattern_sizes = {4};  // as stored, each counting its own 4 bytes
    std::optional<std::uint16_t> instrument_count;   // default: the instruments given
    std::vector<ImfInstrument> instruments;
};

Bytes build_imf(const ImfSpec& layout);

}  // namespace trk2inst::build
