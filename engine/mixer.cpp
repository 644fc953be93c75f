// One fill: stream block, one walk over the sounds that counts, renders and
// sums them, master volume, master filters, master callback, counters.
//
// The fill holds the engine lock from start to end, so every row and setting
// it reads is a consistent set; application calls hold the lock only around
// their table changes, so the wait is short. It allocates nothing: every
// block it touches was allocated by the sound and stream operations.
//
// On a stereo device a sound without an enabled callback never goes through
// its work buffer: its frames are read from the wave, scaled, panned and
// summed into the output block in one pass (dsp/voice_render.h). Every sum
// is built as the blocks arrive, stream first, then sounds by row: the first
// stored, every later one added with saturation, as the MIX16 chain does.
// Such a sound's work buffer is left as it was: nothing reads it. A sound
// with a callback, and every sound on a mono device, renders into its work
// buffer, which the callback sees and may change before it is added.
#include "mixer.h"

#include "dsp/interpolated_playback.h"
#include "dsp/kernels.h"
#include "dsp/voice_render.h"
#include "end_events.h"
#include "engine_state.h"
#include "fill_thread.h"
#include "media/mp3_stream.h"
#include "media/smoothing.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <atomic>

namespace zyn {
namespace {

std::atomic<bool> g_fused{true};

// A paused row is still heard while the ramp to its pause runs.
inline bool row_playing(const SoundEntry &row) {
    return row.wave_start != nullptr && row.buffer != nullptr && row.loops > 0 &&
           (row.paused == 0 || ramping(row));
}

void render_sound(const RoutineSlots &slots, SoundEntry &row, int32_t bytes, int32_t channels,
                  int32_t frames) {
    if (row.resampler != kResampleNearest && row.speed != 1.0f && (bytes & (2 * channels - 1)) == 0 &&
        play_interpolated(row.resampler, channels, row.buffer, row.loop_start, &row.position,
                          row.loop_end, &row.loops, &row.fraction, row.speed,
                          bytes / (2 * channels))) {
        // read between frames; positions and loops moved as the kernels move them
    } else if (row.speed == 1.0f)
        slots.kernel_copy_right(row.buffer, row.loop_start, &row.position, row.loop_end, &row.loops,
                                bytes);
    else if (row.speed <= 0.0f)
        slots.kernel_copy_slice_left(row.buffer, row.loop_start, &row.position, row.loop_end,
                                     &row.loops, row.speed, bytes);
    else
        slots.kernel_copy_slice_right(row.buffer, row.loop_start, &row.position, row.loop_end,
                                      &row.loops, row.speed, bytes);
    // A ramp shapes the start of the block; what follows it is shaped as
    // in any block without one.
    const int32_t ramped = ramping(row) ? apply_ramp(row, row.buffer, frames, channels) : 0;
    if (ramped < frames) {
        int16_t *rest = row.buffer + static_cast<ptrdiff_t>(ramped) * channels;
        const int32_t rest_bytes = bytes - ramped * 2 * channels;
        if (ramped > 0 && settled_silent(row)) {
            ZERO(rest, rest_bytes);
        } else {
            if (row.volume != 1.0f) slots.kernel_scale(rest, rest, row.volume, rest_bytes);
            if (channels == 2 && row.pan != 0.0f)
                slots.kernel_pan(rest, rest, row.left_gain, row.right_gain, rest_bytes);
        }
    }
    if (row.callback != nullptr && row.callback_enabled == 1) row.callback(row.buffer, channels, frames);
}

// A muted sound keeps its timing: it advances exactly as if it were heard.
void advance_sound(const RoutineSlots &slots, SoundEntry &row, int32_t bytes, int32_t channels) {
    if (row.resampler != kResampleNearest && row.speed != 1.0f && (bytes & (2 * channels - 1)) == 0 &&
        advance_interpolated(row.loop_start, &row.position, row.loop_end, &row.loops, &row.fraction,
                             row.speed, bytes / (2 * channels), channels)) {
        // the fraction kept, as when heard
    } else if (row.speed == 1.0f)
        slots.kernel_move_right(row.loop_start, &row.position, row.loop_end, &row.loops, bytes);
    else if (row.speed <= 0.0f)
        slots.kernel_move_slice_left(row.loop_start, &row.position, row.loop_end, &row.loops,
                                     row.speed, bytes);
    else
        slots.kernel_move_slice_right(row.loop_start, &row.position, row.loop_end, &row.loops,
                                      row.speed, bytes);
}

// An ended sound nobody holds a handle to gives its row back; the work
// buffer stays for the next sound placed there.
inline void release_if_ended(SoundEntry &row) {
    if (row.wave_start != nullptr && row.loops < 1 && (row.has_handle == 0 || row.releasing != 0)) {
        row.wave_start = nullptr;
        row.releasing = 0;
    }
}

// The volume and pan stages of a sound as fixed-point factors, with the
// tests the per-step path makes: volume exactly 1.0 and pan exactly 0.0 skip
// their stage, and PAN16 does nothing unless one gain is exactly 1.0.
FusedGains sound_gains(const SoundEntry &row) {
    constexpr int64_t kUnit = 65536;
    FusedGains g{kUnit, kUnit, kUnit};
    if (row.volume != 1.0f) g.volume = scale_factor_fixed(row.volume);
    if (row.pan != 0.0f && (row.left_gain == 1.0f || row.right_gain == 1.0f)) {
        if (row.left_gain == 1.0f)
            g.right = scale_factor_fixed(row.right_gain);
        else
            g.left = scale_factor_fixed(row.left_gain);
    }
    return g;
}

// Adds one finished block to the running sum: the first is stored, every
// later one added with saturation (the MIX16 chain in list order).
void accumulate(const RoutineSlots &slots, int16_t *out, const int16_t *block, bool first,
                int32_t bytes) {
    if (first)
        COPY(out, block, bytes);
    else
        slots.kernel_mix(out, out, block, bytes);
}

// Whether a stereo sound may skip its work buffer: the fused loops stand in
// for exactly the stereo kernels, on whole frames (with a partial frame those
// kernels leave part of the work buffer as it was).
bool fusable_device(const RoutineSlots &slots, int32_t bytes, int32_t channels) {
    return g_fused.load(std::memory_order_relaxed) && channels == 2 && (bytes & 3) == 0 &&
           slots.kernel_copy_right == COPYRIGHT32 &&
           slots.kernel_copy_slice_right == COPYSLICERIGHT32 &&
           slots.kernel_copy_slice_left == COPYSLICELEFT32 && slots.kernel_scale == SCALE16 &&
           slots.kernel_pan == PAN16 && slots.kernel_mix == MIX16;
}

struct Walk {
    int32_t contributions = 0;  // blocks summed into out
    int32_t playing = 0;        // rows that play, including those past the channel limit
};

// The one walk over the rows: each playing row is counted; rows are visited
// in order until the blocks summed reach the channel limit (checked after
// each visited row, so with the stream's block alone at the limit row 0 is
// still visited), and a visited row is heard (summed into out on the way),
// advanced when muted, and given back when it ended without a handle. Rows
// past the limit only count: they continue from where they stand in a later
// fill. The stream's block, when taken, is the first contribution.
Walk mix_rows(EngineState &e, int16_t *out, int32_t bytes, int32_t channels, int32_t frames,
              bool stream_taken) {
    const RoutineSlots &slots = e.slots;
    const bool fusable = fusable_device(slots, bytes, channels);
    Walk w;
    if (stream_taken) accumulate(slots, out, e.mp3_stream.mix_buffer, w.contributions++ == 0, bytes);
    if (e.wave_count == 0) return w;
    bool limited = false;
    // sound_count is read afresh: a callback may add a row.
    for (int32_t i = 0; i < e.sound_count; ++i) {
        SoundEntry &row = e.sounds[static_cast<size_t>(i)];
        const bool plays = row_playing(row);
        if (plays) ++w.playing;
        if (limited) continue;
        if (plays && row.muted != 0 && !ramping(row)) {
            advance_sound(slots, row, bytes, channels);
        } else if (plays) {
            const bool first = w.contributions++ == 0;
            const bool callback = row.callback != nullptr && row.callback_enabled == 1;
            if (callback || !fusable || ramping(row) ||
                !render_voice_fused(out, first, row.loop_start, &row.position, row.loop_end,
                                    &row.loops, row.speed, sound_gains(row), bytes / 4,
                                    row.resampler, &row.fraction)) {
                render_sound(slots, row, bytes, channels, frames);
                accumulate(slots, out, row.buffer, first, bytes);
            }
        }
        // A sound with a handle that has just played to its end (not one
        // destroyed or stopped by the application: those never get here).
        if (plays && row.loops < 1 && row.has_handle == 1 && row.releasing == 0) note_sound_ended(i);
        if (row.loops < 1) row.ramp_frames = 0;  // ended inside a ramp: none left for a restart
        release_if_ended(row);
        limited = w.contributions >= e.max_channels;
    }
    return w;
}

}  // namespace

void set_fused_mixing(bool on) { g_fused.store(on, std::memory_order_relaxed); }

void fill_block(PlugoutRecord *record) {
    if (record == nullptr || record->buffer == nullptr || record->buffer_size < 4) return;
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const FillScope scope;

    const int32_t bytes = record->buffer_size;
    const int32_t channels = record->channels;
    // frames = B shifted right by C: the frames of a block for one or two channels.
    const int32_t frames = channels >= 0 && channels < 31 ? bytes >> channels : 0;
    auto *out = static_cast<int16_t *>(record->buffer);
    e.played_bytes.fetch_add(bytes, std::memory_order_relaxed);
    const RoutineSlots &slots = e.slots;
    if (slots.kernel_mix == nullptr) {  // no device has been opened yet
        ZERO(out, bytes);
        return;
    }

    bool stream_taken = false;
    int32_t streams = 0;
    if (e.mp3_stream.active.load() == 1) {
        bool present = false;
        stream_taken = take_stream_block(e.mp3_stream, e.slots, bytes, channels, frames, &present);
        streams = present ? 1 : 0;
    }
    const Walk w = mix_rows(e, out, bytes, channels, frames, stream_taken);
    if (w.contributions == 0) ZERO(out, bytes);
    e.playing_sounds.store(w.playing, std::memory_order_relaxed);
    e.playing_streams.store(streams, std::memory_order_relaxed);

    if (e.master_volume != 1.0f) slots.kernel_scale(out, out, e.master_volume, bytes);
    if (slots.master_filter_routine != nullptr) {
        for (MasterFilter &band : e.master_filters)
            if (band.enabled == 1 && band.gain != 0.0f)
                slots.master_filter_routine(out, out, &band, bytes);
    }
    if (e.master_callback != nullptr && e.master_callback_enabled == 1)
        e.master_callback(out, channels, frames);
}

}  // namespace zyn
