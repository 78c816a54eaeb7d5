// The UltraTracker (ULT) reader, for "=A": a header with a message, sample
// headers of 64 bytes (66 from version 4, which adds a rate), orders, then
// run-length coded tracks of no stored size, then every sample's bytes back to
// back in header order. The tracks are walked to find the first sample byte.
// Little-endian.
#include <algorithm>
#include <cmath>
#include <vector>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t message_line = 32;
constexpr std::int64_t order_table_size = 256;
constexpr unsigned sixteen_bit = 0x04;
constexpr unsigned loop_on = 0x08;
constexpr unsigned ping_pong = 0x10;  // with loop_on
constexpr unsigned repeat_marker = 0xFC;
constexpr int rows_per_pattern = 64;
constexpr std::int64_t rest_of_event = 4;  // after its note byte
constexpr std::int64_t block_size = 64 * 1024;

// The bytes of the tracks, read forward a block at a time.
struct TrackBytes {
    InputStream& input;
    std::int64_t position;
    std::int64_t block_start = 0;
    std::vector<std::uint8_t> block{};

    unsigned next()
    {
        if (block.empty() || position < block_start || position >= block_start + block_size) {
            block.resize(block_size);
            block_start = position;
            seek_to(input, position);
            read_block(input, block.data(), block.size());
        }
        return block[static_cast<std::size_t>(position++ - block_start)];
    }
};

// Walks the tracks from `start`: channel after channel, each holding 64 rows
// of every pattern. An event is 5 bytes for one row, or 0xFC, a count and 5
// bytes for count rows (0: one row), cut at the pattern's end. Returns the
// offset after the tracks, or -1 when the input ends first.
std::int64_t end_of_tracks(InputStream& input, std::int64_t start, std::int64_t tracks)
{
    const std::int64_t end = input_size(input);
    TrackBytes bytes{input, start};
    for (std::int64_t track = 0; track < tracks; ++track) {
        int rows = 0;
        while (rows < rows_per_pattern) {
            int covered = 1;
            if (bytes.next() == repeat_marker) {
                covered = std::max(1, static_cast<int>(bytes.next()));
                bytes.next();  // the note
            }
            bytes.position += rest_of_event;
            rows = std::min(rows_per_pattern, rows + covered);
            if (bytes.position > end)
                return -1;
        }
    }
    return bytes.position;
}

std::uint8_t volume_of_64(unsigned volume)
{
    return static_cast<std::uint8_t>((volume * 64 + 127) / 255);
}

// The rate moved by a finetune of 1/32,768 semitone.
std::uint32_t tuned_rate(std::uint32_t rate, std::int16_t finetune)
{
    return static_cast<std::uint32_t>(std::lround(rate * std::exp2(finetune / 393216.0)));
}

// Reads the header at the input's position; returns the sample's bytes.
std::int64_t read_sample_header(InputStream& input, bool has_rate, NameField& name, StoredSample& sample)
{
    sample.name = read_name_field(input, name, 32);
    skip_bytes(input, 12);                                   // a file name
    const std::uint32_t loop_start = read_u32le(input);      // frames; bytes for 16-bit
    const std::uint32_t loop_end = read_u32le(input);        // the same, exclusive
    const std::uint32_t size_start = read_u32le(input);      // in the Gravis card's memory
    const std::uint32_t size_end = read_u32le(input);
    sample.volume = volume_of_64(read_u8(input));            // 0..255
    const unsigned flags = read_u8(input);
    const std::uint32_t rate = has_rate ? read_u16le(input) : 8363;
    sample.rate = tuned_rate(rate, static_cast<std::int16_t>(read_u16le(input)));
    const std::uint32_t width = (flags & sixteen_bit) != 0 ? 2 : 1;
    sample.loops = (flags & loop_on) != 0;
    sample.ping_pong = (flags & ping_pong) != 0;
    sample.loop_start = loop_start / width;
    sample.loop_end = loop_end / width;
    sample.layout.coding = StoredCoding::signed_values;
    sample.layout.bits = 8 * static_cast<int>(width);
    sample.layout.frames = size_end > size_start ? size_end - size_start : 0;
    return sample.layout.frames * width;
}

}  // namespace

bool is_ult_module(const ModuleHead& head)
{
    return head.holds(0, "MAS_UTrack_V00") && head.u8(14) >= '1' && head.u8(14) <= '4';
}

void read_ult_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 14);
    const unsigned version = read_u8(input) - unsigned{'0'};
    seek_to(input, 47);
    const std::int64_t headers = 49 + message_line * read_u8(input);
    seek_to(input, headers - 1);
    const int claimed = read_u8(input);
    const std::int64_t header_size = version >= 4 ? 66 : 64;
    seek_to(input, headers + header_size * claimed + order_table_size);
    const std::int64_t channels = read_u8(input) + 1;
    const std::int64_t patterns = read_u8(input) + 1;
    set_listing(state.summary, "ULT ", channels, patterns);
    const std::int64_t tracks = headers + header_size * claimed + order_table_size + 2 + (version >= 3 ? channels : 0);
    std::int64_t data = end_of_tracks(input, tracks, channels * patterns);
    // Tracks cut by the end of the input: every sample lies past it.
    if (data < 0)
        data = input_size(input);
    const int count = samples_to_read(state, claimed);
    for (int number = 1; number <= count; ++number) {
        const std::int64_t header = headers + header_size * (number - 1);
        seek_to(input, header);
        NameField name;
        StoredSample sample;
        const std::int64_t bytes = read_sample_header(input, version >= 4, name, sample);
        sample.layout.offset = data;
        data += bytes;
        if (sample_header_read(state, number, header))
            store_sample(state, number, sample);
    }
}

}  // namespace trk2inst
