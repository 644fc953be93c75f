#include "end_events.h"

#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "row_tables.h"
#include "zyn.h"

#include <array>
#include <cstring>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <iterator>
#include <list>
#include <mutex>
#include <thread>

namespace zyn {
namespace {

// Single producer (fills run one at a time, under the engine lock), single
// consumer (the event threads, one at a time under `state`). Far more ends
// than a block can bring.
constexpr uint32_t kQueueSize = 1024;

// Tracks end far more rarely than sounds; each end carries the reason a
// track that went bad ended early.
constexpr uint32_t kTrackQueueSize = 64;
constexpr size_t kReasonBytes = 256;

struct TrackEnd {
    int32_t track;
    char failure[kReasonBytes];
};

// How often the event thread looks: the fill makes no system call, so it
// cannot wake the thread; a few milliseconds of latency are inaudible.
constexpr auto kPollInterval = std::chrono::milliseconds(2);

// One event thread. It runs while its generation is the current one: a new
// generation (the callback turned off, the engine closed) tells it to end
// once the call it may be making has returned.
struct Worker {
    std::thread thread;
    uint64_t generation = 0;
    bool finished = false;  // its routine has returned: a join waits for nothing
};

struct EndEvents {
    std::array<int32_t, kQueueSize> rows{};
    std::atomic<uint32_t> head{0};  // written by the fill
    std::atomic<uint32_t> tail{0};  // written under `state`
    std::atomic<uint64_t> dropped{0};
    std::atomic<bool> listening{false};  // open with a callback set: the fill notes ends
    // The same for tracks, with their own callback.
    std::array<TrackEnd, kTrackQueueSize> tracks{};
    std::atomic<uint32_t> track_head{0};
    std::atomic<uint32_t> track_tail{0};
    std::atomic<bool> listening_tracks{false};

    // The fields below are read and written under `state`, which is held
    // around no callback, no join and no other lock's wait.
    std::mutex state;
    std::condition_variable call_returned;
    ZynEndCallback callback = nullptr;
    void *user = nullptr;
    ZynEndCallback track_callback = nullptr;
    void *track_user = nullptr;
    bool open = false;             // between ZYN_INIT and ZYN_EXIT
    bool on_caller_thread = false; // rendering: ZYN_RENDER delivers, no worker runs
    uint64_t setting = 0;          // counts ZYN_SET_ENDCALLBACK calls
    bool calling = false;          // a callback runs; there is never more than one call
    uint64_t calling_setting = 0;  // the setting whose callback it is
    uint64_t generation = 0;
    std::list<Worker> workers;  // the running one, and those told to end until joined

    // Held by the application thread that joins stopped workers, so that
    // another returns only once they are joined. No worker takes it.
    std::mutex joining;
};

EndEvents &events() {
    static EndEvents *const e = new EndEvents();  // never destroyed: see engine()
    return *e;
}

thread_local bool t_event_thread = false;

// Caller holds q.state.
bool any_callback(const EndEvents &q) { return q.callback != nullptr || q.track_callback != nullptr; }

// Caller holds q.state.
void update_listening(EndEvents &q) {
    q.listening.store(q.open && q.callback != nullptr, std::memory_order_release);
    q.listening_tracks.store(q.open && q.track_callback != nullptr, std::memory_order_release);
}

// One end taken from the queues, with the routine it goes to.
struct TakenEnd {
    ZynEndCallback callback = nullptr;
    void *user = nullptr;
    int32_t handle = -1;
    bool is_track = false;
    TrackEnd track_end{};
};

// Caller holds q.state and no call runs: takes the next end (sounds first);
// false when none is waiting.
bool take_end(EndEvents &q, TakenEnd &out) {
    const uint32_t tail = q.tail.load(std::memory_order_relaxed);
    const uint32_t track_tail = q.track_tail.load(std::memory_order_relaxed);
    if (tail != q.head.load(std::memory_order_acquire)) {
        out.handle = q.rows[tail % kQueueSize];
        q.tail.store(tail + 1, std::memory_order_release);
        out.callback = q.callback;
        out.user = q.user;
        out.is_track = false;
        return true;
    }
    if (track_tail != q.track_head.load(std::memory_order_acquire)) {
        out.track_end = q.tracks[track_tail % kTrackQueueSize];
        q.track_tail.store(track_tail + 1, std::memory_order_release);
        out.handle = out.track_end.track;
        out.callback = q.track_callback;
        out.user = q.track_user;
        out.is_track = true;
        return true;
    }
    return false;
}

// Makes the call of a taken end with q.state (held through hold) let go,
// one call at a time.
void call_end(EndEvents &q, std::unique_lock<std::mutex> &hold, const TakenEnd &end) {
    if (end.callback == nullptr) return;
    q.calling = true;
    q.calling_setting = q.setting;
    hold.unlock();
    // Inside a track's callback, the reason it ended early, or "" when
    // it played to its end.
    if (end.is_track) fail("%s", end.track_end.failure);
    // Called with no lock held: it may use the whole interface.
    end.callback(end.handle, end.user);
    hold.lock();
    q.calling = false;
    q.call_returned.notify_all();
}

void run_events(Worker *self) {
    t_event_thread = true;
    EndEvents &q = events();
    std::unique_lock<std::mutex> hold(q.state);
    TakenEnd end;
    while (self->generation == q.generation) {
        // A worker told to end may still be in a call: the next waits for it.
        if (q.calling || !take_end(q, end)) {
            hold.unlock();
            std::this_thread::sleep_for(kPollInterval);
            hold.lock();
            continue;
        }
        call_end(q, hold, end);
    }
    self->finished = true;
}

// Caller holds q.state.
bool has_running_worker(const EndEvents &q) {
    for (const Worker &w : q.workers)
        if (w.generation == q.generation) return true;
    return false;
}

// Caller holds q.state and there is no running worker. Never waits for the
// new thread, so any lock may be held around it.
bool start_worker(EndEvents &q) {
    ++q.generation;
    try {
        Worker &w = q.workers.emplace_back();
        w.generation = q.generation;
        try {
            w.thread = std::thread(run_events, &w);
        } catch (...) {
            q.workers.pop_back();
            throw;
        }
    } catch (const std::exception &error) {
        return fail("cannot start the end-event thread: %s", error.what()) != 0;
    }
    return true;
}

// Caller holds q.state: moves the workers whose routine has returned into
// out; joining them (after letting go of q.state) waits for nothing.
void take_finished(EndEvents &q, std::list<Worker> &out) {
    for (auto it = q.workers.begin(); it != q.workers.end();) {
        const auto next = std::next(it);
        if (it->finished) out.splice(out.end(), q.workers, it);
        it = next;
    }
}

void join_all(std::list<Worker> &workers) {
    for (Worker &w : workers) w.thread.join();
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

void note_track_ended(int32_t track, const char *failure) {
    EndEvents &q = events();
    if (!q.listening_tracks.load(std::memory_order_acquire)) return;
    const uint32_t head = q.track_head.load(std::memory_order_relaxed);
    if (head - q.track_tail.load(std::memory_order_acquire) >= kTrackQueueSize) {
        q.dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    TrackEnd &end = q.tracks[head % kTrackQueueSize];
    end.track = track;
    std::strncpy(end.failure, failure != nullptr ? failure : "", kReasonBytes - 1);
    end.failure[kReasonBytes - 1] = '\0';
    q.track_head.store(head + 1, std::memory_order_release);
}

void open_end_events(bool on_caller_thread) {
    EndEvents &q = events();
    std::list<Worker> finished;
    {
        std::lock_guard<std::mutex> hold(q.state);
        q.open = true;
        q.on_caller_thread = on_caller_thread;
        update_listening(q);
        if (on_caller_thread)
            ++q.generation;  // a worker of the device ends after the call it may be making
        else if (any_callback(q) && !has_running_worker(q))
            start_worker(q);
        take_finished(q, finished);
    }
    join_all(finished);
}

void deliver_end_events() {
    EndEvents &q = events();
    std::unique_lock<std::mutex> hold(q.state);
    TakenEnd end;
    while (q.open && q.on_caller_thread && !q.calling && take_end(q, end)) {
        // For the call, this thread is the event thread: what it calls
        // never waits for an end callback (it would wait for itself).
        const bool was_event_thread = t_event_thread;
        t_event_thread = true;
        call_end(q, hold, end);
        t_event_thread = was_event_thread;
    }
}

void close_end_events() {
    EndEvents &q = events();
    std::lock_guard<std::mutex> hold(q.state);
    q.open = false;
    update_listening(q);
    ++q.generation;
    q.tail.store(q.head.load(std::memory_order_acquire), std::memory_order_release);
    q.track_tail.store(q.track_head.load(std::memory_order_acquire), std::memory_order_release);
}

void join_stopped_end_events() {
    if (t_event_thread) return;
    EndEvents &q = events();
    std::lock_guard<std::mutex> one(q.joining);
    std::list<Worker> stopped;
    {
        std::lock_guard<std::mutex> hold(q.state);
        for (auto it = q.workers.begin(); it != q.workers.end();) {
            const auto next = std::next(it);
            if (it->generation != q.generation) stopped.splice(stopped.end(), q.workers, it);
            it = next;
        }
    }
    join_all(stopped);
}

uint64_t end_events_dropped() { return events().dropped.load(); }

}  // namespace zyn

using namespace zyn;

extern "C" {

// One of the two routines set; the other one unchanged.
static int32_t set_end_callback(const char *operation, bool tracks, ZynEndCallback callback, void *user) {
    if (inside_fill()) return fail_in_callback(operation);
    EndEvents &q = events();
    bool running = true;
    uint64_t setting = 0;
    std::list<Worker> finished;
    {
        std::lock_guard<std::mutex> hold(q.state);
        (tracks ? q.track_callback : q.callback) = callback;
        (tracks ? q.track_user : q.user) = user;
        setting = ++q.setting;
        update_listening(q);
        if (!any_callback(q))
            ++q.generation;  // its worker ends after the call it may be making
        else if (q.open && !q.on_caller_thread && !has_running_worker(q))
            running = start_worker(q);
        take_finished(q, finished);
    }
    join_all(finished);
    // From inside an end callback nothing is waited for: the call running
    // may be this very one, and two callbacks waiting for each other would
    // never return.
    if (!t_event_thread) {
        {
            std::unique_lock<std::mutex> hold(q.state);
            q.call_returned.wait(hold, [&] { return !q.calling || q.calling_setting >= setting; });
        }
        join_stopped_end_events();
    }
    return running ? 1 : 0;
}

int32_t ZYN_SET_ENDCALLBACK(ZynEndCallback callback, void *user) {
    return set_end_callback("ZYN_SET_ENDCALLBACK", false, callback, user);
}

int32_t ZYN_SET_TRACKENDCALLBACK(ZynEndCallback callback, void *user) {
    return set_end_callback("ZYN_SET_TRACKENDCALLBACK", true, callback, user);
}

int32_t ZYN_IS_PLAYING(int32_t sound) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return 0;
    return e.sounds[static_cast<size_t>(sound)].loops > 0 ? 1 : 0;
}

}  // extern "C"
