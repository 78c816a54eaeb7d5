// A whole run: the command line as text, a zero byte, then the module.
// Arguments are separated by spaces; every "x", "z" and "f" writes into one
// folder of the fuzzer's. When the first argument begins with "=",
// the module is written to a file whose name becomes the second argument,
// unless the second argument is already "-"; otherwise the module is standard
// input.
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "fuzz_harness.h"

namespace {

const std::string& module_path()
{
    static const std::string path = [] {
        char name[] = "/tmp/trk2inst-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            std::abort();
        close(fd);
        return std::string(name);
    }();
    return path;
}

void write_module_file(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(module_path().c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
}

std::vector<std::string> split_arguments(const std::string& text)
{
    std::vector<std::string> args;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trk2inst;
    const auto* separator = std::find(data, data + size, std::uint8_t{0});
    if (separator == data + size)
        return 0;
    const std::string text(data, separator);
    const std::uint8_t* module = separator + 1;
    const auto module_size = static_cast<std::size_t>(data + size - module);

    std::vector<std::string> args = text.empty() ? std::vector<std::string>{} : split_arguments(text);
    // "x", "z" and "f" write only into the fuzzer's own folder.
    for (std::string& arg : args)
        if (arg.starts_with('x') || arg.starts_with('z'))
            arg = arg.substr(0, 1) + fuzz::extract_folder();
        else if (arg.starts_with('f') && arg.size() > 1 && arg != "f-")
            arg = "f" + fuzz::extract_folder() + "/bank.sf2";
    const bool standard_input = args.size() > 1 && args[1] == "-";  // "=A -"
    const bool file_form = !args.empty() && args[0].starts_with('=') && !standard_input;
    if (file_form) {
        write_module_file(module, module_size);
        args.insert(args.begin() + 1, module_path());
    }
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());

    const auto stream = fuzz::memory_stream(module, module_size);
    auto state = std::make_unique<RunState>();
    state->input.file = stream.get();
    state->out = fuzz::null_output();
    state->err = fuzz::null_output();
    const int status = run_command_line(*state, argv);
    if (status != 0 && status != 1)
        std::abort();
    // A run that failed may have stopped between a sample's header and its data.
    if (status == 0)
        fuzz::check_table(state->samples, state->settings.record_data_needed);
    return 0;
}
