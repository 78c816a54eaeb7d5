// The streamed reader: tells an Extended Module from a ProTracker-family module
// by its first 17 bytes and reads the ProTracker module itself. It only reads
// forward, so the input may be a pipe.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "readers/protracker_format.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

constexpr char extended_module_signature[] = "Extended Module: ";
constexpr std::size_t signature_length = sizeof extended_module_signature - 1;
constexpr int protracker_samples = 31;

// Compares only the bytes that arrived: a shorter input is not an Extended Module.
bool read_extended_module_signature(InputStream& input)
{
    std::array<char, signature_length> head{};
    const std::size_t got = read_block(input, head.data(), head.size());
    return got == head.size() &&
           std::memcmp(head.data(), extended_module_signature, head.size()) == 0;
}

// The header up to the tag, offsets from the module's start, as one read
// gives it: title, 31 sample headers, song length, restart byte, orders.
constexpr std::size_t header_before_tag = 1080;
using HeaderBytes = std::array<std::uint8_t, header_before_tag>;

unsigned u16be(const std::uint8_t* bytes)
{
    return unsigned{bytes[0]} << 8 | bytes[1];
}

void parse_protracker_sample_header(const std::uint8_t* at, SampleSlot& slot, int slot_number)
{
    std::memcpy(slot.name.data(), at, name_length);
    slot.name[name_length] = '\0';
    slot.length = static_cast<std::int32_t>(u16be(at + 22));  // in words
    slot.finetune = at[24];
    slot.volume = at[25];
    slot.loop_start = static_cast<std::int32_t>(u16be(at + 26));   // in words
    slot.loop_length = static_cast<std::int32_t>(u16be(at + 28));  // in words
    allocate_sample_data(slot, slot_number);
}

// The pattern count is the largest entry of all 128, not only those in the song.
std::int32_t order_table_maximum(const HeaderBytes& header)
{
    unsigned largest = 0;
    for (std::size_t entry = 952; entry < header_before_tag; ++entry)
        largest = std::max<unsigned>(largest, header[entry]);
    return static_cast<std::int32_t>(largest);
}

// The values a slot's data were read from.
struct StoredValues {
    std::int64_t frames = 0;  // values that the input holds
    bool cut = false;         // the input ends inside the stored bytes
    bool adpcm = false;
};

// Whether the data at the input's position begin with ModPlug's mark
// "ADPCM"; the input then stands after it, else the slot holds the plain
// data, of which `arrived` came from the input. A file's sample is read
// whole at once and read again when it is packed; the front of a sample on
// a pipe, or of one shorter than the mark, is looked at first.
bool read_unless_marked(InputStream& input, SampleSlot& slot, std::size_t& arrived)
{
    constexpr char mark[] = "ADPCM";
    constexpr std::size_t mark_size = sizeof mark - 1;
    const std::size_t size = 2 * static_cast<std::size_t>(slot.length);
    const std::int64_t start = input.position;
    if (input.seekable && size >= mark_size) {
        arrived = read_block(input, slot.data.get(), size);
        const bool marked = arrived >= mark_size && std::memcmp(slot.data.get(), mark, mark_size) == 0;
        if (marked)
            seek_to(input, start + static_cast<std::int64_t>(mark_size));
        return marked;
    }
    std::array<char, mark_size> front{};
    if (read_block(input, front.data(), front.size()) == front.size() &&
        std::memcmp(front.data(), mark, mark_size) == 0)
        return true;
    seek_to(input, start);
    arrived = read_block(input, slot.data.get(), size);
    return false;
}

// Plain data, or under "=A" with ModPlug's mark in front of them packed to 4
// bits a value: a table, then (2 * length + 1) / 2 bytes.
StoredValues read_slot_values(InputStream& input, SampleSlot& slot, bool adpcm_marks, DecodeBuffers& buffers)
{
    const std::size_t size = 2 * static_cast<std::size_t>(slot.length);
    std::size_t arrived = 0;
    bool marked = false;
    if (adpcm_marks)
        marked = read_unless_marked(input, slot, arrived);
    else
        arrived = read_sample_data(input, slot);
    if (!marked)
        return {static_cast<std::int64_t>(arrived), arrived < size, false};
    const std::int64_t start = input.position;
    const auto count = static_cast<std::int64_t>(size);
    const std::int64_t frames = read_adpcm_sample(input, count, size, false, buffers);
    const SampleValues& values = buffers.channels[0];
    for (std::size_t i = 0; i < size; ++i)
        slot.data[i] = static_cast<std::uint8_t>(values[i] & 0xFF);
    const std::int64_t stored = adpcm_stored_bytes(count);
    return {frames, bytes_present(input, start, stored) < stored, true};
}

// His Master's NoiseTracker: the finetune byte is a signed f worth -f/16
// semitone, -8 f in 1/128 semitone: the rate of that pitch, at least 1 Hz.
std::uint32_t his_masters_rate(std::uint8_t finetune)
{
    const int pitch = -8 * static_cast<std::int8_t>(finetune);
    const double rate = std::floor(8363.0 * std::exp2(pitch / 1536.0) + 0.5);
    return rate < 1.0 ? 1u : static_cast<std::uint32_t>(rate);
}

}  // namespace

void read_protracker_samples(RunState& state, int count, ProTrackerSampleRules rules)
{
    const bool convert = state.settings.convert_samples;
    DecodeBuffers buffers;
    for (int number = 1; number <= count; ++number) {
        SampleSlot& slot = state.samples[static_cast<std::size_t>(number - 1)];
        if (rules.his_masters && convert)
            slot.voice.family = VoiceFamily::his_masters_noisetracker;
        if (!convert || !slot.data) {
            read_sample_data(state.input, slot);
            continue;
        }
        // The source sample ("=A"): the record's data as "w" writes them, cut
        // to the values the input holds, at the rate of their pitch.
        const StoredValues stored = read_slot_values(state.input, slot, rules.adpcm_marks, buffers);
        if (stored.cut)
            note_cut_sample(state, number);
        if (state.settings.source_need == SourceNeed::none)
            continue;
        SourceShape source = record_source_shape(slot);
        source.frames = stored.frames;
        if (stored.adpcm)
            source.compression = SourceCompression::adpcm;
        if (rules.his_masters)
            source.rate = his_masters_rate(slot.finetune);
        describe_source(slot, source, true);
    }
}

namespace {

// The tag's channel count and layout. Under "=A" a module whose tag is not
// known may still be a 15-sample module, which has no tag: the four bytes
// are then pattern data, not text.
ProTrackerTag read_format_tag(RunState& state)
{
    std::array<char, 5>& tag = state.summary.format_tag;
    read_block(state.input, tag.data(), 4);
    tag[4] = '\0';
    const bool any_module = state.settings.convert_samples;
    if (const auto known = recognise_protracker_tag(tag.data(), state.settings.wow_mode, any_module)) {
        if (known->becomes_wow)
            std::memcpy(tag.data(), "WOW!", 4);
        return *known;
    }
    if (any_module && !tag_is_text(tag.data()) && read_soundtracker_module(state))
        return {};
    fail("Unexpected format tag: %s\n", printable(tag.data()).c_str());
}

void read_protracker_module(RunState& state)
{
    InputStream& input = state.input;
    ModuleSummary& summary = state.summary;
    // After the 17 bytes that told it from an Extended Module.
    HeaderBytes header{};
    read_block(input, header.data() + signature_length, header.size() - signature_length);
    for (int slot = 0; slot < protracker_samples; ++slot)
        parse_protracker_sample_header(header.data() + 20 + 30 * slot, state.samples[static_cast<std::size_t>(slot)],
                                       slot + 1);
    summary.patterns = order_table_maximum(header);
    const ProTrackerTag tag = read_format_tag(state);
    if (tag.channels == 0)
        return;  // read as a 15-sample module
    summary.channels = tag.channels;
    summary.patterns += 1;
    // Two 4-channel patterns make each 8-channel one: the file holds an even count.
    if (tag.paired_patterns)
        summary.patterns += summary.patterns & 1;
    skip_bytes(input, tag.bytes_after_tag);
    summary.header_size += tag.bytes_after_tag;
    // 64 rows of 4 bytes per channel
    skip_bytes(input, std::int64_t{summary.channels} * 256 * summary.patterns);
    const char* stored_tag = summary.format_tag.data();
    const bool his_masters = std::strcmp(stored_tag, "M&K!") == 0 || std::strcmp(stored_tag, "FEST") == 0;
    read_protracker_samples(state, protracker_samples, {true, his_masters});
}

}  // namespace

std::int32_t decode_format_tag(std::array<char, 5>& tag, bool wow_mode)
{
    const auto known = recognise_protracker_tag(tag.data(), wow_mode, false);
    if (!known)
        fail("Unexpected format tag: %s\n", printable(tag.data()).c_str());
    if (known->becomes_wow)
        std::memcpy(tag.data(), "WOW!", 4);
    return known->channels;
}

void read_streamed_module(RunState& state)
{
    if (read_extended_module_signature(state.input))
        read_extended_module(state);
    else
        read_protracker_module(state);
}

}  // namespace trk2inst
