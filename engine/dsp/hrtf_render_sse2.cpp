// SSE2 form of the binaural inner loop: four frames at once, each lane
// summing its taps in the plain loop's order with separate multiplies and
// adds, so its results are the plain ones bit for bit. Compiled with -msse2
// and reached only through the run-time binding.
#if defined(__x86_64__) || defined(__i386__)

#include "hrtf_render_variants.h"

#include <immintrin.h>

namespace zyn {

void hrtf_mix_sse2(float *stereo, const HrtfRun &r, int32_t first, int32_t frames) {
    const __m128 lanes = _mm_setr_ps(0, 1, 2, 3);
    int32_t i = first;
    for (; i + 4 <= frames; i += 4) {
        const float *x0 = r.x + i - r.delay[0];
        const float *x1 = r.x + i - r.delay[1];
        __m128 y0 = _mm_setzero_ps(), y1 = _mm_setzero_ps();
        if (r.fade) {
            const float *x2 = r.x + i - r.delay[2];
            const float *x3 = r.x + i - r.delay[3];
            __m128 o0 = _mm_setzero_ps(), o1 = _mm_setzero_ps();
            for (int32_t k = 0; k < r.taps; ++k) {
                y0 = _mm_add_ps(y0, _mm_mul_ps(_mm_set1_ps(r.h[0][k]), _mm_loadu_ps(x0 - k)));
                y1 = _mm_add_ps(y1, _mm_mul_ps(_mm_set1_ps(r.h[1][k]), _mm_loadu_ps(x1 - k)));
                o0 = _mm_add_ps(o0, _mm_mul_ps(_mm_set1_ps(r.h[2][k]), _mm_loadu_ps(x2 - k)));
                o1 = _mm_add_ps(o1, _mm_mul_ps(_mm_set1_ps(r.h[3][k]), _mm_loadu_ps(x3 - k)));
            }
            const __m128 index = _mm_add_ps(_mm_set1_ps(static_cast<float>(i)), lanes);
            const __m128 t = _mm_add_ps(_mm_set1_ps(r.t0), _mm_mul_ps(_mm_set1_ps(r.dt), index));
            y0 = _mm_add_ps(o0, _mm_mul_ps(t, _mm_sub_ps(y0, o0)));
            y1 = _mm_add_ps(o1, _mm_mul_ps(t, _mm_sub_ps(y1, o1)));
        } else {
            for (int32_t k = 0; k < r.taps; ++k) {
                y0 = _mm_add_ps(y0, _mm_mul_ps(_mm_set1_ps(r.h[0][k]), _mm_loadu_ps(x0 - k)));
                y1 = _mm_add_ps(y1, _mm_mul_ps(_mm_set1_ps(r.h[1][k]), _mm_loadu_ps(x1 - k)));
            }
        }
        float *out = stereo + 2 * i;
        _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_unpacklo_ps(y0, y1)));
        _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), _mm_unpackhi_ps(y0, y1)));
    }
    if (i < frames) hrtf_mix_plain(stereo, r, i, frames);
}

}  // namespace zyn

#endif
