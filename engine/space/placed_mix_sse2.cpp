// SSE2 form of the placement loop: four frames at once, in the plain
// loop's operations and order. Compiled with -msse2 and reached only
// through the run-time binding.
#if defined(__x86_64__) || defined(__i386__)

#include "placed_mix_variants.h"

#include <immintrin.h>

namespace zyn {

void placed_stereo_sse2(const PlacedRun &r, int32_t first, int32_t frames) {
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 lf = _mm_set1_ps(r.left_from), rf = _mm_set1_ps(r.right_from);
    const __m128 sl = _mm_set1_ps(r.left_step), sr = _mm_set1_ps(r.right_step);
    const __m128 lanes = _mm_setr_ps(1, 2, 3, 4);
    int32_t i = first;
    for (; i + 4 <= frames; i += 4) {
        // Frames i .. i + 3 as int32, then floats, then split by side.
        const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i *>(r.in + 2 * i));
        const __m128 a = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(raw, raw), 16));
        const __m128 b = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(raw, raw), 16));
        const __m128 m = _mm_mul_ps(half, _mm_add_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)),
                                                     _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
        const __m128 n = _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lanes);
        const __m128 l = _mm_mul_ps(m, _mm_add_ps(lf, _mm_mul_ps(sl, n)));
        const __m128 g = _mm_mul_ps(m, _mm_add_ps(rf, _mm_mul_ps(sr, n)));
        float *acc = r.acc + 2 * i;
        _mm_storeu_ps(acc, _mm_add_ps(_mm_loadu_ps(acc), _mm_unpacklo_ps(l, g)));
        _mm_storeu_ps(acc + 4, _mm_add_ps(_mm_loadu_ps(acc + 4), _mm_unpackhi_ps(l, g)));
    }
    if (i < frames) placed_stereo_plain(r, i, frames);
}

}  // namespace zyn

#endif
