#include "digi_builder.h"

namespace trk2inst::build {

Bytes build_digi(const DigiSpec& layout)
{
    Bytes out;
    put_text(out, "DIGI Booster module", 20);
    put_text(out, "V1.6", 4);
    put_u8(out, 0x16);
    put_u8(out, layout.channels);
    put_u8(out, layout.packed ? 1 : 0);
    fit_to(out, 46);
    put_u8(out, layout.patterns - 1u);
    put_u8(out, 0);  // orders - 1
    fit_to(out, 176);
    const auto sample = [&layout](std::size_t i) { return i < layout.samples.size() ? layout.samples[i] : DigiSample{}; };
    for (std::size_t i = 0; i < 31; ++i)
        put_u32be(out, sample(i).length);
    for (std::size_t i = 0; i < 31; ++i)
        put_u32be(out, sample(i).loop_start);
    for (std::size_t i = 0; i < 31; ++i)
        put_u32be(out, sample(i).loop_length);
    for (std::size_t i = 0; i < 31; ++i)
        put_u8(out, sample(i).volume);
    for (std::size_t i = 0; i < 31; ++i)
        put_u8(out, static_cast<std::uint8_t>(sample(i).finetune));
    put_text(out, "digi song", 32);
    for (std::size_t i = 0; i < 31; ++i)
        put_text(out, sample(i).name, 30);
    for (unsigned p = 0; p < layout.patterns; ++p) {
        if (layout.packed) {
            put_u16be(out, 64);
            fit_to(out, out.size() + 64);
        } else {
            fit_to(out, out.size() + 256u * layout.channels);
        }
    }
    for (const DigiSample& s : layout.samples)
        append(out, s.data);
    return out;
}

}  // namespace trk2inst::build
