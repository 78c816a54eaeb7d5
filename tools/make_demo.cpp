// Writes the example modules, the kind of module that the file name's ending
// names:
//   examples/demo.mod: a small four-channel ProTracker module with a looped
//     sine lead, a looped square bass, a one-shot noise hit and a finetuned saw
//     pad, and one pattern that plays them;
//   examples/demo.it: an Impulse Tracker module with a 16-bit compressed looped
//     sine, an 8-bit stereo pad with an odd loop and a compressed (IT 2.15)
//     noise hit, and one pattern that plays them.
//
//   make_demo examples/demo.mod
//   make_demo examples/demo.it
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

trk2inst::build::ModSample looped(std::string name, Bytes data, std::uint8_t volume)
{
    const auto words = static_cast<std::uint16_t>(data.size() / 2);
    return {std::move(name), words, 0, volume, 0, words, std::move(data)};
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
    layout.samples.push_back(looped("sine lead", sine_cycle(64), 48));
    layout.samples.push_back(looped("square bass", square_cycle(32), 64));
    layout.samples.push_back({"noise hit", 2000, 0, 40, 0, 1, noise_hit(4000)});
    auto saw_pad = looped("saw pad, finetune -1", saw_cycle(128), 32);
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

// A plucked sine: two cycles of attack, then a steady cycle that loops.
Values sine_pluck_16_bit(std::size_t cycle)
{
    Values out;
    for (std::size_t i = 0; i < 3 * cycle; ++i) {
        const double envelope = i < 2 * cycle ? 1.0 - 0.3 * double(i) / double(2 * cycle) : 0.7;
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

Bytes demo_it()
{
    using namespace trk2inst::build;
    ItSpec layout;
    layout.song_name = "trk2inst demo";
    layout.created_with = 0x0214;
    layout.compatible_with = 0x0214;
    layout.patterns = {demo_it_pattern()};

    const Values sine = sine_pluck_16_bit(128);
    ItSample lead = it_sample("SINE.WAV", "16-bit sine compressed", 0x1B, 0x01, sine.size(),
                              it_compress(sine, true, false));
    lead.loop_begin = 256;
    lead.loop_end = 384;
    lead.volume = 48;

    const Values left = pad_channel(509, true);
    const Values right = pad_channel(509, false);
    Bytes pad_data = it_pcm(left, 8);
    append(pad_data, it_pcm(right, 8));
    ItSample pad = it_sample("PAD.WAV", "stereo pad, odd loop", 0x15, 0x01, left.size(), pad_data);
    pad.loop_begin = 64;
    pad.loop_end = 509;  // 445 values: written twice over in a record
    pad.c5speed = 16726;
    pad.volume = 40;

    const Values noise = noise_hit_8_bit(3000);
    ItSample hit = it_sample("HIT.WAV", "noise hit, IT 2.15", 0x09, 0x05, noise.size(),
                             it_compress(noise, false, true));
    hit.c5speed = 22050;

    layout.samples = {lead, pad, hit};
    return build_it(layout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT.mod | OUTPUT.it\n");
        return 2;
    }
    const std::string_view path(argv[1]);
    const Bytes module = path.ends_with(".it") ? demo_it() : demo_mod();
    return trk2inst::build::write_file(argv[1], module) ? 0 : 1;
}
