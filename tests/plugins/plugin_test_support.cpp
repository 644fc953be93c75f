#include "plugin_test_support.h"

#include "file_bytes.h"
#include "test_support.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace zyn_test {

PluginFolder::PluginFolder(const std::vector<std::string> &plugins) {
    char pattern[] = "/tmp/zyn-plugins-XXXXXX";
    const char *made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
    for (const std::string &plugin : plugins)
        std::filesystem::create_symlink(std::string(ZYN_PLUGIN_DIR) + plugin, path_ + "/" + plugin);
}

PluginFolder::~PluginFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool plugin_built(const std::string &file) {
    return std::filesystem::exists(std::string(ZYN_PLUGIN_DIR) + file);
}

namespace {
// Touched only on the output thread while it runs; read after it was joined.
int64_t g_pattern_next = 0;
std::atomic<int64_t> g_blocks{0};
double g_tone_phase = 0.0;
double g_tone_step = 0.0;
double g_tone_amplitude = 0.0;
}  // namespace

void pattern_callback(int16_t *samples, int32_t channels, int32_t frames) {
    const int64_t count = int64_t{channels} * frames;
    for (int64_t i = 0; i < count; ++i) samples[i] = pattern_value(g_pattern_next++);
    g_blocks.fetch_add(1);
}

int64_t pattern_samples_written() { return g_pattern_next; }
int64_t callback_blocks() { return g_blocks.load(); }

void reset_callbacks() {
    g_pattern_next = 0;
    g_blocks.store(0);
}

PatternRun find_pattern(const std::vector<int16_t> &samples) {
    PatternRun run;
    while (run.start < samples.size() && samples[run.start] == 0) ++run.start;
    while (run.start + run.length < samples.size() &&
           samples[run.start + run.length] == pattern_value(static_cast<int64_t>(run.length)))
        ++run.length;
    return run;
}

void set_tone(double frequency, double amplitude) {
    g_tone_phase = 0.0;
    g_tone_step = 2.0 * M_PI * frequency / 44100.0;
    g_tone_amplitude = amplitude;
}

void tone_callback(int16_t *samples, int32_t channels, int32_t frames) {
    for (int32_t f = 0; f < frames; ++f) {
        const auto value = static_cast<int16_t>(std::lround(g_tone_amplitude * std::sin(g_tone_phase)));
        for (int32_t c = 0; c < channels; ++c) samples[f * channels + c] = value;
        g_tone_phase = std::fmod(g_tone_phase + g_tone_step, 2.0 * M_PI);
    }
    g_blocks.fetch_add(1);
}

std::vector<int16_t> read_raw(const std::string &path) {
    const std::vector<uint8_t> bytes = read_file(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return samples;
}

pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
            const std::string &stdout_path) {
    std::vector<std::string> env_strings = environment;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string &own : environment)
            if (own.compare(0, name.size() + 1, name + "=") == 0) replaced = true;
        if (!replaced) env_strings.push_back(entry);
    }
    std::vector<char *> args, env;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string &e : env_strings) env.push_back(const_cast<char *>(e.c_str()));
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                     stdout_path.empty() ? "/dev/null" : stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

int end_process(pid_t pid, int signal_number) {
    if (pid <= 0) return -1;
    kill(pid, signal_number);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return status;
}

std::string PulseServer::start() {
    if (!program_available("pulseaudio")) return "pulseaudio is not installed";
    if (!program_available("pactl")) return "pactl (pulseaudio-utils) is not installed";
    const std::string socket = folder_ + "/native";
    std::vector<std::string> server_environment = environment();
    server_environment.insert(server_environment.end(), server_environment_.begin(), server_environment_.end());
    pid_ = spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                  "--load=" + sink_,
                  "--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1"},
                 server_environment);
    if (pid_ < 0) return "pulseaudio could not be started";
    // The engine's client too: its cookie and state stay out of the real home.
    setenv("PULSE_SERVER", server().c_str(), 1);
    setenv("HOME", folder_.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    const std::string check = "pactl info >/dev/null 2>&1";
    for (int waited = 0; waited < 10000; waited += 50) {
        if (std::filesystem::exists(socket) && std::system(check.c_str()) == 0) return "";
        sleep_ms(50);
    }
    return "the private pulseaudio server did not come up within 10 s";
}

void PulseServer::stop() {
    signal(SIGCONT);  // a frozen server could not act on SIGTERM
    if (pid_ > 0) end_process(pid_, SIGTERM);
    pid_ = -1;
}

void PulseServer::signal(int signal_number) {
    if (pid_ > 0) kill(pid_, signal_number);
}

void PulseServer::kill_now() {
    if (pid_ > 0) end_process(pid_, SIGKILL);
    pid_ = -1;
}

std::vector<std::string> PulseServer::environment() const {
    return {"XDG_RUNTIME_DIR=" + folder_, "HOME=" + folder_, "PULSE_SERVER=" + server()};
}

ZynOutputStats output_stats() {
    ZynOutputStats stats;
    std::memset(&stats, 0, sizeof(stats));
    stats.size = sizeof(stats);
    if (ZYN_GET_OUTPUTSTATS(&stats) != 1) std::memset(&stats, 0, sizeof(stats));
    return stats;
}

bool wait_for(int milliseconds, const std::function<bool()> &done) {
    for (int waited = 0; waited < milliseconds; waited += 10) {
        if (done()) return true;
        sleep_ms(10);
    }
    return done();
}

int32_t descriptor_count() {
    int32_t count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

void touch(const std::string &path) { std::ofstream(path, std::ios::app).flush(); }

void replace_file(const std::string &path, const std::string &text) {
    const std::string fresh = path + ".new";
    std::ofstream(fresh, std::ios::trunc) << text;
    std::filesystem::rename(fresh, path);
}

bool program_available(const std::string &name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double seconds_since(int64_t start_ns) { return static_cast<double>(now_ns() - start_ns) * 1e-9; }

void sleep_ms(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace zyn_test
