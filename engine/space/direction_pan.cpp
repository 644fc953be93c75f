#include "direction_pan.h"

#include <cmath>

namespace zyn::space {

StereoGains equal_power_pan(const Direction &direction) {
    double s = direction.right;
    s = s != s ? 0.0 : (s < -1.0 ? -1.0 : (s > 1.0 ? 1.0 : s));
    const double a = (s + 1.0) * 0.78539816339744831;
    // cos and sin of a quarter turn are 6e-17 rather than 0 in doubles;
    // a float keeps them as such, far below any audible level.
    return StereoGains{static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
}

}  // namespace zyn::space
