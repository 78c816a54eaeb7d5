// The module's list of samples, and what a run notes about samples that it
// cannot read whole or cannot read at all.
#include <algorithm>
#include <string>

#include "driver/run_state.h"

namespace trk2inst {

SampleSlot& sample_entry(RunState& state, int number)
{
    const auto index = static_cast<std::size_t>(std::clamp(number, 1, sample_limit) - 1);
    if (index >= state.samples.size())
        state.samples.resize(index + 1);
    return state.samples[index];
}

void note_cut_sample(RunState& state, int sample_number)
{
    if (state.first_cut_sample == 0 || sample_number < state.first_cut_sample)
        state.first_cut_sample = sample_number;
}

void note_claimed_samples(RunState& state, std::int64_t claimed)
{
    if (claimed > sample_limit)
        state.left_out.claimed_samples = std::max(state.left_out.claimed_samples, claimed);
}

void note_claimed_instruments(RunState& state, std::int64_t claimed, bool with_their_samples)
{
    if (claimed <= instrument_limit)
        return;
    state.left_out.claimed_instruments = std::max(state.left_out.claimed_instruments, claimed);
    state.left_out.instrument_samples = state.left_out.instrument_samples || with_their_samples;
}

void note_header_past_end(RunState& state, int sample_number)
{
    LeftOut& left_out = state.left_out;
    if (left_out.headers_past_end == 0 || sample_number < left_out.first_past_end)
        left_out.first_past_end = sample_number;
    left_out.last_past_end = std::max(left_out.last_past_end, sample_number);
    ++left_out.headers_past_end;
}

void note_not_decoded(RunState& state, int sample_number)
{
    state.not_decoded.push_back(sample_number);
}

}  // namespace trk2inst

namespace trk2inst {

std::string not_decoded_warning(std::vector<int> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    samples.erase(std::unique(samples.begin(), samples.end()), samples.end());
    std::string numbers;
    for (const int number : samples)
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(number);
    return "Warning: samples " + numbers +
           " are stored in a form that is not decoded (Ogg Vorbis, a file outside the module, FM registers);"
           " they have no data.\n";
}

std::string left_out_warning(const LeftOut& left_out)
{
    std::string parts;
    const auto add = [&parts](const std::string& part) {
        parts += parts.empty() ? "" : "; ";
        parts += part;
    };
    if (left_out.claimed_samples > sample_limit)
        add("samples " + std::to_string(sample_limit + 1) + " to " + std::to_string(left_out.claimed_samples) +
            " (at most " + std::to_string(sample_limit) + " samples are read)");
    if (left_out.claimed_instruments > instrument_limit)
        add("instruments " + std::to_string(instrument_limit + 1) + " to " +
            std::to_string(left_out.claimed_instruments) + (left_out.instrument_samples ? " and their samples" : "") +
            " (at most " + std::to_string(instrument_limit) + " instruments are read)");
    if (left_out.headers_past_end > 0) {
        const int span = left_out.last_past_end - left_out.first_past_end + 1;
        const std::string range = left_out.headers_past_end == 1
                                      ? "sample " + std::to_string(left_out.first_past_end)
                                      : "samples " + std::to_string(left_out.first_past_end) + " to " +
                                            std::to_string(left_out.last_past_end);
        add((left_out.headers_past_end == span || left_out.headers_past_end == 1
                 ? range
                 : std::to_string(left_out.headers_past_end) + " of " + range) +
            (left_out.headers_past_end == 1 ? " (its header lies" : " (their headers lie") +
            " past the end of the input)");
    }
    return parts.empty() ? parts : "Warning: left out: " + parts + ".\n";
}

}  // namespace trk2inst
