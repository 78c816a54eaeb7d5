#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "driver/command_line.h"

namespace trk2inst::test {

namespace {

void write_all(int fd, const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;  // the reader went away; what it read is what it got
        done += static_cast<std::size_t>(n);
    }
}

Bytes read_all(std::FILE* file)
{
    Bytes bytes;
    std::rewind(file);
    int c;
    while ((c = std::getc(file)) != EOF)
        bytes.push_back(static_cast<std::uint8_t>(c));
    return bytes;
}

std::FILE* file_with(const Bytes& contents)
{
    std::FILE* file = std::tmpfile();
    if (file == nullptr)
        throw std::runtime_error("tmpfile failed");
    if (!contents.empty())
        std::fwrite(contents.data(), 1, contents.size(), file);
    std::rewind(file);
    return file;
}

}  // namespace

TempFile::TempFile(const Bytes& contents)
{
    char name[] = "/tmp/trk2inst-test-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    write_all(fd, contents);
    ::close(fd);
    path_ = name;
}

TempFile::~TempFile()
{
    ::unlink(path_.c_str());
}

PipeInput::PipeInput(Bytes contents)
{
    // A reader that stops early must not kill the test with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    read_end_ = ::fdopen(fds[0], "rb");
    const int write_end = fds[1];
    writer_ = std::thread([write_end, bytes = std::move(contents)] {
        write_all(write_end, bytes);
        ::close(write_end);
    });
}

PipeInput::~PipeInput()
{
    // Closing the read end first releases a writer blocked on a full pipe.
    std::fclose(read_end_);
    writer_.join();
}

ModuleInput::ModuleInput(const Bytes& contents, Source source)
{
    if (source == Source::file)
        file_.reset(file_with(contents));
    else
        pipe_ = std::make_unique<PipeInput>(contents);
}

std::FILE* ModuleInput::file() const
{
    return file_ ? file_.get() : pipe_->file();
}

LoadResult load_module(const Bytes& module, Source source, Reader reader, bool wow_mode)
{
    ModuleInput input(module, source);
    LoadResult result{std::make_unique<RunState>(), {}};
    result.state->input.file = input.file();
    result.state->settings.wow_mode = wow_mode;
    begin_input(result.state->input);
    try {
        reader(*result.state);
    } catch (const FatalError& error) {
        result.error = error.message;
    }
    result.state->input.file = nullptr;
    return result;
}

RunResult run_both(const std::vector<std::string>& commands, const Bytes& module, const char* form)
{
    const TempFile file(module);
    std::vector<std::string> file_args{form, file.path()};
    file_args.insert(file_args.end(), commands.begin(), commands.end());
    RunResult from_file = run_in_process(file_args);
    if (std::string(form) == "=A") {
        std::vector<std::string> pipe_args{"=A", "-"};
        pipe_args.insert(pipe_args.end(), commands.begin(), commands.end());
        const RunResult from_pipe = run_in_process(pipe_args, &module, Source::pipe);
        EXPECT_EQ(from_pipe.out, from_file.out);
        EXPECT_EQ(from_pipe.err, from_file.err);
        EXPECT_EQ(from_pipe.status, from_file.status);
    }
    return from_file;
}

RunResult run_in_process(const std::vector<std::string>& args, const Bytes* module, Source source)
{
    const Bytes empty;
    ModuleInput input(module ? *module : empty, source);
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    std::unique_ptr<std::FILE, FileCloser> err(std::tmpfile());
    auto state = std::make_unique<RunState>();
    state->input.file = input.file();
    state->out = out.get();
    state->err = err.get();
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    RunResult result;
    result.status = run_command_line(*state, argv);
    result.out = read_all(out.get());
    result.err = text_of(read_all(err.get()));
    return result;
}

// A copy of the program that the user nobody may run wherever the build tree
// is; removed when the tests end.
char nobody_copy[64];

std::string program_for_nobody()
{
    if (nobody_copy[0] == '\0') {
        std::snprintf(nobody_copy, sizeof nobody_copy, "/tmp/trk2inst-for-nobody-%d", static_cast<int>(::getpid()));
        std::ifstream in(TRK2INST_BINARY, std::ios::binary);
        std::ofstream(nobody_copy, std::ios::binary) << in.rdbuf();
        ::chmod(nobody_copy, 0755);
        std::atexit([] { ::unlink(nobody_copy); });
    }
    return nobody_copy;
}

RunResult run_binary(const std::vector<std::string>& args, const Bytes* module, Source source,
                     const char* stdout_path, bool as_nobody)
{
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    std::unique_ptr<std::FILE, FileCloser> err(std::tmpfile());
    std::unique_ptr<ModuleInput> input;
    if (module)
        input = std::make_unique<ModuleInput>(*module, source);
    // Everything the child needs is prepared before the fork: a pipe's writer
    // thread may be running.
    as_nobody = as_nobody && ::getuid() == 0;
    std::string program = as_nobody ? program_for_nobody() : TRK2INST_BINARY;
    std::vector<std::string> copies = args;
    std::vector<char*> argv{program.data()};
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int in_fd = input ? ::fileno(input->file()) : ::open("/dev/null", O_RDONLY);
    const int out_fd = stdout_path ? ::open(stdout_path, O_WRONLY) : ::fileno(out.get());
    const int err_fd = ::fileno(err.get());
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(in_fd, 0);
        ::dup2(out_fd, 1);
        ::dup2(err_fd, 2);
        if (as_nobody && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (!input)
        ::close(in_fd);
    if (stdout_path)
        ::close(out_fd);
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
    RunResult result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    result.out = read_all(out.get());
    result.err = text_of(read_all(err.get()));
    return result;
}

RunResult run_at_terminal(const std::vector<std::string>& args, bool input_terminal, bool output_terminal)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return {-1, {}, "no pseudo-terminal here"};
    const std::string terminal = ::ptsname(master);
    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    std::unique_ptr<std::FILE, FileCloser> err(std::tmpfile());
    std::string program = TRK2INST_BINARY;
    std::vector<std::string> copies = args;
    std::vector<char*> argv{program.data()};
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int slave = ::open(terminal.c_str(), O_RDWR);
        const int null_in = ::open("/dev/null", O_RDONLY);
        ::dup2(input_terminal ? slave : null_in, 0);
        ::dup2(output_terminal ? slave : ::fileno(out.get()), 1);
        ::dup2(::fileno(err.get()), 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    // Drain the terminal while the program runs, so that it never blocks on it.
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    Bytes shown;
    int wait_status = 0;
    for (bool done = false; !done;) {
        done = ::waitpid(child, &wait_status, WNOHANG) == child;
        std::uint8_t buffer[4096];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            shown.insert(shown.end(), buffer, buffer + n);
        if (!done)
            ::usleep(1000);
    }
    ::close(master);
    RunResult result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    result.out = output_terminal ? shown : read_all(out.get());
    result.err = text_of(read_all(err.get()));
    return result;
}

std::uint32_t u32le(const Bytes& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | bytes[at + i];
    return value;
}

std::vector<std::pair<std::string, Bytes>> riff_chunks(const Bytes& file)
{
    EXPECT_GE(file.size(), 12u);
    EXPECT_EQ(text_of(Bytes(file.begin(), file.begin() + 4)), "RIFF");
    EXPECT_EQ(u32le(file, 4), file.size() - 8);
    EXPECT_EQ(text_of(Bytes(file.begin() + 8, file.begin() + 12)), "WAVE");
    std::vector<std::pair<std::string, Bytes>> chunks;
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::uint32_t size = u32le(file, at + 4);
        if (at + 8 + size > file.size())
            break;
        chunks.emplace_back(text_of(Bytes(file.begin() + static_cast<std::ptrdiff_t>(at),
                                          file.begin() + static_cast<std::ptrdiff_t>(at + 4))),
                            Bytes(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                  file.begin() + static_cast<std::ptrdiff_t>(at + 8 + size)));
        at += 8 + size + (size & 1);
    }
    EXPECT_EQ(at, file.size()) << "chunks do not fill the file";
    return chunks;
}

Bytes bytes_of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string text_of(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

Bytes slot_data(const SampleSlot& slot)
{
    if (!slot.data || slot.length <= 0)
        return {};
    return Bytes(slot.data.get(), slot.data.get() + 2 * static_cast<std::size_t>(slot.length));
}

Bytes slot_record(unsigned words, unsigned finetune, unsigned loop_start, unsigned loop_length, unsigned volume,
                  unsigned note, const Bytes& data)
{
    Bytes out{0x0A};
    build::put_u16be(out, words);
    build::put_u8(out, finetune);
    build::put_u16be(out, loop_start);
    build::put_u16be(out, loop_length);
    build::put_u16be(out, volume << 8);
    build::put_u8(out, note);
    build::append(out, data);
    return out;
}

void PrintTo(const SampleCase& c, std::ostream* os)
{
    *os << c.what;
}

void expect_sample(const SampleCase& c)
{
    const bool has_record = c.slot <= slot_count;
    std::vector<std::string> commands{"s" + std::to_string(c.slot), "j"};
    if (has_record)
        commands.insert(commands.begin(), "o" + std::to_string(c.slot));
    const RunResult result = run_both(commands, c.module);
    ASSERT_EQ(result.status, 0) << result.err;
    const Bytes& out = result.out;
    const std::size_t record_size = has_record && out.size() >= 3 ? 11 + 2 * (std::size_t{out[1]} << 8 | out[2]) : 0;
    ASSERT_GE(out.size(), record_size + 8);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(record_size)), c.record);
    const std::size_t wav_end = record_size + 8 + u32le(out, record_size + 4);
    ASSERT_LE(wav_end, out.size());
    Bytes data;
    for (auto& [tag, payload] : riff_chunks(Bytes(out.begin() + static_cast<std::ptrdiff_t>(record_size),
                                                  out.begin() + static_cast<std::ptrdiff_t>(wav_end))))
        if (tag == "data")
            data = payload;
    EXPECT_EQ(data, c.wav_data);
    const std::string json = text_of(Bytes(out.begin() + static_cast<std::ptrdiff_t>(wav_end), out.end()));
    for (const std::string& part : c.json_parts)
        EXPECT_NE(json.find(part), std::string::npos) << part << " not in " << json;
}

}  // namespace trk2inst::test
