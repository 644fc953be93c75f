// AVX2 forms of the interpolating stereo loops, bit-identical to the plain
// ones (resampler_variants.h): every product and sum is exact in 32 bits, so
// vpmaddwd and the order of the additions change nothing. The linear and
// cubic loops take two output frames in each 128-bit lane; the sinc loop
// takes the sixteen taps of one frame in one register pair. Compiled with
// -mavx2 and reached only through the run-time binding.
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
inline __m128i load128(const int16_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

inline __m256i round_q14(__m256i acc) {
    return _mm256_srai_epi32(_mm256_add_epi32(acc, _mm256_set1_epi32(8192)), 14);
}

// Per 128-bit lane: [L0 R0 L1 R1 L2 R2 L3 R3] to [L0 L1 L2 L3 R0 R1 R2 R3].
inline __m256i split_channels(__m256i frames) {
    const __m256i pairs = _mm256_shufflehi_epi16(
        _mm256_shufflelo_epi16(frames, _MM_SHUFFLE(3, 1, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0));
    return _mm256_shuffle_epi32(pairs, _MM_SHUFFLE(3, 1, 2, 0));
}

// Per lane, as the SSE2 form: two frames' [L L R R] sums into [La Ra Lb Rb].
inline __m256i pair_sums(__m256i a, __m256i b) {
    const __m256i lo = _mm256_unpacklo_epi64(a, b);
    const __m256i hi = _mm256_unpackhi_epi64(a, b);
    const __m256i l = _mm256_add_epi32(_mm256_shuffle_epi32(lo, _MM_SHUFFLE(2, 0, 2, 0)),
                                       _mm256_shuffle_epi32(lo, _MM_SHUFFLE(3, 1, 3, 1)));
    const __m256i r = _mm256_add_epi32(_mm256_shuffle_epi32(hi, _MM_SHUFFLE(2, 0, 2, 0)),
                                       _mm256_shuffle_epi32(hi, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm256_unpacklo_epi32(l, r);
}

// Packs [La Ra Lb Rb | Lc Rc Ld Rd] (32-bit) into four frames and stores them.
inline void store_four(int16_t *dst, __m256i v) {
    const __m256i packed = _mm256_packs_epi32(v, v);  // per lane: 4 samples twice
    const __m256i ordered = _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm256_castsi256_si128(ordered));
}

// Eight output frames from a window of sixteen source frames (a, b) in two
// registers: s0 takes window frame index, s1 the frame after it; the pair
// is weighted by (16384 - t14, t14) per frame. Stores the eight frames.
inline void linear_eight(int16_t *dst, __m256i a, __m256i b, __m256i index, __m256i t) {
    const __m256i seven = _mm256_set1_epi32(7);
    const auto pick = [&](__m256i i) {
        return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(a, i), _mm256_permutevar8x32_epi32(b, i),
                                  _mm256_cmpgt_epi32(i, seven));
    };
    const __m256i s0 = pick(index);
    const __m256i s1 = pick(_mm256_add_epi32(index, _mm256_set1_epi32(1)));
    const __m256i t14 = _mm256_srli_epi32(t, 2);
    const __m256i w = _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(16384), t14), _mm256_slli_epi32(t14, 16));
    // Per 128-bit lane: frames 0, 1 (and 4, 5) in low, 2, 3 (6, 7) in high.
    const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(s0, s1), _mm256_unpacklo_epi32(w, w));
    const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(s0, s1), _mm256_unpackhi_epi32(w, w));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst), _mm256_packs_epi32(round_q14(lo), round_q14(hi)));
}

}  // namespace

void stereo_linear_avx2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames) {
    uint64_t d = fraction;
    int32_t j = 0;
    // Eight frames lie within a window of sixteen source frames up to this
    // step (the last one and the frame after it included).
    const bool windowed = static_cast<uint64_t>(step) * 7 + 0xFFFF < (uint64_t{14} << 16);
    if (windowed && frames >= 8) {
        const auto *frames32 = reinterpret_cast<const int32_t *>(origin);
        const __m256i offsets = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                   _mm256_set1_epi32(static_cast<int32_t>(step)));
        // The source frames the run reads, relative to the origin; no window
        // may reach past them.
        const uint64_t last = fraction + static_cast<uint64_t>(frames - 1) * step;
        const int64_t low = forward ? static_cast<int64_t>(fraction >> 16)
                                    : -static_cast<int64_t>((last + 0xFFFF) >> 16);
        const int64_t high = forward ? static_cast<int64_t>(last >> 16) + 1
                                     : -static_cast<int64_t>((fraction + 0xFFFF) >> 16) + 1;
        for (; j + 8 <= frames; j += 8, d += 8 * static_cast<uint64_t>(step)) {
            const auto whole = static_cast<int64_t>(d >> 16);
            const __m256i lanes = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(d & 0xFFFF)), offsets);
            if (forward) {
                if (whole + 15 > high) break;
                const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(frames32 + whole));
                const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(frames32 + whole + 8));
                linear_eight(dst + 2 * j, a, b, _mm256_srli_epi32(lanes, 16),
                             _mm256_and_si256(lanes, _mm256_set1_epi32(0xFFFF)));
            } else {
                // Frames -whole - 14 .. -whole + 1; frame k = -whole - ceil(lane)
                // sits at window index 14 - ceil(lane), fraction (-lane) mod 1.
                if (-whole - 14 < low || -whole + 1 > high) break;
                const int32_t *window = frames32 - whole - 14;
                const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(window));
                const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(window + 8));
                const __m256i up = _mm256_srli_epi32(_mm256_add_epi32(lanes, _mm256_set1_epi32(0xFFFF)), 16);
                linear_eight(dst + 2 * j, a, b, _mm256_sub_epi32(_mm256_set1_epi32(14), up),
                             _mm256_and_si256(_mm256_sub_epi32(_mm256_setzero_si256(), lanes),
                                              _mm256_set1_epi32(0xFFFF)));
            }
        }
    }
    for (; j + 4 <= frames; j += 4) {
        int64_t k[4];
        int32_t w[4];
        for (int i = 0; i < 4; ++i) {
            uint32_t t = 0;
            locate(d + static_cast<uint64_t>(i) * step, forward, &k[i], &t);
            const auto t14 = static_cast<int32_t>(t >> 2);
            w[i] = (16384 - t14) | (t14 << 16);
        }
        d += 4 * static_cast<uint64_t>(step);
        const __m128i low = _mm_unpacklo_epi64(load64(origin + 2 * k[0]), load64(origin + 2 * k[1]));
        const __m128i high = _mm_unpacklo_epi64(load64(origin + 2 * k[2]), load64(origin + 2 * k[3]));
        const __m256i s = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
        const __m256i pairs = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s, _MM_SHUFFLE(3, 1, 2, 0)),
                                                     _MM_SHUFFLE(3, 1, 2, 0));
        const __m256i weights = _mm256_setr_epi32(w[0], w[0], w[1], w[1], w[2], w[2], w[3], w[3]);
        store_four(dst + 2 * j, round_q14(_mm256_madd_epi16(pairs, weights)));
    }
    if (j < frames) {
        uint32_t part = 0;
        const int16_t *rest = rebase(origin, d, forward, &part);
        stereo_linear_plain(dst + 2 * j, rest, part, step, forward, frames - j);
    }
}

void stereo_cubic_avx2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const ResamplerTable &table) {
    uint64_t d = fraction;
    int32_t j = 0;
    for (; j + 4 <= frames; j += 4) {
        int64_t k[4];
        int32_t phase[4];
        for (int i = 0; i < 4; ++i) {
            uint32_t t = 0;
            locate(d + static_cast<uint64_t>(i) * step, forward, &k[i], &t);
            phase[i] = phase_of(t);
        }
        d += 4 * static_cast<uint64_t>(step);
        // Output frames 0 and 1 go to lane 0, frames 2 and 3 to lane 1.
        const auto taps = [&](int i) { return load128(origin + 2 * (k[i] - table.before)); };
        const auto row = [&](int i) {
            const __m128i c = load64(table.coefficients + phase[i] * 4);
            return _mm_unpacklo_epi64(c, c);
        };
        const __m256i fa = split_channels(_mm256_inserti128_si256(_mm256_castsi128_si256(taps(0)), taps(2), 1));
        const __m256i fb = split_channels(_mm256_inserti128_si256(_mm256_castsi128_si256(taps(1)), taps(3), 1));
        const __m256i ca = _mm256_inserti128_si256(_mm256_castsi128_si256(row(0)), row(2), 1);
        const __m256i cb = _mm256_inserti128_si256(_mm256_castsi128_si256(row(1)), row(3), 1);
        store_four(dst + 2 * j, round_q14(pair_sums(_mm256_madd_epi16(fa, ca), _mm256_madd_epi16(fb, cb))));
    }
    if (j < frames) {
        uint32_t part = 0;
        const int16_t *rest = rebase(origin, d, forward, &part);
        stereo_table_plain(dst + 2 * j, rest, part, step, forward, frames - j, table);
    }
}

void stereo_sinc_avx2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                      bool forward, int32_t frames, const ResamplerTable &table) {
    uint64_t d = fraction;
    for (int32_t j = 0; j < frames; ++j, d += step) {
        int64_t k = 0;
        uint32_t t = 0;
        locate(d, forward, &k, &t);
        const auto *s = reinterpret_cast<const __m256i *>(origin + 2 * (k - table.before));
        const __m256i a = _mm256_loadu_si256(s);      // frames 0..7
        const __m256i b = _mm256_loadu_si256(s + 1);  // frames 8..15
        // Per lane: [L0..3 L8..11 | L4..7 L12..15]; the taps are put in the same order.
        const __m256i l = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(a, 16), 16),
                                             _mm256_srai_epi32(_mm256_slli_epi32(b, 16), 16));
        const __m256i r = _mm256_packs_epi32(_mm256_srai_epi32(a, 16), _mm256_srai_epi32(b, 16));
        const __m256i c = _mm256_permute4x64_epi64(
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(table.coefficients + phase_of(t) * 16)),
            _MM_SHUFFLE(3, 1, 2, 0));
        const __m256i left = _mm256_madd_epi16(l, c);
        const __m256i right = _mm256_madd_epi16(r, c);
        // Eight partial sums each: fold to [l r l r] in 128 bits, then to one pair.
        const __m256i lr = _mm256_add_epi32(_mm256_unpacklo_epi32(left, right),
                                            _mm256_unpackhi_epi32(left, right));
        __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(lr), _mm256_extracti128_si256(lr, 1));
        sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 8));
        const __m128i v = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(8192)), 14);
        const int32_t both = _mm_cvtsi128_si32(_mm_packs_epi32(v, v));
        std::memcpy(dst + 2 * j, &both, sizeof both);
    }
}

}  // namespace zyn

#endif
