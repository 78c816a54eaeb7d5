// The Composer 669 and UNIS 669 reader, for "=A": a 497-byte header, 25-byte
// sample headers, patterns of a fixed size, then every sample's bytes back to
// back in header order. Unsigned 8-bit data, no volume, no finetune, no rate:
// every sample plays at 8363 Hz. Little-endian.
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t header_size = 497;
constexpr std::int64_t sample_header_size = 25;
constexpr std::int64_t pattern_size = 1536;  // 64 rows, 8 channels, 3 bytes
constexpr std::uint32_t no_loop = 0xFFFFF;   // a loop end this high or higher
constexpr int order_slots = 128;

// The message's three lines of text hold few control bytes; each order slot
// names a pattern, or ends the song, with a sound tempo and break row.
bool orders_sound(const ModuleHead& head)
{
    int control_bytes = 0;
    for (std::size_t at = 2; at < 110; ++at)
        control_bytes += head.u8(at) >= 0x01 && head.u8(at) <= 0x1F ? 1 : 0;
    if (control_bytes > 40)
        return false;
    for (std::size_t i = 0; i < order_slots; ++i) {
        const unsigned order = head.u8(113 + i);
        const unsigned tempo = head.u8(241 + i);
        if ((order >= 128 && order < 0xFE) || tempo > 15 || (order < 128 && tempo == 0) || head.u8(369 + i) >= 64)
            return false;
    }
    return true;
}

}  // namespace

bool is_669_module(const ModuleHead& head)
{
    return (head.holds(0, "if") || head.holds(0, "JN")) && head.u8(110) <= 64 && head.u8(111) <= 128 &&
           head.u8(112) < 128 && orders_sound(head);
}

void read_669_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 110);
    const int claimed = read_u8(input);
    const std::int64_t patterns = read_u8(input);
    set_listing(state.summary, "669 ", 8, patterns);
    std::int64_t data = header_size + sample_header_size * claimed + pattern_size * patterns;
    const int count = samples_to_read(state, claimed);
    for (int number = 1; number <= count; ++number) {
        const std::int64_t header = header_size + sample_header_size * (number - 1);
        seek_to(input, header);
        NameField name;
        StoredSample sample;
        sample.name = read_name_field(input, name, 13);  // a file name
        const std::uint32_t length = read_u32le(input);  // bytes
        sample.loop_start = read_u32le(input);
        sample.loop_end = read_u32le(input);             // exclusive
        sample.loops = sample.loop_end < no_loop;
        sample.rate = 8363;
        sample.layout.coding = StoredCoding::unsigned_values;
        sample.layout.frames = length;
        sample.layout.offset = data;
        data += length;
        if (sample_header_read(state, number, header))
            store_sample(state, number, sample);
    }
}

}  // namespace trk2inst
