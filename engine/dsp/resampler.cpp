// Interpolated playback: the coefficient tables, the plain inner loops, the
// edges of a region, and the binding of the vector loops.
//
// Cubic: the 4-point, 3rd-order Hermite (Catmull-Rom) interpolator, as
// surveyed by Niemitalo ("Polynomial interpolators for high-quality
// resampling of oversampled audio", 2001). Sinc: a 16-tap windowed sinc with
// a Kaiser window (beta 8, J. F. Kaiser, "Nonrecursive digital filter design
// using the I0-sinh window function", 1974). Both are tabulated for 2049
// phases in Q14; the sinc's cut-off is lowered to 1/speed for speeds above
// 1 in seven bands up to 4, so that a sound played faster does not fold its
// upper octave down (beyond a speed of 4 it aliases as the other modes do).
// Every row sums to exactly 1.0 in Q14, so a constant passes unchanged.
// Measured on a 5 kHz tone at speed 1.37: cubic leaves everything else
// 46 dB down, sinc 76 dB.
#include "resampler.h"

#include "kernels.h"
#include "variant_family.h"
#include "resampler_position.h"
#include "resampler_variants.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace zyn {
namespace {

constexpr int kRows = kResamplerPhases + 1;
constexpr int kCubicTaps = 4;
constexpr int kCubicBefore = 1;
constexpr int kSincTaps = 16;
constexpr int kSincBefore = 7;
constexpr double kKaiserBeta = 8.0;
// Upper speed of each sinc band; the first band holds every speed up to 1.
constexpr float kSincBands[] = {1.0f, 1.25f, 1.5f, 2.0f, 2.5f, 3.0f, 4.0f};
constexpr int kSincBandCount = sizeof(kSincBands) / sizeof(kSincBands[0]);

struct Tables {
    std::mutex building;
    int16_t *cubic = nullptr;  // kRows x 4, never freed: the output thread may read it to the end
    int16_t *sinc = nullptr;   // bands x kRows x 16
    std::atomic<bool> cubic_ready{false};
    std::atomic<bool> sinc_ready{false};
};

// Made before any code runs (a callback asking whether a mode is ready must
// not be the one that allocates it), and trivially destroyed.
constinit Tables g_tables;

Tables &tables() { return g_tables; }

// The zeroth-order modified Bessel function of the first kind, by its series.
double bessel_i0(double x) {
    double sum = 1.0, term = 1.0;
    const double quarter = x * x / 4.0;
    for (int k = 1; k < 64 && term > sum * 1e-17; ++k) {
        term *= quarter / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

// Scales a row to sum 1, rounds it to Q14 and puts the rounding remainder on
// its largest tap, so that the row sums to exactly 16384.
void quantise_row(const double *h, int taps, int16_t *out) {
    double sum = 0.0;
    for (int m = 0; m < taps; ++m) sum += h[m];
    int32_t total = 0, largest = 0;
    for (int m = 0; m < taps; ++m) {
        out[m] = static_cast<int16_t>(std::lround(h[m] / sum * 16384.0));
        total += out[m];
        if (std::abs(out[m]) > std::abs(out[largest])) largest = m;
    }
    out[largest] = static_cast<int16_t>(out[largest] + 16384 - total);
}

void fill_cubic(int16_t *table) {
    for (int p = 0; p < kRows; ++p) {
        const double t = static_cast<double>(p) / kResamplerPhases;
        const double h[kCubicTaps] = {(-t * t * t + 2.0 * t * t - t) / 2.0,
                                      (3.0 * t * t * t - 5.0 * t * t + 2.0) / 2.0,
                                      (-3.0 * t * t * t + 4.0 * t * t + t) / 2.0,
                                      (t * t * t - t * t) / 2.0};
        quantise_row(h, kCubicTaps, table + p * kCubicTaps);
    }
}

// cutoff: the pass band's edge as a fraction of the source's Nyquist frequency.
void fill_sinc(int16_t *table, double cutoff) {
    const double norm = bessel_i0(kKaiserBeta);
    constexpr double kPi = 3.14159265358979323846;
    for (int p = 0; p < kRows; ++p) {
        const double t = static_cast<double>(p) / kResamplerPhases;
        double h[kSincTaps];
        for (int m = 0; m < kSincTaps; ++m) {
            const double u = static_cast<double>(m - kSincBefore) - t;  // tap's distance
            const double v = u / (kSincTaps / 2);
            const double window = std::fabs(v) <= 1.0 ? bessel_i0(kKaiserBeta * std::sqrt(1.0 - v * v)) / norm : 0.0;
            const double x = kPi * cutoff * u;
            h[m] = cutoff * (x == 0.0 ? 1.0 : std::sin(x) / x) * window;
        }
        quantise_row(h, kSincTaps, table + p * kSincTaps);
    }
}

int sinc_band(float speed) {
    const float s = std::fabs(speed);
    for (int b = 0; b < kSincBandCount; ++b)
        if (s <= kSincBands[b]) return b;
    return kSincBandCount - 1;
}

ResamplerTable table_for(int32_t mode, float speed) {
    const Tables &t = tables();
    if (mode == kResampleCubic) return {t.cubic, kCubicTaps, kCubicBefore};
    return {t.sinc + static_cast<ptrdiff_t>(sinc_band(speed)) * kRows * kSincTaps, kSincTaps,
            kSincBefore};
}

inline int16_t round_q14(int32_t acc) {
    const int32_t v = (acc + 8192) >> 14;
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}



// The smallest j with fraction + j x step >= target (count when there is none).
int64_t first_reaching(int64_t target, uint32_t fraction, uint32_t step, int64_t count) {
    if (target <= static_cast<int64_t>(fraction)) return 0;
    if (step == 0) return count;
    const int64_t j = (target - static_cast<int64_t>(fraction) + step - 1) / step;
    return j < count ? j : count;
}

// One output frame by the slow path: every tap mapped into the region the
// way the sound continues.
void edge_frame(int32_t mode, const ResamplerTable &table, int16_t *dst,
                const InterpolatedRegion &r, int64_t base, uint64_t d) {
    int64_t k = 0;
    uint32_t t = 0;
    locate(d, r.forward, &k, &t);
    k += base;
    const int32_t taps = mode == kResampleLinear ? 2 : table.taps;
    const int32_t before = mode == kResampleLinear ? 0 : table.before;
    const int16_t *row = mode == kResampleLinear ? nullptr : table.coefficients + phase_of(t) * taps;
    int32_t acc[2] = {0, 0};
    for (int32_t m = 0; m < taps; ++m) {
        int64_t i = k - before + m;
        const bool beyond_end = i >= r.frames, before_start = i < 0;
        if (beyond_end || before_start) {
            // Past the edge the region is travelling towards: the next pass,
            // or silence after the last; past the other edge: a pass before.
            const bool ahead = r.forward ? beyond_end : before_start;
            if (ahead && !r.wrap_ahead) continue;
            i %= r.frames;
            if (i < 0) i += r.frames;
        }
        const int32_t weight = mode == kResampleLinear
                                   ? (m == 0 ? 16384 - static_cast<int32_t>(t >> 2) : static_cast<int32_t>(t >> 2))
                                   : row[m];
        for (int32_t c = 0; c < r.channels; ++c) acc[c] += weight * r.first[i * r.channels + c];
    }
    for (int32_t c = 0; c < r.channels; ++c) dst[c] = round_q14(acc[c]);
}

void mono_plain(int32_t mode, const ResamplerTable &table, int16_t *dst, const int16_t *origin,
                uint32_t fraction, uint32_t step, bool forward, int32_t frames) {
    uint64_t d = fraction;
    for (int32_t j = 0; j < frames; ++j, d += step) {
        int64_t k = 0;
        uint32_t t = 0;
        locate(d, forward, &k, &t);
        if (mode == kResampleLinear) {
            const int32_t t14 = static_cast<int32_t>(t >> 2);
            dst[j] = round_q14(origin[k] * (16384 - t14) + origin[k + 1] * t14);
            continue;
        }
        const int16_t *row = table.coefficients + phase_of(t) * table.taps;
        const int16_t *s = origin + k - table.before;
        int32_t acc = 0;
        for (int32_t m = 0; m < table.taps; ++m) acc += row[m] * s[m];
        dst[j] = round_q14(acc);
    }
}

constexpr ResamplerVariants kPlain{"plain", stereo_linear_plain, stereo_table_plain,
                                   stereo_table_plain};
#if defined(ZYN_X86_KERNELS)
constexpr ResamplerVariants kSse2{"sse2", stereo_linear_sse2, stereo_cubic_sse2, stereo_sinc_sse2};
constexpr ResamplerVariants kAvx2{"avx2", stereo_linear_avx2, stereo_cubic_avx2, stereo_sinc_avx2};
#endif

constexpr VariantFamily<ResamplerVariants> kFamily{&kPlain,
#if defined(ZYN_X86_KERNELS)
                                    &kSse2, &kAvx2
#else
                                    nullptr, nullptr
#endif
};

}  // namespace

void stereo_linear_plain(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                         bool forward, int32_t frames) {
    uint64_t d = fraction;
    for (int32_t j = 0; j < frames; ++j, d += step) {
        int64_t k = 0;
        uint32_t t = 0;
        locate(d, forward, &k, &t);
        const int16_t *s = origin + 2 * k;
        const int32_t t14 = static_cast<int32_t>(t >> 2);
        dst[2 * j] = round_q14(s[0] * (16384 - t14) + s[2] * t14);
        dst[2 * j + 1] = round_q14(s[1] * (16384 - t14) + s[3] * t14);
    }
}

void stereo_table_plain(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames, const ResamplerTable &table) {
    uint64_t d = fraction;
    for (int32_t j = 0; j < frames; ++j, d += step) {
        int64_t k = 0;
        uint32_t t = 0;
        locate(d, forward, &k, &t);
        const int16_t *row = table.coefficients + phase_of(t) * table.taps;
        const int16_t *s = origin + 2 * (k - table.before);
        int32_t left = 0, right = 0;
        for (int32_t m = 0; m < table.taps; ++m) {
            left += row[m] * s[2 * m];
            right += row[m] * s[2 * m + 1];
        }
        dst[2 * j] = round_q14(left);
        dst[2 * j + 1] = round_q14(right);
    }
}

bool prepare_resampler(int32_t mode) {
    Tables &t = tables();
    if (mode == kResampleCubic && !t.cubic_ready.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> hold(t.building);
        if (t.cubic == nullptr) {
            t.cubic = new (std::nothrow) int16_t[kRows * kCubicTaps];
            if (t.cubic == nullptr) return false;
            fill_cubic(t.cubic);
        }
        t.cubic_ready.store(true, std::memory_order_release);
    }
    if (mode == kResampleSinc && !t.sinc_ready.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> hold(t.building);
        if (t.sinc == nullptr) {
            auto *made = new (std::nothrow) int16_t[kSincBandCount * kRows * kSincTaps];
            if (made == nullptr) return false;
            for (int b = 0; b < kSincBandCount; ++b)
                fill_sinc(made + static_cast<ptrdiff_t>(b) * kRows * kSincTaps,
                          b == 0 ? 1.0 : 1.0 / kSincBands[b]);
            t.sinc = made;
        }
        t.sinc_ready.store(true, std::memory_order_release);
    }
    return resampler_mode_valid(mode);
}

bool resampler_ready(int32_t mode) {
    switch (mode) {
        case kResampleNearest:
        case kResampleLinear: return true;
        case kResampleCubic: return tables().cubic_ready.load(std::memory_order_acquire);
        case kResampleSinc: return tables().sinc_ready.load(std::memory_order_acquire);
        default: return false;
    }
}

void interpolate_frames_with(const ResamplerVariants &v, int32_t mode, float speed, int16_t *dst,
                             const InterpolatedRegion &r, int64_t base, uint32_t fraction,
                             uint32_t step, int32_t count) {
    const ResamplerTable table = mode == kResampleLinear ? ResamplerTable{nullptr, 2, 0}
                                                         : table_for(mode, speed);
    const int64_t after = table.taps - table.before - 1;
    // The frames whose taps all lie inside the region, j0 <= j < j1: the
    // position moves one way, so they are one run.
    int64_t j0 = 0, j1 = 0;
    if (r.forward) {
        j0 = first_reaching((table.before - base) * 65536, fraction, step, count);
        j1 = first_reaching((r.frames - after - base) * 65536, fraction, step, count);
    } else {
        const int64_t upper = base - (r.frames - 1 - after);  // frames to travel first
        j0 = upper > 0 ? first_reaching((upper - 1) * 65536 + 1, fraction, step, count) : 0;
        const int64_t lower = base - table.before;  // frames that may still be travelled
        j1 = lower >= 0 ? first_reaching(lower * 65536 + 1, fraction, step, count) : 0;
    }
    if (j1 < j0) j1 = j0;
    const int32_t channels = r.channels;
    for (int64_t j = 0; j < j0; ++j)
        edge_frame(mode, table, dst + j * channels, r, base, fraction + static_cast<uint64_t>(j) * step);
    if (j1 > j0) {
        const uint64_t d = fraction + static_cast<uint64_t>(j0) * step;
        const auto whole = static_cast<int64_t>(d >> 16);
        const int16_t *origin = r.first + (base + (r.forward ? whole : -whole)) * channels;
        const auto part = static_cast<uint32_t>(d & 0xFFFF);
        const auto n = static_cast<int32_t>(j1 - j0);
        int16_t *out = dst + j0 * channels;
        if (channels == 1)
            mono_plain(mode, table, out, origin, part, step, r.forward, n);
        else if (mode == kResampleLinear)
            v.linear(out, origin, part, step, r.forward, n);
        else if (mode == kResampleCubic)
            v.cubic(out, origin, part, step, r.forward, n, table);
        else
            v.sinc(out, origin, part, step, r.forward, n, table);
    }
    for (int64_t j = j1; j < count; ++j)
        edge_frame(mode, table, dst + j * channels, r, base, fraction + static_cast<uint64_t>(j) * step);
}

const ResamplerVariants &bound_resampler_variants() { return bound_once(kFamily); }

int32_t available_resampler_variants(const ResamplerVariants **sets) { return available_once(kFamily, sets); }

}  // namespace zyn
