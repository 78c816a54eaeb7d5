// ProTracker-family modules and Extended Modules, from a file or as from a pipe.
#include "reader_fuzz.h"
#include "readers/readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    trk2inst::fuzz::fuzz_reader(data, size, trk2inst::read_streamed_module);
    return 0;
}
