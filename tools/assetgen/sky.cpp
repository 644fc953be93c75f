#include <cmath>

#include "art.h"

namespace zyn::assets {

Picture make_sky() {
    constexpr int kWidth = 4, kHeight = 264, kHorizon = 239;
    const Rgb zenith = rgb(62, 124, 218);
    const Rgb horizon = rgb(214, 238, 252);
    Picture sky(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        // The pale band near the ground is wider than the deep blue above,
        // as the sky looks on a clear morning; below the horizon (hidden by
        // the ground) it just stays pale.
        const double t = std::pow(std::min(1.0, double(y) / kHorizon), 1.7);
        const Rgb c = mix(zenith, horizon, t);
        for (int x = 0; x < kWidth; ++x) sky.set(x, y, c);
    }
    return sky;
}

}  // namespace zyn::assets
