#include "ult_builder.h"

namespace trk2inst::build {

Bytes ult_event(int rows)
{
    Bytes event;
    if (rows != 1) {
        put_u8(event, 0xFC);
        put_u8(event, static_cast<unsigned>(rows));
    }
    append(event, {0x31, 1, 0, 0, 0});  // note, instrument, no effect
    return event;
}

Bytes build_ult(const UltSpec& layout)
{
    Bytes out;
    put_text(out, "MAS_UTrack_V00", 14);
    put_u8(out, static_cast<unsigned char>(layout.version));
    put_text(out, "built song", 32);
    put_u8(out, layout.message_lines);
    append(out, filler(32u * layout.message_lines, 0x41));
    put_u8(out, static_cast<unsigned>(layout.samples.size()));
    for (const UltSample& sample : layout.samples) {
        put_text(out, sample.name, 32);
        put_text(out, "FILE.SMP", 12);
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
        put_u32le(out, sample.size_start);
        put_u32le(out, sample.size_end);
        put_u8(out, sample.volume);
        put_u8(out, sample.flags);
        if (layout.version >= '4')
            put_u16le(out, sample.c2spd);
        put_u16le(out, static_cast<std::uint16_t>(sample.finetune));
    }
    for (unsigned i = 0; i < 256; ++i)
        put_u8(out, i == 0 ? 0u : 0xFFu);  // orders
    put_u8(out, layout.channels - 1u);
    put_u8(out, layout.patterns - 1u);
    if (layout.version >= '3')
        fit_to(out, out.size() + layout.channels);  // pans
    if (layout.tracks) {
        append(out, *layout.tracks);
    } else {
        for (unsigned track = 0; track < unsigned{layout.channels} * layout.patterns; ++track)
            append(out, ult_event(64));
    }
    for (const UltSample& sample : layout.samples) {
        const std::size_t frames = sample.size_end > sample.size_start ? sample.size_end - sample.size_start : 0;
        append(out, sample.data ? *sample.data : filler(frames * ((sample.flags & 4) != 0 ? 2u : 1u), 0x50));
    }
    return out;
}

}  // namespace trk2inst::build
