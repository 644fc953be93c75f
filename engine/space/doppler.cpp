#include "doppler.h"

namespace zyn::space {
namespace {

constexpr double kLimit = 0.9;  // of the speed of sound, for each projected speed

inline double clamp(double v, double limit) { return v < -limit ? -limit : (v > limit ? limit : v); }

}  // namespace

const char *check_doppler(float factor, float speed_of_sound, Doppler *out) {
    if (!(std::isfinite(factor) && factor >= 0.0f)) return "the Doppler factor is not 0 or more";
    if (!(std::isfinite(speed_of_sound) && speed_of_sound > 0.0f)) return "the speed of sound is not above 0";
    out->factor = factor;
    out->speed_of_sound = speed_of_sound;
    return nullptr;
}

float doppler_pitch(const Doppler &doppler, const Listener &listener, const Vec3 &position,
                    const Vec3 &velocity) {
    if (doppler.factor == 0.0f) return 1.0f;
    const Vec3 to_listener = listener.position - position;
    const double distance = length(to_listener);
    if (!(distance > 1.0e-6)) return 1.0f;
    const Vec3 unit = to_listener * (1.0 / distance);
    const double c = doppler.speed_of_sound, f = doppler.factor;
    const double limit = kLimit * c;
    const double listener_away = clamp(f * dot(listener.velocity, unit), limit);
    const double source_towards = clamp(f * dot(velocity, unit), limit);
    return static_cast<float>((c - listener_away) / (c - source_towards));
}

}  // namespace zyn::space
