#include "player_harness.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace player_test {

std::string zynplay_path() { return std::string(ZYN_BUILD_DIR) + "zynplay"; }

namespace {

std::vector<std::string> environment_with(const std::vector<std::string> &extra, bool clear_wav) {
    std::vector<std::string> env;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (clear_wav && (text.rfind("ZYN_WAV_OUT=", 0) == 0 || text.rfind("ZYN_WAV_REALTIME=", 0) == 0))
            continue;
        env.push_back(text);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char *> pointers(std::vector<std::string> &texts) {
    std::vector<char *> list;
    for (std::string &text : texts) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

ProgramRun run(const std::vector<std::string> &argv_in, std::vector<std::string> env, double timeout_seconds,
               int signal_number = 0, const std::function<bool()> &ready = nullptr) {
    ProgramRun result;
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
    std::vector<std::string> argv = argv_in;
    std::vector<char *> args = pointers(argv), envp = pointers(env);
    pid_t child = fork();
    if (child == 0) {
        // A test that ends zynplay by a signal leaves no core file behind.
        rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        int null_in = open("/dev/null", O_RDONLY);
        dup2(null_in, 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_pipes = 2;
    bool killed = false, signalled = false;
    while (open_pipes > 0) {
        if (std::chrono::steady_clock::now() > deadline && !killed) {
            kill(child, SIGKILL);
            killed = true;
        }
        if (ready && !signalled && ready()) {
            kill(child, signal_number);
            signalled = true;
        }
        if (poll(fds, 2, 100) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(got));
            }
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    result.exit_code = (!killed && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    result.signal = (!killed && WIFSIGNALED(status)) ? WTERMSIG(status) : 0;
    return result;
}

}  // namespace

ProgramRun run_program(const std::vector<std::string> &argv, const std::vector<std::string> &env, double timeout_seconds) {
    return run(argv, environment_with(env, false), timeout_seconds);
}

ProgramRun run_zynplay(const std::vector<std::string> &args, const std::vector<std::string> &env) {
    std::vector<std::string> argv{zynplay_path()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, environment_with(env, true), 120.0);
}

ProgramRun run_zynplay_signalled(const std::vector<std::string> &args, int signal_number,
                                 const std::function<bool()> &ready) {
    std::vector<std::string> argv{zynplay_path()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, environment_with({}, true), 120.0, signal_number, ready);
}

Pcm tone(double frequency, double seconds, double amplitude, int rate, int channels) {
    Pcm a;
    a.rate = rate;
    a.channels = channels;
    const size_t frames = static_cast<size_t>(std::lround(seconds * rate));
    for (size_t i = 0; i < frames; ++i) {
        auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * frequency * i / rate)));
        for (int c = 0; c < channels; ++c) a.samples.push_back(v);
    }
    return a;
}

Extent audible_extent(const std::vector<double> &signal, double threshold) {
    Extent e;
    for (size_t i = 0; i < signal.size(); ++i)
        if (std::fabs(signal[i]) > threshold) {
            if (e.end == 0) e.first = i;
            e.end = i + 1;
        }
    return e;
}

double amplitude_at(const std::vector<double> &signal, double frequency, int rate, size_t first, size_t count) {
    double re = 0.0, im = 0.0;
    for (size_t i = 0; i < count && first + i < signal.size(); ++i) {
        double phase = 2.0 * M_PI * frequency * static_cast<double>(i) / rate;
        re += signal[first + i] * std::cos(phase);
        im -= signal[first + i] * std::sin(phase);
    }
    return count > 0 ? 2.0 * std::sqrt(re * re + im * im) / static_cast<double>(count) : 0.0;
}

bool has_program(const std::string &name) {
    std::string command = "command -v " + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace player_test
