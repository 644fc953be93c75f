// AVX2 form of the binaural inner loop: eight frames at once, each lane
// summing its taps in the plain loop's order with separate multiplies and
// adds (this file is built without FMA), so its results are the plain ones
// bit for bit. Compiled with -mavx2 and reached only through the run-time
// binding.
#if defined(__x86_64__) || defined(__i386__)

#include "hrtf_render_variants.h"

#include <immintrin.h>

namespace zyn {

void hrtf_mix_avx2(float *stereo, const HrtfRun &r, int32_t first, int32_t frames) {
    const __m256 lanes = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    int32_t i = first;
    for (; i + 8 <= frames; i += 8) {
        const float *x0 = r.x + i - r.delay[0];
        const float *x1 = r.x + i - r.delay[1];
        __m256 y0 = _mm256_setzero_ps(), y1 = _mm256_setzero_ps();
        if (r.fade) {
            const float *x2 = r.x + i - r.delay[2];
            const float *x3 = r.x + i - r.delay[3];
            __m256 o0 = _mm256_setzero_ps(), o1 = _mm256_setzero_ps();
            for (int32_t k = 0; k < r.taps; ++k) {
                y0 = _mm256_add_ps(y0, _mm256_mul_ps(_mm256_set1_ps(r.h[0][k]), _mm256_loadu_ps(x0 - k)));
                y1 = _mm256_add_ps(y1, _mm256_mul_ps(_mm256_set1_ps(r.h[1][k]), _mm256_loadu_ps(x1 - k)));
                o0 = _mm256_add_ps(o0, _mm256_mul_ps(_mm256_set1_ps(r.h[2][k]), _mm256_loadu_ps(x2 - k)));
                o1 = _mm256_add_ps(o1, _mm256_mul_ps(_mm256_set1_ps(r.h[3][k]), _mm256_loadu_ps(x3 - k)));
            }
            const __m256 index = _mm256_add_ps(_mm256_set1_ps(static_cast<float>(i)), lanes);
            const __m256 t = _mm256_add_ps(_mm256_set1_ps(r.t0), _mm256_mul_ps(_mm256_set1_ps(r.dt), index));
            y0 = _mm256_add_ps(o0, _mm256_mul_ps(t, _mm256_sub_ps(y0, o0)));
            y1 = _mm256_add_ps(o1, _mm256_mul_ps(t, _mm256_sub_ps(y1, o1)));
        } else {
            for (int32_t k = 0; k < r.taps; ++k) {
                y0 = _mm256_add_ps(y0, _mm256_mul_ps(_mm256_set1_ps(r.h[0][k]), _mm256_loadu_ps(x0 - k)));
                y1 = _mm256_add_ps(y1, _mm256_mul_ps(_mm256_set1_ps(r.h[1][k]), _mm256_loadu_ps(x1 - k)));
            }
        }
        // [L0 R0 L1 R1 | L4 R4 L5 R5] and [L2 R2 L3 R3 | L6 R6 L7 R7]
        const __m256 lo = _mm256_unpacklo_ps(y0, y1);
        const __m256 hi = _mm256_unpackhi_ps(y0, y1);
        float *out = stereo + 2 * i;
        _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(out), _mm256_permute2f128_ps(lo, hi, 0x20)));
        _mm256_storeu_ps(out + 8, _mm256_add_ps(_mm256_loadu_ps(out + 8), _mm256_permute2f128_ps(lo, hi, 0x31)));
    }
    if (i < frames) hrtf_mix_plain(stereo, r, i, frames);
}

}  // namespace zyn

#endif
