// General DigiMusic modules, which the 2GDM converter writes from MODs, S3Ms
// and other formats: a header of offsets, sample headers one after another
// and their data back to back, unsigned.
#include <algorithm>
#include <array>
#include <cstring>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::size_t pan_map = 81;
constexpr unsigned pan_entries = 32;
constexpr unsigned channel_absent = 255;
constexpr std::int64_t sample_header_size = 62;

constexpr unsigned flag_loop = 0x01;
constexpr unsigned flag_16_bit = 0x02;
constexpr unsigned flag_volume = 0x04;
constexpr unsigned flag_packed = 0x10;  // LZW; no converter wrote one
constexpr unsigned flag_stereo = 0x20;  // likewise

// The channels are the pan map's entries before the first absent one.
int gdm_channels(const ModuleHead& head)
{
    int channels = 0;
    while (channels < static_cast<int>(pan_entries) &&
           head.u8(pan_map + static_cast<std::size_t>(channels)) != channel_absent)
        ++channels;
    return channels;
}

}  // namespace

bool is_gdm_module(const ModuleHead& head)
{
    const unsigned original_format = head.u16le(116);
    return head.holds(0, "GDM\xFE") && head.holds(68, "\r\n\x1A") && head.holds(71, "GMFS") && head.u8(75) == 1 &&
           head.u8(76) == 0 && original_format >= 1 && original_format <= 9 && gdm_channels(head) > 0;
}

void read_gdm_module(RunState& state)
{
    InputStream& input = state.input;
    ModuleHead head;
    head.size = read_block(input, head.bytes.data(), 157);
    std::memcpy(state.summary.format_tag.data(), "GDM ", 5);
    state.summary.channels = gdm_channels(head);
    state.summary.patterns = static_cast<std::int32_t>(head.u8(127)) + 1;
    state.summary.no_expected_length = true;
    // 2GDM 1.x stores each loop end one past its exclusive end.
    const bool end_plus_one = head.u8(79) >= 1;
    const std::int64_t headers = head.u32le(128);
    std::int64_t data = head.u32le(132);
    const int count = static_cast<int>(head.u8(136)) + 1;
    const int read = std::min(count, state.settings.every_sample ? sample_limit : slot_count);
    const std::int64_t file_size = input_size(input);
    for (int i = 0; i < read; ++i) {
        const std::int64_t at = headers + sample_header_size * i;
        if (state.settings.every_sample && at >= file_size) {
            note_header_past_end(state, i + 1);
            if (i >= slot_count)
                continue;
        }
        seek_to(input, at);
        std::array<char, 32> name{};
        read_block(input, name.data(), name.size());
        skip_bytes(input, 12 + 1);  // DOS file name, EMS handle
        const std::uint32_t length = read_u32le(input);  // bytes
        std::int64_t loop_start = read_u32le(input);
        std::int64_t loop_end = read_u32le(input);
        const unsigned flags = read_u8(input);
        const std::uint16_t rate = read_u16le(input);  // Hz at C-4
        const std::uint8_t volume = read_u8(input);   // 0..64
        const bool sixteen_bit = (flags & flag_16_bit) != 0;
        if (end_plus_one)
            --loop_end;
        if (sixteen_bit) {  // bytes, as the length
            loop_start /= 2;
            loop_end /= 2;
        }
        StoredSample sample;
        sample.name = std::string_view(name.data(), name.size());
        sample.volume = (flags & flag_volume) != 0 ? volume : 64;
        sample.rate = rate;
        const bool has_data = (flags & (flag_packed | flag_stereo)) == 0;
        const std::int64_t frames = has_data ? (sixteen_bit ? length / 2 : length) : 0;
        sample.layout = {StoredCoding::unsigned_values, sixteen_bit ? 16 : 8, false, 1, data, frames};
        sample.loops = (flags & flag_loop) != 0;
        sample.loop_start = loop_start;
        sample.loop_end = loop_end;
        store_sample(state, i + 1, sample);
        data += length;
    }
}

}  // namespace trk2inst
