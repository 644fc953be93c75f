#include "test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <filesystem>
#include <malloc.h>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZYN_TEST_SANITIZED_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZYN_TEST_SANITIZED_HEAP 1
#endif
#endif
#ifdef ZYN_TEST_SANITIZED_HEAP
// The sanitizer runtimes' own heap count (GCC ships no header declaring it).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

#if defined(__SANITIZE_THREAD__)
#define ZYN_TEST_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZYN_TEST_THREAD_SANITIZER 1
#endif
#endif

namespace zyn_test {

#ifdef ZYN_TEST_THREAD_SANITIZER
namespace {
// ThreadSanitizer starts a thread of its own at the process's first
// pthread_create. Started here, before any test takes a thread count, it is
// in every baseline instead of looking like a thread the engine left behind.
[[maybe_unused]] const bool g_sanitizer_thread_started = [] {
    std::thread([] {}).join();
    return true;
}();
}  // namespace
#endif

std::string fixture_dir(const std::string &set) { return std::string(ZYN_FIXTURE_DIR) + set + "/"; }

void *fixture_library(const std::string &set, const std::string &file) {
    // RTLD_NOLOAD hands back the engine's own copy without loading another.
    return dlopen((fixture_dir(set) + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
}

FixtureCalls *fixture_calls(const std::string &set, const std::string &file) {
    void *library = fixture_library(set, file);
    if (library == nullptr) return nullptr;
    auto calls = reinterpret_cast<FixtureCalls *(*)()>(dlsym(library, "fixture_calls"));
    FixtureCalls *result = calls != nullptr ? calls() : nullptr;
    dlclose(library);
    return result;
}

Watchdog::Watchdog(int seconds, const char *what) : what_(what) {
    thread_ = std::thread([this, seconds] {
        std::unique_lock<std::mutex> hold(mutex_);
        if (!done_cv_.wait_for(hold, std::chrono::seconds(seconds), [this] { return done_; })) {
            std::fprintf(stderr, "watchdog: '%s' did not finish within %d s (deadlock?)\n", what_, seconds);
            std::fflush(stderr);
            std::_Exit(3);
        }
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
}

PumpDevice::PumpDevice(int32_t rate, int32_t channels, int32_t frames) {
    ZYN_SET_PLUGPATH(fixture_dir("pump").c_str());
    ok_ = ZYN_INIT(rate, channels, 3, frames < kShortestBlock ? kShortestBlock : frames, -1) == 1;
    library_ = fixture_library("pump");
    if (ok_ && frames < kShortestBlock) {
        // The engine opens no such device, but a plug-in may still hand the
        // fill a shorter block than it asked for.
        PlugoutRecord *r = record();
        r->frames = frames;
        r->buffer_size = frames * r->frame_size;
    }
}

PumpDevice::~PumpDevice() {
    if (library_ != nullptr) dlclose(library_);
    ZYN_EXIT();
}

PlugoutRecord *PumpDevice::record() const {
    if (library_ == nullptr) return nullptr;
    auto get = reinterpret_cast<PlugoutRecord *(*)()>(dlsym(library_, "fixture_record"));
    return get != nullptr ? get() : nullptr;
}

int32_t PumpDevice::block_bytes() const {
    PlugoutRecord *r = record();
    return r != nullptr ? r->buffer_size : 0;
}

std::vector<int16_t> PumpDevice::pump() {
    std::vector<int16_t> block(static_cast<size_t>(block_bytes() / 2), 0x5555);
    auto fill = reinterpret_cast<void (*)(void *)>(dlsym(library_, "fixture_pump"));
    if (fill != nullptr) fill(block.data());
    return block;
}

size_t heap_bytes_in_use() {
#ifdef ZYN_TEST_SANITIZED_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

int32_t thread_count() {
    // A thread that was joined can still be listed for a moment, so a count
    // taken as a baseline may include it: compare "no more than" with it.
    // ThreadSanitizer starts a thread of its own when the process makes its
    // first one: make that happen before anything is counted.
    static const bool warmed_up = [] {
        std::thread([] {}).join();
        return true;
    }();
    static_cast<void>(warmed_up);
    DIR *tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    int32_t count = 0;
    while (const dirent *entry = readdir(tasks))
        if (entry->d_name[0] != '.') ++count;
    closedir(tasks);
    return count;
}

int32_t settled_thread_count(int32_t count) {
    int32_t now = thread_count();
    for (int waited = 0; now > count && waited < 1000; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        now = thread_count();
    }
    return now;
}

std::string thread_names() {
    std::string names;
    DIR *tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return names;
    while (const dirent *entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        std::FILE *f = std::fopen((std::string("/proc/self/task/") + entry->d_name + "/comm").c_str(), "r");
        char name[64] = "";
        if (f != nullptr) {
            if (std::fgets(name, sizeof name, f) == nullptr) name[0] = '\0';
            std::fclose(f);
        }
        std::string one = name;
        if (!one.empty() && one.back() == '\n') one.pop_back();
        names += (names.empty() ? "" : ", ") + one;
    }
    closedir(tasks);
    return names;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/zyn-test-XXXXXX";
    const char *made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

}  // namespace zyn_test
