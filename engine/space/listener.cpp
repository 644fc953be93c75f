#include "listener.h"

#include <initializer_list>

namespace zyn::space {
namespace {

constexpr double kShortest = 1.0e-9;     // a forward or up shorter than this is no direction
constexpr double kParallelSine = 1.0e-3;  // |forward x up| / (|forward| |up|) below it: parallel
constexpr double kSamePoint = 1.0e-6;

bool usable(float v) { return std::isfinite(v) && std::fabs(static_cast<double>(v)) <= kMaxCoordinate; }

}  // namespace

const char *check_vector(const float v[3]) {
    if (v == nullptr) return "a vector is null";
    if (!usable(v[0]) || !usable(v[1]) || !usable(v[2]))
        return "a coordinate is not finite or is beyond 1e12";
    return nullptr;
}

const char *set_listener(Listener &listener, const float position[3], const float forward[3],
                         const float up[3]) {
    for (const float *v : {position, forward, up})
        if (const char *why = check_vector(v)) return why;
    const Vec3 f = vec3(forward), u = vec3(up);
    const double lf = length(f), lu = length(u);
    if (lf < kShortest) return "the forward vector has no length";
    if (lu < kShortest) return "the up vector has no length";
    const Vec3 r = cross(f, u);
    const double lr = length(r);
    if (lr < kParallelSine * lf * lu) return "the forward and up vectors are parallel";
    listener.position = vec3(position);
    listener.forward = f * (1.0 / lf);
    listener.right = r * (1.0 / lr);
    listener.up = cross(listener.right, listener.forward);
    return nullptr;
}

const char *set_listener_velocity(Listener &listener, const float velocity[3]) {
    if (const char *why = check_vector(velocity)) return why;
    listener.velocity = vec3(velocity);
    return nullptr;
}

Direction direction_from_listener(const Listener &listener, const Vec3 &point, double *distance) {
    const Vec3 d = point - listener.position;
    const double len = length(d);
    if (distance != nullptr) *distance = len < kSamePoint ? 0.0 : len;
    if (len < kSamePoint) return Direction{};
    const double inv = 1.0 / len;
    return Direction{dot(d, listener.right) * inv, dot(d, listener.up) * inv, dot(d, listener.forward) * inv};
}

}  // namespace zyn::space
