#include "stm_builder.h"

namespace trk2inst::build {

namespace {

void put_version_1_counts(Bytes& out, const StmSpec& layout)
{
    put_u16le(out, static_cast<unsigned>(layout.samples.size()));
    put_u16le(out, 1);  // orders
    put_u16le(out, layout.patterns);
    put_u16le(out, 8363);  // sample rate
    put_u8(out, 6);        // tempo
    put_u8(out, 4);        // channels
    put_u16le(out, 64);    // rows
    put_u16le(out, 0);
    put_u16le(out, layout.gap);
    fit_to(out, out.size() + layout.gap);
}

}  // namespace

Bytes build_stm(const StmSpec& layout)
{
    Bytes out;
    put_text(out, "built song", 20);
    put_text(out, "!Scream!", 8);
    put_u8(out, 0x1A);
    put_u8(out, layout.type);
    put_u8(out, layout.major);
    put_u8(out, layout.minor);
    if (layout.major == 1) {
        put_version_1_counts(out, layout);
    } else {
        put_u8(out, 0x60);  // tempo
        put_u8(out, layout.patterns);
        put_u8(out, 64);  // global volume
        fit_to(out, 48);
    }
    std::vector<std::size_t> headers;
    const std::size_t count = layout.major == 1 ? layout.samples.size() : 31;
    for (std::size_t i = 0; i < count; ++i) {
        const StmSample sample = i < layout.samples.size() ? layout.samples[i] : StmSample{"", 0, 0, 0, 0, 0, {}, {}};
        headers.push_back(out.size());
        put_text(out, sample.name, 12);
        fit_to(out, out.size() + 4);  // 0, disk, data paragraph (patched)
        put_u16le(out, sample.length);
        put_u16le(out, sample.loop_start);
        put_u16le(out, sample.loop_end);
        put_u8(out, sample.volume);
        put_u8(out, 0);
        put_u16le(out, sample.c2spd);
        fit_to(out, out.size() + 6);
    }
    for (unsigned i = 0; i < (layout.minor == 0 ? 64u : 128u); ++i)
        put_u8(out, i == 0 ? 0u : 99u);
    fit_to(out, out.size() + 1024u * layout.patterns);
    for (std::size_t i = 0; i < layout.samples.size(); ++i) {
        fit_to(out, (out.size() + 15) / 16 * 16);
        const StmSample& sample = layout.samples[i];
        const auto paragraph = static_cast<unsigned>(out.size() / 16);
        patch_u16le(out, headers[i] + 14, sample.data_paragraph.value_or(static_cast<std::uint16_t>(paragraph)));
        if (layout.type == 2)
            append(out, sample.data ? *sample.data : filler(sample.length, 0x20));
    }
    return out;
}

}  // namespace trk2inst::build
