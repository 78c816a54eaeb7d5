// Instrument records: an 11-byte big-endian header, then the signed 8-bit data.
#include "output/output.h"

namespace trk2inst {

namespace {

constexpr std::uint8_t record_marker = 0x0A;

// A positive scale multiplies the slot's volume; zero or a negative scale is
// written, negated, for every slot. Only the low 16 bits are kept.
std::uint16_t volume_word(std::uint8_t volume, std::int32_t volume_scale)
{
    const std::int64_t scale = volume_scale;
    const std::int64_t word = scale > 0 ? volume * scale : -scale;
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(word) & 0xFFFF);
}

void put_u16be(std::uint8_t* out, std::int64_t value)
{
    const auto low16 = static_cast<std::uint16_t>(static_cast<std::uint64_t>(value) & 0xFFFF);
    out[0] = static_cast<std::uint8_t>(low16 >> 8);
    out[1] = static_cast<std::uint8_t>(low16 & 0xFF);
}

}  // namespace

std::array<std::uint8_t, 11> instrument_record_header(const SampleSlot& slot,
                                                      const RunSettings& settings)
{
    std::array<std::uint8_t, 11> header{};
    header[0] = record_marker;
    put_u16be(&header[1], slot.length);  // words
    header[3] = slot.finetune;
    put_u16be(&header[4], slot.loop_start);   // words
    put_u16be(&header[6], slot.loop_length);  // words
    put_u16be(&header[8], volume_word(slot.volume, settings.volume_scale));
    const auto note_sum = static_cast<std::uint32_t>(slot.note) +
                          static_cast<std::uint32_t>(settings.key_offset);
    header[10] = static_cast<std::uint8_t>(note_sum & 0xFF);
    return header;
}

void write_instrument(RunState& state, std::int64_t index)
{
    if (index < 0 || index >= slot_count)
        fail("Invalid instrument number: %d\n", static_cast<int>(index + 1));
    const SampleSlot& slot = state.samples[static_cast<std::size_t>(index)];
    const auto header = instrument_record_header(slot, state.settings);
    std::fwrite(header.data(), 1, header.size(), state.out);
    if (slot.data)
        std::fwrite(slot.data.get(), 1, 2 * static_cast<std::size_t>(slot.length), state.out);
}

}  // namespace trk2inst
