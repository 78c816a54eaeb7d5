// Extended Modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// Extended Module. Every size field is written as given and the structure it
// sizes is then cut or padded to it.
struct XmSample {
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_start = 0;
    std::uint32_t loop_length = 0;
    std::uint8_t volume = 64;
    std::int8_t finetune = 0;
    std::uint8_t type = 0;
    std::uint8_t panning = 128;
    std::int8_t relative_note = 0;
    std::uint8_t reserved = 0;  // byte 17: 0xAD marks ModPlug's ADPCM
    std::string name;
    std::optional<Bytes> data;  // as stored (delta-coded); default: filler of `length` bytes
};

struct XmEnvelopePoint {
    std::uint16_t tick = 0;
    std::uint16_t value = 0;
};

// With samples, the header from offset 33 holds the key table, the volume
// envelope (at most 12 points written; the count as given) and the fadeout.
struct XmInstrument {
    std::string name;
    std::optional<std::uint32_t> size;  // default 263 with samples, 29 without
    std::optional<std::uint16_t> sample_count;
    std::uint32_t sample_header_size = 40;
    std::vector<XmSample> samples;
    std::array<std::uint8_t, 96> keys{};  // the sample each note plays
    std::vector<XmEnvelopePoint> volume_points{};
    std::optional<std::uint8_t> volume_point_count{};
    std::uint8_t volume_sustain = 0;
    std::uint8_t volume_loop_start = 0;
    std::uint8_t volume_loop_end = 0;
    std::uint8_t volume_type = 0;  // bit 0 on, bit 1 sustain, bit 2 loop
    std::uint16_t fadeout = 0;
};

struct XmPattern {
    std::uint32_t header_length = 9;
    std::uint16_t rows = 64;
    Bytes packed;
};

// Versions 1.02 and 1.03 put the instruments and their sample headers before
// the patterns and every sample's data after them; 1.02's pattern header is
// 8 bytes with a row count byte (rows - 1), and a header_length of 9 is
// written as 8.
struct XmSpec {
    std::uint16_t version = 0x0104;
    std::string name = "test module";
    std::uint32_t header_size = 276;
    std::uint16_t channels = 8;
    std::optional<std::uint16_t> pattern_count;
    std::optional<std::uint16_t> instrument_count;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
    std::uint16_t tempo = 125;  // beats per minute
    // Written as every instrument's "sample header size" (+29), whatever
    // size its headers have; default: their size.
    std::optional<std::uint32_t> header_size_field;
};

Bytes build_xm(const XmSpec& layout);

// Instruments `first` + 1 to `first` + `instruments`, each of sixteen sample
// headers (as one tracker writes them), the first two with data: an 8-bit
// sample of odd length, then a 16-bit one whose loop holds an odd count of
// values, played from C-4 up. Sample numbers run past 99 from seven on.
Bytes xm_sixteen_headers_each(int instruments, int first = 0);
Bytes xm_sample_data(const XmSample& sample);

}  // namespace trk2inst::build
