#include "dsm_builder.h"

#include <algorithm>

namespace trk2inst::build {

namespace {

std::uint32_t frames_of(const DsmSample& sample, bool sixteen_bit)
{
    return sample.length.value_or(static_cast<std::uint32_t>(sample.data.size() / (sixteen_bit ? 2 : 1)));
}

void put_chunk(Bytes& out, const char* id, const Bytes& body)
{
    put_text(out, id, 4);
    put_u32le(out, static_cast<std::uint32_t>(body.size()));
    append(out, body);
}

Bytes instrument_chunk(const DsmSample& sample)
{
    Bytes body;
    put_text(body, "SAMPLE.SAM", 13);
    put_u16le(body, sample.flags);
    put_u8(body, sample.volume);
    put_u32le(body, frames_of(sample, (sample.flags & 4) != 0));
    put_u32le(body, sample.loop_start);
    put_u32le(body, sample.loop_end);
    put_u32le(body, 0);  // internal
    put_u32le(body, sample.rate);
    put_text(body, sample.name, 28);
    append(body, sample.data);
    return body;
}

}  // namespace

Bytes build_dsik(const DsikSpec& layout)
{
    Bytes song;
    put_text(song, "dsik song", 28);
    put_u16le(song, 0x100);  // version
    fit_to(song, 36);
    put_u16le(song, 1);  // orders
    put_u16le(song, static_cast<unsigned>(layout.samples.size()));
    put_u16le(song, layout.patterns);
    put_u16le(song, layout.channels);
    fit_to(song, 192);
    Bytes chunks;
    put_chunk(chunks, "SONG", song);
    const std::size_t count = std::max<std::size_t>(layout.patterns, layout.samples.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (i < layout.patterns)
            put_chunk(chunks, "PATT", Bytes{2, 0});
        if (i < layout.samples.size())
            put_chunk(chunks, "INST", instrument_chunk(layout.samples[i]));
    }
    Bytes out;
    if (layout.riff) {
        put_text(out, "RIFF", 4);
        put_u32le(out, static_cast<std::uint32_t>(chunks.size() + 4));
    }
    put_text(out, "DSMF", 4);
    if (!layout.riff)
        fit_to(out, 16);
    append(out, chunks);
    return out;
}

Bytes build_dynamic_studio(const DynamicStudioSpec& layout)
{
    const unsigned patterns = *std::max_element(layout.orders.begin(), layout.orders.end()) + 1u;
    Bytes out;
    put_text(out, "DSm\x1A", 4);
    put_u8(out, 0x20);
    put_text(out, "dynamic song", 20);
    put_text(out, "artist", 20);
    put_u8(out, layout.channels);
    put_u8(out, static_cast<unsigned>(layout.samples.size()));
    put_u8(out, static_cast<unsigned>(layout.orders.size()));
    put_u8(out, 0);   // packing
    put_u8(out, 64);  // global volume
    fit_to(out, 64 + layout.channels);  // pans
    out.insert(out.end(), layout.orders.begin(), layout.orders.end());
    fit_to(out, out.size() + 8u * patterns * layout.channels);  // track names
    for (const DsmSample& sample : layout.samples) {
        put_text(out, sample.name, 22);
        put_u8(out, sample.flags);
        put_u16le(out, frames_of(sample, sample.flags == 16));
        put_u8(out, sample.finetune);
        put_u8(out, sample.volume);
        put_u16le(out, sample.loop_start);
        put_u16le(out, sample.loop_end);
        put_u8(out, 0);
    }
    fit_to(out, out.size() + 256u * patterns * layout.channels);
    for (const DsmSample& sample : layout.samples)
        append(out, sample.data);
    return out;
}

}  // namespace trk2inst::build
