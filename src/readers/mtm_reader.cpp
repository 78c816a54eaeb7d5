// The MultiTracker (MTM) reader, for "=A": a 66-byte header, 37-byte sample
// headers, then orders, tracks, pattern track lists and a comment, each of a
// size the header gives, then every sample's bytes back to back in header
// order. Little-endian; nothing needs walking.
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t header_size = 66;
constexpr std::int64_t sample_header_size = 37;
constexpr std::int64_t order_table_size = 128;
constexpr std::int64_t track_size = 192;    // 64 rows of 3 bytes
constexpr std::int64_t pattern_size = 64;   // 32 track numbers
constexpr unsigned sixteen_bit = 0x01;      // attribute bit
constexpr std::uint32_t shortest_loop_end = 3;

// Reads the header at the input's position; returns the bytes its data take.
std::uint32_t read_sample_header(InputStream& input, NameField& name, StoredSample& sample)
{
    sample.name = read_name_field(input, name, 22);
    const std::uint32_t length = read_u32le(input);      // bytes
    const std::uint32_t loop_start = read_u32le(input);  // bytes
    const std::uint32_t loop_end = read_u32le(input);    // bytes, exclusive
    sample.finetune = read_u8(input) & 0x0F;             // ProTracker's nibble
    sample.volume = read_u8(input);
    const bool wide = (read_u8(input) & sixteen_bit) != 0;
    const std::uint32_t width = wide ? 2 : 1;
    sample.layout.coding = StoredCoding::unsigned_values;
    sample.layout.bits = wide ? 16 : 8;
    sample.layout.frames = length / width;
    sample.loops = loop_end >= shortest_loop_end && loop_end > loop_start;
    sample.loop_start = loop_start / width;
    sample.loop_end = loop_end / width;
    return length;
}

}  // namespace

bool is_mtm_module(const ModuleHead& head)
{
    return head.holds(0, "MTM") && head.u8(3) < 0x20 && head.u8(33) >= 1 && head.u8(33) <= 32 &&
           head.u8(27) <= 127 && head.u8(32) <= 64;
}

void read_mtm_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 24);
    const std::int64_t tracks = read_u16le(input);         // track 0, always empty, is not stored
    const std::int64_t patterns = read_u8(input) + 1;      // the last pattern's number, plus 1
    skip_bytes(input, 1);                                  // last order
    const std::int64_t comment = read_u16le(input);        // bytes
    const int claimed = read_u8(input);
    skip_bytes(input, 2);                                  // attribute, rows per track
    set_listing(state.summary, "MTM ", read_u8(input), patterns);
    std::int64_t data = header_size + sample_header_size * claimed + order_table_size + track_size * tracks +
                        pattern_size * patterns + comment;
    const int count = samples_to_read(state, claimed);
    for (int number = 1; number <= count; ++number) {
        const std::int64_t header = header_size + sample_header_size * (number - 1);
        seek_to(input, header);
        NameField name;
        StoredSample sample;
        const std::uint32_t length = read_sample_header(input, name, sample);
        sample.layout.offset = data;
        data += length;
        if (sample_header_read(state, number, header))
            store_sample(state, number, sample);
    }
}

}  // namespace trk2inst
