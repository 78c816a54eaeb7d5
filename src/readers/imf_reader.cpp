// Imago Orpheus modules: a header with 32 channel entries, the patterns, each
// with its size, then the instruments, each followed by its own samples
// (header, data, header, data ...). Samples are numbered across the
// instruments in file order; an instrument's key map counts from its first.
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/instrument_headers.h"
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr int channel_entries = 32;
constexpr std::size_t channel_status = 64 + 15;  // of channel n: + 16 n
constexpr unsigned channel_off = 2;
constexpr std::int64_t patterns_start = 832;
constexpr std::int64_t pattern_head_size = 4;  // size, rows
constexpr std::int64_t sample_header_size = 64;
constexpr std::size_t sample_count_at = 378;  // in the instrument header

constexpr unsigned flag_loop = 0x01;
constexpr unsigned flag_ping_pong = 0x02;
constexpr unsigned flag_16_bit = 0x04;
constexpr unsigned flag_pan = 0x08;

unsigned status_of(const ModuleHead& head, int channel)
{
    return head.u8(channel_status + 16 * static_cast<std::size_t>(channel));
}

// The last channel that is not switched off, counted from 1.
int imf_channels(const ModuleHead& head)
{
    int channels = 0;
    for (int n = 0; n < channel_entries; ++n)
        if (status_of(head, n) < channel_off)
            channels = n + 1;
    return channels;
}

// Each pattern by its stored size, which counts its own 4 bytes; past the
// end of the input every pattern reads as those 4 bytes alone.
std::int64_t instruments_start(InputStream& input, unsigned patterns)
{
    const std::int64_t size = input_size(input);
    std::int64_t at = patterns_start;
    for (unsigned p = 0; p < patterns; ++p) {
        if (at >= size)
            return at + pattern_head_size * (patterns - p);
        seek_to(input, at);
        at += std::max<std::int64_t>(read_u16le(input), pattern_head_size);
    }
    return at;
}

// The sample whose header is at `at`; its data follow the header.
void read_imf_sample(RunState& state, std::int64_t at, int number)
{
    InputStream& input = state.input;
    seek_to(input, at);
    std::array<char, 13> file_name{};  // the sample's only name
    read_block(input, file_name.data(), file_name.size());
    skip_bytes(input, 3);
    const std::uint32_t length = read_u32le(input);  // bytes
    std::int64_t loop_start = read_u32le(input);
    std::int64_t loop_end = read_u32le(input);  // exclusive
    const std::uint32_t rate = read_u32le(input);  // Hz at C-5
    const std::uint8_t volume = read_u8(input);    // 0..64
    const unsigned pan = read_u8(input);           // 0..255
    skip_bytes(input, 14);
    const unsigned flags = read_u8(input);
    const bool sixteen_bit = (flags & flag_16_bit) != 0;
    const unsigned width = sixteen_bit ? 2 : 1;
    StoredSample sample;
    sample.name = std::string_view(file_name.data(), file_name.size());
    sample.volume = volume;
    sample.rate = rate;
    sample.layout = {StoredCoding::signed_values, sixteen_bit ? 16 : 8, false, 1, at + sample_header_size,
                     length / width};
    sample.loops = (flags & flag_loop) != 0;
    sample.ping_pong = (flags & flag_ping_pong) != 0;
    sample.loop_start = loop_start / width;
    sample.loop_end = loop_end / width;
    store_sample(state, number, sample);
    // An instrument plays the sample at its rate and pan, as an Impulse
    // Tracker sample.
    SampleVoice& voice = sample_entry(state, number).voice;
    voice.family = VoiceFamily::impulse_tracker;
    voice.stored_rate = rate;
    voice.panning = (flags & flag_pan) != 0 ? static_cast<std::uint8_t>(0x80 | (pan * 64 + 127) / 255) : 0;
}

}  // namespace

bool is_imf_module(const ModuleHead& head)
{
    if (!head.holds(60, "IM10") || head.u16le(32) > 256 || head.u16le(36) >= 256 || head.u8(49) < 32 ||
        head.u8(50) > 64 || head.u8(51) < 4 || head.u8(51) > 127)
        return false;
    for (int n = 0; n < channel_entries; ++n)
        if (status_of(head, n) > channel_off)
            return false;
    return imf_channels(head) > 0;
}

void read_imf_module(RunState& state)
{
    InputStream& input = state.input;
    ModuleHead head;
    head.size = read_block(input, head.bytes.data(), patterns_start);
    std::memcpy(state.summary.format_tag.data(), "IMF ", 5);
    state.summary.channels = imf_channels(head);
    state.summary.patterns = static_cast<std::int32_t>(head.u16le(34));
    state.summary.no_expected_length = true;
    const bool every_sample = state.settings.every_sample;
    const bool instruments_needed = state.settings.instruments_needed;
    const int last_read = every_sample ? sample_limit : slot_count;
    const int instrument_count = std::min<int>(static_cast<int>(head.u16le(36)), instrument_limit);
    if (instruments_needed) {
        state.summary.tempo = head.u8(49);  // beats per minute
        state.instruments.from_module = true;
        state.instruments.list.resize(static_cast<std::size_t>(instrument_count));
    }
    const std::int64_t file_size = input_size(input);
    std::int64_t at = instruments_start(input, head.u16le(34));
    std::int64_t claimed = 0;  // samples of the instruments before
    std::array<std::uint8_t, imf_instrument_header_size> header{};
    for (int i = 0; i < instrument_count && at < file_size; ++i) {
        if (claimed >= last_read && !every_sample && !instruments_needed)
            break;  // nothing more that the run asks for
        seek_to(input, at);
        read_block(input, header.data(), header.size());
        at += static_cast<std::int64_t>(header.size());
        const int stored = header[sample_count_at] | header[sample_count_at + 1] << 8;
        for (int s = 0; s < stored; ++s) {
            const std::int64_t number = claimed + 1 + s;
            if (at >= file_size) {
                // The headers of the instrument's other samples lie past the end.
                const std::int64_t last = std::min<std::int64_t>(claimed + stored, last_read);
                for (std::int64_t past = number; every_sample && past <= last; ++past)
                    note_header_past_end(state, static_cast<int>(past));
                break;
            }
            seek_to(input, at + 16);
            const std::uint32_t length = read_u32le(input);  // bytes
            if (number <= last_read)
                read_imf_sample(state, at, static_cast<int>(number));
            at += sample_header_size + length;
        }
        // Its keys play the samples that are in the list.
        const auto first = static_cast<int>(std::min<std::int64_t>(claimed, sample_limit));
        const int listed = std::min(last_read, static_cast<int>(state.samples.size()));
        if (instruments_needed)
            parse_imf_instrument(header, first, stored, listed, state.instruments.list[static_cast<std::size_t>(i)]);
        claimed += stored;
    }
    if (every_sample)
        note_claimed_samples(state, claimed);
}

}  // namespace trk2inst
