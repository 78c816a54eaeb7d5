// "=A": the module is recognised by its first bytes, which are then read
// again by the reader for its family. Modules that are read by seeking come
// from a pipe by way of a temporary file; the others stream.
#include <array>
#include <cstring>

#include "readers/module_head.h"
#include "readers/protracker_format.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

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
    const ProTrackerHead bytes(head.bytes.data(), protracker_header_size);
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

namespace {

using ModuleReader = void (*)(RunState&);

// Formats with a signature at offset 0, tested before Scream Tracker 3's
// "SCRM" at 44; each is read by seeking.
ModuleReader reader_by_signature(const ModuleHead& head)
{
    if (is_mtm_module(head))
        return read_mtm_module;
    if (is_ult_module(head))
        return read_ult_module;
    if (is_far_module(head))
        return read_far_module;
    if (is_dsmi_amf_module(head))
        return read_dsmi_amf_module;
    if (is_asylum_module(head))
        return read_asylum_module;
    if (is_gdm_module(head))
        return read_gdm_module;
    if (is_psm_module(head))
        return read_psm_module;
    if (is_dsm_module(head))
        return read_dsm_module;
    if (is_dbm_module(head))
        return read_dbm_module;
    if (is_digi_module(head))
        return read_digi_module;
    if (is_okt_module(head))
        return read_okt_module;
    if (is_mdl_module(head))
        return read_mdl_module;
    if (is_umx_package(head))
        return read_umx_package;
    return nullptr;
}

// Formats tested after Scream Tracker 3, in this order, before the
// ProTracker family: those whose signature lies further in, then those with
// none or only two letters; each is read by seeking.
ModuleReader reader_after_scream_tracker(const ModuleHead& head)
{
    if (is_ptm_module(head))
        return read_ptm_module;
    if (is_imf_module(head))
        return read_imf_module;
    if (is_stx_module(head))
        return read_stx_module;
    if (is_stm_module(head))
        return read_stm_module;
    // Two letters prove little: last, and only with the whole table test.
    if (is_669_module(head))
        return read_669_module;
    return nullptr;
}

}  // namespace

void decode_source_again(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav)
{
    wav.clear();
    if (state.samples[index].source.stored.coding != StoredCoding::none)
        decode_stored_source(state, index, wav);
    else if (std::memcmp(state.summary.format_tag.data(), "IMPM", 4) == 0)
        decode_impulse_tracker_source(state, index, wav);
    else if (std::memcmp(state.summary.format_tag.data(), "SCRM", 4) == 0)
        decode_scream_tracker_source(state, index, wav);
    else if (std::memcmp(state.summary.format_tag.data(), "MMD", 3) == 0)
        decode_octamed_source(state, index, wav);
    else if (std::memcmp(state.summary.format_tag.data(), "EXT.", 4) == 0)
        decode_extended_module_source(state, index, wav);
}

namespace {

ModuleHead read_head(InputStream& input)
{
    ModuleHead head;
    head.size = read_block(input, head.bytes.data(), head.bytes.size());
    seek_to(input, input.start);
    return head;
}

void read_by_head(RunState& state, const ModuleHead& head)
{
    InputStream& input = state.input;
    if (head.holds(0, "Extended Module: ")) {
        read_streamed_module(state);
    } else if (head.holds(0, "IMPM")) {
        make_seekable_from_its_start(input);
        read_impulse_tracker_module(state);
    } else if (is_octamed(head)) {
        make_seekable_from_its_start(input);
        read_octamed_module(state);
    } else if (const ModuleReader reader = reader_by_signature(head)) {
        make_seekable_from_its_start(input);
        reader(state);
    } else if (head.holds(44, "SCRM")) {
        make_seekable_from_its_start(input);
        read_scream_tracker_module(state);
    } else if (const ModuleReader later = reader_after_scream_tracker(head)) {
        make_seekable_from_its_start(input);
        later(state);
    } else {
        read_protracker_family(state, head);
    }
}

}  // namespace

void read_any_module(RunState& state)
{
    InputStream& input = state.input;
    state.settings.convert_samples = true;
    // Samples past the record table only for the commands that give them out.
    state.settings.every_sample =
        state.settings.source_need != SourceNeed::none || state.settings.instruments_needed;
    input.may_rewind = true;
    read_by_head(state, read_head(input));
}

void read_module_in_package(RunState& state)
{
    const ModuleHead head = read_head(state.input);
    if (is_umx_package(head))
        refuse_package();
    try {
        read_by_head(state, head);
    } catch (const FatalError& error) {
        // Bytes that no reader recognises: the package is what is refused.
        if (error.message.rfind("Unexpected format tag: ", 0) == 0)
            refuse_package();
        throw;
    }
}

}  // namespace trk2inst
