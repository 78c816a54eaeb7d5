#include "asylum_builder.h"

namespace trk2inst::build {

Bytes build_asylum(const AsylumSpec& layout)
{
    Bytes out;
    put_text(out, "ASYLUM Music Format V1.0", 32);
    put_u8(out, 6);    // speed
    put_u8(out, 125);  // tempo
    put_u8(out, layout.samples_used.value_or(static_cast<std::uint8_t>(layout.samples.size())));
    put_u8(out, layout.patterns);
    put_u8(out, 1);  // orders
    put_u8(out, 0);  // restart
    fit_to(out, 294);
    for (const AsylumSample& sample : layout.samples) {
        put_text(out, sample.name, 22);
        put_u8(out, sample.finetune);
        put_u8(out, sample.volume);
        put_u8(out, static_cast<std::uint8_t>(sample.transpose));
        put_u32le(out, sample.length.value_or(static_cast<std::uint32_t>(sample.data.size())));
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_length);
    }
    fit_to(out, 294 + 64 * 37 + 2048u * layout.patterns);
    for (const AsylumSample& sample : layout.samples)
        append(out, sample.data);
    return out;
}

}  // namespace trk2inst::build
