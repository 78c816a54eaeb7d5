// One Digitrakker packed stream: an options byte (bit 0 16-bit), a 16-bit
// count of values wanted, then the bit stream, in a buffer of exactly its
// size so that a read past it shows under the address sanitizer.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "readers/stored_sample.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const int bits = (data[0] & 1) != 0 ? 16 : 8;
    const std::size_t count = data[1] | std::size_t{data[2]} << 8;
    const std::vector<std::uint8_t> stream(data + 3, data + size);
    std::vector<std::int16_t> out(count, 1);
    const std::size_t whole = trk2inst::unpack_mdl_values(stream.data(), stream.size(), bits, out.data(), count);
    // No value takes fewer than 5 bits (13 at 16 bits); those not whole are 0.
    if (whole > count || static_cast<std::int64_t>(whole) > trk2inst::most_packed_values(static_cast<std::int64_t>(stream.size()), bits))
        std::abort();
    for (std::size_t i = whole; i < count; ++i)
        if (out[i] != 0)
            std::abort();
    return 0;
}
