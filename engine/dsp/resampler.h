// Interpolated playback: a sound read at a fractional position, by linear,
// cubic (4-point Hermite) or band-limited windowed-sinc (16-tap) interpolation,
// in fixed point. The nearest-frame mode is the playback kernels' own.
//
// The taps read across a region's edge the way the sound continues: ahead of
// the direction of travel into the next pass (silence after the last one),
// behind it into the other end of the region, as a previous pass left it.
#pragma once

#include <cstdint>

namespace zyn {

enum ResamplerMode : int32_t {
    kResampleNearest = 0,
    kResampleLinear = 1,
    kResampleCubic = 2,
    kResampleSinc = 3,
};

inline bool resampler_mode_valid(int32_t mode) { return mode >= kResampleNearest && mode <= kResampleSinc; }

// Builds the tables the mode needs, once per process (tens of milliseconds
// for the sinc tables): called on the application thread before a sound can
// use the mode, so that the output thread only reads them. False when there
// is no memory.
bool prepare_resampler(int32_t mode);

// Whether the mode can run now (nearest and linear always; the others once
// prepared). Any thread.
bool resampler_ready(int32_t mode);

// The region a sound plays, as the interpolator sees it.
struct InterpolatedRegion {
    const int16_t *first;  // the region's first frame
    int64_t frames;        // its length in frames, at least 1
    int32_t channels;      // 1 or 2
    bool forward;          // direction of travel
    bool wrap_ahead;       // another pass follows this one
};

// Writes count frames into dst, through the given set of inner loops (the
// bound one in the mix, each in tests and benchmarks): frame j from the
// position base +- (fraction + j x step) / 65536 frames of the region
// (fraction below 65536), for the mode (not nearest) at the given speed (the
// sinc's cut-off follows it, so that a faster sound does not alias). The
// mode's tables must be prepared.
struct ResamplerVariants;
void interpolate_frames_with(const ResamplerVariants &v, int32_t mode, float speed, int16_t *dst,
                             const InterpolatedRegion &region, int64_t base, uint32_t fraction,
                             uint32_t step, int32_t count);

}  // namespace zyn
