// Test helpers: module bytes as a temporary file or a real pipe, in-process runs
// with captured output, and runs of the built binary.
#pragma once

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver/run_state.h"
#include "module_builders.h"

namespace trk2inst::test {

using build::Bytes;

// A temporary file holding the given bytes, removed when it goes.
class TempFile {
public:
    explicit TempFile(const Bytes& contents);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The read end of a pipe that a thread fills with the bytes and then closes.
class PipeInput {
public:
    explicit PipeInput(Bytes contents);
    ~PipeInput();
    PipeInput(const PipeInput&) = delete;
    PipeInput& operator=(const PipeInput&) = delete;
    std::FILE* file() const { return read_end_; }

private:
    std::FILE* read_end_ = nullptr;
    std::thread writer_;
};

enum class Source { file, pipe };

// Module bytes readable as a stdio stream, from a seekable file or a pipe.
class ModuleInput {
public:
    ModuleInput(const Bytes& contents, Source source);
    std::FILE* file() const;

private:
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::unique_ptr<PipeInput> pipe_;
};

struct LoadResult {
    std::unique_ptr<RunState> state;
    std::string error;  // the fatal message, empty when the reader returned
};

using Reader = void (*)(RunState&);

// Runs a reader on the module bytes from a file or a pipe.
LoadResult load_module(const Bytes& module, Source source, Reader reader, bool wow_mode = false);

struct RunResult {
    int status = -1;
    Bytes out;
    std::string err;
};

// Runs the tool in-process on the arguments, with the module (if any) as
// standard input; standard output and error are captured.
RunResult run_in_process(const std::vector<std::string>& args, const Bytes* module = nullptr,
                         Source source = Source::file);

// Runs the tool in-process on FORM FILE COMMANDS, a file of the module; for
// "=A", also "=A -" with the module from a pipe, which must give the same
// output, messages and status. Returns the run from the file.
RunResult run_both(const std::vector<std::string>& commands, const Bytes& module, const char* form = "=A");

// Runs the built binary with the module as standard input (none: /dev/null).
// Standard output is captured unless it goes to the named file. With
// as_nobody, a run by root runs as the user nobody, whom permissions bind.
RunResult run_binary(const std::vector<std::string>& args, const Bytes* module = nullptr,
                     Source source = Source::file, const char* stdout_path = nullptr,
                     bool as_nobody = false);

// Runs the built binary with a pseudo-terminal as its standard input (else
// /dev/null) and as its standard output (else a file); RunResult::out holds
// what either way reached standard output.
RunResult run_at_terminal(const std::vector<std::string>& args, bool input_terminal, bool output_terminal);

// A little-endian 32-bit number at `at`.
std::uint32_t u32le(const Bytes& bytes, std::size_t at);

// Walks a RIFF WAVE file: checks the outer size (as test expectations) and
// gives the chunks in file order.
std::vector<std::pair<std::string, Bytes>> riff_chunks(const Bytes& file);

using build::numbered;
Bytes bytes_of(const std::string& text);
std::string text_of(const Bytes& bytes);
// The slot's data as bytes (empty when it holds none).
Bytes slot_data(const SampleSlot& slot);

// A record as "o" writes it: the fields (volume at the default scale) and
// the data.
Bytes slot_record(unsigned words, unsigned finetune, unsigned loop_start, unsigned loop_length, unsigned volume,
                  unsigned note, const Bytes& data);

// One sample of a module under "=A": its record (slots 1 to 99; else none),
// the WAV data chunk of its source sample ("s") and parts of the listing
// ("j"), from a file and a pipe alike.
struct SampleCase {
    const char* what;
    Bytes module;
    int slot;
    Bytes record;
    Bytes wav_data;
    std::vector<std::string> json_parts;
};

void PrintTo(const SampleCase& c, std::ostream* os);
void expect_sample(const SampleCase& c);

}  // namespace trk2inst::test
