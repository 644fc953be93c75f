#include "smoothing.h"

#include "fill_thread.h"
#include "saturate.h"
#include "zyn.h"

#include <cmath>

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
    if (device != nullptr && device->channels == 2)
        return {s.volume * s.left_gain, s.volume * s.right_gain};
    return {s.volume, s.volume};
}

int32_t ramp_length() {
    const PlugoutRecord *device = open_plugout();
    const float ms = g_milliseconds.load(std::memory_order_relaxed);
    if (device == nullptr || !(ms > 0.0f)) return 0;
    return static_cast<int32_t>(std::lround(static_cast<double>(ms) * device->rate / 1000.0));
}

// The float product rounded half to even, as nearbyintf would round it.
inline int16_t scaled(int16_t sample, float gain) {
    const float v = static_cast<float>(sample) * gain;
    return v != v ? 0 : round_sample(static_cast<double>(v));
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

int32_t apply_ramp(SoundEntry &s, int16_t *block, int32_t frames, int32_t channels) {
    const int32_t ramped = frames < s.ramp_frames ? frames : s.ramp_frames;
    float left = s.gain_left, right = s.gain_right;
    const float step_left = s.step_left, step_right = s.step_right;
    if (channels == 2) {
        for (int32_t i = 0; i < ramped; ++i, left += step_left, right += step_right) {
            block[2 * i] = scaled(block[2 * i], left);
            block[2 * i + 1] = scaled(block[2 * i + 1], right);
        }
    } else {
        for (int32_t i = 0; i < ramped; ++i, left += step_left) block[i] = scaled(block[i], left);
    }
    s.gain_left = left;
    s.gain_right = right;
    s.ramp_frames -= ramped;
    // A faded-out destroy has ended its last pass: the mixer gives the row
    // back and, as it is releasing, reports no end.
    if (s.ramp_frames == 0 && s.releasing != 0) s.loops = 0;
    return ramped;
}

}  // namespace zyn

extern "C" int32_t ZYN_SET_SMOOTHING(float milliseconds) {
    float ms = milliseconds;
    if (!(ms > 0.0f)) ms = 0.0f;  // NaN too
    if (ms > zyn::kMaxMilliseconds) ms = zyn::kMaxMilliseconds;
    zyn::g_milliseconds.store(ms, std::memory_order_relaxed);
    return 1;
}
