// The Extended Module reader. All fields are little-endian. Patterns are passed
// over by their sizes; every sample of every instrument takes the next free slot.
#include <algorithm>
#include <array>
#include <cstring>
#include <span>

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
constexpr std::uint8_t stereo = 0x20;  // ModPlug's: the left channel's bytes, then the right's
constexpr std::uint8_t adpcm_mark = 0xAD;  // byte 17: ModPlug's 4-bit ADPCM
constexpr std::int64_t read_sample_header_bytes = 40;
// Versions whose instruments come before the patterns, and their samples' data after them.
constexpr std::uint16_t version_1_02 = 0x0102;
constexpr std::uint16_t version_1_03 = 0x0103;

// The fields of a sample header that place and shape its data.
struct XmSampleFields {
    std::uint32_t length = 0;       // in bytes
    std::uint32_t loop_start = 0;   // in bytes
    std::uint32_t loop_length = 0;  // in bytes
    std::uint8_t type = 0;
    std::uint8_t reserved = 0;      // byte 17
};

struct XmSampleExtent {
    XmSampleFields fields;
    bool adpcm = false;              // "=A": ModPlug's ADPCM, 8-bit mono
    bool stereo = false;             // "=A": type bit 5
    std::int64_t module_bytes = 0;   // what the module holds for the sample
    std::int64_t kept_bytes = 0;     // what the slot keeps of them
    // A sample that a record cannot hold as it stands ("=A" only): 16-bit,
    // stereo, or a forward loop at an odd byte.
    bool converted = false;
    SampleShape shape;
    std::int64_t header_offset = 0;
};

struct XmHeader {
    std::uint16_t version = 0;
    std::uint16_t instruments = 0;
};

XmHeader read_header(RunState& state)
{
    InputStream& input = state.input;
    XmHeader header;
    skip_bytes(input, 41);  // module name, marker, tracker name
    header.version = read_u16le(input);
    const std::uint16_t header_size = read_u16le(input);  // counted from offset 60
    skip_bytes(input, 6);  // high half of the size, song length, restart position
    state.summary.channels = read_u16le(input);
    state.summary.patterns = read_u16le(input);
    header.instruments = read_u16le(input);
    // The tempo only when it lies inside the header: the skips stay as they were.
    constexpr std::int64_t through_tempo = 20;
    if (state.settings.instruments_needed && header_size >= through_tempo) {
        skip_bytes(input, 4);  // flags, default speed
        state.summary.tempo = read_u16le(input);  // beats per minute
        skip_bytes(input, std::int64_t{header_size} - through_tempo);
        return header;
    }
    skip_bytes(input, std::int64_t{header_size} - 14);
    return header;
}

// Whether the input has ended at the offset. Past its end every header reads
// as zeros and moves nothing, so the rest of a count that a cut or hostile
// module claims is not walked.
bool input_ended_by(const InputStream& input, std::int64_t offset)
{
    return input.end >= 0 && offset >= input.end;
}

// Version 1.02 has a header one byte shorter: its row count is a byte.
void pass_over_patterns(InputStream& input, std::int32_t patterns, bool short_header)
{
    const std::int64_t through_packed_size = short_header ? 8 : 9;
    for (std::int32_t pattern = 0; pattern < patterns && !input_ended_by(input, input.position); ++pattern) {
        const std::uint16_t header_length = read_u16le(input);
        skip_bytes(input, through_packed_size - 4);  // high half of the length, packing type, row count
        const std::uint16_t packed_size = read_u16le(input);
        skip_bytes(input, std::int64_t{packed_size} + header_length - through_packed_size);
    }
}

// Bytes of one value of every channel.
std::uint32_t frame_bytes(const XmSampleExtent& extent)
{
    return ((extent.fields.type & sixteen_bit) != 0 ? 2u : 1u) * (extent.stereo ? 2u : 1u);
}

// The sample in values: 16-bit data hold half as many values as bytes, and a
// stereo sample's bytes are both channels'; its loop is given in bytes too.
SampleShape converted_shape(const XmSampleExtent& extent)
{
    const std::uint32_t per_frame = frame_bytes(extent);
    SampleShape shape;
    shape.bits = (extent.fields.type & sixteen_bit) != 0 ? 16 : 8;
    shape.stereo = extent.stereo;
    shape.length = extent.fields.length / per_frame;
    shape.loops = (extent.fields.type & loop_forward) != 0;
    shape.loop_begin = extent.fields.loop_start / per_frame;
    shape.loop_end = shape.loop_begin + extent.fields.loop_length / per_frame;
    return shape;
}

// Sets the slot's length and loop from the header's fields. Loop values are
// checked for evenness only when the sample loops: trackers leave odd values
// in unused loop fields. "=A" reads what ModPlug added to the format: both
// loop bits for ping-pong, stereo and ADPCM samples.
XmSampleExtent place_sample(SampleSlot& slot, XmSampleFields fields, bool convert)
{
    if (convert && (fields.type & (loop_forward | loop_ping_pong)) == (loop_forward | loop_ping_pong))
        fields.type = static_cast<std::uint8_t>(fields.type & ~loop_forward);
    XmSampleExtent extent;
    extent.fields = fields;
    const bool loops = (fields.type & loop_forward) != 0;
    const bool odd_loop = loops && ((fields.loop_start | fields.loop_length) & 1) != 0;
    const bool wide = (fields.type & sixteen_bit) != 0;
    if (odd_loop && !convert)
        fail("Sample length is not even.\n");
    if (wide && !convert)
        fail("Sixteen-bit sample data is not supported.\n");
    extent.stereo = convert && (fields.type & stereo) != 0;
    extent.adpcm = convert && fields.reserved == adpcm_mark && !wide && !extent.stereo;
    extent.module_bytes = extent.adpcm ? adpcm_stored_bytes(fields.length) : fields.length;
    slot.loop_start = static_cast<std::int32_t>(fields.loop_start >> 1);
    slot.loop_length = loops ? static_cast<std::int32_t>(fields.loop_length >> 1) : 1;
    slot.odd_length = (fields.length & 1) != 0;
    if (odd_loop || wide || extent.stereo) {
        // Only bytes that make no whole frame are lost.
        slot.odd_length = fields.length % frame_bytes(extent) != 0;
        extent.converted = true;
        extent.shape = converted_shape(extent);
        return extent;
    }
    extent.kept_bytes = set_length_from_bytes(slot, fields.length);
    return extent;
}

// Reads one sample header into the slot.
XmSampleExtent read_sample_header(InputStream& input, SampleSlot& slot, std::uint16_t header_size,
                                  bool convert)
{
    XmSampleFields fields;
    fields.length = read_u32le(input);      // in bytes
    fields.loop_start = read_u32le(input);  // in bytes
    fields.loop_length = read_u32le(input); // in bytes
    slot.volume = read_u8(input);
    slot.finetune = ft_nibbles(read_u8(input));
    fields.type = read_u8(input);
    slot.voice.family = VoiceFamily::extended_module;
    slot.voice.panning = read_u8(input);  // 0 left, 128 centre
    slot.note = static_cast<std::int8_t>(read_u8(input));  // relative note
    fields.reserved = read_u8(input);
    read_name(input, slot, name_length);
    skip_bytes(input, std::int64_t{header_size} - read_sample_header_bytes);
    return place_sample(slot, fields, convert);
}

// The source sample: a forward loop, else a ping-pong one, its start and
// length in bytes (in frames for 16-bit and stereo data); the rate "w" gives
// with no key offset.
SourceShape source_shape_of(const SampleSlot& slot, const XmSampleExtent& extent, std::int64_t frames)
{
    const std::uint8_t type = extent.fields.type;
    const std::uint32_t per_frame = frame_bytes(extent);
    SourceShape source;
    source.bits = (type & sixteen_bit) != 0 ? 16 : 8;
    source.channels = extent.stereo ? 2 : 1;
    source.frames = frames;
    source.rate = rate_from_pitch(slot.note, slot.finetune);
    const bool forward = (type & loop_forward) != 0;
    if (forward || (type & loop_ping_pong) != 0) {
        const std::int64_t start = extent.fields.loop_start / per_frame;
        add_source_loop(source, !forward, false, start, start + extent.fields.loop_length / per_frame);
    }
    if (extent.adpcm)
        source.compression = SourceCompression::adpcm;
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

// Reads the sample's stored bytes from the input's position and stands after
// them. Decodes at least `keep` values of each channel into the buffers, and
// with `whole` every value the input holds; returns how many values of each
// channel it holds (with `whole`). Each channel's values are 8-bit bytes or
// 16-bit little-endian words, each the difference from the one before,
// summed from 0; a stereo sample's right channel follows its left.
std::int64_t read_xm_values(InputStream& input, const XmSampleExtent& extent, std::size_t keep, bool whole,
                            DecodeBuffers& buffers)
{
    if (extent.adpcm)
        return read_adpcm_sample(input, extent.fields.length, keep, whole, buffers);
    const std::size_t width = (extent.fields.type & sixteen_bit) != 0 ? 2 : 1;
    const std::size_t channels = extent.stereo ? 2 : 1;
    const std::int64_t channel_bytes =
        extent.stereo ? extent.shape.length * static_cast<std::int64_t>(width) : extent.module_bytes;
    std::vector<std::uint8_t>& bytes = buffers.bytes;
    std::int64_t frames = channel_bytes;
    for (std::size_t channel = 0; channel < channels; ++channel) {
        std::size_t arrived = 0;
        if (whole) {
            arrived = read_present_bytes(input, channel_bytes, bytes);
            bytes.resize(std::max(bytes.size(), keep * width), 0);
        } else {
            bytes.resize(keep * width);
            read_block(input, bytes.data(), bytes.size());
            skip_bytes(input, channel_bytes - static_cast<std::int64_t>(bytes.size()));
        }
        frames = std::min(frames, static_cast<std::int64_t>(arrived / width));
        SampleValues& values = buffers.channels[channel];
        const std::size_t count = std::max(keep, arrived / width);
        values.resize(count);
        if (width == 1) {
            delta_decode(bytes.data(), count);
            for (std::size_t i = 0; i < count; ++i)
                values[i] = static_cast<std::int8_t>(bytes[i]);
        } else {
            sum_differences(bytes, width, 0, count, values, 0);
        }
    }
    // Bytes that make no whole frame belong to neither channel.
    skip_bytes(input, extent.module_bytes - static_cast<std::int64_t>(channels) * channel_bytes);
    return frames;
}

// Of the sample's stored bytes from `data_start`, the values of each channel
// that the input holds.
std::int64_t frames_present(InputStream& input, std::int64_t data_start, const XmSampleExtent& extent)
{
    if (extent.adpcm)
        return adpcm_values_present(extent.fields.length, bytes_present(input, data_start, extent.module_bytes));
    const std::int64_t width = (extent.fields.type & sixteen_bit) != 0 ? 2 : 1;
    if (!extent.stereo)
        return bytes_present(input, data_start, extent.module_bytes) / width;
    const std::int64_t channel_bytes = extent.shape.length * width;
    return std::min(bytes_present(input, data_start, channel_bytes),
                    bytes_present(input, data_start + channel_bytes, channel_bytes)) /
           width;
}

// A converted sample. With the source sample wanted, every value the input
// holds is decoded, not only those kept.
void read_converted_sample(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                           int slot_number, DecodeBuffers& buffers)
{
    const auto kept = static_cast<std::size_t>(values_to_keep(extent.shape));
    const bool whole_source = state.settings.source_need != SourceNeed::none;
    const std::int64_t frames = read_xm_values(state.input, extent, kept, whole_source, buffers);
    const auto& channels = buffers.channels;
    const bool as_they_stand = store_converted_sample(slot, extent.shape, channels[0], channels[1], slot_number);
    if (!whole_source || !slot.data)
        return;
    describe_source(slot, source_shape_of(slot, extent, frames), as_they_stand);
    keep_source_values(state, slot, channels[0], channels[1], 0, false);
}

// An ADPCM sample the slot holds as it stands: its decoded values, the first
// of them as a delta-coded sample's would be.
void read_plain_adpcm_sample(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                             int slot_number, DecodeBuffers& buffers)
{
    const bool whole_source = state.settings.source_need != SourceNeed::none;
    const auto kept = static_cast<std::size_t>(extent.kept_bytes);
    const std::int64_t frames = read_xm_values(state.input, extent, kept, whole_source, buffers);
    allocate_sample_data(slot, slot_number);
    if (!slot.data)
        return;
    const SampleValues& values = buffers.channels[0];
    std::uint8_t* data = slot.data.get();
    for (std::size_t i = 0; i < kept; ++i)
        data[i] = static_cast<std::uint8_t>(values[i] & 0xFF);
    if (!whole_source)
        return;
    describe_source(slot, source_shape_of(slot, extent, frames), true);
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
    if (extent.adpcm) {
        read_plain_adpcm_sample(state, slot, extent, slot_number, buffers);
        return;
    }
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
    skip_bytes(input, extent.module_bytes - extent.kept_bytes);
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
    const bool want_values = state.settings.source_need == SourceNeed::values;
    const bool keep_values = want_values && !input.seekable;
    if (keep_values)
        read_xm_values(input, extent, 0, true, buffers);
    else
        skip_bytes(input, extent.module_bytes);
    const std::int64_t frames = frames_present(input, data_start, extent);
    describe_source(slot, source_shape_of(slot, extent, frames), as_they_stand);
    slot.source.data_offset = data_start;
    if (keep_values)
        keep_source_values(state, slot, buffers.channels[0], buffers.channels[1], extent.header_offset, false);
    else if (want_values)
        decode_source_values_when_written(slot, extent.header_offset);
}

// OggMod's packing: an Ogg Vorbis stream four bytes into the data, after the
// size it decodes to. Looked at and then read again from where it starts.
bool stored_as_ogg_vorbis(InputStream& input, const XmSampleExtent& extent)
{
    constexpr std::int64_t signature_end = 8;
    if (extent.fields.length < signature_end)
        return false;
    const std::int64_t data_start = input.position;
    std::array<char, signature_end> head{};
    read_block(input, head.data(), head.size());
    seek_to(input, data_start);
    return std::memcmp(head.data() + 4, "OggS", 4) == 0;
}

// Reads the data of a sample whose header was read. Under "=A" a sample in
// the 1.04 layout may be stored as Ogg Vorbis: it then has no data, as a
// header of length 0 leaves its slot.
void read_xm_sample_data(RunState& state, SampleSlot& slot, const XmSampleExtent& extent,
                         int sample_number, bool ogg_possible, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    const std::int64_t data_start = input.position;
    if (ogg_possible && stored_as_ogg_vorbis(input, extent)) {
        XmSampleFields none = extent.fields;
        none.length = 0;
        place_sample(slot, none, true);
        note_not_decoded(state, sample_number);
        skip_bytes(input, extent.fields.length);
        return;
    }
    if (!has_record_slot(sample_number))
        read_sample_past_table(state, slot, extent, sample_number, buffers);
    else if (extent.converted)
        read_converted_sample(state, slot, extent, sample_number, buffers);
    else
        read_plain_sample(state, slot, extent, sample_number, buffers);
    if (state.settings.convert_samples && slot.length != 0 &&
        bytes_present(input, data_start, extent.module_bytes) < extent.module_bytes)
        note_cut_sample(state, sample_number);
}

// Passes over `count` sample headers; returns the stored length of their
// data. A header too short to hold the length holds no data.
std::int64_t pass_over_sample_headers(InputStream& input, int count, std::uint16_t header_size, bool convert)
{
    if (header_size < 4) {
        skip_bytes(input, std::int64_t{count} * header_size);
        return 0;
    }
    std::int64_t data_bytes = 0;
    for (int i = 0; i < count && !input_ended_by(input, input.position); ++i) {
        if (convert) {
            SampleSlot scratch;
            data_bytes += read_sample_header(input, scratch, header_size, true).module_bytes;
            continue;
        }
        data_bytes += read_u32le(input);  // length in bytes
        skip_bytes(input, std::int64_t{header_size} - 4);
    }
    return data_bytes;
}

// Where a reading of the module stands.
struct XmReading {
    bool convert = false;      // "=A"
    // Versions 1.02 and 1.03 ("=A"): every sample's data after the patterns.
    bool data_last = false;
    int next_sample = 0;      // samples stored so far
    std::int64_t claimed = 0;  // samples the instruments claim, so far
    DecodeBuffers buffers;
    // The samples whose headers are read and whose data are not yet; the
    // first is sample first_pending + 1.
    std::vector<XmSampleExtent> extents;
    int first_pending = 0;
};

// Reads the data of the samples whose headers were read, in order.
void read_pending_data(RunState& state, XmReading& reading)
{
    for (std::size_t i = 0; i < reading.extents.size(); ++i) {
        const int number = reading.first_pending + static_cast<int>(i) + 1;
        read_xm_sample_data(state, state.samples[static_cast<std::size_t>(number - 1)], reading.extents[i], number,
                            reading.convert && !reading.data_last, reading.buffers);
    }
    reading.first_pending += static_cast<int>(reading.extents.size());
    reading.extents.clear();
}

// Reads the headers of the instrument's samples after the next_sample stored
// before, up to sample number `last`, and in the 1.04 layout their data;
// returns the number stored. Headers that lie wholly past the end of the
// input add no sample past the record table.
int read_instrument_samples(RunState& state, XmReading& reading, std::uint16_t sample_count,
                            std::uint16_t header_size, int last)
{
    InputStream& input = state.input;
    const int first = reading.next_sample;
    int stored = std::min<int>(sample_count, last - first);
    const std::size_t base = reading.extents.size();
    reading.extents.resize(base + static_cast<std::size_t>(std::max(stored, 0)));
    for (int i = 0; i < stored; ++i) {
        const int number = first + i + 1;
        const std::int64_t header_start = input.position;
        SampleSlot header;
        SampleSlot& slot = has_record_slot(number) ? state.samples[static_cast<std::size_t>(number - 1)] : header;
        XmSampleExtent& extent = reading.extents[base + static_cast<std::size_t>(i)];
        extent = read_sample_header(input, slot, header_size, reading.convert);
        extent.header_offset = header_start;
        if (has_record_slot(number))
            continue;
        if (input_ended_by(input, header_start)) {
            for (int missing = number; missing <= first + stored; ++missing)
                note_header_past_end(state, missing);
            skip_bytes(input, std::int64_t{stored - i - 1} * header_size);
            stored = i;
            reading.extents.resize(base + static_cast<std::size_t>(i));
            break;
        }
        sample_entry(state, number) = std::move(header);
    }
    // Samples that find no place: their headers, and after the others' data
    // their own, are passed over. In versions 1.02 and 1.03 their data come
    // after those of every sample stored.
    const std::int64_t unplaced_data = pass_over_sample_headers(
        input, sample_count - std::min<int>(sample_count, last - first), header_size, reading.convert);
    if (!reading.data_last) {
        read_pending_data(state, reading);
        skip_bytes(input, unplaced_data);
    }
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

// "=A", past the last sample read: the instrument's header for the table,
// then its sample headers for the length of their data, which follow them
// unless the module is of version 1.02 or 1.03; adds its sample count to the
// samples claimed. It stops where a size would move backwards or the input
// has ended, which no module needs.
bool walk_past_instrument(InputStream& input, ModuleInstrument& entry, std::int64_t& claimed, bool data_follow)
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
    const std::int64_t data = pass_over_sample_headers(input, head.sample_count, read_sample_header_bytes, true);
    if (data_follow)
        skip_bytes(input, data);
    return true;
}

}  // namespace

void decode_extended_module_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav)
{
    InputStream& input = state.input;
    const SourceSample& source = state.samples[index].source;
    seek_to(input, source.header_offset);
    SampleSlot scratch;
    const XmSampleExtent extent = read_sample_header(input, scratch, read_sample_header_bytes, true);
    DecodeBuffers buffers;
    seek_to(input, source.data_offset);
    read_xm_values(input, extent, 0, true, buffers);
    const auto& channels = buffers.channels;
    encode_wav_data(source.shape.bits, channels[0],
                    extent.stereo ? std::span<const std::int16_t>(channels[1]) : std::span<const std::int16_t>{},
                    source.shape.frames, wav);
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
    const XmHeader header = read_header(state);
    XmReading reading;
    reading.convert = state.settings.convert_samples;
    reading.data_last = reading.convert && (header.version == version_1_02 || header.version == version_1_03);
    if (!reading.data_last)
        pass_over_patterns(input, state.summary.patterns, false);

    // "=A" with "z" or "j": the instrument table, of the first 255 instruments.
    InstrumentTable& table = state.instruments;
    table.from_module = reading.convert && state.settings.instruments_needed;
    const int listed = table.from_module ? std::min<int>(header.instruments, instrument_limit) : 0;
    table.list.reserve(static_cast<std::size_t>(listed));
    // "=A" with a command that gives every sample out reads past the record
    // table; instruments past the limit fill record slots only, as ever.
    const bool every_sample = state.settings.every_sample;
    if (every_sample)
        note_claimed_instruments(state, header.instruments, true);

    // Samples are numbered in file order across all instruments. Once no more
    // can be stored the reading ends there, or walks on through the
    // instruments still to be listed, or to the patterns of versions 1.02 and
    // 1.03. "=A" reads every sample header as 40 bytes, as FastTracker 2
    // does, whatever the instrument says: some trackers wrote 0 or junk there.
    for (int instrument = 0; instrument < header.instruments; ++instrument) {
        if (input_ended_by(input, input.position)) {
            table.list.resize(static_cast<std::size_t>(listed));  // the rest as zeros give them: empty
            break;
        }
        ModuleInstrument* entry = instrument < listed ? &table.list.emplace_back() : nullptr;
        const int last = every_sample && instrument < instrument_limit ? sample_limit : slot_count;
        if (reading.next_sample >= last) {
            // Past the most samples read, the walk also counts what is left out.
            const bool counting = every_sample && instrument < instrument_limit;
            ModuleInstrument unlisted;
            if ((entry == nullptr && !counting && !reading.data_last) ||
                !walk_past_instrument(input, entry != nullptr ? *entry : unlisted, reading.claimed,
                                      !reading.data_last))
                break;
            continue;
        }
        const XmInstrumentHead head = read_instrument_head(input, entry);
        reading.claimed += head.sample_count;
        if (head.sample_count == 0)
            continue;
        const int first = reading.next_sample;
        const auto header_size =
            reading.convert ? static_cast<std::uint16_t>(read_sample_header_bytes) : head.sample_header_size;
        const int stored = read_instrument_samples(state, reading, head.sample_count, header_size, last);
        if (entry != nullptr)
            parse_xm_instrument(head.bytes, head.size, first, stored, *entry);
        reading.next_sample += stored;
    }
    if (reading.data_last) {
        pass_over_patterns(input, state.summary.patterns, header.version == version_1_02);
        read_pending_data(state, reading);
    }
    if (every_sample)
        note_claimed_samples(state, reading.claimed);
}

}  // namespace trk2inst
