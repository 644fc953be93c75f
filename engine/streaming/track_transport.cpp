// Where a track is and whether it moves: play, stop, pause, seek, loop
// points, the queue, and the queries about them.
//
// Calls that change what the ring must hold (a seek, a rewind, a new plan
// that the decoding has already run past) decode the new frames on the
// caller's thread into a new ring before it replaces the old one, so the
// next block plays them; the mix keeps playing the old ring meanwhile.
#include "decoder_pool.h"
#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "track_decoding.h"
#include "track_table.h"
#include "track_voice.h"
#include "zyn.h"

namespace zyn {
namespace {

// Where the next block starts, and the ring's consumed count it was read at.
// Engine lock held.
FilePlace place_now(const TrackRow &row, int64_t *mark) {
    if (row.rewind || row.ring == nullptr) {
        *mark = -1;
        return {0, plan_for(row, row.loops).passes};
    }
    *mark = row.ring->consumed();
    FilePlace place = place_in_file(row.start, *mark);
    // Before the decoding has found the end, the place follows from the
    // rate ratio alone, and a converter's last rounded-up frame would read
    // as one past a length the header already gave.
    if (row.frames >= 0 && place.frame > row.frames) place.frame = row.frames;
    return place;
}

// Makes the ring play plan from where the track stands: in place while the
// decoding has not run past where the plan differs, else decoded anew from
// there. Caller holds the row's decode lock.
bool replan(TrackRow &row, const PlayPlan &plan) {
    int64_t mark = -1;
    FilePlace place;
    {
        EngineLock hold(engine().lock);
        if (row.rewind) return true;  // the rewind plays the row's plan
        place = place_now(row, &mark);
        // The ring already holds this plan from here on.
        const PlayPlan &held = row.start.plan;
        const bool same_end = held.loop_end == plan.loop_end ||
                              (plan.loop_end < 0 && held.loop_end == row.source->file_end() && held.loop_end >= 0);
        if (held.loop_start == plan.loop_start && same_end && place.passes == plan.passes) return true;
    }
    if (row.source->can_replan(plan)) {
        row.source->replan(plan);
        EngineLock hold(engine().lock);
        row.start.plan = row.source->start().plan;
        return true;
    }
    return restart_ring(row, place.frame, plan, mark);
}

bool loops_usable(int32_t loops, const char *operation) {
    if (loops >= 1) return true;
    return fail("%s: %d passes; give 1 or more (ZYN_LOOP_FOREVER for no end)", operation, loops) != 0;
}

// Whether following the queue from `from` reaches `to`. Engine lock held.
bool chain_reaches(const TrackTable &t, int32_t from, int32_t to) {
    for (int32_t at = from, steps = 0; at >= 0 && at < t.count && steps <= t.count; ++steps) {
        if (at == to) return true;
        at = t.rows[static_cast<size_t>(at)].next;
    }
    return false;
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_PLAY_TRACK(int32_t track, int32_t loops) {
    if (inside_fill()) return fail_in_callback("ZYN_PLAY_TRACK");
    if (!loops_usable(loops, "ZYN_PLAY_TRACK")) return 0;
    {
        DecodingAccess access(track);
        TrackRow *row = access.row();
        if (row == nullptr) return 0;
        PlayPlan plan;
        {
            EngineLock hold(engine().lock);
            row->loops = loops;
            plan = plan_for(*row, loops);
        }
        if (!rewind_if_due(*row) || !replan(*row, plan)) return 0;
        EngineLock hold(engine().lock);
        start_row(*row);
    }
    wake_decoder_pool();
    return 1;
}

int32_t ZYN_STOP_TRACK(int32_t track) {
    {
        EngineLock hold(engine().lock);
        TrackRow *row = track_row(track);
        if (row == nullptr) return 0;
        stop_row(*row);
    }
    // Inside a fill the pool finds the rewind on its next look.
    if (!inside_fill()) wake_decoder_pool();
    return 1;
}

int32_t ZYN_SET_TRACKPAUSED(int32_t track, int32_t paused) {
    EngineLock hold(engine().lock);
    TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    row->paused = paused != 0;
    return 1;
}

int32_t ZYN_IS_TRACKPLAYING(int32_t track) {
    EngineLock hold(engine().lock);
    const TrackRow *row = track_row(track);
    return row != nullptr && row->playing ? 1 : 0;
}

int32_t ZYN_GET_PLAYINGTRACKS(void) {
    EngineLock hold(engine().lock);
    const TrackTable &t = track_table();
    int32_t playing = 0;
    for (int32_t i = 0; i < t.count; ++i)
        if (t.rows[static_cast<size_t>(i)].open && t.rows[static_cast<size_t>(i)].playing) ++playing;
    return playing;
}

int32_t ZYN_SEEK_TRACK(int32_t track, int64_t frame) {
    if (inside_fill()) return fail_in_callback("ZYN_SEEK_TRACK");
    if (frame < 0) return fail("ZYN_SEEK_TRACK: frame %lld is before the start", static_cast<long long>(frame));
    DecodingAccess access(track);
    TrackRow *row = access.row();
    if (row == nullptr) return 0;
    PlayPlan plan;
    {
        EngineLock hold(engine().lock);
        if (row->frames >= 0 && frame > row->frames)
            return fail("ZYN_SEEK_TRACK: frame %lld is past the end of %s (%lld frames)",
                        static_cast<long long>(frame), row->source->name().c_str(),
                        static_cast<long long>(row->frames));
        int64_t mark = 0;
        plan = plan_for(*row, row->loops);
        plan.passes = place_now(*row, &mark).passes;
    }
    return restart_ring(*row, frame, plan, -1) ? 1 : 0;
}

int32_t ZYN_GET_TRACKPOSITION(int32_t track, int64_t *frame) {
    if (frame == nullptr) return fail_null("ZYN_GET_TRACKPOSITION", "frame");
    EngineLock hold(engine().lock);
    const TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    int64_t mark = 0;
    *frame = place_now(*row, &mark).frame;
    return 1;
}

int32_t ZYN_SET_TRACKLOOP(int32_t track, int64_t start, int64_t end) {
    if (inside_fill()) return fail_in_callback("ZYN_SET_TRACKLOOP");
    if (start < 0 || end < -1 || (end >= 0 && end <= start))
        return fail("ZYN_SET_TRACKLOOP: the loop %lld .. %lld holds no frame", static_cast<long long>(start),
                    static_cast<long long>(end));
    DecodingAccess access(track);
    TrackRow *row = access.row();
    if (row == nullptr) return 0;
    PlayPlan plan;
    {
        EngineLock hold(engine().lock);
        if (row->frames >= 0 && (start >= row->frames || end > row->frames))
            return fail("ZYN_SET_TRACKLOOP: the loop %lld .. %lld reaches past the end of %s (%lld frames)",
                        static_cast<long long>(start), static_cast<long long>(end),
                        row->source->name().c_str(), static_cast<long long>(row->frames));
        row->plan.loop_start = start;
        row->plan.loop_end = end;
        int64_t mark = 0;
        plan = plan_for(*row, row->loops);
        plan.passes = place_now(*row, &mark).passes;
    }
    return replan(*row, plan) ? 1 : 0;
}

int32_t ZYN_QUEUE_TRACK(int32_t track, int32_t next) {
    if (inside_fill()) return fail_in_callback("ZYN_QUEUE_TRACK");
    if (next == -1) {
        EngineLock hold(engine().lock);
        TrackRow *row = track_row(track);
        if (row == nullptr) return 0;
        row->next = -1;
        return 1;
    }
    if (next == track) return fail("ZYN_QUEUE_TRACK: track %d cannot follow itself", track);
    {
        EngineLock hold(engine().lock);
        if (track_row(track) == nullptr) return 0;
    }
    DecodingAccess access(next);
    TrackRow *following = access.row();
    if (following == nullptr) return 0;
    // Its ring ready from its start, so it can start on the very next frame.
    if (!rewind_if_due(*following)) return 0;
    EngineLock hold(engine().lock);
    TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    if (chain_reaches(track_table(), next, track))
        return fail("ZYN_QUEUE_TRACK: track %d already leads to track %d; the queue would never end", next, track);
    row->next = next;
    return 1;
}

int32_t ZYN_GET_TRACKUNDERRUNS(int32_t track, int64_t *frames) {
    if (frames == nullptr) return fail_null("ZYN_GET_TRACKUNDERRUNS", "frames");
    EngineLock hold(engine().lock);
    const TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    *frames = row->late_frames.load(std::memory_order_relaxed);
    return 1;
}

}  // extern "C"
