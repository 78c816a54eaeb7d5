// The STMIK (STX) reader, for "=A": a Scream Tracker 2 header with
// paragraph pointers to Scream Tracker 3's tables; the sample pointer table
// leads to 80-byte sample records of Scream Tracker 3's layout, each pointing
// to its signed data. Little-endian.
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr unsigned type_sample = 1;
constexpr unsigned packed = 0x01;
constexpr unsigned loop_on = 0x01;
constexpr unsigned stereo = 0x02;
constexpr unsigned sixteen_bit = 0x04;

// Reads the record after its type byte.
void read_sample_record(InputStream& input, NameField& name, StoredSample& sample)
{
    skip_bytes(input, 12);                                   // a file name
    const std::uint32_t pointer_high = read_u8(input);
    const std::uint32_t pointer_low = read_u16le(input);
    const std::uint32_t length = read_u32le(input);          // frames
    sample.loop_start = read_u32le(input);
    sample.loop_end = read_u32le(input);                     // exclusive
    sample.volume = read_u8(input);
    skip_bytes(input, 1);                                    // reserved
    const unsigned packing = read_u8(input);
    const unsigned flags = read_u8(input);
    sample.rate = read_u32le(input);                         // C2Spd
    skip_bytes(input, 12);                                   // reserved
    sample.name = read_name_field(input, name, 28);
    sample.loops = (flags & loop_on) != 0;
    if ((packing & packed) != 0)
        return;  // packed in a way no file shows: no data
    sample.layout.coding = StoredCoding::signed_values;
    sample.layout.bits = (flags & sixteen_bit) != 0 ? 16 : 8;
    sample.layout.channels = (flags & stereo) != 0 ? 2 : 1;
    sample.layout.offset = std::int64_t{pointer_high << 16 | pointer_low} * 16;
    sample.layout.frames = length;
}

}  // namespace

bool is_stx_module(const ModuleHead& head)
{
    const unsigned first_pattern = head.u16le(28);
    const unsigned volume = head.u8(42);
    const unsigned orders = head.u16le(52);
    return head.holds(60, "SCRM") && head.printable(20, 28) &&
           ((first_pattern >= 64 && first_pattern <= 0x840) || first_pattern == 0x1A) && head.u16le(30) == 0 &&
           head.u32le(38) == 0 && head.u32le(44) == 1 && (volume <= 64 || volume == 0x58) && head.u16le(48) <= 64 &&
           head.u16le(50) <= 96 && (orders <= 0x81 || orders == 0x101);
}

void read_stx_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 34);
    const std::int64_t pointer_table = std::int64_t{read_u16le(input)} * 16;
    seek_to(input, 48);
    const std::int64_t patterns = read_u16le(input);
    const int claimed = read_u16le(input);
    set_listing(state.summary, "STX ", 4, patterns);
    const int count = samples_to_read(state, claimed);
    for (int number = 1; number <= count; ++number) {
        seek_to(input, pointer_table + 2 * (number - 1));
        const std::int64_t header = std::int64_t{read_u16le(input)} * 16;
        if (header == 0)
            continue;  // no record: offset 0 is the module's header
        seek_to(input, header);
        NameField name;
        StoredSample sample;
        const bool has_sample = read_u8(input) == type_sample;
        read_sample_record(input, name, sample);
        if (!has_sample)
            sample.layout = {};  // AdLib or empty: the name and fields alone
        if (sample_header_read(state, number, header))
            store_sample(state, number, sample);
    }
}

}  // namespace trk2inst
