// SSE2 forms of the fused voice loops, bit-identical to the plain ones.
// Compiled with -msse2 and reached only through the run-time binding.
//
// A factor f in [0, 3 x 65536) is applied to 8 samples at once as
// w x s + floor(s x r / 65536) with f = w x 65536 + r: the fraction comes from
// an unsigned high product corrected for the sign of s (exact modulo 2^16,
// and the true value fits 16 bits), the whole part from at most two
// saturating adds. All terms share the sign of s, so saturating after each
// add gives the clamp of the exact sum, as SCALE16 does.
#if defined(__x86_64__) || defined(__i386__)

#include "voice_render_variants.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace zyn {
namespace {

struct Stage {
    __m128i fraction;
    __m128i once;   // lanes whose whole part is at least 1
    __m128i twice;  // lanes whose whole part is 2
};

bool in_range(int64_t f) { return f >= 0 && f < kFusedVectorFactorLimit; }

int32_t lane_pair(uint32_t even, uint32_t odd) {
    return static_cast<int32_t>((even & 0xFFFF) | ((odd & 0xFFFF) << 16));
}

Stage make_stage(int64_t even, int64_t odd) {
    const auto we = static_cast<uint32_t>(even >> 16);
    const auto wo = static_cast<uint32_t>(odd >> 16);
    return {_mm_set1_epi32(lane_pair(static_cast<uint32_t>(even), static_cast<uint32_t>(odd))),
            _mm_set1_epi32(lane_pair(we >= 1 ? 0xFFFF : 0, wo >= 1 ? 0xFFFF : 0)),
            _mm_set1_epi32(lane_pair(we >= 2 ? 0xFFFF : 0, wo >= 2 ? 0xFFFF : 0))};
}

inline __m128i apply(__m128i s, const Stage &st) {
    const __m128i negative = _mm_srai_epi16(s, 15);
    __m128i t = _mm_sub_epi16(_mm_mulhi_epu16(s, st.fraction),
                                 _mm_and_si128(st.fraction, negative));
    t = _mm_adds_epi16(t, _mm_and_si128(s, st.once));
    return _mm_adds_epi16(t, _mm_and_si128(s, st.twice));
}

template <bool kScale, bool kPan, bool kFirst>
inline void emit(int16_t *out, __m128i s, const Stage &volume, const Stage &pan) {
    if (kScale) s = apply(s, volume);
    if (kPan) s = apply(s, pan);
    auto *o = reinterpret_cast<__m128i *>(out);
    if (!kFirst) s = _mm_adds_epi16(_mm_loadu_si128(o), s);
    _mm_storeu_si128(o, s);
}

template <bool kScale, bool kPan, bool kFirst>
int32_t run_vectors(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g) {
    const Stage volume = make_stage(g.volume, g.volume);
    const Stage pan = make_stage(g.left, g.right);
    int32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * i + 8));
        emit<kScale, kPan, kFirst>(out + 2 * i, a, volume, pan);
        emit<kScale, kPan, kFirst>(out + 2 * i + 8, b, volume, pan);
    }
    for (; i + 4 <= frames; i += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * i));
        emit<kScale, kPan, kFirst>(out + 2 * i, a, volume, pan);
    }
    return i;
}

template <bool kScale, bool kPan, bool kFirst>
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
        emit<kScale, kPan, kFirst>(out + 2 * i, _mm_setr_epi32(f[0], f[1], f[2], f[3]), volume,
                                   pan);
    }
    return i;
}

template <bool kFirst>
int32_t run_dispatch(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g) {
    const bool scale = g.volume != 65536;
    const bool pan = g.left != 65536 || g.right != 65536;
    if (scale && pan) return run_vectors<true, true, kFirst>(out, src, frames, g);
    if (scale) return run_vectors<true, false, kFirst>(out, src, frames, g);
    if (pan) return run_vectors<false, true, kFirst>(out, src, frames, g);
    return run_vectors<false, false, kFirst>(out, src, frames, g);
}

template <bool kFirst>
int32_t gather_dispatch(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames, const FusedGains &g) {
    const bool scale = g.volume != 65536;
    const bool pan = g.left != 65536 || g.right != 65536;
    if (scale && pan)
        return gather_vectors<true, true, kFirst>(out, origin, fraction, step, forward, frames, g);
    if (scale)
        return gather_vectors<true, false, kFirst>(out, origin, fraction, step, forward, frames, g);
    if (pan)
        return gather_vectors<false, true, kFirst>(out, origin, fraction, step, forward, frames, g);
    return gather_vectors<false, false, kFirst>(out, origin, fraction, step, forward, frames, g);
}

bool vector_gains(const FusedGains &g) {
    return in_range(g.volume) && in_range(g.left) && in_range(g.right);
}

}  // namespace

void fused_run_sse2(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                    bool first) {
    int32_t done = 0;
    if (vector_gains(g))
        done = first ? run_dispatch<true>(out, src, frames, g) : run_dispatch<false>(out, src, frames, g);
    fused_run_plain(out + 2 * done, src + 2 * done, frames - done, g, first);
}

void fused_gather_sse2(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const FusedGains &g, bool first) {
    int32_t done = 0;
    if (vector_gains(g))
        done = first ? gather_dispatch<true>(out, origin, fraction, step, forward, frames, g)
                     : gather_dispatch<false>(out, origin, fraction, step, forward, frames, g);
    if (done == frames) return;
    const uint64_t at = fraction + static_cast<uint64_t>(done) * step;
    const auto whole = static_cast<ptrdiff_t>(at >> 16) * 2;
    fused_gather_plain(out + 2 * done, forward ? origin + whole : origin - whole,
                       static_cast<uint32_t>(at & 0xFFFF), step, forward, frames - done, g, first);
}

}  // namespace zyn

#endif
