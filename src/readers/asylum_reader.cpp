// Asylum's AMF modules (the music of Crusader: No Remorse and No Regret),
// converted from MODs: 64 sample headers always stored, 8-channel patterns,
// then the data of the samples in use, back to back, signed 8-bit.
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::size_t signature_size = 32;
constexpr unsigned most_samples = 64;
constexpr std::int64_t sample_headers = 294;
constexpr std::int64_t sample_header_size = 37;
constexpr std::int64_t patterns_start = sample_headers + most_samples * sample_header_size;  // 2,662
constexpr std::int64_t pattern_size = 64 * 8 * 4;  // rows x channels x bytes

}  // namespace

bool is_asylum_module(const ModuleHead& head)
{
    static constexpr char signature[] = "ASYLUM Music Format V1.0";
    if (head.size < signature_size)
        return false;
    // The rest of the 32 bytes is zeros.
    std::array<std::uint8_t, signature_size> expected{};
    std::memcpy(expected.data(), signature, sizeof signature - 1);
    return std::memcmp(head.bytes.data(), expected.data(), signature_size) == 0 && head.u8(34) <= most_samples;
}

void read_asylum_module(RunState& state)
{
    InputStream& input = state.input;
    std::memcpy(state.summary.format_tag.data(), "ASYL", 5);
    state.summary.channels = 8;
    state.summary.no_expected_length = true;
    seek_to(input, 34);
    const unsigned samples = read_u8(input);  // in use, at most 64
    const unsigned patterns = read_u8(input);
    state.summary.patterns = static_cast<std::int32_t>(patterns);
    std::int64_t data = patterns_start + pattern_size * patterns;
    for (unsigned i = 0; i < samples; ++i) {
        seek_to(input, sample_headers + sample_header_size * i);
        std::array<char, name_length> name{};
        read_block(input, name.data(), name.size());
        const unsigned finetune = read_u8(input);              // ProTracker's nibble
        const std::uint8_t volume = read_u8(input);            // 0..64
        const auto transpose = static_cast<std::int8_t>(read_u8(input));  // semitones
        const std::uint32_t length = read_u32le(input);        // bytes
        const std::uint32_t loop_start = read_u32le(input);
        const std::uint32_t loop_length = read_u32le(input);
        StoredSample sample;
        sample.name = std::string_view(name.data(), name.size());
        sample.volume = volume;
        sample.note = transpose;
        sample.finetune = static_cast<std::uint8_t>(finetune & 0x0F);
        sample.layout = {StoredCoding::signed_values, 8, false, 1, data, length};
        sample.loops = loop_length > 2 && std::int64_t{loop_start} + loop_length <= length;
        sample.loop_start = loop_start;
        sample.loop_end = std::int64_t{loop_start} + loop_length;
        store_sample(state, static_cast<int>(i) + 1, sample);
        data += length;
    }
}

}  // namespace trk2inst
