#include "amf_builder.h"

namespace trk2inst::build {

namespace {

void put_header(Bytes& out, const AmfSpec& layout)
{
    const bool compact = layout.id == "DMF";
    put_text(out, layout.id, 3);
    put_u8(out, layout.version);
    if (!compact)
        put_text(out, "amf song", 32);
    put_u8(out, static_cast<unsigned>(layout.samples.size()));
    put_u8(out, layout.orders);
    put_u16le(out, static_cast<unsigned>(layout.track_map.size()));
    const unsigned version = layout.version;
    if (version >= 9)
        put_u8(out, layout.channels);
    const std::size_t remap = version == 9 || version == 10 ? 16 : 0;
    const std::size_t pans = version == 11 ? 16 : version >= 12 ? 32 : 0;
    const std::size_t tempo = version >= 13 ? 2 : 0;
    const std::size_t channels = version >= 9 ? layout.channels : 4;
    const std::size_t order_size = (version >= 14 ? 2 : 0) + 2 * channels;
    fit_to(out, out.size() + remap + pans + tempo + layout.orders * order_size);
}

void put_sample_header(Bytes& out, const AmfSpec& layout, const AmfSample& sample, std::uint32_t position)
{
    const bool compact = layout.id == "DMF";
    const bool wide = compact || (layout.version >= 10 && !layout.short_headers);
    const std::uint32_t length = sample.length.value_or(static_cast<std::uint32_t>(sample.data.size()));
    put_u8(out, sample.type);
    if (compact) {
        put_u8(out, 0);
    } else {
        put_text(out, sample.name, 32);
        put_text(out, "SAMPLE.SAM", 13);
    }
    put_u32le(out, sample.index.value_or(position));
    if (wide || layout.short_headers)
        put_u32le(out, length);
    else
        put_u16le(out, length);
    put_u16le(out, sample.rate);
    put_u8(out, sample.volume);
    if (compact) {
        put_u32le(out, sample.loop_start);
        put_u16le(out, sample.loop_end & 0xFFFF);
        put_u8(out, sample.loop_end >> 16);
    } else if (wide) {
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
    } else {
        put_u16le(out, sample.loop_start);
        if (!layout.short_headers)
            put_u16le(out, sample.loop_end);
    }
}

}  // namespace

Bytes build_amf(const AmfSpec& layout)
{
    Bytes out;
    put_header(out, layout);
    std::uint32_t position = 0;
    for (const AmfSample& sample : layout.samples)
        put_sample_header(out, layout, sample, ++position);
    for (const std::uint16_t track : layout.track_map)
        put_u16le(out, track);
    for (const std::uint16_t events : layout.track_events) {
        put_u16le(out, events);
        put_u8(out, 0);
        // Version 1 does not count the end marker.
        append(out, filler(3u * events + (layout.version == 1 && events != 0 ? 3 : 0), 1));
    }
    for (const AmfSample& sample : layout.samples)
        append(out, sample.data);
    return out;
}

}  // namespace trk2inst::build
