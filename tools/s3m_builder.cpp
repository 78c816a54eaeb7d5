#include "s3m_builder.h"

#include <algorithm>

namespace trk2inst::build {

Bytes s3m_sample_data(const S3mInstrument& instrument)
{
    return instrument.data ? *instrument.data : filler(instrument.length, 0x80);
}

namespace {

void align_to_paragraph(Bytes& out)
{
    fit_to(out, (out.size() + 15) / 16 * 16);
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
