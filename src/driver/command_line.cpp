#include "driver/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "output/output.h"
#include "readers/readers.h"

namespace trk2inst {

namespace {

constexpr int searched_slots = 31;

#ifndef TRK2INST_VERSION
#define TRK2INST_VERSION "unknown"
#endif

// POSIX streams make no text/binary distinction: every byte already passes unchanged.
void set_binary_mode() {}

void open_module_file(InputStream& input, const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        fail("Error opening file %s: %s\n", printable(path).c_str(), std::strerror(errno));
    input.owned_file.reset(file);
    input.file = file;
    begin_input(input);
    // fopen accepts a directory; reading it would only fail later, and silently.
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode))
        fail("Error opening file %s: %s\n", printable(path).c_str(), std::strerror(EISDIR));
}

// Nobody types a module: rather than wait for one, say how to give it.
void begin_standard_input(InputStream& input)
{
    if (::isatty(::fileno(input.file)))
        fail("No module: standard input is a terminal.\n%s", usage_text());
    begin_input(input);
}

// Opens and reads the module; returns the index of the first command.
std::size_t load_module(RunState& state, std::span<const char* const> args)
{
    if (args.empty() || args[0][0] != '=') {
        begin_standard_input(state.input);
        read_streamed_module(state);
        return 0;
    }
    if (args.size() < 2)
        fail("Missing file name.\n");
    const char type = args[0][1];
    state.module_name = args[1];
    if (type == 'A' && std::strcmp(args[1], "-") == 0)
        begin_standard_input(state.input);  // "=A -": the module on standard input
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
        fail("Improper file type: %s\n", printable(type).c_str());
    }
    return 2;
}

// Records and WAV files are for programs: on a terminal they are noise that
// can set its modes.
void refuse_terminal(const RunState& state)
{
    if (state.out_is_terminal)
        fail("Not writing binary data to a terminal.\n");
}

void run_command(RunState& state, const char* argument)
{
    const char command = argument[0];
    const char* operand = command == '\0' ? argument : argument + 1;
    if (command == 'o' || command == '-' || command == 'w' || command == 's' ||
        (command == 'f' && std::strcmp(operand, "-") == 0))
        refuse_terminal(state);
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
    case 'z':
        extract_instruments(state, operand);
        break;
    case 'f':
        write_soundfont(state, operand);
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
        std::fprintf(state.err, "Unrecognized option: %s\n", printable(command).c_str());
    }
}

// The readers do the work for source samples only when a command needs them.
SourceNeed source_need_of(std::span<const char* const> commands)
{
    SourceNeed need = SourceNeed::none;
    for (const char* command : commands) {
        if (command[0] == 's' || command[0] == 'x' || command[0] == 'z' || command[0] == 'f')
            return SourceNeed::values;
        if (command[0] == 'j')
            need = SourceNeed::shape;
    }
    return need;
}

bool instruments_needed(std::span<const char* const> commands)
{
    return std::any_of(commands.begin(), commands.end(),
                       [](const char* command) { return command[0] == 'z' || command[0] == 'j' || command[0] == 'f'; });
}

bool record_data_needed(std::span<const char* const> commands)
{
    return std::any_of(commands.begin(), commands.end(), [](const char* command) {
        return command[0] == 'o' || command[0] == 'w' || command[0] == '-';
    });
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
    const int searched = state.settings.convert_samples ? slot_count : searched_slots;
    const SampleTable slots = record_table(state);
    for (int i = 0; i < searched; ++i) {
        if (std::strcmp(slots[static_cast<std::size_t>(i)].name.data(), name) == 0)
            return i;
    }
    fail("Instrument not found: %s\n", printable(name).c_str());
}

// "--help", "-h" and "--version" only as the one argument: anywhere else they
// are commands ("-NAME") as ever. Returns whether one was answered.
bool answer_help_or_version(const RunState& state, std::span<const char* const> args)
{
    if (args.size() != 1)
        return false;
    if (std::strcmp(args[0], "--help") == 0 || std::strcmp(args[0], "-h") == 0) {
        std::fputs(usage_text(), state.out);
        return true;
    }
    if (std::strcmp(args[0], "--version") == 0) {
        std::fputs("trk2inst " TRK2INST_VERSION "\n", state.out);
        return true;
    }
    return false;
}

void warn_of_cut_data(const RunState& state)
{
    if (state.first_cut_sample > 0)
        std::fprintf(state.err,
                     "Warning: the module ends inside the data of slot %d; what is missing reads as zeros.\n",
                     state.first_cut_sample);
}

void warn_of_samples_not_decoded(const RunState& state)
{
    const std::string warning = not_decoded_warning(state.not_decoded);
    std::fputs(warning.c_str(), state.err);
}

// Only the commands that give out every sample and instrument can fall short.
void warn_of_left_out(const RunState& state)
{
    if (!state.settings.every_sample)
        return;
    const std::string warning = left_out_warning(state.left_out);
    std::fputs(warning.c_str(), state.err);
}

int run_command_line(RunState& state, std::span<const char* const> args)
{
    try {
        set_binary_mode();
        state.out_is_terminal = ::isatty(::fileno(state.out)) != 0;
        if (answer_help_or_version(state, args)) {
            finish_output(state);
            return 0;
        }
        const bool file_form = !args.empty() && args[0][0] == '=';
        const auto commands = args.subspan(std::min<std::size_t>(file_form ? 2 : 0, args.size()));
        state.settings.source_need = source_need_of(commands);
        state.settings.instruments_needed = instruments_needed(commands);
        state.settings.record_data_needed = record_data_needed(commands);
        const std::size_t first_command = load_module(state, args);
        warn_of_cut_data(state);
        warn_of_samples_not_decoded(state);
        warn_of_left_out(state);
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
