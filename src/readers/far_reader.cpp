// The Farandole Composer (FAR) reader, for "=A": a header with the song text
// and a table of pattern sizes, the patterns, an 8-byte map of the samples
// present, then each present sample's 48-byte header followed by its signed
// data. No volume (the tracker ignores the byte), no rate: 8363 Hz.
// Little-endian.
#include <algorithm>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t text_start = 98;
constexpr std::int64_t order_part = 259;   // orders, three bytes of song settings
constexpr int pattern_slots = 256;
constexpr int sample_slots = 64;
constexpr std::int64_t sample_header_size = 48;
constexpr unsigned sixteen_bit = 0x01;     // type bit
constexpr unsigned loop_on = 0x08;         // loop mode bit

struct Patterns {
    std::int64_t bytes = 0;
    int count = 0;  // the highest stored, plus 1
};

Patterns read_pattern_sizes(InputStream& input)
{
    Patterns patterns;
    for (int i = 0; i < pattern_slots; ++i) {
        const unsigned size = read_u16le(input);
        patterns.bytes += size;
        if (size != 0)
            patterns.count = i + 1;
    }
    return patterns;
}

// Reads the header at the input's position; returns the bytes of its data.
std::uint32_t read_sample_header(InputStream& input, NameField& name, StoredSample& sample)
{
    sample.name = read_name_field(input, name, 32);
    const std::uint32_t length = read_u32le(input);          // bytes
    skip_bytes(input, 2);                                    // finetune, volume: unused
    const std::uint32_t loop_start = read_u32le(input);      // bytes
    const std::uint32_t loop_end = read_u32le(input);        // bytes, exclusive
    const std::uint32_t width = (read_u8(input) & sixteen_bit) != 0 ? 2 : 1;
    sample.loops = (read_u8(input) & loop_on) != 0 && loop_end > loop_start;
    sample.loop_start = loop_start / width;
    sample.loop_end = loop_end / width;
    sample.rate = 8363;
    sample.layout.coding = StoredCoding::signed_values;
    sample.layout.bits = 8 * static_cast<int>(width);
    sample.layout.frames = length / width;
    return length;
}

}  // namespace

bool is_far_module(const ModuleHead& head)
{
    return head.holds(0, "FAR\xFE") && head.holds(44, "\r\n\x1A") && head.u16le(47) >= 98;
}

void read_far_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 47);
    const std::int64_t header_length = read_u16le(input);
    seek_to(input, 96);
    const std::int64_t text = read_u16le(input);
    seek_to(input, text_start + text + order_part);
    const Patterns patterns = read_pattern_sizes(input);
    set_listing(state.summary, "FAR ", 16, patterns.count);
    // The header is never shorter than its fields.
    std::int64_t at = std::max(header_length, input.position) + patterns.bytes;
    seek_to(input, at);
    std::array<std::uint8_t, sample_slots / 8> map{};
    read_block(input, map.data(), map.size());
    at += sample_slots / 8;
    for (int i = 0; i < sample_slots; ++i) {
        if ((map[static_cast<std::size_t>(i / 8)] >> (i % 8) & 1) == 0)
            continue;
        seek_to(input, at);
        NameField name;
        StoredSample sample;
        const std::uint32_t length = read_sample_header(input, name, sample);
        sample.layout.offset = at + sample_header_size;
        at = sample.layout.offset + length;
        if (sample_header_read(state, i + 1, sample.layout.offset - sample_header_size))
            store_sample(state, i + 1, sample);
    }
}

}  // namespace trk2inst
