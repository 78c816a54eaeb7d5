// The DigiBooster Pro reader (versions 2 and 3), for "=A": big-endian
// chunks. A sample stores only its flags, length and values (SMPL); its name,
// volume, pan, rate and loop are those of the first instrument (INST) that
// plays it. A version-3 module may keep its samples as one MPEG stream,
// which is not decoded: such samples are listed without data.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "readers/module_chunks.h"
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t chunks_start = 8;
constexpr std::int64_t instrument_size = 50;
constexpr std::size_t instrument_name_size = 30;
constexpr std::uint32_t default_rate = 8363;  // Hz, where no instrument gives one

// SMPL flags: the width of the values, signed and big-endian.
constexpr std::uint32_t values_8_bit = 1;
constexpr std::uint32_t values_16_bit = 2;
constexpr std::uint32_t values_32_bit = 4;

// INST flags.
constexpr unsigned loop_forward = 1;
constexpr unsigned loop_ping_pong = 2;

struct DbmInstrument {
    std::array<char, instrument_name_size> name{};
    unsigned sample = 0;  // 1..samples; 0 plays none
    unsigned volume = 64;
    std::uint32_t rate = default_rate;
    std::uint32_t loop_start = 0;   // frames
    std::uint32_t loop_length = 0;  // frames
    int pan = 0;                    // -128 left .. 128 right
    unsigned flags = 0;
};

DbmInstrument read_instrument(InputStream& input, std::int64_t offset)
{
    DbmInstrument instrument;
    seek_to(input, offset);
    read_block(input, instrument.name.data(), instrument.name.size());
    instrument.sample = read_u16be(input);
    instrument.volume = read_u16be(input);
    instrument.rate = read_u32be(input);
    instrument.loop_start = read_u32be(input);
    instrument.loop_length = read_u32be(input);
    instrument.pan = static_cast<std::int16_t>(read_u16be(input));
    instrument.flags = read_u16be(input);
    return instrument;
}

struct DbmModule {
    std::int64_t input_size = 0;
    unsigned instruments = 0;  // records wholly inside INST, as far as INFO counts them
    unsigned samples = 0;
    ModuleChunk inst;
    ModuleChunk smpl;
    bool has_samples = false;  // an SMPL chunk
};

DbmModule open_module(RunState& state)
{
    InputStream& input = state.input;
    DbmModule module;
    module.input_size = input_size(input);
    const ChunkWalk walk{chunks_start, module.input_size, 4, true};
    ModuleChunk info;
    if (find_chunk(input, walk, "INFO", info)) {
        seek_to(input, info.body);
        module.instruments = read_u16be(input);
        module.samples = read_u16be(input);
        read_u16be(input);  // songs
        state.summary.patterns = read_u16be(input);
        state.summary.channels = read_u16be(input);
    }
    if (find_chunk(input, walk, "INST", module.inst))
        module.instruments = static_cast<unsigned>(
            std::min<std::int64_t>(module.instruments, module.inst.size / instrument_size));
    else
        module.instruments = 0;
    module.has_samples = find_chunk(input, walk, "SMPL", module.smpl);
    return module;
}

// The sample's settings: those of the first instrument that plays it.
std::vector<DbmInstrument> settings_of_samples(InputStream& input, const DbmModule& module, int samples)
{
    std::vector<DbmInstrument> settings(static_cast<std::size_t>(samples));
    std::vector<bool> taken(static_cast<std::size_t>(samples), false);
    for (unsigned i = 0; i < module.instruments; ++i) {
        const DbmInstrument instrument = read_instrument(input, module.inst.body + i * instrument_size);
        if (instrument.sample < 1 || instrument.sample > static_cast<unsigned>(samples))
            continue;
        const std::size_t index = instrument.sample - 1;
        if (!taken[index]) {
            taken[index] = true;
            settings[index] = instrument;
        }
    }
    return settings;
}

// The values as SMPL gives them; several width bits: the widest.
StoredLayout layout_of(std::uint32_t flags, std::uint32_t length)
{
    StoredLayout layout;
    layout.coding = StoredCoding::signed_values;
    layout.big_endian = true;
    layout.frames = length;
    if ((flags & values_32_bit) != 0) {
        layout.coding = StoredCoding::high_half_of_32;
        layout.bits = 16;
    } else if ((flags & values_16_bit) != 0) {
        layout.bits = 16;
    } else if ((flags & values_8_bit) == 0) {
        layout.frames = 0;  // no width: no values
    }
    return layout;
}

void store_dbm_sample(RunState& state, int number, const DbmInstrument& settings, const StoredLayout& layout)
{
    StoredSample sample;
    sample.name = std::string_view(settings.name.data(), settings.name.size());
    sample.volume = static_cast<std::uint8_t>(std::min(settings.volume, 64u));
    sample.layout = layout;
    sample.loops = (settings.flags & (loop_forward | loop_ping_pong)) != 0 && settings.loop_length != 0;
    sample.ping_pong = (settings.flags & loop_ping_pong) != 0;
    sample.loop_start = settings.loop_start;
    sample.loop_end = std::int64_t{settings.loop_start} + settings.loop_length;
    sample.rate = settings.rate != 0 ? settings.rate : default_rate;
    store_sample(state, number, sample);
    // A rate, a volume and a pan, as an Impulse Tracker sample's voice holds them.
    SampleVoice& voice = sample_entry(state, number).voice;
    voice.family = VoiceFamily::impulse_tracker;
    voice.global_volume = 64;
    voice.panning = static_cast<std::uint8_t>(0x80 | (std::clamp(settings.pan, -128, 128) + 128) / 4);
}

// One instrument per INST record, every key playing its sample.
void list_instruments(RunState& state, const DbmModule& module, int samples)
{
    InstrumentTable& table = state.instruments;
    table.from_module = true;
    note_claimed_instruments(state, module.instruments, false);
    const auto listed = std::min<unsigned>(module.instruments, instrument_limit);
    table.list.resize(listed);
    for (unsigned i = 0; i < listed; ++i) {
        const DbmInstrument instrument = read_instrument(state.input, module.inst.body + i * instrument_size);
        ModuleInstrument& entry = table.list[i];
        const std::size_t name_size = std::min(entry.name.size() - 1, instrument.name.size());
        std::copy_n(instrument.name.begin(), name_size, entry.name.begin());
        if (instrument.sample < 1 || instrument.sample > static_cast<unsigned>(samples))
            continue;
        const auto sample = static_cast<std::uint16_t>(instrument.sample);
        entry.keys.fill({sample, 0});
        entry.samples = {sample};
    }
}

}  // namespace

bool is_dbm_module(const ModuleHead& head)
{
    return head.holds(0, "DBM0") && head.u8(4) <= 3;
}

void read_dbm_module(RunState& state)
{
    InputStream& input = state.input;
    std::memcpy(state.summary.format_tag.data(), "DBM0", 5);
    state.summary.no_expected_length = true;
    const DbmModule module = open_module(state);
    const bool every_sample = state.settings.every_sample;
    if (every_sample)
        note_claimed_samples(state, module.samples);
    const int samples = std::min<int>(static_cast<int>(module.samples), every_sample ? sample_limit : slot_count);
    const std::vector<DbmInstrument> settings = settings_of_samples(input, module, samples);
    // SMPL: for each sample its flags, its length in frames and its values;
    // a sample's values end where its chunk ends.
    std::int64_t header = module.smpl.body;
    for (int number = 1; number <= samples; ++number) {
        StoredLayout layout;
        if (module.has_samples && header + 8 <= module.smpl.end()) {
            // A header wholly past the end: nothing is added past the record table.
            if (every_sample && header >= module.input_size) {
                note_header_past_end(state, number);
                if (number > slot_count)
                    continue;
            }
            seek_to(input, header);
            const std::uint32_t flags = read_u32be(input);
            layout = layout_of(flags, read_u32be(input));
            layout.offset = header + 8;
            const std::int64_t width = stored_value_bytes(layout);
            layout.frames = std::min(layout.frames, (module.smpl.end() - layout.offset) / width);
            header = layout.offset + layout.frames * width;
        }
        store_dbm_sample(state, number, settings[static_cast<std::size_t>(number - 1)], layout);
    }
    // Samples whose headers lie past the end are not in the list past 99.
    if (state.settings.instruments_needed)
        list_instruments(state, module, std::min(samples, static_cast<int>(state.samples.size())));
}

}  // namespace trk2inst
