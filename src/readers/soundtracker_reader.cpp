// The 15-sample module of the Ultimate Soundtracker and its successors, for
// "=A": no tag, 15 sample headers whose loop starts count bytes, 4-channel
// patterns from offset 600. Read forward like any ProTracker module; the
// header is read again from the bytes the input keeps, so a pipe serves.
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/protracker_format.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t head_and_first_pattern = soundtracker_header_size + soundtracker_pattern_size;

// The highest entry of all 128 orders gives the patterns, unless those past
// the song point higher and the first of them is cut off or sample data.
std::int64_t count_patterns(InputStream& input, const SoundtrackerHeader& header)
{
    const std::int64_t song = highest_song_pattern(header) + 1;
    const std::int64_t all = highest_pattern(header) + 1;
    if (all <= song)
        return all;
    seek_to(input, input.start + soundtracker_header_size + soundtracker_pattern_size * song);
    std::array<std::uint8_t, soundtracker_pattern_size> hidden{};
    const std::size_t got = read_block(input, hidden.data(), hidden.size());
    return got < hidden.size() || looks_like_sample_data(hidden.data()) ? song : all;
}

void read_sample(RunState& state, const SoundtrackerSample& sample, std::size_t index, DecodeBuffers& buffers)
{
    InputStream& input = state.input;
    SampleSlot& slot = state.samples[index];
    std::memcpy(slot.name.data(), sample.name.data(), sample.name.size());
    slot.name[name_length] = '\0';
    slot.finetune = sample.finetune;
    slot.volume = sample.volume;
    slot.loop_start = sample.loop_start;
    slot.loop_length = sample.loop_length;
    if (sample.length == 0)
        return;  // as a ProTracker header of length 0 leaves its slot
    const std::size_t bytes = 2 * std::size_t{sample.length};
    buffers.bytes.resize(bytes);
    const std::size_t arrived = read_block(input, buffers.bytes.data(), bytes);
    SampleValues& values = buffers.channels[0];
    values.resize(bytes);
    decode_pcm(buffers.bytes.data(), 8, false, false, values.data(), bytes);
    // The loop, when it is longer than a word, in values from its start in bytes.
    SampleShape shape;
    shape.length = static_cast<std::int64_t>(bytes);
    shape.loops = sample.loop_length > 1;
    shape.loop_begin = sample.loop_start;
    shape.loop_end = shape.loop_begin + 2 * std::int64_t{sample.loop_length};
    const int slot_number = static_cast<int>(index) + 1;
    const bool as_they_stand = store_converted_sample(slot, shape, values, {}, slot_number);
    if (!slot.data)
        return;
    if (arrived < bytes)
        note_cut_sample(state, slot_number);
    if (state.settings.source_need == SourceNeed::none)
        return;
    SourceShape source;
    source.frames = static_cast<std::int64_t>(arrived);
    source.rate = rate_from_pitch(0, sample.finetune);
    if (shape.loops)
        add_source_loop(source, false, false, shape.loop_begin, shape.loop_end);
    describe_source(slot, source, as_they_stand);
    keep_source_values(state, slot, values, {}, 0, false);
}

}  // namespace

bool read_soundtracker_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, input.start);
    std::array<std::uint8_t, head_and_first_pattern> head{};
    if (read_block(input, head.data(), head.size()) < head.size())
        return false;  // every module has a pattern
    const SoundtrackerHeader header = parse_soundtracker_header(head.data());
    if (!plausible_soundtracker_module(header, head.data() + soundtracker_header_size))
        return false;
    const std::int64_t patterns = count_patterns(input, header);
    const std::int64_t patterns_end = soundtracker_header_size + soundtracker_pattern_size * patterns;
    seek_to(input, input.start + patterns_end);
    if (bytes_present(input, input.start, patterns_end) < patterns_end)
        return false;  // the patterns must be there; the samples may be cut

    for (SampleSlot& slot : state.samples)
        slot = SampleSlot{};  // what a 31-sample reading put there
    ModuleSummary& summary = state.summary;
    std::memcpy(summary.format_tag.data(), "ST15", 5);
    summary.channels = 4;
    summary.patterns = static_cast<std::int32_t>(patterns);
    summary.expected_length = patterns_end;
    DecodeBuffers buffers;
    for (std::size_t i = 0; i < soundtracker_samples; ++i) {
        summary.expected_length += 2 * std::int64_t{header.samples[i].length};
        read_sample(state, header.samples[i], i, buffers);
    }
    return true;
}

}  // namespace trk2inst
