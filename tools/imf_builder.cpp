#include "imf_builder.h"

#include <algorithm>

namespace trk2inst::build {

namespace {

void put_header(Bytes& out, const ImfSpec& layout)
{
    put_text(out, "imf song", 32);
    put_u16le(out, 1);  // orders
    put_u16le(out, static_cast<unsigned>(layout.pattern_sizes.size()));
    put_u16le(out, layout.instrument_count.value_or(static_cast<std::uint16_t>(layout.instruments.size())));
    put_u16le(out, 1);  // linear slides
    fit_to(out, 48);
    put_u8(out, 6);  // tempo
    put_u8(out, layout.bpm);
    put_u8(out, 64);  // master volume
    put_u8(out, 48);  // amplification
    fit_to(out, 60);
    put_text(out, "IM10", 4);
    for (unsigned channel = 0; channel < 32; ++channel) {
        put_text(out, "channel", 12);
        put_u8(out, 0);    // chorus
        put_u8(out, 0);    // reverb
        put_u8(out, 128);  // pan
        put_u8(out, channel < layout.channels ? 0u : 2u);
    }
    fit_to(out, 832);  // the orders
}

void put_sample(Bytes& out, const ImfSample& sample)
{
    put_text(out, sample.file_name, 13);
    fit_to(out, out.size() + 3);
    put_u32le(out, sample.length.value_or(static_cast<std::uint32_t>(sample.data.size())));
    put_u32le(out, sample.loop_start);
    put_u32le(out, sample.loop_end);
    put_u32le(out, sample.rate);
    put_u8(out, sample.volume);
    put_u8(out, sample.pan);
    fit_to(out, out.size() + 14);
    put_u8(out, sample.flags);
    fit_to(out, out.size() + 11);
    put_text(out, "IS10", 4);
    append(out, sample.data);
}

}  // namespace

Bytes build_imf(const ImfSpec& layout)
{
    Bytes out;
    put_header(out, layout);
    for (const std::uint16_t size : layout.pattern_sizes) {
        const std::size_t start = out.size();
        put_u16le(out, size);
        put_u16le(out, 64);  // rows
        fit_to(out, start + std::max<std::size_t>(size, 4));
    }
    for (const ImfInstrument& instrument : layout.instruments) {
        put_text(out, instrument.name, 32);
        out.insert(out.end(), instrument.key_map.begin(), instrument.key_map.end());
        fit_to(out, out.size() + 8 + 192 + 24);  // envelopes
        put_u16le(out, instrument.fadeout);
        put_u16le(out, instrument.sample_count.value_or(static_cast<std::uint16_t>(instrument.samples.size())));
        put_text(out, "II10", 4);
        for (const ImfSample& sample : instrument.samples)
            put_sample(out, sample);
    }
    return out;
}

}  // namespace trk2inst::build
