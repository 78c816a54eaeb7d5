// The Extended Module reader. All fields are little-endian. Patterns are passed
// over by their sizes; every sample of every instrument takes the next free slot.
#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "readers/instrument_headers.h"
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
    std::int64_t header_offset = 0;
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
    // The tempo only when it lies inside the header: the skips stay as they were.
    constexpr std::int64_t through_tempo = 20;
    if (state.settings.instruments_needed && header_size >= through_tempo) {
        skip_bytes(input, 4);  // flags, default speed
        state.summary.tempo = read_u16le(input);  // beats per minute
        skip_bytes(input, std::int64_t{header_size} - through_tempo);
        return;
    }
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
    slot.voice.family = VoiceFamily::extended_module;
    slot.voice.panning = read_u8(input);  // 0 left, 128 centre
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

// A sample past the record table: its record's fields and its source sample.
// Its values are read again when they are written, or kept where the input
// cannot seek back to them.
void read_sample_past_table(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                            int sample_number, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    const std::int64_t data_start = input.position;
    const bool as_they_stand =
        extent.converted ? store_converted_sample(slot, extent.shape, {}, {}, sample_number) : true;
    if (slot.length == 0) {
        skip_bytes(input, extent.module_bytes);
        return;
    }
    const std::int64_t width = (extent.type & sixteen_bit) != 0 ? 2 : 1;
    const bool want_values = state.settings.source_need == SourceNeed::values;
    const bool keep_values = want_values && !input.seekable;
    std::vector<std::uint8_t>& bytes = buffers.bytes;
    if (keep_values)
        read_present_bytes(input, extent.module_bytes, bytes);
    else
        skip_bytes(input, extent.module_bytes);
    const std::int64_t frames = bytes_present(input, data_start, extent.module_bytes) / width;
    describe_source(slot, source_shape_of(slot, extent, frames), as_they_stand);
    slot.source.data_offset = data_start;
    if (keep_values) {
        SampleValues& values = buffers.channels[0];
        values.resize(static_cast<std::size_t>(frames));
        sum_differences(bytes, static_cast<std::size_t>(width), 0, values.size(), values, 0);
        keep_source_values(state, slot, values, {}, extent.header_offset, false);
    } else if (want_values) {
        decode_source_values_when_written(slot, extent.header_offset);
    }
}

void read_xm_sample_data(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                         int sample_number, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    const std::int64_t data_start = input.position;
    if (!has_record_slot(sample_number))
        read_sample_past_table(state, slot, extent, sample_number, buffers);
    else if (extent.converted)
        read_converted_sample(state, slot, extent, sample_number, buffers);
    else
        read_plain_sample(state, slot, extent, sample_number, buffers);
    if (state.settings.convert_samples && slot.length != 0 &&
        bytes_present(input, data_start, extent.module_bytes) < std::int64_t{extent.module_bytes})
        note_cut_sample(state, sample_number);
}

bool input_ended_by(const InputStream& input, std::int64_t offset)
{
    return input.end >= 0 && offset >= input.end;
}

// Passes over `count` sample headers; returns the length of their data. A
// header too short to hold the length holds no data.
std::int64_t pass_over_sample_headers(InputStream& input, int count, std::uint16_t header_size)
{
    if (header_size < 4) {
        skip_bytes(input, std::int64_t{count} * header_size);
        return 0;
    }
    std::int64_t data_bytes = 0;
    for (int i = 0; i < count && !input_ended_by(input, input.position); ++i) {
        data_bytes += read_u32le(input);  // length in bytes
        skip_bytes(input, std::int64_t{header_size} - 4);
    }
    return data_bytes;
}

// Where a reading of the module stands.
struct XmReading {
    int next_sample = 0;      // samples stored so far
    std::int64_t claimed = 0;  // samples the instruments claim, so far
    DecodeBuffers buffers;
    std::vector<XmSampleExtent> extents;
};

// Stores the instrument's samples after the next_sample stored before, up to
// sample number `last`; returns the number stored. Headers that lie wholly
// past the end of the input add no sample past the record table.
int read_instrument_samples(RunState& state, XmReading& reading, std::uint16_t sample_count,
                            std::uint16_t header_size, int last)
{
    InputStream& input = state.input;
    const int first = reading.next_sample;
    int stored = std::min<int>(sample_count, last - first);
    reading.extents.assign(static_cast<std::size_t>(std::max(stored, 0)), {});
    for (int i = 0; i < stored; ++i) {
        const int number = first + i + 1;
        const std::int64_t header_start = input.position;
        SampleSlot header;
        SampleSlot& slot = has_record_slot(number) ? state.samples[static_cast<std::size_t>(number - 1)] : header;
        XmSampleExtent& extent = reading.extents[static_cast<std::size_t>(i)];
        extent = read_sample_header(input, slot, header_size, state.settings.convert_samples);
        extent.header_offset = header_start;
        if (has_record_slot(number))
            continue;
        if (input_ended_by(input, header_start)) {
            for (int missing = number; missing <= first + stored; ++missing)
                note_header_past_end(state, missing);
            skip_bytes(input, std::int64_t{stored - i - 1} * header_size);
            stored = i;
            break;
        }
        sample_entry(state, number) = std::move(header);
    }
    // Samples that find no place: their headers, and after the others' data
    // their own, are passed over.
    const std::int64_t unplaced_data =
        pass_over_sample_headers(input, sample_count - std::min<int>(sample_count, last - first), header_size);
    for (int i = 0; i < stored; ++i) {
        SampleSlot& slot = state.samples[static_cast<std::size_t>(first + i)];
        read_xm_sample_data(state, slot, reading.extents[static_cast<std::size_t>(i)], first + i + 1,
                            reading.buffers);
    }
    skip_bytes(input, unplaced_data);
    return stored;
}

struct XmInstrumentHead {
    std::uint16_t size = 0;  // from the instrument's start
    std::uint16_t sample_count = 0;
    std::uint16_t sample_header_size = 0;
    std::array<std::uint8_t, xm_instrument_header_size> bytes{};  // with an entry: as far as the size goes
};

constexpr std::int64_t xm_head_through_count = 29;       // size, name, type, sample count
constexpr std::int64_t xm_head_through_header_size = 31;  // and the low half of the sample header size

// Reads an instrument header up to its sample headers; with an entry of the
// instrument table, its name and the rest of its header as well, in the same
// bytes that are otherwise skipped.
XmInstrumentHead read_instrument_rest(InputStream& input, std::uint16_t size, ModuleInstrument* entry)
{
    XmInstrumentHead head;
    head.size = size;
    if (entry != nullptr) {
        skip_bytes(input, 2);  // high half of the size
        read_block(input, entry->name.data(), name_length);
        skip_bytes(input, 1);  // type
    } else {
        skip_bytes(input, 25);  // high half of the size, name, type
    }
    head.sample_count = read_u16le(input);
    if (head.sample_count == 0) {
        skip_bytes(input, std::int64_t{head.size} - xm_head_through_count);
        return head;
    }
    head.sample_header_size = read_u16le(input);
    std::int64_t kept = 0;
    if (entry != nullptr) {
        constexpr auto whole = static_cast<std::int64_t>(xm_instrument_header_size);
        kept = std::clamp<std::int64_t>(std::min<std::int64_t>(head.size, whole) - xm_head_through_header_size, 0,
                                        whole - xm_head_through_header_size);
        read_block(input, head.bytes.data() + xm_head_through_header_size, static_cast<std::size_t>(kept));
    }
    skip_bytes(input, std::int64_t{head.size} - xm_head_through_header_size - kept);
    return head;
}

XmInstrumentHead read_instrument_head(InputStream& input, ModuleInstrument* entry)
{
    const std::uint16_t size = read_u16le(input);  // from the instrument's start
    return read_instrument_rest(input, size, entry);
}

// Past the last sample read: the instrument's header for the table, then its
// sample headers for the length of their data; adds its sample count to the
// samples claimed. It stops where a size would move backwards or the input
// has ended, which no module needs.
bool walk_past_instrument(InputStream& input, ModuleInstrument& entry, std::int64_t& claimed)
{
    const auto ended = [&input] { return input_ended_by(input, input.position); };
    if (ended())
        return false;
    const std::uint16_t size = read_u16le(input);
    if (size < xm_head_through_header_size)
        return false;
    const XmInstrumentHead head = read_instrument_rest(input, size, &entry);
    claimed += head.sample_count;
    if (head.sample_count == 0)
        return true;
    parse_xm_instrument(head.bytes, head.size, 0, 0, entry);
    if (head.sample_header_size < 4)
        return false;
    skip_bytes(input, pass_over_sample_headers(input, head.sample_count, head.sample_header_size));
    return true;
}

}  // namespace

void decode_extended_module_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav)
{
    InputStream& input = state.input;
    const SourceSample& source = state.samples[index].source;
    seek_to(input, source.header_offset + 14);  // the type
    const std::size_t width = (read_u8(input) & sixteen_bit) != 0 ? 2 : 1;
    DecodeBuffers buffers;
    seek_to(input, source.data_offset);
    // The values the input holds, as read before.
    read_present_bytes(input, source.shape.frames * static_cast<std::int64_t>(width), buffers.bytes);
    SampleValues& values = buffers.channels[0];
    values.resize(buffers.bytes.size() / width);
    sum_differences(buffers.bytes, width, 0, values.size(), values, 0);
    encode_wav_data(source.shape.bits, values, {}, source.shape.frames, wav);
}

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

    // "=A" with "z" or "j": the instrument table, of the first 255 instruments.
    InstrumentTable& table = state.instruments;
    table.from_module = state.settings.convert_samples && state.settings.instruments_needed;
    const int listed = table.from_module ? std::min<int>(instruments, instrument_limit) : 0;
    table.list.reserve(static_cast<std::size_t>(listed));
    // "=A" with a command that gives every sample out reads past the record
    // table; instruments past the limit fill record slots only, as ever.
    const bool every_sample = state.settings.every_sample;
    if (every_sample)
        note_claimed_instruments(state, instruments, true);

    // Samples are numbered in file order across all instruments. Once no more
    // can be stored the reading ends there, or walks on through the
    // instruments still to be listed.
    XmReading reading;
    for (int instrument = 0; instrument < instruments; ++instrument) {
        ModuleInstrument* entry = instrument < listed ? &table.list.emplace_back() : nullptr;
        const int last = every_sample && instrument < instrument_limit ? sample_limit : slot_count;
        if (reading.next_sample >= last) {
            // Past the most samples read, the walk also counts what is left out.
            const bool counting = every_sample && instrument < instrument_limit;
            ModuleInstrument unlisted;
            if ((entry == nullptr && !counting) ||
                !walk_past_instrument(input, entry != nullptr ? *entry : unlisted, reading.claimed))
                break;
            continue;
        }
        const XmInstrumentHead head = read_instrument_head(input, entry);
        reading.claimed += head.sample_count;
        if (head.sample_count == 0)
            continue;
        const int first = reading.next_sample;
        const int stored = read_instrument_samples(state, reading, head.sample_count, head.sample_header_size, last);
        if (entry != nullptr)
            parse_xm_instrument(head.bytes, head.size, first, stored, *entry);
        reading.next_sample += stored;
    }
    if (every_sample)
        note_claimed_samples(state, reading.claimed);
}

}  // namespace trk2inst
