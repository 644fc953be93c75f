// Binaural rendering: a mono source convolved with the head-related impulse
// responses of its direction, one response per ear, read from a SOFA file
// (AES69) through libmysofa.
//
// Loading (app thread, never in the mix; allocates, reads the file):
//   std::string why;
//   std::unique_ptr<HrtfSet> set = load_hrtf(path_or_default, device_rate, 0, &why);
//   if (!set) return fail("ZYN_SET_HRTF: %s", why.c_str());   // previous set kept
//   publish it under the engine lock; free the old set after unlocking.
// Without libmysofa in the build, hrtf_available() is false and load_hrtf
// refuses with hrtf_unavailable_reason().
//
// The sample rate: libmysofa resamples the file's responses to the device
// rate while loading (its own resampler, on the calling thread), so the
// default set (44.1 kHz) serves a 48 kHz device too. A device rate outside
// 8000..192000 Hz is refused. A set belongs to the rate it was loaded for:
// re-initialising at another rate means loading again.
//
// What a set holds: for a grid of directions every 5 degrees of azimuth and
// 10 degrees of elevation, each ear's response made minimum-phase (by the
// real cepstrum, A. V. Oppenheim and R. W. Schafer, "Discrete-Time Signal
// Processing", chapter on the complex cepstrum) and truncated to `taps`
// (default 32 up to 48 kHz, in proportion above), plus that ear's delay in
// samples: the onset of the measured response (where it first reaches a
// tenth of its peak), less the earliest onset of the set. The interaural
// time difference thus lives in the delays and the spectra in short
// filters, as binaural renderers commonly keep them. The grid is filled
// from the nearest measurements (inverse-distance weights of the three
// nearest by angle), and a direction between grid points gets the bilinear
// blend of its four neighbours (taps and delays).
//
// What the truncation costs, measured on the default set at 44.1 kHz for a
// source 90 degrees to the right: the interaural level difference at 2, 4,
// 6 and 8 kHz is 7.6, 7.1, 16.0 and 19.6 dB with 32 taps against 6.9, 6.5,
// 16.4 and 20.2 dB with 128 (the file's own responses: 6.6, 6.9, 16.5,
// 19.7); below 1 kHz 32 taps are a few dB off, where the delays, which keep
// the time difference whole (28 samples, 0.63 ms, at any length), carry the
// direction. The convolution's cost is in proportion to the taps.
//
// Rendering (mix thread, per positional source per block):
//   render_hrtf(*set, voice, direction, mono, frames, stereo_accumulator);
// adds the source's two ear signals into the float stereo block. The voice
// (HrtfVoice, one per source, allocated on the app thread with the source)
// keeps the input history and the response it used last; a new direction
// is cross-faded from the old response (and delays) to the new over the
// first 5 ms of the block (hrtf_fade_frames; the whole block when it is
// shorter): both filters run there, the weight moving linearly to the new
// one, so a moving source never clicks, and the rest of the block runs the
// new filter alone. Fading across whole blocks instead would run two
// filters on every frame of a source that moves every block, twice the
// work, for a movement that is heard block by block either way. The inner
// loops have plain, SSE2 and AVX2 forms giving identical results.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zyn {

constexpr int32_t kHrtfMaxTaps = 128;
constexpr int32_t kHrtfMaxDelay = 255;  // samples; larger onsets are clamped
constexpr int32_t kHrtfHistory = 384;   // >= kHrtfMaxDelay + kHrtfMaxTaps - 1
constexpr int32_t kHrtfMinRate = 8000;
constexpr int32_t kHrtfMaxRate = 192000;

// A direction in the listener's frame (a unit vector; any length but 0
// works): to the right, up, ahead.
struct HrtfDirection {
    float right = 0.0f, up = 0.0f, front = 1.0f;
};

// The responses of one direction: taps coefficients per ear (0 left, 1
// right; zero beyond taps), and each ear's delay in samples.
struct HrtfFilter {
    int32_t taps = 0;
    int32_t delay[2] = {0, 0};
    alignas(32) float coefficients[2][kHrtfMaxTaps] = {};
};

// A source's rendering state. Fixed size, so that a source never needs
// reallocating when another set is loaded.
struct HrtfVoice {
    alignas(32) float history[kHrtfHistory] = {};  // the latest input, oldest first
    HrtfFilter filter;                             // the response the last block ended on
    bool primed = false;                           // false: the next block starts on its own response

    // Forgets the history and the response (a source that starts again).
    void reset();
};

// The responses of a SOFA file, prepared for one device rate. Immutable once
// built: the mix reads it while an application thread may load the next.
class HrtfSet {
  public:
    static constexpr int32_t kAzimuthStep = 5;     // degrees
    static constexpr int32_t kElevationStep = 10;  // degrees
    static constexpr int32_t kAzimuths = 360 / kAzimuthStep;
    static constexpr int32_t kElevations = 180 / kElevationStep + 1;  // -90 .. 90

    int32_t rate() const { return rate_; }
    int32_t taps() const { return taps_; }
    const std::string &source() const { return source_; }

    // The blended responses of a direction. No allocation.
    void lookup(const HrtfDirection &direction, HrtfFilter *out) const;

    // Grid storage, for the table builder.
    float *grid_coefficients(int32_t elevation, int32_t azimuth, int32_t ear);
    float *grid_delay(int32_t elevation, int32_t azimuth, int32_t ear);
    const float *grid_coefficients(int32_t elevation, int32_t azimuth, int32_t ear) const;
    float grid_delay_at(int32_t elevation, int32_t azimuth, int32_t ear) const;

    // An empty grid (every response zero); throws std::bad_alloc.
    HrtfSet(int32_t rate, int32_t taps, std::string source);

  private:
    int32_t rate_;
    int32_t taps_;
    std::string source_;
    std::vector<float> coefficients_;  // [elevation][azimuth][ear][taps]
    std::vector<float> delays_;        // [elevation][azimuth][ear]
};

// Measured responses as a SOFA file gives them, in the listener's frame.
struct HrtfMeasurements {
    int32_t rate = 0;
    int32_t count = 0;
    int32_t length = 0;               // samples per response
    std::vector<float> directions;    // count x (right, up, front), any length but 0
    std::vector<float> responses;     // count x 2 ears x length
    std::vector<float> extra_delays;  // count x 2 ears, samples (the file's own delays)
};

// The default number of taps for a rate: 32 up to 48 kHz, in proportion
// above, at most kHrtfMaxTaps.
int32_t default_hrtf_taps(int32_t rate);

// Builds a set from measurements: nullptr and a reason when they describe
// nothing usable (no measurement, a response of zero length, values that
// are not finite, a direction of zero length) or memory runs out. taps 0
// takes default_hrtf_taps; otherwise 1..kHrtfMaxTaps.
std::unique_ptr<HrtfSet> build_hrtf_set(const HrtfMeasurements &measurements, int32_t taps,
                                        const std::string &source, std::string *reason);

// Whether this build reads SOFA files, and why not when it does not.
bool hrtf_available();
const char *hrtf_unavailable_reason();
// The SOFA file "default" names ("" when the build found none).
const char *default_sofa_file();

// Loads a SOFA file ("default": default_sofa_file()) for a device rate, on
// the calling thread. nullptr and a reason for a missing, unreadable,
// truncated or invalid file, a layout other than two receivers and one
// emitter, a rate outside kHrtfMinRate..kHrtfMaxRate, or a build without
// libmysofa. taps as for build_hrtf_set.
std::unique_ptr<HrtfSet> load_hrtf(const char *file, int32_t rate, int32_t taps, std::string *reason);

// Frames over which a change of response is cross-faded: 5 ms, at least 64.
int32_t hrtf_fade_frames(int32_t rate);

// Adds frames of mono input, convolved for direction, into the interleaved
// stereo accumulator (stereo[2i] += left, stereo[2i + 1] += right),
// cross-fading from the voice's previous response. Mix thread: no
// allocation, no library call per sample. mono and stereo never overlap.
void render_hrtf(const HrtfSet &set, HrtfVoice &voice, const HrtfDirection &direction, const float *mono,
                 int32_t frames, float *stereo);

}  // namespace zyn
