// The Scream Tracker 2 (STM) reader, for "=A": a 48-byte header, 31 sample
// headers of 32 bytes (version 1.10: as many as the header says, after a gap
// it gives), orders and patterns; each sample's signed 8-bit bytes lie at its
// own paragraph pointer. A "song" (type 1) keeps its samples in files of
// their own: its slots have names and fields and no data. Little-endian.
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t header_size = 48;
constexpr std::int64_t sample_header_size = 32;
constexpr int module_samples = 31;
constexpr unsigned type_song = 1;
constexpr unsigned type_module = 2;
constexpr std::uint16_t no_loop = 0xFFFF;

bool known_version(unsigned major, unsigned minor)
{
    return (major == 2 && (minor == 0 || minor == 10 || minor == 20 || minor == 21)) || (major == 1 && minor == 10);
}

// Version 1.10: at most 32 instruments, 4 channels, 64 rows.
bool song_counts_sound(const ModuleHead& head)
{
    return head.u16le(32) <= 32 && head.u8(41) <= 4 && head.u16le(42) <= 64;
}

// Version 2: 64 patterns at most, a global volume of 64 (or 0x58), each
// sample's byte 12 is 0 (or 46), each order names a pattern or ends the song.
bool module_counts_sound(const ModuleHead& head)
{
    if (head.u8(33) > 64 || (head.u8(34) > 64 && head.u8(34) != 0x58))
        return false;
    for (std::size_t i = 0; i < module_samples; ++i) {
        const unsigned byte = head.u8(header_size + sample_header_size * i + 12);
        if (byte != 0 && byte != 46)
            return false;
    }
    const std::size_t orders = head.u8(31) == 0 ? 64 : 128;
    for (std::size_t i = 0; i < orders; ++i) {
        const unsigned order = head.u8(1040 + i);
        if (order > 63 && order != 99 && order != 255)
            return false;
    }
    return true;
}

}  // namespace

bool is_stm_module(const ModuleHead& head)
{
    const unsigned type = head.u8(29);
    if (!head.printable(20, 28) || (head.u8(28) != 0x1A && head.u8(28) != 0x02) ||
        (type != type_song && type != type_module) || !known_version(head.u8(30), head.u8(31)) ||
        head.holds(60, "SCRM"))
        return false;
    return head.u8(30) == 1 ? song_counts_sound(head) : module_counts_sound(head);
}

void read_stm_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 29);
    const bool module = read_u8(input) == type_module;
    const bool version_1 = read_u8(input) == 1;
    seek_to(input, 32);
    std::int64_t claimed = module_samples;
    std::int64_t patterns = 0;
    std::int64_t headers = header_size;
    if (version_1) {
        claimed = read_u16le(input);      // instruments
        skip_bytes(input, 2);             // orders
        patterns = read_u16le(input);
        skip_bytes(input, 8);             // sample rate, tempo, channels, rows, reserved
        headers += read_u16le(input);     // a gap before the sample headers
    } else {
        skip_bytes(input, 1);             // tempo
        patterns = read_u8(input);
    }
    set_listing(state.summary, "STM ", 4, patterns);
    const int count = samples_to_read(state, claimed);
    for (int number = 1; number <= count; ++number) {
        const std::int64_t header = headers + sample_header_size * (number - 1);
        seek_to(input, header);
        NameField name;
        StoredSample sample;
        sample.name = read_name_field(input, name, 12);        // a file name
        skip_bytes(input, 2);                                  // 0, disk number
        const std::int64_t data = std::int64_t{read_u16le(input)} * 16;
        const std::uint16_t length = read_u16le(input);        // bytes
        const std::uint16_t loop_start = read_u16le(input);
        const std::uint16_t loop_end = read_u16le(input);      // exclusive
        sample.volume = read_u8(input);
        skip_bytes(input, 1);                                  // reserved
        sample.rate = read_u16le(input);                       // C2Spd
        sample.loops = loop_end != no_loop && loop_end > loop_start;
        sample.loop_start = loop_start;
        sample.loop_end = loop_end;
        // Scream Tracker 2 leaves a sample of volume 0 unused.
        if (module && data != 0 && sample.volume != 0) {
            sample.layout.coding = StoredCoding::signed_values;
            sample.layout.offset = data;
            sample.layout.frames = length;
        }
        if (sample_header_read(state, number, header))
            store_sample(state, number, sample);
    }
}

}  // namespace trk2inst
