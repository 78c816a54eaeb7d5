#include "psm_builder.h"

namespace trk2inst::build {

namespace {

void put_chunk(Bytes& out, const char* id, const Bytes& body)
{
    put_text(out, id, 4);
    put_u32le(out, static_cast<std::uint32_t>(body.size()));
    append(out, body);
}

Bytes sample_chunk(const PsmSample& sample, bool sinaria)
{
    const std::size_t shift = sinaria ? 4 : 0;
    Bytes body;
    put_u8(body, sample.flags);
    put_text(body, "ORIGINAL", 8);
    put_text(body, sinaria ? "INS00000" : "INS0", 8 + shift - 4);
    put_text(body, sample.name, 33);
    put_text(body, std::string_view("\0\0\0\0\0\xFF", 6), 6);
    put_u16le(body, sample.number);
    put_u32le(body, sample.length.value_or(static_cast<std::uint32_t>(sample.data.size())));
    put_u32le(body, sample.loop_start);
    put_u32le(body, sample.loop_end);
    fit_to(body, body.size() + (sinaria ? 2 : 1));
    put_u8(body, sample.finetune);
    put_u8(body, sample.volume);
    put_u32le(body, 0);
    if (sinaria)
        put_u16le(body, sample.rate);
    else
        put_u32le(body, sample.rate);
    fit_to(body, 96);
    append(body, sample.data);
    return body;
}

}  // namespace

Bytes build_psm(const PsmSpec& layout)
{
    Bytes chunks;
    put_chunk(chunks, "TITL", Bytes{'p', 's', 'm'});
    put_chunk(chunks, "SDFT", Bytes{'M', 'A', 'I', 'N', 'S', 'O', 'N', 'G'});
    for (const std::uint8_t channels : layout.song_channels) {
        Bytes song;
        put_text(song, "MAINSONG", 9);
        put_u8(song, 1);  // compression
        put_u8(song, channels);
        put_chunk(chunks, "SONG", song);
    }
    for (int pattern = 0; pattern < layout.patterns; ++pattern) {
        Bytes body;
        put_u32le(body, layout.sinaria ? 14 : 10);
        put_text(body, layout.sinaria ? "PATT0" : "P0", layout.sinaria ? 8 : 4);
        put_u16le(body, 64);  // rows
        put_chunk(chunks, "PBOD", body);
    }
    for (const PsmSample& sample : layout.samples)
        put_chunk(chunks, "DSMP", sample_chunk(sample, layout.sinaria));
    Bytes out;
    put_text(out, "PSM ", 4);
    put_u32le(out, static_cast<std::uint32_t>(chunks.size() + 4));
    put_text(out, "FILE", 4);
    append(out, chunks);
    return out;
}

Bytes build_psm16(const Psm16Spec& layout)
{
    constexpr std::uint32_t header_size = 146;
    const auto count = static_cast<std::uint32_t>(layout.samples.size());
    Bytes out;
    put_text(out, "PSM\xFE", 4);
    put_text(out, "psm16 song", 59);
    put_u8(out, 0x1A);
    put_u8(out, 0);     // song type
    put_u8(out, 0x10);  // format version
    put_u8(out, 0);     // pattern version
    put_u8(out, 6);     // speed
    put_u8(out, 125);   // tempo
    put_u8(out, 64);    // master volume
    put_u16le(out, 1);  // song length
    put_u16le(out, 1);  // orders
    put_u16le(out, layout.patterns);
    put_u16le(out, static_cast<unsigned>(count));
    put_u16le(out, layout.channels_played);
    put_u16le(out, layout.channels_processed);
    fit_to(out, 94);
    put_u32le(out, header_size + 4);
    fit_to(out, header_size);
    put_text(out, layout.table_tag, 4);
    std::uint32_t data = header_size + 4 + 64 * count;
    for (const PsmSample& sample : layout.samples) {
        const auto length = sample.length.value_or(static_cast<std::uint32_t>(sample.data.size()));
        put_text(out, "SAMPLE.SAM", 13);
        put_text(out, sample.name, 24);
        put_u32le(out, data);
        put_u32le(out, 0);  // in memory
        put_u16le(out, sample.number);
        put_u8(out, sample.flags);
        put_u32le(out, length);
        put_u32le(out, sample.loop_start);
        put_u32le(out, sample.loop_end);
        put_u8(out, sample.finetune);
        put_u8(out, sample.volume);
        put_u16le(out, sample.rate);
        data += static_cast<std::uint32_t>(sample.data.size());
    }
    for (const PsmSample& sample : layout.samples)
        append(out, sample.data);
    return out;
}

}  // namespace trk2inst::build
