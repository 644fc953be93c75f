// Fades: a sound's, a group's or a track's volume gliding in a straight
// line to a new value over a duration, frame by frame (dsp/glide.h), with
// no step of its own. The volume field holds the target (the sound's and
// group's getters answer it at once); the glide is the volume now, which
// the mixer moves on: a sound's while the sound is mixed (a paused one's
// waits, a muted one's runs on unheard), a group's at every block's start
// unless the group is paused. A fade with stop ends a sound when it ends,
// as ZYN_SET_SOUNDLOOPS(sound, 0) would (no end event), and the sound gets
// back the volume it had before. Fades do not depend on ZYN_SET_SMOOTHING.
#pragma once

#include "engine_state.h"

#include <cstdint>

namespace zyn {

// Frames of a fade of ms milliseconds on the open device, clamped to
// 0..60000 ms; false with the reason recorded (naming operation) for a
// duration that is not a number or below 0, or no device. Caller holds the
// engine lock.
bool fade_frames(const char *operation, float ms, int64_t *frames);

// A sound that ends or is stopped ends its fade: a fade that was to stop
// it gives back the volume it had before, and any other stands at its
// target. Caller holds the engine lock.
inline void end_fade(SoundEntry &s) {
    if (s.stop_after_fade) {
        s.stop_after_fade = false;
        s.volume = s.volume_after_stop;
        s.level.hold(s.volume);
    } else if (s.level.moving()) {
        s.level.hold(s.volume);
    }
}

}  // namespace zyn
