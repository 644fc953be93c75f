// A track's level: volume and pan, fades and crossfades. They set the
// track's gain stage (track_voice.cpp), whose glide the fill moves on
// frame by frame.
#include "decoder_pool.h"
#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "media/gain.h"
#include "track_decoding.h"
#include "track_table.h"
#include "track_voice.h"
#include "zyn.h"

#include <cmath>

namespace zyn {
namespace {

constexpr double kHalfPi = 1.57079632679489661923;
// Longer fades are taken as an hour.
constexpr double kLongestMilliseconds = 3600.0 * 1000.0;

// Frames of a glide of ms milliseconds on the device; not a number and
// anything not above 0 is no glide at all.
int64_t glide_frames(float ms) {
    if (!(ms > 0.0f)) return 0;
    const double clamped = ms < kLongestMilliseconds ? static_cast<double>(ms) : kLongestMilliseconds;
    return std::llround(clamped * track_table().device.rate / 1000.0);
}

// The volume the track stands at once its glide is over and it has not
// been stopped by it.
float settled_volume(const TrackRow &row) { return row.stop_after_glide ? row.volume_after_stop : row.volume; }

// Engine lock held.
void fade(TrackRow &row, float volume, int64_t frames, bool stop) {
    const float before = settled_volume(row);
    const bool heard = row.playing && frames > 0;
    row.stop_after_glide = false;
    if (stop) {
        if (!heard) {
            // Nothing to fade: it stops (if it plays) and keeps its volume.
            row.volume = before;
            row.gain.hold(before);
            if (row.playing) stop_row(row);
            return;
        }
        row.stop_after_glide = true;
        row.volume_after_stop = before;
    }
    row.volume = volume;
    if (heard)
        row.gain.linear(volume, frames);
    else
        row.gain.hold(volume);
}

// The falling half of a crossfade: from the gain it has now to silence on
// a quarter cosine, then it stops. Engine lock held.
void fade_out_equal_power(TrackRow &row, int64_t frames) {
    if (!row.playing) return;
    const float before = settled_volume(row);
    if (frames <= 0) {
        row.stop_after_glide = false;
        row.volume = before;
        stop_row(row);
        return;
    }
    row.gain.sine(row.gain.value(), kHalfPi, 0.0, frames);
    row.volume = 0.0f;
    row.stop_after_glide = true;
    row.volume_after_stop = before;
}

// The rising half: to its volume on a quarter sine, started from silence
// when it was not playing, else from the angle its gain stands at now.
// Engine lock held.
void fade_in_equal_power(TrackRow &row, int64_t frames) {
    const float volume = settled_volume(row);
    row.stop_after_glide = false;
    row.volume = volume;
    double angle = 0.0;
    if (row.playing && !row.paused) {
        const double ratio = volume > 0.0f ? row.gain.value() / volume : 1.0;
        angle = ratio >= 1.0 ? kHalfPi : std::asin(ratio);
    } else {
        row.gain.hold(0.0f);
        start_row(row);
    }
    row.gain.sine(volume, angle, kHalfPi, frames);
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_SET_TRACKVOLUME(int32_t track, float volume) {
    EngineLock hold(engine().lock);
    TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    row->volume = clamp_volume(volume, kSoundSilentBelow);
    row->stop_after_glide = false;
    row->gain.hold(row->volume);
    return 1;
}

int32_t ZYN_GET_TRACKVOLUME(int32_t track, float *volume) {
    if (volume == nullptr) return fail_null("ZYN_GET_TRACKVOLUME", "volume");
    EngineLock hold(engine().lock);
    const TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    *volume = row->gain.value();
    return 1;
}

int32_t ZYN_SET_TRACKPAN(int32_t track, float pan) {
    EngineLock hold(engine().lock);
    TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    apply_pan(*row, pan);
    return 1;
}

int32_t ZYN_GET_TRACKPAN(int32_t track, float *pan) {
    if (pan == nullptr) return fail_null("ZYN_GET_TRACKPAN", "pan");
    EngineLock hold(engine().lock);
    const TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    *pan = row->pan;
    return 1;
}

int32_t ZYN_FADE_TRACK(int32_t track, float volume, float milliseconds, int32_t stop) {
    EngineLock hold(engine().lock);
    TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    fade(*row, clamp_volume(volume, kSoundSilentBelow), glide_frames(milliseconds), stop != 0);
    return 1;
}

int32_t ZYN_CROSSFADE_TRACKS(int32_t from, int32_t to, float milliseconds) {
    if (inside_fill()) return fail_in_callback("ZYN_CROSSFADE_TRACKS");
    if (from == to) return fail("ZYN_CROSSFADE_TRACKS: track %d cannot fade into itself", from);
    {
        EngineLock hold(engine().lock);
        if (track_row(from) == nullptr) return 0;
    }
    {
        DecodingAccess access(to);
        TrackRow *rising = access.row();
        if (rising == nullptr || !rewind_if_due(*rising)) return 0;
        EngineLock hold(engine().lock);
        TrackRow *falling = track_row(from);
        if (falling == nullptr) return 0;
        const int64_t frames = glide_frames(milliseconds);
        fade_out_equal_power(*falling, frames);
        fade_in_equal_power(*rising, frames);
    }
    wake_decoder_pool();
    return 1;
}

}  // extern "C"
