// DSMI's AMF modules, as its M2AMF converter writes them, and their compact
// DMF variant (no song name, 20-byte sample headers, delta-coded data). The
// sample data follow the tracks, one block per data index, so the reader
// walks the track chain to find them.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr unsigned amf_name_length = 32;
constexpr std::int64_t full_header_size = 65;   // version 10 and later
constexpr std::int64_t short_header_size = 59;  // before 10, and M2AMF 1.3's version 10
constexpr std::int64_t compact_header_size = 20;
constexpr std::uint32_t longest_plausible_sample = 0x100000;
constexpr unsigned no_loop_end = 0xFFFF;  // before version 10
constexpr std::int64_t track_head_size = 3;  // event count, a byte not used
constexpr std::int64_t event_size = 3;

enum class HeaderLayout : std::uint8_t { short_fields, full, truncated, compact };

// The fixed part of the header: counts and where the sample headers start.
struct AmfLayout {
    bool compact = false;
    unsigned version = 0;
    unsigned samples = 0;
    unsigned orders = 0;  // each order is its own pattern
    unsigned tracks = 0;  // entries of the track map
    unsigned channels = 4;
    std::int64_t sample_headers = 0;
};

AmfLayout amf_layout(const ModuleHead& head)
{
    AmfLayout layout;
    layout.compact = head.holds(0, "DMF");
    layout.version = head.u8(3);
    std::size_t at = layout.compact ? 4 : 4 + amf_name_length;
    layout.samples = head.u8(at);
    layout.orders = head.u8(at + 1);
    layout.tracks = head.u16le(at + 2);
    at += 4;
    if (layout.version >= 9)
        layout.channels = head.u8(at++);
    if (layout.version == 9 || layout.version == 10)
        at += 16;  // channel remap
    if (layout.version == 11)
        at += 16;  // pans
    else if (layout.version >= 12)
        at += 32;
    if (layout.version >= 13)
        at += 2;  // tempo, speed
    // Version 14 gives each order its row count before the track references.
    const std::int64_t order_size = (layout.version >= 14 ? 2 : 0) + 2 * std::int64_t{layout.channels};
    layout.sample_headers = static_cast<std::int64_t>(at) + layout.orders * order_size;
    return layout;
}

struct AmfSample {
    unsigned type = 0;  // 0: no sample
    std::array<char, amf_name_length> name{};
    std::uint32_t index = 0;  // of the data block; 0: no data
    std::uint32_t length = 0;  // bytes
    std::uint16_t rate = 0;
    std::uint8_t volume = 0;
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;
};

std::int64_t header_size(HeaderLayout layout)
{
    switch (layout) {
    case HeaderLayout::full:
        return full_header_size;
    case HeaderLayout::compact:
        return compact_header_size;
    case HeaderLayout::short_fields:
    case HeaderLayout::truncated:
        break;
    }
    return short_header_size;
}

AmfSample read_amf_sample(InputStream& input, HeaderLayout layout)
{
    AmfSample sample;
    sample.type = read_u8(input);
    if (layout == HeaderLayout::compact) {
        skip_bytes(input, 1);  // what is left of the name
    } else {
        read_block(input, sample.name.data(), sample.name.size());
        skip_bytes(input, 13);  // DOS file name
    }
    sample.index = read_u32le(input);
    const bool wide = layout != HeaderLayout::short_fields;  // 32-bit length and loop
    sample.length = wide ? read_u32le(input) : read_u16le(input);
    sample.rate = read_u16le(input);  // Hz at middle C
    sample.volume = read_u8(input);   // 0..64
    switch (layout) {
    case HeaderLayout::short_fields:
        sample.loop_start = read_u16le(input);
        sample.loop_end = read_u16le(input);
        break;
    case HeaderLayout::truncated:  // the loop, if any, runs to the end
        sample.loop_start = read_u16le(input);
        sample.loop_end = sample.length;
        break;
    case HeaderLayout::full:
        sample.loop_start = read_u32le(input);
        sample.loop_end = read_u32le(input);
        break;
    case HeaderLayout::compact:
        sample.loop_start = read_u32le(input);
        sample.loop_end = read_u16le(input);
        sample.loop_end |= std::uint32_t{read_u8(input)} << 16;
        break;
    }
    return sample;
}

bool plausible(const AmfSample& sample, unsigned sample_count)
{
    return sample.type <= 1 && sample.index <= sample_count && sample.length <= longest_plausible_sample &&
           sample.volume <= 64 && sample.loop_start <= sample.length && sample.loop_end <= sample.length;
}

// M2AMF 1.3 writes version-10 files with the old 59-byte headers: read as
// 65-byte ones, some header then makes no sense.
HeaderLayout header_layout(InputStream& input, const AmfLayout& layout)
{
    if (layout.compact)
        return HeaderLayout::compact;
    if (layout.version < 10)
        return HeaderLayout::short_fields;
    if (layout.version > 10)
        return HeaderLayout::full;
    seek_to(input, layout.sample_headers);
    for (unsigned i = 0; i < layout.samples; ++i)
        if (!plausible(read_amf_sample(input, HeaderLayout::full), layout.samples))
            return HeaderLayout::truncated;
    return HeaderLayout::full;
}

bool loops(const AmfSample& sample, HeaderLayout layout)
{
    if (sample.type == 0)
        return false;
    if (layout == HeaderLayout::truncated)
        return sample.loop_start != 0;
    if (layout == HeaderLayout::short_fields && sample.loop_end == no_loop_end)
        return false;
    return sample.loop_end > std::int64_t{sample.loop_start} + 2 && sample.loop_end <= sample.length;
}

// Past the track map: stored tracks 1 to the largest number it holds. Once
// past the end of the input every track reads as an empty one.
std::int64_t sample_data_start(InputStream& input, const AmfLayout& layout, std::int64_t track_map)
{
    seek_to(input, track_map);
    unsigned stored_tracks = 0;
    for (unsigned i = 0; i < layout.tracks; ++i)
        stored_tracks = std::max<unsigned>(stored_tracks, read_u16le(input));
    const std::int64_t size = input_size(input);
    std::int64_t at = track_map + 2 * std::int64_t{layout.tracks};
    seek_to(input, at);
    for (unsigned track = 0; track < stored_tracks; ++track) {
        if (at >= size)
            return at + track_head_size * (stored_tracks - track);
        const std::int64_t events = read_u16le(input);
        // Version 1 does not count the end marker.
        const std::int64_t marker = layout.version == 1 && events != 0 ? 1 : 0;
        const std::int64_t bytes = 1 + event_size * (events + marker);
        skip_bytes(input, bytes);
        at += 2 + bytes;
    }
    return at;
}

StoredCoding amf_coding(const AmfLayout& layout)
{
    return layout.compact ? StoredCoding::unsigned_delta : StoredCoding::unsigned_values;
}

}  // namespace

bool is_dsmi_amf_module(const ModuleHead& head)
{
    const unsigned version = head.u8(3);
    const bool amf = head.holds(0, "AMF") && (version == 1 || (version >= 8 && version <= 14));
    const bool dmf = head.holds(0, "DMF") && version >= 10 && version <= 14;
    if (!amf && !dmf)
        return false;
    const AmfLayout layout = amf_layout(head);
    const unsigned most_channels = version >= 12 ? 32 : 16;
    return layout.samples != 0 && layout.orders != 0 && layout.tracks != 0 && layout.channels >= 1 &&
           layout.channels <= most_channels;
}

void read_dsmi_amf_module(RunState& state)
{
    InputStream& input = state.input;
    ModuleHead head;
    head.size = read_block(input, head.bytes.data(), 64);
    const AmfLayout layout = amf_layout(head);
    std::memcpy(state.summary.format_tag.data(), "AMF ", 5);
    state.summary.channels = static_cast<std::int32_t>(layout.channels);
    state.summary.patterns = static_cast<std::int32_t>(layout.orders);
    state.summary.no_expected_length = true;

    const HeaderLayout fields = header_layout(input, layout);
    std::vector<AmfSample> samples;
    seek_to(input, layout.sample_headers);
    for (unsigned i = 0; i < layout.samples; ++i)
        samples.push_back(read_amf_sample(input, fields));
    const std::int64_t track_map = layout.sample_headers + layout.samples * header_size(fields);
    // Block k holds the data of the samples whose index is k, as long as
    // the first of them.
    std::array<std::int64_t, 257> block_start{};
    std::array<bool, 257> block_sized{};
    std::array<std::int64_t, 257> block_length{};
    for (const AmfSample& sample : samples)
        if (sample.index >= 1 && sample.index <= layout.samples && !block_sized[sample.index]) {
            block_sized[sample.index] = true;
            block_length[sample.index] = sample.length;
        }
    block_start[1] = sample_data_start(input, layout, track_map);
    for (std::size_t k = 2; k <= layout.samples; ++k)
        block_start[k] = block_start[k - 1] + block_length[k - 1];

    const std::int64_t file_size = input_size(input);
    const int last_read = state.settings.every_sample ? sample_limit : slot_count;
    const int read = std::min(static_cast<int>(layout.samples), last_read);
    for (int i = 0; i < read; ++i) {
        const AmfSample& header = samples[static_cast<std::size_t>(i)];
        if (state.settings.every_sample && layout.sample_headers + i * header_size(fields) >= file_size) {
            note_header_past_end(state, i + 1);
            if (i >= slot_count)
                continue;
        }
        StoredSample sample;
        sample.name = std::string_view(header.name.data(), header.name.size());
        sample.volume = header.volume;
        sample.rate = header.rate;
        const bool has_data = header.type != 0 && header.index >= 1 && header.index <= layout.samples;
        sample.layout = {amf_coding(layout), 8, false, 1,
                         has_data ? block_start[header.index] : 0, has_data ? std::int64_t{header.length} : 0};
        sample.loops = loops(header, fields);
        sample.loop_start = header.loop_start;
        sample.loop_end = header.loop_end;
        store_sample(state, i + 1, sample);
    }
}

}  // namespace trk2inst
