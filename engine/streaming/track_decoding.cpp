#include "track_decoding.h"

#include "engine_state.h"
#include "last_error.h"
#include "track_table.h"
#include "zyn.h"

#include <new>

namespace zyn {
namespace {

// Writes until the ring holds fill frames; publishes the file's end when
// the decoding finds it, before any later pass reaches the ring.
void produce_publishing(TrackRow &row, FrameRing &ring, int64_t fill) {
    TrackSource &source = *row.source;
    for (;;) {
        source.produce(ring, fill);
        if (!source.take_found_end()) return;
        EngineLock hold(engine().lock);
        row.start.plan.loop_end = source.start().plan.loop_end;
        if (row.frames < 0) row.frames = source.file_end();
    }
}

}  // namespace

void prime_ring(TrackSource &source, FrameRing &ring, int64_t fill) {
    do {
        source.produce(ring, fill);
    } while (source.take_found_end());
}

PlayPlan plan_for(const TrackRow &row, int32_t loops) {
    PlayPlan plan = row.plan;
    plan.passes = loops == ZYN_LOOP_FOREVER ? kEndlessPasses : loops;
    return plan;
}

bool wants_decoding(const TrackRow &row) {
    if (!row.open || row.source == nullptr || row.ring == nullptr) return false;
    if (row.rewind) return !row.rewind_failed;
    const FrameRing &ring = *row.ring;
    // Topped up from three quarters down: a visit then decodes a useful
    // stretch rather than a block.
    return !ring.input_closed() && ring.available() < ring.capacity() - ring.capacity() / 4;
}

void top_up(TrackRow &row, int64_t fill) {
    if (row.source == nullptr || row.ring == nullptr) return;
    produce_publishing(row, *row.ring, fill);
}

bool restart_ring(TrackRow &row, int64_t first, const PlayPlan &plan, int64_t played_mark) {
    TrackTable &t = track_table();
    int64_t capacity = 0, prime = 0;
    {
        EngineLock hold(engine().lock);
        capacity = ring_frames(t);
        prime = prime_frames(t);
    }
    TrackSource &source = *row.source;
    std::unique_ptr<FrameRing> ring(new (std::nothrow) FrameRing);
    if (ring == nullptr || !ring->allocate(capacity, source.device().channels))
        return fail("not enough memory for the ring of %s", source.name().c_str()) != 0;
    if (!source.restart(first, plan)) return false;
    prime_ring(source, *ring, prime);
    {
        EngineLock hold(engine().lock);
        if (played_mark >= 0 && row.ring != nullptr) {
            const int64_t since = row.ring->consumed() - played_mark;
            const int64_t have = ring->available();
            if (since > 0) ring->consume(since < have ? since : have);
        }
        row.start = source.start();
        if (row.frames < 0) row.frames = source.file_end();
        row.rewind = false;
        row.rewind_failed = false;
        row.ring.swap(ring);
    }
    return true;  // the old ring goes here, outside the lock
}

bool rewind_if_due(TrackRow &row) {
    PlayPlan plan;
    {
        EngineLock hold(engine().lock);
        if (!row.rewind) return true;
        plan = plan_for(row, row.loops);
    }
    return restart_ring(row, 0, plan, -1);
}

}  // namespace zyn
