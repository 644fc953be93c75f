#include "sample_convert.h"

#include <cmath>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace zyn {

void float_to_int16(const float *in, int16_t *out, size_t count) {
    size_t i = 0;
#ifdef __SSE2__
    // cvtps rounds to nearest even under the default rounding mode. Values
    // past the int32 range would convert to INT32_MIN, so they are clamped
    // first, and NaN (which min and max pass through unordered) is masked to
    // zero before that.
    const __m128 scale = _mm_set1_ps(32768.0f);
    const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    for (; i + 8 <= count; i += 8) {
        __m128 a = _mm_loadu_ps(in + i);
        __m128 b = _mm_loadu_ps(in + i + 4);
        a = _mm_and_ps(_mm_mul_ps(a, scale), _mm_cmpord_ps(a, a));
        b = _mm_and_ps(_mm_mul_ps(b, scale), _mm_cmpord_ps(b, b));
        a = _mm_min_ps(_mm_max_ps(a, low), high);
        b = _mm_min_ps(_mm_max_ps(b, low), high);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                         _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)));
    }
#endif
    for (; i < count; ++i) {
        const float x = in[i] * 32768.0f;
        if (!(x > -32768.0f)) out[i] = std::isnan(x) ? 0 : -32768;
        else if (x >= 32767.0f) out[i] = 32767;
        else out[i] = static_cast<int16_t>(std::lrint(x));
    }
}

}  // namespace zyn
