#include "mmd_builder.h"

#include <algorithm>

namespace trk2inst::build {

namespace {

constexpr std::size_t header_size = 52;  // the song structure that follows is 788 bytes
constexpr std::size_t expansion_size = 84;

void put_song(Bytes& out, const MmdSpec& layout)
{
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < 63; ++i) {
        const MmdInstrument entry = i < layout.instruments.size() ? layout.instruments[i] : MmdInstrument{};
        put_u16be(out, entry.rep);
        put_u16be(out, entry.replen);
        put_u8(out, entry.midi_channel);
        put_u8(out, 0);  // MIDI preset
        put_u8(out, entry.volume);
        put_u8(out, static_cast<std::uint8_t>(entry.transpose));
    }
    put_u16be(out, static_cast<unsigned>(layout.block_tracks.size()));  // numblocks
    put_u16be(out, 1);  // song length
    fit_to(out, start + 764);
    put_u16be(out, 125);  // default tempo
    fit_to(out, start + 787);
    put_u8(out, layout.numsamples.value_or(static_cast<std::uint8_t>(layout.instruments.size())));
}

// A block header and a line of zero cells.
void put_block(Bytes& out, const MmdSpec& layout, std::uint16_t tracks)
{
    const bool narrow = layout.id == "MMD0" || layout.id == "MMDC";
    if (narrow) {
        put_u8(out, tracks);
        put_u8(out, 0);  // lines - 1
    } else {
        put_u16be(out, tracks);
        put_u16be(out, 0);
        put_u32be(out, 0);  // no block info
    }
    fit_to(out, out.size() + tracks * (narrow ? 3u : 4u));
}

}  // namespace

Bytes build_mmd(const MmdSpec& layout)
{
    Bytes out;
    put_text(out, layout.id, 4);
    fit_to(out, header_size);
    patch_u32be(out, 8, static_cast<std::uint32_t>(out.size()));
    put_song(out, layout);

    patch_u32be(out, 16, static_cast<std::uint32_t>(out.size()));
    const std::size_t blocks = out.size();
    fit_to(out, out.size() + 4 * layout.block_tracks.size());
    for (std::size_t i = 0; i < layout.block_tracks.size(); ++i) {
        patch_u32be(out, blocks + 4 * i, static_cast<std::uint32_t>(out.size()));
        put_block(out, layout, layout.block_tracks[i]);
    }

    if (layout.sample_array) {
        patch_u32be(out, 24, static_cast<std::uint32_t>(out.size()));
        const std::size_t pointers = out.size();
        fit_to(out, out.size() + 4 * layout.instruments.size());
        for (std::size_t i = 0; i < layout.instruments.size(); ++i) {
            if (layout.instruments[i].body.empty())
                continue;
            fit_to(out, (out.size() + 1) / 2 * 2);  // structures at even offsets
            patch_u32be(out, pointers + 4 * i, static_cast<std::uint32_t>(out.size()));
            append(out, layout.instruments[i].body);
        }
    }

    if (layout.expansion) {
        fit_to(out, (out.size() + 1) / 2 * 2);
        const auto count = static_cast<std::uint16_t>(layout.instruments.size());
        const std::size_t expansion = out.size();
        const std::size_t instr_ext = expansion + expansion_size;
        const std::size_t names = instr_ext + std::size_t{count} * layout.instr_ext_size;
        patch_u32be(out, 32, static_cast<std::uint32_t>(expansion));
        put_u32be(out, 0);  // no next module
        put_u32be(out, static_cast<std::uint32_t>(instr_ext));
        put_u16be(out, layout.instr_ext_count.value_or(count));
        put_u16be(out, layout.instr_ext_size);
        fit_to(out, expansion + 20);
        put_u32be(out, static_cast<std::uint32_t>(names));
        put_u16be(out, layout.name_count.value_or(count));
        put_u16be(out, layout.name_size);
        fit_to(out, instr_ext);
        for (const MmdInstrument& instrument : layout.instruments) {
            const std::size_t entry = out.size();
            append(out, instrument.instr_ext);
            fit_to(out, entry + layout.instr_ext_size);
        }
        for (const MmdInstrument& instrument : layout.instruments)
            put_text(out, instrument.name, layout.name_size);
    }
    patch_u32be(out, 4, static_cast<std::uint32_t>(out.size()));  // modlen
    return out;
}

Bytes mmd_sample(std::uint32_t length, std::int16_t type, const Bytes& data)
{
    Bytes out;
    put_u32be(out, length);
    put_u16be(out, static_cast<std::uint16_t>(type));
    append(out, data);
    return out;
}

Bytes mmd_hybrid(std::uint16_t waveforms, const Bytes& own)
{
    Bytes out;
    const std::size_t table = 278;
    const std::size_t own_at = table + 4u * waveforms;
    put_u32be(out, static_cast<std::uint32_t>(own_at - 6));  // the structure's length
    put_u16be(out, static_cast<std::uint16_t>(-2));
    fit_to(out, 20);
    put_u16be(out, waveforms);
    fit_to(out, own_at);
    if (waveforms > 0)
        patch_u32be(out, table, static_cast<std::uint32_t>(own_at));  // from this header
    append(out, own);
    return out;
}

Bytes mmd_instr_ext(std::int8_t finetune, std::uint8_t flags, std::uint32_t long_repeat, std::uint32_t long_replen)
{
    Bytes out(18, 0);
    out[3] = static_cast<std::uint8_t>(finetune);
    out[5] = flags;
    patch_u32be(out, 10, long_repeat);
    patch_u32be(out, 14, long_replen);
    return out;
}

Bytes mmd_pcm(const std::vector<std::int16_t>& values, int bits)
{
    Bytes out;
    for (std::int16_t value : values) {
        if (bits == 8)
            put_u8(out, static_cast<std::uint8_t>(value));
        else
            put_u16be(out, static_cast<std::uint16_t>(value));
    }
    return out;
}

}  // namespace trk2inst::build
