#include "biquad.h"

#include "media/saturate.h"

#include <cmath>

namespace zyn {
namespace {

constexpr double kPi = 3.14159265358979323846;

inline double clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

inline SvfCoefficients difference_over(const SvfCoefficients &to, const SvfCoefficients &from, double frames) {
    SvfCoefficients d;
    d.g = (to.g - from.g) / frames;
    d.k = (to.k - from.k) / frames;
    d.input = (to.input - from.input) / frames;
    d.band = (to.band - from.band) / frames;
    d.low = (to.low - from.low) / frames;
    return d;
}

inline void advance(SvfCoefficients &c, const SvfCoefficients &d) {
    c.g += d.g;
    c.k += d.k;
    c.input += d.input;
    c.band += d.band;
    c.low += d.low;
}

// The structure's gains for one g and k.
struct Gains {
    double a1, a2, a3;
    explicit Gains(const SvfCoefficients &c) {
        a1 = 1.0 / (1.0 + c.g * (c.g + c.k));
        a2 = c.g * a1;
        a3 = c.g * a2;
    }
};

inline void store(int16_t *out, double y) { *out = y != y ? int16_t{0} : round_sample(y); }
inline void store(float *out, double y) { *out = static_cast<float>(y); }

// One frame of every channel.
template <typename Sample, int Channels>
inline void step_frame(Sample *frame, const SvfCoefficients &c, const Gains &a, double (*s)[2]) {
    for (int ch = 0; ch < Channels; ++ch) {
        const double x = static_cast<double>(frame[ch]);
        const double v3 = x - s[ch][1];
        const double v1 = a.a1 * s[ch][0] + a.a2 * v3;
        const double v2 = s[ch][1] + a.a2 * s[ch][0] + a.a3 * v3;
        s[ch][0] = 2.0 * v1 - s[ch][0];
        s[ch][1] = 2.0 * v2 - s[ch][1];
        store(frame + ch, c.input * x + c.band * v1 + c.low * v2);
    }
}

template <typename Sample, int Channels>
void steady(Sample *samples, int32_t frames, const SvfCoefficients &c, double (*s)[2]) {
    const Gains a(c);
    for (int32_t f = 0; f < frames; ++f) step_frame<Sample, Channels>(samples + f * Channels, c, a, s);
}

}  // namespace

const char *check_biquad(int32_t type, float cutoff, float q, float rate, BiquadSettings *out) {
    if (type < kBiquadNone || type > kBiquadBandPass)
        return "the filter type is none of NONE, LOWPASS, HIGHPASS, BANDPASS";
    if (!(std::isfinite(rate) && rate >= 4.0f * kBiquadMinCutoff)) return "the device rate leaves no cutoff range";
    BiquadSettings s;
    s.type = type;
    if (type != kBiquadNone) {
        if (!std::isfinite(cutoff)) return "the cutoff is not a finite number";
        if (!std::isfinite(q)) return "q is not a finite number";
        s.cutoff = static_cast<float>(clamp(cutoff, kBiquadMinCutoff, kBiquadMaxCutoffRatio * rate));
        s.q = static_cast<float>(clamp(q, kBiquadMinQ, kBiquadMaxQ));
    }
    *out = s;
    return nullptr;
}

SvfCoefficients design_biquad(const BiquadSettings &s, float rate) {
    SvfCoefficients c;
    c.g = std::tan(kPi * static_cast<double>(s.cutoff) / static_cast<double>(rate));
    c.k = 1.0 / static_cast<double>(s.q);
    switch (s.type) {
        case kBiquadLowPass:
            c.input = 0.0;
            c.low = 1.0;
            break;
        case kBiquadHighPass:
            c.input = 1.0;
            c.band = -c.k;
            c.low = -1.0;
            break;
        case kBiquadBandPass:
            c.input = 0.0;
            c.band = c.k;
            break;
        default:
            break;
    }
    return c;
}

void BiquadFilter::set(const BiquadSettings &settings, float rate) {
    SvfCoefficients target = design_biquad(settings, rate);
    if (!active_) {
        // Out of the bypass: empty integrators at the new cutoff and q,
        // mixed as a plain copy to begin with.
        current_ = target;
        current_.input = 1.0;
        current_.band = current_.low = 0.0;
        for (auto &s : state_) s[0] = s[1] = 0.0;
    }
    if (settings.type == kBiquadNone) {
        // Only the mix moves back to the plain copy.
        target.g = current_.g;
        target.k = current_.k;
    }
    settings_ = settings;
    target_ = target;
    const double frames = kBiquadRampSeconds * static_cast<double>(rate);
    ramp_left_ = frames < 1.0 ? 1 : static_cast<int32_t>(frames);
    step_ = difference_over(target_, current_, ramp_left_);
    active_ = true;
}

void BiquadFilter::reset() {
    current_ = target_;
    ramp_left_ = 0;
    active_ = settings_.type != kBiquadNone;
    for (auto &s : state_) s[0] = s[1] = 0.0;
}

template <typename Sample>
void BiquadFilter::run(Sample *samples, int32_t frames, int32_t channels) {
    if (!active_ || samples == nullptr || frames <= 0 || (channels != 1 && channels != 2)) return;
    int32_t f = 0;
    for (; f < frames && ramp_left_ > 0; ++f) {
        const Gains a(current_);
        if (channels == 2)
            step_frame<Sample, 2>(samples + 2 * f, current_, a, state_);
        else
            step_frame<Sample, 1>(samples + f, current_, a, state_);
        if (--ramp_left_ == 0) {
            current_ = target_;
            if (settings_.type == kBiquadNone) {
                // A plain copy from here on: the rest of the block stays as it is.
                active_ = false;
                f = frames;
                break;
            }
        } else {
            advance(current_, step_);
        }
    }
    if (f < frames) {
        if (channels == 2)
            steady<Sample, 2>(samples + 2 * f, frames - f, current_, state_);
        else
            steady<Sample, 1>(samples + f, frames - f, current_, state_);
    }
    for (auto &s : state_)
        if (!(std::isfinite(s[0]) && std::isfinite(s[1]))) s[0] = s[1] = 0.0;
}

void BiquadFilter::process(int16_t *samples, int32_t frames, int32_t channels) { run(samples, frames, channels); }

void BiquadFilter::process(float *samples, int32_t frames, int32_t channels) { run(samples, frames, channels); }

}  // namespace zyn
