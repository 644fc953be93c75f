// Shared helpers of the engine's tests: a hand-pumped output device built on
// the fixture plug-in, and small sample utilities.
#pragma once

#include "zyn.h"
#include "zyn_plugout.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zyn_test {

struct FixtureCalls {
    int isany, init, start, stop, exit, error;
};

// Folder of one fixture plug-in set (with trailing '/').
std::string fixture_dir(const std::string &set);

// The loaded fixture library of a set, or null when the engine has not loaded it.
void *fixture_library(const std::string &set, const std::string &file = "plug-null.so");
FixtureCalls *fixture_calls(const std::string &set, const std::string &file = "plug-null.so");

// The shortest block ZYN_INIT opens a device with.
constexpr int32_t kShortestBlock = 16;

// An engine opened on the "pump" fixture: no thread, fills are pumped by hand.
// Shorter blocks than the engine opens are made by shrinking the block the
// fixture hands to the fill after it opened.
class PumpDevice {
  public:
    explicit PumpDevice(int32_t rate = 44100, int32_t channels = 2, int32_t frames = 256);
    ~PumpDevice();
    PumpDevice(const PumpDevice &) = delete;
    PumpDevice &operator=(const PumpDevice &) = delete;

    bool ok() const { return ok_; }
    // One fill; returns the block as samples.
    std::vector<int16_t> pump();
    int32_t block_bytes() const;
    PlugoutRecord *record() const;

  private:
    bool ok_ = false;
    void *library_ = nullptr;
};

// Ends the process when a step takes longer than it may: a deadlocked engine
// cannot be cleaned up, and a test that hangs would hold up the whole run.
class Watchdog {
  public:
    Watchdog(int seconds, const char *what);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

  private:
    const char *what_;
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_;
};

// Bytes the process has allocated and not freed (the sanitizer's count in a
// sanitized build, else malloc's), for tests that everything was released.
size_t heap_bytes_in_use();
// Threads of this process, and their names (for a failure message).
int32_t thread_count();
std::string thread_names();
// The thread count once it is back at most at count, or after a second: a
// thread that was told to end may still be on its way out.
int32_t settled_thread_count(int32_t count);

// A temporary folder removed with its files at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace zyn_test
