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

// The 0-based index of the first slot whose name equals `name`: of slots 1 to
// 31, or under "=A" of all 99.
int find_instrument_by_name(const RunState& state, const char* name);

// What --help prints: the forms and commands, an example of each.
const char* usage_text();

}  // namespace trk2inst
