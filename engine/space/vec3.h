// Three-component vectors for the geometry of positional sound, in double
// precision: coordinates arrive as floats, but squares of large ones and
// differences of nearby ones keep their accuracy in doubles.
#pragma once

#include <cmath>

namespace zyn::space {

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};

inline Vec3 vec3(const float v[3]) { return Vec3{v[0], v[1], v[2]}; }
inline Vec3 operator-(const Vec3 &a, const Vec3 &b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(const Vec3 &a, double s) { return Vec3{a.x * s, a.y * s, a.z * s}; }
inline double dot(const Vec3 &a, const Vec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(const Vec3 &a, const Vec3 &b) {
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const Vec3 &a) { return std::sqrt(dot(a, a)); }

}  // namespace zyn::space
