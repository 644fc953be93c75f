// Level and angle conversions. The factors are single-precision constants
// widened to double, so the results carry their rounding (RAD2DEG(pi) is
// 180.0000021, not 180): callers compare against these values.
#include "zyn.h"

#include <cmath>

extern "C" {

double ZYN_POW(double base, double exponent) { return std::pow(base, exponent); }

double ZYN_RAD2DEG(double radians) { return radians * static_cast<double>(57.29578f); }

double ZYN_DEG2RAD(double degrees) { return degrees * static_cast<double>(0.017453292f); }

float ZYN_VOLUME_2_DB(float volume) {
    return static_cast<float>(20.0 * std::log(static_cast<double>(volume)) / 2.302585092994046);
}

float ZYN_DB_2_VOLUME(float db) {
    return static_cast<float>(std::pow(10.0, static_cast<double>(0.05f) * db));
}

}  // extern "C"
