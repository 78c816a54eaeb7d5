#include <span>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "driver/command_line.h"

namespace {

// Sample buffers (up to 131,070 bytes each) are kept until the process ends.
// glibc would map each one on its own; taking them from one growing heap
// saves two system calls and a mapping per sample.
void keep_sample_buffers_on_the_heap()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TOP_PAD, 4 << 20);
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    keep_sample_buffers_on_the_heap();
    static trk2inst::RunState state;
    const auto* first = const_cast<const char* const*>(argv) + 1;
    const std::span<const char* const> args(first, argc > 0 ? static_cast<std::size_t>(argc - 1) : 0);
    return trk2inst::run_command_line(state, args);
}
