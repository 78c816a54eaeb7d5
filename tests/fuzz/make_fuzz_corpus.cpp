// Writes the seed corpora of the fuzz targets, made by the module builders:
//   make_fuzz_corpus DIR
// gives a directory of seeds in DIR for each target.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "module_builders.h"

namespace {

using namespace trk2inst::build;
namespace fs = std::filesystem;


Bytes with_options(std::uint8_t options, const Bytes& module)
{
    Bytes out{options};
    append(out, module);
    return out;
}

ModSpec small_mod(const std::string& tag, int channels)
{
    ModSpec layout;
    layout.tag = tag;
    layout.channels = channels;
    layout.orders[0] = 0;
    layout.orders[1] = 1;
    layout.samples = {
        {"lead", 16, 0x00, 48, 0, 16, {}},
        {"", 0, 0, 0, 0, 0, {}},
        {"hit", 40, 0x0F, 64, 4, 1, {}},
    };
    return layout;
}

std::vector<std::pair<std::string, Bytes>> mod_modules()
{
    const std::vector<std::pair<std::string, int>> tags = {
        {"M.K.", 4}, {"M!K!", 4}, {"M&K!", 4}, {"FLT4", 4}, {"FLT8", 4}, {"CD81", 8},
        {"OCTA", 8}, {"OKTA", 8}, {"TDZ3", 3}, {"6CHN", 6}, {"10CH", 10}, {"12CN", 12},
        {"99CH", 99}, {"WOW!", 4}, {"M.K!", 4}};
    std::vector<std::pair<std::string, Bytes>> modules;
    for (const auto& [tag, channels] : tags) {
        std::string name = "mod-" + tag;
        for (char& c : name)
            if (c == '.' || c == '!' || c == '&')
                c = '_';
        modules.emplace_back(name, build_mod(small_mod(tag, channels)));
    }
    Bytes cut = build_mod(small_mod("M.K.", 4));
    fit_to(cut, cut.size() - 30);
    modules.emplace_back("mod-cut-off", cut);
    return modules;
}

// Tags that only "=A" reads, and 15-sample modules: plain, with both kinds of
// hidden pattern, and cut off.
std::vector<std::pair<std::string, Bytes>> other_family_modules()
{
    std::vector<std::pair<std::string, Bytes>> modules;
    for (const auto& [tag, channels] : std::vector<std::pair<std::string, int>>{
             {"N.T.", 4}, {"FEST", 4}, {"CD61", 6}, {"WARD", 8}, {"FA06", 6}, {"EXO8", 4}}) {
        ModSpec layout = small_mod(tag, channels);
        if (tag == "FA06")
            layout.after_tag = {0, 0x40, 0, 0};
        modules.emplace_back("mod-" + tag.substr(0, 2) + tag.substr(3), build_mod(layout));
    }
    St15Spec st15;
    st15.samples = {{"st-01:lead", 16, 0, 48, 3, 5, {}}, {"", 0, 0, 0, 0, 1, {}}, {"st-01:hit", 40, 0, 64, 0, 1, {}}};
    st15.orders[0] = 1;
    modules.emplace_back("st15", build_st15(st15));
    St15Spec hidden = st15;
    hidden.song_length = 2;
    hidden.orders[2] = 3;
    Bytes patterns(4 * 1024, 0);
    std::fill(patterns.begin() + 2048, patterns.begin() + 3072, std::uint8_t{0x55});
    hidden.pattern_data = patterns;
    modules.emplace_back("st15-hidden-samples", build_st15(hidden));
    hidden.pattern_data = Bytes(4 * 1024, 0);
    modules.emplace_back("st15-hidden-pattern", build_st15(hidden));
    Bytes cut = build_st15(st15);
    fit_to(cut, cut.size() - 20);
    modules.emplace_back("st15-cut-off", cut);
    return modules;
}

XmSample xm_sample(std::uint32_t length, std::uint8_t type, std::uint32_t loop_start = 0,
                   std::uint32_t loop_length = 0)
{
    XmSample sample;
    sample.length = length;
    sample.type = type;
    sample.loop_start = loop_start;
    sample.loop_length = loop_length;
    sample.finetune = -16;
    sample.relative_note = 12;
    sample.name = "xm sample";
    return sample;
}

XmSpec small_xm()
{
    XmSpec layout;
    layout.patterns = {{9, 64, Bytes(20, 0x80)}};
    XmInstrument first;
    first.name = "two samples";
    first.samples = {xm_sample(64, 0), xm_sample(33, 1, 8, 16)};
    XmInstrument empty;
    empty.name = "no samples";
    XmInstrument pingpong;
    pingpong.samples = {xm_sample(20, 2, 3, 5)};
    layout.instruments = {first, empty, pingpong};
    return layout;
}

std::vector<std::pair<std::string, Bytes>> xm_modules()
{
    std::vector<std::pair<std::string, Bytes>> modules;
    modules.emplace_back("xm-basic", build_xm(small_xm()));

    XmSpec sizes = small_xm();
    sizes.header_size = 300;
    sizes.patterns[0].header_length = 12;
    sizes.instruments[0].size = 280;
    sizes.instruments[0].sample_header_size = 44;
    modules.emplace_back("xm-unusual-sizes", build_xm(sizes));

    XmSpec sixteen = small_xm();
    sixteen.instruments[2].samples[0].type = 0x10;
    modules.emplace_back("xm-sixteen-bit", build_xm(sixteen));

    XmSpec odd_loop = small_xm();
    odd_loop.instruments[0].samples[1].loop_start = 7;
    modules.emplace_back("xm-odd-loop", build_xm(odd_loop));

    XmSpec many;
    XmInstrument crowd;
    for (int i = 0; i < 16; ++i)
        crowd.samples.push_back(xm_sample(8, 0));
    many.instruments = std::vector<XmInstrument>(8, crowd);
    modules.emplace_back("xm-128-samples", build_xm(many));

    XmSpec long_sample;
    XmInstrument one;
    one.samples = {xm_sample(70000, 1, 1000, 68000)};
    long_sample.instruments = {one};
    modules.emplace_back("xm-long-sample", build_xm(long_sample));

    Bytes cut = build_xm(small_xm());
    fit_to(cut, cut.size() / 2);
    modules.emplace_back("xm-cut-off", cut);

    // Key table, volume envelope with sustain and loop, fadeout.
    XmSpec instruments = small_xm();
    XmInstrument& keys = instruments.instruments[0];
    std::fill(keys.keys.begin() + 48, keys.keys.end(), std::uint8_t{1});
    keys.volume_points = {{0, 64}, {4, 48}, {16, 32}, {64, 0}};
    keys.volume_type = 0x07;
    keys.volume_sustain = 1;
    keys.volume_loop_start = 1;
    keys.volume_loop_end = 2;
    keys.fadeout = 512;
    instruments.tempo = 140;
    modules.emplace_back("xm-instruments", build_xm(instruments));
    return modules;
}

S3mInstrument s3m_instrument(const std::string& name, std::uint32_t length, std::uint8_t flags = 0)
{
    S3mInstrument instrument;
    instrument.file_name = name;
    instrument.length = length;
    instrument.flags = flags;
    instrument.loop_begin = 4;
    instrument.loop_end = length / 2;
    instrument.c2spd = 8860;
    return instrument;
}

S3mSpec small_s3m()
{
    S3mSpec layout;
    S3mInstrument empty;
    empty.type = 0;
    S3mInstrument adlib;
    adlib.type = 2;
    adlib.file_name = "ADLIB.INS";
    S3mInstrument packed = s3m_instrument("PACKED.SMP", 30);
    packed.pack = 1;
    layout.instruments = {s3m_instrument("LOOP.SMP", 64, 1), empty, adlib, packed,
                        s3m_instrument("STEREO.SMP", 20, 2), s3m_instrument("WIDE.SMP", 20, 4),
                        s3m_instrument("LOW.SMP", 33)};
    layout.instruments.back().c2spd = 7894;
    return layout;
}

std::vector<std::pair<std::string, Bytes>> s3m_modules()
{
    std::vector<std::pair<std::string, Bytes>> modules;
    modules.emplace_back("s3m-signed", build_s3m(small_s3m()));
    S3mSpec unsigned_data = small_s3m();
    unsigned_data.format_information = 1;
    modules.emplace_back("s3m-unsigned", build_s3m(unsigned_data));
    S3mSpec bad_tag = small_s3m();
    bad_tag.tag = "SCRX";
    modules.emplace_back("s3m-bad-tag", build_s3m(bad_tag));
    S3mSpec long_sample;
    long_sample.instruments = {s3m_instrument("LONG.SMP", 70000, 1)};
    modules.emplace_back("s3m-long-sample", build_s3m(long_sample));
    Bytes cut = build_s3m(small_s3m());
    fit_to(cut, cut.size() / 2);
    modules.emplace_back("s3m-cut-off", cut);
    return modules;
}

std::vector<std::int16_t> it_values(std::size_t count, bool sixteen_bit)
{
    std::vector<std::int16_t> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto step = static_cast<int>((i * i * 13) % 41) - 20;
        values[i] = static_cast<std::int16_t>(sixteen_bit ? step * 301 : step);
    }
    return values;
}

ItSample it_sample(std::uint8_t flags, std::uint8_t convert, std::uint32_t length, Bytes data)
{
    ItSample sample;
    sample.name = "it sample";
    sample.flags = flags;
    sample.convert = convert;
    sample.length = length;
    sample.loop_begin = 3;
    sample.loop_end = length;
    sample.sustain_begin = 1;
    sample.sustain_end = 4;
    sample.c5speed = 22050;
    sample.data = std::move(data);
    return sample;
}

ItSpec small_it()
{
    ItSpec layout;
    layout.edit_timer = 0x55;  // made by Impulse Tracker: the "sample present" flag holds
    layout.patterns = {Bytes(40, 0)};
    const auto eight = it_values(300, false);
    const auto sixteen = it_values(200, true);
    Bytes stereo = it_compress(sixteen, true, true);
    append(stereo, it_compress(eight, true, true));
    ItSample no_data = it_sample(0x10, 1, 10, {});
    ItSample unused = it_sample(0, 0, 0, {});
    unused.header_pointer = 0;
    layout.samples = {
        it_sample(0x19, 1, 300, it_compress(eight, false, false)),   // compressed 2.14, looped
        it_sample(0x5B, 5, 200, it_compress(sixteen, true, true)),   // 16-bit 2.15, ping-pong
        it_sample(0x2F, 5, 200, stereo),                             // 16-bit stereo, sustain loop
        it_sample(0x03, 3, 200, it_pcm(sixteen, 16)),                // big-endian flag
        it_sample(0x01, 0xFF, 64, Bytes(48, 0x31)),                  // ADPCM
        it_sample(0x05, 4, 100, it_pcm(eight, 8)),                   // stereo delta
        it_sample(0x03, 9, 50, it_pcm(sixteen, 16)),                 // byte-delta
        no_data,
        unused,
    };
    return layout;
}

std::vector<std::pair<std::string, Bytes>> it_modules()
{
    std::vector<std::pair<std::string, Bytes>> modules;
    modules.emplace_back("it-basic", build_it(small_it()));
    ItSpec old = small_it();
    old.created_with = 0x0200;  // stereo flag ignored
    modules.emplace_back("it-old", build_it(old));
    Bytes cut = build_it(small_it());
    fit_to(cut, cut.size() * 2 / 3);
    modules.emplace_back("it-cut-off", cut);
    ItSpec huge;
    huge.samples = {it_sample(0x0B, 1, 4000000000u, it_compress(it_values(1000, true), true, false))};
    modules.emplace_back("it-huge-length", build_it(huge));

    // Instruments: a kit whose keys play other notes, an envelope with both
    // loops; in the new layout and the old one.
    ItSpec instruments = small_it();
    ItInstrument kit;
    kit.name = "kit";
    std::array<std::uint8_t, 120> notes{};
    for (std::size_t key = 0; key < notes.size(); ++key) {
        notes[key] = static_cast<std::uint8_t>(key < 48 ? 60 : key);
        kit.samples[key] = static_cast<std::uint8_t>(1 + key % 9);
    }
    kit.notes = notes;
    kit.envelope_flags = 0x07;
    kit.nodes = {{0, 64}, {5, 40}, {20, 20}, {50, 0}};
    kit.loop_begin = 1;
    kit.loop_end = 2;
    kit.sustain_begin = kit.sustain_end = 1;
    kit.fadeout = 200;
    kit.default_pan = 20;
    ItInstrument missing;
    missing.pointer = 0;
    instruments.instruments = {kit, missing, kit};
    modules.emplace_back("it-instruments", build_it(instruments));
    instruments.compatible_with = 0x0100;
    modules.emplace_back("it-instruments-old", build_it(instruments));
    return modules;
}

// Every variant, each kind of instrument, InstrExt entries short and long.
std::vector<std::pair<std::string, Bytes>> mmd_modules()
{
    const auto values = it_values(64, true);
    Bytes stereo = mmd_pcm(values, 16);
    append(stereo, mmd_pcm(values, 16));
    MmdInstrument looped;
    looped.body = mmd_sample(32, 0, filler(32, 3));
    looped.rep = 2;
    looped.replen = 8;
    looped.instr_ext = mmd_instr_ext(-2, 0x09, 3, 11);
    looped.name = "looped";
    MmdInstrument wide;
    wide.body = mmd_sample(128, 0x70, stereo);  // 16-bit stereo delta
    wide.transpose = -12;
    MmdInstrument octaves;
    octaves.body = mmd_sample(62, 1, filler(62, 5));
    octaves.replen = 2;
    MmdInstrument hybrid;
    hybrid.body = mmd_hybrid(2, mmd_sample(16, 0, filler(16, 9)));
    MmdInstrument synth;
    synth.body = mmd_sample(300, -1, Bytes(300, 0));
    MmdInstrument ext;
    ext.body = mmd_sample(8, 7, filler(8, 1));
    MmdSpec layout;
    layout.instruments = {looped, wide, octaves, hybrid, synth, MmdInstrument{}, ext};
    layout.block_tracks = {4, 8};
    std::vector<std::pair<std::string, Bytes>> modules;
    for (const char* id : {"MMD0", "MMD1", "MMD2", "MMD3", "MMDC"}) {
        layout.id = id;
        modules.emplace_back(std::string("mmd-") + id, build_mmd(layout));
    }
    MmdSpec short_entries = layout;
    short_entries.instr_ext_size = 4;
    short_entries.name_size = 8;
    modules.emplace_back("mmd-short-entries", build_mmd(short_entries));
    Bytes cut = build_mmd(layout);
    fit_to(cut, cut.size() * 2 / 3);
    modules.emplace_back("mmd-cut-off", cut);
    MmdSpec huge;
    huge.instruments = {looped};
    huge.instruments[0].body = mmd_sample(0xFFFFFFF0, 0x30, filler(100, 2));
    modules.emplace_back("mmd-huge-length", build_mmd(huge));
    return modules;
}

// DigiBooster Pro and 1, Oktalyzer and Digitrakker with every kind of sample,
// and Unreal packages around modules; each also cut off.
std::vector<std::pair<std::string, Bytes>> chunked_modules()
{
    DbmSpec dbm;
    dbm.instruments = {{"eight", 1, 40, 16726, 2, 6, -64, 1}, {"wide", 2, 64, 22050, 1, 3, 64, 3},
                       {"high halves", 3, 70, 0, 0, 0, 0, 0}};
    dbm.samples = {{1, 16, filler(16, 1)}, {2, 8, filler(16, 2)}, {4, 4, filler(16, 3)}, {0, 4, {}}};
    DbmSpec mpeg = dbm;
    mpeg.version = 3;
    mpeg.mpeg = true;
    DigiSpec digi;
    digi.samples = {{"looped", 16, 4, 8, 48, -3, filler(16, 4)}, {"", 0, 0, 0, 0, 0, {}}, {"plain", 8, 0, 0, 64, 7, filler(8, 5)}};
    DigiSpec packed = digi;
    packed.packed = true;
    packed.patterns = 3;
    OktSpec okt;
    okt.cmod = {0, 1, 1, 0};
    okt.empty_body_first = true;
    okt.samples = {{"looped", 16, 2, 4, 48, 1, filler(16, 6)}, {"", 0, 0, 0, 0, 1, {}}, {"7-bit", 7, 0, 0, 64, 0, Bytes(6, 0x3F)}};
    MdlSpec mdl;
    mdl.channel_bytes.fill(0x80);
    mdl.channel_bytes[0] = mdl.channel_bytes[2] = 0x40;
    mdl.instruments = {{{1, 200, 0x40}, {4, 96, 0x40}}};
    const auto ramp = [](std::size_t count, int step) {
        std::vector<std::int16_t> values(count);
        for (std::size_t i = 0; i < count; ++i)
            values[i] = static_cast<std::int16_t>((static_cast<int>(i) * step) % 30000 - 15000);
        return values;
    };
    MdlSample raw8{1, "raw 8", 8363, 16, 2, 8, 255, 0x00, ramp(16, 17), {}};
    MdlSample raw16{2, "raw 16", 22050, 16, 0, 16, 200, 0x03, ramp(8, 3001), {}};
    MdlSample packed8{4, "packed 8", 11025, 40, 4, 20, 128, 0x04, ramp(40, 9), {}};
    for (std::int16_t& value : packed8.values)
        value = static_cast<std::int16_t>(value / 256);
    MdlSample packed16{9, "packed 16", 44100, 64, 0, 64, 64, 0x0B, ramp(32, 1777), {}};
    mdl.samples = {raw8, raw16, packed8, packed16};
    MdlSpec mdl0 = mdl;
    mdl0.version = 0;
    UmxSpec umx;
    umx.module = build_mdl(mdl);
    UmxSpec old_umx;
    old_umx.version = 61;
    old_umx.module = build_dbm(dbm);
    std::vector<std::pair<std::string, Bytes>> modules{
        {"dbm", build_dbm(dbm)},   {"dbm-mpeg", build_dbm(mpeg)}, {"digi", build_digi(digi)},
        {"digi-packed", build_digi(packed)}, {"okt", build_okt(okt)}, {"mdl", build_mdl(mdl)},
        {"mdl-v0", build_mdl(mdl0)}, {"umx-mdl", build_umx(umx)}, {"umx-dbm-61", build_umx(old_umx)}};
    for (std::size_t i = 0, count = modules.size(); i < count; ++i) {
        Bytes cut = modules[i].second;
        fit_to(cut, cut.size() - 7);
        modules.emplace_back(modules[i].first + "-cut-off", cut);
    }
    return modules;
}

// The PC tracker formats: every layout and sample kind of each.
std::vector<std::pair<std::string, Bytes>> pc_tracker_modules()
{
    std::vector<std::pair<std::string, Bytes>> modules;
    AmfSpec amf;
    amf.samples = {{1, "plain", {}, {}, 8363, 64, 0, 0, filler(40, 1)},
                   {1, "looped", {}, {}, 16726, 48, 4, 30, filler(40, 2)},
                   {0, "none", 0, 0, 0, 0, 0, 0, {}}};
    for (const int version : {1, 8, 10, 11, 12, 14}) {
        amf.version = static_cast<std::uint8_t>(version);
        modules.emplace_back(numbered("amf-v", version), build_amf(amf));
    }
    amf.version = 10;
    amf.short_headers = true;
    modules.emplace_back("amf-v10-short", build_amf(amf));
    amf.id = "DMF";
    modules.emplace_back("dmf", build_amf(amf));
    modules.emplace_back("asylum", build_asylum({1, {}, {{"a", 0x0F, 40, 12, {}, 2, 20, filler(30, 3)},
                                                         {"b", 0, 64, -3, {}, 0, 0, filler(9, 4)}}}));
    modules.emplace_back("gdm", build_gdm({1, 4, 2, {{"a", {}, 2, 31, 0x05, 8363, 40, filler(30, 5)},
                                                     {"b", {}, 0, 17, 0x07, 8424, 64, filler(32, 6)}}}));
    ImfInstrument instrument;
    instrument.name = "imf";
    instrument.key_map.fill(1);
    instrument.samples = {{"a.wav", {}, 0, 20, 22050, 64, 0, 0x0B, filler(20, 7)},
                          {"b.wav", {}, 4, 32, 8363, 32, 255, 0x07, filler(40, 8)}};
    modules.emplace_back("imf", build_imf({4, 125, {20, 4}, {}, {instrument, ImfInstrument{}, instrument}}));
    const std::vector<PsmSample> psm_samples{{"a", 0, 0x80, {}, 2, 20, 0x0F, 127, 8448, filler(30, 9)},
                                             {"b", 7, 0, {}, 0, 0, 0, 100, 16896, filler(8, 1)}};
    modules.emplace_back("psm", build_psm({false, {4, 6}, 2, psm_samples}));
    modules.emplace_back("psm-sinaria", build_psm({true, {4}, 1, psm_samples}));
    modules.emplace_back("psm16", build_psm16({4, 6, 1, "PSAH",
                                               {{"delta", 1, 0x80, {}, 0, 20, 0x70, 64, 8363, filler(30, 2)},
                                                {"unsigned 16", 3, 0x8C, {}, 2, 12, 0x88, 64, 8363, filler(32, 3)},
                                                {"signed", 2, 0x20, {}, 0, 0, 0x6F, 40, 16726, filler(9, 4)}}}));
    const std::vector<DsmSample> dsik_samples{{"u", 0x01, 64, {}, 2, 20, 8363, 0, filler(30, 5)},
                                              {"s", 0x03, 40, {}, 0, 8, 16726, 0, filler(9, 6)},
                                              {"d", 0x40, 64, {}, 0, 0, 8363, 0, filler(9, 7)},
                                              {"w", 0x06, 64, {}, 0, 0, 8363, 0, filler(16, 8)}};
    modules.emplace_back("dsik", build_dsik({true, 4, 2, dsik_samples}));
    modules.emplace_back("dsik-dsmf", build_dsik({false, 4, 1, dsik_samples}));
    modules.emplace_back("dynamic-studio", build_dynamic_studio({4, {0, 1},
                                                                 {{"a", 0, 64, {}, 2, 10, 0, 0x0F, filler(20, 9)},
                                                                  {"b", 16, 48, {}, 0, 0, 0, 0, filler(16, 1)}}}));
    return modules;
}

// MultiTracker, 669, Scream Tracker 2, STMIK, UltraTracker, Farandole and
// PolyTracker, each with every kind of sample it stores, and cut.
std::vector<std::pair<std::string, Bytes>> stm_era_modules()
{
    const Bytes words = filler(64, 11);
    MtmSpec mtm;
    mtm.tracks = 2;
    mtm.comment = "comment";
    mtm.samples = {{"looped", 32, 4, 32, 0x0F, 48, 0, {}}, {"wide", 64, 8, 64, 1, 64, 1, words}, {"empty", 0, 0, 0, 0, 0, 0, {}}};
    Spec669 six69;
    six69.samples = {{"LOOP.SMP", 32, 4, 20, {}}, {"ONCE.SMP", 17, 0, 0xFFFFF, {}}};
    StmSpec stm;
    stm.samples = {{"LOOP.SMP", 32, 4, 20, 48, 16726, {}, {}}, {"QUIET.SMP", 16, 0, 0xFFFF, 0, 8363, {}, {}},
                   {"ONCE.SMP", 17, 0, 0xFFFF, 64, 8363, {}, {}}};
    StmSpec song = stm;
    song.type = 1;
    song.major = 1;
    song.minor = 10;
    song.gap = 16;
    StxSpec stx;
    stx.samples = {{1, "looped", 32, 4, 20, 64, 0, 1, 22050, {}}, {1, "stereo 16", 16, 0, 0, 64, 0, 6, 8363, {}},
                   {2, "adlib", 0, 0, 0, 64, 0, 0, 8363, {}}};
    UltSpec ult;
    ult.tracks = Bytes{};
    for (int rows : {0, 1, 100, 62, 1, 1, 64, 64})
        append(*ult.tracks, ult_event(rows));
    ult.samples = {{"looped", 4, 20, 0, 32, 128, 0x08, 16726, 678, {}},
                   {"ping-pong 16", 8, 40, 100, 132, 255, 0x1C, 8363, 0, {}}};
    UltSpec old_ult = ult;
    old_ult.version = '2';
    old_ult.message_lines = 1;
    FarSpec far;
    far.text = "song text";
    far.patterns = {{0, 66}, {3, 130}};
    far.samples = {{1, "looped", 32, 4, 4, 20, 0, 8, {}}, {40, "wide", 64, 16, 0, 64, 1, 8, words}};
    PtmSpec ptm;
    ptm.samples = {{0x05, "looped", 48, 16726, 32, 4, 20, {}, {}}, {0x1D, "ping-pong 16", 64, 8363, 64, 0, 64, words, {}},
                   {0x02, "adlib", 64, 8363, 0, 0, 0, {}, {}}};
    std::vector<std::pair<std::string, Bytes>> modules = {
        {"mtm", build_mtm(mtm)}, {"669", build_669(six69)}, {"stm", build_stm(stm)}, {"stm-song", build_stm(song)},
        {"stx", build_stx(stx)}, {"ult", build_ult(ult)},    {"ult-old", build_ult(old_ult)},
        {"far", build_far(far)}, {"ptm", build_ptm(ptm)}};
    Bytes cut = modules.back().second;
    fit_to(cut, cut.size() - 40);
    modules.emplace_back("ptm-cut-off", cut);
    return modules;
}

// One module for each quirk of real files that "=A" reads.
std::vector<std::pair<std::string, Bytes>> quirk_modules()
{
    const std::array<std::int8_t, 16> table{0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128};
    const Bytes packed = adpcm_pack(table, {1, 9, 2, 10, 3, 11, 4, 12, 5});
    std::vector<std::pair<std::string, Bytes>> modules;
    XmSpec xm = small_xm();
    xm.header_size_field = 0;
    modules.emplace_back("quirk-xm-header-size-0", build_xm(xm));
    xm = small_xm();
    xm.version = 0x0102;
    modules.emplace_back("quirk-xm-1.02", build_xm(xm));
    xm.instruments[0].samples[0].type = 3;                // both loop bits: ping-pong
    xm.instruments[0].samples[1].type = 0x31;             // 16-bit stereo
    xm.instruments[2].samples[0] = xm_sample(9, 0);
    xm.instruments[2].samples[0].reserved = 0xAD;         // ADPCM
    xm.instruments[2].samples[0].data = packed;
    xm.version = 0x0103;
    modules.emplace_back("quirk-xm-1.03-codings", build_xm(xm));
    xm.version = 0x0104;
    modules.emplace_back("quirk-xm-codings", build_xm(xm));
    xm.instruments[0].samples[0].data = Bytes{0x40, 0, 0, 0, 'O', 'g', 'g', 'S'};
    xm.instruments[0].samples[0].length = 8;
    modules.emplace_back("quirk-xm-ogg", build_xm(xm));

    ModSpec mod = small_mod("M.K.", 4);
    mod.samples[0].data = mod_adpcm_data(table, std::vector<std::uint8_t>(32, 3));
    modules.emplace_back("quirk-mod-adpcm", build_mod(mod));
    mod = small_mod("M.K.", 8);
    mod.restart = 0;
    mod.samples = {{"669", 16, 0, 64, 0, 1, {}}};
    modules.emplace_back("quirk-wow", build_mod(mod));
    mod = small_mod("M&K!", 4);
    mod.samples[0].finetune = 0xF8;
    modules.emplace_back("quirk-his-masters", build_mod(mod));
    NruSpec nru;
    nru.samples = {{40, 30, 4, 8, -144, {}}, {64, 4, 0, 1, 0, {}}};
    modules.emplace_back("quirk-noiserunner", build_noiserunner(nru));
    UnicSpec unic;
    unic.samples = {{"bell", -3, 200, 50, 10, 20, {}}};
    for (unsigned i = 0; i < 20; ++i)
        append(unic.pattern_data, unic_cell(1 + i, 1, 0x0C, 40));
    fit_to(unic.pattern_data, 768);
    modules.emplace_back("quirk-unic", build_unic(unic));

    S3mSpec s3m = small_s3m();
    s3m.instruments[0].pack = 4;
    s3m.instruments[0].length = 18;
    s3m.instruments[0].data = packed;
    modules.emplace_back("quirk-s3m-adpcm", build_s3m(s3m));
    ItSpec it = small_it();
    it.edit_timer = 0;  // not made by Impulse Tracker: flagless samples are read
    it.samples[0].convert = 0x80;
    it.samples[3].convert = 0x40;
    modules.emplace_back("quirk-it-not-decoded-flagless", build_it(it));
    return modules;
}

Bytes run_input(const std::string& command_line, const Bytes& module)
{
    Bytes out(command_line.begin(), command_line.end());
    out.push_back(0);
    append(out, module);
    return out;
}

// More samples than the record table holds, and counts past what is read.
std::vector<std::pair<std::string, Bytes>> many_sample_modules()
{
    std::vector<std::pair<std::string, Bytes>> modules;
    modules.emplace_back("xm-272-headers", xm_sixteen_headers_each(17));
    modules.emplace_back("it-120-samples", it_many_samples(120));
    ItSpec claiming = small_it();
    claiming.sample_count = 4100;
    modules.emplace_back("it-4100-claimed", build_it(claiming));
    XmSpec crowded;
    XmInstrument full;
    full.samples.assign(255, xm_sample(4, 0));
    crowded.instruments.assign(16, full);
    crowded.instrument_count = 260;
    modules.emplace_back("xm-16-instruments-of-255", build_xm(crowded));
    return modules;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus DIR\n");
        return 2;
    }
    const fs::path root(argv[1]);
    for (const char* target : {"streamed_reader", "scream_tracker", "whole_run", "any_module", "it_blocks", "mdl_unpack"})
        fs::create_directories(root / target);

    auto streamed = mod_modules();
    const auto xms = xm_modules();
    streamed.insert(streamed.end(), xms.begin(), xms.end());
    for (const auto& [name, module] : streamed)
        for (std::uint8_t options = 0; options < 4; ++options)
            write_file(root / "streamed_reader" / numbered((name + "-").c_str(), options),
                       with_options(options, module));
    for (const auto& [name, module] : s3m_modules())
        for (std::uint8_t options = 0; options < 2; ++options)
            write_file(root / "scream_tracker" / numbered((name + "-").c_str(), options),
                       with_options(options, module));

    auto any = streamed;
    for (const auto& family : {s3m_modules(), it_modules(), other_family_modules(), mmd_modules(),
                               many_sample_modules(), chunked_modules(), pc_tracker_modules(),
                               stm_era_modules(), quirk_modules()})
        any.insert(any.end(), family.begin(), family.end());
    for (const auto& [name, module] : any)
        for (std::uint8_t options : std::initializer_list<std::uint8_t>{0, 1, 4, 8, 9, 20, 25})
            write_file(root / "any_module" / numbered((name + "-").c_str(), options),
                       with_options(options, module));
    for (std::uint8_t options = 0; options < 4; ++options) {
        const bool sixteen_bit = (options & 1) != 0;
        Bytes block{options, 0x2C, 0x01};  // 300 values
        const Bytes compressed = it_compress(it_values(300, sixteen_bit), sixteen_bit, (options & 2) != 0);
        block.insert(block.end(), compressed.begin() + 2, compressed.end());  // without its byte count
        write_file(root / "it_blocks" / numbered("block-", options), block);
    }

    // Option bit 0: 16-bit; then a 16-bit count of values wanted.
    for (std::uint8_t options = 0; options < 2; ++options) {
        const int bits = options == 0 ? 8 : 16;
        Bytes stream{options, 0x40, 0x00};
        std::vector<std::int16_t> values(64);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<std::int16_t>(bits == 8 ? (i * i) % 256 - 128 : i * 977 - 30000);
        append(stream, mdl_pack(values, bits));
        write_file(root / "mdl_unpack" / numbered("stream-", options), stream);
    }

    const fs::path runs = root / "whole_run";
    const Bytes mod = build_mod(small_mod("M.K.", 4));
    write_file(runs / "pipe-records", run_input("k12 o1 -hit v-16384 o3 i", mod));
    write_file(runs / "file-records", run_input("=M o0x1 o010 i k-1 v1024 o2", mod));
    write_file(runs / "wow", run_input("=W i o3", mod));
    write_file(runs / "wav", run_input("=M k-200 w1 w3 w99 w100", mod));
    write_file(runs / "bad-type", run_input("=X i", mod));
    write_file(runs / "unknown-command", run_input("q  =M o100", mod));
    write_file(runs / "xm", run_input("i o1 o2 -xm sample o99", build_xm(small_xm())));
    write_file(runs / "s3m", run_input("=S i o1 -LOW.SMP o7 k-128", build_s3m(small_s3m())));
    write_file(runs / "no-commands", run_input("", mod));
    write_file(runs / "any-it", run_input("=A i o1 w2 o3 -it sample", build_it(small_it())));
    write_file(runs / "any-pipe-s3m", run_input("=A - i o5 o6", build_s3m(small_s3m())));
    write_file(runs / "any-xm", run_input("=A i o3 o4", build_xm(small_xm())));
    write_file(runs / "sources", run_input("=A j s1 s2 s99 x", build_it(small_it())));
    write_file(runs / "sources-pipe", run_input("=A - j s3 x", build_xm(small_xm())));
    write_file(runs / "sources-other-form", run_input("=M j s1 s0 x", mod));
    write_file(runs / "instruments-xm", run_input("=A z j", xms.back().second));
    write_file(runs / "instruments-it-pipe", run_input("=A - j z", it_modules().back().second));
    write_file(runs / "instruments-other-form", run_input("=M z", mod));
    write_file(runs / "bank-xm", run_input("=A f- j fbank", xms.back().second));
    write_file(runs / "bank-it-pipe", run_input("=A - f- z", it_modules().back().second));
    write_file(runs / "octamed", run_input("=A i j s1 s2 o3 x", mmd_modules().front().second));
    write_file(runs / "octamed-pipe", run_input("=A - i z", mmd_modules()[3].second));
    write_file(runs / "past-99", run_input("=A s113 s130 j x z", xm_sixteen_headers_each(9)));
    write_file(runs / "past-99-pipe", run_input("=A - s120 z j", it_many_samples(120)));
    write_file(runs / "dbm", run_input("=A i j s2 z", chunked_modules().front().second));
    write_file(runs / "umx-pipe", run_input("=A - i x", chunked_modules()[7].second));
    for (const auto& [name, module] : stm_era_modules())
        write_file(runs / name, run_input("=A - i j s1 s2 o3 x", module));
    const auto quirks = quirk_modules();
    write_file(runs / "quirks-xm", run_input("=A i j s2 s4 z", quirks[3].second));
    write_file(runs / "quirks-unic-pipe", run_input("=A - i j s1 x", quirks[9].second));
    write_file(runs / "quirks-it", run_input("=A i o4 s1 s4 j", quirks.back().second));
    return 0;
}
