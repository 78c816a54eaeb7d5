#include "soundfont_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace trk2inst::test {

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Chunk {
    std::string id;
    std::size_t at, size;  // its data
};

unsigned u16(const Bytes& b, std::size_t at)
{
    return at + 2 <= b.size() ? unsigned{b[at]} | unsigned{b[at + 1]} << 8 : 0;
}

std::uint32_t u32(const Bytes& b, std::size_t at)
{
    return u16(b, at) | std::uint32_t{u16(b, at + 2)} << 16;
}

// Up to the first zero byte.
std::string text(const Bytes& b, std::size_t at, std::size_t size)
{
    const std::string all(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + size));
    return all.substr(0, all.find('\0'));
}

// The chunks that must fill [at, end).
std::vector<Chunk> chunks(const Bytes& b, std::size_t at, std::size_t end, SoundFont& bank)
{
    std::vector<Chunk> out;
    for (; at + 8 <= end && at + 8 + u32(b, at + 4) <= end; at += 8 + out.back().size + (out.back().size & 1))
        out.push_back({text(b, at, 4), at + 8, u32(b, at + 4)});
    if (at != end)
        bank.faults.push_back("chunks that do not fill their list");
    return out;
}

// Presets or instruments: headers of `size` bytes with their first zone at
// `bag_at`, zones, modulators and generators, each list closed by its
// terminal record, every index list from 0 on and never back, no modulator.
// In a zone the key range comes first and the index generator last; a zone
// without it (global) comes first.
void read_level(const Bytes& b, const Chunk* lists, std::size_t size, std::size_t bag_at, const char* terminal,
                unsigned index_generator, std::size_t references, SoundFont& bank)
{
    const Chunk &heads = lists[0], &bags = lists[1], &mods = lists[2], &gens = lists[3];
    const std::size_t count = heads.size / size, zones = bags.size / 4 - 1, generators = gens.size / 4 - 1;
    const auto first_zone = [&](std::size_t i) { return u16(b, heads.at + i * size + bag_at); };
    const auto first_generator = [&](std::size_t z) { return u16(b, bags.at + 4 * z); };
    bool sound = text(b, heads.at + heads.size - size, 20) == terminal && first_zone(count - 1) == zones &&
                 first_generator(zones) == generators && u16(b, bags.at + 4 * zones + 2) == 0 &&
                 u32(b, gens.at + gens.size - 4) == 0 && mods.size == 10 &&
                 u32(b, mods.at) == 0 && u32(b, mods.at + 4) == 0 && u16(b, mods.at + 8) == 0;
    char item[32];
    for (std::size_t i = 0; i + 1 < count; ++i) {
        std::snprintf(item, sizeof item, size == 38 ? " %u:%u\n" : ":", u16(b, heads.at + i * size + 22),
                      u16(b, heads.at + i * size + 20));
        bank.listing += text(b, heads.at + i * size, 20) + item;
        sound = sound && first_zone(i + 1) > first_zone(i) && first_zone(i + 1) <= zones;
        for (std::size_t z = first_zone(i); sound && z < first_zone(i + 1); ++z) {
            const std::size_t first = first_generator(z), end = first_generator(z + 1);
            sound = end >= first && end <= generators && u16(b, bags.at + 4 * z + 2) == 0;
            bank.listing += size == 38 ? "" : " {";
            for (std::size_t g = first; sound && g < end; ++g) {
                const unsigned number = u16(b, gens.at + 4 * g), amount = u16(b, gens.at + 4 * g + 2);
                sound = (number != 43 || (g == first && (amount & 0xFF) <= amount >> 8 && amount >> 8 < 128)) &&
                        (number != index_generator || g + 1 == end);
                std::snprintf(item, sizeof item, number == 43 ? " %u=%u-%u" : " %u=%d", number,
                              number == 43 ? amount & 0xFF : unsigned(int(std::int16_t(amount))), amount >> 8);
                bank.listing += size == 38 ? "" : item;
            }
            const bool global = end == first || u16(b, gens.at + 4 * end - 4) != index_generator;
            sound = sound && (global ? z == first_zone(i) : u16(b, gens.at + 4 * end - 2) < references);
            bank.listing += size == 38 ? "" : " }";
        }
        bank.listing += size == 38 ? "" : "\n";
    }
    if (!sound || first_zone(0) != 0 || first_generator(0) != 0)
        bank.faults.push_back(std::string(terminal) + ": terminal records, indices, modulators or generators");
}

// Each sample inside the data, of at least 48 points and 46 zeros after it;
// a loop inside it, of at least 32 points with 8 on either side; the halves
// of a stereo sample linked to each other.
void read_samples(const Bytes& b, const Chunk& shdr, SoundFont& bank)
{
    const auto end = b.begin() + std::ptrdiff_t(shdr.at + shdr.size);
    if (text(b, shdr.at + shdr.size - 46, 20) != "EOS" || std::any_of(end - 26, end, [](int x) { return x != 0; }))
        bank.faults.push_back("EOS record");
    for (std::size_t at = shdr.at; at + 46 < shdr.at + shdr.size; at += 46)
        bank.samples.push_back({text(b, at, 20), u32(b, at + 20), u32(b, at + 24), u32(b, at + 28), u32(b, at + 32),
                                u32(b, at + 36), int(u16(b, at + 42)), int(u16(b, at + 44))});
    for (std::size_t i = 0; i < bank.samples.size(); ++i) {
        const SfSample& s = bank.samples[i];
        char line[96];
        std::snprintf(line, sizeof line, ": %u %u %u %u %u %d %d\n", s.start, s.end, s.loop_start, s.loop_end, s.rate,
                      s.link, s.type);
        bank.listing += s.name + line;
        const auto link = static_cast<std::size_t>(s.link);
        const bool linked = s.type == 1 ? s.link == 0
                                        : (s.type == 2 || s.type == 4) && link < bank.samples.size() &&
                                              bank.samples[link].type == 6 - s.type &&
                                              bank.samples[link].link == int(i);
        if (s.start >= s.end || s.end + 46ull > bank.points.size() || s.end - s.start < 48 ||
            std::any_of(&bank.points[s.end], &bank.points[s.end] + 46, [](int p) { return p != 0; }) ||
            s.loop_start < s.start || s.loop_end < s.loop_start || s.end < s.loop_end ||
            (s.loop_end > s.loop_start &&
             (s.loop_end - s.loop_start < 32 || s.loop_start - s.start < 8 || s.end - s.loop_end < 8)) ||
            s.rate == 0 || !linked)
            bank.faults.push_back(s.name + ": its place, 46 zeros, loop, rate, type or link");
    }
}

}  // namespace

// The lists INFO (known strings of even sizes up to 256), sdta (one smpl)
// and pdta (nine lists in their order, of whole records), nothing else.
SoundFont read_soundfont(const Bytes& file)
{
    SoundFont bank;
    if (file.size() < 12 || text(file, 0, 4) != "RIFF" || text(file, 8, 4) != "sfbk" ||
        u32(file, 4) != file.size() - 8) {
        bank.faults.push_back("not RIFF sfbk of the file's size");
        return bank;
    }
    const std::vector<Chunk> lists = chunks(file, 12, file.size(), bank);
    std::array<std::vector<Chunk>, 3> in;
    for (std::size_t i = 0; i < 3; ++i) {
        if (lists.size() != 3 || lists[i].id != "LIST" || lists[i].size < 4 ||
            text(file, lists[i].at, 4) != std::array{"INFO", "sdta", "pdta"}[i]) {
            bank.faults.push_back("not the lists INFO, sdta and pdta");
            return bank;
        }
        in[i] = chunks(file, lists[i].at + 4, lists[i].at + lists[i].size, bank);
    }
    for (const Chunk& c : in[0]) {
        const bool version = c.id == "ifil";
        const std::string minor = std::to_string(100 + u16(file, c.at + 2)).substr(1);
        bank.info[c.id] = version ? std::to_string(u16(file, c.at)) + "." + minor : text(file, c.at, c.size);
        if (std::string("ifil isng INAM irom iver ICRD IENG IPRD ICOP ICMT ISFT").find(c.id) == std::string::npos ||
            c.size == 0 || (version ? c.size != 4 : c.size % 2 != 0 || c.size > 256 || file[c.at + c.size - 1] != 0))
            bank.faults.push_back("INFO chunk " + c.id);
    }
    if (bank.info.count("isng") + bank.info.count("INAM") != 2 || bank.info["ifil"].substr(0, 2) != "2.")
        bank.faults.push_back("INFO without version 2, isng or INAM");
    if (in[1].size() != 1 || in[1][0].id != "smpl" || in[1][0].size % 2 != 0)
        bank.faults.push_back("sdta not one smpl chunk of an even size");
    for (std::size_t at = 0; !in[1].empty() && at + 1 < in[1][0].size; at += 2)
        bank.points.push_back(std::int16_t(u16(file, in[1][0].at + at)));
    const std::vector<Chunk>& pdta = in[2];
    const std::array<std::pair<const char*, std::size_t>, 9> records{{{"phdr", 38}, {"pbag", 4}, {"pmod", 10},
                                                                      {"pgen", 4}, {"inst", 22}, {"ibag", 4},
                                                                      {"imod", 10}, {"igen", 4}, {"shdr", 46}}};
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (pdta.size() != records.size() || pdta[i].id != records[i].first || pdta[i].size == 0 ||
            pdta[i].size % records[i].second != 0) {
            bank.faults.push_back("pdta lists out of order or of wrong sizes");
            return bank;
        }
    }
    read_level(file, &pdta[0], 38, 24, "EOP", 41, pdta[4].size / 22 - 1, bank);
    read_level(file, &pdta[4], 22, 20, "EOI", 53, pdta[8].size / 46 - 1, bank);
    read_samples(file, pdta[8], bank);
    return bank;
}

}  // namespace trk2inst::test
