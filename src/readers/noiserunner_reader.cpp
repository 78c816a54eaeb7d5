// NoiseRunner modules, for "=A": a ProTracker module repacked for fast
// playback on the Amiga. Its 31 sample headers are 16-byte records of Amiga
// memory addresses at the start of the file, its pattern cells are coded
// anew, and it keeps "M.K." at 1080. All numbers are big-endian. Told from a
// ProTracker module by OpenMPT's tests: a ProTracker module's title and
// names are no sample records, nor its cells NoiseRunner cells.
#include <algorithm>
#include <cstring>
#include <vector>

#include "readers/protracker_format.h"
#include "readers/readers.h"

namespace trk2inst {

namespace {

constexpr int noiserunner_samples = 31;
constexpr std::int64_t noiserunner_pattern_size = 64 * 4 * 4;  // 64 rows of 4 cells of 4 bytes

struct NoiseRunnerSample {
    unsigned volume = 0;
    std::uint32_t address = 0;       // of the sample in Amiga memory
    unsigned length = 0;             // in words
    std::uint32_t loop_address = 0;  // of its loop
    unsigned loop_length = 0;        // in words
    int finetune = 0;                // signed: -72 n is ProTracker's finetune n
};

struct NoiseRunnerHeader {
    std::array<NoiseRunnerSample, noiserunner_samples> samples{};
    int patterns = 0;  // the largest order entry within the song + 1
};

unsigned u16be(const std::uint8_t* bytes)
{
    return unsigned{bytes[0]} << 8 | bytes[1];
}

std::uint32_t u32be(const std::uint8_t* bytes)
{
    return std::uint32_t{u16be(bytes)} << 16 | u16be(bytes + 2);
}

NoiseRunnerSample parse_record(const std::uint8_t* at)
{
    NoiseRunnerSample sample;
    sample.volume = u16be(at);
    sample.address = u32be(at + 2);
    sample.length = u16be(at + 6);
    sample.loop_address = u32be(at + 8);
    sample.loop_length = u16be(at + 12);
    sample.finetune = static_cast<std::int16_t>(u16be(at + 14));
    return sample;
}

// The loop lies within the sample, in bytes from its start.
bool record_fits(const NoiseRunnerSample& s)
{
    if (s.volume > 64 || s.address > 0x1FFFFF || (s.address & 1) != 0)
        return false;
    if (s.finetune < 0 && (s.finetune % 72 != 0 || s.finetune < -1080))
        return false;
    if (s.length == 0)
        return s.loop_address == s.address && s.loop_length == 1;
    if (s.length >= 0x8000 || s.loop_address < s.address)
        return false;
    const std::int64_t loop_offset = std::int64_t{s.loop_address} - s.address;
    const std::int64_t bytes = 2 * std::int64_t{s.length};
    return loop_offset < bytes && loop_offset + 2 * std::int64_t{s.loop_length} <= bytes;
}

// The tests on the header alone: tag, records, song and orders.
bool parse_noiserunner_header(ProTrackerHead head, NoiseRunnerHeader& header)
{
    if (std::memcmp(head.data() + 1080, "M.K.", 4) != 0)
        return false;
    unsigned total_words = 0;
    for (int i = 0; i < noiserunner_samples; ++i) {
        NoiseRunnerSample& sample = header.samples[static_cast<std::size_t>(i)];
        sample = parse_record(head.data() + 16 * i);
        if (!record_fits(sample))
            return false;
        total_words += sample.length;
    }
    const unsigned song_length = head[950];
    const std::uint8_t* orders = head.data() + 952;
    if (total_words < 32 || song_length < 1 || song_length > 127)
        return false;
    for (unsigned i = 0; i < 128; ++i)
        if (i < song_length ? orders[i] > 63 : orders[i] != 0)
            return false;
    header.patterns = *std::max_element(orders, orders + song_length) + 1;
    return true;
}

// Byte 0: the effect times 4; byte 1: its parameter; byte 2: the note times
// 2; byte 3: the sample number times 8.
bool noiserunner_patterns_fit(const std::vector<std::uint8_t>& patterns)
{
    for (std::size_t at = 0; at < patterns.size(); at += 4) {
        const std::uint8_t* cell = patterns.data() + at;
        if ((cell[0] & 0xC3) != 0 || cell[2] > 72 || (cell[2] & 1) != 0 || (cell[3] & 7) != 0)
            return false;
    }
    return true;
}

// Slot i from record i: no name, the volume, ProTracker's finetune nibble
// (-f / 72 for a negative f: positive values are leftovers), the loop from
// the addresses.
void fill_slots(RunState& state, const NoiseRunnerHeader& header)
{
    for (int i = 0; i < noiserunner_samples; ++i) {
        const NoiseRunnerSample& sample = header.samples[static_cast<std::size_t>(i)];
        SampleSlot& slot = state.samples[static_cast<std::size_t>(i)];
        slot.length = static_cast<std::int32_t>(sample.length);
        slot.volume = static_cast<std::uint8_t>(sample.volume);
        slot.finetune = static_cast<std::uint8_t>(sample.finetune < 0 ? -sample.finetune / 72 : 0);
        slot.loop_start = static_cast<std::int32_t>((sample.loop_address - sample.address) / 2);
        slot.loop_length = static_cast<std::int32_t>(sample.loop_length);
        allocate_sample_data(slot, i + 1);
    }
}

}  // namespace

bool read_noiserunner_module(RunState& state, ProTrackerHead head)
{
    NoiseRunnerHeader header;
    if (!parse_noiserunner_header(head, header))
        return false;
    InputStream& input = state.input;
    make_seekable_from_its_start(input);
    const std::int64_t patterns_end = protracker_header_size + noiserunner_pattern_size * header.patterns;
    std::vector<std::uint8_t> patterns;
    if (bytes_present(input, input.start, patterns_end) == patterns_end) {
        patterns.resize(static_cast<std::size_t>(patterns_end - protracker_header_size));
        seek_to(input, input.start + protracker_header_size);
        read_block(input, patterns.data(), patterns.size());
    }
    if (patterns.empty() || !noiserunner_patterns_fit(patterns)) {
        seek_to(input, input.start);
        return false;
    }
    ModuleSummary& summary = state.summary;
    std::memcpy(summary.format_tag.data(), "NRU ", 5);
    summary.channels = 4;
    summary.patterns = header.patterns;
    summary.expected_length = patterns_end;
    for (const NoiseRunnerSample& sample : header.samples)
        summary.expected_length += 2 * std::int64_t{sample.length};
    fill_slots(state, header);
    read_protracker_samples(state, noiserunner_samples, {});
    return true;
}

}  // namespace trk2inst
