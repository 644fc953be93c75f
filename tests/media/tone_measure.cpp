#include "tone_measure.h"

#include <cmath>
#include <algorithm>
#include <complex>

namespace zyn_test {
namespace {

void fft(std::vector<std::complex<double>> &a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * M_PI / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

}  // namespace

ToneMeasure measure_tone(const std::vector<double> &signal, int32_t rate) {
    ToneMeasure m;
    size_t n = 1;
    while (n * 2 <= signal.size()) n *= 2;
    if (n < 64) return m;
    const size_t first = (signal.size() - n) / 2;
    std::vector<std::complex<double>> x(n);
    double window_energy = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n);
        const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        window_energy += w * w;
        x[i] = signal[first + i] * w;
    }
    fft(x);
    const size_t half = n / 2;
    std::vector<double> power(half + 1);
    for (size_t k = 0; k <= half; ++k) power[k] = std::norm(x[k]) * (k == 0 || k == half ? 1.0 : 2.0) / static_cast<double>(n);
    size_t peak = 1;
    for (size_t k = 1; k < half; ++k)
        if (power[k] > power[peak]) peak = k;
    // The window's main lobe is four bins wide on each side, and its nearest
    // side lobes sum to about -88 dB; counting 16 bins (11 Hz at 44.1 kHz)
    // on each side as the tone leaves the measurement's own floor near
    // -100 dB, below 16-bit rounding (-92 dB for a half-scale tone).
    const size_t lobe = 16;
    double tone = 0.0, rest = 0.0;
    for (size_t k = 0; k <= half; ++k) {
        if (k + lobe >= peak && k <= peak + lobe) tone += power[k];
        else rest += power[k];
    }
    // Parabolic interpolation of the log magnitude around the peak.
    const double a = std::log(power[peak - 1] + 1e-300), b = std::log(power[peak] + 1e-300),
                 c = std::log(power[peak + 1] + 1e-300);
    const double offset = 0.5 * (a - c) / (a - 2 * b + c);
    m.frequency = (static_cast<double>(peak) + offset) * rate / static_cast<double>(n);
    m.amplitude = std::sqrt(2.0 * tone / window_energy);
    m.residual_db = 10.0 * std::log10((rest + 1e-300) / tone);
    return m;
}

int32_t best_lag(const std::vector<double> &a, const std::vector<double> &b, int32_t max_lag) {
    int32_t best = 0;
    double best_score = -1e300;
    const auto na = static_cast<int64_t>(a.size()), nb = static_cast<int64_t>(b.size());
    for (int32_t lag = -max_lag; lag <= max_lag; ++lag) {
        double score = 0.0;
        for (int64_t i = std::max<int64_t>(0, -lag); i < na && i + lag < nb; ++i)
            score += a[static_cast<size_t>(i)] * b[static_cast<size_t>(i + lag)];
        if (score > best_score) {
            best_score = score;
            best = lag;
        }
    }
    return best;
}

std::vector<double> channel_samples(const int16_t *samples, size_t frames, int32_t channels, int32_t channel) {
    std::vector<double> out(frames);
    for (size_t f = 0; f < frames; ++f) out[f] = samples[f * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    return out;
}

}  // namespace zyn_test
