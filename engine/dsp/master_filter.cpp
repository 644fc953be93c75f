// The master filter bands: peaking equalisers after the audio-EQ cookbook
// (R. Bristow-Johnson), bandwidth in octaves, with A = 10^(gain / 20) so that
// the centre is lifted or cut by twice the stated gain. The design is held in
// single precision; each output sample is summed in double precision and
// saturated to 16 bits.
//
// The mixer runs the bands under the engine lock, and the setters change a
// band only under it, so a block is never filtered with a half-written band.
#include "master_stage.h"

#include "last_error.h"
#include "zyn.h"

#include <cmath>

namespace zyn {
namespace {

inline int16_t round_saturated(double y) {
    if (y != y) return 0;  // a band designed from a zero rate or centre
    if (y >= 32767.0) return 32767;
    if (y <= -32768.0) return -32768;
    // Adding and removing 1.5 x 2^52 rounds to the nearest integer, ties to
    // even, without a library call per sample.
    constexpr double kRound = 6755399441055744.0;
    const double shifted = y + kRound;
    return static_cast<int16_t>(static_cast<int32_t>(shifted - kRound));
}

// One channel of n samples spaced stride apart, carrying history across blocks.
void run_band(int16_t *dst, const int16_t *src, const MasterFilter &band, float *history,
              int32_t n, int32_t stride) {
    const double ff0 = band.ff0, ff1 = band.ff1, ff2 = band.ff2;
    const double fb1 = band.fb1, fb2 = band.fb2;
    float x1 = history[0], x2 = history[1], y1 = history[2], y2 = history[3];
    for (int32_t i = 0; i < n; ++i) {
        const float x0 = static_cast<float>(src[i * stride]);
        const double y = fb2 * y2 + fb1 * y1 + ff2 * x2 + ff1 * x1 + ff0 * x0;
        y2 = y1;
        x2 = x1;
        x1 = x0;
        y1 = static_cast<float>(y);
        dst[i * stride] = round_saturated(y);
    }
    // A band on the edge of stability can still run away in single
    // precision; an infinite or NaN output would otherwise live on in the
    // history and silence every later block.
    if (!std::isfinite(y1) || !std::isfinite(y2)) x1 = x2 = y1 = y2 = 0.0f;
    history[0] = x1;
    history[1] = x2;
    history[2] = y1;
    history[3] = y2;
}

bool band_index_ok(int32_t index) {
    if (index >= 0 && index < kMasterFilterCount) return true;
    return fail("band %d is outside 0..%d", index, kMasterFilterCount - 1);
}

// The parameters describe a band: a centre strictly between 0 Hz and half
// the rate, a positive bandwidth and a finite gain.
bool band_parameters_usable(float centre, float gain, float bandwidth, float rate) {
    if (!(std::isfinite(centre) && centre > 0.0f && centre < 0.5f * rate))
        return fail("ZYN_SET_MASTERFILTER: a centre of %g Hz is not between 0 and %g Hz",
                    static_cast<double>(centre), 0.5 * static_cast<double>(rate));
    if (!(std::isfinite(bandwidth) && bandwidth > 0.0f))
        return fail("ZYN_SET_MASTERFILTER: a bandwidth of %g octaves is not above 0",
                    static_cast<double>(bandwidth));
    if (!std::isfinite(gain))
        return fail("ZYN_SET_MASTERFILTER: a gain of %g dB is not finite", static_cast<double>(gain));
    return true;
}

// Finite coefficients whose poles lie inside the unit circle (the stability
// triangle of a second-order recursion y = fb1 y1 + fb2 y2 + ...). Extreme
// but finite parameters can overflow the design or round a pole onto the
// circle.
bool band_design_usable(const MasterFilter &band) {
    const float c[5] = {band.ff0, band.ff1, band.ff2, band.fb1, band.fb2};
    for (float v : c)
        if (!std::isfinite(v)) return false;
    const double a1 = -static_cast<double>(band.fb1);
    const double a2 = -static_cast<double>(band.fb2);
    return std::fabs(a2) < 1.0 && std::fabs(a1) < 1.0 + a2;
}

}  // namespace

void design_peak_filter(MasterFilter &band, float centre, float gain, float bandwidth, float rate) {
    const float w = (centre / rate) * 6.2831855f;
    const float a = ZYN_DB_2_VOLUME(gain);
    const float sn = std::sin(w);
    const float x = (w / sn) * bandwidth * 0.34657359f;
    const float alpha = 0.5f * (std::exp(x) - std::exp(-x)) * sn;
    const float alpha_a = a * alpha;
    const float alpha_over_a = alpha / a;
    const float inv = 1.0f / (1.0f + alpha_over_a);
    band.ff0 = (1.0f + alpha_a) * inv;
    band.ff1 = std::cos(w) * inv * -2.0f;
    band.ff2 = (1.0f - alpha_a) * inv;
    band.fb1 = -band.ff1;
    band.fb2 = (-1.0f + alpha_over_a) * inv;
    band.centre = centre;
    band.gain = gain;
    band.bandwidth = bandwidth;
    band.rate = rate;
    band.linear_gain = a;
    for (int i = 0; i < 4; ++i) band.history1[i] = band.history2[i] = 0.0f;
}

void filter_mono(int16_t *dst, const int16_t *src, MasterFilter *band, int32_t bytes) {
    if (dst == nullptr || src == nullptr || band == nullptr || bytes < 2) return;
    run_band(dst, src, *band, band->history1, bytes / 2, 1);
}

void filter_stereo(int16_t *dst, const int16_t *src, MasterFilter *band, int32_t bytes) {
    if (dst == nullptr || src == nullptr || band == nullptr || bytes < 4) return;
    const int32_t frames = bytes / 4;
    run_band(dst, src, *band, band->history1, frames, 2);
    run_band(dst + 1, src + 1, *band, band->history2, frames, 2);
}

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_SET_MASTERFILTER(int32_t index, float centre, float gain, float bandwidth,
                             int32_t enabled) {
    if (!band_index_ok(index)) return 0;
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const PlugoutRecord *device = open_plugout();
    if (e.initialized.load() != 1 || device == nullptr) return fail_not_initialised();
    const auto rate = static_cast<float>(device->rate);
    if (!band_parameters_usable(centre, gain, bandwidth, rate)) return 0;
    MasterFilter band;
    design_peak_filter(band, centre, gain, bandwidth, rate);
    if (!band_design_usable(band))
        return fail("ZYN_SET_MASTERFILTER: %g Hz, %g dB, %g octaves give no stable band",
                    static_cast<double>(centre), static_cast<double>(gain), static_cast<double>(bandwidth));
    band.enabled = enabled;
    e.master_filters[index] = band;
    return 1;
}

int32_t ZYN_ENABLE_MASTERFILTER(int32_t index) {
    if (!band_index_ok(index)) return 0;
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.initialized.load() != 1) return fail_not_initialised();
    e.master_filters[index].enabled = 1;
    return 1;
}

int32_t ZYN_DISABLE_MASTERFILTER(int32_t index) {
    if (!band_index_ok(index)) return 0;
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.initialized.load() != 1) return fail_not_initialised();
    e.master_filters[index].enabled = 0;
    return 1;
}

}  // extern "C"
