// The listener: where it stands, which way it faces, how fast it moves.
//
// Right-handed coordinates in metres (+x right, +y up, -z ahead when the
// listener faces its default way). Setters take the application's float
// triples, check them and keep them in a form the per-block geometry uses
// directly: an orthonormal frame (right, up, forward) built from forward and
// up, so that an up that is not quite perpendicular to forward still works.
//
// Every check returns nullptr when the input is usable, else the reason
// (and leaves what it would have set untouched).
#pragma once

#include "vec3.h"

namespace zyn::space {

// Coordinates beyond this (in metres) are refused as well as NaN and
// infinities: differences and squares of them stay exact enough, and far
// beyond any world a game models.
constexpr double kMaxCoordinate = 1.0e12;

struct Listener {
    Vec3 position;
    Vec3 right{1.0, 0.0, 0.0};
    Vec3 up{0.0, 1.0, 0.0};
    Vec3 forward{0.0, 0.0, -1.0};
    Vec3 velocity;
};

// A position or velocity: three finite values within kMaxCoordinate.
const char *check_vector(const float v[3]);

// Position, facing and up at once. Refuses a null triple, a non-finite or
// too large value, a forward or up of (near) zero length, and a forward and
// up that are (near) parallel (less than 0.001 rad apart).
const char *set_listener(Listener &listener, const float position[3], const float forward[3],
                         const float up[3]);
const char *set_listener_velocity(Listener &listener, const float velocity[3]);

// Where a point lies as the listener hears it: a unit vector in the
// listener's frame, and the distance in metres. A point at the listener's
// own position (closer than 1 micrometre) is straight ahead at distance 0.
struct Direction {
    double right = 0.0, up = 0.0, front = 1.0;
};
Direction direction_from_listener(const Listener &listener, const Vec3 &point, double *distance);

}  // namespace zyn::space
