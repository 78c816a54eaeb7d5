// The Impulse Tracker reader, for "=A": follows the module's 32-bit pointers
// by absolute seeks, so the input is a seekable file. Sample i of the module
// lands in slot i. All fields are little-endian.
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/impulse_tracker_compression.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"

namespace trk2inst {

namespace {

constexpr std::int64_t order_list_offset = 0xC0;
constexpr std::int64_t sample_header_size = 0x50;
constexpr std::int32_t it_channels = 64;
constexpr std::uint16_t stereo_since_version = 0x0214;
constexpr std::size_t it_name_length = 26;

// Flg, the sample header's flags.
constexpr unsigned has_data = 0x01;
constexpr unsigned sixteen_bit = 0x02;
constexpr unsigned stereo = 0x04;
constexpr unsigned compressed = 0x08;
constexpr unsigned loop_on = 0x10;
constexpr unsigned sustain_loop_on = 0x20;
constexpr unsigned loop_ping_pong = 0x40;
constexpr unsigned sustain_ping_pong = 0x80;

// Cvt, how the data are stored.
constexpr unsigned signed_values = 0x01;
constexpr unsigned big_endian = 0x02;
constexpr unsigned delta_values = 0x04;  // compressed: the IT 2.15 variant
constexpr unsigned byte_delta = 0x08;
constexpr unsigned adpcm = 0xFF;
constexpr std::int64_t adpcm_table_size = 16;

struct ItModule {
    std::int64_t file_size = 0;
    bool stereo_allowed = false;  // older versions left the stereo flag on mono data
    DecodeBuffers buffers;
};

struct ItSampleHeader {
    unsigned flags = 0;
    unsigned convert = 0;
    std::uint32_t length = 0;  // values of one channel
    std::uint32_t loop_begin = 0;
    std::uint32_t loop_end = 0;
    std::uint32_t c5speed = 0;
    std::uint32_t sustain_begin = 0;
    std::uint32_t sustain_end = 0;
    std::int64_t data_offset = 0;
};

// Reads the header's fields from offset 0x11 on, past the file name.
ItSampleHeader read_sample_header(InputStream& input, SampleSlot& slot)
{
    ItSampleHeader header;
    skip_bytes(input, 1);  // global volume
    header.flags = read_u8(input);
    slot.volume = read_u8(input);  // the default volume
    read_name(input, slot, name_length);
    skip_bytes(input, static_cast<std::int64_t>(it_name_length - name_length));
    header.convert = read_u8(input);
    skip_bytes(input, 1);  // default pan
    header.length = read_u32le(input);
    header.loop_begin = read_u32le(input);
    header.loop_end = read_u32le(input);  // exclusive
    header.c5speed = read_u32le(input);
    header.sustain_begin = read_u32le(input);
    header.sustain_end = read_u32le(input);  // exclusive
    header.data_offset = read_u32le(input);
    return header;
}

// The normal loop if it is on, else the sustain loop; a ping-pong loop is none.
SampleShape shape_of(const ItSampleHeader& header, bool stereo_allowed)
{
    SampleShape shape;
    shape.bits = (header.flags & sixteen_bit) != 0 ? 16 : 8;
    shape.stereo = (header.flags & stereo) != 0 && stereo_allowed;
    shape.length = header.length;
    if ((header.flags & loop_on) != 0) {
        shape.loops = (header.flags & loop_ping_pong) == 0;
        shape.loop_begin = header.loop_begin;
        shape.loop_end = header.loop_end;
    } else if ((header.flags & sustain_loop_on) != 0) {
        shape.loops = (header.flags & sustain_ping_pong) == 0;
        shape.loop_begin = header.sustain_begin;
        shape.loop_end = header.sustain_end;
    }
    return shape;
}

// 8 or 16-bit values as stored: signed or unsigned, little or big-endian, or
// signed differences (summed per channel), or 16-bit values whose bytes are
// differences.
void decode_uncompressed(const std::vector<std::uint8_t>& bytes, unsigned convert, int bits,
                         std::int16_t* out, std::size_t count)
{
    if (bits == 16 && (convert & byte_delta) != 0) {
        std::uint8_t low = 0;
        std::uint8_t high = 0;
        for (std::size_t i = 0; i < count; ++i) {
            low = static_cast<std::uint8_t>(high + bytes[2 * i]);
            high = static_cast<std::uint8_t>(low + bytes[2 * i + 1]);
            out[i] = static_cast<std::int16_t>(low | high << 8);
        }
        return;
    }
    const bool delta = (convert & delta_values) != 0;
    const bool is_unsigned = !delta && (convert & signed_values) == 0;
    decode_pcm(bytes.data(), bits, is_unsigned, (convert & big_endian) != 0, out, count);
    if (!delta)
        return;
    const unsigned mask = bits == 16 ? 0xFFFF : 0xFF;
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum = (sum + static_cast<std::uint16_t>(out[i])) & mask;
        out[i] = bits == 16 ? static_cast<std::int16_t>(sum) : static_cast<std::int8_t>(sum);
    }
}

// ModPlug's 4-bit ADPCM: a table of 16 signed steps, then two indexes a byte,
// low nibble first, summed from 0. Each channel has (length + 1) / 2 bytes.
void decode_adpcm(const std::array<std::uint8_t, adpcm_table_size>& table,
                  const std::vector<std::uint8_t>& bytes, std::int16_t* out, std::size_t count)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned nibble = (bytes[i / 2] >> (4 * (i & 1))) & 0x0F;
        sum = static_cast<std::uint8_t>(sum + table[nibble]);
        out[i] = static_cast<std::int8_t>(sum);
    }
}

// A value whose bytes are not all inside the file is 0.
void zero_values_past_the_end(std::int64_t present, std::int16_t* out, std::size_t count)
{
    if (present < static_cast<std::int64_t>(count))
        std::fill(out + std::max<std::int64_t>(present, 0), out + count, std::int16_t{0});
}

void read_uncompressed(InputStream& input, ItModule& module, const ItSampleHeader& header,
                       const SampleShape& shape, std::size_t kept)
{
    SampleValues& values = module.buffers.values;
    const bool is_adpcm = shape.bits == 8 && header.convert == adpcm;
    const std::int64_t width = shape.bits / 8;
    const std::int64_t channel_bytes = is_adpcm ? (shape.length + 1) / 2 : shape.length * width;
    std::array<std::uint8_t, adpcm_table_size> table{};
    std::int64_t first_channel = header.data_offset;
    if (is_adpcm) {
        seek_to(input, first_channel);
        read_block(input, table.data(), table.size());
        first_channel += adpcm_table_size;
    }
    std::vector<std::uint8_t>& bytes = module.buffers.bytes;
    bytes.resize(is_adpcm ? (kept + 1) / 2 : kept * static_cast<std::size_t>(width));
    const std::size_t channels = shape.stereo ? 2 : 1;
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const std::int64_t offset = first_channel + static_cast<std::int64_t>(channel) * channel_bytes;
        std::int16_t* out = values.data() + channel * kept;
        seek_to(input, offset);
        read_block(input, bytes.data(), bytes.size());
        if (is_adpcm)
            decode_adpcm(table, bytes, out, kept);
        else
            decode_uncompressed(bytes, header.convert, shape.bits, out, kept);
        const std::int64_t bytes_in_file = std::max<std::int64_t>(module.file_size - offset, 0);
        zero_values_past_the_end(is_adpcm ? 2 * bytes_in_file : bytes_in_file / width, out, kept);
    }
}

void read_compressed(InputStream& input, ItModule& module, const ItSampleHeader& header,
                     const SampleShape& shape, std::size_t kept)
{
    SampleValues& values = module.buffers.values;
    const ItCompression kind{shape.bits == 16, (header.convert & delta_values) != 0};
    const auto keep = static_cast<std::int64_t>(kept);
    // The right channel's blocks start after all of the left channel's.
    const std::int64_t right = read_it_compressed_channel(
        input, header.data_offset, module.file_size, kind, shape.length, values.data(), keep,
        shape.stereo);
    if (shape.stereo)
        read_it_compressed_channel(input, right, module.file_size, kind, shape.length,
                                   values.data() + kept, keep, false);
}

void read_sample(InputStream& input, ItModule& module, std::uint32_t pointer,
                 SampleSlot& slot, int slot_number)
{
    // A pointer of 0 lands on the module header; a header must lie inside the file.
    if (pointer == 0 || std::int64_t{pointer} + sample_header_size > module.file_size)
        return;
    seek_to(input, pointer);
    std::array<char, 4> signature{};
    read_block(input, signature.data(), signature.size());
    if (std::memcmp(signature.data(), "IMPS", 4) != 0)
        return;
    skip_bytes(input, 13);  // DOS file name and its zero byte
    const ItSampleHeader header = read_sample_header(input, slot);
    if ((header.flags & has_data) == 0)
        return;  // the slot keeps its name and volume
    set_pitch(slot, header.c5speed);
    const SampleShape shape = shape_of(header, module.stereo_allowed);
    const auto kept = static_cast<std::size_t>(values_to_keep(shape));
    module.buffers.values.resize(kept * (shape.stereo ? 2 : 1));
    if ((header.flags & compressed) != 0)
        read_compressed(input, module, header, shape, kept);
    else
        read_uncompressed(input, module, header, shape, kept);
    store_converted_sample(slot, shape, module.buffers.values, slot_number);
}

}  // namespace

void read_impulse_tracker_module(RunState& state)
{
    InputStream& input = state.input;
    ItModule module;
    module.file_size = input_size(input);
    std::memcpy(state.summary.format_tag.data(), "IMPM", 5);
    state.summary.channels = it_channels;
    state.summary.no_expected_length = true;
    seek_to(input, 0x20);
    const std::uint16_t order_count = read_u16le(input);
    const std::uint16_t instrument_count = read_u16le(input);
    const std::uint16_t sample_count = read_u16le(input);
    state.summary.patterns = read_u16le(input);
    module.stereo_allowed = read_u16le(input) >= stereo_since_version;  // created with
    const std::int64_t sample_pointers =
        order_list_offset + order_count + 4 * std::int64_t{instrument_count};
    const int samples = std::min<int>(sample_count, slot_count);
    for (int i = 0; i < samples; ++i) {
        seek_to(input, sample_pointers + 4 * i);
        const std::uint32_t pointer = read_u32le(input);
        read_sample(input, module, pointer, state.samples[static_cast<std::size_t>(i)], i + 1);
    }
}

}  // namespace trk2inst
