// Second-order filters for one sound or one group: low-pass and high-pass
// (12 dB per octave beyond the cutoff) and band-pass (0 dB at the centre).
// Their responses are those of the audio-EQ cookbook (R. Bristow-Johnson,
// "Cookbook formulae for audio EQ biquad filter coefficients": the analogue
// prototypes 1 / (s^2 + s/Q + 1), s^2 / (...) and (s/Q) / (...) through the
// bilinear transform with the cutoff prewarped), realised as the
// trapezoidal state-variable filter of A. Simper ("Linear trapezoidal
// integrated state variable filter", Cytomic, 2013). That structure gives
// the same transfer function as the cookbook's direct form, but it stays
// well behaved while its coefficients move: its two integrator states keep
// their meaning for any cutoff and q, where a direct form's history belongs
// to the coefficients that wrote it, and its low-pass, band-pass and input
// come out side by side, so every type (and the plain copy of NONE) is a
// mix of the same three signals:
//   low-pass   v2        high-pass  x - v1 / q - v2
//   band-pass  v1 / q    none       x
//
// Use:
//   app thread, under the engine lock:
//     BiquadSettings s;
//     if (const char *why = check_biquad(type, cutoff, q, rate, &s)) return fail("...: %s", why);
//     row.filter.set(s, rate);
//   mix thread, on the sound's (or group's) block:
//     if (!row.filter.bypassed()) row.filter.process(block, frames, channels);
// A filter set to NONE is bypassed once its ramp back to a plain copy has
// run (bypassed() says so): skipping the stage then leaves the block
// bit-exactly as it was. A fresh filter is bypassed.
//
// Changes never click: every change moves the prewarped cutoff, 1/q and
// the three mix weights in straight lines to their new values across
// kBiquadRampSeconds (carried over block boundaries); a filter coming out
// of the bypass starts from empty integrators mixed as a plain copy.
//
// Double precision inside, a state per channel. 16-bit output is rounded
// and saturated; a state that is no longer finite is cleared at the end of
// the block, so a run-away can cost one block, never all later ones.
#pragma once

#include <cstdint>

namespace zyn {

enum BiquadType : int32_t {
    kBiquadNone = 0,  // the values of ZYN_FILTER_NONE .. ZYN_FILTER_BANDPASS
    kBiquadLowPass = 1,
    kBiquadHighPass = 2,
    kBiquadBandPass = 3,
};

// The ranges: cutoff (or centre) from 10 Hz to 0.49 x the rate, q from 0.1
// to 20. Values outside are clamped into them; NaN or infinite ones refused.
constexpr float kBiquadMinCutoff = 10.0f;
constexpr float kBiquadMaxCutoffRatio = 0.49f;
constexpr float kBiquadMinQ = 0.1f;
constexpr float kBiquadMaxQ = 20.0f;
// How long a change of settings takes to arrive (5 ms).
constexpr double kBiquadRampSeconds = 0.005;

struct BiquadSettings {
    int32_t type = kBiquadNone;
    float cutoff = 1000.0f;  // Hz, within the range for the rate it was checked for
    float q = 0.70710678f;
};

// Checks a requested filter for a device rate: nullptr when usable (out
// holds it, clamped into range), else the reason (out untouched). Refuses an
// unknown type, a NaN or infinite cutoff or q, and a rate below 40 Hz (no
// range left). A NONE filter's cutoff and q are not looked at.
const char *check_biquad(int32_t type, float cutoff, float q, float rate, BiquadSettings *out);

// What the structure runs on: g = tan(pi x cutoff / rate), k = 1 / q, and
// the weights of the input, band-pass and low-pass in the output.
struct SvfCoefficients {
    double g = 0.0, k = 1.0;
    double input = 1.0, band = 0.0, low = 0.0;
};

// The coefficients of checked settings (NONE: the plain copy).
SvfCoefficients design_biquad(const BiquadSettings &settings, float rate);

class BiquadFilter {
  public:
    // Moves the filter to new settings (checked for this rate). App thread,
    // under the lock the mix takes; never allocates.
    void set(const BiquadSettings &settings, float rate);
    // Forgets the history and any ramp: the filter is at its target at once
    // (for a sound that starts again). App thread, under the lock.
    void reset();

    // Whether the stage is a plain copy that the caller skips.
    bool bypassed() const { return !active_; }
    const BiquadSettings &settings() const { return settings_; }

    // Filters frames of 1 or 2 interleaved channels in place (other channel
    // counts are left alone). Mix thread; no allocation, no library call.
    void process(int16_t *samples, int32_t frames, int32_t channels);
    void process(float *samples, int32_t frames, int32_t channels);

  private:
    template <typename Sample>
    void run(Sample *samples, int32_t frames, int32_t channels);

    BiquadSettings settings_;
    SvfCoefficients current_;  // what the next frame is filtered with
    SvfCoefficients step_;     // added to current_ after each ramp frame
    SvfCoefficients target_;
    int32_t ramp_left_ = 0;    // frames until current_ is target_
    bool active_ = false;
    double state_[2][2] = {};  // per channel: the two integrators' states
};

}  // namespace zyn
