// A soap bubble as the scene sees it: drawn on black, and the scene turns each
// pixel's brightness into its opacity. So the inside is black (drawn fully
// clear, the bubble does not grey what is behind it), the film grows brighter
// towards the rim where it is seen edge-on, the rim carries a faint rainbow
// tint, and a small white window reflection sits at the upper left.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "art.h"

namespace zyn::assets {
namespace {

struct Light {
    double r = 0, g = 0, b = 0;
};

Light bubble_light(double x, double y, double size) {
    const double radius = size / 2.0 - 0.3;
    const double dx = x - size / 2.0, dy = y - size / 2.0;
    const double d = std::sqrt(dx * dx + dy * dy) / radius;
    if (d > 1.0) return {};
    // Film brightness: faint inside, rising steeply to a bright rim.
    // Kept to a thin ring: a dim grey would darken the sky behind it.
    const double edge = std::clamp((d - 0.7) / 0.3, 0.0, 1.0);
    const double film = 0.92 * edge * edge;
    // Iridescence: hue turns with the angle round the rim.
    const double angle = std::atan2(dy, dx);
    const double tint_r = 0.75 + 0.25 * std::cos(angle + 0.5);
    const double tint_g = 0.85 + 0.15 * std::cos(angle - 1.6);
    const double tint_b = 1.0;
    Light light{film * tint_r * 205.0, film * tint_g * 225.0, film * tint_b * 255.0};
    // The window reflection: a bright spot up and to the left.
    const double hx = x - size * 0.34, hy = y - size * 0.32;
    const double spot = std::exp(-(hx * hx + hy * hy) / (2.0 * std::pow(size * 0.085, 2.0)));
    // A dimmer glint opposite it, light passing through the far side.
    const double lx = x - size * 0.68, ly = y - size * 0.70;
    const double glow = 0.9 * std::exp(-(lx * lx + ly * ly) / (2.0 * std::pow(size * 0.04, 2.0)));
    light.r += 255.0 * spot + 200.0 * glow;
    light.g += 255.0 * spot + 230.0 * glow;
    light.b += 255.0 * spot + 255.0 * glow;
    return light;
}

}  // namespace

Picture make_bubble(int size) {
    Picture bubble(size, size, 0x000000);
    constexpr int kSub = 4;  // 4 x 4 samples per pixel for a smooth edge
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Light sum;
            for (int sy = 0; sy < kSub; ++sy)
                for (int sx = 0; sx < kSub; ++sx) {
                    const Light l = bubble_light(x + (sx + 0.5) / kSub, y + (sy + 0.5) / kSub, size);
                    sum.r += l.r;
                    sum.g += l.g;
                    sum.b += l.b;
                }
            auto channel = [](double v) { return std::clamp(int(std::lround(v / (kSub * kSub))), 0, 255); };
            bubble.set(x, y, rgb(channel(sum.r), channel(sum.g), channel(sum.b)));
        }
    return bubble;
}

}  // namespace zyn::assets
