// Click-free changes: with smoothing on (ZYN_SET_SMOOTHING), a sound's pan,
// mute, pause, start and end move linearly over the set time instead of
// jumping between two blocks, and its volume glides there (fades.h).
//
// A ramp runs per sound on its pan and hearing stages: gain_left/gain_right
// (pan x heard) move by a step a frame for ramp_frames frames. The volume is
// not part of it: it is the sound's level glide, which fades move too. While
// either moves, or the sound's group's glide does, the mixer renders the
// sound through its work buffer and shapes it here frame by frame; the
// flags (muted, paused) already hold their new values, and the mixer keeps
// the sound heard until the ramp is over. With nothing moving nothing here
// runs, and every sound is mixed exactly as without smoothing.
#pragma once

#include "engine_state.h"

#include <cstdint>

namespace zyn {

struct StereoGains {
    float left;
    float right;
};

// The pan and hearing gains the sound has now: mid-ramp where a ramp runs,
// else those its pan, mute and pause give. Caller holds the engine lock.
StereoGains current_gains(const SoundEntry &s);

// Frames a change glides over on the open device (0: smoothing off).
// Caller holds the engine lock.
int32_t smoothing_frames();

// Whether a change of the sound is heard now (it plays, unpaused, unmuted).
bool smoothing_hears(const SoundEntry &s);

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

// Whether the sound's gains move in a block whose group factor moves or
// not: the mixer then shapes it with shape_moving.
inline bool gains_move(const SoundEntry &s, bool group_moving) {
    return ramping(s) || s.level.moving() || group_moving;
}

// Shapes frames frames (channels channels) of the sound just rendered into
// block: its ramp while one runs, then its pan (or silence, once a ramp has
// taken it out of hearing), each frame times its volume as it glides and
// times group (the group's factor, stepped here frame by frame). Moves the
// ramp and the volume's glide on; a releasing row whose ramp ends has no
// passes left, and a fade that stops the sound makes the frames after its
// end silent. Output thread, engine lock held.
void shape_moving(SoundEntry &s, int16_t *block, int32_t frames, int32_t channels, Glide group);

// Lets frames of the running ramp go by unheard (a row past the channel
// limit, or muted by its group), with the end shape_moving gives it. Output
// thread, engine lock held.
void skip_ramp(SoundEntry &s, int32_t frames);

// Whether the sound, once its ramp is over, is not heard (muted, paused,
// released or ended): what is left of a block after its fade is silence.
bool settled_silent(const SoundEntry &s);

}  // namespace zyn
