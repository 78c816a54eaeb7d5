#include "module_builders.h"

#include <algorithm>
#include <cstdio>

namespace trk2inst::build {

std::string numbered(const char* prefix, int number)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s%d", prefix, number);
    return text;
}

bool write_file(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

void put_u8(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void put_u16be(Bytes& out, unsigned value)
{
    put_u8(out, value >> 8);
    put_u8(out, value);
}

void put_u16le(Bytes& out, unsigned value)
{
    put_u8(out, value);
    put_u8(out, value >> 8);
}

void put_u32le(Bytes& out, std::uint32_t value)
{
    put_u16le(out, value & 0xFFFF);
    put_u16le(out, value >> 16);
}

void put_text(Bytes& out, std::string_view text, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        put_u8(out, i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
}

void fit_to(Bytes& out, std::size_t size)
{
    out.resize(size, 0);
}

void append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

Bytes filler(std::size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((seed + i * 7) & 0xFF);
    return bytes;
}

// ProTracker-family module --------------------------------------------------

Bytes mod_sample_data(const ModSample& sample, int slot_number)
{
    return sample.data ? *sample.data
                       : filler(2 * std::size_t{sample.length}, static_cast<unsigned>(slot_number));
}

namespace {

// The title and `count` 30-byte sample headers, the samples not given empty.
void put_title_and_sample_headers(Bytes& out, const std::string& title, const std::vector<ModSample>& samples,
                                  std::size_t count)
{
    put_text(out, title, 20);
    for (std::size_t i = 0; i < count; ++i) {
        const ModSample sample = i < samples.size() ? samples[i] : ModSample{};
        put_text(out, sample.name, 22);
        put_u16be(out, sample.length);
        put_u8(out, sample.finetune);
        put_u8(out, sample.volume);
        put_u16be(out, sample.loop_start);
        put_u16be(out, sample.loop_length);
    }
}

}  // namespace

Bytes build_mod(const ModSpec& layout)
{
    Bytes out;
    put_title_and_sample_headers(out, layout.title, layout.samples, 31);
    put_u8(out, layout.song_length);
    put_u8(out, 127);  // restart byte as ProTracker writes it
    for (std::uint8_t order : layout.orders)
        put_u8(out, order);
    put_text(out, layout.tag, 4);
    append(out, layout.after_tag);
    if (layout.pattern_data) {
        append(out, *layout.pattern_data);
    } else {
        const std::size_t patterns = *std::max_element(layout.orders.begin(), layout.orders.end()) + 1u;
        fit_to(out, out.size() + patterns * static_cast<std::size_t>(layout.channels) * 256);
    }
    for (std::size_t i = 0; i < layout.samples.size() && i < 31; ++i)
        append(out, mod_sample_data(layout.samples[i], static_cast<int>(i + 1)));
    return out;
}

Bytes build_st15(const St15Spec& layout)
{
    Bytes out;
    put_title_and_sample_headers(out, layout.title, layout.samples, 15);  // loop starts in bytes
    put_u8(out, layout.song_length);
    put_u8(out, layout.tempo);
    for (std::uint8_t order : layout.orders)
        put_u8(out, order);
    if (layout.pattern_data) {
        append(out, *layout.pattern_data);
    } else {
        const std::size_t patterns = *std::max_element(layout.orders.begin(), layout.orders.end()) + 1u;
        fit_to(out, out.size() + patterns * 1024);
    }
    for (std::size_t i = 0; i < layout.samples.size() && i < 15; ++i)
        append(out, mod_sample_data(layout.samples[i], static_cast<int>(i + 1)));
    return out;
}

// Extended Module -----------------------------------------------------------

Bytes xm_sample_data(const XmSample& sample)
{
    return sample.data ? *sample.data : filler(sample.length, sample.length & 0xFF);
}

namespace {

void put_xm_header(Bytes& out, const XmSpec& layout)
{
    put_text(out, "Extended Module: ", 17);
    put_text(out, layout.name, 20);
    put_u8(out, 0x1A);
    put_text(out, "module builder", 20);
    put_u16le(out, 0x0104);
    const std::size_t start = out.size();  // 60: the header size counts from here
    put_u32le(out, layout.header_size);
    put_u16le(out, 1);  // song length
    put_u16le(out, 0);  // restart position
    put_u16le(out, layout.channels);
    put_u16le(out, layout.pattern_count.value_or(static_cast<std::uint16_t>(layout.patterns.size())));
    put_u16le(out,
              layout.instrument_count.value_or(static_cast<std::uint16_t>(layout.instruments.size())));
    put_u16le(out, 1);    // linear frequencies
    put_u16le(out, 6);    // tempo
    put_u16le(out, 125);  // BPM
    fit_to(out, start + layout.header_size);
}

void put_xm_pattern(Bytes& out, const XmPattern& pattern)
{
    const std::size_t start = out.size();
    put_u32le(out, pattern.header_length);
    put_u8(out, 0);  // packing type
    put_u16le(out, pattern.rows);
    put_u16le(out, static_cast<unsigned>(pattern.packed.size()));
    fit_to(out, start + pattern.header_length);
    append(out, pattern.packed);
}

void put_xm_sample_header(Bytes& out, const XmSample& sample, std::uint32_t header_size)
{
    const std::size_t start = out.size();
    put_u32le(out, sample.length);
    put_u32le(out, sample.loop_start);
    put_u32le(out, sample.loop_length);
    put_u8(out, sample.volume);
    put_u8(out, static_cast<std::uint8_t>(sample.finetune));
    put_u8(out, sample.type);
    put_u8(out, sample.panning);
    put_u8(out, static_cast<std::uint8_t>(sample.relative_note));
    put_u8(out, 0);  // reserved
    put_text(out, sample.name, 22);
    fit_to(out, start + header_size);
}

void put_xm_instrument(Bytes& out, const XmInstrument& instrument)
{
    const std::size_t start = out.size();
    const std::uint16_t count =
        instrument.sample_count.value_or(static_cast<std::uint16_t>(instrument.samples.size()));
    put_u32le(out, instrument.size.value_or(count > 0 ? 263u : 29u));
    put_text(out, instrument.name, 22);
    put_u8(out, 0);  // type
    put_u16le(out, count);
    if (count > 0)
        put_u32le(out, instrument.sample_header_size);
    fit_to(out, start + instrument.size.value_or(count > 0 ? 263u : 29u));
    for (const XmSample& sample : instrument.samples)
        put_xm_sample_header(out, sample, instrument.sample_header_size);
    for (const XmSample& sample : instrument.samples)
        append(out, xm_sample_data(sample));
}

}  // namespace

Bytes build_xm(const XmSpec& layout)
{
    Bytes out;
    put_xm_header(out, layout);
    for (const XmPattern& pattern : layout.patterns)
        put_xm_pattern(out, pattern);
    for (const XmInstrument& instrument : layout.instruments)
        put_xm_instrument(out, instrument);
    return out;
}

// Scream Tracker 3 module ----------------------------------------------------

Bytes s3m_sample_data(const S3mInstrument& instrument)
{
    return instrument.data ? *instrument.data : filler(instrument.length, 0x80);
}

namespace {

void align_to_paragraph(Bytes& out)
{
    fit_to(out, (out.size() + 15) / 16 * 16);
}

void patch_u16le(Bytes& out, std::size_t offset, unsigned value)
{
    out[offset] = static_cast<std::uint8_t>(value & 0xFF);
    out[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void put_s3m_header(Bytes& out, const S3mSpec& layout, std::uint16_t instrument_count)
{
    put_text(out, layout.title, 28);
    put_u8(out, 0x1A);
    put_u8(out, 16);  // module type
    put_u16le(out, 0);
    put_u16le(out, layout.order_count);
    put_u16le(out, instrument_count);
    put_u16le(out, layout.pattern_count);
    put_u16le(out, 0);       // flags
    put_u16le(out, 0x1320);  // tracker version
    put_u16le(out, layout.format_information);
    put_text(out, layout.tag, 4);
    put_u8(out, 64);    // global volume
    put_u8(out, 6);     // initial speed
    put_u8(out, 125);   // initial tempo
    put_u8(out, 0xB0);  // master volume, stereo
    fit_to(out, 64);
    for (unsigned channel = 0; channel < 32; ++channel)
        put_u8(out, channel < 4 ? channel : 255u);
    for (unsigned order = 0; order < layout.order_count; ++order)
        put_u8(out, order == 0 ? 0u : 255u);
}

void put_s3m_instrument_header(Bytes& out, const S3mInstrument& instrument)
{
    put_u8(out, instrument.type);
    put_text(out, instrument.file_name, 12);
    put_u8(out, 0);  // memory segment, patched once the data have a place
    put_u16le(out, 0);
    put_u32le(out, instrument.length);
    put_u32le(out, instrument.loop_begin);
    put_u32le(out, instrument.loop_end);
    put_u8(out, instrument.volume);
    put_u8(out, 0);  // reserved
    put_u8(out, instrument.pack);
    put_u8(out, instrument.flags);
    put_u32le(out, instrument.c2spd);
    fit_to(out, out.size() + 12);
    put_text(out, instrument.title, 28);
    put_text(out, "SCRS", 4);
}

}  // namespace

Bytes build_s3m(const S3mSpec& given)
{
    S3mSpec layout = given;
    if (!layout.patterns.empty())
        layout.pattern_count = static_cast<std::uint16_t>(layout.patterns.size());
    const auto count =
        layout.instrument_count.value_or(static_cast<std::uint16_t>(layout.instruments.size()));
    Bytes out;
    put_s3m_header(out, layout, count);
    const std::size_t parapointers = out.size();
    fit_to(out, out.size() + 2u * count + 2u * layout.pattern_count);
    align_to_paragraph(out);

    std::vector<std::size_t> headers;
    for (std::size_t i = 0; i < layout.instruments.size(); ++i) {
        headers.push_back(out.size());
        put_s3m_instrument_header(out, layout.instruments[i]);
        if (i < count) {
            const auto own = static_cast<unsigned>(headers.back() / 16);
            patch_u16le(out, parapointers + 2 * i, layout.instruments[i].parapointer.value_or(own));
        }
    }
    for (std::size_t i = 0; i < layout.patterns.size(); ++i) {
        align_to_paragraph(out);
        patch_u16le(out, parapointers + 2u * count + 2 * i, static_cast<unsigned>(out.size() / 16));
        put_u16le(out, static_cast<unsigned>(layout.patterns[i].size() + 2));  // counts itself
        append(out, layout.patterns[i]);
    }
    for (std::size_t i = 0; i < layout.instruments.size(); ++i) {
        align_to_paragraph(out);
        const S3mInstrument& instrument = layout.instruments[i];
        const std::uint32_t paragraph =
            instrument.data_paragraph.value_or(static_cast<std::uint32_t>(out.size() / 16));
        out[headers[i] + 13] = static_cast<std::uint8_t>((paragraph >> 16) & 0xFF);
        patch_u16le(out, headers[i] + 14, paragraph & 0xFFFF);
        append(out, s3m_sample_data(instrument));
    }
    return out;
}

}  // namespace trk2inst::build

// Impulse Tracker module ------------------------------------------------------

namespace trk2inst::build {

namespace {


void patch_u32le(Bytes& out, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        out[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

void put_it_header(Bytes& out, const ItSpec& layout, std::uint16_t sample_count)
{
    put_text(out, "IMPM", 4);
    put_text(out, layout.song_name, 26);
    put_u16le(out, 0x1004);  // row highlight
    put_u16le(out, layout.order_count);
    put_u16le(out, layout.instrument_count);
    put_u16le(out, sample_count);
    put_u16le(out, static_cast<unsigned>(layout.patterns.size()));
    put_u16le(out, layout.created_with);
    put_u16le(out, layout.compatible_with);
    put_u16le(out, 0x0009);  // stereo, linear slides; sample mode
    put_u16le(out, 0);       // no song message
    for (unsigned value : {128u, 48u, 6u, 125u, 128u, 0u})  // volumes, speed, tempo, separation
        put_u8(out, value);
    fit_to(out, 0x40);
    for (unsigned channel = 0; channel < 64; ++channel)
        put_u8(out, 32);  // pan: centre
    for (unsigned channel = 0; channel < 64; ++channel)
        put_u8(out, 64);  // volume
    for (unsigned order = 0; order < layout.order_count; ++order)
        put_u8(out, order < layout.patterns.size() ? order : 255u);
}

void put_it_sample_header(Bytes& out, const ItSample& sample)
{
    put_text(out, sample.signature, 4);
    put_text(out, sample.file_name, 12);
    put_u8(out, 0);
    put_u8(out, sample.global_volume);
    put_u8(out, sample.flags);
    put_u8(out, sample.volume);
    put_text(out, sample.name, 26);
    put_u8(out, sample.convert);
    put_u8(out, 32);  // default pan, not used
    put_u32le(out, sample.length);
    put_u32le(out, sample.loop_begin);
    put_u32le(out, sample.loop_end);
    put_u32le(out, sample.c5speed);
    put_u32le(out, sample.sustain_begin);
    put_u32le(out, sample.sustain_end);
    put_u32le(out, 0);  // data pointer, patched once the data have a place
    put_u32le(out, 0);  // vibrato
}

// Bits go into each byte from its least significant bit up.
struct BitWriter {
    Bytes bytes;
    unsigned used = 8;  // bits used in the last byte

    void put(std::uint32_t value, unsigned width)
    {
        for (unsigned bit = 0; bit < width; ++bit) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() = static_cast<std::uint8_t>(bytes.back() | ((value >> bit) & 1) << used);
            ++used;
        }
    }
};

struct ItWidths {
    unsigned full;         // 9 or 17
    unsigned change_bits;  // 3 or 4
    int change_span;       // 4 or 8
};

bool fits(int difference, unsigned width, const ItWidths& widths)
{
    if (width == widths.full)
        return true;
    const int top = 1 << (width - 1);
    if (width < 7)
        return difference > -top && difference < top;  // -top is the change code
    return difference >= -(top - widths.change_span) && difference < top - widths.change_span;
}

void put_width_change(BitWriter& writer, unsigned from, unsigned to, const ItWidths& widths)
{
    const std::uint32_t top = 1u << (from - 1);
    const std::uint32_t code = to < from ? to - 1 : to - 2;  // the current width is never named
    if (from < 7) {
        writer.put(top, from);
        writer.put(code, widths.change_bits);
    } else if (from < widths.full) {
        writer.put(top - static_cast<std::uint32_t>(widths.change_span) + code, from);
    } else {
        writer.put(top + to - 1, from);
    }
}

// The difference stored for each value, as a signed number of the sample's
// width: from the value before (2.14), or from the difference before (2.15).
std::vector<int> stored_differences(const std::int16_t* values, std::size_t count, bool it215,
                                    const ItWidths& widths)
{
    const std::uint32_t mask = (1u << (widths.full - 1)) - 1;
    std::vector<int> stored(count);
    std::uint32_t previous = 0;
    std::uint32_t previous_difference = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto value = static_cast<std::uint32_t>(values[i]) & mask;
        const std::uint32_t difference = (value - previous) & mask;
        const std::uint32_t bits = it215 ? (difference - previous_difference) & mask : difference;
        previous = value;
        previous_difference = difference;
        stored[i] = bits > (mask >> 1) ? static_cast<int>(bits) - static_cast<int>(mask) - 1
                                       : static_cast<int>(bits);
    }
    return stored;
}

unsigned narrowest_width(int difference, const ItWidths& widths)
{
    unsigned width = 1;
    while (!fits(difference, width, widths))
        ++width;
    return width;
}

// Widths change only when it pays: up to what the next few values need when
// a value does not fit, down when a run of values fits a narrower width.
Bytes compress_block(const std::int16_t* values, std::size_t count, bool it215, const ItWidths& widths)
{
    constexpr std::size_t look_up = 4, look_down = 16;
    const std::vector<int> stored = stored_differences(values, count, it215, widths);
    std::vector<unsigned> needed(count);
    for (std::size_t i = 0; i < count; ++i)
        needed[i] = narrowest_width(stored[i], widths);
    const auto widest_of = [&](std::size_t from, std::size_t span) {
        unsigned widest = 1;
        for (std::size_t i = from; i < std::min(count, from + span); ++i)
            widest = std::max(widest, needed[i]);
        return widest;
    };
    BitWriter writer;
    unsigned width = widths.full;
    for (std::size_t i = 0; i < count; ++i) {
        unsigned next = width;
        if (!fits(stored[i], width, widths))
            next = widest_of(i, look_up);
        else if (const unsigned run = widest_of(i, look_down); run + 1 < width)
            next = run;
        if (next != width) {
            put_width_change(writer, width, next, widths);
            width = next;
        }
        const std::uint32_t field_mask = (1u << std::min(width, widths.full - 1)) - 1;
        writer.put(static_cast<std::uint32_t>(stored[i]) & field_mask, width);
    }
    Bytes block;
    put_u16le(block, static_cast<unsigned>(writer.bytes.size()));
    append(block, writer.bytes);
    return block;
}

}  // namespace

Bytes it_pcm(const std::vector<std::int16_t>& values, int bits)
{
    Bytes out;
    for (std::int16_t value : values) {
        const auto word = static_cast<std::uint16_t>(value);
        if (bits == 16)
            put_u16le(out, word);
        else
            put_u8(out, word);
    }
    return out;
}

Bytes it_compress(const std::vector<std::int16_t>& values, bool sixteen_bit, bool it215)
{
    const ItWidths widths = sixteen_bit ? ItWidths{17, 4, 8} : ItWidths{9, 3, 4};
    const std::size_t block_values = sixteen_bit ? 0x4000 : 0x8000;
    Bytes out;
    for (std::size_t start = 0; start < values.size(); start += block_values)
        append(out, compress_block(values.data() + start, std::min(block_values, values.size() - start),
                                   it215, widths));
    return out;
}

Bytes build_it(const ItSpec& layout)
{
    const auto count = layout.sample_count.value_or(static_cast<std::uint16_t>(layout.samples.size()));
    Bytes out;
    put_it_header(out, layout, count);
    fit_to(out, out.size() + 4u * layout.instrument_count);  // no instruments: sample mode
    const std::size_t sample_pointers = out.size();
    fit_to(out, out.size() + 4u * count);
    const std::size_t pattern_pointers = out.size();
    fit_to(out, out.size() + 4u * layout.patterns.size());

    std::vector<std::size_t> headers;
    for (std::size_t i = 0; i < layout.samples.size(); ++i) {
        headers.push_back(out.size());
        put_it_sample_header(out, layout.samples[i]);
        if (i < count)
            patch_u32le(out, sample_pointers + 4 * i,
                        layout.samples[i].header_pointer.value_or(static_cast<std::uint32_t>(headers[i])));
    }
    for (std::size_t i = 0; i < layout.patterns.size(); ++i) {
        patch_u32le(out, pattern_pointers + 4 * i, static_cast<std::uint32_t>(out.size()));
        put_u16le(out, static_cast<unsigned>(layout.patterns[i].size()));
        put_u16le(out, 64);  // rows
        put_u32le(out, 0);
        append(out, layout.patterns[i]);
    }
    for (std::size_t i = 0; i < layout.samples.size(); ++i) {
        const ItSample& sample = layout.samples[i];
        patch_u32le(out, headers[i] + 0x48,
                    sample.data_pointer.value_or(static_cast<std::uint32_t>(out.size())));
        append(out, sample.data);
    }
    return out;
}

}  // namespace trk2inst::build
