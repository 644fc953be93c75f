// Equal-power panning of a positional sound on a stereo device, from its
// direction in the listener's frame: with s the sideways component of the
// unit direction (-1 full left .. +1 full right) and a = (s + 1) x pi / 4,
//   left = cos a, right = sin a,
// so left^2 + right^2 = 1 everywhere: straight ahead, behind, above or at the
// listener's own position both are cos(pi / 4) = 0.707 (-3 dB); a source 90
// degrees to the right has left = 0 and right = 1. The gains replace the
// sound's pan; the distance gain and volume multiply both.
#pragma once

#include "listener.h"

namespace zyn::space {

struct StereoGains {
    float left = 0.70710678f;
    float right = 0.70710678f;
};

StereoGains equal_power_pan(const Direction &direction);

}  // namespace zyn::space
