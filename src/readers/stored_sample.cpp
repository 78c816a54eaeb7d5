// Stored samples: one way from a described layout to a sample of the list,
// and one decoder for every coding, used at load and when "s" or "x" write
// the values again.
#include "readers/stored_sample.h"

#include <algorithm>
#include <cstring>

#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

std::int16_t as_value(unsigned value, int bits)
{
    return bits == 16 ? static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF))
                      : static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
}

unsigned word_at(const std::uint8_t* bytes, bool big_endian)
{
    return big_endian ? unsigned{bytes[0]} << 8 | bytes[1] : unsigned{bytes[1]} << 8 | bytes[0];
}

void decode_running_sum(const StoredLayout& layout, const std::uint8_t* bytes, std::int16_t* out,
                        std::size_t count)
{
    const unsigned mask = layout.bits == 16 ? 0xFFFF : 0xFF;
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned difference = layout.bits == 16 ? word_at(bytes + 2 * i, layout.big_endian) : bytes[i];
        sum = (sum + difference) & mask;
        out[i] = as_value(sum, layout.bits);
    }
}

// Every byte of the values, in order, is a difference from the byte before;
// the sums are then read as little-endian words.
void decode_byte_delta(const std::uint8_t* bytes, std::int16_t* out, std::size_t count)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto low = sum = static_cast<std::uint8_t>(sum + bytes[2 * i]);
        const auto high = sum = static_cast<std::uint8_t>(sum + bytes[2 * i + 1]);
        out[i] = as_value(unsigned{high} << 8 | low, 16);
    }
}

void decode_high_halves(const StoredLayout& layout, const std::uint8_t* bytes, std::int16_t* out,
                        std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* word = bytes + 4 * i;
        out[i] = as_value(layout.big_endian ? word_at(word, true) : word_at(word + 2, false), 16);
    }
}

std::int64_t channel_offset(const StoredLayout& layout, int channel)
{
    return layout.offset + std::int64_t{channel} * layout.frames * stored_value_bytes(layout);
}

// Decodes `count` values of each channel into the buffers, zeros past the
// end of the input; returns how many values of each channel the input holds.
std::int64_t read_stored_values(InputStream& input, const StoredLayout& layout, std::size_t count,
                                DecodeBuffers& buffers)
{
    const std::int64_t width = stored_value_bytes(layout);
    std::int64_t present = layout.frames;
    for (int channel = 0; channel < layout.channels; ++channel) {
        const std::int64_t offset = channel_offset(layout, channel);
        present = std::min(present, bytes_present(input, offset, layout.frames * width) / width);
        SampleValues& out = buffers.channels[static_cast<std::size_t>(channel)];
        out.resize(count);
        if (count == 0)
            continue;
        buffers.bytes.resize(count * static_cast<std::size_t>(width));
        seek_to(input, offset);
        read_block(input, buffers.bytes.data(), buffers.bytes.size());
        decode_stored_values(layout, buffers.bytes.data(), out.data(), count);
    }
    return present;
}

void set_name(SampleSlot& slot, std::string_view name)
{
    const std::size_t size = std::min<std::size_t>(name.size(), name_length);
    const auto end = std::find(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(size), '\0');
    slot.name.fill('\0');
    std::copy(name.begin(), end, slot.name.begin());
}

void set_stored_pitch(SampleSlot& slot, const StoredSample& sample)
{
    if (sample.rate != 0) {
        set_pitch(slot, sample.rate);
        slot.voice.family = VoiceFamily::scream_tracker;
        slot.voice.stored_rate = sample.rate;
        return;
    }
    slot.note = sample.note;
    slot.finetune = static_cast<std::uint8_t>(sample.finetune & 0x0F);
    slot.voice.family = VoiceFamily::protracker;
}

SourceShape source_shape_of(const SampleSlot& slot, const StoredSample& sample, std::int64_t frames)
{
    SourceShape source;
    source.bits = sample.layout.bits;
    source.channels = sample.layout.channels;
    source.frames = frames;
    source.rate = sample.rate != 0 ? sample.rate : rate_from_pitch(slot.note, slot.finetune);
    if (sample.loops)
        add_source_loop(source, sample.ping_pong, false, sample.loop_start, sample.loop_end);
    return source;
}

}  // namespace

int stored_value_bytes(const StoredLayout& layout)
{
    return layout.coding == StoredCoding::high_half_of_32 ? 4 : layout.bits / 8;
}

void decode_stored_values(const StoredLayout& layout, const std::uint8_t* bytes, std::int16_t* out,
                          std::size_t count)
{
    switch (layout.coding) {
    case StoredCoding::signed_values:
    case StoredCoding::unsigned_values:
    case StoredCoding::none:
        decode_pcm(bytes, layout.bits, layout.coding == StoredCoding::unsigned_values, layout.big_endian, out,
                   count);
        return;
    case StoredCoding::delta:
        decode_running_sum(layout, bytes, out, count);
        return;
    case StoredCoding::unsigned_delta:
        decode_running_sum(layout, bytes, out, count);
        for (std::size_t i = 0; i < count; ++i)
            out[i] = as_value(static_cast<unsigned>(out[i]) ^ 0x80, 8);
        return;
    case StoredCoding::byte_delta:
        decode_byte_delta(bytes, out, count);
        return;
    case StoredCoding::high_half_of_32:
        decode_high_halves(layout, bytes, out, count);
        return;
    }
}

void store_sample(RunState& state, int number, const StoredSample& sample)
{
    DecodeBuffers buffers;
    store_sample(state, number, sample, buffers);
}

void store_sample(RunState& state, int number, const StoredSample& sample, DecodeBuffers& buffers)
{
    SampleSlot& slot = sample_entry(state, number);
    set_name(slot, sample.name);
    slot.volume = std::min<std::uint8_t>(sample.volume, 64);
    set_stored_pitch(slot, sample);
    const StoredLayout& layout = sample.layout;
    if (layout.frames <= 0)
        return;  // the sample keeps its name and has no data
    SampleShape shape;
    shape.bits = layout.bits;
    shape.stereo = layout.channels == 2;
    shape.length = layout.frames;
    shape.loops = sample.loops && !sample.ping_pong;  // the record holds no ping-pong loop
    shape.loop_begin = sample.loop_start;
    shape.loop_end = sample.loop_end;
    InputStream& input = state.input;
    // No command writes a record: the slot gets its fields, no values are read.
    const bool record_data = has_record_slot(number) && state.settings.record_data_needed;
    const auto kept = record_data ? static_cast<std::size_t>(values_to_keep(shape)) : 0;
    const std::int64_t present = read_stored_values(input, layout, kept, buffers);
    const bool as_they_stand = record_data ? store_converted_sample(slot, shape, buffers.channels[0],
                                                                    buffers.channels[1], number)
                                           : set_record_fields(slot, shape);
    if (slot.length == 0)
        return;
    if (present < layout.frames)
        note_cut_sample(state, number);
    if (state.settings.source_need == SourceNeed::none)
        return;
    describe_source(slot, source_shape_of(slot, sample, present), as_they_stand);
    slot.source.stored = layout;
    // Stored as they stand: read again when written, rather than kept until then.
    decode_source_values_when_written(slot, 0);
}

std::string_view read_name_field(InputStream& input, NameField& field, std::size_t size)
{
    size = std::min(size, field.size());
    read_block(input, field.data(), size);
    return {field.data(), size};
}

void set_listing(ModuleSummary& summary, const char* tag, std::int64_t channels, std::int64_t patterns)
{
    std::memcpy(summary.format_tag.data(), tag, 4);
    summary.format_tag[4] = '\0';
    summary.channels = static_cast<std::int32_t>(channels);
    summary.patterns = static_cast<std::int32_t>(patterns);
    summary.no_expected_length = true;
}

int samples_to_read(RunState& state, std::int64_t claimed)
{
    if (!state.settings.every_sample)
        return static_cast<int>(std::clamp<std::int64_t>(claimed, 0, slot_count));
    note_claimed_samples(state, claimed);
    return static_cast<int>(std::clamp<std::int64_t>(claimed, 0, sample_limit));
}

bool sample_header_read(RunState& state, int number, std::int64_t header)
{
    if (!state.settings.every_sample || header < input_size(state.input))
        return true;
    note_header_past_end(state, number);
    return has_record_slot(number);
}

void decode_stored_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav)
{
    const SourceSample& source = state.samples[index].source;
    DecodeBuffers buffers;
    const auto frames = static_cast<std::size_t>(std::max<std::int64_t>(source.shape.frames, 0));
    read_stored_values(state.input, source.stored, frames, buffers);
    const bool stereo = source.stored.channels == 2;
    encode_wav_data(source.shape.bits, buffers.channels[0],
                    stereo ? std::span<const std::int16_t>(buffers.channels[1]) : std::span<const std::int16_t>{},
                    source.shape.frames, wav);
}

}  // namespace trk2inst
