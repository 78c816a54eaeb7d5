// One compressed Impulse Tracker block: an options byte (bit 0 16-bit, bit 1
// IT 2.15), a 16-bit count of values wanted, then the bit stream. The stream
// sits in a buffer of its own size plus the 8 bytes of padding the decoder may
// read, so that a read past them shows under the address sanitizer.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "readers/impulse_tracker_compression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const trk2inst::ItCompression kind{(data[0] & 1) != 0, (data[0] & 2) != 0};
    const std::size_t count = data[1] | std::size_t{data[2]} << 8;
    const std::size_t stream_size = size - 3;
    std::vector<std::uint8_t> stream(stream_size + 8, 0);
    std::memcpy(stream.data(), data + 3, stream_size);
    std::vector<std::int16_t> out(count);
    const std::size_t produced = trk2inst::decode_it_block(stream.data(), stream_size, kind, out.data(), count);
    // Every value takes at least one bit.
    if (produced > count || produced > 8 * stream_size)
        std::abort();
    return 0;
}
