// The track table: one row per open track, its handle the row's index.
//
// Locks, always taken in this order:
//   rows_in_use (shared)  held by every call that decodes for a track (they
//                         are refused inside a fill) across its use of a
//                         row; ZYN_EXIT takes it exclusively to clear the table;
//   TrackRow::decode      one producer at a time: the pool thread topping the
//                         track up, or the application thread opening,
//                         priming, seeking or re-planning it. Guards `source`
//                         and the writing side of the ring;
//   engine().lock         every other field of a row, and the table's size:
//                         the fill reads them, and a ring is replaced only
//                         with both decode and the engine lock held.
// A thread holding the engine lock never waits for a decode lock (the pool
// only tries it), so a fill never waits for decoding.
#pragma once

#include "frame_ring.h"
#include "dsp/glide.h"
#include "media/device_pipeline.h"
#include "play_plan.h"
#include "track_source.h"
#include "voice_effects.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>

namespace zyn {

struct TrackRow {
    bool open = false;
    bool playing = false;  // started and neither stopped nor ended; paused ones too
    bool paused = false;
    // Stopped or ended: the ring is to start over at frame 0 (the pool or
    // the next call that needs it does this; the fill cannot decode).
    bool rewind = false;
    bool rewind_failed = false;  // left to the next call that needs the track
    float volume = 1.0f;  // what the gain stands at or glides to
    Glide gain;           // the volume now
    bool stop_after_glide = false;
    float volume_after_stop = 1.0f;  // taken back when such a glide has stopped it
    float pan = 0.0f;
    float left_gain = 1.0f;
    float right_gain = 1.0f;
    int32_t group = -1;  // the group row it is a member of (groups.h), -1 for none
    int32_t loops = 1;   // passes a start plays (ZYN_PLAY_TRACK, a queue or crossfade)
    int32_t next = -1;   // started on the frame after this one's last pass
    PlayPlan plan;       // loop points as set; passes are loops
    std::unique_ptr<FrameRing> ring;
    RingStart start;     // what the ring holds (play_plan.h)
    int64_t frames = -1;  // the file's, as its header gives it or the decoding found it
    int32_t rate = 0;     // the file's
    int32_t channels = 0;
    std::atomic<int64_t> late_frames{0};  // silent because the decoding fell behind
    uint64_t mixed = 0;  // the table's mix count when the fill last played it
    VoiceEffects fx;     // its filter and reverb send (effects.h)

    std::mutex decode;
    std::unique_ptr<TrackSource> source;  // under decode
};

struct TrackTable {
    std::shared_mutex rows_in_use;
    std::deque<TrackRow> rows;  // rows never move; grown under the engine lock
    int32_t count = 0;
    // The device the rings are made for, and the block the fill renders a
    // track into before adding it (frames of the device's block).
    DeviceFormat device;
    int32_t block_frames = 0;
    int16_t *scratch = nullptr;
    int32_t scratch_frames = 0;
    uint64_t mixes = 0;  // fills that have played tracks
};

// Made on first use, never destroyed (see engine()).
TrackTable &track_table();

// The open row of a handle, or null (the reason recorded). Engine lock held.
TrackRow *track_row(int32_t track);

// An application call's hold on a track it decodes for: rows_in_use
// shared and the row's decode lock, the row checked open once both are
// held. row() is null, the reason recorded, for no such track.
class DecodingAccess {
  public:
    explicit DecodingAccess(int32_t track);
    TrackRow *row() const { return row_; }

  private:
    std::shared_lock<std::shared_mutex> in_use_;
    std::unique_lock<std::mutex> decode_;
    TrackRow *row_ = nullptr;
};

// Frames a track's ring holds on the table's device: a few hundred
// milliseconds, and never less than three blocks.
int64_t ring_frames(const TrackTable &table);
// Frames a call that primes a ring decodes before it returns: enough for
// the next blocks; the pool tops up the rest.
int64_t prime_frames(const TrackTable &table);

}  // namespace zyn
