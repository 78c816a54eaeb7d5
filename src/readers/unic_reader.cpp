// UNIC Tracker modules, for "=A": an Amiga packer that keeps the ProTracker
// header (with "M.K.", "UNIC" or zeros at 1080) but stores each sample's
// finetune in the last two bytes of its name and packs pattern cells into
// 3 bytes. All numbers are big-endian. Told from a ProTracker module by
// OpenMPT's tests: text names, sane sample fields, a song, and patterns whose
// 3-byte cells all make sense, with notes in them.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "readers/protracker_format.h"
#include "readers/readers.h"

namespace trk2inst {

namespace {

constexpr int unic_samples = 31;
constexpr std::size_t unic_name_length = 20;
constexpr std::int64_t unic_pattern_size = 64 * 4 * 3;  // 64 rows of 4 cells of 3 bytes

struct UnicSample {
    std::array<char, unic_name_length> name{};
    int finetune = 0;          // signed: -1 is ProTracker's +1
    unsigned length = 0;       // in words
    unsigned zero = 0;         // ProTracker's finetune byte, 0 here
    unsigned volume = 0;
    unsigned loop_start = 0;   // in words
    unsigned loop_length = 0;  // in words
};

struct UnicHeader {
    std::array<UnicSample, unic_samples> samples{};
    int patterns = 0;            // the largest of the 128 order entries + 1
    int last_with_data = 0;      // the last sample whose length is above 0
};

unsigned u16be(const std::uint8_t* bytes)
{
    return unsigned{bytes[0]} << 8 | bytes[1];
}

// Each of the 20 bytes at `at` is 0, or 0x20 to 0x7F. Every module with the
// tag goes through this, so it looks at eight bytes at a time: a byte is
// neither when its top bit is set, or when it is not 0 and below 0x20. The
// 24 bytes loaded lie inside the header: the last four are masked off.
bool is_text(const std::uint8_t* at)
{
    constexpr std::uint64_t top = 0x8080808080808080u;
    std::uint64_t odd = 0;
    for (std::size_t word = 0; word < 3; ++word) {
        std::uint64_t x = 0;
        std::memcpy(&x, at + 8 * word, 8);
        if (word == 2)
            x &= 0xFFFFFFFFu;  // bytes 16 to 19, little-endian
        const std::uint64_t low = x & ~top;  // no carry leaves a byte below
        odd |= (x & top) | (~(low + 0x6060606060606060u) & (low + 0x7F7F7F7F7F7F7F7Fu) & top);
    }
    return odd == 0;
}

// The fields but the name.
UnicSample parse_sample(const std::uint8_t* at)
{
    UnicSample sample;
    sample.finetune = static_cast<std::int16_t>(u16be(at + 20));
    sample.length = u16be(at + 22);
    sample.zero = at[24];
    sample.volume = at[25];
    sample.loop_start = u16be(at + 26);
    sample.loop_length = u16be(at + 28);
    return sample;
}

bool sample_fits(const UnicSample& s)
{
    if (s.finetune < -42 || s.finetune > 8 || s.zero != 0 || s.volume > 64 || s.length >= 0x8000 ||
        s.loop_start >= 0x8000 || s.loop_length >= 0x8000)
        return false;
    if (s.length == 0)
        return s.loop_start == 0 && s.loop_length <= 1 && s.finetune == 0;
    return s.length >= s.loop_start + s.loop_length;
}

// Every order entry below 128, and those after the song (and one more) 0;
// the patterns are the largest entry + 1.
bool orders_fit(const std::uint8_t* orders, unsigned song_length, int& patterns)
{
    unsigned largest = 0;
    unsigned after = 0;
    for (unsigned i = 0; i < 128; ++i) {
        largest = std::max<unsigned>(largest, orders[i]);
        after |= i > song_length ? orders[i] : 0u;
    }
    patterns = static_cast<int>(largest) + 1;
    return largest < 128 && after == 0;
}

// The tests on the header alone: tag, samples, song, orders, then text.
bool parse_unic_header(ProTrackerHead head, UnicHeader& header)
{
    const std::uint8_t* tag = head.data() + 1080;
    if (std::memcmp(tag, "M.K.", 4) != 0 && std::memcmp(tag, "UNIC", 4) != 0 &&
        std::memcmp(tag, "\0\0\0\0", 4) != 0)
        return false;
    unsigned total_words = 0;
    for (int i = 0; i < unic_samples; ++i) {
        UnicSample& sample = header.samples[static_cast<std::size_t>(i)];
        sample = parse_sample(head.data() + 20 + 30 * i);
        if (!sample_fits(sample))
            return false;
        total_words += sample.length;
        if (sample.length > 0)
            header.last_with_data = i + 1;
    }
    const unsigned song_length = head[950];
    const std::uint8_t* orders = head.data() + 952;
    if (2 * total_words < 256 || song_length < 1 || song_length > 127 ||
        !orders_fit(orders, song_length, header.patterns))
        return false;
    bool text = is_text(head.data());  // the title
    for (int i = 0; i < unic_samples; ++i) {
        const std::uint8_t* name = head.data() + 20 + 30 * i;
        text = text && is_text(name);
        std::memcpy(header.samples[static_cast<std::size_t>(i)].name.data(), name, unic_name_length);
    }
    return text;
}

// Byte 0: note in bits 0 to 5, the sample number's bits 4 and 5 in bits 6
// and 7; byte 1: its bits 0 to 3, then the effect; byte 2: the parameter.
// Every cell must make sense, and the patterns must hold notes and samples.
bool unic_patterns_fit(const std::uint8_t* patterns, std::size_t size, int last_with_data)
{
    static constexpr std::array<std::uint8_t, unic_pattern_size> empty{};
    int notes = 0;
    bool some_sample = false;
    for (std::size_t start = 0; start < size; start += unic_pattern_size) {
        const std::uint8_t* pattern = patterns + start;
        if (std::memcmp(pattern, empty.data(), empty.size()) == 0)
            continue;  // empty cells fit, and add nothing
        for (const std::uint8_t* cell = pattern; cell < pattern + unic_pattern_size; cell += 3) {
            const unsigned effect = cell[1] & 0x0F;
            const unsigned parameter = cell[2];
            const int sample = (cell[0] >> 2 & 0x30) | cell[1] >> 4;
            if (cell[0] > 0x74 || (cell[0] & 0x3F) > 0x24 || (effect == 0x0C && parameter > 80) ||
                (effect == 0x0B && parameter > 0x7F) || (effect == 0x0D && parameter > 0x40) ||
                sample > last_with_data)
                return false;
            notes += (cell[0] & 0x3F) != 0 ? 1 : 0;
            some_sample = some_sample || sample != 0;
        }
    }
    return notes >= 16 && some_sample;
}

// Slot i from sample header i: the name up to the finetune, the finetune as
// ProTracker's nibble (-f), the rest as stored.
void fill_slots(RunState& state, const UnicHeader& header)
{
    for (int i = 0; i < unic_samples; ++i) {
        const UnicSample& sample = header.samples[static_cast<std::size_t>(i)];
        SampleSlot& slot = state.samples[static_cast<std::size_t>(i)];
        std::memcpy(slot.name.data(), sample.name.data(), unic_name_length);
        slot.name[unic_name_length] = '\0';
        slot.length = static_cast<std::int32_t>(sample.length);
        slot.finetune = static_cast<std::uint8_t>(static_cast<unsigned>(-sample.finetune) & 0x0F);
        slot.volume = static_cast<std::uint8_t>(sample.volume);
        slot.loop_start = static_cast<std::int32_t>(sample.loop_start);
        slot.loop_length = static_cast<std::int32_t>(sample.loop_length);
        allocate_sample_data(slot, i + 1);
    }
}

}  // namespace

bool read_unic_module(RunState& state, ProTrackerHead head)
{
    UnicHeader header;
    if (!parse_unic_header(head, header))
        return false;
    InputStream& input = state.input;
    make_seekable_from_its_start(input);
    const std::int64_t patterns_end = protracker_header_size + unic_pattern_size * header.patterns;
    const auto size = static_cast<std::size_t>(patterns_end - protracker_header_size);
    // Not zeroed: the read fills every byte.
    const auto patterns = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    seek_to(input, input.start + protracker_header_size);
    const bool present = read_block(input, patterns.get(), size) == size;
    if (!present || !unic_patterns_fit(patterns.get(), size, header.last_with_data)) {
        seek_to(input, input.start);
        return false;
    }
    ModuleSummary& summary = state.summary;
    std::memcpy(summary.format_tag.data(), "UNIC", 5);
    summary.channels = 4;
    summary.patterns = header.patterns;
    summary.expected_length = patterns_end;
    for (const UnicSample& sample : header.samples)
        summary.expected_length += 2 * std::int64_t{sample.length};
    fill_slots(state, header);
    read_protracker_samples(state, unic_samples, {});
    return true;
}

}  // namespace trk2inst
