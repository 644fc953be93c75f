#include "decoder_pool.h"

#include "engine_state.h"
#include "last_error.h"
#include "track_decoding.h"
#include "track_table.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zyn {
namespace {

// Two threads: one decodes while the other waits for the disk, and the
// pool never takes more cores than a game can spare.
constexpr int kThreads = 2;
// How often the pool looks while a track plays: rings hold a few hundred
// milliseconds, so a look every few milliseconds keeps 64 of them topped up.
constexpr auto kPoll = std::chrono::milliseconds(4);
// With nothing playing only a call can give work, and calls wake the pool;
// the timeout is a safety net.
constexpr auto kIdle = std::chrono::milliseconds(250);

struct Pool {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool allowed = false;
    uint64_t wakes = 0;
    std::vector<std::thread> threads;
};

Pool &pool() {
    static Pool *const p = new Pool();  // never destroyed: see engine()
    return *p;
}

// The next open row from index on that wants decoding and whose decode
// lock this thread now holds; null at the table's end. *playing turns true
// when a row passed on the way plays.
TrackRow *claim_next(int32_t &index, bool *playing) {
    TrackTable &t = track_table();
    EngineLock hold(engine().lock);
    for (; index < t.count; ++index) {
        TrackRow &row = t.rows[static_cast<size_t>(index)];
        if (row.open && row.playing && !row.paused) *playing = true;
        // Only tried: a thread holding the engine lock never waits for decoding.
        if (wants_decoding(row) && row.decode.try_lock()) return &t.rows[static_cast<size_t>(index++)];
    }
    return nullptr;
}

// Works on the row whose decode lock the caller holds.
void decode_for(TrackRow &row) {
    {
        EngineLock hold(engine().lock);
        if (!row.open) return;
    }
    if (!rewind_if_due(row)) {
        // Tried again by the call that next needs the track, not by every poll.
        EngineLock hold(engine().lock);
        row.rewind_failed = true;
        return;
    }
    top_up(row, INT64_MAX);
}

// One visit to every track; whether any plays.
bool visit_tracks() {
    std::shared_lock<std::shared_mutex> in_use(track_table().rows_in_use);
    bool playing = false;
    int32_t index = 0;
    while (TrackRow *row = claim_next(index, &playing)) {
        std::lock_guard<std::mutex> own(row->decode, std::adopt_lock);
        decode_for(*row);
    }
    return playing;
}

void run_pool() {
    Pool &p = pool();
    uint64_t seen = 0;
    for (;;) {
        const bool playing = visit_tracks();
        std::unique_lock<std::mutex> hold(p.mutex);
        p.wake.wait_for(hold, playing ? kPoll : kIdle, [&] { return p.stop || p.wakes != seen; });
        if (p.stop) return;
        seen = p.wakes;
    }
}

}  // namespace

void allow_decoder_pool() {
    Pool &p = pool();
    std::lock_guard<std::mutex> hold(p.mutex);
    p.allowed = true;
}

bool start_decoder_pool() {
    Pool &p = pool();
    std::lock_guard<std::mutex> hold(p.mutex);
    // A track opened while ZYN_EXIT closes the engine: nothing may start again.
    if (!p.allowed) return fail("the engine is closing") != 0;
    if (!p.threads.empty()) return true;
    p.stop = false;
    try {
        for (int i = 0; i < kThreads; ++i) p.threads.emplace_back(run_pool);
    } catch (const std::system_error &error) {
        // The threads that did start serve every track.
        if (p.threads.empty()) return fail("cannot start a track decoding thread: %s", error.what()) != 0;
    }
    return true;
}

void wake_decoder_pool() {
    Pool &p = pool();
    {
        std::lock_guard<std::mutex> hold(p.mutex);
        ++p.wakes;
    }
    p.wake.notify_all();
}

void stop_decoder_pool() {
    Pool &p = pool();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> hold(p.mutex);
        p.stop = true;
        p.allowed = false;
        threads.swap(p.threads);
    }
    p.wake.notify_all();
    for (std::thread &t : threads) t.join();
}

void top_up_tracks() {
    TrackTable &t = track_table();
    std::shared_lock<std::shared_mutex> in_use(t.rows_in_use);
    for (int32_t i = 0;; ++i) {
        TrackRow *row = nullptr;
        {
            EngineLock hold(engine().lock);
            if (i >= t.count) break;
            row = &t.rows[static_cast<size_t>(i)];
            if (!row->open) continue;
            // As the pool does, from the refill mark on: a visit then decodes
            // a useful stretch (each track's decoder state is taken up once
            // for a tenth of a second, not for every block), and a ring above
            // the mark holds far more than the next block.
            const FrameRing *ring = row->ring.get();
            const bool low = ring != nullptr && !ring->input_closed() && ring->available() < 2 * int64_t{t.block_frames};
            if (!wants_decoding(*row) && !row->rewind_failed && !low) continue;
        }
        std::lock_guard<std::mutex> own(row->decode);
        {
            EngineLock hold(engine().lock);
            if (!row->open) continue;
            row->rewind_failed = false;
        }
        if (rewind_if_due(*row)) top_up(*row, INT64_MAX);
    }
}

}  // namespace zyn
