// The volume and pan rules of the sounds and of the MP3 stream.
#pragma once

#include <cmath>

namespace zyn {

// Volumes run from silence to 2. Sounds are silent below 0.0001, the stream
// below the float nearest it, which lies a hair lower: a volume of exactly
// 0.0001f silences a sound but not the stream.
constexpr double kSoundSilentBelow = 0.0001;
constexpr double kStreamSilentBelow = 0.0001f;

// Not a number is silence.
inline float clamp_volume(float volume, double silent_below) {
    if (volume > 2.0f) return 2.0f;
    if (!(static_cast<double>(volume) >= silent_below)) return 0.0f;
    return volume;
}

// Stores a pan of -1 (left) to 1 (right), not a number being the centre, and
// the gain of each channel: the side the pan leans away from is turned down
// by it, the other one is kept whole.
template <typename Row>
void apply_pan(Row &row, float pan) {
    if (std::isnan(pan)) pan = 0.0f;
    if (pan < -1.0f) pan = -1.0f;
    if (pan > 1.0f) pan = 1.0f;
    row.pan = pan;
    row.right_gain = pan < 0.0f ? 1.0f + pan : 1.0f;
    row.left_gain = pan > 0.0f ? 1.0f - pan : 1.0f;
}

}  // namespace zyn
