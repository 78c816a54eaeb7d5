// Helpers that every reader uses to fill a slot.
#include <algorithm>
#include <new>

#include "readers/readers.h"
#include "readers/sample_conversion.h"

namespace trk2inst {

void read_name(InputStream& input, SampleSlot& slot, std::size_t size)
{
    read_block(input, slot.name.data(), size);
    slot.name[size] = '\0';
}

void keep_words(SampleSlot& slot, std::int64_t words)
{
    if (words <= max_slot_words) {
        slot.length = static_cast<std::int32_t>(words);
        return;
    }
    const auto kept = static_cast<std::int32_t>(max_slot_words);
    slot.length = kept;
    if (slot.loop_start >= kept) {
        slot.loop_start = kept;
        slot.loop_length = 1;
    } else if (slot.loop_length > kept - slot.loop_start) {
        slot.loop_length = kept - slot.loop_start;
    }
}

std::int64_t set_length_from_bytes(SampleSlot& slot, std::uint32_t bytes)
{
    const std::int64_t words = bytes >> 1;
    keep_words(slot, words);
    return 2 * std::int64_t{slot.length};
}

namespace {

std::size_t data_size(const SampleSlot& slot)
{
    return slot.length > 0 ? 2 * static_cast<std::size_t>(slot.length) : 0;
}

}  // namespace

void allocate_sample_data(SampleSlot& slot, int slot_number)
{
    const std::size_t size = data_size(slot);
    if (size == 0 || slot_number > slot_count)
        return;  // samples past the record table keep no record data
    try {
        // Not zeroed here: read_sample_data fills every byte, zeros past the end.
        slot.data = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    } catch (const std::bad_alloc&) {
        fail("Error allocating memory for instrument %d.\n", slot_number);
    }
}

std::size_t read_sample_data(InputStream& input, SampleSlot& slot)
{
    return slot.data ? read_block(input, slot.data.get(), data_size(slot)) : 0;
}

std::size_t read_present_bytes(InputStream& input, std::int64_t count, std::vector<std::uint8_t>& out)
{
    constexpr std::int64_t chunk = 1 << 20;
    const std::int64_t start = input.position;
    // Where the end is known, nothing past it is asked for: a length that
    // claims gigabytes costs no more than the bytes there are.
    const std::int64_t wanted = bytes_present(input, start, std::max<std::int64_t>(count, 0));
    out.clear();
    std::size_t arrived = 0;
    while (static_cast<std::int64_t>(arrived) < wanted) {
        const auto want = static_cast<std::size_t>(std::min(chunk, wanted - static_cast<std::int64_t>(arrived)));
        out.resize(arrived + want);
        const std::size_t got = read_block(input, out.data() + arrived, want);
        arrived += got;
        if (got < want)
            break;
    }
    out.resize(arrived);
    seek_to(input, start + std::max<std::int64_t>(count, 0));
    return arrived;
}

std::int64_t read_adpcm_sample(InputStream& input, std::int64_t count, std::size_t keep, bool whole,
                               DecodeBuffers& buffers)
{
    const std::int64_t start = input.position;
    const std::int64_t packed = (std::max<std::int64_t>(count, 0) + 1) / 2;
    AdpcmTable table{};
    const std::size_t table_bytes = read_block(input, table.data(), table.size());
    std::vector<std::uint8_t>& bytes = buffers.bytes;
    std::size_t arrived = 0;
    if (whole) {
        arrived = read_present_bytes(input, packed, bytes);
    } else {
        bytes.resize(static_cast<std::size_t>(std::min<std::int64_t>(packed, (static_cast<std::int64_t>(keep) + 1) / 2)));
        arrived = read_block(input, bytes.data(), bytes.size());
    }
    seek_to(input, start + adpcm_stored_bytes(count));
    const std::int64_t present = table_bytes < table.size()
                                     ? 0
                                     : std::min<std::int64_t>(count, 2 * static_cast<std::int64_t>(arrived));
    const std::size_t values = std::max(keep, whole ? static_cast<std::size_t>(present) : 0);
    bytes.resize(std::max(bytes.size(), (values + 1) / 2), 0);
    SampleValues& out = buffers.channels[0];
    out.resize(values);
    decode_adpcm(table, bytes.data(), out.data(), values);
    std::fill(out.begin() + std::min<std::int64_t>(present, static_cast<std::int64_t>(values)), out.end(),
              std::int16_t{0});
    return present;
}

}  // namespace trk2inst
