// Helpers of the output plug-in tests: a plug-in folder holding only chosen
// plug-ins, a known sample pattern written from the master callback, a raw
// file reader (WAV files: wav_fixture.h), and child processes (servers,
// recorders).
#pragma once

#include "zyn.h"
#include "zyn_plugout.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zyn_test {

// A temporary folder with symbolic links to some of the built plug-ins, so a
// test decides which ones the engine can find. Removed at the end.
class PluginFolder {
  public:
    explicit PluginFolder(const std::vector<std::string> &plugins);
    ~PluginFolder();
    PluginFolder(const PluginFolder &) = delete;
    PluginFolder &operator=(const PluginFolder &) = delete;
    // With a trailing '/', as ZYN_SET_PLUGPATH wants it.
    std::string path() const { return path_ + "/"; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

bool plugin_built(const std::string &file);

// The sample pattern: sample k (interleaved, counted from the first block the
// callback saw) is pattern_value(k), never 0, so it stands out from silence.
inline int16_t pattern_value(int64_t k) { return static_cast<int16_t>(k % 32000 + 1); }
void pattern_callback(int16_t *samples, int32_t channels, int32_t frames);
int64_t pattern_samples_written();
int64_t callback_blocks();
// Starts the pattern and the block count afresh; only while no output runs.
void reset_callbacks();

// Where the pattern starts in samples and how many samples follow it without
// a break; the result's start is samples.size() when there is none.
struct PatternRun {
    size_t start = 0;
    size_t length = 0;
};
PatternRun find_pattern(const std::vector<int16_t> &samples);

// A master callback that writes a sine of the given frequency and amplitude.
void set_tone(double frequency, double amplitude);
void tone_callback(int16_t *samples, int32_t channels, int32_t frames);

// A file of raw 16-bit little-endian samples.
std::vector<int16_t> read_raw(const std::string &path);

// Starts a program with extra environment entries ("NAME=value"); its
// standard output goes to stdout_path when given. -1 on failure.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &environment,
            const std::string &stdout_path = "");
// Sends the signal and reaps the process; its exit status, or -1.
int end_process(pid_t pid, int signal_number);

// A pulseaudio of our own with one sink in a private runtime folder;
// PULSE_SERVER, HOME and XDG_RUNTIME_DIR of this process point at it once
// started. Stopped at the end. The sink is a null sink, "zyn_null", unless
// another sink module (with its arguments) and extra environment entries for
// the server are given.
class PulseServer {
  public:
    explicit PulseServer(const std::string &folder,
                         const std::string &sink = "module-null-sink sink_name=zyn_null rate=44100",
                         const std::vector<std::string> &server_environment = {})
        : folder_(folder), sink_(sink), server_environment_(server_environment) {}
    ~PulseServer() { stop(); }
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;

    // Empty on success, else why no server could be had (the test skips).
    std::string start();
    void stop();
    void signal(int signal_number);
    void kill_now();
    std::string server() const { return "unix:" + folder_ + "/native"; }
    std::vector<std::string> environment() const;

  private:
    std::string folder_;
    std::string sink_;
    std::vector<std::string> server_environment_;
    pid_t pid_ = -1;
};

// The open output's figures (all 0 when none is open).
ZynOutputStats output_stats();
// Polls every 10 ms until done() or the time is up; done()'s last answer.
bool wait_for(int milliseconds, const std::function<bool()> &done);
// Open file descriptors of this process.
int32_t descriptor_count();
// Creates an empty file; writes a file whole under a new inode (so that
// libraries watching it see the change).
void touch(const std::string &path);
void replace_file(const std::string &path, const std::string &text);

bool program_available(const std::string &name);
double seconds_since(int64_t start_ns);
int64_t now_ns();
void sleep_ms(int milliseconds);

}  // namespace zyn_test
