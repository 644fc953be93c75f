#include "converted_playback.h"

#include "interpolated_playback.h"
#include "region_walker.h"
#include "resampler.h"
#include "resampler_variants.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace zyn {
namespace {

// n frames of WC channels as n frames of DC channels. A stereo frame's mean
// rounds down (an arithmetic shift), so two equal sides pass unchanged and
// nothing can clip.
template <int WC, int DC>
inline void convert_frames(int16_t *dst, const int16_t *src, int32_t n) {
    if constexpr (WC == DC) {
        std::memcpy(dst, src, static_cast<size_t>(n) * WC * sizeof(int16_t));
    } else if constexpr (WC == 1) {
        for (int32_t i = 0; i < n; ++i) dst[2 * i] = dst[2 * i + 1] = src[i];
    } else {
        for (int32_t i = 0; i < n; ++i)
            dst[i] = static_cast<int16_t>((src[2 * i] + src[2 * i + 1]) >> 1);
    }
}

template <int DC>
inline int16_t *write_silence(int16_t *dst, int32_t n) {
    std::memset(dst, 0, static_cast<size_t>(n) * DC * sizeof(int16_t));
    return dst + static_cast<ptrdiff_t>(n) * DC;
}

// The frame the position is in, in the device's layout.
template <int WC, int DC, bool kForward>
struct NearestFrames {
    int16_t *dst;

    void run(const int16_t *src, int32_t n) {
        convert_frames<WC, DC>(dst, src, n);
        dst += static_cast<ptrdiff_t>(n) * DC;
    }
    void gather(const int16_t *origin, uint32_t fraction, uint32_t step, int32_t n, bool) {
        uint64_t d = fraction;
        for (int32_t j = 0; j < n; ++j, d += step) {
            const auto whole = static_cast<ptrdiff_t>(d >> 16) * WC;
            convert_frames<WC, DC>(dst, kForward ? origin + whole : origin - whole, 1);
            dst += DC;
        }
    }
    void silence(int32_t n) { dst = write_silence<DC>(dst, n); }
};

// Frames between frames: interpolated in the wave's layout (a mono wave
// costs half a stereo one), then brought to the device's; in the same
// layout they are computed straight into dst.
template <int WC, int DC>
struct ConvertChunks {
    int16_t *dst;
    int16_t *chunk;  // WC x kInterpolationChunk samples

    int16_t *space(int32_t) {
        if constexpr (WC == DC) return dst;
        return chunk;
    }
    void deliver(const int16_t *frames, int32_t n) {
        if constexpr (WC != DC) convert_frames<WC, DC>(dst, frames, n);
        dst += static_cast<ptrdiff_t>(n) * DC;
    }
    void silence(int32_t n) { dst = write_silence<DC>(dst, n); }
};

// The 16.16 step of a folded speed: clamped as the kernels clamp a speed,
// and never 0 (the slowest sound still moves).
uint64_t folded_step(double speed) {
    double magnitude = std::fabs(speed);
    if (magnitude > 32767.0) magnitude = 32767.0;
    const auto step = static_cast<uint64_t>(std::nearbyint(magnitude * 65536.0));
    return step > 0 ? step : 1;
}

template <int WC, int DC, bool kForward>
void walk_converted(int32_t mode, float band_speed, int16_t *dst, const walk::Region &r,
                    int16_t **pos, int32_t *loops, uint32_t *fraction, uint64_t step,
                    int32_t frames) {
    constexpr int F = 2 * WC;
    if (mode != kResampleNearest && resampler_ready(mode)) {
        int16_t chunk[WC * kInterpolationChunk];  // written before it is read: left as it is
        ConvertChunks<WC, DC> out{dst, chunk};
        InterpolatingFrames<WC, kForward, ConvertChunks<WC, DC>> sink{
            mode, band_speed, r, bound_resampler_variants(), out};
        walk::walk_slice<F, kForward>(sink, r, pos, loops, step, frames, fraction);
    } else if (kForward && step == 65536 && (*fraction & 0xFFFF) == 0) {
        // Whole frames one after another (a wave of the device's rate in
        // another layout): converted a run at a time. The walk moves as the
        // stepping one would, and the fraction stays 0.
        NearestFrames<WC, DC, true> sink{dst};
        walk::walk_unit<F>(sink, r, pos, loops, frames);
    } else {
        NearestFrames<WC, DC, kForward> sink{dst};
        walk::walk_slice<F, kForward>(sink, r, pos, loops, step, frames, fraction);
    }
}

using WalkRoutine = void (*)(int32_t, float, int16_t *, const walk::Region &, int16_t **,
                             int32_t *, uint32_t *, uint64_t, int32_t);

// [wave channels - 1][device channels - 1][forward]
constexpr WalkRoutine kWalks[2][2][2] = {
    {{walk_converted<1, 1, false>, walk_converted<1, 1, true>},
     {walk_converted<1, 2, false>, walk_converted<1, 2, true>}},
    {{walk_converted<2, 1, false>, walk_converted<2, 1, true>},
     {walk_converted<2, 2, false>, walk_converted<2, 2, true>}},
};

inline bool usable_speed(double speed) { return speed > 0.0 || speed < 0.0; }

inline walk::Region wave_region(int32_t wave_channels, const int16_t *start, const int16_t *end) {
    return wave_channels == 1 ? walk::frame_region<2>(start, end) : walk::frame_region<4>(start, end);
}

}  // namespace

double folded_speed(float speed, int32_t wave_rate, int32_t device_rate) {
    if (wave_rate <= 0 || device_rate <= 0) return 0.0;
    return static_cast<double>(speed) * wave_rate / device_rate;
}

bool play_converted(int32_t mode, int32_t wave_channels, int32_t device_channels, int16_t *dst,
                    const int16_t *start, int16_t **pos, const int16_t *end, int32_t *loops,
                    uint32_t *fraction, double speed, int32_t frames) {
    if (dst == nullptr || start == nullptr || pos == nullptr || end == nullptr ||
        loops == nullptr || fraction == nullptr || frames <= 0)
        return false;
    if ((wave_channels != 1 && wave_channels != 2) || (device_channels != 1 && device_channels != 2))
        return false;
    if (!usable_speed(speed)) return false;
    const walk::Region r = wave_region(wave_channels, start, end);
    if (r.length == 0) {
        std::memset(dst, 0, static_cast<size_t>(frames) * device_channels * sizeof(int16_t));
        return true;
    }
    // The sinc's cut-off follows the folded speed: a wave read faster to
    // bring it down to a lower device rate loses what the device cannot
    // carry instead of folding it down.
    const auto band_speed = static_cast<float>(std::fmin(std::fabs(speed), 32767.0));
    kWalks[wave_channels - 1][device_channels - 1][speed > 0.0 ? 1 : 0](
        mode, band_speed, dst, r, pos, loops, fraction, folded_step(speed), frames);
    return true;
}

bool advance_converted(int32_t wave_channels, const int16_t *start, int16_t **pos,
                       const int16_t *end, int32_t *loops, uint32_t *fraction, double speed,
                       int32_t frames) {
    if (start == nullptr || pos == nullptr || end == nullptr || loops == nullptr ||
        fraction == nullptr || frames <= 0 || (wave_channels != 1 && wave_channels != 2))
        return false;
    if (!usable_speed(speed)) return false;
    const walk::Region r = wave_region(wave_channels, start, end);
    if (r.length == 0) return true;
    const uint64_t step = folded_step(speed);
    walk::SkipFrames sink;
    if (wave_channels == 1) {
        if (speed > 0.0)
            walk::walk_slice<2, true>(sink, r, pos, loops, step, frames, fraction);
        else
            walk::walk_slice<2, false>(sink, r, pos, loops, step, frames, fraction);
    } else {
        if (speed > 0.0)
            walk::walk_slice<4, true>(sink, r, pos, loops, step, frames, fraction);
        else
            walk::walk_slice<4, false>(sink, r, pos, loops, step, frames, fraction);
    }
    return true;
}

}  // namespace zyn
