#include "dbm_builder.h"

namespace trk2inst::build {

namespace {

void put_chunk(Bytes& out, const char* id, const Bytes& body, std::optional<std::uint32_t> size = {})
{
    put_text(out, id, 4);
    put_u32be(out, size.value_or(static_cast<std::uint32_t>(body.size())));
    append(out, body);
}

}  // namespace

Bytes build_dbm(const DbmSpec& layout)
{
    Bytes out;
    put_text(out, "DBM0", 4);
    put_u8(out, layout.version);
    put_u8(out, 0);
    put_u16be(out, 0);
    Bytes name;
    put_text(name, "dbm module", 44);
    put_chunk(out, "NAME", name);
    Bytes info;
    put_u16be(info, layout.info_instruments.value_or(static_cast<std::uint16_t>(layout.instruments.size())));
    put_u16be(info, layout.info_samples.value_or(static_cast<std::uint16_t>(layout.samples.size())));
    put_u16be(info, 1);  // songs
    put_u16be(info, layout.patterns);
    put_u16be(info, layout.channels);
    put_chunk(out, "INFO", info);
    Bytes inst;
    for (const DbmInstrument& instrument : layout.instruments) {
        put_text(inst, instrument.name, 30);
        put_u16be(inst, instrument.sample);
        put_u16be(inst, instrument.volume);
        put_u32be(inst, instrument.rate);
        put_u32be(inst, instrument.loop_start);
        put_u32be(inst, instrument.loop_length);
        put_u16be(inst, static_cast<std::uint16_t>(instrument.pan));
        put_u16be(inst, instrument.flags);
    }
    put_chunk(out, "INST", inst);
    Bytes patterns;
    for (unsigned i = 0; i < layout.patterns; ++i) {
        put_u16be(patterns, 64);  // rows
        put_u32be(patterns, 0);   // packed size
    }
    put_chunk(out, "PATT", patterns);
    Bytes smpl;
    for (const DbmSample& sample : layout.samples) {
        put_u32be(smpl, sample.flags);
        put_u32be(smpl, sample.frames);
        append(smpl, sample.data);
    }
    put_chunk(out, layout.mpeg ? "MPEG" : "SMPL", smpl, layout.smpl_size);
    return out;
}

}  // namespace trk2inst::build
