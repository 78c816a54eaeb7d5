#include "mod_builder.h"

#include <algorithm>

namespace trk2inst::build {
Bytes mod_sample_data(const ModSample& sample, int slot_number)
{
    return sample.data ? *sample.data
                       : filler(2 * std::size_t{sample.length}, static_cast<unsigned>(slot_number));
}

namespace {

// The title and `count` 30-byte sample headers, the samples not given empty.
void put_title_and_sample_headers(Bytes& out, const std::string& title, const std::vector<ModSample>& samples,
                                  std::size_t count)
{
    put_text(out, title, 20);
    for (std::size_t i = 0; i < count; ++i) {
        const ModSample sample = i < samples.size() ? samples[i] : ModSample{};
        put_text(out, sample.name, 22);
        put_u16be(out, sample.length);
        put_u8(out, sample.finetune);
        put_u8(out, sample.volume);
        put_u16be(out, sample.loop_start);
        put_u16be(out, sample.loop_length);
    }
}

}  // namespace

Bytes build_mod(const ModSpec& layout)
{
    Bytes out;
    put_title_and_sample_headers(out, layout.title, layout.samples, 31);
    put_u8(out, layout.song_length);
    put_u8(out, layout.restart);
    for (std::uint8_t order : layout.orders)
        put_u8(out, order);
    put_text(out, layout.tag, 4);
    append(out, layout.after_tag);
    if (layout.pattern_data) {
        append(out, *layout.pattern_data);
    } else {
        const std::size_t patterns = *std::max_element(layout.orders.begin(), layout.orders.end()) + 1u;
        fit_to(out, out.size() + patterns * static_cast<std::size_t>(layout.channels) * 256);
    }
    for (std::size_t i = 0; i < layout.samples.size() && i < 31; ++i)
        append(out, mod_sample_data(layout.samples[i], static_cast<int>(i + 1)));
    return out;
}

Bytes build_st15(const St15Spec& layout)
{
    Bytes out;
    put_title_and_sample_headers(out, layout.title, layout.samples, 15);  // loop starts in bytes
    put_u8(out, layout.song_length);
    put_u8(out, layout.tempo);
    for (std::uint8_t order : layout.orders)
        put_u8(out, order);
    if (layout.pattern_data) {
        append(out, *layout.pattern_data);
    } else {
        const std::size_t patterns = *std::max_element(layout.orders.begin(), layout.orders.end()) + 1u;
        fit_to(out, out.size() + patterns * 1024);
    }
    for (std::size_t i = 0; i < layout.samples.size() && i < 15; ++i)
        append(out, mod_sample_data(layout.samples[i], static_cast<int>(i + 1)));
    return out;
}

Bytes mod_adpcm_data(const std::array<std::int8_t, 16>& table, const std::vector<std::uint8_t>& steps)
{
    Bytes out;
    put_text(out, "ADPCM", 5);
    append(out, adpcm_pack(table, steps));
    return out;
}

namespace {

Bytes data_or_filler(const std::optional<Bytes>& data, std::uint16_t length, int slot_number)
{
    return data ? *data : filler(2 * std::size_t{length}, static_cast<unsigned>(slot_number));
}

// Song length, a byte, the 128 orders and the tag from offset 950.
void put_song_and_tag(Bytes& out, std::uint8_t song_length, const std::array<std::uint8_t, 128>& orders,
                      const std::string& tag)
{
    fit_to(out, 950);
    put_u8(out, song_length);
    put_u8(out, 0);
    for (std::uint8_t order : orders)
        put_u8(out, order);
    put_text(out, tag, 4);
}

}  // namespace

Bytes build_noiserunner(const NruSpec& layout)
{
    Bytes out;
    std::uint32_t address = 0x10000;
    for (std::size_t i = 0; i < 31; ++i) {
        static const NruSample empty;
        const NruSample& sample = i < layout.samples.size() ? layout.samples[i] : empty;
        put_u16be(out, sample.volume);
        put_u32be(out, address);
        put_u16be(out, sample.length);
        put_u32be(out, address + sample.loop_offset);
        put_u16be(out, sample.loop_length);
        put_u16be(out, static_cast<std::uint16_t>(sample.finetune));
        address += 2u * sample.length;
    }
    put_song_and_tag(out, layout.song_length, layout.orders, "M.K.");
    const std::size_t patterns =
        *std::max_element(layout.orders.begin(), layout.orders.begin() + std::max(layout.song_length, std::uint8_t{1})) + 1u;
    append(out, layout.pattern_data.value_or(Bytes(patterns * 1024, 0)));
    for (std::size_t i = 0; i < layout.samples.size() && i < 31; ++i)
        append(out, data_or_filler(layout.samples[i].data, layout.samples[i].length, static_cast<int>(i + 1)));
    return out;
}

Bytes build_unic(const UnicSpec& layout)
{
    Bytes out;
    put_text(out, layout.title, 20);
    for (std::size_t i = 0; i < 31; ++i) {
        static const UnicSample empty;
        const UnicSample& sample = i < layout.samples.size() ? layout.samples[i] : empty;
        put_text(out, sample.name, 20);
        put_u16be(out, static_cast<std::uint16_t>(sample.finetune));
        put_u16be(out, sample.length);
        put_u8(out, 0);
        put_u8(out, sample.volume);
        put_u16be(out, sample.loop_start);
        put_u16be(out, sample.loop_length);
    }
    put_song_and_tag(out, layout.song_length, layout.orders, layout.tag);
    append(out, layout.pattern_data);
    for (std::size_t i = 0; i < layout.samples.size() && i < 31; ++i)
        append(out, data_or_filler(layout.samples[i].data, layout.samples[i].length, static_cast<int>(i + 1)));
    return out;
}

Bytes unic_cell(unsigned note, unsigned sample, unsigned effect, unsigned parameter)
{
    Bytes cell;
    put_u8(cell, (note & 0x3Fu) | (sample & 0x30u) << 2);
    put_u8(cell, (sample & 0x0Fu) << 4 | (effect & 0x0Fu));
    put_u8(cell, parameter);
    return cell;
}

}  // namespace trk2inst::build
