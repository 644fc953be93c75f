// An HRTF set's direction grid, built from measured responses on the
// loading thread, and the lookup the mix makes in it.
#include "hrtf.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <new>

namespace zyn {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
// Where a response starts: the first sample reaching this share of its peak.
constexpr double kOnsetShare = 0.1;
// The magnitude floor of the cepstrum's logarithm, relative to the peak
// (-100 dB): deep notches would otherwise dominate it.
constexpr double kMagnitudeFloor = 1.0e-5;
constexpr int kNeighbours = 3;

using Complex = std::complex<double>;

// An in-place radix-2 FFT of the size of its twiddle table's double;
// inverse without the 1/n.
class Fft {
  public:
    explicit Fft(size_t n) : twiddles_(n / 2) {
        for (size_t k = 0; k < n / 2; ++k) twiddles_[k] = std::polar(1.0, -2.0 * kPi * static_cast<double>(k) / static_cast<double>(n));
    }
    void run(std::vector<Complex> &a, bool inverse) const {
        const size_t n = a.size();
        for (size_t i = 1, j = 0; i < n; ++i) {
            size_t bit = n >> 1;
            for (; j & bit; bit >>= 1) j ^= bit;
            j ^= bit;
            if (i < j) std::swap(a[i], a[j]);
        }
        for (size_t len = 2; len <= n; len <<= 1) {
            const size_t stride = n / len;
            for (size_t i = 0; i < n; i += len) {
                for (size_t k = 0; k < len / 2; ++k) {
                    // Written out: std::complex's product checks every
                    // result for NaN, which costs more than the product.
                    const double wr = twiddles_[k * stride].real();
                    const double wi = inverse ? -twiddles_[k * stride].imag() : twiddles_[k * stride].imag();
                    Complex &top = a[i + k], &bottom = a[i + k + len / 2];
                    const double br = bottom.real(), bi = bottom.imag();
                    const double vr = br * wr - bi * wi, vi = br * wi + bi * wr;
                    const double ur = top.real(), ui = top.imag();
                    top = Complex(ur + vr, ui + vi);
                    bottom = Complex(ur - vr, ui - vi);
                }
            }
        }
    }

  private:
    std::vector<Complex> twiddles_;
};

// The transform size for responses of a length: four times it (a power of
// two), so that the folded cepstrum hardly wraps around.
size_t transform_size(int32_t length, int32_t taps) {
    size_t n = 256;
    while (n < 4 * static_cast<size_t>(std::max(length, taps))) n <<= 1;
    return n;
}

// Splits the transform z of two real signals packed as x + i y into theirs.
inline void split(const std::vector<Complex> &z, size_t k, Complex *x, Complex *y) {
    const size_t n = z.size();
    const Complex mirror = std::conj(z[(n - k) & (n - 1)]);
    *x = 0.5 * (z[k] + mirror);
    *y = Complex(0.0, -0.5) * (z[k] - mirror);
}

// The minimum-phase responses with the magnitudes of a pair of responses
// (both ears of a measurement), by folding their real cepstra onto
// positive times; the first taps of each, the last quarter of those
// tapered by a half cosine so the truncation rings less. The two real
// signals of each step travel as the real and imaginary parts of one
// transform.
void minimum_phase_pair(const Fft &fft, std::vector<Complex> &a, const float *left, const float *right,
                        int32_t length, int32_t taps, float *out_left, float *out_right) {
    const size_t n = a.size(), half = n / 2;
    std::fill(a.begin(), a.end(), Complex{});
    for (int32_t i = 0; i < length; ++i) a[static_cast<size_t>(i)] = Complex(left[i], right[i]);
    fft.run(a, false);
    // Log magnitudes, worked out on the lower half (real signals have
    // conjugate-symmetric spectra) and mirrored.
    double peak[2] = {0.0, 0.0};
    std::vector<double> power(2 * (half + 1));
    for (size_t k = 0; k <= half; ++k) {
        Complex x, y;
        split(a, k, &x, &y);
        power[2 * k] = std::norm(x);
        power[2 * k + 1] = std::norm(y);
        peak[0] = std::max(peak[0], power[2 * k]);
        peak[1] = std::max(peak[1], power[2 * k + 1]);
    }
    double floor[2];
    for (int ear = 0; ear < 2; ++ear)
        floor[ear] = peak[ear] > 0.0 ? peak[ear] * kMagnitudeFloor * kMagnitudeFloor : 1.0e-60;
    for (size_t k = 0; k <= half; ++k)
        a[k] = Complex(0.5 * std::log(std::max(power[2 * k], floor[0])),
                       0.5 * std::log(std::max(power[2 * k + 1], floor[1])));
    for (size_t k = half + 1; k < n; ++k) a[k] = a[n - k];
    fft.run(a, true);  // both real cepstra, times n
    const double inv_n = 1.0 / static_cast<double>(n);
    a[0] *= inv_n;
    for (size_t i = 1; i < half; ++i) a[i] *= 2.0 * inv_n;
    a[half] *= inv_n;
    for (size_t i = half + 1; i < n; ++i) a[i] = 0.0;
    fft.run(a, false);
    // exp of each folded spectrum, packed again for the way back.
    std::vector<Complex> packed(half + 1);
    for (size_t k = 0; k <= half; ++k) {
        Complex x, y;
        split(a, k, &x, &y);
        packed[k] = std::exp(x) + Complex(0.0, 1.0) * std::exp(y);
        // The upper half of a packed pair is conj(X) + i conj(Y) at n - k;
        // split has read a[n - k] for this k alone.
        if (k > 0 && k < half) a[n - k] = std::conj(std::exp(x)) + Complex(0.0, 1.0) * std::conj(std::exp(y));
    }
    for (size_t k = 0; k <= half; ++k) a[k] = packed[k];
    fft.run(a, true);
    const int32_t taper = std::max(1, taps / 4);
    for (int32_t i = 0; i < taps; ++i) {
        double w = inv_n;
        const int32_t into = i - (taps - taper);
        if (into >= 0) w *= 0.5 * (1.0 + std::cos(kPi * (into + 1) / (taper + 1)));
        out_left[i] = static_cast<float>(a[static_cast<size_t>(i)].real() * w);
        out_right[i] = static_cast<float>(a[static_cast<size_t>(i)].imag() * w);
    }
}

// The onset of a response in samples, between samples where it crosses.
double onset(const float *h, int32_t length) {
    double peak = 0.0;
    for (int32_t i = 0; i < length; ++i) peak = std::max(peak, std::fabs(static_cast<double>(h[i])));
    if (peak <= 0.0) return 0.0;
    const double level = kOnsetShare * peak;
    for (int32_t i = 0; i < length; ++i) {
        const double v = std::fabs(static_cast<double>(h[i]));
        if (v >= level) {
            if (i == 0) return 0.0;
            const double before = std::fabs(static_cast<double>(h[i - 1]));
            return (i - 1) + (level - before) / (v - before);
        }
    }
    return 0.0;
}

struct Unit {
    double right, up, front;
};

Unit grid_direction(int32_t elevation, int32_t azimuth) {
    const double e = (elevation * HrtfSet::kElevationStep - 90) * kDegree;
    const double a = azimuth * HrtfSet::kAzimuthStep * kDegree;
    return Unit{std::cos(e) * std::sin(a), std::sin(e), std::cos(e) * std::cos(a)};
}

bool all_finite(const std::vector<float> &v) {
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

}  // namespace

int32_t default_hrtf_taps(int32_t rate) {
    const int32_t steps = (std::max(rate, 1) + 47999) / 48000;
    return std::min(kHrtfMaxTaps, 32 * steps);
}

HrtfSet::HrtfSet(int32_t rate, int32_t taps, std::string source)
    : rate_(rate), taps_(taps), source_(std::move(source)),
      coefficients_(static_cast<size_t>(kElevations) * kAzimuths * 2 * static_cast<size_t>(taps), 0.0f),
      delays_(static_cast<size_t>(kElevations) * kAzimuths * 2, 0.0f) {}

float *HrtfSet::grid_coefficients(int32_t elevation, int32_t azimuth, int32_t ear) {
    return coefficients_.data() + ((static_cast<size_t>(elevation) * kAzimuths + azimuth) * 2 + ear) * taps_;
}
const float *HrtfSet::grid_coefficients(int32_t elevation, int32_t azimuth, int32_t ear) const {
    return coefficients_.data() + ((static_cast<size_t>(elevation) * kAzimuths + azimuth) * 2 + ear) * taps_;
}
float *HrtfSet::grid_delay(int32_t elevation, int32_t azimuth, int32_t ear) {
    return delays_.data() + (static_cast<size_t>(elevation) * kAzimuths + azimuth) * 2 + ear;
}
float HrtfSet::grid_delay_at(int32_t elevation, int32_t azimuth, int32_t ear) const {
    return delays_[(static_cast<size_t>(elevation) * kAzimuths + azimuth) * 2 + ear];
}

void HrtfSet::lookup(const HrtfDirection &d, HrtfFilter *out) const {
    double r = d.right, u = d.up, f = d.front;
    const double len = std::sqrt(r * r + u * u + f * f);
    if (!(len > 0.0) || !std::isfinite(len)) {
        r = u = 0.0;
        f = 1.0;
    } else {
        r /= len;
        u /= len;
        f /= len;
    }
    const double elevation = std::asin(std::clamp(u, -1.0, 1.0)) / kDegree;
    double azimuth = std::atan2(r, f) / kDegree;
    if (azimuth < 0.0) azimuth += 360.0;

    const double fe = std::clamp((elevation + 90.0) / kElevationStep, 0.0, kElevations - 1.0);
    const auto e0 = std::min(static_cast<int32_t>(fe), kElevations - 1);
    const int32_t e1 = std::min(e0 + 1, kElevations - 1);
    const double we = fe - e0;
    const double fa = azimuth / kAzimuthStep;
    const auto a_floor = static_cast<int32_t>(fa);
    const double wa = std::clamp(fa - a_floor, 0.0, 1.0);
    const int32_t a0 = a_floor % kAzimuths, a1 = (a0 + 1) % kAzimuths;

    const int32_t corner_e[4] = {e0, e0, e1, e1};
    const int32_t corner_a[4] = {a0, a1, a0, a1};
    const float weight[4] = {static_cast<float>((1.0 - we) * (1.0 - wa)), static_cast<float>((1.0 - we) * wa),
                             static_cast<float>(we * (1.0 - wa)), static_cast<float>(we * wa)};
    out->taps = taps_;
    for (int32_t ear = 0; ear < 2; ++ear) {
        float *c = out->coefficients[ear];
        std::fill(c, c + kHrtfMaxTaps, 0.0f);
        double delay = 0.0;
        for (int k = 0; k < 4; ++k) {
            const float *h = grid_coefficients(corner_e[k], corner_a[k], ear);
            for (int32_t t = 0; t < taps_; ++t) c[t] += weight[k] * h[t];
            delay += weight[k] * grid_delay_at(corner_e[k], corner_a[k], ear);
        }
        out->delay[ear] = std::clamp(static_cast<int32_t>(delay + 0.5), 0, kHrtfMaxDelay);
    }
}

std::unique_ptr<HrtfSet> build_hrtf_set(const HrtfMeasurements &m, int32_t taps, const std::string &source,
                                        std::string *reason) {
    auto refuse = [&](const char *why) {
        if (reason != nullptr) *reason = why;
        return std::unique_ptr<HrtfSet>();
    };
    if (m.rate < kHrtfMinRate || m.rate > kHrtfMaxRate) return refuse("the sample rate is outside 8000..192000 Hz");
    if (m.count < 1) return refuse("it holds no measurement");
    if (m.length < 1) return refuse("its responses have no samples");
    const auto count = static_cast<size_t>(m.count), length = static_cast<size_t>(m.length);
    if (m.directions.size() != count * 3 || m.responses.size() != count * 2 * length ||
        m.extra_delays.size() != count * 2)
        return refuse("its arrays do not match its dimensions");
    if (!all_finite(m.directions) || !all_finite(m.responses) || !all_finite(m.extra_delays))
        return refuse("it holds values that are not finite numbers");
    if (taps == 0) taps = default_hrtf_taps(m.rate);
    if (taps < 1 || taps > kHrtfMaxTaps) return refuse("the number of taps is outside 1..128");

    try {
        std::vector<Unit> units(count);
        for (size_t i = 0; i < count; ++i) {
            const double r = m.directions[3 * i], u = m.directions[3 * i + 1], f = m.directions[3 * i + 2];
            const double len = std::sqrt(r * r + u * u + f * f);
            if (!(len > 0.0) || !std::isfinite(len)) return refuse("a measurement has no direction");
            units[i] = Unit{r / len, u / len, f / len};
        }
        std::vector<float> shortened(count * 2 * static_cast<size_t>(taps));
        std::vector<double> delays(count * 2);
        double earliest = 1.0e300;
        const size_t n = transform_size(m.length, taps);
        const Fft fft(n);
        std::vector<Complex> work(n);
        for (size_t i = 0; i < count; ++i) {
            const float *left = m.responses.data() + 2 * i * length, *right = left + length;
            float *out = shortened.data() + 2 * i * static_cast<size_t>(taps);
            minimum_phase_pair(fft, work, left, right, m.length, taps, out, out + taps);
            for (size_t ear = 0; ear < 2; ++ear) {
                delays[2 * i + ear] = onset(ear == 0 ? left : right, m.length) + m.extra_delays[2 * i + ear];
                earliest = std::min(earliest, delays[2 * i + ear]);
            }
        }
        for (double &d : delays) d = std::clamp(d - earliest, 0.0, static_cast<double>(kHrtfMaxDelay));

        auto set = std::make_unique<HrtfSet>(m.rate, taps, source);
        for (int32_t e = 0; e < HrtfSet::kElevations; ++e) {
            for (int32_t a = 0; a < HrtfSet::kAzimuths; ++a) {
                const Unit g = grid_direction(e, a);
                size_t nearest[kNeighbours];
                double closeness[kNeighbours];
                int found = 0;
                for (size_t i = 0; i < count; ++i) {
                    const double c = g.right * units[i].right + g.up * units[i].up + g.front * units[i].front;
                    int at;
                    if (found < kNeighbours)
                        at = found++;
                    else if (c > closeness[kNeighbours - 1])
                        at = kNeighbours - 1;
                    else
                        continue;
                    while (at > 0 && closeness[at - 1] < c) {
                        closeness[at] = closeness[at - 1];
                        nearest[at] = nearest[at - 1];
                        --at;
                    }
                    closeness[at] = c;
                    nearest[at] = i;
                }
                double weight[kNeighbours] = {};
                double total = 0.0;
                for (int k = 0; k < found; ++k) {
                    const double angle = std::acos(std::clamp(closeness[k], -1.0, 1.0));
                    if (angle < 1.0e-4) {
                        // On a measurement: that one alone.
                        std::fill(weight, weight + kNeighbours, 0.0);
                        weight[k] = total = 1.0;
                        break;
                    }
                    weight[k] = 1.0 / (angle * angle);
                    total += weight[k];
                }
                for (int32_t ear = 0; ear < 2; ++ear) {
                    float *c = set->grid_coefficients(e, a, ear);
                    double delay = 0.0;
                    for (int k = 0; k < found; ++k) {
                        if (weight[k] == 0.0) continue;
                        const auto w = static_cast<float>(weight[k] / total);
                        const float *h = shortened.data() + (nearest[k] * 2 + static_cast<size_t>(ear)) * taps;
                        for (int32_t t = 0; t < taps; ++t) c[t] += w * h[t];
                        delay += weight[k] / total * delays[nearest[k] * 2 + static_cast<size_t>(ear)];
                    }
                    *set->grid_delay(e, a, ear) = static_cast<float>(delay);
                }
            }
        }
        return set;
    } catch (const std::bad_alloc &) {
        return refuse("there is not enough memory for its responses");
    }
}

}  // namespace zyn
