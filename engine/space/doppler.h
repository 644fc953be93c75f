// The Doppler shift of a positional sound: the factor its playback speed is
// multiplied by, from the listener's and the source's velocities along the
// line between them (OpenAL 1.1, "Velocity and the Doppler effect"):
//   factor = (c - f x vl) / (c - f x vs)
// with c the speed of sound, f the Doppler factor, vl the listener's speed
// away from the source and vs the source's speed towards the listener.
// Each of f x vl and f x vs is clamped to +-0.9 c, so the factor stays
// within 1/19 .. 19: it never reaches 0, never reverses and never becomes
// infinite, even for a source faster than sound. The mixer then holds the
// product of speed and factor to its own speed range.
#pragma once

#include "listener.h"

namespace zyn::space {

struct Doppler {
    float factor = 1.0f;            // 0: no shift
    float speed_of_sound = 343.3f;  // metres per second
};

// Checks requested settings: nullptr when usable (out holds them), else the
// reason (out untouched). Refused: a factor that is NaN, infinite or
// negative; a speed of sound that is NaN, infinite or not above 0.
const char *check_doppler(float factor, float speed_of_sound, Doppler *out);

// The factor for a source at position moving at velocity (metres, metres
// per second). 1 when the shift is off or the source is at the listener.
float doppler_pitch(const Doppler &doppler, const Listener &listener, const Vec3 &position,
                    const Vec3 &velocity);

}  // namespace zyn::space
