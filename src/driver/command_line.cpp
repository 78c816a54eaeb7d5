#include "driver/command_line.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "output/output.h"
#include "readers/readers.h"

namespace trk2inst {

namespace {

constexpr int searched_slots = 31;

// POSIX streams make no text/binary distinction: every byte already passes unchanged.
void set_binary_mode() {}

void open_module_file(InputStream& input, const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        fail("Error opening file %s: %s\n", path, std::strerror(errno));
    input.owned_file.reset(file);
    input.file = file;
    begin_input(input);
    // fopen accepts a directory; reading it would only fail later, and silently.
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode))
        fail("Error opening file %s: %s\n", path, std::strerror(EISDIR));
}

// Opens and reads the module; returns the index of the first command.
std::size_t load_module(RunState& state, std::span<const char* const> args)
{
    if (args.empty() || args[0][0] != '=') {
        begin_input(state.input);
        read_streamed_module(state);
        return 0;
    }
    if (args.size() < 2)
        fail("Missing file name.\n");
    const char type = args[0][1];
    if (type == 'A' && std::strcmp(args[1], "-") == 0)
        begin_input(state.input);  // "=A -": the module on standard input
    else
        open_module_file(state.input, args[1]);
    switch (type) {
    case 'A':
        read_any_module(state);
        break;
    case 'S':
        read_scream_tracker_module(state);
        break;
    case 'W':
        state.settings.wow_mode = true;
        read_streamed_module(state);
        break;
    case 'M':
        read_streamed_module(state);
        break;
    default:
        fail("Improper file type: %c\n", type);
    }
    return 2;
}

void run_command(RunState& state, const char* argument)
{
    const char command = argument[0];
    const char* operand = command == '\0' ? argument : argument + 1;
    switch (command) {
    case 'o':
        write_instrument(state, std::int64_t{parse_number(operand)} - 1);
        break;
    case '-':
        write_instrument(state, find_instrument_by_name(state, operand));
        break;
    case 'w':
        write_wav(state, std::int64_t{parse_number(operand)} - 1);
        break;
    case 's':
        write_source_wav(state, std::int64_t{parse_number(operand)} - 1);
        break;
    case 'x':
        extract_samples(state, operand);
        break;
    case 'i':
        print_module_info(state);
        break;
    case 'j':
        print_module_json(state);
        break;
    case 'k':
        state.settings.key_offset = parse_number(operand);
        break;
    case 'v':
        state.settings.volume_scale = parse_number(operand);
        break;
    default:
        std::fprintf(state.err, "Unrecognized option: %c\n", command);
    }
}

// The readers do the work for source samples only when a command needs them.
SourceNeed source_need_of(std::span<const char* const> commands)
{
    SourceNeed need = SourceNeed::none;
    for (const char* command : commands) {
        if (command[0] == 's' || command[0] == 'x')
            return SourceNeed::values;
        if (command[0] == 'j')
            need = SourceNeed::shape;
    }
    return need;
}

// Records already written must not be lost silently: a failed write is an error.
void finish_output(const RunState& state)
{
    if (std::fflush(state.out) != 0 || std::ferror(state.out))
        fail("Error writing output: %s\n", std::strerror(errno));
}

}  // namespace

std::int32_t parse_number(const char* text)
{
    const long long value = std::strtoll(text, nullptr, 0);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

int find_instrument_by_name(const RunState& state, const char* name)
{
    for (int i = 0; i < searched_slots; ++i) {
        if (std::strcmp(state.samples[static_cast<std::size_t>(i)].name.data(), name) == 0)
            return i;
    }
    fail("Instrument not found: %s\n", name);
}

int run_command_line(RunState& state, std::span<const char* const> args)
{
    try {
        set_binary_mode();
        const bool file_form = !args.empty() && args[0][0] == '=';
        state.settings.source_need = source_need_of(args.subspan(std::min<std::size_t>(file_form ? 2 : 0, args.size())));
        const std::size_t first_command = load_module(state, args);
        for (std::size_t i = first_command; i < args.size(); ++i)
            run_command(state, args[i]);
        finish_output(state);
        return 0;
    } catch (const FatalError& error) {
        std::fflush(state.out);
        std::fwrite(error.message.data(), 1, error.message.size(), state.err);
        std::fflush(state.err);
        return 1;
    }
}

}  // namespace trk2inst
