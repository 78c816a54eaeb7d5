// "=A": the module is recognised by its first bytes, which are then read
// again by the reader for its family. Modules that are read by seeking come
// from a pipe by way of a temporary file; the others stream.
#include <array>
#include <cstring>

#include "readers/protracker_format.h"
#include "readers/readers.h"

namespace trk2inst {

namespace {

// As far as the tag of a ProTracker-family module.
constexpr std::size_t head_size = protracker_header_size;

struct ModuleHead {
    std::array<std::uint8_t, head_size> bytes{};
    std::size_t size = 0;  // how many arrived

    // Compares only bytes that arrived.
    bool holds(std::size_t offset, const char* text) const
    {
        const std::size_t length = std::strlen(text);
        return size >= offset + length && std::memcmp(bytes.data() + offset, text, length) == 0;
    }
};

// MMD0 to MMD3, and MMDC (an MMD0 with packed blocks). The older "MED\x02"
// to "MED\x04" have another layout altogether and are not read.
bool is_octamed(const ModuleHead& head)
{
    for (const char* id : {"MMD0", "MMD1", "MMD2", "MMD3", "MMDC"})
        if (head.holds(0, id))
            return true;
    return false;
}

// UNIC Tracker and NoiseRunner modules keep a ProTracker tag on layouts of
// their own, and Mod's Grave writes "M.K." on 8-channel modules: each is told
// apart before the module is read by its tag. A module from a pipe that may
// be one of them is read from a temporary file.
void read_protracker_family(RunState& state, const ModuleHead& head)
{
    const ProTrackerHead bytes(head.bytes);
    if (read_unic_module(state, bytes) || read_noiserunner_module(state, bytes))
        return;
    if (may_be_wow_module(bytes)) {
        make_seekable_from_its_start(state.input);
        state.settings.wow_mode = fills_wow_size(bytes, input_size(state.input));
    }
    read_streamed_module(state);
}

}  // namespace

void make_seekable_from_its_start(InputStream& input)
{
    if (!input.seekable || input.start != 0)
        copy_to_temporary_file(input);
}

void decode_source_again(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav)
{
    wav.clear();
    if (std::memcmp(state.summary.format_tag.data(), "IMPM", 4) == 0)
        decode_impulse_tracker_source(state, index, wav);
    else if (std::memcmp(state.summary.format_tag.data(), "SCRM", 4) == 0)
        decode_scream_tracker_source(state, index, wav);
    else if (std::memcmp(state.summary.format_tag.data(), "MMD", 3) == 0)
        decode_octamed_source(state, index, wav);
    else if (std::memcmp(state.summary.format_tag.data(), "EXT.", 4) == 0)
        decode_extended_module_source(state, index, wav);
}

void read_any_module(RunState& state)
{
    InputStream& input = state.input;
    state.settings.convert_samples = true;
    // Samples past the record table only for the commands that give them out.
    state.settings.every_sample =
        state.settings.source_need != SourceNeed::none || state.settings.instruments_needed;
    input.may_rewind = true;
    ModuleHead head;
    head.size = read_block(input, head.bytes.data(), head.bytes.size());
    seek_to(input, input.start);
    if (head.holds(0, "Extended Module: ")) {
        read_streamed_module(state);
    } else if (head.holds(0, "IMPM")) {
        make_seekable_from_its_start(input);
        read_impulse_tracker_module(state);
    } else if (is_octamed(head)) {
        make_seekable_from_its_start(input);
        read_octamed_module(state);
    } else if (head.holds(44, "SCRM")) {
        make_seekable_from_its_start(input);
        read_scream_tracker_module(state);
    } else {
        read_protracker_family(state, head);
    }
}

}  // namespace trk2inst
