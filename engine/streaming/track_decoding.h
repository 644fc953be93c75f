// Decoding for one track, shared by the pool threads and the calls that
// prime a track on the application's thread. The caller holds the row's
// decode lock (and rows_in_use shared), never the engine lock: these take
// it briefly to publish what they made.
#pragma once

#include "play_plan.h"

#include <cstdint>

namespace zyn {

class FrameRing;
class TrackSource;
struct TrackRow;

// Fills a ring no fill sees yet up to fill frames (the source's start()
// describes it, the file's end included once found).
void prime_ring(TrackSource &source, FrameRing &ring, int64_t fill);

// Decodes until the ring holds fill frames (or is full, or the plan ends);
// INT64_MAX fills it.
void top_up(TrackRow &row, int64_t fill);

// Decoding starts over at file frame first with plan, into a new ring,
// primed before it replaces the old one, so the next block plays from
// there. With played_mark >= 0 (the old ring's consumed count when the
// caller read the position it restarts from), the frames the fill has
// played from the old ring since are skipped in the new one, and the
// track keeps its time. Clears the row's rewind. False with the reason
// recorded, the old ring kept.
bool restart_ring(TrackRow &row, int64_t first, const PlayPlan &plan, int64_t played_mark);

// A stopped or ended track starts over at frame 0 with its plan and loops,
// when it is due. False with the reason recorded when that fails.
bool rewind_if_due(TrackRow &row);

// Whether the pool has work on the row: a rewind, or a ring below its
// refill mark that is still being written. Engine lock held.
bool wants_decoding(const TrackRow &row);

// The row's plan with passes as a start of loops passes plays them.
PlayPlan plan_for(const TrackRow &row, int32_t loops);

}  // namespace zyn
