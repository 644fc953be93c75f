// The positional scene both engines render (openal_space_render,
// zyn_space_render): where each source stands and moves.
#pragma once

#include <cmath>

namespace peers {

constexpr float kTwoPi = 6.28318530718f;

// Where source i stands at time t, and how fast it moves: a circle of its
// own radius (2..17 m), height and angular speed (0.5..2 rad/s, up to 34
// m/s) around a centre 5 m from the listener in a direction of its own, so
// that every source also moves towards and away from the listener (a
// circle around the listener would leave the Doppler factor at 1).
inline void place(int i, int voices, float t, float position[3], float velocity[3]) {
    const float radius = 2.0f + static_cast<float>(i % 16);
    const float omega = 0.5f + 0.25f * static_cast<float>(i % 7);
    const float angle = kTwoPi * static_cast<float>(i) / static_cast<float>(voices) + omega * t;
    const float centre = 2.39996323f * static_cast<float>(i);  // the golden angle apart
    position[0] = 5.0f * std::cos(centre) + radius * std::cos(angle);
    position[1] = 0.5f * static_cast<float>(i % 5 - 2);
    position[2] = 5.0f * std::sin(centre) + radius * std::sin(angle);
    velocity[0] = -radius * omega * std::sin(angle);
    velocity[1] = 0.0f;
    velocity[2] = radius * omega * std::cos(angle);
}

}  // namespace peers
