#include "okt_builder.h"

#include <algorithm>

namespace trk2inst::build {

namespace {

void put_chunk(Bytes& out, const char* id, const Bytes& body)
{
    put_text(out, id, 4);
    put_u32be(out, static_cast<std::uint32_t>(body.size()));
    append(out, body);
}

Bytes u16_body(unsigned value)
{
    Bytes body;
    put_u16be(body, value);
    return body;
}

}  // namespace

Bytes build_okt(const OktSpec& layout)
{
    Bytes out;
    put_text(out, "OKTASONG", 8);
    Bytes cmod;
    for (const std::uint16_t voice : layout.cmod)
        put_u16be(cmod, voice);
    put_chunk(out, "CMOD", cmod);
    Bytes samp;
    for (std::size_t i = 0; i < 36; ++i) {
        const OktSample sample = i < layout.samples.size() ? layout.samples[i] : OktSample{};
        put_text(samp, sample.name, 20);
        put_u32be(samp, sample.length);
        put_u16be(samp, sample.loop_start);
        put_u16be(samp, sample.loop_length);
        put_u16be(samp, sample.volume);
        put_u16be(samp, sample.mode);
    }
    put_chunk(out, "SAMP", samp);
    put_chunk(out, "SPEE", u16_body(6));
    put_chunk(out, "SLEN", u16_body(layout.patterns));
    put_chunk(out, "PLEN", u16_body(1));
    put_chunk(out, "PATT", Bytes(128, 0));
    const unsigned channels = 4 + static_cast<unsigned>(std::count_if(layout.cmod.begin(), layout.cmod.end(),
                                                                      [](std::uint16_t v) { return v != 0; }));
    for (unsigned p = 0; p < layout.patterns; ++p) {
        Bytes pattern = u16_body(64);
        fit_to(pattern, 2 + 64 * 4 * channels);
        put_chunk(out, "PBOD", pattern);
    }
    if (layout.empty_body_first)
        put_chunk(out, "SBOD", {});
    for (const OktSample& sample : layout.samples)
        if (!sample.data.empty())
            put_chunk(out, "SBOD", sample.data);
    return out;
}

}  // namespace trk2inst::build
