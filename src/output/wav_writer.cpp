// The "w" command: one slot as a RIFF WAVE file, 8-bit mono PCM, with its loop
// in a "smpl" chunk and its name in a "LIST" "INFO" chunk. RIFF numbers are
// little-endian.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "output/output.h"

namespace trk2inst {

namespace {

constexpr std::uint32_t fmt_chunk_size = 16;
constexpr std::uint32_t smpl_chunk_size = 60;
constexpr std::uint32_t midi_unity_note = 60;

using Bytes = std::vector<std::uint8_t>;

void put_u16le(Bytes& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put_u32le(Bytes& out, std::uint32_t value)
{
    put_u16le(out, value & 0xFFFF);
    put_u16le(out, value >> 16);
}

void put_tag(Bytes& out, const char (&tag)[5])
{
    out.insert(out.end(), tag, tag + 4);
}

void put_fmt_chunk(Bytes& out, std::uint32_t rate)
{
    put_tag(out, "fmt ");
    put_u32le(out, fmt_chunk_size);
    put_u16le(out, 1);  // PCM
    put_u16le(out, 1);  // mono
    put_u32le(out, rate);
    put_u32le(out, rate);  // bytes per second: one byte a frame
    put_u16le(out, 1);     // block align
    put_u16le(out, 8);     // bits per sample
}

bool slot_loops(const SampleSlot& slot)
{
    return slot.loop_length >= 2 && slot.loop_start >= 0 && slot.loop_start < slot.length;
}

// One forward loop, in bytes (one byte a frame); its end is the last byte of the loop.
void put_smpl_chunk(Bytes& out, const SampleSlot& slot, std::uint32_t rate)
{
    const std::int64_t start = 2 * std::int64_t{slot.loop_start};
    const std::int64_t end = std::min(2 * (std::int64_t{slot.loop_start} + slot.loop_length),
                                      2 * std::int64_t{slot.length}) - 1;
    put_tag(out, "smpl");
    put_u32le(out, smpl_chunk_size);
    put_u32le(out, 0);  // manufacturer
    put_u32le(out, 0);  // product
    put_u32le(out, static_cast<std::uint32_t>((1000000000ull + rate / 2) / rate));  // ns a frame
    put_u32le(out, midi_unity_note);
    put_u32le(out, 0);  // pitch fraction
    put_u32le(out, 0);  // SMPTE format
    put_u32le(out, 0);  // SMPTE offset
    put_u32le(out, 1);  // one loop
    put_u32le(out, 0);  // no sampler data
    put_u32le(out, 0);  // cue point id
    put_u32le(out, 0);  // forward
    put_u32le(out, static_cast<std::uint32_t>(start));
    put_u32le(out, static_cast<std::uint32_t>(end));
    put_u32le(out, 0);  // fraction
    put_u32le(out, 0);  // play for ever
}

// The name up to its first zero byte and one zero byte; RIFF pads a chunk of
// odd size with one more byte that its size does not count.
void put_name_chunk(Bytes& out, const char* name)
{
    const std::size_t length = std::strlen(name);
    if (length == 0)
        return;
    const auto inam_size = static_cast<std::uint32_t>(length + 1);
    const std::uint32_t padded = inam_size + (inam_size & 1);
    put_tag(out, "LIST");
    put_u32le(out, 4 + 8 + padded);
    put_tag(out, "INFO");
    put_tag(out, "INAM");
    put_u32le(out, inam_size);
    out.insert(out.end(), name, name + length);
    out.resize(out.size() + 1 + (padded - inam_size), 0);
}

std::size_t data_size(const SampleSlot& slot)
{
    return slot.data && slot.length > 0 ? 2 * static_cast<std::size_t>(slot.length) : 0;
}

// WAV's 8-bit samples are unsigned: each signed byte has its top bit flipped.
void write_unsigned_data(std::FILE* out, const SampleSlot& slot)
{
    std::array<std::uint8_t, 4096> block;
    const std::uint8_t* data = slot.data.get();
    const std::size_t size = data_size(slot);
    for (std::size_t done = 0; done < size; done += block.size()) {
        const std::size_t count = std::min(block.size(), size - done);
        for (std::size_t i = 0; i < count; ++i)
            block[i] = static_cast<std::uint8_t>(data[done + i] ^ 0x80);
        std::fwrite(block.data(), 1, count, out);
    }
}

}  // namespace

std::uint32_t wav_sample_rate(const SampleSlot& slot, const RunSettings& settings)
{
    const auto note_byte = static_cast<std::uint8_t>(
        (static_cast<std::uint32_t>(slot.note) + static_cast<std::uint32_t>(settings.key_offset)) & 0xFF);
    const auto semitones = static_cast<std::int8_t>(note_byte);
    // The finetune byte holds F in 1/128 semitone with its nibbles swapped.
    const auto fine = static_cast<std::int8_t>(
        static_cast<std::uint8_t>((slot.finetune << 4 | slot.finetune >> 4) & 0xFF));
    const int pitch = 128 * semitones + fine;
    const double rate = std::floor(8363.0 * std::exp2(pitch / 1536.0) + 0.5);
    return rate < 1.0 ? 1u : static_cast<std::uint32_t>(rate);
}

void write_wav(RunState& state, std::int64_t index)
{
    if (index < 0 || index >= slot_count)
        fail("Invalid instrument number: %d\n", static_cast<int>(index + 1));
    const SampleSlot& slot = state.samples[static_cast<std::size_t>(index)];
    const std::uint32_t rate = wav_sample_rate(slot, state.settings);
    const std::size_t data_bytes = data_size(slot);

    Bytes head;
    put_tag(head, "RIFF");
    put_u32le(head, 0);  // set below, once the chunks are known
    put_tag(head, "WAVE");
    put_fmt_chunk(head, rate);
    if (slot_loops(slot))
        put_smpl_chunk(head, slot, rate);
    put_name_chunk(head, slot.name.data());
    put_tag(head, "data");
    put_u32le(head, static_cast<std::uint32_t>(data_bytes));
    const auto riff_size = static_cast<std::uint32_t>(head.size() + data_bytes - 8);
    for (std::size_t i = 0; i < 4; ++i)
        head[4 + i] = static_cast<std::uint8_t>((riff_size >> (8 * i)) & 0xFF);

    std::fwrite(head.data(), 1, head.size(), state.out);
    write_unsigned_data(state.out, slot);
}

}  // namespace trk2inst
