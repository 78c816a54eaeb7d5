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
    put_u8(out, 127);  // restart byte as ProTracker writes it
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

}  // namespace trk2inst::build
