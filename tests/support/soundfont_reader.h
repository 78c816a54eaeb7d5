// A SoundFont 2 bank read back by the tests' own reader, which notes every
// rule of the format that the bank breaks.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace trk2inst::test {

struct SfSample {
    std::string name;
    std::uint32_t start, end, loop_start, loop_end, rate;
    int key, correction, link, type;
};

struct SoundFont {
    std::map<std::string, std::string> info;  // the INFO strings; ifil as "2.01"
    std::vector<std::int16_t> points;
    std::vector<SfSample> samples;
    // A line for each preset ("NAME BANK:PROGRAM"), each instrument ("NAME:"
    // and "{ GENERATOR=AMOUNT ... }" for each zone; a key range as LOW-HIGH)
    // and each sample ("NAME: START END LOOP-START LOOP-END RATE LINK TYPE").
    std::string listing;
    std::vector<std::string> faults;  // the rules that the bank breaks
};

SoundFont read_soundfont(const std::vector<std::uint8_t>& file);

}  // namespace trk2inst::test
