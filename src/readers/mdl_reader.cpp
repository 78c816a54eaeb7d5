// The Digitrakker reader, for "=A": little-endian chunks with 2-letter IDs
// after "DMDL" and a version byte. IS numbers the samples (gaps stay empty
// slots); SA holds a block for each of them in IS order, raw or packed.
// Version 1 keeps the volumes in the instruments (II), version 0 in IS.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "readers/module_chunks.h"
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t chunks_start = 5;
constexpr unsigned first_version_1 = 0x10;
constexpr std::int64_t channel_bytes_at = 59;  // in IN, after title, composer and five fields
constexpr int most_channels = 32;
constexpr unsigned channel_off = 0x80;
constexpr std::size_t sample_name_size = 32;
constexpr int most_sample_numbers = 255;
constexpr std::int64_t instrument_entry_size = 14;
constexpr unsigned volume_valid = 0x40;  // of an instrument entry's volume-envelope byte

// IS flags.
constexpr unsigned sixteen_bit = 0x01;
constexpr unsigned ping_pong = 0x02;
constexpr unsigned pack_method_shift = 2;

struct MdlModule {
    bool version_1 = false;
    std::int64_t input_size = 0;
    ChunkWalk chunks;
};

// 0..255 to 0..64, rounded; none stored: 64.
std::uint8_t volume_of_255(int volume)
{
    return static_cast<std::uint8_t>(volume < 0 ? 64 : (volume * 64 + 127) / 255);
}

// The highest channel that IN leaves on, or that a pattern gives a track, + 1.
std::int32_t count_channels(InputStream& input, const MdlModule& module)
{
    int channels = 0;
    ModuleChunk chunk;
    if (find_chunk(input, module.chunks, "IN", chunk) && chunk.size >= channel_bytes_at + most_channels) {
        seek_to(input, chunk.body + channel_bytes_at);
        for (int channel = 0; channel < most_channels; ++channel)
            if ((read_u8(input) & channel_off) == 0)
                channels = channel + 1;
    }
    if (!find_chunk(input, module.chunks, "PA", chunk))
        return channels;
    seek_to(input, chunk.body);
    const unsigned patterns = read_u8(input);
    std::int64_t at = chunk.body + 1;
    for (unsigned pattern = 0; pattern < patterns && at < chunk.end(); ++pattern) {
        seek_to(input, at);
        int tracks = most_channels;
        if (module.version_1) {
            tracks = read_u8(input);
            skip_bytes(input, 17);  // last row, name
        }
        for (int channel = 0; channel < tracks; ++channel)
            if (read_u16le(input) != 0)
                channels = std::max(channels, channel + 1);
        at = input.position;
    }
    return channels;
}

// Version 1: the volume (0..255) of the first instrument entry that names
// the sample and marks its volume valid; -1 where none does.
using SampleVolumes = std::array<int, most_sample_numbers + 1>;

SampleVolumes instrument_volumes(InputStream& input, const MdlModule& module)
{
    SampleVolumes volumes;
    volumes.fill(-1);
    ModuleChunk chunk;
    if (!module.version_1 || !find_chunk(input, module.chunks, "II", chunk))
        return volumes;
    seek_to(input, chunk.body);
    const unsigned instruments = read_u8(input);
    std::int64_t at = chunk.body + 1;
    for (unsigned i = 0; i < instruments && at < chunk.end(); ++i) {
        seek_to(input, at + 1);
        const unsigned entries = read_u8(input);
        at += 2 + std::int64_t{sample_name_size};
        for (unsigned e = 0; e < entries && at + instrument_entry_size <= chunk.end(); ++e) {
            seek_to(input, at);
            const unsigned sample = read_u8(input);
            read_u8(input);  // last note
            const int volume = read_u8(input);
            if ((read_u8(input) & volume_valid) != 0 && volumes[sample] < 0)
                volumes[sample] = volume;
            at += instrument_entry_size;
        }
    }
    return volumes;
}

struct MdlSample {
    unsigned number = 0;  // the slot
    std::array<char, sample_name_size> name{};
    std::uint32_t rate = 0;
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_start = 0;
    std::uint32_t loop_length = 0;  // bytes; 0: no loop
    unsigned volume = 0;
    unsigned flags = 0;

    unsigned method() const { return (flags >> pack_method_shift) & 3; }
};

MdlSample read_sample_header(InputStream& input, bool version_1)
{
    MdlSample header;
    header.number = read_u8(input);
    read_block(input, header.name.data(), header.name.size());
    skip_bytes(input, 8);  // file name
    header.rate = version_1 ? read_u32le(input) : read_u16le(input);
    header.length = read_u32le(input);
    header.loop_start = read_u32le(input);
    header.loop_length = read_u32le(input);
    header.volume = read_u8(input);
    header.flags = read_u8(input);
    return header;
}

// Where the sample's values are in its SA block, bounded by the chunk;
// `block` moves to the next block. A packed size that the input does not
// hold reads as the rest of the chunk.
StoredLayout layout_of(InputStream& input, const MdlSample& header, const ModuleChunk& sa, std::int64_t& block,
                       std::int64_t input_size)
{
    StoredLayout layout;
    const bool wide = (header.flags & sixteen_bit) != 0;
    layout.bits = wide ? 16 : 8;
    layout.frames = wide ? header.length / 2 : header.length;
    if (header.method() == 0) {
        layout.coding = StoredCoding::signed_values;
        layout.offset = block;
        layout.frames = std::min(layout.frames, (sa.end() - block) / (layout.bits / 8));
        block += header.length;
        return layout;
    }
    seek_to(input, block);
    std::int64_t packed = read_u32le(input);
    layout.offset = block + 4;
    if (layout.offset > input_size)
        packed = sa.end() - layout.offset;
    layout.packed_bytes = std::clamp<std::int64_t>(packed, 0, sa.end() - layout.offset);
    block = layout.offset + packed;
    layout.coding = StoredCoding::mdl_packed;
    layout.frames = std::min(layout.frames, most_packed_values(layout.packed_bytes, layout.bits));
    // Method 1 packs 8-bit values and method 2 16-bit ones; no other is known.
    if (header.method() != (wide ? 2u : 1u))
        layout.frames = 0;
    return layout;
}

}  // namespace

bool is_mdl_module(const ModuleHead& head)
{
    return head.holds(0, "DMDL") && head.size > 4 && head.u8(4) < 0x20;
}

void read_mdl_module(RunState& state)
{
    InputStream& input = state.input;
    ModuleSummary& summary = state.summary;
    std::memcpy(summary.format_tag.data(), "DMDL", 5);
    summary.no_expected_length = true;
    MdlModule module;
    module.input_size = input_size(input);
    module.chunks = {chunks_start, module.input_size, 2, false};
    seek_to(input, 4);
    module.version_1 = read_u8(input) >= first_version_1;
    summary.channels = count_channels(input, module);
    ModuleChunk chunk;
    if (find_chunk(input, module.chunks, "PA", chunk)) {
        seek_to(input, chunk.body);
        summary.patterns = read_u8(input);
    }
    const auto volumes = instrument_volumes(input, module);
    ModuleChunk is;
    if (!find_chunk(input, module.chunks, "IS", is))
        return;
    // No SA chunk: the values are missing, as past the end of the input.
    ModuleChunk sa{{}, module.input_size, std::int64_t{1} << 40};
    find_chunk(input, module.chunks, "SA", sa);
    const std::int64_t header_size = module.version_1 ? 59 : 57;
    seek_to(input, is.body);
    const auto count =
        static_cast<unsigned>(std::clamp<std::int64_t>((is.size - 1) / header_size, 0, read_u8(input)));
    const int last_number = state.settings.every_sample ? most_sample_numbers : slot_count;
    std::array<bool, most_sample_numbers + 1> filled{};
    std::int64_t block = sa.body;
    for (unsigned i = 0; i < count; ++i) {
        seek_to(input, is.body + 1 + i * header_size);
        const MdlSample header = read_sample_header(input, module.version_1);
        if (header.number == 0)
            break;
        StoredSample sample;
        sample.name = std::string_view(header.name.data(), header.name.size());
        sample.rate = header.rate;
        sample.volume = volume_of_255(module.version_1 ? volumes[header.number] : static_cast<int>(header.volume));
        if (block < sa.end())
            sample.layout = layout_of(input, header, sa, block, module.input_size);
        const std::uint32_t scale = (header.flags & sixteen_bit) != 0 ? 2 : 1;
        sample.loops = header.loop_length != 0;
        sample.ping_pong = (header.flags & ping_pong) != 0;
        sample.loop_start = header.loop_start / scale;
        sample.loop_end = sample.loop_start + header.loop_length / scale;
        // The first header of a number fills its slot.
        if (static_cast<int>(header.number) <= last_number && !filled[header.number]) {
            filled[header.number] = true;
            store_sample(state, static_cast<int>(header.number), sample);
        }
    }
}

}  // namespace trk2inst
