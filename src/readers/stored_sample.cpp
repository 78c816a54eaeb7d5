// Stored samples: one way from a described layout to a sample of the list,
// and one decoder for every coding, used at load and when "s" or "x" write
// the values again.
#include "readers/stored_sample.h"

#include <algorithm>
#include <array>
#include <bit>
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

// 8-bit sums a block at a time, by the vectorised delta_decode; `flip` is
// XORed into each (0x80 for unsigned deltas).
void decode_8_bit_sums(const std::uint8_t* bytes, std::int16_t* out, std::size_t count, std::uint8_t flip)
{
    std::array<std::uint8_t, 4096> block;
    std::uint8_t sum = 0;
    for (std::size_t at = 0; at < count;) {
        const std::size_t size = std::min(block.size(), count - at);
        std::memcpy(block.data(), bytes + at, size);
        block[0] = static_cast<std::uint8_t>(block[0] + sum);
        delta_decode(block.data(), size);
        sum = block[size - 1];
        for (std::size_t i = 0; i < size; ++i)
            out[at + i] = static_cast<std::int8_t>(block[i] ^ flip);
        at += size;
    }
}

void decode_running_sum(const StoredLayout& layout, const std::uint8_t* bytes, std::int16_t* out,
                        std::size_t count, std::uint8_t flip = 0)
{
    if (layout.bits != 16) {
        decode_8_bit_sums(bytes, out, count, flip);
        return;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum = (sum + word_at(bytes + 2 * i, layout.big_endian)) & 0xFFFF;
        out[i] = as_value(sum, 16);
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

// Digitrakker's bit stream, taken from the least significant bit of each
// byte up. Its bytes come from one block in memory and then, for a stream
// read from the input, block after block from there.
struct PackedStream {
    const std::uint8_t* next = nullptr;
    const std::uint8_t* end = nullptr;
    std::uint64_t bits = 0;  // the next `held` bits of the stream; those above are 0
    unsigned held = 0;
    InputStream* input = nullptr;  // none: the block is the whole stream
    std::int64_t unread = 0;       // bytes of the stream still in the input
    std::vector<std::uint8_t>* block = nullptr;
};

constexpr std::int64_t packed_block_size = 64 * 1024;

bool load_packed_block(PackedStream& stream)
{
    if (stream.input == nullptr || stream.unread <= 0)
        return false;
    const std::int64_t size = std::min(stream.unread, packed_block_size);
    stream.block->resize(static_cast<std::size_t>(size));
    read_block(*stream.input, stream.block->data(), stream.block->size());
    stream.unread -= size;
    stream.next = stream.block->data();
    stream.end = stream.next + size;
    return true;
}

std::uint64_t little_endian_64(const std::uint8_t* bytes)
{
    std::uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, bytes, sizeof value);
    } else {
        for (int i = 7; i >= 0; --i)
            value = value << 8 | bytes[i];
    }
    return value;
}

// Up to 56 bits held, so no shift below reaches 64: whole bytes at once
// where eight are left in the block, else one by one.
void refill(PackedStream& stream)
{
    if (stream.held > 48)
        return;
    if (stream.end - stream.next >= 8) {
        const unsigned bytes = (63 - stream.held) / 8;
        const std::uint64_t mask = (std::uint64_t{1} << (8 * bytes)) - 1;
        stream.bits |= (little_endian_64(stream.next) & mask) << stream.held;
        stream.next += bytes;
        stream.held += 8 * bytes;
        return;
    }
    while (stream.held <= 48) {
        if (stream.next == stream.end && !load_packed_block(stream))
            return;
        stream.bits |= std::uint64_t{*stream.next++} << stream.held;
        stream.held += 8;
    }
}

bool take_bits(PackedStream& stream, unsigned count, unsigned& value)
{
    if (stream.held < count) {
        refill(stream);
        if (stream.held < count)
            return false;
    }
    value = static_cast<unsigned>(stream.bits & ((1u << count) - 1));
    stream.bits >>= count;
    stream.held -= count;
    return true;
}

// The magnitude after a 0 flag: 8, 16 more for each 0 bit before the first
// 1, then a 4-bit field; modulo 256, so a run as long as the stream is no harm.
bool take_long_magnitude(PackedStream& stream, unsigned& magnitude)
{
    unsigned sum = 8;
    for (;;) {
        if (stream.held == 0) {
            refill(stream);
            if (stream.held == 0)
                return false;
        }
        if (stream.bits == 0) {  // every held bit is 0
            sum += 16 * stream.held;
            stream.held = 0;
            continue;
        }
        const auto zeros = static_cast<unsigned>(std::countr_zero(stream.bits));
        sum += 16 * zeros;
        stream.bits >>= zeros + 1;
        stream.held -= zeros + 1;
        break;
    }
    unsigned low = 0;
    if (!take_bits(stream, 4, low))
        return false;
    magnitude = sum + low;
    return true;
}

struct PackedValue {
    unsigned low = 0;        // 16-bit: the plain low byte
    unsigned sign = 0;
    unsigned magnitude = 0;  // of the difference, before the sign
};

// One value from the bits held, when they hold it all; false, taking
// nothing, when they might not.
bool take_held_value(PackedStream& stream, bool wide, PackedValue& value)
{
    if (stream.held < 32)
        return false;
    std::uint64_t bits = stream.bits;
    unsigned used = 2;
    if (wide) {
        value.low = static_cast<unsigned>(bits & 0xFF);
        bits >>= 8;
        used += 8;
    }
    value.sign = static_cast<unsigned>(bits & 1);
    if ((bits & 2) != 0) {
        value.magnitude = static_cast<unsigned>((bits >> 2) & 7);
        used += 3;
    } else {
        const std::uint64_t rest = bits >> 2;
        if (rest == 0)
            return false;
        const auto zeros = static_cast<unsigned>(std::countr_zero(rest));
        if (used + zeros + 5 > stream.held)
            return false;
        value.magnitude = 8 + 16 * zeros + static_cast<unsigned>((rest >> (zeros + 1)) & 15);
        used += zeros + 5;
    }
    stream.bits >>= used;
    stream.held -= used;
    return true;
}

// One value field by field, across blocks and long runs of zero bits.
bool take_value(PackedStream& stream, bool wide, PackedValue& value)
{
    unsigned short_form = 0;
    if ((wide && !take_bits(stream, 8, value.low)) || !take_bits(stream, 1, value.sign) ||
        !take_bits(stream, 1, short_form))
        return false;
    return short_form != 0 ? take_bits(stream, 3, value.magnitude) : take_long_magnitude(stream, value.magnitude);
}

// Decodes values until `count` or the end of the stream; with no `out`, only
// counts them. Returns how many were whole.
std::size_t unpack_values(PackedStream& stream, int bits, std::int16_t* out, std::size_t count)
{
    const bool wide = bits == 16;
    unsigned running = 0;  // the delta-coded byte
    for (std::size_t i = 0; i < count; ++i) {
        PackedValue value;
        if (stream.held <= 48)
            refill(stream);
        if (!take_held_value(stream, wide, value) && !take_value(stream, wide, value))
            return i;
        if (value.sign != 0)
            value.magnitude ^= 0xFF;  // -magnitude - 1
        running = (running + value.magnitude) & 0xFF;
        if (out != nullptr)
            out[i] = as_value(wide ? running << 8 | value.low : running, bits);
    }
    return count;
}

std::int64_t channel_offset(const StoredLayout& layout, int channel)
{
    return layout.offset + std::int64_t{channel} * layout.frames * stored_value_bytes(layout);
}

struct ValuesRead {
    std::int64_t present = 0;  // values of each channel that the input holds
    bool cut = false;          // the input ends inside them
};

// A packed stream decoded from the input block by block: `count` values into
// the buffer, then with `whole` the rest counted up to the frames claimed.
ValuesRead read_packed_values(InputStream& input, const StoredLayout& layout, std::size_t count, bool whole,
                              DecodeBuffers& buffers)
{
    const std::int64_t available = bytes_present(input, layout.offset, layout.packed_bytes);
    SampleValues& out = buffers.channels[0];
    out.resize(count);
    seek_to(input, layout.offset);
    PackedStream stream;
    stream.input = &input;
    stream.unread = available;
    stream.block = &buffers.bytes;
    std::size_t present = unpack_values(stream, layout.bits, out.data(), count);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(present), out.end(), std::int16_t{0});
    if (whole && present == count && layout.frames > static_cast<std::int64_t>(count))
        present += unpack_values(stream, layout.bits, nullptr, static_cast<std::size_t>(layout.frames) - count);
    return {static_cast<std::int64_t>(present), available < layout.packed_bytes};
}

// Decodes `count` values of each channel into the buffers, zeros past the
// end of the input; with `whole`, also counts the values the input holds
// past them where only decoding tells.
ValuesRead read_stored_values(InputStream& input, const StoredLayout& layout, std::size_t count, bool whole,
                              DecodeBuffers& buffers)
{
    if (layout.coding == StoredCoding::mdl_packed)
        return read_packed_values(input, layout, count, whole, buffers);
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
    return {present, present < layout.frames};
}

// One set of buffers for every sample: fresh memory for each would cost a
// page fault for every few kilobytes decoded.
DecodeBuffers& scratch_buffers()
{
    static DecodeBuffers buffers;
    return buffers;
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
    if (sample.layout.coding == StoredCoding::mdl_packed)
        source.compression = SourceCompression::mdl;
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
        decode_running_sum(layout, bytes, out, count, 0x80);
        return;
    case StoredCoding::byte_delta:
        decode_byte_delta(bytes, out, count);
        return;
    case StoredCoding::high_half_of_32:
        decode_high_halves(layout, bytes, out, count);
        return;
    case StoredCoding::mdl_packed:
        unpack_mdl_values(bytes, static_cast<std::size_t>(std::max<std::int64_t>(layout.packed_bytes, 0)), layout.bits,
                          out, count);
        return;
    }
}

std::size_t unpack_mdl_values(const std::uint8_t* stream, std::size_t size, int bits, std::int16_t* out,
                              std::size_t count)
{
    PackedStream packed;
    packed.next = stream;
    packed.end = stream + size;
    const std::size_t whole = unpack_values(packed, bits, out, count);
    std::fill(out + whole, out + count, std::int16_t{0});
    return whole;
}

std::int64_t most_packed_values(std::int64_t bytes, int bits)
{
    return std::max<std::int64_t>(bytes, 0) * 8 / (bits == 16 ? 13 : 5);
}

void store_sample(RunState& state, int number, const StoredSample& sample)
{
    DecodeBuffers& buffers = scratch_buffers();
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
    const bool whole = state.settings.source_need != SourceNeed::none;
    const ValuesRead read = read_stored_values(input, layout, kept, whole, buffers);
    const bool as_they_stand = record_data ? store_converted_sample(slot, shape, buffers.channels[0],
                                                                    buffers.channels[1], number)
                                           : set_record_fields(slot, shape);
    if (slot.length == 0)
        return;
    if (read.cut)
        note_cut_sample(state, number);
    if (!whole)
        return;
    describe_source(slot, source_shape_of(slot, sample, read.present), as_they_stand);
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
    DecodeBuffers& buffers = scratch_buffers();
    const auto frames = static_cast<std::size_t>(std::max<std::int64_t>(source.shape.frames, 0));
    read_stored_values(state.input, source.stored, frames, false, buffers);
    const bool stereo = source.stored.channels == 2;
    encode_wav_data(source.shape.bits, buffers.channels[0],
                    stereo ? std::span<const std::int16_t>(buffers.channels[1]) : std::span<const std::int16_t>{},
                    source.shape.frames, wav);
}

}  // namespace trk2inst
