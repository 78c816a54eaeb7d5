// The PolyTracker (PTM) reader, for "=A": a 608-byte header, then 80-byte
// sample headers, each holding the absolute offset of its delta-coded data.
// Little-endian.
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t header_size = 608;
constexpr std::int64_t sample_header_size = 80;
constexpr unsigned kind_mask = 0x03;
constexpr unsigned kind_sample = 1;  // the others: none, AdLib, MIDI
constexpr unsigned loop_on = 0x04;
constexpr unsigned ping_pong = 0x08;
constexpr unsigned sixteen_bit = 0x10;

bool within(unsigned value, unsigned lowest, unsigned highest)
{
    return value >= lowest && value <= highest;
}

// Reads the header at the input's position.
void read_sample_header(InputStream& input, NameField& name, StoredSample& sample)
{
    const unsigned type = read_u8(input);
    skip_bytes(input, 12);                                  // a file name
    sample.volume = read_u8(input);
    sample.rate = read_u16le(input);                        // C4Spd
    skip_bytes(input, 2);                                   // memory segment
    const std::int64_t offset = read_u32le(input);          // absolute
    const std::uint32_t length = read_u32le(input);         // bytes
    const std::uint32_t loop_start = read_u32le(input);     // bytes
    const std::uint32_t loop_end = read_u32le(input);       // bytes, exclusive
    skip_bytes(input, 14);                                  // Gravis card addresses
    sample.name = read_name_field(input, name, 28);
    if ((type & kind_mask) != kind_sample)
        return;
    const bool wide = (type & sixteen_bit) != 0;
    const std::uint32_t width = wide ? 2 : 1;
    sample.loops = (type & loop_on) != 0;
    sample.ping_pong = (type & ping_pong) != 0;
    sample.loop_start = loop_start / width;
    sample.loop_end = loop_end / width;
    // 16-bit values are a delta over all their bytes, read as words afterwards.
    sample.layout.coding = wide ? StoredCoding::byte_delta : StoredCoding::delta;
    sample.layout.bits = wide ? 16 : 8;
    sample.layout.offset = offset;
    sample.layout.frames = length / width;
}

}  // namespace

bool is_ptm_module(const ModuleHead& head)
{
    return head.holds(44, "PTMF") && head.u8(28) == 0x1A && head.u8(30) <= 2 && head.u16le(40) == 0 &&
           within(head.u16le(38), 1, 32) && within(head.u16le(32), 1, 256) && within(head.u16le(34), 1, 255) &&
           within(head.u16le(36), 1, 128);
}

void read_ptm_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 34);
    const int claimed = read_u16le(input);
    const std::int64_t patterns = read_u16le(input);
    set_listing(state.summary, "PTM ", read_u16le(input), patterns);
    const int count = samples_to_read(state, claimed);
    for (int number = 1; number <= count; ++number) {
        const std::int64_t header = header_size + sample_header_size * (number - 1);
        seek_to(input, header);
        NameField name;
        StoredSample sample;
        read_sample_header(input, name, sample);
        if (sample_header_read(state, number, header))
            store_sample(state, number, sample);
    }
}

}  // namespace trk2inst
