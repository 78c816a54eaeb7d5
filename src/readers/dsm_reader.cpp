// Two unrelated formats that share the extension .dsm: DSIK's RIFF chunks
// (a SONG chunk, then one INST chunk per sample, in slot order, among the
// PATT chunks) and Dynamic Studio's "DSm" modules (fixed tables, then the
// sample data back to back).
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t chunk_head_size = 8;
constexpr std::int64_t song_counts = 40;  // patterns, channels: in the SONG chunk
constexpr std::int64_t instrument_head_size = 64;  // of an INST chunk, before its data

constexpr unsigned flag_loop = 0x01;
constexpr unsigned flag_signed = 0x02;
constexpr unsigned flag_16_bit = 0x04;
constexpr unsigned flag_delta = 0x40;

// Dynamic Studio
constexpr std::int64_t dsm_header_size = 64;
constexpr std::int64_t dsm_sample_header_size = 32;
constexpr std::int64_t track_name_size = 8;
constexpr std::int64_t rows = 64;
constexpr std::int64_t cell_size = 4;
constexpr unsigned type_16_bit = 16;

// "RIFF", size, "DSMF", chunks; or "DSMF" and 12 bytes more, chunks.
std::int64_t first_chunk(const ModuleHead& head)
{
    return head.holds(0, "RIFF") ? 12 : 16;
}

bool is_dsik(const ModuleHead& head)
{
    const bool riff = head.holds(0, "RIFF") && head.holds(8, "DSMF");
    return (riff || head.holds(0, "DSMF")) && head.holds(static_cast<std::size_t>(first_chunk(head)), "SONG");
}

StoredCoding dsik_coding(unsigned flags)
{
    if ((flags & flag_delta) != 0)
        return StoredCoding::delta;
    return (flags & flag_signed) != 0 ? StoredCoding::signed_values : StoredCoding::unsigned_values;
}

void read_dsik_sample(RunState& state, std::int64_t body, std::int64_t chunk_length, int number)
{
    InputStream& input = state.input;
    std::array<std::uint8_t, instrument_head_size> head{};  // zeros past the chunk
    seek_to(input, body);
    const std::int64_t in_chunk = std::min<std::int64_t>(chunk_length, instrument_head_size);
    read_block(input, head.data(), static_cast<std::size_t>(in_chunk));
    const auto u32_at = [&head](std::size_t at) {
        return std::uint32_t{head[at]} | std::uint32_t{head[at + 1]} << 8 | std::uint32_t{head[at + 2]} << 16 |
               std::uint32_t{head[at + 3]} << 24;
    };
    const unsigned flags = head[13] | unsigned{head[14]} << 8;
    const bool sixteen_bit = (flags & flag_16_bit) != 0;
    const std::int64_t width = sixteen_bit ? 2 : 1;
    const std::int64_t held = std::max<std::int64_t>(chunk_length - instrument_head_size, 0) / width;
    StoredSample sample;
    sample.name = std::string_view(reinterpret_cast<const char*>(&head[36]), 28);
    sample.volume = head[15];  // 0..64
    sample.rate = u32_at(32);  // Hz
    sample.layout = {dsik_coding(flags), sixteen_bit ? 16 : 8, false, 1, body + instrument_head_size,
                     std::min<std::int64_t>(u32_at(16), held)};  // frames
    sample.loops = (flags & flag_loop) != 0;
    sample.loop_start = u32_at(20);
    sample.loop_end = u32_at(24);  // exclusive
    store_sample(state, number, sample);
}

void read_dsik_module(RunState& state, const ModuleHead& head)
{
    InputStream& input = state.input;
    // The counts, when the SONG chunk holds them.
    const std::int64_t song = first_chunk(head);
    if (head.u32le(static_cast<std::size_t>(song) + 4) >= song_counts + 4) {
        seek_to(input, song + chunk_head_size + song_counts);
        state.summary.patterns = read_u16le(input);
        state.summary.channels = read_u16le(input);
    }
    const int last_read = state.settings.every_sample ? sample_limit : slot_count;
    const std::int64_t size = input_size(input);
    int samples = 0;
    for (std::int64_t at = first_chunk(head); at + chunk_head_size <= size;) {
        seek_to(input, at);
        std::array<char, 4> id{};
        read_block(input, id.data(), id.size());
        const std::int64_t length = read_u32le(input);
        if (std::memcmp(id.data(), "INST", 4) == 0 && ++samples <= last_read)
            read_dsik_sample(state, at + chunk_head_size, length, samples);
        at += chunk_head_size + length;
    }
    if (state.settings.every_sample)
        note_claimed_samples(state, samples);
}

bool is_dynamic_studio(const ModuleHead& head)
{
    return head.holds(0, "DSm\x1A") && head.u8(4) == 0x20 && head.u8(45) >= 1 && head.u8(45) <= 16 &&
           head.u8(46) != 0 && head.u8(47) != 0 && head.u8(49) <= 100;
}

void read_dynamic_studio_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 45);
    const unsigned channels = read_u8(input);
    const unsigned samples = read_u8(input);
    const unsigned orders = read_u8(input);
    state.summary.channels = static_cast<std::int32_t>(channels);
    seek_to(input, dsm_header_size + channels);  // past the pans
    unsigned highest = 0;
    for (unsigned i = 0; i < orders; ++i)
        highest = std::max<unsigned>(highest, read_u8(input));
    const unsigned patterns = highest + 1;
    state.summary.patterns = static_cast<std::int32_t>(patterns);
    const std::int64_t headers =
        dsm_header_size + channels + orders + track_name_size * patterns * channels;
    std::int64_t data = headers + dsm_sample_header_size * samples + rows * cell_size * patterns * channels;
    const int read = std::min<int>(static_cast<int>(samples), state.settings.every_sample ? sample_limit : slot_count);
    for (int i = 0; i < read; ++i) {
        seek_to(input, headers + dsm_sample_header_size * i);
        std::array<char, name_length> name{};
        read_block(input, name.data(), name.size());
        const bool sixteen_bit = read_u8(input) == type_16_bit;
        const std::uint16_t length = read_u16le(input);  // frames
        const unsigned finetune = read_u8(input);        // ProTracker's nibble
        const std::uint8_t volume = read_u8(input);      // 0..64
        const std::uint16_t loop_start = read_u16le(input);
        const std::uint16_t loop_length = read_u16le(input);
        StoredSample sample;
        sample.name = std::string_view(name.data(), name.size());
        sample.volume = volume;
        sample.finetune = static_cast<std::uint8_t>(finetune & 0x0F);
        sample.layout = {StoredCoding::signed_values, sixteen_bit ? 16 : 8, false, 1, data, length};
        sample.loops = loop_length > 2;
        sample.loop_start = loop_start;
        sample.loop_end = loop_start + loop_length;
        store_sample(state, i + 1, sample);
        data += sixteen_bit ? 2 * length : length;
    }
}

}  // namespace

bool is_dsm_module(const ModuleHead& head)
{
    return is_dsik(head) || is_dynamic_studio(head);
}

void read_dsm_module(RunState& state)
{
    InputStream& input = state.input;
    ModuleHead head;
    head.size = read_block(input, head.bytes.data(), 64);
    std::memcpy(state.summary.format_tag.data(), "DSM ", 5);
    state.summary.no_expected_length = true;
    if (is_dsik(head))
        read_dsik_module(state, head);
    else
        read_dynamic_studio_module(state);
}

}  // namespace trk2inst
