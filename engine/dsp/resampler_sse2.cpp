// SSE2 forms of the interpolating stereo loops, bit-identical to the plain
// ones (resampler_variants.h): every product and sum is exact in 32 bits, so
// pmaddwd and the order of the additions change nothing. Compiled with
// -msse2 and reached only through the run-time binding.
#if defined(__x86_64__) || defined(__i386__)

#include "resampler_position.h"
#include "resampler_variants.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace zyn {
namespace {




inline __m128i load64(const void *p) { return _mm_loadl_epi64(static_cast<const __m128i *>(p)); }

// (acc + 8192) >> 14 per 32-bit lane, saturated to 16 bits.
inline __m128i round_q14(__m128i acc) {
    return _mm_srai_epi32(_mm_add_epi32(acc, _mm_set1_epi32(8192)), 14);
}

// [L0 R0 L1 R1 ...] (frames) to [L0 L1 L2 L3 R0 R1 R2 R3] for four frames.
inline __m128i split_channels(__m128i frames) {
    const __m128i pairs = _mm_shufflehi_epi16(_mm_shufflelo_epi16(frames, _MM_SHUFFLE(3, 1, 2, 0)),
                                              _MM_SHUFFLE(3, 1, 2, 0));
    return _mm_shuffle_epi32(pairs, _MM_SHUFFLE(3, 1, 2, 0));
}

// Left and right sums of four pmaddwd lanes [L L R R] and [L L R R] of two
// frames into [La Ra Lb Rb].
inline __m128i pair_sums(__m128i a, __m128i b) {
    const __m128i lo = _mm_unpacklo_epi64(a, b);  // [La La' Lb Lb']
    const __m128i hi = _mm_unpackhi_epi64(a, b);  // [Ra Ra' Rb Rb']
    const __m128i l = _mm_add_epi32(_mm_shuffle_epi32(lo, _MM_SHUFFLE(2, 0, 2, 0)),
                                    _mm_shuffle_epi32(lo, _MM_SHUFFLE(3, 1, 3, 1)));  // [La Lb ..]
    const __m128i r = _mm_add_epi32(_mm_shuffle_epi32(hi, _MM_SHUFFLE(2, 0, 2, 0)),
                                    _mm_shuffle_epi32(hi, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm_unpacklo_epi32(l, r);  // [La Ra Lb Rb]
}

}  // namespace

void stereo_linear_sse2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames) {
    uint64_t d = fraction;
    int32_t j = 0;
    for (; j + 2 <= frames; j += 2) {
        int64_t ka = 0, kb = 0;
        uint32_t ta = 0, tb = 0;
        locate(d, forward, &ka, &ta);
        locate(d + step, forward, &kb, &tb);
        d += 2 * static_cast<uint64_t>(step);
        // [La Ra La' Ra' | Lb Rb Lb' Rb'] -> [La La' Ra Ra' | Lb Lb' Rb Rb']
        const __m128i s = _mm_unpacklo_epi64(load64(origin + 2 * ka), load64(origin + 2 * kb));
        const __m128i pairs = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, _MM_SHUFFLE(3, 1, 2, 0)),
                                                  _MM_SHUFFLE(3, 1, 2, 0));
        const auto wa = static_cast<int32_t>(ta >> 2), wb = static_cast<int32_t>(tb >> 2);
        const int32_t pa = (16384 - wa) | (wa << 16), pb = (16384 - wb) | (wb << 16);
        const __m128i weights = _mm_set_epi32(pb, pb, pa, pa);
        const __m128i v = round_q14(_mm_madd_epi16(pairs, weights));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + 2 * j), _mm_packs_epi32(v, v));
    }
    if (j < frames) {
        uint32_t part = 0;
        const int16_t *rest = rebase(origin, d, forward, &part);
        stereo_linear_plain(dst + 2 * j, rest, part, step, forward, frames - j);
    }
}

void stereo_cubic_sse2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const ResamplerTable &table) {
    uint64_t d = fraction;
    int32_t j = 0;
    for (; j + 2 <= frames; j += 2) {
        int64_t ka = 0, kb = 0;
        uint32_t ta = 0, tb = 0;
        locate(d, forward, &ka, &ta);
        locate(d + step, forward, &kb, &tb);
        d += 2 * static_cast<uint64_t>(step);
        const __m128i fa = split_channels(_mm_loadu_si128(
            reinterpret_cast<const __m128i *>(origin + 2 * (ka - table.before))));
        const __m128i fb = split_channels(_mm_loadu_si128(
            reinterpret_cast<const __m128i *>(origin + 2 * (kb - table.before))));
        const __m128i ca = load64(table.coefficients + phase_of(ta) * 4);
        const __m128i cb = load64(table.coefficients + phase_of(tb) * 4);
        const __m128i sums = pair_sums(_mm_madd_epi16(fa, _mm_unpacklo_epi64(ca, ca)),
                                       _mm_madd_epi16(fb, _mm_unpacklo_epi64(cb, cb)));
        const __m128i v = round_q14(sums);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + 2 * j), _mm_packs_epi32(v, v));
    }
    if (j < frames) {
        uint32_t part = 0;
        const int16_t *rest = rebase(origin, d, forward, &part);
        stereo_table_plain(dst + 2 * j, rest, part, step, forward, frames - j, table);
    }
}

void stereo_sinc_sse2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                      bool forward, int32_t frames, const ResamplerTable &table) {
    uint64_t d = fraction;
    for (int32_t j = 0; j < frames; ++j, d += step) {
        int64_t k = 0;
        uint32_t t = 0;
        locate(d, forward, &k, &t);
        const auto *s = reinterpret_cast<const __m128i *>(origin + 2 * (k - table.before));
        const auto *c = reinterpret_cast<const __m128i *>(table.coefficients + phase_of(t) * 16);
        __m128i left = _mm_setzero_si128(), right = _mm_setzero_si128();
        for (int half = 0; half < 2; ++half) {
            const __m128i a = _mm_loadu_si128(s + 2 * half);
            const __m128i b = _mm_loadu_si128(s + 2 * half + 1);
            const __m128i l = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                                              _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
            const __m128i r = _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16));
            const __m128i coefficients = _mm_loadu_si128(c + half);
            left = _mm_add_epi32(left, _mm_madd_epi16(l, coefficients));
            right = _mm_add_epi32(right, _mm_madd_epi16(r, coefficients));
        }
        // [l0 r0 l1 r1] + [l2 r2 l3 r3], then the two halves.
        __m128i lr = _mm_add_epi32(_mm_unpacklo_epi32(left, right), _mm_unpackhi_epi32(left, right));
        lr = _mm_add_epi32(lr, _mm_srli_si128(lr, 8));
        const __m128i v = round_q14(lr);
        const int32_t both = _mm_cvtsi128_si32(_mm_packs_epi32(v, v));
        std::memcpy(dst + 2 * j, &both, sizeof both);
    }
}

}  // namespace zyn

#endif
