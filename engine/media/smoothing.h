// Click-free changes: with smoothing on (ZYN_SET_SMOOTHING), a sound's gains
// move linearly to a new volume, pan, mute, pause, start or end over the set
// time instead of jumping between two blocks.
//
// A ramp runs per sound: gain_left/gain_right (volume x pan x heard) move
// by a step a frame for ramp_frames frames. While it runs the mixer renders
// the sound through its work buffer and applies the ramp there; the flags
// (muted, paused) already hold their new values, and the mixer keeps the
// sound heard until the ramp is over. Without a ramp nothing here runs, and
// every sound is mixed exactly as without smoothing.
#pragma once

#include "engine_state.h"

#include <cstdint>

namespace zyn {

struct StereoGains {
    float left;
    float right;
};

// The gains the sound has now: mid-ramp where a ramp runs, else those its
// volume, pan, mute and pause give. Caller holds the engine lock.
StereoGains current_gains(const SoundEntry &s);

// After a change of volume, pan, mute or pause, or a start (from silence):
// ramps from `from` to what the sound's fields now give, when smoothing is
// on and the sound is heard on either side of the change. Caller holds the
// engine lock.
void ramp_from(SoundEntry &s, StereoGains from);

// ZYN_DESTROY_SOUND with smoothing: when the sound is heard, starts its fade
// to silence, after which the mixer gives the row back, and returns true
// (the handle is gone at once). Caller holds the engine lock.
bool fade_out_then_release(SoundEntry &s);

// The mixer's part: true while the row's ramp runs (it is then heard even
// when paused or muted).
inline bool ramping(const SoundEntry &s) { return s.ramp_frames > 0; }

// Applies the running ramp to the first frames of a rendered block of the
// sound (frames frames of channels channels), moves it on and returns how
// many frames it covered; the mixer treats the rest of the block as without
// a ramp. A releasing row whose fade ends has no passes left. Output thread,
// engine lock held.
int32_t apply_ramp(SoundEntry &s, int16_t *block, int32_t frames, int32_t channels);

// Whether the sound, once its ramp is over, is not heard (muted, paused,
// released or ended): what is left of a block after its fade is silence.
bool settled_silent(const SoundEntry &s);

}  // namespace zyn
