// Writes the example modules, the kind of module that the file name's ending
// names. Every sample lasts at least half a second at its rate, and one
// pattern plays them:
//   examples/demo.mod: a four-channel ProTracker module with a looped sine
//     lead, a looped square bass, a one-shot noise hit and a finetuned saw pad;
//   examples/demo.it: an Impulse Tracker module with a 16-bit compressed looped
//     sine, an 8-bit stereo pad with an odd loop and a compressed (IT 2.15)
//     noise hit, an instrument for each, and a kit of all three whose keys
//     play other notes, with a volume envelope;
//   examples/demo.s3m: a Scream Tracker 3 module with an unsigned 8-bit
//     looped lead and a 16-bit looped bass;
//   examples/demo.xm: an Extended Module with an 8-bit looped lead, a 16-bit
//     looped bass, a saw pad with a ping-pong loop, and an instrument of two
//     samples across the keyboard with a volume envelope;
//
//   examples/demo.med: an OctaMED (MMD1) module with an 8-bit sample with a
//     ping-pong loop, a 16-bit stereo sample, the longest part of a
//     three-octave instrument, a hybrid's sample and a synth, which gives none.
//
//   examples/demo.mtm: a MultiTracker module with an unsigned 8-bit looped
//     sine lead, an unsigned 16-bit looped bass and a finetuned noise hit;
//     its one pattern plays the empty track.
//
//   make_demo examples/demo.mod   (or .it, .s3m, .xm, .med, .mtm)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string_view>

#include "module_builders.h"

namespace {

using trk2inst::build::Bytes;

std::uint8_t signed_byte(double value)
{
    const long rounded = std::lround(value * 127.0);
    return static_cast<std::uint8_t>(static_cast<unsigned long>(rounded) & 0xFF);
}

Bytes sine_cycle(std::size_t size)
{
    Bytes out;
    for (std::size_t i = 0; i < size; ++i)
        out.push_back(signed_byte(std::sin(2.0 * std::numbers::pi * double(i) / double(size))));
    return out;
}

Bytes square_cycle(std::size_t size)
{
    Bytes out;
    for (std::size_t i = 0; i < size; ++i)
        out.push_back(signed_byte(i < size / 2 ? 0.8 : -0.8));
    return out;
}

Bytes saw_cycle(std::size_t size)
{
    Bytes out;
    for (std::size_t i = 0; i < size; ++i)
        out.push_back(signed_byte(0.7 * (2.0 * double(i) / double(size) - 1.0)));
    return out;
}

// White noise from a fixed linear congruential generator, fading out.
Bytes noise_hit(std::size_t size)
{
    Bytes out;
    std::uint32_t state = 0x2545F491;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = double(state >> 16) / 32768.0 - 1.0;
        out.push_back(signed_byte(noise * std::exp(-6.0 * double(i) / double(size))));
    }
    return out;
}

// Cycles of a waveform, fading from full to 60 %, enough to last `size` bytes.
Bytes fading(Bytes (*cycle)(std::size_t), std::size_t period, std::size_t size)
{
    const Bytes one = cycle(period);
    Bytes out;
    for (std::size_t i = 0; i < size; ++i) {
        const double envelope = 1.0 - 0.4 * std::min(1.0, double(i) / double(size - period));
        out.push_back(signed_byte(envelope * double(static_cast<std::int8_t>(one[i % period])) / 127.0));
    }
    return out;
}

constexpr std::size_t half_second = 4224;  // bytes: 0.505 s at 8363 Hz, whole cycles of 64 and 128

// The sample's last cycle loops.
trk2inst::build::ModSample looped(std::string name, Bytes data, std::size_t period, std::uint8_t volume)
{
    const auto words = static_cast<std::uint16_t>(data.size() / 2);
    const auto loop = static_cast<std::uint16_t>(period / 2);
    return {std::move(name), words, 0, volume, static_cast<std::uint16_t>(words - loop), loop, std::move(data)};
}

// One pattern cell: sample number, Amiga period, effect and its parameter.
void put_cell(Bytes& pattern, int row, int channel, unsigned sample, unsigned period,
              unsigned effect = 0, unsigned parameter = 0)
{
    const auto at = static_cast<std::size_t>((row * 4 + channel) * 4);
    pattern[at] = static_cast<std::uint8_t>((sample & 0xF0) | (period >> 8));
    pattern[at + 1] = static_cast<std::uint8_t>(period & 0xFF);
    pattern[at + 2] = static_cast<std::uint8_t>((sample & 0x0F) << 4 | effect);
    pattern[at + 3] = static_cast<std::uint8_t>(parameter);
}

Bytes demo_pattern()
{
    enum : unsigned { lead = 1, bass = 2, hit = 3, pad = 4 };
    constexpr unsigned c2 = 428, e2 = 339, g2 = 285, a2 = 254, c3 = 214, d3 = 190, e3 = 170,
                       g3 = 143, a1 = 508, f1 = 640, g1 = 570, c1 = 856;
    Bytes pattern(64 * 4 * 4, 0);
    const unsigned bass_line[4] = {c1, a1, f1, g1};
    const unsigned melody[16] = {c3, e3, g3, e3, d3, g2, c3, e3, a2, c3, e3, c3, g2, d3, g3, d3};
    for (int row = 0; row < 64; ++row) {
        if (row % 4 == 0)
            put_cell(pattern, row, 0, bass, bass_line[row / 16]);
        if (row % 4 == 2)
            put_cell(pattern, row, 1, lead, melody[(row / 4) % 16]);
        if (row % 8 == 4)
            put_cell(pattern, row, 2, hit, c2, 0xC, 0x30);  // set volume 48
        if (row % 16 == 0)
            put_cell(pattern, row, 3, pad, row % 32 == 0 ? c2 : e2);
    }
    return pattern;
}

Bytes demo_mod()
{
    trk2inst::build::ModSpec layout;
    layout.title = "trk2inst demo";
    layout.samples.push_back(looped("sine lead", fading(sine_cycle, 64, half_second), 64, 48));
    layout.samples.push_back(looped("square bass", fading(square_cycle, 32, half_second), 32, 64));
    layout.samples.push_back({"noise hit", 2200, 0, 40, 0, 1, noise_hit(4400)});
    auto saw_pad = looped("saw pad, finetune -1", fading(saw_cycle, 128, half_second), 128, 32);
    saw_pad.finetune = 0x0F;
    layout.samples.push_back(saw_pad);
    layout.pattern_data = demo_pattern();
    return trk2inst::build::build_mod(layout);
}

// Impulse Tracker ---------------------------------------------------------------

using Values = std::vector<std::int16_t>;

std::int16_t scaled(double value, double full_scale)
{
    return static_cast<std::int16_t>(std::lround(value * full_scale));
}

// A plucked sine: cycles that fade, then a steady cycle that loops.
Values sine_pluck_16_bit(std::size_t cycle, std::size_t cycles)
{
    Values out;
    const std::size_t fade = (cycles - 1) * cycle;
    for (std::size_t i = 0; i < cycles * cycle; ++i) {
        const double envelope = i < fade ? 1.0 - 0.3 * double(i) / double(fade) : 0.7;
        out.push_back(scaled(envelope * std::sin(2.0 * std::numbers::pi * double(i) / double(cycle)), 32767.0));
    }
    return out;
}

// One channel of the stereo pad: a saw on the left, a softer square on the right.
Values pad_channel(std::size_t size, bool left)
{
    Values out;
    for (std::size_t i = 0; i < size; ++i) {
        const double phase = double(i % 64) / 64.0;
        out.push_back(scaled(left ? 0.6 * (2.0 * phase - 1.0) : (phase < 0.5 ? 0.4 : -0.4), 127.0));
    }
    return out;
}

Values noise_hit_8_bit(std::size_t size)
{
    Values out;
    for (std::uint8_t byte : noise_hit(size))
        out.push_back(static_cast<std::int8_t>(byte));
    return out;
}

// Packed pattern rows: channel byte with a mask, then the note (60 = C-5) and
// the sample; a zero ends each row.
Bytes demo_it_pattern()
{
    Bytes rows;
    for (unsigned row = 0; row < 64; ++row) {
        const auto play = [&](unsigned channel, unsigned note, unsigned sample) {
            rows.insert(rows.end(), {static_cast<std::uint8_t>((channel + 1) | 0x80), 0x03,
                                     static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(sample)});
        };
        if (row % 4 == 0)
            play(0, row % 16 == 8 ? 67 : 60, 1);
        if (row % 32 == 0)
            play(1, row == 0 ? 48 : 53, 2);
        if (row % 8 == 4)
            play(2, 60, 3);
        if (row % 16 == 14)
            play(3, row == 14 ? 40 : 64, 4);  // the kit: the hit, then the sine
        rows.push_back(0);
    }
    return rows;
}

trk2inst::build::ItSample it_sample(const char* file_name, const char* name, std::uint8_t flags,
                                    std::uint8_t convert, std::size_t length, Bytes data)
{
    trk2inst::build::ItSample sample;
    sample.file_name = file_name;
    sample.name = name;
    sample.flags = flags;
    sample.convert = convert;
    sample.length = static_cast<std::uint32_t>(length);
    sample.data = std::move(data);
    return sample;
}

// Every key plays the one sample.
trk2inst::build::ItInstrument it_instrument(const char* name, std::uint8_t sample)
{
    trk2inst::build::ItInstrument instrument;
    instrument.name = name;
    instrument.samples.fill(sample);
    instrument.fadeout = 256;
    return instrument;
}

// A kit: C-3 to B-3 play the hit at C-5, C-4 to B-5 the sine, C-6 to B-6 the
// pad an octave lower; a volume envelope whose sustain loop holds at its second
// point, and a default pan to the left.
trk2inst::build::ItInstrument it_kit()
{
    trk2inst::build::ItInstrument kit;
    kit.name = "kit: hit, sine, pad";
    std::array<std::uint8_t, 120> notes{};
    for (std::size_t key = 0; key < notes.size(); ++key) {
        notes[key] = static_cast<std::uint8_t>(key);
        if (key >= 36 && key < 48) {
            notes[key] = 60;
            kit.samples[key] = 3;
        } else if (key >= 48 && key < 72) {
            kit.samples[key] = 1;
        } else if (key >= 72 && key < 84) {
            notes[key] = static_cast<std::uint8_t>(key - 12);
            kit.samples[key] = 2;
        }
    }
    kit.notes = notes;
    kit.envelope_flags = 0x05;  // on, with a sustain loop
    kit.nodes = {{0, 64}, {6, 48}, {30, 24}, {90, 0}};
    kit.sustain_begin = kit.sustain_end = 1;
    kit.fadeout = 128;
    kit.global_volume = 96;
    kit.default_pan = 16;
    return kit;
}

Bytes demo_it()
{
    using namespace trk2inst::build;
    ItSpec layout;
    layout.song_name = "trk2inst demo";
    layout.created_with = 0x0214;
    layout.compatible_with = 0x0214;
    layout.patterns = {demo_it_pattern()};

    const Values sine = sine_pluck_16_bit(128, 33);
    ItSample lead = it_sample("SINE.WAV", "16-bit sine compressed", 0x1B, 0x01, sine.size(),
                              it_compress(sine, true, false));
    lead.loop_begin = static_cast<std::uint32_t>(sine.size() - 128);
    lead.loop_end = static_cast<std::uint32_t>(sine.size());
    lead.volume = 48;

    const Values left = pad_channel(8509, true);
    const Values right = pad_channel(8509, false);
    Bytes pad_data = it_pcm(left, 8);
    append(pad_data, it_pcm(right, 8));
    ItSample pad = it_sample("PAD.WAV", "stereo pad, odd loop", 0x15, 0x01, left.size(), pad_data);
    pad.loop_begin = 64;
    pad.loop_end = 8509;  // 8445 values: written twice over in a record
    pad.c5speed = 16726;
    pad.volume = 40;

    const Values noise = noise_hit_8_bit(11100);
    ItSample hit = it_sample("HIT.WAV", "noise hit, IT 2.15", 0x09, 0x05, noise.size(),
                             it_compress(noise, false, true));
    hit.c5speed = 22050;

    layout.samples = {lead, pad, hit};
    layout.instruments = {it_instrument("sine lead", 1), it_instrument("stereo pad", 2),
                          it_instrument("noise hit", 3), it_kit()};
    return build_it(layout);
}

// Scream Tracker 3 -----------------------------------------------------------

// Packed rows: for each note the channel with 0x20 (note and instrument
// follow), the note (octave in the high nibble) and the instrument; a zero
// ends each row.
Bytes demo_s3m_pattern()
{
    Bytes rows;
    for (unsigned row = 0; row < 64; ++row) {
        const auto play = [&](unsigned channel, unsigned note, unsigned instrument) {
            rows.insert(rows.end(), {static_cast<std::uint8_t>(channel | 0x20), static_cast<std::uint8_t>(note),
                                     static_cast<std::uint8_t>(instrument)});
        };
        if (row % 4 == 0)
            play(0, row % 16 == 8 ? 0x47 : 0x40, 1);  // G-4, C-4
        if (row % 16 == 0)
            play(1, row % 32 == 0 ? 0x30 : 0x35, 2);  // C-3, F-3
        rows.push_back(0);
    }
    return rows;
}

// Unsigned 8-bit bytes of the signed values.
Bytes unsigned_bytes(const Bytes& signed_values)
{
    Bytes out;
    for (std::uint8_t value : signed_values)
        out.push_back(static_cast<std::uint8_t>(value ^ 0x80));
    return out;
}

Bytes unsigned_16_bit(const Values& values)
{
    Bytes out;
    for (std::int16_t value : values)
        trk2inst::build::put_u16le(out, static_cast<std::uint16_t>(value) ^ 0x8000u);
    return out;
}

Bytes demo_s3m()
{
    using namespace trk2inst::build;
    S3mSpec layout;
    layout.title = "trk2inst demo";
    layout.format_information = 2;  // unsigned data
    layout.patterns = {demo_s3m_pattern()};

    S3mInstrument lead;
    lead.file_name = "LEAD.SMP";
    lead.title = "sine lead";
    const Bytes sine = fading(sine_cycle, 64, half_second);
    lead.length = static_cast<std::uint32_t>(sine.size());
    lead.loop_begin = lead.length - 64;
    lead.loop_end = lead.length;
    lead.flags = 0x01;  // looped
    lead.volume = 48;
    lead.data = unsigned_bytes(sine);

    S3mInstrument bass;
    bass.file_name = "BASS16.SMP";
    bass.title = "16-bit bass";
    const Values wave = sine_pluck_16_bit(256, 33);
    bass.length = static_cast<std::uint32_t>(wave.size());  // values: 0.5 s at 16726 Hz
    bass.loop_begin = bass.length - 256;
    bass.loop_end = bass.length;
    bass.flags = 0x05;  // looped, 16-bit
    bass.c2spd = 16726;
    bass.data = unsigned_16_bit(wave);

    layout.instruments = {lead, bass};
    return build_s3m(layout);
}

// Extended Module ---------------------------------------------------------------

// Packed cells: 0x83 and a note (49 = C-4) and an instrument, or 0x80 for an
// empty cell.
Bytes demo_xm_pattern(unsigned channels)
{
    Bytes cells;
    for (unsigned row = 0; row < 64; ++row) {
        for (unsigned channel = 0; channel < channels; ++channel) {
            unsigned note = 0;
            if (channel == 0 && row % 4 == 0)
                note = row % 16 == 8 ? 56 : 49;
            else if (channel == 1 && row % 16 == 0)
                note = row % 32 == 0 ? 37 : 42;
            else if (channel == 2 && row % 32 == 0)
                note = 49;
            else if (channel == 3 && row % 16 == 12)
                note = row % 32 == 12 ? 37 : 61;  // the low and the high sample of instrument 4
            if (note == 0)
                cells.push_back(0x80);
            else
                cells.insert(cells.end(),
                             {0x83, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(channel + 1)});
        }
    }
    return cells;
}

// Each byte (or 16-bit word) the difference from the one before.
Bytes xm_deltas_8(const Bytes& values)
{
    Bytes out;
    std::uint8_t previous = 0;
    for (std::uint8_t value : values) {
        out.push_back(static_cast<std::uint8_t>(value - previous));
        previous = value;
    }
    return out;
}

Bytes xm_deltas_16(const Values& values)
{
    Bytes out;
    std::uint16_t previous = 0;
    for (std::int16_t value : values) {
        trk2inst::build::put_u16le(out, static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) - previous));
        previous = static_cast<std::uint16_t>(value);
    }
    return out;
}

trk2inst::build::XmInstrument xm_instrument(std::string name, trk2inst::build::XmSample sample)
{
    return {std::move(name), std::nullopt, std::nullopt, 40, {std::move(sample)}};
}

Bytes demo_xm()
{
    using namespace trk2inst::build;
    XmSpec layout;
    layout.name = "trk2inst demo";
    layout.channels = 4;
    layout.patterns = {{9, 64, demo_xm_pattern(layout.channels)}};

    XmSample lead;
    lead.name = "sine lead";
    const Bytes sine = fading(sine_cycle, 64, half_second);
    lead.length = static_cast<std::uint32_t>(sine.size());
    lead.loop_start = lead.length - 64;
    lead.loop_length = 64;
    lead.type = 0x01;  // forward loop
    lead.volume = 48;
    lead.data = xm_deltas_8(sine);

    XmSample bass;
    bass.name = "16-bit bass";
    const Values wave = sine_pluck_16_bit(128, 33);
    bass.length = static_cast<std::uint32_t>(2 * wave.size());  // bytes
    bass.loop_start = bass.length - 256;
    bass.loop_length = 256;
    bass.type = 0x11;  // 16-bit, forward loop
    bass.relative_note = -12;
    bass.data = xm_deltas_16(wave);

    XmSample pad;
    pad.name = "saw pad, ping-pong";
    const Bytes saw = fading(saw_cycle, 128, half_second);
    pad.length = static_cast<std::uint32_t>(saw.size());
    pad.loop_start = 2048;
    pad.loop_length = pad.length - 2048;
    pad.type = 0x02;  // ping-pong loop
    pad.volume = 32;
    pad.data = xm_deltas_8(saw);

    // Two samples across the keyboard, panned apart, under one envelope that
    // holds at its third point and fades after release.
    XmSample low = lead;
    low.name = "keys low square";
    const Bytes square = fading(square_cycle, 64, half_second);
    low.length = static_cast<std::uint32_t>(square.size());
    low.loop_start = low.length - 64;
    low.volume = 40;
    low.panning = 96;
    low.data = xm_deltas_8(square);
    // An octave up it plays twice as fast: twice the values keep it half a second.
    XmSample high = lead;
    high.name = "keys high sine";
    const Bytes long_sine = fading(sine_cycle, 64, 2 * half_second);
    high.length = static_cast<std::uint32_t>(long_sine.size());
    high.loop_start = high.length - 64;
    high.data = xm_deltas_8(long_sine);
    high.relative_note = 12;
    high.panning = 160;
    XmInstrument keys{"two-sample keys", std::nullopt, std::nullopt, 40, {low, high}};
    std::fill(keys.keys.begin() + 48, keys.keys.end(), std::uint8_t{1});  // C-4 up: the high sample
    keys.volume_points = {{0, 64}, {8, 48}, {32, 32}, {96, 0}};
    keys.volume_type = 0x03;  // on, with a sustain point
    keys.volume_sustain = 2;
    keys.fadeout = 2048;

    layout.instruments = {xm_instrument("lead", lead), xm_instrument("bass", bass), xm_instrument("pad", pad), keys};
    return build_xm(layout);
}

// OctaMED ---------------------------------------------------------------------

// One block of four tracks, 64 lines of 4-byte cells: note, instrument, effect.
Bytes demo_med()
{
    using namespace trk2inst::build;
    MmdSpec layout;
    layout.id = "MMD1";

    const Bytes sine = fading(sine_cycle, 64, half_second);
    MmdInstrument lead;
    lead.body = mmd_sample(static_cast<std::uint32_t>(sine.size()), 0, sine);
    lead.instr_ext = mmd_instr_ext(0, 0x09, static_cast<std::uint32_t>(sine.size() - 64), 64);  // ping-pong
    lead.name = "sine lead, ping-pong";
    lead.volume = 48;

    const Values left = sine_pluck_16_bit(128, 33);
    Values right(left.size());
    std::transform(left.begin(), left.end(), right.begin(), [](std::int16_t v) { return static_cast<std::int16_t>(v / 2); });
    Bytes stereo = mmd_pcm(left, 16);
    append(stereo, mmd_pcm(right, 16));
    MmdInstrument pad;
    pad.body = mmd_sample(static_cast<std::uint32_t>(2 * left.size()), 0x30, stereo);
    pad.instr_ext = mmd_instr_ext(-1, 0x01, static_cast<std::uint32_t>(left.size() - 128), 128);
    pad.name = "16-bit stereo";
    pad.transpose = -12;

    // Three parts, each an octave lower and twice as long: the slot gets the last.
    Bytes parts;
    for (std::size_t part = 0; part < 3; ++part)
        append(parts, fading(square_cycle, std::size_t{16} << part, half_second / 2 << part));
    MmdInstrument octaves;
    octaves.body = mmd_sample(static_cast<std::uint32_t>(parts.size()), 2, parts);
    octaves.name = "three octaves";

    MmdInstrument hybrid;
    const Bytes saw = fading(saw_cycle, 128, half_second);
    hybrid.body = mmd_hybrid(1, mmd_sample(static_cast<std::uint32_t>(saw.size()), 0, saw));
    hybrid.name = "hybrid saw";

    MmdInstrument synth;
    synth.body = mmd_sample(300, -1, Bytes(300, 0));
    synth.name = "synth: no sample";

    layout.instruments = {lead, pad, octaves, hybrid, synth};
    return build_mmd(layout);
}

// MultiTracker ----------------------------------------------------------------

Bytes demo_mtm()
{
    using namespace trk2inst::build;
    MtmSpec layout;
    layout.tracks = 0;
    layout.comment = "Built by make_demo.";

    const Bytes sine = fading(sine_cycle, 64, half_second);
    const auto sine_size = static_cast<std::uint32_t>(sine.size());
    const MtmSample lead{"sine lead", sine_size, sine_size - 64, sine_size, 0, 48, 0, unsigned_bytes(sine)};

    const Bytes wave = unsigned_16_bit(sine_pluck_16_bit(128, 33));
    const auto wave_size = static_cast<std::uint32_t>(wave.size());
    const MtmSample bass{"16-bit bass", wave_size, wave_size - 256, wave_size, 0, 64, 1, wave};

    const Bytes noise = noise_hit(half_second);
    const MtmSample hit{"noise hit, finetune +3", static_cast<std::uint32_t>(noise.size()), 0, 0, 3, 40, 0,
                        unsigned_bytes(noise)};

    layout.samples = {lead, bass, hit};
    return build_mtm(layout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT.mod | OUTPUT.it | OUTPUT.s3m | OUTPUT.xm | OUTPUT.med | OUTPUT.mtm\n");
        return 2;
    }
    const std::string_view path(argv[1]);
    const Bytes module = path.ends_with(".mtm")   ? demo_mtm()
                         : path.ends_with(".med") ? demo_med()
                         : path.ends_with(".it")  ? demo_it()
                         : path.ends_with(".s3m") ? demo_s3m()
                         : path.ends_with(".xm")  ? demo_xm()
                                                  : demo_mod();
    return trk2inst::build::write_file(argv[1], module) ? 0 : 1;
}
