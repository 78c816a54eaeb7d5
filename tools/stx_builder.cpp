#include "stx_builder.h"

namespace trk2inst::build {

namespace {

unsigned paragraph_of(Bytes& out)
{
    fit_to(out, (out.size() + 15) / 16 * 16);
    return static_cast<unsigned>(out.size() / 16);
}

std::size_t stored_bytes(const StxSample& sample)
{
    return sample.length * ((sample.flags & 4) != 0 ? 2u : 1u) * ((sample.flags & 2) != 0 ? 2u : 1u);
}

}  // namespace

Bytes build_stx(const StxSpec& layout)
{
    const auto count = layout.sample_count.value_or(static_cast<std::uint16_t>(layout.samples.size()));
    Bytes out;
    put_text(out, "built song", 20);
    put_text(out, "!Scream!", 8);
    put_u16le(out, 0x1A);
    put_u16le(out, 0);
    fit_to(out, 38);  // the table pointers, patched
    put_u32le(out, 0);
    put_u8(out, 64);    // global volume
    put_u8(out, 0x60);  // tempo
    put_u32le(out, 1);
    put_u16le(out, layout.patterns);
    put_u16le(out, count);
    put_u16le(out, 1);  // orders
    fit_to(out, 60);
    put_text(out, "SCRM", 4);
    patch_u16le(out, 32, paragraph_of(out));
    fit_to(out, out.size() + 2u * layout.patterns);
    const unsigned samples = paragraph_of(out);
    patch_u16le(out, 34, samples);
    fit_to(out, out.size() + 2u * count);
    patch_u16le(out, 36, paragraph_of(out));
    fit_to(out, out.size() + 32 + 5);  // channels, one order
    std::vector<std::size_t> records;
    for (std::size_t i = 0; i < layout.samples.size(); ++i) {
        const StxSample& sample = layout.samples[i];
        const unsigned paragraph = paragraph_of(out);
        if (i < count)
            patch_u16le(out, 16u * samples + 2 * i, paragraph);
        records.push_back(out.size());
        put_u8(out, sample.type);
        put_text(out, "FILE.SMP", 12);
        fit_to(out, out.size() + 3);  // data pointer, patched
        put_u32le(out, sample.length);
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
        put_u8(out, sample.volume);
        put_u8(out, 0);
        put_u8(out, sample.pack);
        put_u8(out, sample.flags);
        put_u32le(out, sample.c2spd);
        fit_to(out, out.size() + 12);
        put_text(out, sample.name, 28);
        put_u32le(out, 0);
    }
    for (std::size_t i = 0; i < layout.samples.size(); ++i) {
        const unsigned paragraph = paragraph_of(out);
        out[records[i] + 13] = static_cast<std::uint8_t>(paragraph >> 16);
        patch_u16le(out, records[i] + 14, paragraph & 0xFFFF);
        const StxSample& sample = layout.samples[i];
        append(out, sample.data ? *sample.data : filler(stored_bytes(sample), 0x30));
    }
    return out;
}

}  // namespace trk2inst::build
