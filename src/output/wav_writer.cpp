// RIFF WAVE files: "w" writes a slot's record data, 8-bit mono PCM; "s" and
// "x" write its source sample, at its own width, channels and rate. Loops go
// in a "smpl" chunk, the name in a "LIST" "INFO" chunk. RIFF numbers are
// little-endian.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "output/output.h"
#include "readers/readers.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

constexpr std::uint32_t fmt_chunk_size = 16;
constexpr std::uint32_t smpl_chunk_head = 36;
constexpr std::uint32_t smpl_loop_size = 24;
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

void put_fmt_chunk(Bytes& out, const SourceShape& shape)
{
    const auto block_align = static_cast<std::uint32_t>(shape.channels * shape.bits / 8);
    put_tag(out, "fmt ");
    put_u32le(out, fmt_chunk_size);
    put_u16le(out, 1);  // PCM
    put_u16le(out, static_cast<std::uint32_t>(shape.channels));
    put_u32le(out, shape.rate);
    put_u32le(out, shape.rate * block_align);  // bytes per second
    put_u16le(out, block_align);
    put_u16le(out, static_cast<std::uint32_t>(shape.bits));
}

// One loop record per loop, in frames; each end is the loop's last frame.
void put_smpl_chunk(Bytes& out, const SourceShape& shape)
{
    const auto loops = static_cast<std::uint32_t>(shape.loop_count);
    put_tag(out, "smpl");
    put_u32le(out, smpl_chunk_head + smpl_loop_size * loops);
    put_u32le(out, 0);  // manufacturer
    put_u32le(out, 0);  // product
    put_u32le(out, static_cast<std::uint32_t>((1000000000ull + shape.rate / 2) / shape.rate));  // ns a frame
    put_u32le(out, midi_unity_note);
    put_u32le(out, 0);  // pitch fraction
    put_u32le(out, 0);  // SMPTE format
    put_u32le(out, 0);  // SMPTE offset
    put_u32le(out, loops);
    put_u32le(out, 0);  // no sampler data
    for (std::uint32_t i = 0; i < loops; ++i) {
        const SourceLoop& loop = shape.loops[i];
        put_u32le(out, i);  // cue point id
        put_u32le(out, loop.ping_pong ? 1 : 0);  // forward or alternating
        put_u32le(out, static_cast<std::uint32_t>(loop.start));
        put_u32le(out, static_cast<std::uint32_t>(loop.end - 1));
        put_u32le(out, 0);  // fraction
        put_u32le(out, 0);  // play for ever
    }
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

// Everything before the data bytes; false when the file would not fit the
// 32-bit sizes of RIFF.
bool wav_head(const SourceShape& shape, const char* name, Bytes& head)
{
    const auto data_bytes = static_cast<std::uint64_t>(shape.frames) *
                            static_cast<std::uint64_t>(shape.channels * shape.bits / 8);
    head.clear();
    head.reserve(256);  // all chunks but the data: also spares g++ 12 a false overflow warning
    put_tag(head, "RIFF");
    put_u32le(head, 0);  // set below, once the chunks are known
    put_tag(head, "WAVE");
    put_fmt_chunk(head, shape);
    if (shape.loop_count > 0)
        put_smpl_chunk(head, shape);
    put_name_chunk(head, name);
    put_tag(head, "data");
    // An odd data chunk is followed by a pad byte, which RIFF's size counts.
    const std::uint64_t riff_size = head.size() + 4 + data_bytes + (data_bytes & 1) - 8;
    if (riff_size > 0xFFFFFFFFu)
        return false;
    put_u32le(head, static_cast<std::uint32_t>(data_bytes));
    for (std::size_t i = 0; i < 4; ++i)
        head[4 + i] = static_cast<std::uint8_t>((riff_size >> (8 * i)) & 0xFF);
    return true;
}

// WAV's 8-bit samples are unsigned: each signed byte has its top bit flipped.
// Blocks as large as stdio's buffer or larger go straight to the file.
void write_unsigned_data(std::FILE* out, const std::uint8_t* data, std::size_t size)
{
    static std::array<std::uint8_t, 64 * 1024> block;
    for (std::size_t done = 0; done < size; done += block.size()) {
        const std::size_t count = std::min(block.size(), size - done);
        for (std::size_t i = 0; i < count; ++i)
            block[i] = static_cast<std::uint8_t>(data[done + i] ^ 0x80);
        std::fwrite(block.data(), 1, count, out);
    }
}

void write_bytes(std::FILE* out, const Bytes& bytes)
{
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), out);
}

// Slot numbers for "w"; any sample of the module for "s".
void check_index(std::int64_t index, std::size_t count)
{
    if (index < 0 || index >= static_cast<std::int64_t>(count))
        fail("Invalid instrument number: %d\n", static_cast<int>(index + 1));
}

}  // namespace

std::uint32_t wav_sample_rate(const SampleSlot& slot, const RunSettings& settings)
{
    const auto note_byte = static_cast<std::uint8_t>(
        (static_cast<std::uint32_t>(slot.note) + static_cast<std::uint32_t>(settings.key_offset)) & 0xFF);
    return rate_from_pitch(static_cast<std::int8_t>(note_byte), slot.finetune);
}

void write_wav(RunState& state, std::int64_t index)
{
    check_index(index, slot_count);
    const SampleSlot& slot = state.samples[static_cast<std::size_t>(index)];
    SourceShape shape = record_source_shape(slot);
    shape.rate = wav_sample_rate(slot, state.settings);
    Bytes head;
    wav_head(shape, slot.name.data(), head);  // at most 131,070 bytes of data: it fits
    std::fwrite(head.data(), 1, head.size(), state.out);
    write_unsigned_data(state.out, slot.data.get(), static_cast<std::size_t>(shape.frames));
}

bool write_source_wav_file(RunState& state, std::size_t index, std::FILE* out)
{
    const SampleSlot& slot = state.samples[index];
    const SourceShape shape = source_shape(state, index);
    Bytes head;
    if (!wav_head(shape, slot.name.data(), head)) {
        errno = EFBIG;
        return false;
    }
    write_bytes(out, head);
    Bytes scratch;
    const SourceData data = source_data(state, index, scratch);
    if (data.signed_bytes)
        write_unsigned_data(out, data.bytes.data(), data.bytes.size());
    else if (!data.bytes.empty())
        std::fwrite(data.bytes.data(), 1, data.bytes.size(), out);
    if ((shape.frames * shape.channels * shape.bits / 8) % 2 != 0)
        std::fputc(0, out);  // the pad byte
    return true;
}

void write_source_wav(RunState& state, std::int64_t index)
{
    check_index(index, state.samples.size());
    if (!write_source_wav_file(state, static_cast<std::size_t>(index), state.out))
        fail("Error writing output: %s\n", std::strerror(errno));
}

}  // namespace trk2inst
