#include "mdl_builder.h"

namespace trk2inst::build {

namespace {

struct BitWriter {
    Bytes bytes;
    unsigned used = 0;  // bits of the last byte

    void put(unsigned value, unsigned count)
    {
        for (unsigned i = 0; i < count; ++i) {
            if (used == 0)
                bytes.push_back(0);
            bytes.back() = static_cast<std::uint8_t>(bytes.back() | ((value >> i) & 1u) << used);
            used = (used + 1) & 7;
        }
    }
};

void put_chunk(Bytes& out, const char* id, const Bytes& body)
{
    put_text(out, id, 2);
    put_u32le(out, static_cast<std::uint32_t>(body.size()));
    append(out, body);
}

Bytes info_chunk(const MdlSpec& layout)
{
    Bytes in;
    put_text(in, "mdl song", 32);
    put_text(in, "composer", 20);
    put_u16le(in, 1);  // orders
    put_u16le(in, 0);  // restart
    put_u8(in, 255);   // global volume
    put_u8(in, 6);     // speed
    put_u8(in, 125);   // tempo
    for (const std::uint8_t channel : layout.channel_bytes)
        put_u8(in, channel);
    put_u8(in, 0);  // the order
    return in;
}

Bytes pattern_chunk(const MdlSpec& layout)
{
    Bytes pa;
    put_u8(pa, static_cast<unsigned>(layout.patterns.size()));
    for (const auto& tracks : layout.patterns) {
        const bool version_1 = layout.version >= 0x10;
        if (version_1) {
            put_u8(pa, static_cast<unsigned>(tracks.size()));
            put_u8(pa, 63);  // last row
            put_text(pa, "pattern", 16);
        }
        for (std::size_t channel = 0; channel < (version_1 ? tracks.size() : 32); ++channel)
            put_u16le(pa, channel < tracks.size() ? tracks[channel] : 0);
    }
    return pa;
}

Bytes instrument_chunk(const MdlSpec& layout)
{
    Bytes ii;
    put_u8(ii, static_cast<unsigned>(layout.instruments.size()));
    for (std::size_t i = 0; i < layout.instruments.size(); ++i) {
        put_u8(ii, static_cast<unsigned>(i + 1));
        put_u8(ii, static_cast<unsigned>(layout.instruments[i].size()));
        put_text(ii, "instrument", 32);
        for (const MdlEntry& entry : layout.instruments[i]) {
            Bytes fields{entry.sample, 119, entry.volume, entry.envelope};
            fit_to(fields, 14);
            append(ii, fields);
        }
    }
    return ii;
}

Bytes sample_block(const MdlSample& sample)
{
    Bytes block;
    const int bits = (sample.flags & 1) != 0 ? 16 : 8;
    if ((sample.flags & 0x0C) == 0) {
        for (const std::int16_t value : sample.values)
            (bits == 16 ? put_u16le : put_u8)(block, static_cast<std::uint16_t>(value));
        return block;
    }
    const Bytes stream = sample.stream.value_or(mdl_pack(sample.values, bits));
    put_u32le(block, static_cast<std::uint32_t>(stream.size()));
    append(block, stream);
    return block;
}

}  // namespace

Bytes mdl_pack(const std::vector<std::int16_t>& values, int bits)
{
    BitWriter out;
    unsigned previous = 0;
    for (const std::int16_t value : values) {
        const auto word = static_cast<std::uint16_t>(value);
        const unsigned high = bits == 16 ? word >> 8u : word & 0xFFu;
        if (bits == 16)
            out.put(word & 0xFFu, 8);
        const auto difference = static_cast<std::int8_t>(static_cast<std::uint8_t>((high - previous) & 0xFF));
        previous = high;
        const bool negative = difference < 0;
        const auto magnitude = static_cast<unsigned>(negative ? -difference - 1 : difference);
        out.put(negative ? 1 : 0, 1);
        if (magnitude <= 7) {
            out.put(1, 1);
            out.put(magnitude, 3);
        } else {
            out.put(0, 1);
            out.put(0, (magnitude - 8) / 16);
            out.put(1, 1);
            out.put((magnitude - 8) % 16, 4);
        }
    }
    return out.bytes;
}

Bytes build_mdl(const MdlSpec& layout)
{
    const bool version_1 = layout.version >= 0x10;
    Bytes out;
    put_text(out, "DMDL", 4);
    put_u8(out, layout.version);
    put_chunk(out, "IN", info_chunk(layout));
    put_chunk(out, "PA", pattern_chunk(layout));
    if (version_1)
        put_chunk(out, "II", instrument_chunk(layout));
    Bytes is;
    Bytes sa;
    put_u8(is, static_cast<unsigned>(layout.samples.size()));
    for (const MdlSample& sample : layout.samples) {
        put_u8(is, sample.number);
        put_text(is, sample.name, 32);
        put_text(is, "file.smp", 8);
        if (version_1)
            put_u32le(is, sample.rate);
        else
            put_u16le(is, sample.rate);
        put_u32le(is, sample.length);
        put_u32le(is, sample.loop_start);
        put_u32le(is, sample.loop_length);
        put_u8(is, sample.volume);
        put_u8(is, sample.flags);
        append(sa, sample_block(sample));
    }
    put_chunk(out, "IS", is);
    if (layout.sa)
        put_chunk(out, "SA", sa);
    return out;
}

}  // namespace trk2inst::build
