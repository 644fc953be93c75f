// SSE2 forms of the fused voice loops, bit-identical to the plain ones.
// Compiled with -msse2 and reached only through the run-time binding.
//
// A factor f in [0, 3 x 65536) is applied to 8 samples at once as
// floor(s x r / 65536) + w x s with f = w x 65536 + r. The fraction is one
// signed high product: by r itself when r < 32768, else by r - 65536 with s
// added back (exact: the true value fits 16 bits, so the wrapping add cannot
// go wrong). The whole part takes at most two saturating adds; all terms
// share the sign of s, so saturating after each add gives the clamp of the
// exact sum, as SCALE16 does. Each stage runs only the steps its factors
// need (the level: -1 none, 0 fraction only, 1 and 2 whole parts).
#if defined(__x86_64__) || defined(__i386__)

#include "voice_render_variants.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace zyn {
namespace {

struct Stage {
    __m128i fraction;  // r, or r - 65536 where r >= 32768
    __m128i high;      // lanes whose r is 32768 or more
    __m128i once;      // lanes whose whole part is at least 1
    __m128i twice;     // lanes whose whole part is 2
};

bool in_range(int64_t f) { return f >= 0 && f < kFusedVectorFactorLimit; }

int32_t lane_pair(uint32_t even, uint32_t odd) {
    return static_cast<int32_t>((even & 0xFFFF) | ((odd & 0xFFFF) << 16));
}

uint32_t mask_if(bool on) { return on ? 0xFFFF : 0; }

Stage make_stage(int64_t even, int64_t odd) {
    const auto we = static_cast<uint32_t>(even >> 16);
    const auto wo = static_cast<uint32_t>(odd >> 16);
    const auto re = static_cast<uint32_t>(even & 0xFFFF);
    const auto ro = static_cast<uint32_t>(odd & 0xFFFF);
    return {_mm_set1_epi32(lane_pair(re, ro)),
            _mm_set1_epi32(lane_pair(mask_if(re >= 32768), mask_if(ro >= 32768))),
            _mm_set1_epi32(lane_pair(mask_if(we >= 1), mask_if(wo >= 1))),
            _mm_set1_epi32(lane_pair(mask_if(we >= 2), mask_if(wo >= 2)))};
}

// -1: both factors are 65536 and the stage is skipped; else the largest whole part.
int stage_level(int64_t even, int64_t odd) {
    if (even == 65536 && odd == 65536) return -1;
    const int64_t w = (even > odd ? even : odd) >> 16;
    return static_cast<int>(w);
}

template <int kLevel>
inline __m128i apply(__m128i s, const Stage &st) {
    if (kLevel < 0) return s;
    __m128i t = _mm_add_epi16(_mm_mulhi_epi16(s, st.fraction), _mm_and_si128(s, st.high));
    if (kLevel >= 1) t = _mm_adds_epi16(t, _mm_and_si128(s, st.once));
    if (kLevel >= 2) t = _mm_adds_epi16(t, _mm_and_si128(s, st.twice));
    return t;
}

template <int kVol, int kPan, bool kFirst>
inline void emit(int16_t *out, __m128i s, const Stage &volume, const Stage &pan) {
    s = apply<kPan>(apply<kVol>(s, volume), pan);
    auto *o = reinterpret_cast<__m128i *>(out);
    if (!kFirst) s = _mm_adds_epi16(_mm_loadu_si128(o), s);
    _mm_storeu_si128(o, s);
}

template <int kVol, int kPan, bool kFirst>
int32_t run_vectors(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g) {
    const Stage volume = make_stage(g.volume, g.volume);
    const Stage pan = make_stage(g.left, g.right);
    int32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * i + 8));
        emit<kVol, kPan, kFirst>(out + 2 * i, a, volume, pan);
        emit<kVol, kPan, kFirst>(out + 2 * i + 8, b, volume, pan);
    }
    for (; i + 4 <= frames; i += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * i));
        emit<kVol, kPan, kFirst>(out + 2 * i, a, volume, pan);
    }
    return i;
}

template <int kVol, int kPan, bool kFirst>
int32_t gather_vectors(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const FusedGains &g) {
    const Stage volume = make_stage(g.volume, g.volume);
    const Stage pan = make_stage(g.left, g.right);
    const auto *frames32 = reinterpret_cast<const int32_t *>(origin);
    const ptrdiff_t sign = forward ? 1 : -1;
    uint64_t at = fraction;
    int32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        int32_t f[4];
        for (int k = 0; k < 4; ++k) {
            std::memcpy(&f[k], frames32 + sign * static_cast<ptrdiff_t>(at >> 16), 4);
            at += step;
        }
        emit<kVol, kPan, kFirst>(out + 2 * i, _mm_setr_epi32(f[0], f[1], f[2], f[3]), volume,
                                 pan);
    }
    return i;
}

// Calls Loop::template call<vol, pan, first>(args...) for the levels at hand.
template <typename Loop, int kVol, int kPan, typename... Args>
int32_t with_first(bool first, Args... args) {
    return first ? Loop::template call<kVol, kPan, true>(args...)
                 : Loop::template call<kVol, kPan, false>(args...);
}

template <typename Loop, int kVol, typename... Args>
int32_t with_pan(int pan, bool first, Args... args) {
    switch (pan) {
        case -1: return with_first<Loop, kVol, -1>(first, args...);
        case 0: return with_first<Loop, kVol, 0>(first, args...);
        case 1: return with_first<Loop, kVol, 1>(first, args...);
        default: return with_first<Loop, kVol, 2>(first, args...);
    }
}

template <typename Loop, typename... Args>
int32_t dispatch(const FusedGains &g, bool first, Args... args) {
    const int pan = stage_level(g.left, g.right);
    switch (stage_level(g.volume, g.volume)) {
        case -1: return with_pan<Loop, -1>(pan, first, args...);
        case 0: return with_pan<Loop, 0>(pan, first, args...);
        case 1: return with_pan<Loop, 1>(pan, first, args...);
        default: return with_pan<Loop, 2>(pan, first, args...);
    }
}

struct RunLoop {
    template <int kVol, int kPan, bool kFirst>
    static int32_t call(int16_t *out, const int16_t *src, int32_t frames, const FusedGains *g) {
        return run_vectors<kVol, kPan, kFirst>(out, src, frames, *g);
    }
};

struct GatherLoop {
    template <int kVol, int kPan, bool kFirst>
    static int32_t call(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames, const FusedGains *g) {
        return gather_vectors<kVol, kPan, kFirst>(out, origin, fraction, step, forward, frames, *g);
    }
};

bool vector_gains(const FusedGains &g) {
    return in_range(g.volume) && in_range(g.left) && in_range(g.right);
}

}  // namespace

void fused_run_sse2(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                    bool first) {
    int32_t done = 0;
    if (vector_gains(g))
        done = dispatch<RunLoop>(g, first, out, src, frames, &g);
    fused_run_plain(out + 2 * done, src + 2 * done, frames - done, g, first);
}

void fused_gather_sse2(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const FusedGains &g, bool first) {
    int32_t done = 0;
    if (vector_gains(g))
        done = dispatch<GatherLoop>(g, first, out, origin, fraction, step, forward, frames, &g);
    if (done == frames) return;
    const uint64_t at = fraction + static_cast<uint64_t>(done) * step;
    const auto whole = static_cast<ptrdiff_t>(at >> 16) * 2;
    fused_gather_plain(out + 2 * done, forward ? origin + whole : origin - whole,
                       static_cast<uint32_t>(at & 0xFFFF), step, forward, frames - done, g, first);
}

}  // namespace zyn

#endif
