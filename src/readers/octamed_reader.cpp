// The OctaMED reader, for "=A": MMD0, MMD1, MMD2, MMD3 and MMDC. Every number
// is big-endian and every structure is reached through an absolute u32
// pointer (0: not there), so the input is a seekable file. Bytes past its end
// read as 0: no module makes this reader fail, the worst leaves slots empty.
// Instrument i lands in slot i, for i up to 63.
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

constexpr int octamed_instruments = 63;
constexpr std::int64_t instrument_header_size = 6;  // length u32, type s16
constexpr int octamed_name_length = 22;             // of the 40 bytes an entry may hold

// Instrument types, the low nibble, and the flags above it.
constexpr unsigned type_sample = 0;
constexpr unsigned type_ext_sample = 7;  // two extra-low octaves
constexpr std::int16_t type_hybrid = -2;
constexpr unsigned flag_16_bit = 0x10;
constexpr unsigned flag_stereo = 0x20;
constexpr unsigned flag_delta = 0x40;
constexpr unsigned flag_packed = 0x80;
constexpr unsigned obsolete_md16 = 0x18;  // read as 16-bit
constexpr unsigned most_hybrid_waveforms = 64;
// Parts of the multi-octave types 1 to 6.
constexpr std::array<int, 6> octave_parts{5, 3, 2, 4, 6, 7};

// InstrExt flags.
constexpr unsigned loop_on = 0x01;
constexpr unsigned loop_ping_pong = 0x08;

std::uint32_t u32_at(InputStream& input, std::int64_t offset)
{
    seek_to(input, offset);
    return read_u32be(input);
}

unsigned u16_at(InputStream& input, std::int64_t offset)
{
    seek_to(input, offset);
    return read_u16be(input);
}

unsigned u8_at(InputStream& input, std::int64_t offset)
{
    seek_to(input, offset);
    return read_u8(input);
}

// An array of the expansion structure: its entry i (from 1) exists only when
// the pointer is not 0 and i is within the count; sizes are as stored.
struct EntryArray {
    std::int64_t pointer = 0;
    unsigned count = 0;
    unsigned size = 0;

    bool holds(int i) const { return pointer != 0 && i <= static_cast<int>(count); }
    std::int64_t entry(int i) const { return pointer + std::int64_t{i - 1} * size; }
};

EntryArray entry_array(InputStream& input, std::int64_t pointer_at)
{
    EntryArray array;
    array.pointer = u32_at(input, pointer_at);
    array.count = read_u16be(input);
    array.size = read_u16be(input);
    return array;
}

struct OctamedModule {
    std::int64_t file_size = 0;
    std::int64_t song = 0;
    std::int64_t sample_array = 0;
    EntryArray instrument_ext;
    EntryArray names;
    DecodeBuffers buffers;
};

// Where a slot's values are, in the module.
struct SampleData {
    bool present = false;
    std::int64_t header = 0;         // the header that describes them (a hybrid's own sample's)
    std::int64_t offset = 0;         // the left channel's first byte
    std::int64_t channel_bytes = 0;  // from the left channel's start to the right's
    std::int64_t values = 0;         // of each channel
    int bits = 8;
    bool stereo = false;
    bool delta = false;
    std::int64_t loop_scale = 1;  // a multi-octave loop is its first part's
    int transpose = 0;            // semitones the kind adds to the entry's
};

bool header_inside(const OctamedModule& module, std::int64_t header)
{
    return header != 0 && header + instrument_header_size <= module.file_size;
}

// Types 0 and 7: the values after the header, each channel `length` bytes.
SampleData plain_sample(std::int64_t header, std::uint32_t length, unsigned type)
{
    const unsigned flags = type & 0xF0;
    if ((flags & flag_packed) != 0)
        return {};
    SampleData data;
    data.present = true;
    data.header = header;
    data.offset = header + instrument_header_size;
    data.channel_bytes = length;
    data.bits = (flags & flag_16_bit) != 0 ? 16 : 8;
    data.values = data.bits == 16 ? length / 2 : length;  // an odd last byte is half a value
    data.stereo = (flags & flag_stereo) != 0;
    data.delta = (flags & flag_delta) != 0;
    data.transpose = (type & 0x0F) == type_ext_sample ? -24 : 0;
    return data;
}

// Types 1 to 6: n parts, each an octave lower and twice as long as the one
// before; the slot gets the longest, the last. 8-bit mono only.
SampleData longest_part(std::int64_t header, std::uint32_t length, unsigned type)
{
    if ((type & 0xF0) != 0)
        return {};
    const int parts = octave_parts[(type & 0x0F) - 1];
    const std::int64_t base = length / ((std::int64_t{1} << parts) - 1);
    const std::int64_t scale = std::int64_t{1} << (parts - 1);
    SampleData data;
    data.present = true;
    data.header = header;
    data.offset = header + instrument_header_size + base * (scale - 1);
    data.values = base * scale;
    data.loop_scale = scale;
    data.transpose = (type & 0x0F) == 1 ? 12 : 0;  // five octaves: the longest plays an octave up
    return data;
}

SampleData locate_sample(InputStream& input, const OctamedModule& module, std::int64_t header);

// A hybrid's first waveform is an ordinary instrument header with its sample,
// at an offset from the hybrid's own header; only a type-0 one counts.
SampleData hybrid_sample(InputStream& input, const OctamedModule& module, std::int64_t header)
{
    const unsigned waveforms = u16_at(input, header + 20);
    if (waveforms < 1 || waveforms > most_hybrid_waveforms)
        return {};
    const std::int64_t own = header + u32_at(input, header + 278);
    if (!header_inside(module, own) || u16_at(input, own + 4) != type_sample)
        return {};
    return locate_sample(input, module, own);
}

SampleData locate_sample(InputStream& input, const OctamedModule& module, std::int64_t header)
{
    if (!header_inside(module, header))
        return {};
    const std::uint32_t length = u32_at(input, header);  // bytes of each channel
    const auto type = static_cast<std::int16_t>(read_u16be(input));
    if (type == type_hybrid)
        return hybrid_sample(input, module, header);
    if (type < 0 || (type & 0xFF00) != 0)
        return {};  // a synth, a plug-in, or unknown
    auto bits = static_cast<unsigned>(type);
    if ((bits & 0x1F) == obsolete_md16)
        bits = (bits & ~0x1Fu) | flag_16_bit;
    const unsigned kind = bits & 0x0F;
    if (kind == type_sample || kind == type_ext_sample)
        return plain_sample(header, length, bits);
    if (kind <= octave_parts.size())
        return longest_part(header, length, bits);
    return {};
}

struct ChannelsRead {
    std::int64_t frames = 0;  // values of each channel inside the input
    bool complete = true;     // the input holds every value
};

// Decodes at least `keep` values of each channel into the buffers, and with
// whole_source every value inside the input; values not wholly inside are 0.
ChannelsRead read_values(InputStream& input, OctamedModule& module, const SampleData& data, std::size_t keep,
                         bool whole_source)
{
    const std::int64_t width = data.bits / 8;
    ChannelsRead read{data.values, true};
    for (std::size_t channel = 0; channel < (data.stereo ? 2u : 1u); ++channel) {
        const std::int64_t start = data.offset + static_cast<std::int64_t>(channel) * data.channel_bytes;
        const std::int64_t present =
            std::clamp<std::int64_t>((module.file_size - start) / width, 0, data.values);
        read.frames = std::min(read.frames, present);
        read.complete = read.complete && present == data.values;
        const std::size_t count = std::max(keep, whole_source ? static_cast<std::size_t>(present) : 0);
        std::vector<std::uint8_t>& bytes = module.buffers.bytes;
        bytes.resize(count * static_cast<std::size_t>(width));
        seek_to(input, start);
        read_block(input, bytes.data(), bytes.size());
        SampleValues& out = module.buffers.channels[channel];
        out.resize(count);
        decode_pcm(bytes.data(), data.bits, false, true, out.data(), count);
        if (data.delta) {
            const unsigned mask = data.bits == 16 ? 0xFFFF : 0xFF;
            unsigned sum = 0;
            for (std::int16_t& value : out) {
                sum = (sum + static_cast<std::uint16_t>(value)) & mask;
                value = data.bits == 16 ? static_cast<std::int16_t>(sum) : static_cast<std::int8_t>(sum);
            }
        }
        if (present < static_cast<std::int64_t>(count))
            std::fill(out.begin() + present, out.end(), std::int16_t{0});
    }
    return read;
}

struct OctamedLoop {
    bool on = false;
    bool ping_pong = false;
    std::int64_t start = 0;   // frames
    std::int64_t length = 0;  // frames
};

// InstrExt's long loop and its flags where the entry holds them; otherwise
// the song entry's words, a loop when replen is above 1.
OctamedLoop loop_of(InputStream& input, const OctamedModule& module, int instrument, const SampleData& data)
{
    const std::int64_t entry = module.song + 8 * std::int64_t{instrument - 1};
    const unsigned rep = u16_at(input, entry);  // words
    const unsigned replen = read_u16be(input);
    OctamedLoop loop{replen > 1, false, 2 * std::int64_t{rep}, 2 * std::int64_t{replen}};
    const EntryArray& ext = module.instrument_ext;
    if (ext.holds(instrument) && ext.size >= 6) {
        const unsigned flags = u8_at(input, ext.entry(instrument) + 5);
        loop.on = (flags & loop_on) != 0;
        loop.ping_pong = loop.on && (flags & loop_ping_pong) != 0;
    }
    if (ext.holds(instrument) && ext.size >= 18) {
        loop.start = u32_at(input, ext.entry(instrument) + 10);
        loop.length = read_u32be(input);
    }
    loop.start *= data.loop_scale;
    loop.length *= data.loop_scale;
    return loop;
}

// Name, volume, note and finetune; the slot keeps what it is given.
void read_instrument_fields(InputStream& input, const OctamedModule& module, int instrument, int transpose,
                            SampleSlot& slot)
{
    const std::int64_t entry = module.song + 8 * std::int64_t{instrument - 1};
    slot.volume = static_cast<std::uint8_t>(u8_at(input, entry + 6));
    const auto strans = static_cast<std::int8_t>(read_u8(input));
    slot.note = static_cast<std::int8_t>(static_cast<std::uint8_t>((strans + transpose) & 0xFF));
    const EntryArray& ext = module.instrument_ext;
    if (ext.holds(instrument) && ext.size >= 4)
        slot.finetune = static_cast<std::uint8_t>(u8_at(input, ext.entry(instrument) + 3) & 0x0F);
    const EntryArray& names = module.names;
    if (names.holds(instrument)) {
        seek_to(input, names.entry(instrument));
        const std::size_t size = std::min<std::size_t>(names.size, octamed_name_length);
        read_block(input, slot.name.data(), size);
        const auto end = std::find(slot.name.begin(), slot.name.begin() + static_cast<std::ptrdiff_t>(size), '\0');
        std::fill(end, slot.name.end(), '\0');
    }
}

void read_instrument(RunState& state, OctamedModule& module, int instrument)
{
    InputStream& input = state.input;
    if (module.sample_array == 0)
        return;
    const SampleData data = locate_sample(input, module, u32_at(input, module.sample_array + 4 * std::int64_t{instrument - 1}));
    if (!data.present)
        return;  // the slot stays empty
    SampleSlot& slot = state.samples[static_cast<std::size_t>(instrument - 1)];
    read_instrument_fields(input, module, instrument, data.transpose, slot);
    const OctamedLoop loop = loop_of(input, module, instrument, data);
    SampleShape shape;
    shape.bits = data.bits;
    shape.stereo = data.stereo;
    shape.length = data.values;
    shape.loops = loop.on && !loop.ping_pong;  // the record holds no ping-pong loop
    shape.loop_begin = loop.start;
    shape.loop_end = loop.start + loop.length;
    // The source's frames are known from the file's size: only the values
    // the slot keeps are decoded now.
    const bool whole_source = state.settings.source_need != SourceNeed::none;
    const ChannelsRead read =
        read_values(input, module, data, static_cast<std::size_t>(values_to_keep(shape)), false);
    const auto& channels = module.buffers.channels;
    const bool as_they_stand = store_converted_sample(slot, shape, channels[0], channels[1], instrument);
    if (!slot.data)
        return;
    if (!read.complete)
        note_cut_sample(state, instrument);
    if (!whole_source)
        return;
    SourceShape source;
    source.bits = data.bits;
    source.channels = data.stereo ? 2 : 1;
    source.frames = read.frames;
    source.rate = rate_from_pitch(slot.note, slot.finetune);
    if (loop.on)
        add_source_loop(source, loop.ping_pong, false, loop.start, loop.start + loop.length);
    describe_source(slot, source, as_they_stand);
    // Stored as they stand: read again when written, rather than kept until then.
    decode_source_values_when_written(slot, data.header);
}

// The largest track count of the blocks: u8 at each block in MMD0 and MMDC,
// u16 in MMD1 to MMD3.
std::int32_t count_channels(InputStream& input, std::int64_t block_array, unsigned blocks, bool wide_header)
{
    unsigned channels = 0;
    for (unsigned i = 0; i < blocks && block_array != 0; ++i) {
        const std::uint32_t block = u32_at(input, block_array + 4 * std::int64_t{i});
        if (block != 0)
            channels = std::max(channels, wide_header ? u16_at(input, block) : u8_at(input, block));
    }
    return static_cast<std::int32_t>(channels);
}

OctamedModule open_module(InputStream& input)
{
    OctamedModule module;
    module.file_size = input_size(input);
    module.song = u32_at(input, 8);
    module.sample_array = u32_at(input, 24);
    const std::int64_t expansion = u32_at(input, 32);
    if (expansion != 0) {
        module.instrument_ext = entry_array(input, expansion + 4);
        module.names = entry_array(input, expansion + 20);
    }
    return module;
}

}  // namespace

void read_octamed_module(RunState& state)
{
    InputStream& input = state.input;
    OctamedModule module = open_module(input);
    ModuleSummary& summary = state.summary;
    seek_to(input, 0);
    read_block(input, summary.format_tag.data(), 4);
    summary.format_tag[4] = '\0';
    summary.no_expected_length = true;
    if (module.song == 0)
        return;  // no song: no blocks, no instruments
    const unsigned blocks = u16_at(input, module.song + 504);
    summary.patterns = static_cast<std::int32_t>(blocks);
    const bool wide_block_header = summary.format_tag[3] != '0' && summary.format_tag[3] != 'C';
    summary.channels = count_channels(input, u32_at(input, 16), blocks, wide_block_header);
    const int instruments = std::min<int>(static_cast<int>(u8_at(input, module.song + 787)), octamed_instruments);
    for (int instrument = 1; instrument <= instruments; ++instrument)
        read_instrument(state, module, instrument);
}

void decode_octamed_source(RunState& state, std::size_t index, std::vector<std::uint8_t>& wav)
{
    InputStream& input = state.input;
    const SourceSample& source = state.samples[index].source;
    OctamedModule module = open_module(input);
    const SampleData data = locate_sample(input, module, source.header_offset);
    if (!data.present)
        return;
    read_values(input, module, data, 0, true);
    const auto& channels = module.buffers.channels;
    encode_wav_data(data.bits, channels[0],
                    data.stereo ? std::span<const std::int16_t>(channels[1]) : std::span<const std::int16_t>{},
                    source.shape.frames, wav);
}

}  // namespace trk2inst
