#include "smoothing.h"

#include "dsp/glide.h"
#include "fill_thread.h"
#include "saturate.h"
#include "zyn.h"

#include <cmath>
#include <cstddef>

namespace zyn {
namespace {

constexpr float kMaxMilliseconds = 100.0f;
std::atomic<float> g_milliseconds{0.0f};

bool heard(const SoundEntry &s) {
    return s.wave_start != nullptr && s.loops > 0 && s.paused == 0 && s.muted == 0 && s.releasing == 0;
}

// The gains the fields give, on the open device (pan only on two channels).
StereoGains settled_gains(const SoundEntry &s) {
    if (!heard(s)) return {0.0f, 0.0f};
    const PlugoutRecord *device = open_plugout();
    // A positional sound's place pans it, after these gains.
    if (device != nullptr && device->channels == 2 && !s.positional) return {s.left_gain, s.right_gain};
    return {1.0f, 1.0f};
}

int32_t ramp_length() {
    const PlugoutRecord *device = open_plugout();
    const float ms = g_milliseconds.load(std::memory_order_relaxed);
    if (device == nullptr || !(ms > 0.0f)) return 0;
    return static_cast<int32_t>(std::lround(static_cast<double>(ms) * device->rate / 1000.0));
}

// The next frame's volume: the glide's, or nothing once a fade that stops
// the sound has ended.
inline float next_volume(SoundEntry &s) {
    if (s.stop_after_fade && !s.level.moving()) return 0.0f;
    return s.level.next();
}

// The float product rounded half to even, as nearbyintf would round it.
inline int16_t scaled(int16_t sample, float gain) {
    const float v = static_cast<float>(sample) * gain;
    return v != v ? 0 : round_sample(static_cast<double>(v));
}

void end_ramp_frames(SoundEntry &s, int32_t frames) {
    s.ramp_frames -= frames;
    // A faded-out destroy has ended its last pass: the mixer gives the row
    // back and, as it is releasing, reports no end.
    if (s.ramp_frames == 0 && s.releasing != 0) s.loops = 0;
}

}  // namespace

StereoGains current_gains(const SoundEntry &s) {
    if (ramping(s)) return {s.gain_left, s.gain_right};
    return settled_gains(s);
}

void ramp_from(SoundEntry &s, StereoGains from) {
    const int32_t frames = ramp_length();
    const StereoGains to = settled_gains(s);
    // A sound without passes left is not mixed, so a ramp would never run
    // and would outlive it into its next start.
    if (frames <= 0 || s.loops < 1 || (from.left == to.left && from.right == to.right)) {
        s.ramp_frames = 0;
        return;
    }
    s.gain_left = from.left;
    s.gain_right = from.right;
    s.step_left = (to.left - from.left) / static_cast<float>(frames);
    s.step_right = (to.right - from.right) / static_cast<float>(frames);
    s.ramp_frames = frames;
}

bool fade_out_then_release(SoundEntry &s) {
    const StereoGains from = current_gains(s);
    if (ramp_length() <= 0 || (from.left == 0.0f && from.right == 0.0f)) return false;
    s.releasing = 1;
    ramp_from(s, from);
    return ramping(s);
}

bool settled_silent(const SoundEntry &s) { return !heard(s); }

int32_t smoothing_frames() { return ramp_length(); }

bool smoothing_hears(const SoundEntry &s) { return heard(s); }

void shape_moving(SoundEntry &s, int16_t *block, int32_t frames, int32_t channels, Glide group) {
    const int32_t ramped = frames < s.ramp_frames ? frames : s.ramp_frames;
    float left = s.gain_left, right = s.gain_right;
    const float step_left = s.step_left, step_right = s.step_right;
    for (int32_t i = 0; i < ramped; ++i, left += step_left, right += step_right) {
        const float v = next_volume(s) * group.next();
        if (channels == 2) {
            block[2 * i] = scaled(block[2 * i], left * v);
            block[2 * i + 1] = scaled(block[2 * i + 1], right * v);
        } else {
            block[i] = scaled(block[i], left * v);
        }
    }
    s.gain_left = left;
    s.gain_right = right;
    end_ramp_frames(s, ramped);
    int16_t *rest = block + static_cast<ptrdiff_t>(ramped) * channels;
    const int32_t rest_frames = frames - ramped;
    if (ramped > 0 && settled_silent(s)) {
        for (int32_t i = 0; i < rest_frames * channels; ++i) rest[i] = 0;
        s.level.skip(rest_frames);
        return;
    }
    const bool panned = channels == 2 && !s.positional;
    const float pan_left = panned ? s.left_gain : 1.0f;
    const float pan_right = panned ? s.right_gain : 1.0f;
    for (int32_t i = 0; i < rest_frames; ++i) {
        const float v = next_volume(s) * group.next();
        if (channels == 2) {
            rest[2 * i] = scaled(rest[2 * i], pan_left * v);
            rest[2 * i + 1] = scaled(rest[2 * i + 1], pan_right * v);
        } else {
            rest[i] = scaled(rest[i], v);
        }
    }
}

void skip_ramp(SoundEntry &s, int32_t frames) {
    const int32_t skipped = frames < s.ramp_frames ? frames : s.ramp_frames;
    s.gain_left += s.step_left * static_cast<float>(skipped);
    s.gain_right += s.step_right * static_cast<float>(skipped);
    end_ramp_frames(s, skipped);
}

}  // namespace zyn

extern "C" int32_t ZYN_SET_SMOOTHING(float milliseconds) {
    float ms = milliseconds;
    if (!(ms > 0.0f)) ms = 0.0f;  // NaN too
    if (ms > zyn::kMaxMilliseconds) ms = zyn::kMaxMilliseconds;
    zyn::g_milliseconds.store(ms, std::memory_order_relaxed);
    return 1;
}
