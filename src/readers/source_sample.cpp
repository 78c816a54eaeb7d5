// Source samples: the one place that gives a slot's source shape, for the
// readers that describe it and for the WAV and JSON writers that read it.
#include "readers/source_sample.h"

#include "readers/readers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace trk2inst {

namespace {

std::size_t data_bytes(const SampleSlot& slot)
{
    return slot.data && slot.length > 0 ? 2 * static_cast<std::size_t>(slot.length) : 0;
}

// A loop that is empty or starts at or past the end is left out; one that runs
// past the end ends there.
void cut_loops(SourceShape& shape)
{
    int kept = 0;
    for (int i = 0; i < shape.loop_count; ++i) {
        SourceLoop loop = shape.loops[static_cast<std::size_t>(i)];
        if (loop.end <= loop.start || loop.start < 0 || loop.start >= shape.frames)
            continue;
        loop.end = std::min(loop.end, shape.frames);
        shape.loops[static_cast<std::size_t>(kept++)] = loop;
    }
    shape.loop_count = kept;
}

std::int64_t kept_source_bytes(const RunState& state)
{
    std::int64_t total = 0;
    for (const SampleSlot& slot : state.samples)
        total += static_cast<std::int64_t>(slot.source.wav_data.size());
    return total;
}

}  // namespace

// 8-bit mono, the record's loop as a forward loop.
SourceShape record_source_shape(const SampleSlot& slot)
{
    SourceShape shape;
    shape.frames = static_cast<std::int64_t>(data_bytes(slot));
    shape.rate = rate_from_pitch(slot.note, slot.finetune);
    if (slot.loop_length >= 2) {
        const std::int64_t start = 2 * std::int64_t{slot.loop_start};
        add_source_loop(shape, false, false, start, start + 2 * std::int64_t{slot.loop_length});
    }
    cut_loops(shape);
    return shape;
}

std::uint32_t rate_from_pitch(std::int8_t note, std::uint8_t finetune)
{
    // The finetune byte holds F in 1/128 semitone with its nibbles swapped.
    const auto fine = static_cast<std::int8_t>(static_cast<std::uint8_t>((finetune << 4 | finetune >> 4) & 0xFF));
    const int pitch = 128 * note + fine;
    const double rate = std::floor(8363.0 * std::exp2(pitch / 1536.0) + 0.5);
    return rate < 1.0 ? 1u : static_cast<std::uint32_t>(rate);
}

void add_source_loop(SourceShape& shape, bool ping_pong, bool sustain, std::int64_t start,
                     std::int64_t end)
{
    if (shape.loop_count >= static_cast<int>(shape.loops.size()))
        return;
    shape.loops[static_cast<std::size_t>(shape.loop_count++)] = {ping_pong, sustain, start, end};
}

void describe_source(SampleSlot& slot, SourceShape shape, bool as_they_stand)
{
    cut_loops(shape);
    const bool plain = as_they_stand && shape.bits == 8 && shape.channels == 1;
    // What the record holds, or would hold for a sample past the record table.
    const std::int64_t held = 2 * std::int64_t{std::max(slot.length, 0)};
    shape.converted = !(plain && shape.frames == held);
    slot.source.present = true;
    slot.source.shape = shape;
    slot.source.values =
        plain && shape.frames <= held && slot.data ? SourceValues::slot_data : SourceValues::kept;
    slot.source.wav_data.clear();
}

void encode_wav_data(int bits, std::span<const std::int16_t> left,
                     std::span<const std::int16_t> right, std::int64_t frames,
                     std::vector<std::uint8_t>& out)
{
    const bool stereo = !right.empty();
    const auto frames_out = static_cast<std::size_t>(std::max<std::int64_t>(frames, 0));
    const std::size_t channels = stereo ? 2 : 1;
    // Frames past the values given (a module that changed since it was read)
    // are silence, never a read past them.
    const std::size_t count = std::min({frames_out, left.size(), stereo ? right.size() : left.size()});
    if (bits == 8) {
        out.assign(frames_out * channels, 0x80);
        for (std::size_t i = 0; i < count; ++i) {
            out[i * channels] = static_cast<std::uint8_t>((static_cast<unsigned>(left[i]) & 0xFF) ^ 0x80);
            if (stereo)
                out[i * 2 + 1] = static_cast<std::uint8_t>((static_cast<unsigned>(right[i]) & 0xFF) ^ 0x80);
        }
        return;
    }
    if (std::endian::native == std::endian::little) {
        if (!stereo) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(left.data());
            out.assign(bytes, bytes + 2 * count);  // already little-endian 16-bit values
            out.resize(2 * frames_out, 0);
            return;
        }
        // A frame is the two values side by side: one 32-bit store each.
        out.assign(4 * frames_out, 0);
        std::uint8_t* interleaved = out.data();
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t frame = static_cast<std::uint16_t>(left[i]) |
                                        std::uint32_t{static_cast<std::uint16_t>(right[i])} << 16;
            std::memcpy(interleaved + 4 * i, &frame, 4);
        }
        return;
    }
    out.assign(2 * frames_out * channels, 0);
    const auto put = [&](std::size_t at, std::int16_t value) {
        const auto word = static_cast<std::uint16_t>(value);
        out[at] = static_cast<std::uint8_t>(word & 0xFF);
        out[at + 1] = static_cast<std::uint8_t>(word >> 8);
    };
    for (std::size_t i = 0; i < count; ++i) {
        put(2 * i * channels, left[i]);
        if (stereo)
            put(4 * i + 2, right[i]);
    }
}

void keep_source_values(RunState& state, SampleSlot& slot, std::span<const std::int16_t> left,
                        std::span<const std::int16_t> right, std::int64_t header_offset,
                        bool may_decode_again)
{
    SourceSample& source = slot.source;
    if (state.settings.source_need != SourceNeed::values || source.values != SourceValues::kept)
        return;
    const SourceShape& shape = source.shape;
    const std::int64_t bytes = shape.frames * shape.channels * (shape.bits / 8);
    // The values kept stay within what the input holds; past that, a reader
    // that seeks decodes them again when they are written. So are those of
    // a sample past the record table, which keeps no copy where it can.
    const bool past_record_table = slot.data == nullptr;
    if (may_decode_again &&
        (past_record_table || kept_source_bytes(state) + bytes > input_size(state.input))) {
        source.values = SourceValues::decode_again;
        source.header_offset = header_offset;
        return;
    }
    encode_wav_data(shape.bits, left, shape.channels == 2 ? right : std::span<const std::int16_t>{},
                    shape.frames, source.wav_data);
}

void decode_source_values_when_written(SampleSlot& slot, std::int64_t header_offset)
{
    if (slot.source.values != SourceValues::kept)
        return;
    slot.source.values = SourceValues::decode_again;
    slot.source.header_offset = header_offset;
}

SourceShape source_shape(const RunState& state, std::size_t index)
{
    const SampleSlot& slot = state.samples[index];
    return has_described_source(state, index) ? slot.source.shape : record_source_shape(slot);
}

bool has_described_source(const RunState& state, std::size_t index)
{
    return state.settings.convert_samples && state.samples[index].source.present;
}

SourceData source_data(RunState& state, std::size_t index, std::vector<std::uint8_t>& scratch)
{
    const SampleSlot& slot = state.samples[index];
    const SourceValues values = has_described_source(state, index) ? slot.source.values : SourceValues::slot_data;
    if (values == SourceValues::slot_data) {
        const auto frames = static_cast<std::size_t>(source_shape(state, index).frames);
        return {{slot.data.get(), std::min(frames, data_bytes(slot))}, true};
    }
    if (values == SourceValues::kept)
        return {slot.source.wav_data, false};
    decode_source_again(state, index, scratch);
    return {scratch, false};
}

}  // namespace trk2inst
