#include "it_builder.h"

#include <algorithm>

namespace trk2inst::build {
namespace {

std::uint16_t instrument_count(const ItSpec& layout)
{
    return layout.instrument_count != 0 ? layout.instrument_count
                                        : static_cast<std::uint16_t>(layout.instruments.size());
}

void put_it_header(Bytes& out, const ItSpec& layout, std::uint16_t sample_count)
{
    put_text(out, "IMPM", 4);
    put_text(out, layout.song_name, 26);
    put_u16le(out, 0x1004);  // row highlight
    put_u16le(out, layout.order_count);
    put_u16le(out, instrument_count(layout));
    put_u16le(out, sample_count);
    put_u16le(out, static_cast<unsigned>(layout.patterns.size()));
    put_u16le(out, layout.created_with);
    put_u16le(out, layout.compatible_with);
    put_u16le(out, layout.instruments.empty() ? 0x0009 : 0x000D);  // stereo, linear slides, instruments
    put_u16le(out, 0);  // no song message
    for (unsigned value : {128u, 48u, 6u, unsigned{layout.tempo}, 128u, 0u})  // volumes, speed, tempo, separation
        put_u8(out, value);
    fit_to(out, 0x3C);
    put_u32le(out, layout.edit_timer);
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
    put_u8(out, sample.default_pan);
    put_u32le(out, sample.length);
    put_u32le(out, sample.loop_begin);
    put_u32le(out, sample.loop_end);
    put_u32le(out, sample.c5speed);
    put_u32le(out, sample.sustain_begin);
    put_u32le(out, sample.sustain_end);
    put_u32le(out, 0);  // data pointer, patched once the data have a place
    put_u32le(out, 0);  // vibrato
}

// 554 bytes in either layout; the envelope's nodes are (value, tick) in the
// new one, (tick, value) bytes ended by a tick of 0xFF in the old one.
void put_it_instrument(Bytes& out, const ItInstrument& instrument, bool old_layout)
{
    const std::size_t start = out.size();
    put_text(out, instrument.signature, 4);
    fit_to(out, start + 0x11);  // DOS file name and its zero byte
    if (old_layout) {
        for (unsigned value : {unsigned{instrument.envelope_flags}, unsigned{instrument.loop_begin},
                               unsigned{instrument.loop_end}, unsigned{instrument.sustain_begin},
                               unsigned{instrument.sustain_end}})
            put_u8(out, value);
        fit_to(out, start + 0x18);
        put_u16le(out, instrument.fadeout);
    } else {
        fit_to(out, start + 0x14);
        put_u16le(out, instrument.fadeout);
        fit_to(out, start + 0x18);
        put_u8(out, instrument.global_volume);
        put_u8(out, instrument.default_pan);
    }
    fit_to(out, start + 0x20);
    put_text(out, instrument.name, 26);
    fit_to(out, start + 0x40);
    for (std::size_t key = 0; key < 120; ++key) {
        put_u8(out, instrument.notes ? (*instrument.notes)[key] : static_cast<unsigned>(key));
        put_u8(out, instrument.samples[key]);
    }
    const std::size_t nodes = std::min<std::size_t>(instrument.nodes.size(), 25);
    if (old_layout) {
        fit_to(out, start + 0x1F8);
        for (std::size_t k = 0; k < 25; ++k) {
            put_u8(out, k < nodes ? instrument.nodes[k].tick : 0xFFu);
            put_u8(out, k < nodes ? instrument.nodes[k].value : 0u);
        }
    } else {
        put_u8(out, instrument.envelope_flags);
        put_u8(out, instrument.node_count.value_or(static_cast<std::uint8_t>(nodes)));
        for (unsigned value : {unsigned{instrument.loop_begin}, unsigned{instrument.loop_end},
                               unsigned{instrument.sustain_begin}, unsigned{instrument.sustain_end}})
            put_u8(out, value);
        for (std::size_t k = 0; k < 25; ++k) {
            put_u8(out, k < nodes ? instrument.nodes[k].value : 0u);
            put_u16le(out, k < nodes ? instrument.nodes[k].tick : 0u);
        }
    }
    fit_to(out, start + 554);
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
    const std::size_t instrument_pointers = out.size();
    fit_to(out, out.size() + 4u * instrument_count(layout));
    const std::size_t sample_pointers = out.size();
    fit_to(out, out.size() + 4u * count);
    const std::size_t pattern_pointers = out.size();
    fit_to(out, out.size() + 4u * layout.patterns.size());

    const bool old_layout = layout.compatible_with < 0x0200;
    for (std::size_t i = 0; i < layout.instruments.size(); ++i) {
        const std::uint32_t at = static_cast<std::uint32_t>(out.size());
        put_it_instrument(out, layout.instruments[i], old_layout);
        if (i < instrument_count(layout))
            patch_u32le(out, instrument_pointers + 4 * i, layout.instruments[i].pointer.value_or(at));
    }
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

Bytes it_many_samples(int count, int first)
{
    ItSpec layout;
    for (int i = first; i < first + count; ++i) {
        ItSample sample;
        sample.name = numbered("it ", i + 1);
        sample.flags = static_cast<std::uint8_t>(i % 2 == 0 ? 0x01 : 0x13);  // 16-bit, looped
        sample.length = 60;
        sample.loop_begin = 7;
        sample.loop_end = 40;
        sample.c5speed = static_cast<std::uint32_t>(8000 + 10 * i);
        sample.data = filler(sample.flags == 0x01 ? 60 : 120, static_cast<unsigned>(i));
        layout.samples.push_back(sample);
    }
    if (first == 0) {
        ItInstrument instrument;
        instrument.name = "every key its own";
        for (int key = 0; key < 120; ++key)
            instrument.samples[static_cast<std::size_t>(key)] = static_cast<std::uint8_t>(key % count + 1);
        layout.instruments = {instrument};
    }
    return build_it(layout);
}

}  // namespace trk2inst::build
