#include "end_events.h"

#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "row_tables.h"
#include "zyn.h"

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>

namespace zyn {
namespace {

// Single producer (fills run one at a time, under the engine lock), single
// consumer (the event thread). Far more ends than a block can bring.
constexpr uint32_t kQueueSize = 1024;

// How often the event thread looks: the fill makes no system call, so it
// cannot wake the thread; a few milliseconds of latency are inaudible.
constexpr auto kPollInterval = std::chrono::milliseconds(2);

struct EndEvents {
    std::array<int32_t, kQueueSize> rows{};
    std::atomic<uint32_t> head{0};  // written by the fill
    std::atomic<uint32_t> tail{0};  // written by the event thread
    std::atomic<uint64_t> dropped{0};
    std::atomic<bool> listening{false};  // a callback is set and the thread runs

    // The thread is started and stopped under control; the callback and its
    // user data are read and written under slot, which the event thread
    // takes for a moment per event. The thread is joined under control only,
    // so a join never waits for an event thread waiting for its lock.
    std::mutex control;
    std::mutex slot;
    ZynEndCallback callback = nullptr;
    void *user = nullptr;
    std::thread thread;
    std::atomic<bool> stop{false};
};

EndEvents &events() {
    static EndEvents *const e = new EndEvents();  // never destroyed: see engine()
    return *e;
}

thread_local bool t_event_thread = false;

void run_events() {
    t_event_thread = true;
    EndEvents &q = events();
    while (!q.stop.load(std::memory_order_acquire)) {
        uint32_t tail = q.tail.load(std::memory_order_relaxed);
        while (tail != q.head.load(std::memory_order_acquire) && !q.stop.load(std::memory_order_acquire)) {
            const int32_t row = q.rows[tail % kQueueSize];
            q.tail.store(++tail, std::memory_order_release);
            ZynEndCallback callback = nullptr;
            void *user = nullptr;
            {
                std::lock_guard<std::mutex> hold(q.slot);
                callback = q.callback;
                user = q.user;
            }
            // Called with no lock held: it may use the whole interface.
            if (callback != nullptr) callback(row, user);
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

// Caller holds q.control. The thread of the caller itself (a callback that
// turns the events off) is left to end by itself and joined later.
void stop_thread(EndEvents &q) {
    q.listening.store(false, std::memory_order_release);
    q.stop.store(true, std::memory_order_release);
    if (q.thread.joinable() && !t_event_thread) q.thread.join();
}

// Caller holds q.control.
bool start_thread(EndEvents &q) {
    if (q.thread.joinable()) {
        if (t_event_thread || !q.stop.load()) {
            // Running, or the caller is the event thread itself (a callback
            // turning the events back on): it simply goes on.
            q.stop.store(false, std::memory_order_release);
            q.listening.store(true, std::memory_order_release);
            return true;
        }
        q.thread.join();
    }
    // Events of an earlier run are stale: their sounds are gone.
    q.tail.store(q.head.load(std::memory_order_acquire), std::memory_order_release);
    q.stop.store(false, std::memory_order_release);
    try {
        q.thread = std::thread(run_events);
    } catch (const std::system_error &error) {
        return fail("cannot start the end-event thread: %s", error.what()) != 0;
    }
    q.listening.store(true, std::memory_order_release);
    return true;
}

}  // namespace

void note_sound_ended(int32_t row) {
    EndEvents &q = events();
    if (!q.listening.load(std::memory_order_acquire)) return;
    const uint32_t head = q.head.load(std::memory_order_relaxed);
    if (head - q.tail.load(std::memory_order_acquire) >= kQueueSize) {
        q.dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    q.rows[head % kQueueSize] = row;
    q.head.store(head + 1, std::memory_order_release);
}

void stop_end_events() {
    EndEvents &q = events();
    std::lock_guard<std::mutex> hold(q.control);
    stop_thread(q);
}

void resume_end_events() {
    EndEvents &q = events();
    std::lock_guard<std::mutex> hold(q.control);
    bool set = false;
    {
        std::lock_guard<std::mutex> read(q.slot);
        set = q.callback != nullptr;
    }
    if (set) start_thread(q);
}

uint64_t end_events_dropped() { return events().dropped.load(); }

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_SET_ENDCALLBACK(ZynEndCallback callback, void *user) {
    if (inside_fill()) return fail_in_callback("ZYN_SET_ENDCALLBACK");
    EndEvents &q = events();
    std::lock_guard<std::mutex> hold(q.control);
    {
        std::lock_guard<std::mutex> set(q.slot);
        q.callback = callback;
        q.user = user;
    }
    if (callback == nullptr) {
        stop_thread(q);
        return 1;
    }
    return start_thread(q) ? 1 : 0;
}

int32_t ZYN_IS_PLAYING(int32_t sound) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return 0;
    return e.sounds[static_cast<size_t>(sound)].loops > 0 ? 1 : 0;
}

}  // extern "C"
