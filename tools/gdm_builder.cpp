#include "gdm_builder.h"

namespace trk2inst::build {

Bytes build_gdm(const GdmSpec& layout)
{
    constexpr std::uint32_t header_size = 157;
    const auto count = static_cast<std::uint32_t>(layout.samples.size());
    Bytes out;
    put_text(out, "GDM\xFE", 4);
    put_text(out, "gdm song", 32);
    put_text(out, "composer", 32);
    put_text(out, "\r\n\x1AGMFS\x01", 9);  // and format version 1.0
    put_u16le(out, 0);                      // tracker: 2GDM
    put_u8(out, layout.converter_major);
    put_u8(out, 23);
    for (unsigned channel = 0; channel < 32; ++channel)
        put_u8(out, channel < layout.channels ? 8u : 255u);
    put_u8(out, 64);   // master volume
    put_u8(out, 6);    // speed
    put_u8(out, 125);  // BPM
    put_u16le(out, 2);  // from an S3M
    put_u32le(out, 0);  // orders
    put_u8(out, 0);
    put_u32le(out, 0);  // patterns
    put_u8(out, layout.patterns - 1u);
    put_u32le(out, header_size);
    put_u32le(out, header_size + 62 * count);
    put_u8(out, count - 1);
    fit_to(out, header_size);
    for (const GdmSample& sample : layout.samples) {
        put_text(out, sample.name, 32);
        put_text(out, "SAMPLE.SAM", 12);
        put_u8(out, 0);
        put_u32le(out, sample.length.value_or(static_cast<std::uint32_t>(sample.data.size())));
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
        put_u8(out, sample.flags);
        put_u16le(out, sample.rate);
        put_u8(out, sample.volume);
        put_u8(out, 255);  // no pan
    }
    for (const GdmSample& sample : layout.samples)
        append(out, sample.data);
    return out;
}

}  // namespace trk2inst::build
