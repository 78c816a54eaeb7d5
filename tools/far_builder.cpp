#include "far_builder.h"

namespace trk2inst::build {

Bytes build_far(const FarSpec& layout)
{
    Bytes out;
    put_text(out, "FAR\xFE", 4);
    put_text(out, "built song", 40);
    put_text(out, "\r\n\x1A", 3);
    const auto first_pattern = static_cast<unsigned>(98 + layout.text.size() + 771);
    put_u16le(out, layout.header_length.value_or(static_cast<std::uint16_t>(first_pattern)));
    put_u8(out, 0x10);  // version
    fit_to(out, 96);    // channels, editor state, tempo, pans
    put_u16le(out, static_cast<unsigned>(layout.text.size()));
    put_text(out, layout.text, layout.text.size());
    fit_to(out, out.size() + 256 + 3);  // orders, song settings
    std::vector<unsigned> sizes(256, 0);
    for (const auto& [index, size] : layout.patterns)
        sizes[static_cast<std::size_t>(index)] = size;
    for (unsigned size : sizes)
        put_u16le(out, size);
    for (unsigned size : sizes)
        append(out, filler(size, 0x10));
    Bytes map(8, 0);
    for (const FarSample& sample : layout.samples)
        map[static_cast<std::size_t>(sample.index / 8)] |= static_cast<std::uint8_t>(1u << (sample.index % 8));
    append(out, map);
    for (const FarSample& sample : layout.samples) {
        put_text(out, sample.name, 32);
        put_u32le(out, sample.length);
        put_u8(out, 0);  // finetune
        put_u8(out, sample.volume);
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
        put_u8(out, sample.type);
        put_u8(out, sample.loop_mode);
        append(out, sample.data ? *sample.data : filler(sample.length, 0x60));
    }
    return out;
}

}  // namespace trk2inst::build
