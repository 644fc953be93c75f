// AVX2 form of the placement loop: eight frames at once, in the plain
// loop's operations and order. Compiled with -mavx2 and reached only
// through the run-time binding.
#if defined(__x86_64__) || defined(__i386__)

#include "placed_mix_variants.h"

#include <cstddef>
#include <immintrin.h>

namespace zyn {

void placed_stereo_avx2(const PlacedRun &r, int32_t first, int32_t frames) {
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 lf = _mm256_set1_ps(r.left_from), rf = _mm256_set1_ps(r.right_from);
    const __m256 sl = _mm256_set1_ps(r.left_step), sr = _mm256_set1_ps(r.right_step);
    // The in-lane shuffles below leave the frames in the order 0 1 4 5 2 3 6
    // 7; the gains' frame numbers follow it, and the unpacks undo it.
    const __m256 lanes = _mm256_setr_ps(1, 2, 5, 6, 3, 4, 7, 8);
    int32_t i = first;
    for (; i + 8 <= frames; i += 8) {
        const __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(r.in + 2 * i));
        const __m256 a = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_castsi256_si128(raw)));
        const __m256 b = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_extracti128_si256(raw, 1)));
        const __m256 m = _mm256_mul_ps(half, _mm256_add_ps(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
                                                           _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
        const __m256 n = _mm256_add_ps(_mm256_set1_ps(static_cast<float>(i)), lanes);
        const __m256 l = _mm256_mul_ps(m, _mm256_add_ps(lf, _mm256_mul_ps(sl, n)));
        const __m256 g = _mm256_mul_ps(m, _mm256_add_ps(rf, _mm256_mul_ps(sr, n)));
        float *acc = r.acc + 2 * i;
        // Per lane, frames 0 1 | 2 3 and then 4 5 | 6 7, sides interleaved.
        _mm256_storeu_ps(acc, _mm256_add_ps(_mm256_loadu_ps(acc), _mm256_unpacklo_ps(l, g)));
        _mm256_storeu_ps(acc + 8, _mm256_add_ps(_mm256_loadu_ps(acc + 8), _mm256_unpackhi_ps(l, g)));
    }
    if (i < frames) placed_stereo_plain(r, i, frames);
}


namespace {

// Eight frames at a time while they lie within a window of sixteen source
// frames (a step below about 1.86 frames, as the resampler's own vector
// loop): the window's frames as 32-bit [L R] pairs in two registers (and
// the same window one frame on, for each frame's next), each frame's pair
// picked by lane, a x w0 + b x t14 by vpmaddwd against the weights doubled
// in each pair, exact as the plain integers (the frame numbers of the
// gains are exact floats, so stepping them by 8 changes nothing). Returns the frame it stopped
// at (the window would pass the run's frames, or fewer than eight remain).
template <bool kForward>
int32_t linear_windows(const PlacedLinearRun &r, int32_t first, int32_t frames) {
    const uint64_t step = r.step;
    const auto *frames32 = reinterpret_cast<const int32_t *>(r.origin);
    const __m256 scale = _mm256_set1_ps(0x1p-15f);
    const __m256 lf = _mm256_set1_ps(r.left_from), rf = _mm256_set1_ps(r.right_from);
    const __m256 sl = _mm256_set1_ps(r.left_step), sr = _mm256_set1_ps(r.right_step);
    // The lanes hold the frames in the order 0 1 4 5 2 3 6 7, so that the
    // in-lane unpacks of the two sides give the frames in order.
    const __m256i offsets = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7),
                                               _mm256_set1_epi32(static_cast<int32_t>(step)));
    const __m256i low16 = _mm256_set1_epi32(0xFFFF), seven = _mm256_set1_epi32(7);
    const __m256i doubled = _mm256_set1_epi32(0x40004000);  // 16384 in both halves
    __m256 n = _mm256_cvtepi32_ps(
        _mm256_add_epi32(_mm256_set1_epi32(r.at + first), _mm256_setr_epi32(1, 2, 5, 6, 3, 4, 7, 8)));
    const __m256 eight = _mm256_set1_ps(8.0f);
    float *acc = r.acc + 2 * static_cast<ptrdiff_t>(r.at + first);
    uint64_t d = r.fraction + static_cast<uint64_t>(first) * step;
    const int64_t low = r.low, high = r.high;  // no window reaches past the wave
    int32_t j = first;
    for (; j + 8 <= frames; j += 8, d += 8 * step, acc += 16) {
        const auto whole = static_cast<int64_t>(d >> 16);
        const __m256i e = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(d & 0xFFFF)), offsets);
        const int32_t *window = nullptr;
        __m256i index, t;
        if (kForward) {
            if (whole + 16 > high) break;
            window = frames32 + whole;
            index = _mm256_srli_epi32(e, 16);
            t = _mm256_and_si256(e, low16);
        } else {
            // Frames -whole - 14 .. -whole + 1; frame k = -whole - ceil(lane)
            // sits at window index 14 - ceil(lane), fraction (-lane) mod 1.
            if (-whole - 14 < low || -whole + 2 > high) break;
            window = frames32 - whole - 14;
            index = _mm256_sub_epi32(_mm256_set1_epi32(14), _mm256_srli_epi32(_mm256_add_epi32(e, low16), 16));
            t = _mm256_and_si256(_mm256_sub_epi32(_mm256_setzero_si256(), e), low16);
        }
        const auto load = [](const int32_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); };
        const __m256i upper = _mm256_cmpgt_epi32(index, seven);
        const __m256i a = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(load(window), index),
                                             _mm256_permutevar8x32_epi32(load(window + 8), index), upper);
        const __m256i b = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(load(window + 1), index),
                                             _mm256_permutevar8x32_epi32(load(window + 9), index), upper);
        const __m256i t14 = _mm256_srli_epi32(t, 2);
        const __m256i t14s = _mm256_or_si256(t14, _mm256_slli_epi32(t14, 16));
        const __m256i v = _mm256_add_epi32(_mm256_madd_epi16(a, _mm256_sub_epi16(doubled, t14s)),
                                           _mm256_madd_epi16(b, t14s));
        const __m256 m = _mm256_mul_ps(_mm256_cvtepi32_ps(v), scale);
        const __m256 l = _mm256_mul_ps(m, _mm256_add_ps(lf, _mm256_mul_ps(sl, n)));
        const __m256 g = _mm256_mul_ps(m, _mm256_add_ps(rf, _mm256_mul_ps(sr, n)));
        _mm256_storeu_ps(acc, _mm256_add_ps(_mm256_loadu_ps(acc), _mm256_unpacklo_ps(l, g)));
        _mm256_storeu_ps(acc + 8, _mm256_add_ps(_mm256_loadu_ps(acc + 8), _mm256_unpackhi_ps(l, g)));
        n = _mm256_add_ps(n, eight);
    }
    return j;
}

}  // namespace

void placed_linear_avx2(const PlacedLinearRun &r, int32_t first, int32_t frames) {
    int32_t j = first;
    if (static_cast<uint64_t>(r.step) * 7 + 0xFFFF < (uint64_t{14} << 16) && frames - first >= 8)
        j = r.forward ? linear_windows<true>(r, first, frames) : linear_windows<false>(r, first, frames);
    if (j < frames) placed_linear_plain(r, j, frames);
}

}  // namespace zyn

#endif
