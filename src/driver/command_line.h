// The command line: choice of input and reader, then the one-letter commands
// from left to right.
#pragma once

#include <cstdint>
#include <span>

#include "driver/run_state.h"

namespace trk2inst {

// Runs the whole tool on the arguments after the program name; returns the
// exit status. A fatal error flushes standard output, then prints its message.
int run_command_line(RunState& state, std::span<const char* const> args);

// A number with automatic base (0x.., 0.., decimal), saturated to 32 bits.
std::int32_t parse_number(const char* text);

// The 0-based index of the first of slots 1 to 31 whose name equals `name`.
int find_instrument_by_name(const RunState& state, const char* name);

}  // namespace trk2inst
