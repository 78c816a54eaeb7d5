#include "mtm_builder.h"

namespace trk2inst::build {

Bytes build_mtm(const MtmSpec& layout)
{
    Bytes out;
    put_text(out, "MTM", 3);
    put_u8(out, layout.version);
    put_text(out, "built song", 20);
    put_u16le(out, layout.tracks);
    put_u8(out, layout.last_pattern);
    put_u8(out, 0);  // last order
    put_u16le(out, static_cast<unsigned>(layout.comment.size()));
    put_u8(out, layout.sample_count.value_or(static_cast<std::uint8_t>(layout.samples.size())));
    put_u8(out, 0);   // attribute
    put_u8(out, 64);  // rows per track
    put_u8(out, layout.channels);
    fit_to(out, 66);  // pans 0
    for (const MtmSample& sample : layout.samples) {
        put_text(out, sample.name, 22);
        put_u32le(out, sample.length);
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
        put_u8(out, sample.finetune);
        put_u8(out, sample.volume);
        put_u8(out, sample.attribute);
    }
    fit_to(out, out.size() + 128);  // orders
    append(out, filler(192u * layout.tracks, 1));
    fit_to(out, out.size() + 64u * (layout.last_pattern + 1u));
    put_text(out, layout.comment, layout.comment.size());
    for (const MtmSample& sample : layout.samples)
        append(out, sample.data ? *sample.data : filler(sample.length, 0x40));
    return out;
}

}  // namespace trk2inst::build
