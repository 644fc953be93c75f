// AVX2 forms of the fused voice loops, bit-identical to the plain ones.
// Compiled with -mavx2 and reached only through the run-time binding.
//
// A factor f in [0, 3 x 65536) is applied to 16 samples at once as
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
    __m256i fraction;  // r, or r - 65536 where r >= 32768
    __m256i high;      // lanes whose r is 32768 or more
    __m256i once;      // lanes whose whole part is at least 1
    __m256i twice;     // lanes whose whole part is 2
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
    return {_mm256_set1_epi32(lane_pair(re, ro)),
            _mm256_set1_epi32(lane_pair(mask_if(re >= 32768), mask_if(ro >= 32768))),
            _mm256_set1_epi32(lane_pair(mask_if(we >= 1), mask_if(wo >= 1))),
            _mm256_set1_epi32(lane_pair(mask_if(we >= 2), mask_if(wo >= 2)))};
}

// -1: both factors are 65536 and the stage is skipped; else the largest whole part.
int stage_level(int64_t even, int64_t odd) {
    if (even == 65536 && odd == 65536) return -1;
    const int64_t w = (even > odd ? even : odd) >> 16;
    return static_cast<int>(w);
}

template <int kLevel>
inline __m256i apply(__m256i s, const Stage &st) {
    if (kLevel < 0) return s;
    __m256i t = _mm256_add_epi16(_mm256_mulhi_epi16(s, st.fraction), _mm256_and_si256(s, st.high));
    if (kLevel >= 1) t = _mm256_adds_epi16(t, _mm256_and_si256(s, st.once));
    if (kLevel >= 2) t = _mm256_adds_epi16(t, _mm256_and_si256(s, st.twice));
    return t;
}

template <int kVol, int kPan, bool kFirst>
inline void emit(int16_t *out, __m256i s, const Stage &volume, const Stage &pan) {
    s = apply<kPan>(apply<kVol>(s, volume), pan);
    auto *o = reinterpret_cast<__m256i *>(out);
    if (!kFirst) s = _mm256_adds_epi16(_mm256_loadu_si256(o), s);
    _mm256_storeu_si256(o, s);
}

template <int kVol, int kPan, bool kFirst>
int32_t run_vectors(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g) {
    const Stage volume = make_stage(g.volume, g.volume);
    const Stage pan = make_stage(g.left, g.right);
    int32_t i = 0;
    for (; i + 16 <= frames; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 2 * i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 2 * i + 16));
        emit<kVol, kPan, kFirst>(out + 2 * i, a, volume, pan);
        emit<kVol, kPan, kFirst>(out + 2 * i + 16, b, volume, pan);
    }
    for (; i + 8 <= frames; i += 8) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 2 * i));
        emit<kVol, kPan, kFirst>(out + 2 * i, a, volume, pan);
    }
    return i;
}

template <int kVol, int kPan, bool kFirst>
int32_t gather_vectors(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const FusedGains &g) {
    const Stage volume = make_stage(g.volume, g.volume);
    const Stage pan = make_stage(g.left, g.right);
    // Lane k: k x step, below 2^31 for the steps taken here.
    const __m256i lanes = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                             _mm256_set1_epi32(static_cast<int32_t>(step)));
    const auto *frames32 = reinterpret_cast<const int32_t *>(origin);
    // The farthest frame the run reads; no load may pass it.
    const auto reach = static_cast<ptrdiff_t>(
        (fraction + static_cast<uint64_t>(frames > 0 ? frames - 1 : 0) * step) >> 16);
    // Up to this step the eight frames of a vector lie within 16 source
    // frames, which two loads and two lane permutes fetch faster than a gather.
    const bool windowed = step * 7 + 0xFFFF < (16u << 16);
    const __m256i seven = _mm256_set1_epi32(7);
    const __m256i fifteen = _mm256_set1_epi32(15);
    int32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        const uint64_t at = fraction + static_cast<uint64_t>(i) * step;
        const auto whole = static_cast<ptrdiff_t>(at >> 16);
        const auto part = static_cast<int32_t>(at & 0xFFFF);
        // Lane k: frames from the vector's first frame, (part + k x step) >> 16.
        const __m256i index =
            _mm256_srli_epi32(_mm256_add_epi32(_mm256_set1_epi32(part), lanes), 16);
        __m256i s;
        if (windowed && whole + 15 <= reach) {
            const int32_t *low = forward ? frames32 + whole : frames32 - whole - 15;
            const __m256i select = forward ? index : _mm256_sub_epi32(fifteen, index);
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(low));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(low + 8));
            s = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(a, select),
                                   _mm256_permutevar8x32_epi32(b, select),
                                   _mm256_cmpgt_epi32(select, seven));
        } else if (forward) {
            s = _mm256_i32gather_epi32(frames32 + whole, index, 4);
        } else {
            s = _mm256_i32gather_epi32(frames32 - whole,
                                       _mm256_sub_epi32(_mm256_setzero_si256(), index), 4);
        }
        emit<kVol, kPan, kFirst>(out + 2 * i, s, volume, pan);
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

void fused_run_avx2(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                    bool first) {
    int32_t done = 0;
    if (vector_gains(g))
        done = dispatch<RunLoop>(g, first, out, src, frames, &g);
    fused_run_plain(out + 2 * done, src + 2 * done, frames - done, g, first);
}

void fused_gather_avx2(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const FusedGains &g, bool first) {
    int32_t done = 0;
    // Below 2^28 the eight lanes' distances fit 32 bits.
    if (vector_gains(g) && step < (1u << 28))
        done = dispatch<GatherLoop>(g, first, out, origin, fraction, step, forward, frames, &g);
    if (done == frames) return;
    const uint64_t at = fraction + static_cast<uint64_t>(done) * step;
    const auto whole = static_cast<ptrdiff_t>(at >> 16) * 2;
    fused_gather_plain(out + 2 * done, forward ? origin + whole : origin - whole,
                       static_cast<uint32_t>(at & 0xFFFF), step, forward, frames - done, g, first);
}

}  // namespace zyn

#endif
