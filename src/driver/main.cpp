#include <span>

#include "driver/command_line.h"

int main(int argc, char** argv)
{
    static trk2inst::RunState state;
    const auto* first = const_cast<const char* const*>(argv) + 1;
    const std::span<const char* const> args(first, argc > 0 ? static_cast<std::size_t>(argc - 1) : 0);
    return trk2inst::run_command_line(state, args);
}
