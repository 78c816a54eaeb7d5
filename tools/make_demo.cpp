// Writes examples/demo.mod: a small four-channel ProTracker module with a looped
// sine lead, a looped square bass, a one-shot noise hit and a finetuned saw pad,
// and one pattern that plays them.
//
//   make_demo examples/demo.mod
#include <cmath>
#include <cstdio>
#include <numbers>

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT.mod\n");
        return 2;
    }
    trk2inst::build::ModSpec layout;
    layout.title = "trk2inst demo";
    layout.samples.push_back(looped("sine lead", sine_cycle(64), 48));
    layout.samples.push_back(looped("square bass", square_cycle(32), 64));
    layout.samples.push_back({"noise hit", 2000, 0, 40, 0, 1, noise_hit(4000)});
    auto saw_pad = looped("saw pad, finetune -1", saw_cycle(128), 32);
    saw_pad.finetune = 0x0F;
    layout.samples.push_back(saw_pad);
    layout.pattern_data = demo_pattern();

    return trk2inst::build::write_file(argv[1], trk2inst::build::build_mod(layout)) ? 0 : 1;
}
