#include "ptm_builder.h"

namespace trk2inst::build {

Bytes build_ptm(const PtmSpec& layout)
{
    Bytes out;
    put_text(out, "built song", 28);
    put_u8(out, 0x1A);
    put_u8(out, 0x03);  // version 2.03
    put_u8(out, 0x02);
    put_u8(out, 0);
    put_u16le(out, 1);  // orders
    put_u16le(out, layout.sample_count.value_or(static_cast<std::uint16_t>(layout.samples.size())));
    put_u16le(out, layout.patterns);
    put_u16le(out, layout.channels);
    fit_to(out, 44);  // flags
    put_text(out, "PTMF", 4);
    fit_to(out, 608);  // pans, orders, pattern pointers
    std::vector<std::size_t> headers;
    for (const PtmSample& sample : layout.samples) {
        headers.push_back(out.size());
        put_u8(out, sample.type);
        put_text(out, "FILE.SMP", 12);
        put_u8(out, sample.volume);
        put_u16le(out, sample.c4spd);
        put_u16le(out, 0);
        put_u32le(out, 0);  // data offset, patched
        put_u32le(out, sample.length);
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
        fit_to(out, out.size() + 14);
        put_text(out, sample.name, 28);
        put_text(out, "PTMS", 4);
    }
    for (std::size_t i = 0; i < layout.samples.size(); ++i) {
        const PtmSample& sample = layout.samples[i];
        patch_u32le(out, headers[i] + 18, sample.offset.value_or(static_cast<std::uint32_t>(out.size())));
        append(out, sample.data ? *sample.data : filler(sample.length, 0x70));
    }
    return out;
}

}  // namespace trk2inst::build
