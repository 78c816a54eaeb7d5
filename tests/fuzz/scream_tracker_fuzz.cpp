// Scream Tracker 3 modules, read by their parapointers; the pipe option covers
// "=S" given a named pipe, where a pointer backwards ends the run.
#include "reader_fuzz.h"
#include "readers/readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    trk2inst::fuzz::fuzz_reader(data, size, trk2inst::read_scream_tracker_module);
    return 0;
}
