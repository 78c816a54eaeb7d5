// SFZ files: ASCII text that samplers load, one instrument each, naming the
// WAV files that "x" writes beside it.
#include <string>

#include "output/output.h"
#include "output/sampler_instrument.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

void add_opcode(std::string& line, const char* opcode, const std::string& value)
{
    line += ' ';
    line += opcode;
    line += '=';
    line += value;
}

// The flex envelope multiplies the amplitude, so the fade of ampeg_release
// still applies after release, as the tracker applies both.
std::string group_line(const SamplerInstrument& instrument)
{
    std::string line = "<group>";
    add_opcode(line, "ampeg_release", decimal(instrument.release_seconds));
    const VolumeEnvelope* envelope = instrument.volume_envelope;
    if (envelope == nullptr)
        return line + "\n";
    add_opcode(line, "eg1_amplitude", "100");
    for (int k = 0; k < envelope->point_count; ++k) {
        const auto& points = envelope->points;
        const auto at = static_cast<std::size_t>(k);
        const unsigned ticks = k == 0 ? 0u : unsigned{points[at].tick} - points[at - 1].tick;
        const std::string index = std::to_string(k);
        add_opcode(line, ("eg1_time" + index).c_str(), decimal(ticks * instrument.tick_seconds));
        add_opcode(line, ("eg1_level" + index).c_str(), decimal(points[at].value / 64.0));
    }
    if (envelope->sustain.first >= 0)
        add_opcode(line, "eg1_sustain", std::to_string(envelope->sustain.first));
    return line + "\n";
}

// The loop the region plays, as the WAV's smpl chunk has it.
void add_loop(std::string& line, const SourceShape& shape)
{
    const SourceLoop* chosen = played_loop(shape);
    if (chosen == nullptr) {
        add_opcode(line, "loop_mode", "no_loop");
        return;
    }
    add_opcode(line, "loop_mode", chosen->sustain ? "loop_sustain" : "loop_continuous");
    add_opcode(line, "loop_start", std::to_string(chosen->start));
    add_opcode(line, "loop_end", std::to_string(chosen->end - 1));
    if (chosen->ping_pong)
        add_opcode(line, "loop_type", "alternate");
}

std::string region_line(const RunState& state, const SamplerRegion& region)
{
    const auto index = static_cast<std::size_t>(region.sample - 1);
    std::string line = "<region>";
    add_opcode(line, "sample", sample_file_name(region.sample, state.samples[index].name.data()));
    add_opcode(line, "lokey", std::to_string(region.lokey));
    add_opcode(line, "hikey", std::to_string(region.hikey));
    add_opcode(line, "pitch_keycenter", "60");
    if (region.transpose != 0)
        add_opcode(line, "transpose", std::to_string(region.transpose));
    if (region.tune != 0)
        add_opcode(line, "tune", std::to_string(region.tune));
    if (const std::string volume = decimal(region.volume_db); volume != "0")
        add_opcode(line, "volume", volume);
    if (region.pan)
        if (const std::string pan = decimal(*region.pan); pan != "0")
            add_opcode(line, "pan", pan);
    add_loop(line, source_shape(state, index));
    return line + "\n";
}

}  // namespace

void write_sfz(const RunState& state, const SamplerInstrument& instrument, std::FILE* out)
{
    std::string text = "// " + json_escaped(instrument.name.c_str()) + " (instrument " +
                       std::to_string(instrument.number) + " of " + json_escaped(state.module_name.c_str()) +
                       ")\n";
    text += group_line(instrument);
    for (const SamplerRegion& region : instrument.regions)
        text += region_line(state, region);
    std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace trk2inst
