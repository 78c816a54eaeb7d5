// OctaMED modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// OctaMED module (MMD0 to MMD3, MMDC): the header, the song with its 63
// instrument entries, the blocks, the sample array pointing to each
// instrument's header and data, and the expansion structure with its InstrExt
// and name arrays. Every number is big-endian, every pointer absolute.
struct MmdInstrument {
    std::uint16_t rep = 0;     // loop start in words
    std::uint16_t replen = 0;  // loop length in words
    std::uint8_t midi_channel = 0;
    std::uint8_t volume = 64;
    std::int8_t transpose = 0;
    Bytes body{};       // what the sample array points to: header and data; empty, a pointer of 0
    Bytes instr_ext{};  // its InstrExt entry, cut or zero-padded to the entry size
    std::string name{}; // its names entry, the same
};

struct MmdSpec {
    std::string id = "MMD1";
    std::vector<MmdInstrument> instruments;
    std::optional<std::uint8_t> numsamples;  // default: the instruments'
    std::vector<std::uint16_t> block_tracks{4};  // a block of so many tracks each
    bool expansion = true;
    std::uint16_t instr_ext_size = 18;
    std::optional<std::uint16_t> instr_ext_count;  // default: the instruments'
    std::uint16_t name_size = 40;
    std::optional<std::uint16_t> name_count;
    bool sample_array = true;
};

Bytes build_mmd(const MmdSpec& layout);

// An instrument header, u32 length and s16 type, and what follows it.
Bytes mmd_sample(std::uint32_t length, std::int16_t type, const Bytes& data);

// A hybrid's synth structure (type -2) with `waveforms` waveform pointers,
// the first to `own`, an instrument header and its data, placed after them.
Bytes mmd_hybrid(std::uint16_t waveforms, const Bytes& own);

// An InstrExt entry of 18 bytes: finetune at 3, flags at 5, long repeat and
// replen at 10 and 14.
Bytes mmd_instr_ext(std::int8_t finetune, std::uint8_t flags, std::uint32_t long_repeat = 0,
                    std::uint32_t long_replen = 0);

// Values as OctaMED stores them: signed 8-bit, or 16-bit big-endian.
Bytes mmd_pcm(const std::vector<std::int16_t>& values, int bits);

}  // namespace trk2inst::build
