#include "xm_builder.h"

#include <algorithm>

namespace trk2inst::build {
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
    put_u16le(out, layout.version);
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
    put_u16le(out, layout.tempo);  // BPM
    fit_to(out, start + layout.header_size);
}

void put_xm_pattern(Bytes& out, const XmPattern& pattern, std::uint16_t version)
{
    const std::size_t start = out.size();
    const bool short_header = version == 0x0102;
    const std::uint32_t header_length = short_header && pattern.header_length == 9 ? 8 : pattern.header_length;
    put_u32le(out, header_length);
    put_u8(out, 0);  // packing type
    if (short_header)
        put_u8(out, pattern.rows - 1u);
    else
        put_u16le(out, pattern.rows);
    put_u16le(out, static_cast<unsigned>(pattern.packed.size()));
    fit_to(out, start + header_length);
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
    put_u8(out, sample.reserved);
    put_text(out, sample.name, 22);
    fit_to(out, start + header_size);
}

// Offsets 33 to 262 of the header.
void put_xm_instrument_fields(Bytes& out, const XmInstrument& instrument)
{
    out.insert(out.end(), instrument.keys.begin(), instrument.keys.end());
    for (std::size_t k = 0; k < 12; ++k) {
        const XmEnvelopePoint point = k < instrument.volume_points.size() ? instrument.volume_points[k] : XmEnvelopePoint{};
        put_u16le(out, point.tick);
        put_u16le(out, point.value);
    }
    fit_to(out, out.size() + 48);  // panning envelope
    put_u8(out, instrument.volume_point_count.value_or(static_cast<std::uint8_t>(instrument.volume_points.size())));
    put_u8(out, 0);  // panning points
    for (unsigned value : {instrument.volume_sustain, instrument.volume_loop_start, instrument.volume_loop_end})
        put_u8(out, value);
    fit_to(out, out.size() + 3);  // panning sustain and loop
    put_u8(out, instrument.volume_type);
    fit_to(out, out.size() + 5);  // panning type, auto-vibrato
    put_u16le(out, instrument.fadeout);
    fit_to(out, out.size() + 22);  // reserved
}

// The header and sample headers; the data follow them with data_too.
void put_xm_instrument(Bytes& out, const XmInstrument& instrument, std::optional<std::uint32_t> header_size_field,
                       bool data_too)
{
    const std::size_t start = out.size();
    const std::uint16_t count =
        instrument.sample_count.value_or(static_cast<std::uint16_t>(instrument.samples.size()));
    put_u32le(out, instrument.size.value_or(count > 0 ? 263u : 29u));
    put_text(out, instrument.name, 22);
    put_u8(out, 0);  // type
    put_u16le(out, count);
    if (count > 0) {
        put_u32le(out, header_size_field.value_or(instrument.sample_header_size));
        put_xm_instrument_fields(out, instrument);
    }
    fit_to(out, start + instrument.size.value_or(count > 0 ? 263u : 29u));
    for (const XmSample& sample : instrument.samples)
        put_xm_sample_header(out, sample, instrument.sample_header_size);
    if (data_too)
        for (const XmSample& sample : instrument.samples)
            append(out, xm_sample_data(sample));
}

}  // namespace

Bytes build_xm(const XmSpec& layout)
{
    Bytes out;
    put_xm_header(out, layout);
    const bool data_last = layout.version == 0x0102 || layout.version == 0x0103;
    if (data_last)
        for (const XmInstrument& instrument : layout.instruments)
            put_xm_instrument(out, instrument, layout.header_size_field, false);
    for (const XmPattern& pattern : layout.patterns)
        put_xm_pattern(out, pattern, layout.version);
    for (const XmInstrument& instrument : layout.instruments) {
        if (!data_last)
            put_xm_instrument(out, instrument, layout.header_size_field, true);
        else
            for (const XmSample& sample : instrument.samples)
                append(out, xm_sample_data(sample));
    }
    return out;
}

Bytes xm_sixteen_headers_each(int instruments, int first)
{
    XmSpec layout;
    for (int i = first; i < first + instruments; ++i) {
        XmInstrument instrument;
        instrument.name = numbered("keys ", i + 1);
        instrument.samples.resize(16);
        XmSample& low = instrument.samples[0];
        low.name = numbered("low ", i + 1);
        low.length = static_cast<std::uint32_t>(101 + i);
        XmSample& high = instrument.samples[1];
        high.name = numbered("high ", i + 1);
        high.type = 0x11;  // 16-bit, forward loop
        high.length = 400;
        high.loop_start = 100;
        high.loop_length = 202;
        high.relative_note = static_cast<std::int8_t>(i - 4);
        std::fill(instrument.keys.begin() + 48, instrument.keys.end(), std::uint8_t{1});
        layout.instruments.push_back(instrument);
    }
    return build_xm(layout);
}

}  // namespace trk2inst::build
