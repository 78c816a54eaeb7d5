// The Scream Tracker 3 reader: follows the parapointers by absolute seeks.
// Instrument i lands in slot i. All fields are little-endian.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

constexpr std::uint8_t sample_instrument = 1;
constexpr std::uint8_t packed = 0x01;
constexpr std::uint8_t modplug_adpcm = 4;  // the pack byte of ModPlug's 4-bit ADPCM
constexpr std::uint8_t loop_flag = 0x01;
constexpr std::uint8_t stereo_flag = 0x02;
constexpr std::uint8_t sixteen_bit_flag = 0x04;
constexpr std::size_t dos_name_length = 12;

struct ScreamTrackerHeader {
    std::uint16_t order_count = 0;
    std::uint16_t instrument_count = 0;
    std::uint16_t format_information = 0;  // 1 signed, 2 unsigned sample data
};

ScreamTrackerHeader read_header(RunState& state)
{
    InputStream& input = state.input;
    ScreamTrackerHeader header;
    seek_to(input, 32);
    state.summary.channels = 32;  // the channel settings are not read
    header.order_count = read_u16le(input);
    header.instrument_count = read_u16le(input);
    state.summary.patterns = read_u16le(input);
    skip_bytes(input, 4);  // flags, tracker version
    header.format_information = read_u16le(input);
    read_block(input, state.summary.format_tag.data(), 4);
    state.summary.format_tag[4] = '\0';
    state.summary.no_expected_length = true;
    if (std::memcmp(state.summary.format_tag.data(), "SCRM", 4) != 0)
        fail("Not a valid Scream Tracker file.\n");
    return header;
}

struct InstrumentHeader {
    std::int64_t data_offset = 0;
    std::uint32_t length = 0;  // in bytes: values of one channel
    std::uint32_t loop_begin = 0;
    std::uint32_t loop_end = 0;
    unsigned pack = 0;
    unsigned flags = 0;
    std::uint32_t c2spd = 0;
};

// Reads an instrument header after its type byte; the name and volume go into
// the slot.
InstrumentHeader read_instrument_header(InputStream& input, SampleSlot& slot)
{
    InstrumentHeader header;
    read_name(input, slot, dos_name_length);
    const std::uint32_t segment_high = read_u8(input);
    const std::uint32_t segment_low = read_u16le(input);
    header.data_offset = std::int64_t{segment_high << 16 | segment_low} * 16;
    header.length = read_u32le(input);      // in bytes
    header.loop_begin = read_u32le(input);  // in bytes
    header.loop_end = read_u32le(input);    // in bytes
    slot.volume = read_u8(input);
    skip_bytes(input, 1);  // reserved
    header.pack = read_u8(input);
    header.flags = read_u8(input);
    header.c2spd = read_u32le(input);
    return header;
}

// ModPlug's ADPCM is read for 8-bit mono samples only ("=A").
bool is_adpcm(const InstrumentHeader& header)
{
    return header.pack == modplug_adpcm && (header.flags & (stereo_flag | sixteen_bit_flag)) == 0 &&
           header.length > 0;
}

// What the module holds for the sample.
std::int64_t stored_bytes(const InstrumentHeader& header)
{
    if (is_adpcm(header))
        return adpcm_stored_bytes(header.length);
    const std::int64_t width = (header.flags & sixteen_bit_flag) != 0 ? 2 : 1;
    return std::int64_t{header.length} * width * ((header.flags & stereo_flag) != 0 ? 2 : 1);
}

SampleShape shape_of(const InstrumentHeader& header)
{
    SampleShape shape;
    shape.bits = (header.flags & sixteen_bit_flag) != 0 ? 16 : 8;
    shape.stereo = (header.flags & stereo_flag) != 0;
    shape.length = header.length;
    shape.loops = (header.flags & loop_flag) != 0;
    shape.loop_begin = header.loop_begin;
    shape.loop_end = header.loop_end;
    return shape;
}

// Decodes at least `keep` values of each channel into the buffers, and with
// whole_source every whole value the file holds; returns how many values of
// each channel the file holds. The right channel's values follow the left's.
// Bytes past the end read as zeros, as the record has them.
std::int64_t read_values(InputStream& input, const InstrumentHeader& header, bool unsigned_data,
                         std::size_t keep, bool whole_source, DecodeBuffers& buffers)
{
    if (is_adpcm(header)) {
        // The values as they are: the module's signedness does not apply.
        seek_to(input, header.data_offset);
        read_adpcm_sample(input, header.length, keep, whole_source, buffers);
        return adpcm_values_present(header.length, bytes_present(input, header.data_offset, stored_bytes(header)));
    }
    const SampleShape shape = shape_of(header);
    const std::int64_t width = shape.bits / 8;
    const std::size_t channels = shape.stereo ? 2 : 1;
    std::int64_t frames = shape.length;
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const std::int64_t offset = header.data_offset + static_cast<std::int64_t>(channel) * width * shape.length;
        const std::int64_t present = bytes_present(input, offset, width * shape.length) / width;
        frames = std::min(frames, present);
        const std::size_t count = std::max(keep, whole_source ? static_cast<std::size_t>(present) : 0);
        buffers.bytes.resize(count * static_cast<std::size_t>(width));
        SampleValues& out = buffers.channels[channel];
        out.resize(count);
        seek_to(input, offset);
        read_block(input, buffers.bytes.data(), buffers.bytes.size());
        decode_pcm(buffers.bytes.data(), shape.bits, unsigned_data, false, out.data(), count);
    }
    return frames;
}

SourceShape source_shape_of(const InstrumentHeader& header, std::int64_t frames)
{
    SourceShape source;
    source.bits = (header.flags & sixteen_bit_flag) != 0 ? 16 : 8;
    source.channels = (header.flags & stereo_flag) != 0 ? 2 : 1;
    source.frames = frames;
    source.rate = std::max<std::uint32_t>(header.c2spd, 1);
    if ((header.flags & loop_flag) != 0)
        add_source_loop(source, false, false, header.loop_begin, header.loop_end);
    if (is_adpcm(header))
        source.compression = SourceCompression::adpcm;
    return source;
}

// Values decoded from a packed sample, as "=S" would store them unpacked.
void store_values_as_they_stand(SampleSlot& slot, const InstrumentHeader& header, const SampleValues& values,
                                int slot_number)
{
    set_length_from_bytes(slot, header.length);
    allocate_sample_data(slot, slot_number);
    if (!slot.data)
        return;
    std::uint8_t* data = slot.data.get();
    for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(slot.length); ++i)
        data[i] = static_cast<std::uint8_t>(values[i] & 0xFF);
}

// The 8-bit mono data as "=S" stores them.
void read_plain_sample(InputStream& input, SampleSlot& slot, const InstrumentHeader& header,
                       bool unsigned_data, int slot_number)
{
    set_length_from_bytes(slot, header.length);
    allocate_sample_data(slot, slot_number);
    seek_to(input, header.data_offset);
    read_sample_data(input, slot);
    if (unsigned_data && slot.data) {
        std::uint8_t* data = slot.data.get();
        std::transform(data, data + 2 * std::size_t(slot.length), data,
                       [](std::uint8_t byte) { return static_cast<std::uint8_t>(byte ^ 0x80); });
    }
}

struct ModuleReading {
    bool unsigned_data = false;
    DecodeBuffers buffers;
};

// Reads one instrument header and, for a stored sample, its data. A sample
// past the record table gets its record's fields; its values are read when
// they are written.
void read_instrument(RunState& state, std::size_t index, std::int64_t header_offset, ModuleReading& module)
{
    InputStream& input = state.input;
    SampleSlot& slot = state.samples[index];
    if (read_u8(input) != sample_instrument)
        return;  // empty or AdLib: the slot stays empty
    const InstrumentHeader header = read_instrument_header(input, slot);
    slot.voice.family = VoiceFamily::scream_tracker;
    slot.voice.stored_rate = header.c2spd;
    slot.loop_start = static_cast<std::int32_t>(header.loop_begin >> 1);
    // A loop end below its begin gives a negative length; it is kept as it is.
    slot.loop_length = static_cast<std::int32_t>(std::int64_t{header.loop_end >> 1} - slot.loop_start);
    if ((header.flags & loop_flag) == 0)
        slot.loop_length = 1;
    const bool convert = state.settings.convert_samples;
    const bool wide_or_stereo = (header.flags & (stereo_flag | sixteen_bit_flag)) != 0;
    if ((header.pack & packed) != 0 || (wide_or_stereo && !convert))
        return;  // the slot keeps its name, volume and loop, but no data
    const bool adpcm = convert && is_adpcm(header);
    set_pitch(slot, header.c2spd);
    const int slot_number = static_cast<int>(index) + 1;
    const bool record_data = has_record_slot(slot_number);
    const bool whole_source = convert && state.settings.source_need != SourceNeed::none;
    const auto& channels = module.buffers.channels;
    bool as_they_stand = true;
    std::int64_t frames = 0;
    if (wide_or_stereo) {
        // A stereo or 16-bit sample ("=A"): the length and loop count values.
        const SampleShape shape = shape_of(header);
        const auto kept = record_data ? static_cast<std::size_t>(values_to_keep(shape)) : 0;
        frames = read_values(input, header, module.unsigned_data, kept, whole_source && record_data,
                             module.buffers);
        as_they_stand = store_converted_sample(slot, shape, channels[0], channels[1], slot_number);
    } else if (adpcm) {
        // The values a record keeps: whole words, at most max_slot_words of them.
        const std::int64_t even = header.length & ~1u;
        const auto kept = record_data ? static_cast<std::size_t>(std::min(even, max_kept_values)) : 0;
        frames = read_values(input, header, module.unsigned_data, kept, whole_source && record_data, module.buffers);
        store_values_as_they_stand(slot, header, channels[0], slot_number);
    } else {
        read_plain_sample(input, slot, header, module.unsigned_data, slot_number);
        frames = whole_source ? bytes_present(input, header.data_offset, header.length) : 0;
    }
    if (!convert || slot.length == 0)
        return;
    const std::int64_t stored = stored_bytes(header);
    if (bytes_present(input, header.data_offset, stored) < stored)
        note_cut_sample(state, slot_number);
    if (!whole_source)
        return;
    describe_source(slot, source_shape_of(header, frames), as_they_stand);
    if (!wide_or_stereo && !adpcm && record_data && slot.source.values == SourceValues::kept &&
        state.settings.source_need == SourceNeed::values)
        read_values(input, header, module.unsigned_data, 0, true, module.buffers);
    keep_source_values(state, slot, channels[0], channels[1], header_offset, true);
}

bool unsigned_sample_data(InputStream& input)
{
    seek_to(input, 42);
    return read_u16le(input) > 1;  // file format information: 1 signed, 2 unsigned
}

}  // namespace

void set_pitch(SampleSlot& slot, std::uint32_t c2spd)
{
    const Pitch pitch = pitch_from_c2spd(c2spd);
    slot.note = pitch.note;
    slot.finetune = pitch.finetune;
}

Pitch pitch_from_c2spd(std::uint32_t c2spd)
{
    if (c2spd == 0)
        return {0, 0};
    // The note is the whole part of the distance from 8363 Hz taken toward zero;
    // the finetune carries the rest with the distance's sign, rounded up from 0.67.
    const double semitones = 12.0 * std::log2(c2spd / 8363.0);
    const double distance = std::fabs(semitones);
    auto fine = static_cast<std::int64_t>(std::floor(std::fmod(distance, 1.0) * 128.0 + 0.33));
    auto note = static_cast<std::int64_t>(std::floor(distance));
    if (semitones >= 0) {
        if (fine == 128) {
            note += 1;
            fine = 0;
        }
    } else {
        note = -note;
        fine = -fine;  // no carry on this side: -128 stays
    }
    const auto note_byte = static_cast<std::uint8_t>(static_cast<std::uint64_t>(note) & 0xFF);
    const auto fine_byte = static_cast<std::uint8_t>(static_cast<std::uint64_t>(fine) & 0xFF);
    return {static_cast<std::int8_t>(note_byte), ft_nibbles(fine_byte)};
}

void read_scream_tracker_module(RunState& state)
{
    InputStream& input = state.input;
    const ScreamTrackerHeader header = read_header(state);
    // "=A" with a command that gives every sample out goes past the record table.
    const bool every_sample = state.settings.every_sample;
    if (every_sample)
        note_claimed_samples(state, header.instrument_count);
    const int instruments = std::min<int>(header.instrument_count, every_sample ? sample_limit : slot_count);
    const std::int64_t file_size = every_sample ? input_size(input) : 0;
    const std::int64_t parapointers = 96 + std::int64_t{header.order_count};
    ModuleReading module;
    module.unsigned_data = header.format_information > 1;
    if (state.settings.instruments_needed) {
        seek_to(input, 50);
        state.summary.tempo = read_u8(input);  // beats per minute
    }
    for (int i = 0; i < instruments; ++i) {
        seek_to(input, parapointers + 2 * i);
        const std::int64_t instrument_offset = std::int64_t{read_u16le(input)} * 16;
        // A header (or its parapointer) wholly past the end: the slots read
        // it as ever, as zeros; nothing is added past them.
        if (every_sample && (parapointers + 2 * i >= file_size || instrument_offset >= file_size)) {
            note_header_past_end(state, i + 1);
            if (i >= slot_count)
                continue;
        }
        sample_entry(state, i + 1);
        seek_to(input, instrument_offset);
        read_instrument(state, static_cast<std::size_t>(i), instrument_offset, module);
    }
}

void decode_scream_tracker_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav)
{
    InputStream& input = state.input;
    const SourceSample& source = state.samples[index].source;
    const bool unsigned_data = unsigned_sample_data(input);
    seek_to(input, source.header_offset);
    skip_bytes(input, 1);  // type
    SampleSlot scratch;
    const InstrumentHeader header = read_instrument_header(input, scratch);
    DecodeBuffers buffers;
    read_values(input, header, unsigned_data, 0, true, buffers);
    encode_wav_data(source.shape.bits, buffers.channels[0],
                    source.shape.channels == 2 ? std::span<const std::int16_t>(buffers.channels[1])
                                               : std::span<const std::int16_t>{},
                    source.shape.frames, wav);
}

}  // namespace trk2inst
