// Playback with interpolation: the region walker (region_walker.h) with a
// sink that computes each piece of a pass by the resampler (resampler.h), in
// chunks, and hands the frames on: into a work buffer (play_interpolated),
// or to the fused voice loops (voice_render.cpp).
#pragma once

#include "region_walker.h"
#include "resampler.h"
#include "resampler_variants.h"

#include <cstdint>

namespace zyn {

constexpr int32_t kInterpolationChunk = 256;  // frames computed at a time

// Out provides space(n) (where n <= kInterpolationChunk frames may be
// written), deliver(frames, n) and silence(n).
template <int Channels, bool kForward, typename Out>
struct InterpolatingFrames {
    int32_t mode;
    float speed;
    walk::Region region;
    const ResamplerVariants &variants;
    Out &out;

    void gather(const int16_t *origin, uint32_t fraction, uint32_t step, int32_t n, bool last_pass) {
        const auto *first = reinterpret_cast<const int16_t *>(region.first);
        const InterpolatedRegion r{first, region.length / (2 * Channels), Channels, kForward,
                                   !last_pass};
        const int64_t base = (origin - first) / Channels;
        uint64_t d = fraction;
        for (int32_t done = 0; done < n;) {
            const int32_t count = n - done < kInterpolationChunk ? n - done : kInterpolationChunk;
            int16_t *space = out.space(count);
            const auto whole = static_cast<int64_t>(d >> 16);
            interpolate_frames_with(variants, mode, speed, space, r, kForward ? base + whole : base - whole,
                                    static_cast<uint32_t>(d & 0xFFFF), step, count);
            out.deliver(space, count);
            d += static_cast<uint64_t>(count) * step;
            done += count;
        }
    }
    void silence(int32_t n) { out.silence(n); }
};

// COPYSLICERIGHT / COPYSLICELEFT (by the speed's sign) with interpolation:
// frames frames of channels channels into dst, advancing *pos and *loops as
// those kernels do, and keeping the part of a frame they drop in *fraction
// (see walk::walk_slice). False, touching nothing, for what they would not
// render (a missing argument, a speed of 0 or NaN, frames <= 0, a step that
// wraps) or a mode without prepared tables: the caller plays nearest.
bool play_interpolated(int32_t mode, int32_t channels, int16_t *dst, const int16_t *start,
                       int16_t **pos, const int16_t *end, int32_t *loops, uint32_t *fraction,
                       float speed, int32_t frames);

// MOVESLICERIGHT / MOVESLICELEFT keeping the fraction as play_interpolated
// does: a muted sound read between frames keeps its time exactly.
bool advance_interpolated(const int16_t *start, int16_t **pos, const int16_t *end,
                          int32_t *loops, uint32_t *fraction, float speed, int32_t frames,
                          int32_t channels);

}  // namespace zyn
