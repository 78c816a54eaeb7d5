// The Impulse Tracker reader, for "=A": follows the module's 32-bit pointers
// by absolute seeks, so the input is a seekable file. Sample i of the module
// lands in slot i. All fields are little-endian.
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/impulse_tracker_compression.h"
#include "readers/instrument_headers.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t order_list_offset = 0xC0;
constexpr std::int64_t sample_header_size = 0x50;
constexpr std::int32_t it_channels = 64;
constexpr std::uint16_t stereo_since_version = 0x0214;
constexpr std::size_t it_name_length = 26;
constexpr std::uint16_t new_instrument_layout = 0x0200;  // Cmwt from which instruments have it

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
// Values OpenMPT gives Cvt for samples that the module does not hold as data.
constexpr unsigned fm_registers = 0x40;  // an FM instrument's twelve register bytes
constexpr unsigned outside_file = 0x80;  // the name of a file outside the module

struct ItModule {
    std::int64_t file_size = 0;
    bool stereo_allowed = false;  // older versions left the stereo flag on mono data
    // Impulse Tracker clears the "sample present" flag of a deleted sample but
    // keeps its length; other trackers left the flag clear on samples they play.
    bool present_flag_holds = true;
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
    slot.voice.family = VoiceFamily::impulse_tracker;
    slot.voice.global_volume = read_u8(input);  // 0..64
    header.flags = read_u8(input);
    slot.volume = read_u8(input);  // the default volume
    read_name(input, slot, name_length);
    skip_bytes(input, static_cast<std::int64_t>(it_name_length - name_length));
    header.convert = read_u8(input);
    slot.voice.panning = read_u8(input);  // 0..64, bit 7: use it
    header.length = read_u32le(input);
    header.loop_begin = read_u32le(input);
    header.loop_end = read_u32le(input);  // exclusive
    header.c5speed = read_u32le(input);
    slot.voice.stored_rate = header.c5speed;
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

// A value whose bytes are not all inside the file is 0.
void zero_values_past_the_end(std::int64_t present, SampleValues& out)
{
    if (present < static_cast<std::int64_t>(out.size()))
        std::fill(out.begin() + std::max<std::int64_t>(present, 0), out.end(), std::int16_t{0});
}

struct ItValuesRead {
    std::int64_t frames = 0;  // values of each channel that the file holds
    bool complete = true;     // the file holds all the data the header describes
};

// Decodes at least `keep` values of each channel into the module's buffers,
// and with whole_source every value the file holds.
ItValuesRead read_uncompressed(InputStream& input, ItModule& module, const ItSampleHeader& header,
                               const SampleShape& shape, std::size_t keep, bool whole_source)
{
    const bool is_adpcm = shape.bits == 8 && header.convert == adpcm;
    const std::int64_t width = shape.bits / 8;
    const std::int64_t channel_bytes = is_adpcm ? (shape.length + 1) / 2 : shape.length * width;
    AdpcmTable table{};
    std::int64_t first_channel = header.data_offset;
    if (is_adpcm) {
        seek_to(input, first_channel);
        read_block(input, table.data(), table.size());
        first_channel += adpcm_table_size;
    }
    std::vector<std::uint8_t>& bytes = module.buffers.bytes;
    const std::size_t channels = shape.stereo ? 2 : 1;
    ItValuesRead read{shape.length,
                      first_channel + static_cast<std::int64_t>(channels) * channel_bytes <= module.file_size};
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const std::int64_t offset = first_channel + static_cast<std::int64_t>(channel) * channel_bytes;
        const std::int64_t bytes_in_file = std::max<std::int64_t>(module.file_size - offset, 0);
        const std::int64_t present =
            std::min(shape.length, is_adpcm ? 2 * bytes_in_file : bytes_in_file / width);
        read.frames = std::min(read.frames, present);
        const std::size_t count = std::max(keep, whole_source ? static_cast<std::size_t>(present) : 0);
        SampleValues& out = module.buffers.channels[channel];
        out.resize(count);
        bytes.resize(is_adpcm ? (count + 1) / 2 : count * static_cast<std::size_t>(width));
        seek_to(input, offset);
        read_block(input, bytes.data(), bytes.size());
        if (is_adpcm)
            decode_adpcm(table, bytes.data(), out.data(), count);
        else
            decode_uncompressed(bytes, header.convert, shape.bits, out.data(), count);
        zero_values_past_the_end(present, out);
    }
    return read;
}

ItValuesRead read_compressed(InputStream& input, ItModule& module, const ItSampleHeader& header,
                             const SampleShape& shape, std::size_t keep, bool whole_source)
{
    const ItCompression kind{shape.bits == 16, (header.convert & delta_values) != 0};
    const auto wanted = static_cast<std::int64_t>(keep);
    auto& channels = module.buffers.channels;
    // The right channel's blocks start after all of the left channel's. Every
    // block is walked, to tell whether the file holds them all.
    const ItChannelRead left = read_it_compressed_channel(
        input, header.data_offset, module.file_size, kind, shape.length, channels[0], wanted,
        whole_source, true);
    if (!shape.stereo)
        return {left.source_values, left.complete};
    const ItChannelRead right = read_it_compressed_channel(
        input, left.end, module.file_size, kind, shape.length, channels[1], wanted, whole_source, true);
    return {std::min(left.source_values, right.source_values), left.complete && right.complete};
}

ItValuesRead read_sample_values(InputStream& input, ItModule& module, const ItSampleHeader& header,
                                const SampleShape& shape, std::size_t keep, bool whole_source)
{
    if ((header.flags & compressed) != 0)
        return read_compressed(input, module, header, shape, keep, whole_source);
    return read_uncompressed(input, module, header, shape, keep, whole_source);
}

// Reads the sample header that `pointer` points to; its name and volume go
// into the slot. False when there is none.
bool read_sample_header_at(InputStream& input, const ItModule& module, std::uint32_t pointer,
                           SampleSlot& slot, ItSampleHeader& header)
{
    // A pointer of 0 lands on the module header; a header must lie inside the file.
    if (pointer == 0 || std::int64_t{pointer} + sample_header_size > module.file_size)
        return false;
    seek_to(input, pointer);
    std::array<char, 4> signature{};
    read_block(input, signature.data(), signature.size());
    if (std::memcmp(signature.data(), "IMPS", 4) != 0)
        return false;
    skip_bytes(input, 13);  // DOS file name and its zero byte
    header = read_sample_header(input, slot);
    return true;
}

// Both loops as the header defines them, the C5Speed as stored.
SourceShape source_shape_of(const ItSampleHeader& header, const SampleShape& shape, std::int64_t frames)
{
    SourceShape source;
    source.bits = shape.bits;
    source.channels = shape.stereo ? 2 : 1;
    source.frames = frames;
    source.rate = std::max<std::uint32_t>(header.c5speed, 1);
    if ((header.flags & loop_on) != 0)
        add_source_loop(source, (header.flags & loop_ping_pong) != 0, false, header.loop_begin,
                        header.loop_end);
    if ((header.flags & sustain_loop_on) != 0)
        add_source_loop(source, (header.flags & sustain_ping_pong) != 0, true, header.sustain_begin,
                        header.sustain_end);
    if ((header.flags & compressed) != 0)
        source.compression = (header.convert & delta_values) != 0 ? SourceCompression::it215
                                                                 : SourceCompression::it214;
    else if (shape.bits == 8 && header.convert == adpcm)
        source.compression = SourceCompression::adpcm;
    return source;
}

// Sample index + 1. One past the record table gets its record's fields, and
// its values are read only as far as the source sample needs them now.
void read_sample(RunState& state, ItModule& module, std::uint32_t pointer, std::size_t index)
{
    InputStream& input = state.input;
    SampleSlot& slot = state.samples[index];
    ItSampleHeader header;
    if (!read_sample_header_at(input, module, pointer, slot, header))
        return;
    const bool present = (header.flags & has_data) != 0 || (!module.present_flag_holds && header.length > 0);
    if (!present)
        return;  // without data the slot keeps its name and volume
    const int slot_number = static_cast<int>(index) + 1;
    if ((header.convert == fm_registers || header.convert == outside_file) && header.length > 0) {
        note_not_decoded(state, slot_number);
        return;  // no values in the module: as a sample without data
    }
    set_pitch(slot, header.c5speed);
    const SampleShape shape = shape_of(header, module.stereo_allowed);
    const auto kept = has_record_slot(slot_number) ? static_cast<std::size_t>(values_to_keep(shape)) : 0;
    const bool whole_source = state.settings.source_need != SourceNeed::none;
    const ItValuesRead read = read_sample_values(input, module, header, shape, kept, whole_source);
    const auto& channels = module.buffers.channels;
    const bool as_they_stand = store_converted_sample(slot, shape, channels[0], channels[1], slot_number);
    if (slot.length == 0)
        return;
    if (!read.complete)
        note_cut_sample(state, slot_number);
    if (!whole_source)
        return;
    describe_source(slot, source_shape_of(header, shape, read.frames), as_they_stand);
    keep_source_values(state, slot, channels[0], channels[1], pointer, true);
}

// Cwt from 1.00 to 2.17, no OpenMPT 1.17 Cmwt, and from 2.07 on an edit
// timer at 0x3C, which the trackers that write those Cwt values leave 0.
bool made_by_impulse_tracker(std::uint16_t created_with, std::uint16_t compatible_with, std::uint32_t edit_timer)
{
    return created_with >= 0x0100 && created_with <= 0x0217 && (created_with < 0x0207 || edit_timer != 0) &&
           compatible_with != 0x0888;
}

ItModule open_module(InputStream& input)
{
    ItModule module;
    module.file_size = input_size(input);
    seek_to(input, 0x28);
    const std::uint16_t created_with = read_u16le(input);     // Cwt
    const std::uint16_t compatible_with = read_u16le(input);  // Cmwt
    seek_to(input, 0x3C);
    const std::uint32_t edit_timer = read_u32le(input);
    module.stereo_allowed = created_with >= stereo_since_version;
    module.present_flag_holds = made_by_impulse_tracker(created_with, compatible_with, edit_timer);
    return module;
}

// Instrument mode (Flags bit 2): instruments 1 to InsNum, at most 255, each a
// header of 554 bytes at its pointer (zeros past the end of the file); their
// keys play the samples read.
void read_instruments(RunState& state, std::int64_t instrument_pointers, std::uint16_t instrument_count,
                      std::uint16_t header_sample_count)
{
    InputStream& input = state.input;
    seek_to(input, 0x2A);
    const bool old_layout = read_u16le(input) < new_instrument_layout;  // Cmwt, compatible with
    const bool instrument_mode = (read_u16le(input) & 0x04) != 0;     // Flags
    seek_to(input, 0x33);
    state.summary.tempo = read_u8(input);  // beats per minute
    if (!instrument_mode)
        return;
    InstrumentTable& table = state.instruments;
    table.from_module = true;
    note_claimed_instruments(state, instrument_count, false);
    const int listed = std::min<int>(instrument_count, instrument_limit);
    const int sample_count = std::min<int>(header_sample_count, static_cast<int>(state.samples.size()));
    table.list.resize(static_cast<std::size_t>(listed));
    std::array<std::uint8_t, it_instrument_header_size> header{};
    for (int i = 0; i < listed; ++i) {
        ModuleInstrument& entry = table.list[static_cast<std::size_t>(i)];
        entry.kind = old_layout ? InstrumentKind::impulse_tracker_old : InstrumentKind::impulse_tracker;
        seek_to(input, instrument_pointers + 4 * std::int64_t{i});
        const std::uint32_t pointer = read_u32le(input);
        if (pointer == 0)
            continue;  // no header: an instrument with no keys
        seek_to(input, pointer);
        read_block(input, header.data(), header.size());
        parse_it_instrument(header, old_layout, sample_count, entry);
    }
}

}  // namespace

void read_impulse_tracker_module(RunState& state)
{
    InputStream& input = state.input;
    ItModule module = open_module(input);
    std::memcpy(state.summary.format_tag.data(), "IMPM", 5);
    state.summary.channels = it_channels;
    state.summary.no_expected_length = true;
    seek_to(input, 0x20);
    const std::uint16_t order_count = read_u16le(input);
    const std::uint16_t instrument_count = read_u16le(input);
    const std::uint16_t sample_count = read_u16le(input);
    state.summary.patterns = read_u16le(input);
    const std::int64_t sample_pointers =
        order_list_offset + order_count + 4 * std::int64_t{instrument_count};
    // "=A" with a command that gives every sample out goes past the record table.
    const bool every_sample = state.settings.every_sample;
    if (every_sample)
        note_claimed_samples(state, sample_count);
    const int samples = std::min<int>(sample_count, every_sample ? sample_limit : slot_count);
    for (int i = 0; i < samples; ++i) {
        const std::int64_t pointer_at = sample_pointers + 4 * std::int64_t{i};
        seek_to(input, pointer_at);
        const std::uint32_t pointer = read_u32le(input);
        // A header (or its pointer) wholly past the end: the slots read it as
        // ever, as nothing; nothing is added past them.
        if (every_sample && (pointer_at >= module.file_size || pointer >= module.file_size)) {
            note_header_past_end(state, i + 1);
            if (i >= slot_count)
                continue;
        }
        sample_entry(state, i + 1);
        read_sample(state, module, pointer, static_cast<std::size_t>(i));
    }
    if (state.settings.instruments_needed)
        read_instruments(state, order_list_offset + order_count, instrument_count, sample_count);
}

void decode_impulse_tracker_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav)
{
    InputStream& input = state.input;
    const SourceSample& source = state.samples[index].source;
    ItModule module = open_module(input);
    SampleSlot scratch;
    ItSampleHeader header;
    if (!read_sample_header_at(input, module, static_cast<std::uint32_t>(source.header_offset), scratch, header))
        return;
    const SampleShape shape = shape_of(header, module.stereo_allowed);
    read_sample_values(input, module, header, shape, 0, true);
    const auto& channels = module.buffers.channels;
    encode_wav_data(shape.bits, channels[0], shape.stereo ? std::span<const std::int16_t>(channels[1])
                                                          : std::span<const std::int16_t>{},
                    source.shape.frames, wav);
}

}  // namespace trk2inst
