#include "669_builder.h"

namespace trk2inst::build {

Bytes build_669(const Spec669& layout)
{
    Bytes out;
    put_text(out, layout.id, 2);
    put_text(out, "built song", 108);
    put_u8(out, layout.sample_count.value_or(static_cast<std::uint8_t>(layout.samples.size())));
    put_u8(out, layout.patterns);
    put_u8(out, 0);  // restart order
    for (unsigned i = 0; i < 128; ++i)
        put_u8(out, i == 0 ? 0u : 0xFFu);  // orders
    for (unsigned i = 0; i < 128; ++i)
        put_u8(out, i == 0 ? 4u : 0u);  // tempos
    fit_to(out, out.size() + 128);       // break rows
    for (const Sample669& sample : layout.samples) {
        put_text(out, sample.name, 13);
        put_u32le(out, sample.length);
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
    }
    fit_to(out, out.size() + 1536u * layout.patterns);
    for (const Sample669& sample : layout.samples)
        append(out, sample.data ? *sample.data : filler(sample.length, 0x80));
    return out;
}

}  // namespace trk2inst::build
