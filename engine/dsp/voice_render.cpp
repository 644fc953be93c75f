// Fused voice rendering: the region walker (region_walker.h), the same run
// logic the stereo playback kernels use, driving inner loops that scale, pan
// and add in one pass, plus the plain forms of those loops.
#include "voice_render.h"

#include "interpolated_playback.h"
#include "kernels.h"
#include "variant_family.h"
#include "region_walker.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace zyn {
namespace {

constexpr int kFrame = 4;  // stereo 16-bit frame

// After the last pass the kernels write silence: stored, it clears the
// block; added, it changes nothing.
void silence(int16_t *out, int32_t frames, bool first) {
    if (first && frames > 0) std::memset(out, 0, static_cast<size_t>(frames) * kFrame);
}

inline int16_t saturate(int32_t v) {
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

template <bool kFirst>
inline void put(int16_t *out, int16_t value) {
    *out = kFirst ? value : saturate(static_cast<int32_t>(*out) + value);
}

// Factors in [0, 65536] never leave 16 bits and s x factor fits 32 bits, so
// each stage is one 32-bit product and shift, which the compiler can vectorise.
inline bool narrow(int64_t f) { return f >= 0 && f <= 65536; }

template <bool kFirst>
void run_frames_narrow(int16_t *out, const int16_t *src, int32_t frames, int32_t volume,
                       int32_t left, int32_t right) {
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t l = ((src[2 * i] * volume) >> 16) * left >> 16;
        const int32_t r = ((src[2 * i + 1] * volume) >> 16) * right >> 16;
        put<kFirst>(out + 2 * i, static_cast<int16_t>(l));
        put<kFirst>(out + 2 * i + 1, static_cast<int16_t>(r));
    }
}

template <bool kFirst>
void run_frames(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g) {
    if (narrow(g.volume) && narrow(g.left) && narrow(g.right)) {
        run_frames_narrow<kFirst>(out, src, frames, static_cast<int32_t>(g.volume),
                                  static_cast<int32_t>(g.left), static_cast<int32_t>(g.right));
        return;
    }
    for (int32_t i = 0; i < frames; ++i) {
        put<kFirst>(out + 2 * i, scale_sample(scale_sample(src[2 * i], g.volume), g.left));
        put<kFirst>(out + 2 * i + 1,
                    scale_sample(scale_sample(src[2 * i + 1], g.volume), g.right));
    }
}

template <bool kFirst>
void gather_frames_narrow(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                          ptrdiff_t direction, int32_t frames, int32_t volume, int32_t left,
                          int32_t right) {
    uint64_t distance = fraction;
    for (int32_t i = 0; i < frames; ++i) {
        const int16_t *frame = origin + direction * static_cast<ptrdiff_t>(distance >> 16) * 2;
        put<kFirst>(out + 2 * i, static_cast<int16_t>(((frame[0] * volume) >> 16) * left >> 16));
        put<kFirst>(out + 2 * i + 1,
                    static_cast<int16_t>(((frame[1] * volume) >> 16) * right >> 16));
        distance += step;
    }
}

template <bool kFirst>
void gather_frames(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                   bool forward, int32_t frames, const FusedGains &g) {
    if (narrow(g.volume) && narrow(g.left) && narrow(g.right)) {
        gather_frames_narrow<kFirst>(out, origin, fraction, step, forward ? 1 : -1, frames,
                                     static_cast<int32_t>(g.volume), static_cast<int32_t>(g.left),
                                     static_cast<int32_t>(g.right));
        return;
    }
    uint64_t distance = fraction;
    for (int32_t i = 0; i < frames; ++i) {
        const auto whole = static_cast<ptrdiff_t>(distance >> 16) * 2;
        const int16_t *frame = forward ? origin + whole : origin - whole;
        put<kFirst>(out + 2 * i, scale_sample(scale_sample(frame[0], g.volume), g.left));
        put<kFirst>(out + 2 * i + 1, scale_sample(scale_sample(frame[1], g.volume), g.right));
        distance += step;
    }
}

// The mixing sink: each frame is scaled, panned and stored or added into the
// output block with the bound inner loops.
template <bool kForward>
struct MixFrames {
    const VoiceRenderVariants &v;
    int16_t *out;
    bool first;
    const FusedGains &g;

    void run(const int16_t *src, int32_t n) {
        v.run(out, src, n, g, first);
        out += 2 * static_cast<ptrdiff_t>(n);
    }
    void gather(const int16_t *origin, uint32_t fraction, uint32_t step, int32_t n, bool) {
        v.gather(out, origin, fraction, step, kForward, n, g, first);
        out += 2 * static_cast<ptrdiff_t>(n);
    }
    void silence(int32_t n) { zyn::silence(out, n, first); }
};

// The interpolating walk hands its frames on a chunk at a time.
struct MixChunks {
    const VoiceRenderVariants &v;
    int16_t *out;
    bool first;
    const FusedGains &g;
    int16_t *chunk;  // 2 x kInterpolationChunk samples, the caller's

    int16_t *space(int32_t) { return chunk; }
    void deliver(const int16_t *frames, int32_t n) {
        v.run(out, frames, n, g, first);
        out += 2 * static_cast<ptrdiff_t>(n);
    }
    void silence(int32_t n) { zyn::silence(out, n, first); }
};

template <bool kForward>
void mix_interpolated(const VoiceRenderVariants &v, int32_t mode, float speed, int16_t *out,
                      bool first, const walk::Region &r, int16_t **pos, int32_t *loops,
                      uint32_t *fraction, uint64_t step, const FusedGains &g, int32_t frames) {
    int16_t chunk[2 * kInterpolationChunk];  // written before it is read: left as it is
    MixChunks chunks{v, out, first, g, chunk};
    InterpolatingFrames<2, kForward, MixChunks> sink{mode, speed, r, bound_resampler_variants(), chunks};
    walk::walk_slice<kFrame, kForward>(sink, r, pos, loops, step, frames, fraction);
}

constexpr VoiceRenderVariants kPlain{"plain", fused_run_plain, fused_gather_plain};
#if defined(ZYN_X86_KERNELS)
constexpr VoiceRenderVariants kSse2{"sse2", fused_run_sse2, fused_gather_sse2};
constexpr VoiceRenderVariants kAvx2{"avx2", fused_run_avx2, fused_gather_avx2};
#endif

constexpr VariantFamily<VoiceRenderVariants> kFamily{&kPlain,
#if defined(ZYN_X86_KERNELS)
                                    &kSse2, &kAvx2
#else
                                    nullptr, nullptr
#endif
};

}  // namespace

void fused_run_plain(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                     bool first) {
    if (first)
        run_frames<true>(out, src, frames, g);
    else
        run_frames<false>(out, src, frames, g);
}

void fused_gather_plain(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames, const FusedGains &g, bool first) {
    if (first)
        gather_frames<true>(out, origin, fraction, step, forward, frames, g);
    else
        gather_frames<false>(out, origin, fraction, step, forward, frames, g);
}

bool render_voice_fused_with(const VoiceRenderVariants &v, int16_t *out, bool first,
                             const int16_t *start, int16_t **pos, const int16_t *end,
                             int32_t *loops, float speed, const FusedGains &g, int32_t frames,
                             int32_t mode, uint32_t *fraction) {
    if (out == nullptr || start == nullptr || pos == nullptr || end == nullptr ||
        loops == nullptr || frames <= 0)
        return false;
    const bool unit = speed == 1.0f;
    if (!unit && !(speed > 0.0f) && !(speed < 0.0f)) return false;
    const uint64_t step = unit ? 65536 : walk::speed_step(speed);
    // Such steps take the kernels' frame-by-frame form.
    if (!unit && walk::step_wraps<kFrame>(step)) return false;
    const walk::Region r = walk::frame_region<kFrame>(start, end);
    if (r.length == 0) {
        silence(out, frames, first);
        return true;
    }
    if (!unit && mode != kResampleNearest && fraction != nullptr && resampler_ready(mode)) {
        if (speed > 0.0f)
            mix_interpolated<true>(v, mode, speed, out, first, r, pos, loops, fraction, step, g, frames);
        else
            mix_interpolated<false>(v, mode, speed, out, first, r, pos, loops, fraction, step, g, frames);
    } else if (unit) {
        MixFrames<true> sink{v, out, first, g};
        walk::walk_unit<kFrame>(sink, r, pos, loops, frames);
    } else if (speed > 0.0f) {
        MixFrames<true> sink{v, out, first, g};
        walk::walk_slice<kFrame, true>(sink, r, pos, loops, step, frames);
    } else {
        MixFrames<false> sink{v, out, first, g};
        walk::walk_slice<kFrame, false>(sink, r, pos, loops, step, frames);
    }
    return true;
}

bool render_voice_fused(int16_t *out, bool first, const int16_t *start, int16_t **pos,
                        const int16_t *end, int32_t *loops, float speed, const FusedGains &g,
                        int32_t frames, int32_t mode, uint32_t *fraction) {
    return render_voice_fused_with(bound_voice_variants(), out, first, start, pos, end, loops,
                                   speed, g, frames, mode, fraction);
}

const VoiceRenderVariants &bound_voice_variants() { return bound_once(kFamily); }

int32_t available_voice_variants(const VoiceRenderVariants **sets) { return available_once(kFamily, sets); }

}  // namespace zyn
