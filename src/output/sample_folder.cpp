// The "x" command: every sample that the listing shows, each as the WAV file
// "s" writes, into a folder. Each file is written under a temporary name and
// renamed when complete, so no final name ever holds a partial file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>

#include "output/output.h"
#include "output/sampler_instrument.h"

namespace trk2inst {

namespace {

// The temporary file being written, removed if a signal ends the run.
char pending_path[4096];
volatile std::sig_atomic_t pending = 0;

extern "C" void remove_pending_and_reraise(int signal_number)
{
    if (pending != 0)
        ::unlink(pending_path);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void watch_for_interruption()
{
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal_number, remove_pending_and_reraise);
}

bool is_directory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// As mkdir -p: every missing directory of the path, mode 0777 less the umask.
void make_directories(const std::string& path)
{
    for (std::size_t end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '/')
            continue;
        const std::string prefix = path.substr(0, end);
        if (::mkdir(prefix.c_str(), 0777) == 0)
            continue;
        int error = errno;
        if (is_directory(prefix))
            continue;
        if (error == EEXIST && end < path.size())
            error = ENOTDIR;  // a file where a directory of the path should be
        fail("Error creating directory %s: %s\n", printable(prefix.c_str()).c_str(), std::strerror(error));
    }
}

// A new file of mode 0666 less the umask, as the shell's ">" makes it, under
// a name that no other file has. Opened by stdio itself ("x": O_EXCL, "e":
// O_CLOEXEC) with a buffer of the program's, which spares each file the
// system calls of fdopen and of sizing a buffer: folders hold many files.
std::FILE* create_temporary(const std::string& directory, const std::string& name, std::string& temporary)
{
    static unsigned counter = 0;
    static const std::string process = std::to_string(::getpid());
    static char buffer[64 * 1024];
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = directory + "." + name + "." + process + "-" + std::to_string(counter++);
        std::FILE* file = std::fopen(temporary.c_str(), "wbxe");
        if (file != nullptr) {
            std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
            return file;
        }
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

[[noreturn]] void fail_writing(const std::string& path, int error, const std::string& temporary)
{
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    pending = 0;
    fail("Error writing file %s: %s\n", printable(path.c_str()).c_str(), std::strerror(error));
}

// Writes the file `name` in the directory (which ends in "/", or is empty for
// the current one) by way of a temporary one; `write` gives its contents and
// false, errno set, for a failure of its own.
void write_file_in_place(const std::string& directory, const std::string& name, const std::string& path,
                         const std::function<bool(std::FILE*)>& write)
{
    std::string temporary;
    std::FILE* file = create_temporary(directory, name, temporary);
    if (file == nullptr)
        fail_writing(path, errno, {});
    if (temporary.size() < sizeof pending_path) {
        std::memcpy(pending_path, temporary.c_str(), temporary.size() + 1);
        pending = 1;
    }
    errno = 0;
    bool written = write(file);
    int error = errno;
    written = written && std::fflush(file) == 0 && !std::ferror(file);
    if (!written && error == 0)
        error = errno != 0 ? errno : EIO;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written)
        fail_writing(path, error, temporary);
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        fail_writing(path, errno, temporary);
    pending = 0;
}

}  // namespace

std::string sample_file_name(int slot_number, const char* name)
{
    return numbered_file_name(slot_number, name, ".wav");
}

std::string numbered_file_name(int number, const char* name, const char* extension)
{
    std::string safe(name);
    while (!safe.empty() && safe.back() == ' ')
        safe.pop_back();
    for (char& c : safe) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '.' || c == '-' || c == '_';
        if (!kept)
            c = '_';
    }
    if (!safe.empty() && safe.front() == '.')
        safe.front() = '_';
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02d", number);
    return safe.empty() ? std::string(digits) + extension : std::string(digits) + "-" + safe + extension;
}

namespace {

// Makes the directory as mkdir -p does; returns DIR and one "/", or nothing
// for the current directory.
std::string prepare_directory(const char* directory)
{
    const std::string given(directory);
    if (given.empty())
        return {};
    make_directories(given);
    return given.back() == '/' ? given : given + "/";
}

void write_samples(RunState& state, const std::string& prefix)
{
    watch_for_interruption();
    for (std::size_t i = 0; i < state.samples.size(); ++i) {
        const SampleSlot& slot = state.samples[i];
        if (slot.length == 0)
            continue;  // as the listing: only slots that hold a sample
        const std::string name = sample_file_name(static_cast<int>(i) + 1, slot.name.data());
        const std::string path = prefix + name;
        write_file_in_place(prefix, name, path, [&state, i](std::FILE* file) {
            return write_source_wav_file(state, i, file);
        });
        std::fprintf(state.out, "%s\n", path.c_str());
    }
}

}  // namespace

void write_whole_file(const std::string& path, const std::function<bool(std::FILE*)>& write)
{
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    if (slash != std::string::npos && slash > 0)
        make_directories(path.substr(0, slash));
    watch_for_interruption();
    write_file_in_place(directory, path.substr(directory.size()), path, write);
}

void extract_samples(RunState& state, const char* directory)
{
    write_samples(state, prepare_directory(directory));
}

void extract_instruments(RunState& state, const char* directory)
{
    const std::string prefix = prepare_directory(directory);
    write_samples(state, prefix);
    for (const SamplerInstrument& instrument : sampler_instruments(state)) {
        if (instrument.regions.empty())
            continue;  // no key plays a slot
        const std::string name = numbered_file_name(instrument.number, instrument.name.c_str(), ".sfz");
        const std::string path = prefix + name;
        write_file_in_place(prefix, name, path, [&state, &instrument](std::FILE* file) {
            write_sfz(state, instrument, file);
            return true;
        });
        std::fprintf(state.out, "%s\n", path.c_str());
    }
}

}  // namespace trk2inst
