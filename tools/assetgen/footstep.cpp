// A footstep on soft ground: a low thump (a sine falling in pitch, the heel)
// under a short band of filtered noise (the sole brushing sand). Both ends
// are faded so the step starts and stops at silence.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "noise.h"
#include "sounds.h"

namespace zyn::assets {

Pcm16 make_step(Foot foot) {
    constexpr int kRate = 44100;
    constexpr double kSeconds = 0.09;
    constexpr int n = int(kSeconds * kRate);
    const bool right = foot == Foot::right;
    const double thump_hz = right ? 128.0 : 112.0;
    const double band_hz = right ? 1250.0 : 1000.0;
    Noise noise(right ? 77u : 31u);

    // Band-pass biquad for the brush (RBJ audio-EQ cookbook, constant peak gain).
    const double w0 = 2.0 * std::numbers::pi * band_hz / kRate;
    const double q = 1.2;
    const double alpha = std::sin(w0) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    const double b0 = alpha / a0, b2 = -alpha / a0;
    const double a1 = -2.0 * std::cos(w0) / a0, a2 = (1.0 - alpha) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    std::vector<double> mono(n);
    double phase = 0.0, peak = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        // The heel: pitch drops by half over the first 40 ms.
        const double hz = thump_hz * (0.5 + 0.5 * std::exp(-t / 0.02));
        phase += 2.0 * std::numbers::pi * hz / kRate;
        const double thump = std::sin(phase) * std::exp(-t / 0.028);

        const double white = noise.bipolar();
        const double band = b0 * white + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = white;
        y2 = y1;
        y1 = band;
        // Two grains: heel then toe, the toe a little later and softer.
        const double grains =
            std::exp(-t / 0.012) + 0.55 * (t > 0.025 ? std::exp(-(t - 0.025) / 0.016) : 0.0);
        const double brush = band * grains * 2.2;

        const double fade_in = std::min(1.0, t / 0.002);
        const double fade_out = std::min(1.0, double(n - 1 - i) / (0.02 * kRate));
        const double v = (0.8 * thump + brush) * fade_in * fade_out;
        mono[std::size_t(i)] = v;
        peak = std::max(peak, std::abs(v));
    }

    Pcm16 out;
    out.channels = 1;
    out.rate = kRate;
    const double gain = 0.3 * 32767.0 / peak;  // about -10 dBFS: heard over the tune, not above it
    for (double v : mono) out.samples.push_back(std::int16_t(std::lround(v * gain)));
    return out;
}

}  // namespace zyn::assets
