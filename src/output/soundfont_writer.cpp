// SoundFont 2.01 banks ("f"): the instruments of "z" and "j", with the samples
// they play, as one RIFF file. Every size follows from the samples' shapes,
// so the file is written front to back: the sizes, the sample points, then
// the articulation records. Numbers are little-endian.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "output/output.h"
#include "output/sampler_instrument.h"
#include "readers/source_sample.h"

#ifndef TRK2INST_VERSION
#define TRK2INST_VERSION "unknown"
#endif

namespace trk2inst {

namespace {

using Bytes = std::vector<std::uint8_t>;

// What interpolating players need around the points they play.
constexpr std::int64_t zero_points = 46;   // after every sample
constexpr std::int64_t least_points = 48;  // in a sample
constexpr std::int64_t least_loop = 32;    // in a loop
constexpr std::int64_t loop_margin = 8;    // before and after a loop

constexpr std::size_t index_limit = 0xFFFF;  // zones and generators: WORD indices
constexpr std::size_t name_size = 20;
constexpr std::size_t longest_text = 255;  // an INFO string: 256 bytes with its zeros
constexpr std::uint8_t original_key = 60;  // plays a sample at its rate, as "z" has it

enum Generator : std::uint16_t {
    pan = 17,
    attack_time = 34,
    decay_time = 36,
    sustain_level = 37,
    release_time = 38,
    instrument_index = 41,
    key_range = 43,
    attenuation = 48,
    coarse_tune = 51,
    fine_tune = 52,
    sample_index = 53,
    sample_modes = 54,
};

enum SampleType : std::uint16_t { mono = 1, right_half = 2, left_half = 4 };

constexpr int no_time = -12000;  // timecents of 0 seconds: every time generator's default
constexpr int longest_time = 8000;
constexpr int most_centibels = 1440;
constexpr int full_pan = 500;

void put_u8(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void put_u16(Bytes& out, unsigned value)
{
    put_u8(out, value);
    put_u8(out, value >> 8);
}

void put_u32(Bytes& out, std::uint64_t value)
{
    put_u16(out, static_cast<unsigned>(value & 0xFFFF));
    put_u16(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

void put_tag(Bytes& out, const char (&tag)[5])
{
    out.insert(out.end(), tag, tag + 4);
}

// Text as the bank holds it: bytes outside 0x20 to 0x7E as "_".
std::string bank_text(std::string text)
{
    for (char& c : text)
        if (c < 0x20 || c > 0x7E)
            c = '_';
    return text;
}

// A name as the bank holds it: at most `limit` bytes, no trailing spaces.
std::string bank_name(const std::string& name, std::size_t limit)
{
    std::string text = bank_text(name.substr(0, limit));
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// A name field: 20 bytes, zeros after the name.
void put_name(Bytes& out, const std::string& name)
{
    const std::size_t length = std::min(name.size(), name_size);
    out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
    out.resize(out.size() + name_size - length, 0);
}

// One or two zeros end an INFO string, so that its size is even.
void put_text_chunk(Bytes& out, const char (&id)[5], const std::string& text)
{
    const std::size_t length = std::min(text.size(), longest_text);
    const std::size_t size = length + (length % 2 == 0 ? 2 : 1);
    put_tag(out, id);
    put_u32(out, size);
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    out.resize(out.size() + size - length, 0);
}

void put_chunk(Bytes& out, const char (&id)[5], const Bytes& data)
{
    put_tag(out, id);
    put_u32(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
}

// The last component of the module's file name, as the command line gives it.
std::string bank_title(const std::string& module_name)
{
    if (module_name == "-")
        return "standard input";
    const std::size_t slash = module_name.rfind('/');
    return bank_text(slash == std::string::npos ? module_name : module_name.substr(slash + 1));
}

Bytes info_list(const RunState& state)
{
    Bytes info;
    put_tag(info, "INFO");
    put_tag(info, "ifil");
    put_u32(info, 4);
    put_u16(info, 2);  // version 2.01
    put_u16(info, 1);
    put_text_chunk(info, "isng", "EMU8000");
    put_text_chunk(info, "INAM", bank_title(state.module_name));
    put_text_chunk(info, "ISFT", "trk2inst " TRK2INST_VERSION);
    return info;
}

// Source frames written one after another, forward or backward from `first`.
struct Run {
    std::int64_t first = 0;
    std::int64_t count = 0;
    bool backward = false;
};

// How each channel of a sample is written: its runs, zeros up to `points`,
// then the 46 zero points.
struct PointLayout {
    std::vector<Run> runs;
    std::int64_t written = 0;     // points of the runs
    std::int64_t points = 0;      // the sample's
    std::int64_t loop_start = 0;  // within the sample; both 0 without a loop
    std::int64_t loop_end = 0;    // the first point after the loop
    unsigned mode = 0;            // sampleModes: 1 loops, 3 loops while the key is held
};

void add_run(PointLayout& layout, Run run)
{
    if (run.count <= 0)
        return;
    layout.runs.push_back(run);
    layout.written += run.count;
}

// The first `count` points of the loop played turn after turn.
void add_turns(PointLayout& layout, const std::vector<Run>& turn, std::int64_t count)
{
    while (count > 0) {
        for (Run run : turn) {
            run.count = std::min(run.count, count);
            add_run(layout, run);
            count -= run.count;
        }
    }
}

// A ping-pong loop becomes its forward turn and its way back; a loop shorter
// than 32 points is repeated; one that starts fewer than 8 points in plays
// its first turn from a copy in front; the loop's first points follow it
// again when fewer than 8 follow. Each sounds as the module plays it.
PointLayout layout_of(const SourceShape& shape)
{
    PointLayout layout;
    const SourceLoop* loop = played_loop(shape);
    if (loop == nullptr) {
        add_run(layout, {0, shape.frames, false});
    } else {
        const std::int64_t first = loop->start;
        const std::int64_t last = loop->end - 1;
        std::vector<Run> turn{{first, loop->end - first, false}};
        if (loop->ping_pong && last > first)
            turn.push_back({last - 1, last - first - 1, true});
        const std::int64_t turn_points = turn.size() == 1 ? turn[0].count : 2 * (last - first);
        const std::int64_t body = turn_points * ((least_loop + turn_points - 1) / turn_points);
        const bool moved = first < loop_margin;
        add_run(layout, {0, first, false});
        add_turns(layout, turn, moved ? 2 * body : body);
        layout.loop_start = first + (moved ? body : 0);
        layout.loop_end = layout.loop_start + body;
        if (shape.frames - loop->end < loop_margin)
            add_turns(layout, turn, loop_margin);
        add_run(layout, {loop->end, shape.frames - loop->end, false});
        layout.mode = loop->sustain ? 3 : 1;
    }
    layout.points = std::max(layout.written, least_points);
    return layout;
}

struct BankSample {
    std::size_t index = 0;  // in the module's list
    SourceShape shape;
    PointLayout layout;
    std::int64_t start = 0;    // in smpl, of its left (or only) channel
    std::size_t header = 0;    // its first shdr record
};

struct Bank {
    std::vector<SamplerInstrument> instruments;  // those that play a sample
    std::vector<BankSample> samples;
    std::vector<std::size_t> sample_at;  // for each module sample number, its place in samples
    std::int64_t smpl_points = 0;
    Bytes info;  // the INFO list's data
    Bytes pdta;  // the pdta list's data
};

std::int64_t channel_span(const BankSample& sample)
{
    return sample.layout.points + zero_points;
}

// Every sample a region plays, once, in sample-number order.
void lay_out_samples(const RunState& state, Bank& bank)
{
    std::vector<bool> played(state.samples.size() + 1, false);
    for (const SamplerInstrument& instrument : bank.instruments)
        for (const SamplerRegion& region : instrument.regions)
            played[static_cast<std::size_t>(region.sample)] = true;
    bank.sample_at.assign(played.size(), 0);
    std::size_t headers = 0;
    for (std::size_t number = 1; number < played.size(); ++number) {
        if (!played[number])
            continue;
        BankSample sample;
        sample.index = number - 1;
        sample.shape = source_shape(state, sample.index);
        sample.layout = layout_of(sample.shape);
        sample.start = bank.smpl_points;
        sample.header = headers;
        bank.smpl_points += sample.shape.channels * channel_span(sample);
        headers += static_cast<std::size_t>(sample.shape.channels);
        bank.sample_at[number] = bank.samples.size();
        bank.samples.push_back(std::move(sample));
    }
}

struct Records {
    Bytes phdr, pbag, pgen, inst, ibag, igen, shdr;
};

void put_generator(Bytes& list, Generator generator, unsigned amount)
{
    put_u16(list, generator);
    put_u16(list, amount);
}

// A generator that keeps its default is left out.
void put_unless(Bytes& list, Generator generator, long amount, long default_amount)
{
    if (amount != default_amount)
        put_generator(list, generator, static_cast<unsigned>(amount) & 0xFFFF);
}

void put_bag(Bytes& bags, const Bytes& generators)
{
    put_u16(bags, static_cast<unsigned>(generators.size() / 4));
    put_u16(bags, 0);  // no modulators
}

long rounded(double value)
{
    return std::lround(value);  // halves away from zero
}

long timecents(double seconds)
{
    if (!(seconds > 0))
        return no_time;
    return std::clamp(rounded(1200.0 * std::log2(seconds)), long{no_time}, long{longest_time});
}

// The global zone: the volume envelope as attack, decay and sustain, up to
// its sustain point (else its last), and the release; none without either.
void add_global_zone(Records& records, const SamplerInstrument& instrument)
{
    Bytes generators;
    if (const VolumeEnvelope* envelope = instrument.volume_envelope) {
        const auto& points = envelope->points;
        const auto held = static_cast<std::size_t>(envelope->sustain.first >= 0 ? envelope->sustain.first
                                                                                : envelope->point_count - 1);
        std::size_t peak = 0;
        for (std::size_t k = 1; k <= held; ++k)
            if (points[k].value > points[peak].value)
                peak = k;
        const double tick = instrument.tick_seconds;
        const double peak_value = points[peak].value, held_value = points[held].value;
        double sustain = most_centibels;  // from the peak down to the level held
        if (held_value > 0)
            sustain = std::min(sustain, 200.0 * std::log10(peak_value / held_value));
        const double decay = (static_cast<double>(points[held].tick) - points[peak].tick) * tick;
        const double attack = (static_cast<double>(points[peak].tick) - points[0].tick) * tick;
        put_unless(generators, attack_time, timecents(attack), no_time);
        // The generator holds the time of a full fall of 1000 cB.
        if (decay > 0 && sustain > 0)
            put_unless(generators, decay_time, timecents(decay * 1000 / std::min(sustain, 1000.0)), no_time);
        put_unless(generators, sustain_level, rounded(sustain), 0);
    }
    put_unless(generators, release_time, timecents(instrument.release_seconds), no_time);
    if (generators.empty())
        return;
    put_bag(records.ibag, records.igen);
    records.igen.insert(records.igen.end(), generators.begin(), generators.end());
}

// One zone, or two for the halves of a stereo sample, left then right.
void add_region_zones(Records& records, const Bank& bank, const SamplerRegion& region)
{
    const BankSample& sample = bank.samples[bank.sample_at[static_cast<std::size_t>(region.sample)]];
    const int cents = 100 * region.transpose + region.tune;
    const long coarse = std::clamp(rounded(cents / 100.0), -120L, 120L);
    for (int channel = 0; channel < sample.shape.channels; ++channel) {
        Bytes& igen = records.igen;
        put_bag(records.ibag, igen);
        if (region.lokey != 0 || region.hikey != key_count - 1)
            put_generator(igen, key_range, static_cast<unsigned>(region.lokey | region.hikey << 8));
        put_unless(igen, coarse_tune, coarse, 0);
        put_unless(igen, fine_tune, std::clamp(cents - 100 * coarse, -99L, 99L), 0);
        put_unless(igen, attenuation, std::clamp(rounded(-25 * region.volume_db), 0L, long{most_centibels}), 0);
        long position = region.pan ? std::clamp(rounded(5 * *region.pan), long{-full_pan}, long{full_pan}) : 0;
        if (sample.shape.channels == 2)
            position = channel == 0 ? -full_pan : full_pan;
        put_unless(igen, pan, position, 0);
        put_unless(igen, sample_modes, sample.layout.mode, 0);
        put_generator(igen, sample_index, static_cast<unsigned>(sample.header) + static_cast<unsigned>(channel));
    }
}

std::string instrument_name(const SamplerInstrument& instrument)
{
    const std::string name = bank_name(instrument.name, name_size);
    return name.empty() ? "Instrument " + std::to_string(instrument.number) : name;
}

void add_instrument(Records& records, const Bank& bank, std::size_t at)
{
    const SamplerInstrument& instrument = bank.instruments[at];
    const std::string name = instrument_name(instrument);
    const auto program = static_cast<unsigned>(instrument.number - 1);
    put_name(records.phdr, name);
    put_u16(records.phdr, program % 128);
    put_u16(records.phdr, program / 128);  // the bank
    put_u16(records.phdr, static_cast<unsigned>(at));
    records.phdr.resize(records.phdr.size() + 12, 0);  // library, genre, morphology
    put_bag(records.pbag, records.pgen);
    put_generator(records.pgen, instrument_index, static_cast<unsigned>(at));
    put_name(records.inst, name);
    put_u16(records.inst, static_cast<unsigned>(records.ibag.size() / 4));
    add_global_zone(records, instrument);
    for (const SamplerRegion& region : instrument.regions)
        add_region_zones(records, bank, region);
    if (records.ibag.size() / 4 > index_limit || records.igen.size() / 4 > index_limit)
        fail("Too many zones or generators for one SoundFont bank (at most 65535 of each).\n");
}

// "NN NAME", and " L" or " R" after the name cut to 18 bytes for a half of a
// stereo sample.
std::string sample_name(const RunState& state, std::size_t index, int channels, int channel)
{
    char number[16];
    std::snprintf(number, sizeof number, "%02d ", static_cast<int>(index + 1));
    const std::string name = std::string(number) + state.samples[index].name.data();
    if (channels == 1)
        return bank_name(name, name_size);
    return bank_name(name, name_size - 2) + (channel == 0 ? " L" : " R");
}

void add_sample_headers(Records& records, const RunState& state, const BankSample& sample)
{
    const int channels = sample.shape.channels;
    for (int channel = 0; channel < channels; ++channel) {
        const std::int64_t start = sample.start + channel * channel_span(sample);
        const bool loops = sample.layout.mode != 0;
        Bytes& shdr = records.shdr;
        put_name(shdr, sample_name(state, sample.index, channels, channel));
        put_u32(shdr, static_cast<std::uint64_t>(start));
        put_u32(shdr, static_cast<std::uint64_t>(start + sample.layout.points));
        put_u32(shdr, static_cast<std::uint64_t>(start + (loops ? sample.layout.loop_start : 0)));
        put_u32(shdr, static_cast<std::uint64_t>(start + (loops ? sample.layout.loop_end : 0)));
        put_u32(shdr, sample.shape.rate);
        put_u8(shdr, original_key);
        put_u8(shdr, 0);  // pitch correction
        const auto other = static_cast<unsigned>(sample.header) + (channel == 0 ? 1u : 0u);
        put_u16(shdr, channels == 1 ? 0 : other);
        put_u16(shdr, channels == 1 ? mono : channel == 0 ? left_half : right_half);
    }
}

// The nine lists, each ending with its terminal record.
Bytes pdta_list(const RunState& state, const Bank& bank)
{
    Records records;
    for (std::size_t at = 0; at < bank.instruments.size(); ++at)
        add_instrument(records, bank, at);
    for (const BankSample& sample : bank.samples)
        add_sample_headers(records, state, sample);
    put_name(records.phdr, "EOP");
    records.phdr.resize(records.phdr.size() + 4, 0);
    put_u16(records.phdr, static_cast<unsigned>(records.pbag.size() / 4));
    records.phdr.resize(records.phdr.size() + 12, 0);
    put_bag(records.pbag, records.pgen);
    put_u32(records.pgen, 0);
    put_name(records.inst, "EOI");
    put_u16(records.inst, static_cast<unsigned>(records.ibag.size() / 4));
    put_bag(records.ibag, records.igen);
    put_u32(records.igen, 0);
    put_name(records.shdr, "EOS");
    records.shdr.resize(records.shdr.size() + 26, 0);
    const Bytes no_modulators(10, 0);
    Bytes pdta;
    put_tag(pdta, "pdta");
    put_chunk(pdta, "phdr", records.phdr);
    put_chunk(pdta, "pbag", records.pbag);
    put_chunk(pdta, "pmod", no_modulators);
    put_chunk(pdta, "pgen", records.pgen);
    put_chunk(pdta, "inst", records.inst);
    put_chunk(pdta, "ibag", records.ibag);
    put_chunk(pdta, "imod", no_modulators);
    put_chunk(pdta, "igen", records.igen);
    put_chunk(pdta, "shdr", records.shdr);
    return pdta;
}

Bank plan_bank(const RunState& state)
{
    Bank bank;
    for (SamplerInstrument& instrument : sampler_instruments(state))
        if (!instrument.regions.empty())
            bank.instruments.push_back(std::move(instrument));
    lay_out_samples(state, bank);
    bank.info = info_list(state);
    bank.pdta = pdta_list(state, bank);
    return bank;
}

std::uint64_t smpl_size(const Bank& bank)
{
    return 2 * static_cast<std::uint64_t>(bank.smpl_points);
}

std::uint64_t riff_size(const Bank& bank)
{
    return 4 + (8 + bank.info.size()) + (8 + 4 + 8 + smpl_size(bank)) + (8 + bank.pdta.size());
}

// Points go out as 16-bit values in blocks.
struct PointWriter {
    std::FILE* out = nullptr;
    std::array<std::uint8_t, 64 * 1024> block{};
    std::size_t used = 0;
};

// Room for at most `count` points in the block, emptied first when full.
std::size_t make_room(PointWriter& writer, std::int64_t count)
{
    if (writer.used == writer.block.size()) {
        std::fwrite(writer.block.data(), 1, writer.used, writer.out);
        writer.used = 0;
    }
    const auto room = static_cast<std::int64_t>((writer.block.size() - writer.used) / 2);
    return static_cast<std::size_t>(std::min(count, room));
}

void put_zeros(PointWriter& writer, std::int64_t count)
{
    while (count > 0) {
        const std::size_t n = make_room(writer, count);
        std::memset(writer.block.data() + writer.used, 0, 2 * n);
        writer.used += 2 * n;
        count -= static_cast<std::int64_t>(n);
    }
}

// One channel's values: a value every `stride` bytes from `offset`, 8-bit
// ones the high byte of a point (v × 256), WAV's unsigned ones flipped back.
struct ChannelValues {
    const std::uint8_t* bytes = nullptr;
    std::int64_t frames = 0;  // that the bytes hold
    std::int64_t stride = 1;
    std::int64_t offset = 0;
    bool wide = false;
    std::uint8_t flip = 0;
};

ChannelValues channel_values(const SourceData& data, const SourceShape& shape, int channel)
{
    const auto size = static_cast<std::int64_t>(data.bytes.size());
    if (data.signed_bytes)
        return {data.bytes.data(), size, 1, 0, false, 0};
    const std::int64_t width = shape.bits / 8;
    const std::int64_t stride = width * shape.channels;
    return {data.bytes.data(), size / stride, stride, width * channel, width == 2, 0x80};
}

// `n` points from the value at `at`, `step` bytes apart. The loops that
// most samples take, forward through mono values, are kept apart so that
// the compiler can make them wide.
void convert_values(std::uint8_t* out, const ChannelValues& values, std::int64_t at, std::int64_t step, std::size_t n)
{
    const std::uint8_t* in = values.bytes + at;
    if (step == 1) {
        for (std::size_t i = 0; i < n; ++i) {
            out[2 * i] = 0;
            out[2 * i + 1] = static_cast<std::uint8_t>(in[i] ^ values.flip);
        }
    } else if (step == 2 && values.wide) {
        std::memcpy(out, in, 2 * n);  // 16-bit mono: the points as they stand
    } else if (values.wide) {
        for (std::size_t i = 0; i < n; ++i, at += step) {
            out[2 * i] = values.bytes[at];
            out[2 * i + 1] = values.bytes[at + 1];
        }
    } else {
        for (std::size_t i = 0; i < n; ++i, at += step) {
            out[2 * i] = 0;
            out[2 * i + 1] = static_cast<std::uint8_t>(values.bytes[at] ^ values.flip);
        }
    }
}

// `count` values that the bytes hold, from frame `first` on, forward or back.
void put_values(PointWriter& writer, const ChannelValues& values, std::int64_t first, std::int64_t count, bool backward)
{
    const std::int64_t step = backward ? -values.stride : values.stride;
    std::int64_t at = first * values.stride + values.offset;
    while (count > 0) {
        const std::size_t n = make_room(writer, count);
        convert_values(writer.block.data() + writer.used, values, at, step, n);
        at += step * static_cast<std::int64_t>(n);
        writer.used += 2 * n;
        count -= static_cast<std::int64_t>(n);
    }
}

// Frames past the values given (a sample cut by the end of the input) are
// silence: at the end of a forward run, at the start of a backward one.
void write_run(PointWriter& writer, const ChannelValues& values, Run run)
{
    const std::int64_t last_past = run.backward ? run.first : run.first + run.count - 1;
    const std::int64_t outside = std::clamp<std::int64_t>(last_past + 1 - values.frames, 0, run.count);
    if (run.backward) {
        put_zeros(writer, outside);
        put_values(writer, values, run.first - outside, run.count - outside, true);
    } else {
        put_values(writer, values, run.first, run.count - outside, false);
        put_zeros(writer, outside);
    }
}

void write_points(RunState& state, const Bank& bank, std::FILE* out)
{
    auto writer = std::make_unique<PointWriter>();
    writer->out = out;
    Bytes scratch;
    for (const BankSample& sample : bank.samples) {
        const SourceData data = source_data(state, sample.index, scratch);
        for (int channel = 0; channel < sample.shape.channels; ++channel) {
            const ChannelValues values = channel_values(data, sample.shape, channel);
            for (const Run& run : sample.layout.runs)
                write_run(*writer, values, run);
            put_zeros(*writer, channel_span(sample) - sample.layout.written);
        }
    }
    std::fwrite(writer->block.data(), 1, writer->used, out);
}

void write_bank(RunState& state, const Bank& bank, std::FILE* out)
{
    Bytes head;
    put_tag(head, "RIFF");
    put_u32(head, riff_size(bank));
    put_tag(head, "sfbk");
    put_chunk(head, "LIST", bank.info);
    put_tag(head, "LIST");
    put_u32(head, 4 + 8 + smpl_size(bank));
    put_tag(head, "sdta");
    put_tag(head, "smpl");
    put_u32(head, smpl_size(bank));
    std::fwrite(head.data(), 1, head.size(), out);
    write_points(state, bank, out);
    Bytes tail;
    put_chunk(tail, "LIST", bank.pdta);
    std::fwrite(tail.data(), 1, tail.size(), out);
}

}  // namespace

void write_soundfont(RunState& state, const char* file)
{
    if (file[0] == '\0')
        fail("Missing file name after \"f\".\n");
    const Bank bank = plan_bank(state);
    const bool fits = riff_size(bank) <= 0xFFFFFFFFu;
    if (std::strcmp(file, "-") == 0) {
        if (!fits)
            fail("Error writing output: %s\n", std::strerror(EFBIG));
        write_bank(state, bank, state.out);
        return;
    }
    write_whole_file(file, [&state, &bank, fits](std::FILE* out) {
        if (!fits) {
            errno = EFBIG;
            return false;
        }
        write_bank(state, bank, out);
        return true;
    });
}

}  // namespace trk2inst
