#include "track_voice.h"

#include "effects.h"
#include "end_events.h"
#include "engine_state.h"
#include "groups.h"
#include "media/saturate.h"
#include "track_table.h"
#include "zyn_kernels.h"

#include <cstring>

namespace zyn {
namespace {

inline int16_t scaled(int16_t sample, float gain) {
    const float v = static_cast<float>(sample) * gain;
    return v != v ? 0 : round_sample(static_cast<double>(v));
}

// The track's gain stage, the one place its level is set: the volume (as
// it glides, or standing) times its group's (group gives it frame by
// frame), and the pan. A steady stage uses the kernels the sounds use, so a
// track at volume 1.0 and pan 0 outside a group (or in one at 1.0) is heard
// bit for bit as its file loads.
void shape(const RoutineSlots &slots, TrackRow &row, int16_t *block, int32_t frames, int32_t channels,
           Glide &group, bool group_moving) {
    const int32_t bytes = frames * channels * 2;
    if (frames <= 0) return;
    if (row.gain.moving() || group_moving) {
        const float left = channels == 2 ? row.left_gain : 1.0f;
        const float right = channels == 2 ? row.right_gain : 1.0f;
        for (int32_t f = 0; f < frames; ++f) {
            const float g = row.gain.next() * group.next();
            if (channels == 2) {
                block[2 * f] = scaled(block[2 * f], g * left);
                block[2 * f + 1] = scaled(block[2 * f + 1], g * right);
            } else {
                block[f] = scaled(block[f], g);
            }
        }
        return;
    }
    const float volume = row.gain.value() * group.target();
    if (volume != 1.0f) slots.kernel_scale(block, block, volume, bytes);
    if (channels == 2 && row.pan != 0.0f) slots.kernel_pan(block, block, row.left_gain, row.right_gain, bytes);
}

// Copies frames frames from the ring's read position into block.
void take_frames(FrameRing &ring, int16_t *block, int64_t frames) {
    const int32_t channels = ring.channels();
    for (int64_t done = 0; done < frames;) {
        int64_t span = 0;
        const int16_t *at = ring.read_span(&span);
        const int64_t n = span < frames - done ? span : frames - done;
        std::memcpy(block + done * channels, at, static_cast<size_t>(n * channels) * sizeof(int16_t));
        ring.consume(n);
        done += n;
    }
}

// Where a row's last pass ended inside the block: the next track to start
// and the frame it starts at. next is -1 when none.
struct Handover {
    int32_t next = -1;
    int32_t at = 0;
};

// Plays one row from frame offset of the block on.
Handover play_row(const RoutineSlots &slots, const GroupTable &groups, TrackTable &t, int32_t index, int16_t *out,
                  int32_t channels, int32_t frames, int32_t offset) {
    TrackRow &row = t.rows[static_cast<size_t>(index)];
    const GroupMix group = group_mix(groups, row.group);
    if (group.paused) return {};  // held where it stands, as a paused track is
    Glide group_level = group_glide(groups, row.group, group, offset);
    const int32_t want = frames - offset;
    FrameRing *ring = row.ring.get();
    if (row.rewind || ring == nullptr || ring->channels() != channels) {
        row.late_frames.fetch_add(want, std::memory_order_relaxed);
        return {};
    }
    // The close is read before the count: a frame committed before it is
    // never taken for the end.
    const bool closed = ring->input_closed();
    const int64_t have = ring->available();
    int32_t take = have < want ? static_cast<int32_t>(have) : want;
    bool fade_ends = false;
    if (row.stop_after_glide && row.gain.frames_left() <= take) {
        take = static_cast<int32_t>(row.gain.frames_left());
        fade_ends = true;
    }
    int16_t *block = t.scratch + static_cast<ptrdiff_t>(offset) * channels;
    int16_t *sum = out + static_cast<ptrdiff_t>(offset) * channels;
    take_frames(*ring, block, take);
    if (row.fx.in_use()) filter_voice(row.fx, block, take, channels);
    shape(slots, row, block, take, channels, group_level, group.moving);
    // A muted group's member plays on unheard.
    if (take > 0 && !group.muted) {
        slots.kernel_mix(sum, sum, block, take * channels * 2);
        if (row.fx.send != 0.0f || row.fx.send_applied != 0.0f)
            send_to_reverb(engine(), row.fx, block, take, channels, offset, frames);
    }
    if (fade_ends) {
        stop_row(row);
        return {};
    }
    if (take == want) return {};
    if (!closed || take < have) {
        row.late_frames.fetch_add(want - take, std::memory_order_relaxed);
        return {};
    }
    // The last pass ended here.
    row.playing = false;
    row.paused = false;
    row.rewind = true;
    note_track_ended(index, ring->failure());
    Handover h{row.next, offset + take};
    row.next = -1;
    if (h.next < 0 || h.next >= t.count) return {};
    TrackRow &next = t.rows[static_cast<size_t>(h.next)];
    if (!next.open || next.playing) return {};
    start_row(next);
    return h;
}

}  // namespace

void start_row(TrackRow &row) {
    row.playing = true;
    row.paused = false;
}

void stop_row(TrackRow &row) {
    row.playing = false;
    row.paused = false;
    row.rewind = true;
    if (row.stop_after_glide) {
        row.stop_after_glide = false;
        row.volume = row.volume_after_stop;
    }
    row.gain.hold(row.volume);
}

int32_t mix_tracks(const RoutineSlots &slots, const GroupTable &groups, int16_t *out, int32_t channels,
                   int32_t frames, int32_t bus_group) {
    TrackTable &t = track_table();
    if (t.count == 0) return 0;
    const bool fits = t.scratch != nullptr && frames <= t.scratch_frames && channels <= 2;
    // Counted once per block: a track a queue started in one pass is not
    // played again by another.
    if (bus_group < 0) ++t.mixes;
    int32_t added = 0;
    for (int32_t i = 0; i < t.count; ++i) {
        TrackRow &row = t.rows[static_cast<size_t>(i)];
        if (!row.open || !row.playing || row.paused || row.mixed == t.mixes) continue;
        const bool on_bus = row.group >= 0 && groups.mix[static_cast<size_t>(row.group)].bus;
        if (bus_group < 0 ? on_bus : row.group != bus_group) continue;
        ++added;
        if (!fits) {
            row.late_frames.fetch_add(frames, std::memory_order_relaxed);
            continue;
        }
        // A queued track started inside the block plays on from there, and
        // is not played again when the walk reaches its row.
        Handover h{i, 0};
        do {
            t.rows[static_cast<size_t>(h.next)].mixed = t.mixes;
            h = play_row(slots, groups, t, h.next, out, channels, frames, h.at);
        } while (h.next >= 0);
    }
    return added;
}

}  // namespace zyn
