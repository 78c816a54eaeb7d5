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
    int link, type;
};

struct SoundFont {
    std::map<std::string, std::string> info;  // the INFO strings; ifil as "2.01"
    std::vector<std::int16_t> points;
    std::vector<SfSample> samples;
    // Lines "NAME BANK:PROGRAM" for presets, "NAME: { GENERATOR=AMOUNT... }..."
    // for instruments (a key range as LOW-HIGH), "NAME: START END LOOP-START
    // LOOP-END RATE LINK TYPE" for samples.
    std::string listing;
    std::vector<std::string> faults;  // the rules that the bank breaks
};

SoundFont read_soundfont(const std::vector<std::uint8_t>& file);

}  // namespace trk2inst::test
