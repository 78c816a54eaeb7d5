// The Scream Tracker 3 reader: follows the parapointers by absolute seeks.
// Instrument i lands in slot i. All fields are little-endian.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "readers/readers.h"
#include "readers/sample_conversion.h"

namespace trk2inst {

namespace {

constexpr std::uint8_t sample_instrument = 1;
constexpr unsigned not_stored_mask = 0x106;  // packed, stereo or 16-bit
constexpr std::uint8_t packed = 0x01;
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

struct InstrumentData {
    std::int64_t offset = 0;
    std::uint32_t length = 0;  // in values of one channel
    std::uint32_t loop_begin = 0;
    std::uint32_t loop_end = 0;
    unsigned flags = 0;
};

// A stereo or 16-bit sample ("=A"): the length and loop count values, and the
// right channel's values follow the left's.
void read_converted_sample(InputStream& input, SampleSlot& slot, const InstrumentData& data,
                           bool unsigned_data, int slot_number, DecodeBuffers& buffers)
{
    SampleShape shape;
    shape.bits = (data.flags & sixteen_bit_flag) != 0 ? 16 : 8;
    shape.stereo = (data.flags & stereo_flag) != 0;
    shape.length = data.length;
    shape.loops = (data.flags & loop_flag) != 0;
    shape.loop_begin = data.loop_begin;
    shape.loop_end = data.loop_end;
    const auto kept = static_cast<std::size_t>(values_to_keep(shape));
    const std::size_t width = shape.bits == 16 ? 2 : 1;
    const std::size_t channels = shape.stereo ? 2 : 1;
    SampleValues& values = buffers.values;
    values.resize(kept * channels);
    std::vector<std::uint8_t>& bytes = buffers.bytes;
    bytes.resize(kept * width);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        seek_to(input, data.offset + static_cast<std::int64_t>(channel * width) * data.length);
        read_block(input, bytes.data(), bytes.size());
        decode_pcm(bytes.data(), shape.bits, unsigned_data, false, values.data() + channel * kept, kept);
    }
    store_converted_sample(slot, shape, values, slot_number);
}

// Reads one instrument header and, for a stored sample, its data.
void read_instrument(InputStream& input, SampleSlot& slot, int slot_number,
                     bool unsigned_data, bool convert, DecodeBuffers& buffers)
{
    if (read_u8(input) != sample_instrument)
        return;  // empty or AdLib: the slot stays empty
    read_name(input, slot, dos_name_length);
    const std::uint32_t segment_high = read_u8(input);
    const std::uint32_t segment_low = read_u16le(input);
    const std::int64_t data_offset = std::int64_t{segment_high << 16 | segment_low} * 16;
    const std::uint32_t length = read_u32le(input);      // in bytes
    const std::uint32_t loop_begin = read_u32le(input);  // in bytes
    const std::uint32_t loop_end = read_u32le(input);    // in bytes
    slot.loop_start = static_cast<std::int32_t>(loop_begin >> 1);
    // A loop end below its begin gives a negative length; it is kept as it is.
    slot.loop_length = static_cast<std::int32_t>(std::int64_t{loop_end >> 1} - slot.loop_start);
    slot.volume = read_u8(input);
    skip_bytes(input, 1);  // reserved
    const unsigned pack = read_u8(input);
    const unsigned flags = read_u8(input);
    if ((flags & loop_flag) == 0)
        slot.loop_length = 1;
    if (convert && (pack & packed) == 0 && (flags & (stereo_flag | sixteen_bit_flag)) != 0) {
        set_pitch(slot, read_u32le(input));
        read_converted_sample(input, slot, {data_offset, length, loop_begin, loop_end, flags},
                              unsigned_data, slot_number, buffers);
        return;
    }
    if (((pack << 8 | flags) & not_stored_mask) != 0)
        return;  // the slot keeps its name, volume and loop, but no data
    set_pitch(slot, read_u32le(input));
    set_length_from_bytes(slot, length);
    allocate_sample_data(slot, slot_number);
    seek_to(input, data_offset);
    read_sample_data(input, slot);
    if (unsigned_data && slot.data) {
        std::uint8_t* data = slot.data.get();
        std::transform(data, data + 2 * std::size_t(slot.length), data,
                       [](std::uint8_t byte) { return static_cast<std::uint8_t>(byte ^ 0x80); });
    }
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
    const int instruments = std::min<int>(header.instrument_count, slot_count);
    const std::int64_t parapointers = 96 + std::int64_t{header.order_count};
    DecodeBuffers buffers;
    for (int i = 0; i < instruments; ++i) {
        seek_to(input, parapointers + 2 * i);
        const std::int64_t instrument_offset = std::int64_t{read_u16le(input)} * 16;
        seek_to(input, instrument_offset);
        read_instrument(input, state.samples[static_cast<std::size_t>(i)], i + 1,
                        header.format_information > 1, state.settings.convert_samples, buffers);
    }
}

}  // namespace trk2inst
