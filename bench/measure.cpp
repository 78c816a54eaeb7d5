// Runs a command, or a pipeline of two, a number of times and prints the
// median wall-clock time in milliseconds and the largest peak resident set of
// the last stage in KiB:
//   measure RUNS [+SHELL_COMMAND] [<FILE] PROGRAM ARGS... [| PROGRAM ARGS...]
// Standard output of the last stage goes to /dev/null; standard input of the
// first comes from FILE, else /dev/null. One warm-up run comes first. The
// shell command runs before every run, untimed (to remove what a run wrote).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Command = std::vector<char*>;

pid_t start(Command& command, int input, int output)
{
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(input, 0);
        dup2(output, 1);
        execvp(command[0], command.data());
        std::perror(command[0]);
        _exit(127);
    }
    return pid;
}

struct Sample {
    double milliseconds;
    long peak_kib;
};

Sample run_once(std::vector<Command>& stages, const char* input_path)
{
    const int input = open(input_path, O_RDONLY);
    const int null_out = open("/dev/null", O_WRONLY);
    const auto begin = std::chrono::steady_clock::now();
    std::vector<pid_t> pids;
    int next_input = input;
    for (std::size_t i = 0; i < stages.size(); ++i) {
        int fds[2] = {-1, null_out};
        if (i + 1 < stages.size() && pipe(fds) != 0)
            std::exit(2);
        pids.push_back(start(stages[i], next_input, i + 1 < stages.size() ? fds[1] : null_out));
        if (next_input != input)
            close(next_input);
        if (i + 1 < stages.size()) {
            close(fds[1]);
            next_input = fds[0];
        }
    }
    long peak = 0;
    for (std::size_t i = 0; i < pids.size(); ++i) {
        int status = 0;
        rusage usage{};
        wait4(pids[i], &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "measure: %s failed\n", stages[i][0]);
            std::exit(1);
        }
        if (i + 1 == pids.size())
            peak = usage.ru_maxrss;
    }
    const auto end = std::chrono::steady_clock::now();
    close(input);
    close(null_out);
    return {std::chrono::duration<double, std::milli>(end - begin).count(), peak};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const int runs = std::atoi(argv[1]);
    int first = 2;
    const char* before = nullptr;
    if (argv[first][0] == '+')
        before = argv[first++] + 1;
    const char* input_path = "/dev/null";
    if (argv[first][0] == '<')
        input_path = argv[first++] + 1;
    std::vector<Command> stages(1);
    for (int i = first; i < argc; ++i) {
        if (std::strcmp(argv[i], "|") == 0) {
            stages.back().push_back(nullptr);
            stages.emplace_back();
        } else {
            stages.back().push_back(argv[i]);
        }
    }
    stages.back().push_back(nullptr);

    const auto prepare = [before] {
        if (before != nullptr && std::system(before) != 0)
            std::exit(1);
    };
    prepare();
    run_once(stages, input_path);
    std::vector<double> times;
    long peak = 0;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const Sample sample = run_once(stages, input_path);
        times.push_back(sample.milliseconds);
        peak = std::max(peak, sample.peak_kib);
    }
    std::sort(times.begin(), times.end());
    std::printf("%.3f %ld\n", times[times.size() / 2], peak);
    return 0;
}
