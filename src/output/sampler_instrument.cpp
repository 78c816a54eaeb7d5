// Instruments as a sampler plays them. Keys are MIDI notes; key 60 plays a
// sample's WAV file at its own rate, and "tune" moves that to the rate at which
// the module plays the sample there.
#include "output/sampler_instrument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "readers/readers.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

constexpr unsigned default_tempo = 125;      // where a module stores none
constexpr double longest_release = 100.0;    // seconds: SFZ's limit, and "never fades"
constexpr double reference_rate = 8363.0;    // Hz at the reference note
constexpr double silence_db = -144.0;

bool plays(const RunState& state, int sample)
{
    return sample >= 1 && static_cast<std::size_t>(sample) <= state.samples.size() &&
           state.samples[static_cast<std::size_t>(sample - 1)].length != 0;
}

bool is_impulse_tracker(const ModuleInstrument* instrument)
{
    return instrument != nullptr && instrument->kind != InstrumentKind::extended_module;
}

// The rate at which the module plays the slot's sample at key 60.
double exact_rate(const SampleSlot& slot, double wav_rate)
{
    switch (slot.voice.family) {
    case VoiceFamily::protracker: {
        // The note (0 but in OctaMED modules) and eighths of a semitone, -8..7.
        const int nibble = slot.finetune & 0x0F;
        return reference_rate * std::exp2((slot.note + (nibble >= 8 ? nibble - 16 : nibble) / 8.0) / 12.0);
    }
    case VoiceFamily::his_masters_noisetracker: {
        // A signed finetune byte f, worth -f/16 semitone.
        const auto fine = static_cast<std::int8_t>(slot.finetune);
        return reference_rate * std::exp2(-fine / 192.0);
    }
    case VoiceFamily::extended_module: {
        const auto fine = static_cast<std::int8_t>(ft_nibbles(slot.finetune));  // 1/128 semitone
        return reference_rate * std::exp2((slot.note + fine / 128.0) / 12.0);
    }
    case VoiceFamily::scream_tracker:
    case VoiceFamily::impulse_tracker:
        break;
    }
    // A stored rate of 0 gives no pitch of its own: the WAV's.
    return slot.voice.stored_rate != 0 ? static_cast<double>(slot.voice.stored_rate) : wav_rate;
}

int tune_cents(const RunState& state, int sample)
{
    const auto index = static_cast<std::size_t>(sample - 1);
    const double wav_rate = source_shape(state, index).rate;
    return static_cast<int>(std::lround(1200.0 * std::log2(exact_rate(state.samples[index], wav_rate) / wav_rate)));
}

// Volumes above their maximum read as the maximum.
double gain(const SampleSlot& slot, const ModuleInstrument* instrument)
{
    double g = std::min<unsigned>(slot.volume, 64) / 64.0;
    if (slot.voice.family == VoiceFamily::impulse_tracker) {
        g *= std::min<unsigned>(slot.voice.global_volume, 64) / 64.0;
        if (is_impulse_tracker(instrument))
            g *= std::min<unsigned>(instrument->global_volume, 128) / 128.0;
    }
    return g;
}

double decibels(double g)
{
    return g > 0 ? 20.0 * std::log10(g) : silence_db;
}

double impulse_tracker_pan(unsigned dfp)
{
    return (std::min(dfp & 0x7Fu, 64u) - 32.0) * 100.0 / 32.0;
}

// The sample's pan, else an Impulse Tracker instrument's: the bit 7 of the
// two mean opposite things.
std::optional<double> pan(const SampleSlot& slot, const ModuleInstrument* instrument)
{
    const SampleVoice& voice = slot.voice;
    if (voice.family == VoiceFamily::extended_module)
        return (voice.panning - 128.0) * 100.0 / 128.0;
    if (voice.family != VoiceFamily::impulse_tracker)
        return std::nullopt;
    if ((voice.panning & 0x80) != 0)
        return impulse_tracker_pan(voice.panning);
    if (is_impulse_tracker(instrument) && (instrument->default_pan & 0x80) == 0)
        return impulse_tracker_pan(instrument->default_pan);
    return std::nullopt;
}

// How long the tracker's fade from full volume lasts after key release.
double release_seconds(const ModuleInstrument* instrument, double tick)
{
    if (instrument == nullptr || !instrument->has_header)
        return 0;
    unsigned full = 0;  // the fade volume that fadeout takes from each tick
    switch (instrument->kind) {
    case InstrumentKind::extended_module:
        if (instrument->volume.point_count == 0)
            return 0;  // the note is cut at key release
        full = 32768;
        break;
    case InstrumentKind::impulse_tracker:
        full = 1024;
        break;
    case InstrumentKind::impulse_tracker_old:
        full = 512;
        break;
    }
    const unsigned fadeout = instrument->fadeout;
    if (fadeout == 0)
        return longest_release;
    const unsigned ticks = (full + fadeout - 1) / fadeout;
    return std::min(longest_release, ticks * tick);
}

SamplerRegion region_for(const RunState& state, int key, KeyTarget target, const ModuleInstrument* instrument)
{
    const SampleSlot& slot = state.samples[static_cast<std::size_t>(target.sample - 1)];
    return {key, key, target.sample, target.transpose, tune_cents(state, target.sample),
            decibels(gain(slot, instrument)), pan(slot, instrument)};
}

// One region for each run of keys that play the same sample the same way.
std::vector<SamplerRegion> regions_of(const RunState& state, const std::array<KeyTarget, key_count>& keys,
                                      const ModuleInstrument* instrument)
{
    std::vector<SamplerRegion> regions;
    for (int key = 0; key < key_count; ++key) {
        const KeyTarget target = keys[static_cast<std::size_t>(key)];
        if (!plays(state, target.sample))
            continue;
        if (!regions.empty()) {
            SamplerRegion& last = regions.back();
            if (last.hikey == key - 1 && last.sample == target.sample && last.transpose == target.transpose) {
                last.hikey = key;
                continue;
            }
        }
        regions.push_back(region_for(state, key, target, instrument));
    }
    return regions;
}

SamplerInstrument from_module(const RunState& state, const ModuleInstrument& instrument, int number, double tick)
{
    SamplerInstrument out;
    out.number = number;
    out.name = instrument.name.data();
    for (const int sample : instrument.samples)
        if (plays(state, sample))
            out.samples.push_back(sample);
    out.tick_seconds = tick;
    out.regions = regions_of(state, instrument.keys, &instrument);
    if (instrument.volume.point_count > 0)
        out.volume_envelope = &instrument.volume;
    if (instrument.has_header)
        out.fadeout = instrument.fadeout;
    out.release_seconds = release_seconds(&instrument, tick);
    return out;
}

// Every key plays the sample untransposed; no envelope, no fade.
SamplerInstrument from_sample(const RunState& state, int sample, double tick)
{
    std::array<KeyTarget, key_count> keys{};
    keys.fill({static_cast<std::uint16_t>(sample), 0});
    SamplerInstrument out;
    out.number = sample;
    out.name = state.samples[static_cast<std::size_t>(sample - 1)].name.data();
    out.samples = {sample};
    out.tick_seconds = tick;
    out.regions = regions_of(state, keys, nullptr);
    return out;
}

}  // namespace

std::vector<SamplerInstrument> sampler_instruments(const RunState& state)
{
    const unsigned tempo = state.summary.tempo != 0 ? state.summary.tempo : default_tempo;
    const double tick = 2.5 / tempo;
    std::vector<SamplerInstrument> instruments;
    if (state.instruments.from_module) {
        int number = 0;
        for (const ModuleInstrument& instrument : state.instruments.list)
            instruments.push_back(from_module(state, instrument, ++number, tick));
        return instruments;
    }
    const auto count = static_cast<int>(state.samples.size());
    for (int sample = 1; sample <= count; ++sample)
        if (plays(state, sample))
            instruments.push_back(from_sample(state, sample, tick));
    return instruments;
}

const SourceLoop* played_loop(const SourceShape& shape)
{
    const SourceLoop* chosen = nullptr;
    for (int i = 0; i < shape.loop_count; ++i) {
        const SourceLoop& loop = shape.loops[static_cast<std::size_t>(i)];
        if (chosen == nullptr || (loop.sustain && !chosen->sustain))
            chosen = &loop;
    }
    return chosen;
}

std::string decimal(double value)
{
    char text[64];
    for (int digits = 0; digits <= 3; ++digits) {
        std::snprintf(text, sizeof text, "%.*f", digits, value);
        if (std::fabs(std::strtod(text, nullptr) - value) <= 0.0005)
            break;
    }
    std::string out = text;
    if (out.find('.') != std::string::npos) {
        out.erase(out.find_last_not_of('0') + 1);
        if (out.back() == '.')
            out.pop_back();
    }
    return out == "-0" ? "0" : out;
}

}  // namespace trk2inst
