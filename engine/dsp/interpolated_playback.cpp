#include "interpolated_playback.h"

#include <cstddef>
#include <cstring>

namespace zyn {
namespace {

// Frames computed straight into the work buffer.
template <int Channels>
struct IntoBuffer {
    int16_t *dst;
    int16_t *space(int32_t) { return dst; }
    void deliver(const int16_t *, int32_t n) { dst += static_cast<ptrdiff_t>(n) * Channels; }
    void silence(int32_t n) {
        std::memset(dst, 0, static_cast<size_t>(n) * Channels * sizeof(int16_t));
        dst += static_cast<ptrdiff_t>(n) * Channels;
    }
};

template <int Channels>
void play_channels(int32_t mode, int16_t *dst, const walk::Region &r, int16_t **pos, int32_t *loops,
                   uint32_t *fraction, float speed, uint64_t step, int32_t frames) {
    IntoBuffer<Channels> out{dst};
    const ResamplerVariants &v = bound_resampler_variants();
    constexpr int F = 2 * Channels;
    if (speed > 0.0f) {
        InterpolatingFrames<Channels, true, IntoBuffer<Channels>> sink{mode, speed, r, v, out};
        walk::walk_slice<F, true>(sink, r, pos, loops, step, frames, fraction);
    } else {
        InterpolatingFrames<Channels, false, IntoBuffer<Channels>> sink{mode, speed, r, v, out};
        walk::walk_slice<F, false>(sink, r, pos, loops, step, frames, fraction);
    }
}

}  // namespace

bool play_interpolated(int32_t mode, int32_t channels, int16_t *dst, const int16_t *start,
                       int16_t **pos, const int16_t *end, int32_t *loops, uint32_t *fraction,
                       float speed, int32_t frames) {
    if (dst == nullptr || start == nullptr || pos == nullptr || end == nullptr ||
        loops == nullptr || fraction == nullptr || frames <= 0 || (channels != 1 && channels != 2))
        return false;
    if (!(speed > 0.0f) && !(speed < 0.0f)) return false;
    if (mode == kResampleNearest || !resampler_ready(mode)) return false;
    const uint64_t step = walk::speed_step(speed);
    if (channels == 1) {
        if (walk::step_wraps<2>(step)) return false;
        const walk::Region r = walk::frame_region<2>(start, end);
        if (r.length == 0) {
            std::memset(dst, 0, static_cast<size_t>(frames) * 2);
            return true;
        }
        play_channels<1>(mode, dst, r, pos, loops, fraction, speed, step, frames);
    } else {
        if (walk::step_wraps<4>(step)) return false;
        const walk::Region r = walk::frame_region<4>(start, end);
        if (r.length == 0) {
            std::memset(dst, 0, static_cast<size_t>(frames) * 4);
            return true;
        }
        play_channels<2>(mode, dst, r, pos, loops, fraction, speed, step, frames);
    }
    return true;
}

bool advance_interpolated(const int16_t *start, int16_t **pos, const int16_t *end,
                          int32_t *loops, uint32_t *fraction, float speed, int32_t frames,
                          int32_t channels) {
    if (start == nullptr || pos == nullptr || end == nullptr || loops == nullptr ||
        fraction == nullptr || frames <= 0 || (channels != 1 && channels != 2))
        return false;
    if (!(speed > 0.0f) && !(speed < 0.0f)) return false;
    const uint64_t step = walk::speed_step(speed);
    walk::SkipFrames sink;
    if (channels == 1) {
        const walk::Region r = walk::frame_region<2>(start, end);
        if (walk::step_wraps<2>(step)) return false;
        if (r.length == 0) return true;
        if (speed > 0.0f)
            walk::walk_slice<2, true>(sink, r, pos, loops, step, frames, fraction);
        else
            walk::walk_slice<2, false>(sink, r, pos, loops, step, frames, fraction);
    } else {
        const walk::Region r = walk::frame_region<4>(start, end);
        if (walk::step_wraps<4>(step)) return false;
        if (r.length == 0) return true;
        if (speed > 0.0f)
            walk::walk_slice<4, true>(sink, r, pos, loops, step, frames, fraction);
        else
            walk::walk_slice<4, false>(sink, r, pos, loops, step, frames, fraction);
    }
    return true;
}

}  // namespace zyn
