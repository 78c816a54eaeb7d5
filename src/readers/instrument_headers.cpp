// Instrument headers. Counts above the format's maximum, values above 64 and
// ticks that go backwards are clamped here, and loops and sustains count only
// when their points are in range and in order.
#include "readers/instrument_headers.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace trk2inst {

namespace {

constexpr int xm_key_entries = 96;
constexpr int xm_first_key = 12;  // entry 0 is C-0, MIDI key 12
constexpr int xm_envelope_points = 12;
constexpr int it_keys = 120;
constexpr int it_highest_note = 119;
constexpr unsigned envelope_on = 0x01;
constexpr std::uint8_t old_it_last_tick = 0xFF;
constexpr int imf_key_entries = 108;
constexpr int imf_first_key = 12;  // entry 0 is the lowest C, MIDI key 12

void add_point(VolumeEnvelope& envelope, unsigned tick, unsigned value)
{
    const auto at = static_cast<std::size_t>(envelope.point_count);
    const unsigned previous = at > 0 ? envelope.points[at - 1].tick : 0;
    envelope.points[at] = {static_cast<std::uint16_t>(std::max(tick, previous)),
                           static_cast<std::uint8_t>(std::min(value, 64u))};
    ++envelope.point_count;
}

EnvelopeSpan span_within(bool on, unsigned first, unsigned last, int points)
{
    if (!on || first > last || last >= static_cast<unsigned>(points))
        return {};
    return {static_cast<int>(first), static_cast<int>(last)};
}

void copy_name(std::span<const std::uint8_t> field, ModuleInstrument& out)
{
    std::memcpy(out.name.data(), field.data(), field.size());
    out.name[field.size()] = '\0';
}

// Reads little-endian fields that lie wholly inside the header's size.
struct HeaderFields {
    std::span<const std::uint8_t> bytes;
    std::size_t size;

    unsigned u8(std::size_t at) const { return at + 1 <= size ? bytes[at] : 0u; }
    unsigned u16(std::size_t at) const
    {
        return at + 2 <= size ? unsigned{bytes[at]} | unsigned{bytes[at + 1]} << 8 : 0u;
    }
};

void read_xm_envelope(const HeaderFields& header, VolumeEnvelope& envelope)
{
    const unsigned type = header.u8(233);  // bit 0 on, bit 1 sustain, bit 2 loop
    const int points = static_cast<int>(std::min(header.u8(225), unsigned{xm_envelope_points}));
    if ((type & envelope_on) == 0 || points == 0)
        return;
    for (int k = 0; k < points; ++k) {
        const auto at = 129 + 4 * static_cast<std::size_t>(k);
        add_point(envelope, header.u16(at), header.u16(at + 2));  // tick, value
    }
    const unsigned sustain = header.u8(227);
    envelope.sustain = span_within((type & 0x02) != 0, sustain, sustain, points);
    envelope.loop = span_within((type & 0x04) != 0, header.u8(228), header.u8(229), points);
}

// 82 bytes: flags, node count, loop and sustain loop points, 25 nodes of
// (value, tick).
void read_it_envelope(std::span<const std::uint8_t> bytes, VolumeEnvelope& envelope)
{
    const unsigned flags = bytes[0];  // bit 0 on, bit 1 loop, bit 2 sustain loop
    const int points = std::min(int{bytes[1]}, envelope_point_limit);
    if ((flags & envelope_on) == 0 || points == 0)
        return;
    for (int k = 0; k < points; ++k) {
        const std::uint8_t* node = bytes.data() + 6 + 3 * k;
        add_point(envelope, unsigned{node[1]} | unsigned{node[2]} << 8, node[0]);
    }
    envelope.loop = span_within((flags & 0x02) != 0, bytes[2], bytes[3], points);
    envelope.sustain = span_within((flags & 0x04) != 0, bytes[4], bytes[5], points);
}

// Nodes of (tick, value) bytes, up to the first tick of 0xFF.
void read_old_it_envelope(std::span<const std::uint8_t> header, VolumeEnvelope& envelope)
{
    const unsigned flags = header[0x11];  // bit 0 on, bit 1 loop, bit 2 sustain loop
    if ((flags & envelope_on) == 0)
        return;
    for (int k = 0; k < envelope_point_limit; ++k) {
        const std::uint8_t* node = header.data() + 0x1F8 + 2 * k;
        if (node[0] == old_it_last_tick)
            break;
        add_point(envelope, node[0], node[1]);
    }
    const int points = envelope.point_count;
    envelope.loop = span_within((flags & 0x02) != 0, header[0x12], header[0x13], points);
    envelope.sustain = span_within((flags & 0x04) != 0, header[0x14], header[0x15], points);
}

}  // namespace

void parse_xm_instrument(std::span<const std::uint8_t, xm_instrument_header_size> bytes,
                         std::uint32_t size, int first_sample, int stored, ModuleInstrument& out)
{
    const HeaderFields header{bytes, size};
    out.kind = InstrumentKind::extended_module;
    out.has_header = true;
    out.samples.clear();
    for (int i = 0; i < stored; ++i)
        out.samples.push_back(first_sample + i + 1);
    for (int n = 0; n < xm_key_entries; ++n) {
        const unsigned entry = header.u8(33 + static_cast<std::size_t>(n));  // sample within the instrument
        if (entry < static_cast<unsigned>(stored))
            out.keys[static_cast<std::size_t>(n + xm_first_key)].sample =
                static_cast<std::uint16_t>(first_sample + static_cast<int>(entry) + 1);
    }
    read_xm_envelope(header, out.volume);
    out.fadeout = static_cast<std::uint16_t>(header.u16(239));
}

void parse_it_instrument(std::span<const std::uint8_t, it_instrument_header_size> header,
                         bool old_layout, int sample_count, ModuleInstrument& out)
{
    out.kind = old_layout ? InstrumentKind::impulse_tracker_old : InstrumentKind::impulse_tracker;
    if (std::memcmp(header.data(), "IMPI", 4) != 0)
        return;
    out.has_header = true;
    copy_name(header.subspan(0x20, 26), out);
    std::array<bool, 256> played{};  // the key table's sample byte
    for (int n = 0; n < it_keys; ++n) {
        const unsigned note = header[0x40 + 2 * static_cast<std::size_t>(n)];
        const int sample = header[0x41 + 2 * static_cast<std::size_t>(n)];
        if (sample == 0 || sample > sample_count)
            continue;
        // A note that cannot be entered plays the key itself.
        const int transpose = note <= it_highest_note ? static_cast<int>(note) - n : 0;
        out.keys[static_cast<std::size_t>(n)] = {static_cast<std::uint16_t>(sample),
                                                 static_cast<std::int8_t>(transpose)};
        played[static_cast<std::size_t>(sample)] = true;
    }
    out.samples.clear();
    for (int sample = 1; sample < static_cast<int>(played.size()); ++sample)
        if (played[static_cast<std::size_t>(sample)])
            out.samples.push_back(sample);
    if (old_layout) {
        out.fadeout = static_cast<std::uint16_t>(header[0x18] | header[0x19] << 8);
        read_old_it_envelope(header, out.volume);
        return;  // no global volume or default pan
    }
    out.fadeout = static_cast<std::uint16_t>(header[0x14] | header[0x15] << 8);
    out.global_volume = std::min<std::uint8_t>(header[0x18], 128);
    out.default_pan = header[0x19];
    read_it_envelope(header.subspan(0x130, 82), out.volume);
}

void parse_imf_instrument(std::span<const std::uint8_t, imf_instrument_header_size> header, int first_sample,
                          int stored, int last_sample, ModuleInstrument& out)
{
    out.kind = InstrumentKind::extended_module;
    copy_name(header.subspan(0, out.name.size() - 1), out);
    out.samples.clear();
    const int playable = std::clamp(last_sample - first_sample, 0, stored);
    for (int i = 0; i < playable; ++i)
        out.samples.push_back(first_sample + i + 1);
    // A blank instrument is all zeros, "II10" included: it has no samples.
    out.has_header = stored > 0;
    for (int n = 0; n < imf_key_entries; ++n) {
        const int entry = header[32 + static_cast<std::size_t>(n)];  // sample within the instrument
        if (entry < playable)
            out.keys[static_cast<std::size_t>(n + imf_first_key)].sample =
                static_cast<std::uint16_t>(first_sample + entry + 1);
    }
    out.fadeout = static_cast<std::uint16_t>(header[376] | header[377] << 8);
}

}  // namespace trk2inst
