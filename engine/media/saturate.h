// Results worked out wider than they are given: int32 results of the
// interface, and samples rounded to 16 bits.
#pragma once

#include <cstdint>

namespace zyn {

inline int32_t saturate_to_int32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Round half to even for |x| < 2^51 under the default rounding mode, without
// a library call per sample: adding 1.5 x 2^52 leaves no fraction bits.
// Saturates to 16 bits; x must not be NaN.
inline int16_t round_sample(double x) {
    constexpr double kShift = 6755399441055744.0;
    double r = (x + kShift) - kShift;
    if (r > 32767.0) r = 32767.0;
    if (r < -32768.0) r = -32768.0;
    return static_cast<int16_t>(r);
}

}  // namespace zyn
