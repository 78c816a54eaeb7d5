// The DigiBooster 1 reader, for "=A": a big-endian header of 1,572 bytes
// whose 31 samples are kept field by field in arrays, then the patterns,
// then each sample's signed 8-bit values in turn.
#include <array>
#include <cstring>
#include <string_view>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr int digi_samples = 31;
constexpr std::int64_t lengths_at = 176;       // u32 each, in bytes
constexpr std::int64_t loop_starts_at = 300;   // u32 each, in bytes
constexpr std::int64_t loop_lengths_at = 424;  // u32 each, in bytes
constexpr std::int64_t volumes_at = 548;       // u8 each, 0..64
constexpr std::int64_t finetunes_at = 579;     // s8 each, ProTracker's
constexpr std::int64_t names_at = 642;         // 30 bytes each
constexpr std::int64_t name_size = 30;
constexpr std::int64_t patterns_at = 1572;
constexpr std::int64_t rows = 64;

std::uint32_t u32_at(InputStream& input, std::int64_t offset)
{
    seek_to(input, offset);
    return read_u32be(input);
}

std::uint8_t u8_at(InputStream& input, std::int64_t offset)
{
    seek_to(input, offset);
    return read_u8(input);
}

// Unpacked patterns are 64 rows of 4-byte cells per channel; packed ones
// each a 16-bit size and that many bytes.
std::int64_t samples_start(InputStream& input, int channels, int patterns, bool packed)
{
    if (!packed)
        return patterns_at + std::int64_t{patterns} * rows * channels * 4;
    std::int64_t offset = patterns_at;
    for (int i = 0; i < patterns; ++i) {
        seek_to(input, offset);
        offset += 2 + read_u16be(input);
    }
    return offset;
}

}  // namespace

bool is_digi_module(const ModuleHead& head)
{
    return head.holds(0, "DIGI Booster module") && head.size > 19 && head.u8(19) == 0 && head.u8(25) >= 1 &&
           head.u8(25) <= 8 && head.u8(47) <= 127;
}

void read_digi_module(RunState& state)
{
    InputStream& input = state.input;
    ModuleSummary& summary = state.summary;
    std::memcpy(summary.format_tag.data(), "DIGI", 5);
    summary.no_expected_length = true;
    summary.channels = u8_at(input, 25);
    const bool packed = read_u8(input) != 0;
    summary.patterns = u8_at(input, 46) + 1;
    std::int64_t offset = samples_start(input, summary.channels, summary.patterns, packed);
    for (int i = 0; i < digi_samples; ++i) {
        std::array<char, name_size> name{};
        seek_to(input, names_at + i * name_size);
        read_block(input, name.data(), name.size());
        StoredSample sample;
        sample.name = std::string_view(name.data(), name.size());
        sample.volume = u8_at(input, volumes_at + i);
        sample.finetune = u8_at(input, finetunes_at + i) & 0x0F;
        sample.layout.coding = StoredCoding::signed_values;
        sample.layout.offset = offset;
        sample.layout.frames = u32_at(input, lengths_at + 4 * i);
        const std::uint32_t loop_length = u32_at(input, loop_lengths_at + 4 * i);
        sample.loops = loop_length != 0;
        sample.loop_start = u32_at(input, loop_starts_at + 4 * i);
        sample.loop_end = sample.loop_start + loop_length;
        store_sample(state, i + 1, sample);
        offset += sample.layout.frames;
    }
}

}  // namespace trk2inst
