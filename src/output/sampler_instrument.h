// A module's instruments as a sampler plays them: key ranges of samples, pitch,
// gain and pan of each, the volume envelope and the release. The one place
// that computes them; the SFZ writer ("z") and the JSON listing ("j") print
// from it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver/run_state.h"

namespace trk2inst {

// Keys lokey to hikey play one sample, transposed by the same amount.
struct SamplerRegion {
    int lokey = 0;
    int hikey = 0;
    int sample = 0;     // its number in the module
    int transpose = 0;  // semitones
    int tune = 0;       // cents from the sample's WAV rate to the module's exact rate
    double volume_db = 0;
    std::optional<double> pan;  // -100 left to 100 right
};

struct SamplerInstrument {
    int number = 0;
    std::string name;
    std::vector<int> samples;  // the numbers of its samples that hold data, ascending
    double tick_seconds = 0;
    std::vector<SamplerRegion> regions;
    const VolumeEnvelope* volume_envelope = nullptr;  // none, or switched off
    std::optional<unsigned> fadeout;                  // as stored
    double release_seconds = 0;
};

// The instrument table of "=A", or one instrument per sample that holds data.
std::vector<SamplerInstrument> sampler_instruments(const RunState& state);

// The loop a region plays: the sample's sustain loop, else its normal loop;
// none, nullptr.
const SourceLoop* played_loop(const SourceShape& shape);

// A number as "z" and "j" write it: the shortest decimal form that reads back
// within 0.0005, at most three digits after the point, no "-0".
std::string decimal(double value);

}  // namespace trk2inst
