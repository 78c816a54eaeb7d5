// Writes the benchmark's modules into DIR and a manifest that gives, for each,
// the offset of its first sample byte and the number of sample bytes a reader
// keeps (what the floor program reads), and for compressed samples the bytes
// they take in the module (for 16-bit stereo ones, more than a slot keeps):
//   make_bench_modules DIR
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "module_builders.h"

namespace {

using namespace trk2inst::build;
namespace fs = std::filesystem;

struct Written {
    std::size_t first_sample_byte;
    std::size_t kept_bytes;
    std::size_t stored_bytes = 0;  // when the module holds the samples in fewer bytes
};


// Sample data: a slow saw, so that the delta-coded form is not all zeros.
Bytes saw(std::size_t size, unsigned step)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>((i * step) & 0xFF);
    return out;
}

Written big_mod(const fs::path& path)
{
    ModSpec layout;
    layout.tag = "99CH";
    layout.channels = 99;
    layout.song_length = 128;
    for (std::size_t i = 0; i < layout.orders.size(); ++i)
        layout.orders[i] = static_cast<std::uint8_t>(i * 2 + 1);  // the last is 255
    for (int slot = 1; slot <= 31; ++slot)
        layout.samples.push_back({numbered("big ", slot), 65535, 0, 64, 0, 65535, {}});
    const Bytes module = build_mod(layout);
    write_file(path, module);
    const std::size_t samples = 31u * 131070u;
    return {module.size() - samples, samples};
}

Written small_mod(const fs::path& path)
{
    ModSpec layout;
    layout.song_length = 8;
    for (std::size_t i = 0; i < 8; ++i)
        layout.orders[i] = static_cast<std::uint8_t>(i);
    std::size_t samples = 0;
    for (int slot = 1; slot <= 15; ++slot) {
        const auto words = static_cast<std::uint16_t>(2000 + slot * 200);
        layout.samples.push_back({numbered("small ", slot), words, 0, 48, 0, 1, {}});
        samples += 2u * words;
    }
    const Bytes module = build_mod(layout);
    write_file(path, module);
    return {module.size() - samples, samples};
}

Written big_xm(const fs::path& path)
{
    XmSpec layout;
    layout.channels = 32;
    for (int i = 0; i < 256; ++i)
        layout.patterns.push_back({9, 64, saw(40000, 3)});
    for (int slot = 1; slot <= 99; ++slot) {
        XmSample sample;
        sample.length = 131070;
        sample.type = 1;
        sample.loop_length = 131070;
        sample.name = numbered("big ", slot);
        sample.data = saw(131070, 1);
        XmInstrument instrument;
        instrument.name = numbered("instrument ", slot);
        instrument.samples = {sample};
        layout.instruments.push_back(instrument);
    }
    const Bytes module = build_xm(layout);
    write_file(path, module);
    // Each instrument's headers come before its sample's data.
    const std::size_t samples = 99u * 131070u;
    const std::size_t headers_after_first = 98u * (263u + 40u);
    return {module.size() - samples - headers_after_first, samples};
}

Written big_s3m(const fs::path& path)
{
    S3mSpec layout;
    layout.format_information = 2;  // unsigned sample data
    for (int slot = 1; slot <= 99; ++slot) {
        S3mInstrument instrument;
        instrument.file_name = numbered("BIG", slot) + ".SMP";
        instrument.length = 64000;
        instrument.flags = 1;
        instrument.loop_end = 64000;
        instrument.data = saw(64000, 5);
        layout.instruments.push_back(instrument);
    }
    const Bytes module = build_s3m(layout);
    write_file(path, module);
    const std::size_t samples = 99u * 64000u;
    return {module.size() - samples, samples};
}

// 99 compressed 16-bit samples of 65,535 values and 100 patterns of 64,000
// bytes, which the reader passes over by their pointers.
Written big_it(const fs::path& path)
{
    ItSpec layout;
    layout.order_count = 100;
    for (int i = 0; i < 100; ++i)
        layout.patterns.push_back(saw(64000, 3));
    std::vector<std::int16_t> values(65535);
    for (int slot = 1; slot <= 99; ++slot) {
        // A sine with a little noise, different for every sample.
        std::uint32_t noise = static_cast<std::uint32_t>(slot) * 2654435761u;
        for (std::size_t i = 0; i < values.size(); ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double tone = 20000.0 * std::sin(double(i) * double(slot) / 3000.0);
            values[i] = static_cast<std::int16_t>(tone + double(noise >> 26) - 32.0);
        }
        ItSample sample;
        sample.name = numbered("big ", slot);
        sample.flags = 0x1B;  // 16-bit, compressed, looped
        sample.length = 65535;
        sample.loop_begin = 1000;
        sample.loop_end = 65535;
        sample.c5speed = 22050;
        sample.data = it_compress(values, true, false);
        layout.samples.push_back(sample);
    }
    const Bytes module = build_it(layout);
    write_file(path, module);
    std::size_t sample_bytes = 0;
    for (const ItSample& sample : layout.samples)
        sample_bytes += sample.data.size();
    // The loop of 64,535 values is odd: a slot holds it twice, 130,070 values in all.
    return {module.size() - sample_bytes, 99u * 130070u, sample_bytes};
}

// 63 16-bit stereo samples of 65,536 values a channel; every other one with a
// long loop of 64,000 frames from InstrExt.
Written big_mmd3(const fs::path& path)
{
    MmdSpec layout;
    layout.id = "MMD3";
    layout.block_tracks = std::vector<std::uint16_t>(64, 8);
    std::vector<std::int16_t> left(65536), right(65536);
    for (int slot = 1; slot <= 63; ++slot) {
        for (std::size_t i = 0; i < left.size(); ++i) {
            left[i] = static_cast<std::int16_t>(20000.0 * std::sin(double(i) * double(slot) / 2000.0));
            right[i] = static_cast<std::int16_t>(15000.0 * std::cos(double(i) * double(slot) / 2500.0));
        }
        Bytes data = mmd_pcm(left, 16);
        append(data, mmd_pcm(right, 16));
        MmdInstrument instrument;
        instrument.body = mmd_sample(2 * 65536, 0x30, data);
        instrument.instr_ext = mmd_instr_ext(0, slot % 2 == 1 ? 0x01 : 0x00, 1000, 64000);
        instrument.name = numbered("big ", slot);
        layout.instruments.push_back(instrument);
    }
    const Bytes module = build_mmd(layout);
    write_file(path, module);
    const std::size_t smplarr = std::size_t{module[24]} << 24 | std::size_t{module[25]} << 16 |
                                std::size_t{module[26]} << 8 | module[27];
    const std::size_t first = (std::size_t{module[smplarr]} << 24 | std::size_t{module[smplarr + 1]} << 16 |
                               std::size_t{module[smplarr + 2]} << 8 | module[smplarr + 3]) + 6;
    return {first, 63u * 65536u, 63u * 4u * 65536u};
}

// 99 8-bit samples of 131,070 frames, each played by its instrument with a
// loop, and 99 empty patterns.
Written big_dbm(const fs::path& path)
{
    DbmSpec layout;
    layout.channels = 8;
    layout.patterns = 99;
    for (int slot = 1; slot <= 99; ++slot) {
        const auto number = static_cast<std::uint16_t>(slot);
        layout.instruments.push_back({numbered("big ", slot), number, 64, 8363, 1000, 120000, 0, 1});
        layout.samples.push_back({1, 131070, saw(131070, static_cast<unsigned>(slot))});
    }
    const Bytes module = build_dbm(layout);
    write_file(path, module);
    const std::size_t samples = 99u * (131070u + 8u);
    return {module.size() - samples, 99u * 131070u};
}

// 31 samples of 131,070 bytes after 128 unpacked 8-channel patterns.
Written big_digi(const fs::path& path)
{
    DigiSpec layout;
    layout.channels = 8;
    layout.patterns = 128;
    for (int slot = 1; slot <= 31; ++slot)
        layout.samples.push_back({numbered("big ", slot), 131070, 0, 131070, 64, 0, saw(131070, 3)});
    const Bytes module = build_digi(layout);
    write_file(path, module);
    const std::size_t samples = 31u * 131070u;
    return {module.size() - samples, samples};
}

// 36 samples of 131,070 bytes, each in its SBOD chunk.
Written big_okt(const fs::path& path)
{
    OktSpec layout;
    layout.cmod = {1, 1, 0, 0};
    layout.patterns = 64;
    for (int slot = 1; slot <= 36; ++slot)
        layout.samples.push_back({numbered("big ", slot), 131070, 0, 65535, 64, 1, saw(131070, 5)});
    const Bytes module = build_okt(layout);
    write_file(path, module);
    const std::size_t samples = 36u * (131070u + 8u);
    return {module.size() - samples, 36u * 131070u};
}

// 99 packed samples: odd numbers 8-bit of 131,070 values, even ones 16-bit
// of 65,535, a sine with a little noise.
Written big_mdl(const fs::path& path)
{
    MdlSpec layout;
    layout.channel_bytes.fill(0x80);
    for (std::size_t channel = 0; channel < 8; ++channel)
        layout.channel_bytes[channel] = 0x40;
    std::size_t stored = 0;
    for (int slot = 1; slot <= 99; ++slot) {
        const bool wide = slot % 2 == 0;
        std::vector<std::int16_t> values(wide ? 65535 : 131070);
        std::uint32_t noise = static_cast<std::uint32_t>(slot) * 2654435761u;
        for (std::size_t i = 0; i < values.size(); ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double tone = std::sin(double(i) * double(slot) / 3000.0);
            values[i] = static_cast<std::int16_t>(wide ? 20000.0 * tone + double(noise >> 24) : 90.0 * tone + double(noise >> 30));
        }
        MdlSample sample;
        sample.number = static_cast<std::uint8_t>(slot);
        sample.name = numbered("big ", slot);
        sample.length = 131070;
        sample.flags = wide ? 0x09 : 0x04;
        sample.stream = mdl_pack(values, wide ? 16 : 8);
        stored += 4 + sample.stream->size();
        layout.samples.push_back(std::move(sample));
    }
    const Bytes module = build_mdl(layout);
    write_file(path, module);
    return {module.size() - stored, 50u * 131070u + 49u * 65535u, stored};
}

// big.mod inside an Unreal package.
Written big_umx(const fs::path& path, const fs::path& mod)
{
    UmxSpec layout;
    layout.version = 69;
    layout.format = "mod";
    const Written inner = big_mod(mod);
    layout.module = Bytes(fs::file_size(mod));
    std::FILE* file = std::fopen(mod.c_str(), "rb");
    const bool read = file != nullptr && std::fread(layout.module.data(), 1, layout.module.size(), file) == layout.module.size();
    if (file != nullptr)
        std::fclose(file);
    if (!read)
        return {0, 0};
    const Bytes package = build_umx(layout);
    write_file(path, package);
    const auto at = std::search(package.begin(), package.end(), layout.module.begin(), layout.module.begin() + 1084);
    return {inner.first_sample_byte + static_cast<std::size_t>(at - package.begin()), inner.kept_bytes};
}

// The PC tracker formats: 99 samples (64 for Asylum's) of 131,070 bytes (16-bit
// in IMF: 65,535 values), as much as a slot keeps, each format's way.
constexpr std::uint32_t pc_sample_bytes = 131070;

Written written_module(const fs::path& path, const Bytes& module, std::size_t samples)
{
    write_file(path, module);
    const std::size_t bytes = samples * pc_sample_bytes;
    return {module.size() - bytes, bytes};
}

Written big_amf(const fs::path& path)
{
    AmfSpec layout;
    for (unsigned slot = 1; slot <= 99; ++slot)
        layout.samples.push_back(
            {1, numbered("big ", int(slot)), {}, {}, 8363, 64, 1000, pc_sample_bytes, saw(pc_sample_bytes, slot)});
    return written_module(path, build_amf(layout), 99);
}

Written big_asylum(const fs::path& path)
{
    AsylumSpec layout;
    for (unsigned slot = 1; slot <= 64; ++slot)
        layout.samples.push_back(
            {numbered("big ", int(slot)), 0, 64, 0, {}, 1000, 64000, saw(pc_sample_bytes, slot)});
    return written_module(path, build_asylum(layout), 64);
}

Written big_gdm(const fs::path& path)
{
    GdmSpec layout;
    for (unsigned slot = 1; slot <= 99; ++slot)
        layout.samples.push_back(
            {numbered("big ", int(slot)), {}, 1000, 64001, 0x05, 8363, 64, saw(pc_sample_bytes, slot)});
    return written_module(path, build_gdm(layout), 99);
}

Written big_imf(const fs::path& path)
{
    ImfSpec layout;
    for (unsigned i = 0; i < 33; ++i) {
        ImfInstrument instrument;
        instrument.name = numbered("big ", int(i + 1));
        for (unsigned k = 0; k < 3; ++k)
            instrument.samples.push_back(
                {"big.wav", {}, 2000, pc_sample_bytes, 22050, 64, 128, 0x05, saw(pc_sample_bytes, 3 * i + k)});
        layout.instruments.push_back(instrument);
    }
    return written_module(path, build_imf(layout), 99);
}

Written big_psm(const fs::path& path)
{
    PsmSpec layout;
    for (unsigned slot = 1; slot <= 99; ++slot)
        layout.samples.push_back({numbered("big ", int(slot)), std::uint16_t(slot - 1), 0x80, {}, 1000, 64000, 0, 127,
                                  8448, saw(pc_sample_bytes, 1)});
    return written_module(path, build_psm(layout), 99);
}

Written big_psm16(const fs::path& path)
{
    Psm16Spec layout;
    for (unsigned slot = 1; slot <= 99; ++slot)
        layout.samples.push_back({numbered("big ", int(slot)), std::uint16_t(slot), 0x80, {}, 1000, 64000, 0x70, 64,
                                  8363, saw(pc_sample_bytes, 1)});
    return written_module(path, build_psm16(layout), 99);
}

Written big_dsm(const fs::path& path)
{
    DsikSpec layout;
    layout.patterns = 0;
    for (unsigned slot = 1; slot <= 99; ++slot)
        layout.samples.push_back(
            {numbered("big ", int(slot)), 0x03, 64, {}, 1000, 64000, 8363, 0, saw(pc_sample_bytes, slot)});
    return written_module(path, build_dsik(layout), 99);
}

// The PC trackers' formats: each with as many samples of as many bytes as
// its header can give, 8- and 16-bit, their loops on whole words (the slots
// keep the values, and an odd total one zero more). The floor reads every
// byte from the first sample's to the end: the samples' and what little lies
// between them.
struct SampleTotals {
    std::size_t stored = 0;  // bytes in the module
    std::size_t kept = 0;    // bytes of the slots

    void add(std::size_t bytes, std::size_t values) { stored += bytes, kept += std::min<std::size_t>(values, 131070); }
    Written of(const Bytes& module) const { return {module.size() - stored, kept, stored > kept ? stored : 0}; }
};

Written big_mtm(const fs::path& path)
{
    MtmSpec layout;
    layout.tracks = 2000;
    layout.last_pattern = 255;
    SampleTotals totals;
    for (int slot = 1; slot <= 63; ++slot) {
        const auto wide = static_cast<std::uint8_t>(slot % 2);
        layout.samples.push_back({numbered("big ", slot), 131070, 1000, 131068, 0, 64, wide, saw(131070, 3)});
        totals.add(131070, wide != 0 ? 65536 : 131070);
    }
    const Bytes module = build_mtm(layout);
    write_file(path, module);
    return totals.of(module);
}

Written big_669(const fs::path& path)
{
    Spec669 layout;
    layout.patterns = 128;
    SampleTotals totals;
    for (int slot = 1; slot <= 64; ++slot) {
        layout.samples.push_back({numbered("BIG", slot), 131070, 1000, 131070, saw(131070, 3)});
        totals.add(131070, 131070);
    }
    const Bytes module = build_669(layout);
    write_file(path, module);
    return totals.of(module);
}

Written big_stm(const fs::path& path)
{
    StmSpec layout;
    layout.patterns = 64;
    SampleTotals totals;
    for (int slot = 1; slot <= 31; ++slot) {
        layout.samples.push_back({numbered("BIG", slot), 65535, 1000, 65534, 64, 8363, saw(65535, 3), {}});
        totals.add(65536, 65536);  // each on a paragraph of its own
    }
    const Bytes module = build_stm(layout);
    write_file(path, module);
    return totals.of(module);
}

Written big_stx(const fs::path& path)
{
    StxSpec layout;
    layout.patterns = 64;
    SampleTotals totals;
    for (int slot = 1; slot <= 96; ++slot) {
        const bool wide = slot % 2 == 0;
        layout.samples.push_back({1, numbered("big ", slot), 65535, 1000, 65534, 64, 0,
                                  static_cast<std::uint8_t>(wide ? 5 : 1), 22050, {}});
        totals.add(wide ? 131072 : 65536, 65536);
    }
    const Bytes module = build_stx(layout);
    write_file(path, module);
    return totals.of(module);
}

// 32 channels of 255 patterns of single-row events: 2.6 MB of tracks to walk.
Written big_ult(const fs::path& path)
{
    UltSpec layout;
    layout.channels = 32;
    layout.patterns = 255;
    layout.tracks = Bytes{};
    const Bytes event = ult_event(1);
    for (int row = 0; row < 32 * 255 * 64; ++row)
        append(*layout.tracks, event);
    SampleTotals totals;
    for (int slot = 1; slot <= 99; ++slot) {
        const bool wide = slot % 2 == 0;
        // Loop points of 16-bit samples count bytes.
        layout.samples.push_back({numbered("big ", slot), 2000, wide ? 131068u : 65534u, 0, 65535, 255,
                                  static_cast<std::uint8_t>(wide ? 0x0C : 0x08), 8363, 0, {}});
        totals.add(wide ? 131070 : 65535, 65536);
    }
    const Bytes module = build_ult(layout);
    write_file(path, module);
    return totals.of(module);
}

Written big_far(const fs::path& path)
{
    FarSpec layout;
    for (int i = 0; i < 256; ++i)
        layout.patterns.emplace_back(i, 2 + 64 * 16 * 4);
    SampleTotals totals;
    for (int i = 0; i < 64; ++i) {
        const auto wide = static_cast<std::uint8_t>(i % 2);
        layout.samples.push_back({i, numbered("big ", i + 1), 131070, 16, 1000, 131068, wide, 8, {}});
        totals.add(48 + 131070, wide != 0 ? 65536 : 131070);  // each after its header
    }
    const Bytes module = build_far(layout);
    write_file(path, module);
    return totals.of(module);
}

Written big_ptm(const fs::path& path)
{
    PtmSpec layout;
    layout.patterns = 128;
    SampleTotals totals;
    for (int slot = 1; slot <= 99; ++slot) {
        const bool wide = slot % 2 == 0;
        layout.samples.push_back({static_cast<std::uint8_t>(wide ? 0x15 : 0x05), numbered("big ", slot), 64, 8363,
                                  131070, 1000, 131068, {}, {}});
        totals.add(131070, wide ? 65536 : 131070);
    }
    const Bytes module = build_ptm(layout);
    write_file(path, module);
    return totals.of(module);
}

}  // namespace

// 17 instruments of sixteen sample headers (272 in all), two of each with
// 64 KiB of data, as one tracker writes them; and the same 34 samples with two
// headers an instrument. "x" writes the same files from both.
void sample_kits(const fs::path& dir)
{
    XmSpec crowded;
    XmSpec packed;
    for (int i = 0; i < 17; ++i) {
        XmInstrument instrument;
        instrument.name = numbered("kit ", i + 1);
        for (int k = 0; k < 2; ++k) {
            XmSample sample;
            sample.name = numbered("kit sample ", 2 * i + k + 1);
            sample.length = 65536;
            sample.type = static_cast<std::uint8_t>(k == 0 ? 0x00 : 0x10);
            sample.data = saw(65536, static_cast<unsigned>(i + 1));
            instrument.samples.push_back(sample);
        }
        packed.instruments.push_back(instrument);
        instrument.samples.resize(16);
        crowded.instruments.push_back(instrument);
    }
    write_file(dir / "kit-272-headers.xm", build_xm(crowded));
    write_file(dir / "kit-34-headers.xm", build_xm(packed));
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_modules DIR\n");
        return 2;
    }
    const fs::path dir(argv[1]);
    fs::create_directories(dir);
    std::ofstream manifest(dir / "manifest");
    const auto note = [&](const char* name, Written written) {
        manifest << name << ' ' << written.first_sample_byte << ' ' << written.kept_bytes;
        if (written.stored_bytes != 0)
            manifest << ' ' << written.stored_bytes;
        manifest << '\n';
    };
    const Bytes empty = build_mod(ModSpec{});
    write_file(dir / "empty.mod", empty);
    note("empty.mod", {empty.size(), 0});
    note("small.mod", small_mod(dir / "small.mod"));
    note("big.mod", big_mod(dir / "big.mod"));
    note("big.xm", big_xm(dir / "big.xm"));
    note("big.s3m", big_s3m(dir / "big.s3m"));
    note("big.it", big_it(dir / "big.it"));
    note("big.mmd3", big_mmd3(dir / "big.mmd3"));
    sample_kits(dir);
    // Also timed apart, by "=A FILE i" alone.
    std::ofstream pc_manifest(dir / "pc-manifest");
    const auto note_pc = [&](const char* name, Written written) {
        pc_manifest << name << ' ' << written.first_sample_byte << ' ' << written.kept_bytes << '\n';
    };
    const auto note_both = [&](const char* name, Written written) {
        note(name, written);
        note_pc(name, written);
    };
    note_both("big.dbm", big_dbm(dir / "big.dbm"));
    note_both("big.digi", big_digi(dir / "big.digi"));
    note_both("big.okt", big_okt(dir / "big.okt"));
    note_both("big.mdl", big_mdl(dir / "big.mdl"));
    note_both("big.umx", big_umx(dir / "big.umx", dir / "big.mod"));
    note_pc("big.amf", big_amf(dir / "big.amf"));
    note_pc("big-asylum.amf", big_asylum(dir / "big-asylum.amf"));
    note_pc("big.gdm", big_gdm(dir / "big.gdm"));
    note_pc("big.imf", big_imf(dir / "big.imf"));
    note_pc("big.psm", big_psm(dir / "big.psm"));
    note_pc("big-psm16.psm", big_psm16(dir / "big-psm16.psm"));
    note_pc("big.dsm", big_dsm(dir / "big.dsm"));
    note_both("big.mtm", big_mtm(dir / "big.mtm"));
    note_both("big.669", big_669(dir / "big.669"));
    note_both("big.stm", big_stm(dir / "big.stm"));
    note_both("big.stx", big_stx(dir / "big.stx"));
    note_both("big.ult", big_ult(dir / "big.ult"));
    note_both("big.far", big_far(dir / "big.far"));
    note_both("big.ptm", big_ptm(dir / "big.ptm"));
    return 0;
}
