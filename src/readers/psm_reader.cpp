// Epic MegaGames' MASI modules in both layouts: the chunked one ("PSM ",
// with the Sinaria game's variant) and the older PSM16 ("PSM" 0xFE). Both
// number their samples, so a sample goes to the slot of its number and gaps
// stay empty; a number met twice keeps its first header.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/sample_conversion.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t chunks_start = 12;  // after "PSM ", the size and "FILE"
constexpr std::int64_t chunk_head_size = 8;
constexpr std::size_t sample_header_size = 96;  // of a DSMP chunk, before its data
constexpr unsigned masi_loop = 0x80;
constexpr unsigned loudest_masi_volume = 127;

// PSM16
constexpr std::int64_t psm16_sample_header_size = 64;
constexpr unsigned psm16_most_samples = 255;
constexpr unsigned flag_16_bit = 0x04;
constexpr unsigned flag_unsigned = 0x08;
constexpr unsigned flag_delta = 0x10;
constexpr unsigned flag_ping_pong = 0x20;
constexpr unsigned flag_loop = 0x80;

struct Chunk {
    std::array<char, 4> id{};
    std::int64_t body = 0;
    std::int64_t length = 0;
};

bool is_chunk(const Chunk& chunk, const char* id)
{
    return std::memcmp(chunk.id.data(), id, 4) == 0;
}

Chunk chunk_at(InputStream& input, std::int64_t at)
{
    Chunk chunk;
    seek_to(input, at);
    read_block(input, chunk.id.data(), chunk.id.size());
    chunk.length = read_u32le(input);
    chunk.body = at + chunk_head_size;
    return chunk;
}

// The first `size` bytes of a chunk's body: zeros past the chunk and past
// the input.
template <std::size_t size>
std::array<std::uint8_t, size> body_bytes(InputStream& input, const Chunk& chunk)
{
    std::array<std::uint8_t, size> bytes{};
    seek_to(input, chunk.body);
    read_block(input, bytes.data(), static_cast<std::size_t>(std::min<std::int64_t>(chunk.length, size)));
    return bytes;
}

unsigned u16_of(const std::uint8_t* bytes)
{
    return unsigned{bytes[0]} | unsigned{bytes[1]} << 8;
}

std::uint32_t u32_of(const std::uint8_t* bytes)
{
    return u16_of(bytes) | std::uint32_t{u16_of(bytes + 2)} << 16;
}

// A rate moved by eighths (or sixteenths) of a semitone.
std::uint32_t moved_rate(std::uint32_t rate, double semitones)
{
    return static_cast<std::uint32_t>(std::lround(rate * std::exp2(semitones / 12.0)));
}

// A slot that the run reads and that no header took before.
struct SlotClaims {
    std::vector<bool> taken;
    int last_read = slot_count;

    bool claim(int slot)
    {
        if (slot < 1 || slot > last_read || taken[static_cast<std::size_t>(slot)])
            return false;
        taken[static_cast<std::size_t>(slot)] = true;
        return true;
    }
};

SlotClaims slot_claims(const RunState& state)
{
    SlotClaims claims;
    claims.last_read = state.settings.every_sample ? sample_limit : slot_count;
    claims.taken.assign(static_cast<std::size_t>(claims.last_read) + 1, false);
    return claims;
}

// What the chunk chain holds besides the samples.
struct MasiSong {
    int channels = 0;  // of the SONG chunk with the most
    int patterns = 0;  // PBOD chunks
    bool sinaria = false;
    bool variant_known = false;  // from the first PBOD chunk
};

// Walks the chunks from the first to the end of the input.
template <typename Visit>
void walk_chunks(InputStream& input, Visit visit)
{
    const std::int64_t size = input_size(input);
    for (std::int64_t at = chunks_start; at + chunk_head_size <= size;) {
        const Chunk chunk = chunk_at(input, at);
        visit(chunk);
        at = chunk.body + chunk.length;
    }
}

void note_song_chunk(InputStream& input, const Chunk& chunk, MasiSong& song)
{
    if (is_chunk(chunk, "SONG")) {
        const auto body = body_bytes<11>(input, chunk);  // name (9), compression, channels
        song.channels = std::max<int>(song.channels, body[10]);
    } else if (is_chunk(chunk, "PBOD")) {
        ++song.patterns;
        if (!song.variant_known) {
            // Sinaria names its patterns "PATT0   ", Epic's files "P0  ".
            const auto body = body_bytes<8>(input, chunk);
            song.sinaria = std::memcmp(body.data() + 4, "PATT", 4) == 0;
            song.variant_known = true;
        }
    }
}

// A DSMP chunk: the 96-byte header (Epic's or Sinaria's), then 8-bit deltas.
void read_masi_sample(RunState& state, const Chunk& chunk, bool sinaria, SlotClaims& claims)
{
    const auto header = body_bytes<sample_header_size>(state.input, chunk);
    const std::size_t shift = sinaria ? 4 : 0;  // Sinaria's sample ID is 8 bytes long
    const int slot = static_cast<int>(u16_of(&header[52 + shift])) + 1;
    if (slot > sample_limit && state.settings.every_sample)
        note_claimed_samples(state, slot);
    if (!claims.claim(slot))
        return;
    const std::uint32_t length = u32_of(&header[54 + shift]);  // bytes
    const std::int64_t loop_start = u32_of(&header[58 + shift]);
    std::int64_t loop_end = u32_of(&header[62 + shift]);
    StoredSample sample;
    sample.name = std::string_view(reinterpret_cast<const char*>(&header[13 + shift]), 33);
    const unsigned volume = std::min<unsigned>(header[sinaria ? 73 : 68], loudest_masi_volume);
    sample.volume = static_cast<std::uint8_t>((volume * 64 + 63) / loudest_masi_volume);
    if (sinaria) {
        const int finetune = (header[72] & 0x0F) >= 8 ? (header[72] & 0x0F) - 16 : header[72] & 0x0F;
        sample.rate = moved_rate(u16_of(&header[78]), finetune / 8.0);
    } else {
        sample.rate = u16_of(&header[73]);  // the low half of a u32, as the player takes it
        if (loop_end != 0)
            ++loop_end;  // Epic's files store the loop's last byte
    }
    const std::int64_t data = std::max<std::int64_t>(chunk.length - static_cast<std::int64_t>(sample_header_size), 0);
    sample.layout = {StoredCoding::delta, 8, false, 1, chunk.body + static_cast<std::int64_t>(sample_header_size),
                     std::min<std::int64_t>(length, data)};
    sample.loops = (header[0] & masi_loop) != 0;
    sample.loop_start = loop_start;
    sample.loop_end = loop_end;
    store_sample(state, slot, sample);
}

void read_masi_module(RunState& state)
{
    InputStream& input = state.input;
    MasiSong song;
    walk_chunks(input, [&](const Chunk& chunk) { note_song_chunk(input, chunk, song); });
    state.summary.channels = song.channels;
    state.summary.patterns = song.patterns;
    SlotClaims claims = slot_claims(state);
    walk_chunks(input, [&](const Chunk& chunk) {
        if (is_chunk(chunk, "DSMP"))
            read_masi_sample(state, chunk, song.sinaria, claims);
    });
}

StoredCoding psm16_coding(unsigned flags)
{
    if ((flags & flag_unsigned) != 0)
        return StoredCoding::unsigned_values;
    if ((flags & flag_delta) != 0 || (flags & 0x7F) == 0)
        return StoredCoding::delta;
    return StoredCoding::signed_values;
}

void read_psm16_sample(RunState& state, std::int64_t at, SlotClaims& claims)
{
    InputStream& input = state.input;
    seek_to(input, at + 13);  // past the DOS file name
    std::array<char, 24> name{};
    read_block(input, name.data(), name.size());
    const std::uint32_t data = read_u32le(input);  // an offset in the file
    skip_bytes(input, 4);                           // in memory
    const unsigned number = read_u16le(input);
    if (number > psm16_most_samples || !claims.claim(static_cast<int>(number)))
        return;
    const unsigned flags = read_u8(input);
    const std::uint32_t length = read_u32le(input);  // bytes
    const std::uint32_t loop_start = read_u32le(input);
    const std::uint32_t loop_end = read_u32le(input);
    const unsigned tune = read_u8(input);  // high nibble: semitones + 7; low: a signed fraction
    const std::uint8_t volume = read_u8(input);
    const std::uint16_t rate = read_u16le(input);  // Hz at C-2
    const bool sixteen_bit = (flags & flag_16_bit) != 0;
    const int fraction = (tune & 0x0F) >= 8 ? static_cast<int>(tune & 0x0F) - 16 : static_cast<int>(tune & 0x0F);
    StoredSample sample;
    sample.name = std::string_view(name.data(), name.size());
    sample.volume = volume;
    sample.rate = moved_rate(rate, static_cast<int>(tune >> 4) - 7 + fraction / 16.0);
    // A 16-bit sample's length counts bytes, its loop frames.
    sample.layout = {psm16_coding(flags), sixteen_bit ? 16 : 8, false, 1, data, sixteen_bit ? length / 2 : length};
    sample.loops = (flags & flag_loop) != 0;
    sample.ping_pong = (flags & flag_ping_pong) != 0;
    sample.loop_start = loop_start;
    sample.loop_end = loop_end;
    store_sample(state, static_cast<int>(number), sample);
}

void read_psm16_module(RunState& state)
{
    InputStream& input = state.input;
    seek_to(input, 74);
    state.summary.patterns = read_u16le(input);
    const unsigned headers = read_u16le(input);
    const unsigned channels_played = read_u16le(input);
    const unsigned channels_processed = read_u16le(input);
    state.summary.channels = static_cast<std::int32_t>(std::max(channels_played, channels_processed));
    seek_to(input, 94);
    const std::int64_t table = read_u32le(input);
    // The table counts only with its tag right before it.
    if (table < 4)
        return;
    std::array<char, 4> tag{};
    seek_to(input, table - 4);
    read_block(input, tag.data(), tag.size());
    if (std::memcmp(tag.data(), "PSAH", 4) != 0)
        return;
    SlotClaims claims = slot_claims(state);
    const std::int64_t size = input_size(input);
    for (unsigned i = 0; i < headers; ++i) {
        const std::int64_t at = table + psm16_sample_header_size * i;
        if (at >= size)
            break;  // the rest read as headers of sample 0, which is none
        read_psm16_sample(state, at, claims);
    }
}

}  // namespace

bool is_psm_module(const ModuleHead& head)
{
    if (head.holds(0, "PSM ") && head.holds(8, "FILE") && head.u8(7) == 0) {
        // The song chunk, among the chunks that begin in the head.
        for (std::int64_t at = chunks_start; at + chunk_head_size <= static_cast<std::int64_t>(head.size);) {
            const auto here = static_cast<std::size_t>(at);
            if (head.holds(here, "SDFT") && head.holds(here + 8, "MAINSONG"))
                return true;
            at += chunk_head_size + head.u32le(here + 4);
        }
        return false;
    }
    const unsigned played = head.u16le(78);
    const unsigned processed = head.u16le(80);
    return head.holds(0, "PSM\xFE") && head.u8(63) == 0x1A && (head.u8(64) & 0x03) == 0 &&
           (head.u8(65) == 0x10 || head.u8(65) == 0x01) && head.u8(66) == 0 && played <= 32 &&
           processed <= 32 && (played != 0 || processed != 0);
}

void read_psm_module(RunState& state)
{
    InputStream& input = state.input;
    std::array<char, 4> id{};
    read_block(input, id.data(), id.size());
    std::memcpy(state.summary.format_tag.data(), "PSM ", 5);
    state.summary.no_expected_length = true;
    if (std::memcmp(id.data(), "PSM ", 4) == 0)
        read_masi_module(state);
    else
        read_psm16_module(state);
}

}  // namespace trk2inst
