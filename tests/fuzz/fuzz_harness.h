// Shared by the fuzz targets: module bytes as a stdio stream, a sink for the
// output, and the checks every loaded table must pass.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "driver/run_state.h"
#include "output/output.h"

namespace trk2inst::fuzz {

// The bytes as a seekable stream; fmemopen refuses an empty buffer, so an
// empty input reads from /dev/null.
inline std::unique_ptr<std::FILE, FileCloser> memory_stream(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = size == 0 ? std::fopen("/dev/null", "rb")
                                : fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr)
        std::abort();
    return std::unique_ptr<std::FILE, FileCloser>(file);
}

inline std::FILE* null_output()
{
    static std::FILE* sink = std::fopen("/dev/null", "wb");
    if (sink == nullptr)
        std::abort();
    return sink;
}

// Every slot the reader filled must be writable as a record: a length the
// record can carry, and data behind every byte of it.
inline void check_table(const SampleTable& samples)
{
    for (const SampleSlot& slot : samples) {
        if (slot.length < 0 || slot.length > max_slot_words)
            std::abort();
        if (slot.length > 0 && slot.data == nullptr)
            std::abort();
    }
}

// The listing and every record, so that a short buffer shows as a read past
// its end under the address sanitizer.
inline void write_everything(RunState& state)
{
    state.out = null_output();
    state.err = null_output();
    print_module_info(state);
    for (std::int64_t index = 0; index < slot_count; ++index)
        write_instrument(state, index);
}

}  // namespace trk2inst::fuzz
