// The Extended Module reader. All fields are little-endian. Patterns are passed
// over by their sizes; every sample of every instrument takes the next free slot.
#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

constexpr std::uint8_t loop_forward = 0x01;
constexpr std::uint8_t loop_ping_pong = 0x02;
constexpr std::uint8_t sixteen_bit = 0x10;
constexpr std::int64_t read_sample_header_bytes = 40;

struct XmSampleExtent {
    std::uint32_t module_bytes = 0;  // what the module holds for the sample
    std::int64_t kept_bytes = 0;     // what the slot keeps of them
    // A sample that a record cannot hold as it stands ("=A" only): 16-bit, or
    // a forward loop at an odd byte.
    bool converted = false;
    SampleShape shape;
    // What the source sample needs of the header.
    std::uint8_t type = 0;
    std::uint32_t loop_start = 0;   // in bytes
    std::uint32_t loop_length = 0;  // in bytes
};

void read_header(RunState& state, std::uint16_t& instruments)
{
    InputStream& input = state.input;
    skip_bytes(input, 43);  // module name, marker, tracker name, version
    const std::uint16_t header_size = read_u16le(input);  // counted from offset 60
    skip_bytes(input, 6);  // high half of the size, song length, restart position
    state.summary.channels = read_u16le(input);
    state.summary.patterns = read_u16le(input);
    instruments = read_u16le(input);
    skip_bytes(input, std::int64_t{header_size} - 14);
}

void pass_over_patterns(InputStream& input, std::int32_t patterns)
{
    for (std::int32_t pattern = 0; pattern < patterns; ++pattern) {
        const std::uint16_t header_length = read_u16le(input);
        skip_bytes(input, 5);  // high half of the length, packing type, row count
        const std::uint16_t packed_size = read_u16le(input);
        skip_bytes(input, std::int64_t{packed_size} + header_length - 9);
    }
}

// The sample in values: 16-bit data hold half as many values as bytes, and
// their loop is given in bytes too.
SampleShape converted_shape(std::uint32_t length, std::uint32_t loop_start,
                            std::uint32_t loop_length, std::uint8_t type)
{
    const bool wide = (type & sixteen_bit) != 0;
    const unsigned shift = wide ? 1 : 0;
    SampleShape shape;
    shape.bits = wide ? 16 : 8;
    shape.length = length >> shift;
    shape.loops = (type & loop_forward) != 0;
    shape.loop_begin = loop_start >> shift;
    shape.loop_end = shape.loop_begin + (loop_length >> shift);
    return shape;
}

// Reads one sample header into the slot. Loop values are checked for evenness
// only when the sample loops: trackers leave odd values in unused loop fields.
XmSampleExtent read_sample_header(InputStream& input, SampleSlot& slot, std::uint16_t header_size,
                                  bool convert)
{
    const std::uint32_t length = read_u32le(input);      // in bytes
    const std::uint32_t loop_start = read_u32le(input);  // in bytes
    const std::uint32_t loop_length = read_u32le(input); // in bytes
    slot.volume = read_u8(input);
    slot.finetune = ft_nibbles(read_u8(input));
    const std::uint8_t type = read_u8(input);
    const bool loops = (type & loop_forward) != 0;
    const bool odd_loop = loops && ((loop_start | loop_length) & 1) != 0;
    const bool wide = (type & sixteen_bit) != 0;
    if (odd_loop && !convert)
        fail("Sample length is not even.\n");
    if (wide && !convert)
        fail("Sixteen-bit sample data is not supported.\n");
    slot.loop_start = static_cast<std::int32_t>(loop_start >> 1);
    slot.loop_length = loops ? static_cast<std::int32_t>(loop_length >> 1) : 1;
    slot.odd_length = (length & 1) != 0;
    skip_bytes(input, 1);  // panning
    slot.note = static_cast<std::int8_t>(read_u8(input));  // relative note
    skip_bytes(input, 1);  // reserved
    read_name(input, slot, name_length);
    skip_bytes(input, std::int64_t{header_size} - read_sample_header_bytes);
    if (odd_loop || wide) {
        // Only 16-bit data lose an odd last byte: half a value.
        slot.odd_length = wide && (length & 1) != 0;
        return {length, 0, true, converted_shape(length, loop_start, loop_length, type), type,
                loop_start, loop_length};
    }
    return {length, set_length_from_bytes(slot, length), false, {}, type, loop_start, loop_length};
}

// The source sample: a forward loop, else a ping-pong one, its start and
// length in bytes (halved for 16-bit data); the rate "w" gives with no key offset.
SourceShape source_shape_of(const SampleSlot& slot, const XmSampleExtent& extent, std::int64_t frames)
{
    const bool wide = (extent.type & sixteen_bit) != 0;
    const unsigned shift = wide ? 1 : 0;
    SourceShape source;
    source.bits = wide ? 16 : 8;
    source.frames = frames;
    source.rate = rate_from_pitch(slot.note, slot.finetune);
    const bool forward = (extent.type & loop_forward) != 0;
    if (forward || (extent.type & loop_ping_pong) != 0) {
        const std::int64_t start = extent.loop_start >> shift;
        add_source_loop(source, !forward, false, start, start + (extent.loop_length >> shift));
    }
    return source;
}

// 8-bit or 16-bit little-endian differences, summed from `sum` on.
void sum_differences(const std::vector<std::uint8_t>& bytes, std::size_t width, std::uint16_t sum,
                     std::size_t count, SampleValues& values, std::size_t at)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (width == 1) {
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
            values[at + i] = static_cast<std::int8_t>(sum);
        } else {
            sum = static_cast<std::uint16_t>(sum + (bytes[2 * i] | unsigned{bytes[2 * i + 1]} << 8));
            values[at + i] = static_cast<std::int16_t>(sum);
        }
    }
}

// Values of a converted sample: 8-bit bytes or 16-bit little-endian words,
// each the difference from the one before, summed from 0. With the source
// sample wanted, every value the input holds is decoded, not only those kept.
void read_converted_sample(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                           int slot_number, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    const SampleShape& shape = extent.shape;
    const auto kept = static_cast<std::size_t>(values_to_keep(shape));
    const std::size_t width = shape.bits == 16 ? 2 : 1;
    const bool whole_source = state.settings.source_need != SourceNeed::none;
    std::vector<std::uint8_t>& bytes = buffers.bytes;
    std::size_t frames = 0;
    if (whole_source) {
        frames = read_present_bytes(input, extent.module_bytes, bytes) / width;
        bytes.resize(std::max(bytes.size(), kept * width), 0);
    } else {
        bytes.resize(kept * width);
        read_block(input, bytes.data(), bytes.size());
        skip_bytes(input, std::int64_t{extent.module_bytes} - static_cast<std::int64_t>(bytes.size()));
    }
    SampleValues& values = buffers.channels[0];
    const std::size_t count = std::max(kept, frames);
    values.resize(count);
    if (width == 1) {
        delta_decode(bytes.data(), count);
        for (std::size_t i = 0; i < count; ++i)
            values[i] = static_cast<std::int8_t>(bytes[i]);
    } else {
        sum_differences(bytes, width, 0, count, values, 0);
    }
    const bool as_they_stand = store_converted_sample(slot, shape, values, {}, slot_number);
    if (!whole_source || !slot.data)
        return;
    describe_source(slot, source_shape_of(slot, extent, static_cast<std::int64_t>(frames)), as_they_stand);
    keep_source_values(state, slot, values, {}, 0, false);
}

// The source of a sample the slot holds as it stands: its values are the
// slot's data unless the module holds more (an odd last byte, or more than a
// slot keeps), which are then read and summed on from the slot's last value.
void describe_plain_source(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                           std::int64_t data_start, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    const std::int64_t rest = std::int64_t{extent.module_bytes} - extent.kept_bytes;
    const bool want_values = state.settings.source_need == SourceNeed::values;
    std::vector<std::uint8_t>& bytes = buffers.bytes;
    const std::size_t extra = want_values ? read_present_bytes(input, rest, bytes) : 0;
    if (!want_values)
        skip_bytes(input, rest);
    const std::int64_t frames = bytes_present(input, data_start, extent.module_bytes);
    describe_source(slot, source_shape_of(slot, extent, frames), true);
    if (slot.source.values != SourceValues::kept)
        return;
    const auto held = static_cast<std::size_t>(extent.kept_bytes);
    SampleValues& values = buffers.channels[0];
    values.resize(held + extra);
    const std::uint8_t* data = slot.data.get();
    for (std::size_t i = 0; i < held; ++i)
        values[i] = static_cast<std::int8_t>(data[i]);
    sum_differences(bytes, 1, held > 0 ? data[held - 1] : 0, extra, values, held);
    keep_source_values(state, slot, values, {}, 0, false);
}

void read_plain_sample(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                       int slot_number, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    const std::int64_t data_start = input.position;
    allocate_sample_data(slot, slot_number);
    read_sample_data(input, slot);
    delta_decode(slot.data.get(), static_cast<std::size_t>(extent.kept_bytes));
    if (state.settings.convert_samples && state.settings.source_need != SourceNeed::none && slot.data) {
        describe_plain_source(state, slot, extent, data_start, buffers);
        return;
    }
    // An odd last byte, and whatever a slot cannot hold, is read and dropped.
    skip_bytes(input, std::int64_t{extent.module_bytes} - extent.kept_bytes);
}

void read_xm_sample_data(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                         int slot_number, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    const std::int64_t data_start = input.position;
    if (extent.converted)
        read_converted_sample(state, slot, extent, slot_number, buffers);
    else
        read_plain_sample(state, slot, extent, slot_number, buffers);
    if (state.settings.convert_samples && slot.data &&
        bytes_present(input, data_start, extent.module_bytes) < std::int64_t{extent.module_bytes})
        note_cut_slot(state, slot_number);
}

// Stores the instrument's samples from next_slot on, as many as the table has
// room for; returns the number stored.
int read_instrument_samples(RunState& state, int next_slot, std::uint16_t sample_count,
                            std::uint16_t header_size, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    const int stored = std::min<int>(sample_count, slot_count - next_slot);
    std::array<XmSampleExtent, slot_count> extents{};
    for (int i = 0; i < stored; ++i) {
        SampleSlot& slot = state.samples[static_cast<std::size_t>(next_slot + i)];
        extents[static_cast<std::size_t>(i)] =
            read_sample_header(input, slot, header_size, state.settings.convert_samples);
    }
    // Headers of samples that find no slot; each takes header_size bytes.
    skip_bytes(input, std::int64_t{sample_count - stored} * header_size);
    for (int i = 0; i < stored; ++i) {
        SampleSlot& slot = state.samples[static_cast<std::size_t>(next_slot + i)];
        read_xm_sample_data(state, slot, extents[static_cast<std::size_t>(i)], next_slot + i + 1, buffers);
    }
    return stored;
}

}  // namespace

// Each stored byte is the difference from the one before: the data are their
// 8-bit running sum. Sixteen bytes at a time where SSE2 is at hand (every
// x86-64), a prefix sum by shifted adds, since this is the reader's hot loop.
void delta_decode(std::uint8_t* data, std::size_t size)
{
    std::size_t i = 0;
    std::uint8_t sum = 0;
#if defined(__SSE2__)
    __m128i carry = _mm_setzero_si128();  // the running sum in every byte
    for (; i + 16 <= size; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        x = _mm_add_epi8(x, _mm_slli_si128(x, 1));
        x = _mm_add_epi8(x, _mm_slli_si128(x, 2));
        x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
        x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
        x = _mm_add_epi8(x, carry);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), x);
        // Byte 15 into every byte.
        const __m128i high = _mm_shufflehi_epi16(_mm_unpackhi_epi8(x, x), 0xFF);
        carry = _mm_shuffle_epi32(high, 0xFF);
    }
    if (i > 0)
        sum = data[i - 1];
#endif
    for (; i < size; ++i) {
        sum = static_cast<std::uint8_t>(sum + data[i]);
        data[i] = sum;
    }
}

void read_extended_module(RunState& state)
{
    InputStream& input = state.input;
    state.summary.no_expected_length = true;
    state.summary.format_tag = {'E', 'X', 'T', '.', '\0'};
    std::uint16_t instruments = 0;
    read_header(state, instruments);
    pass_over_patterns(input, state.summary.patterns);

    // Slots are handed out in file order across all instruments. Once the table
    // is full nothing further can be stored, so the reading ends there.
    int next_slot = 0;
    DecodeBuffers buffers;
    for (int instrument = 0; instrument < instruments && next_slot < slot_count; ++instrument) {
        const std::uint16_t instrument_size = read_u16le(input);  // from the instrument's start
        skip_bytes(input, 25);  // high half of the size, name, type
        const std::uint16_t sample_count = read_u16le(input);
        if (sample_count == 0) {
            skip_bytes(input, std::int64_t{instrument_size} - 29);
            continue;
        }
        const std::uint16_t sample_header_size = read_u16le(input);
        skip_bytes(input, std::int64_t{instrument_size} - 31);
        next_slot += read_instrument_samples(state, next_slot, sample_count, sample_header_size, buffers);
    }
}

}  // namespace trk2inst
