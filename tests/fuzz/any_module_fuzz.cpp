// "=A" on modules of all four families, from a file or as from a pipe (which
// takes the Scream Tracker 3 and Impulse Tracker modules through a temporary
// file).
#include "reader_fuzz.h"
#include "readers/readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    trk2inst::fuzz::fuzz_reader(data, size, trk2inst::read_any_module);
    return 0;
}
