// Helpers that every reader uses to fill a slot.
#include <algorithm>
#include <new>

#include "readers/readers.h"

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

}  // namespace trk2inst
