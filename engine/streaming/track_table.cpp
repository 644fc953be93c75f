#include "track_table.h"

#include "engine_state.h"
#include "last_error.h"

namespace zyn {
namespace {

// Room for the pool to fall a poll or two behind with every track, and
// little enough memory for many tracks.
constexpr int64_t kRingMilliseconds = 400;
constexpr int64_t kPrimeMilliseconds = 100;

}  // namespace

TrackTable &track_table() {
    static TrackTable *const table = new TrackTable();
    return *table;
}

TrackRow *track_row(int32_t track) {
    TrackTable &t = track_table();
    if (engine().initialized.load(std::memory_order_relaxed) == 0) {
        fail_not_initialised();
        return nullptr;
    }
    if (track < 0 || track >= t.count || !t.rows[static_cast<size_t>(track)].open) {
        fail("no track with handle %d", track);
        return nullptr;
    }
    return &t.rows[static_cast<size_t>(track)];
}

DecodingAccess::DecodingAccess(int32_t track) : in_use_(track_table().rows_in_use) {
    TrackRow *row = nullptr;
    {
        EngineLock hold(engine().lock);
        row = track_row(track);
    }
    if (row == nullptr) return;
    decode_ = std::unique_lock<std::mutex>(row->decode);
    EngineLock hold(engine().lock);
    // Closed by another thread while this one waited.
    if (track_row(track) == row) row_ = row;
}

int64_t ring_frames(const TrackTable &table) {
    const int64_t timed = static_cast<int64_t>(table.device.rate) * kRingMilliseconds / 1000;
    const int64_t blocks = 3 * static_cast<int64_t>(table.block_frames);
    return timed > blocks ? timed : blocks;
}

int64_t prime_frames(const TrackTable &table) {
    const int64_t timed = static_cast<int64_t>(table.device.rate) * kPrimeMilliseconds / 1000;
    const int64_t blocks = 2 * static_cast<int64_t>(table.block_frames);
    const int64_t want = timed > blocks ? timed : blocks;
    const int64_t ring = ring_frames(table);
    return want < ring ? want : ring;
}

}  // namespace zyn
