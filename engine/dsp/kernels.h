// Plain (reference) forms of the variant kernels, and the variant binding.
// The exported kernels of zyn.h check their arguments and then run these.
#pragma once

#include <cstdint>

namespace zyn {

using CopyVariant = void (*)(void *dst, const void *src, int32_t bytes);
using Mix16Variant = void (*)(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes);

// Reference forms; every SIMD variant must give exactly their results.
void copy_plain(void *dst, const void *src, int32_t bytes);
void mix16_plain(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes);

// The forms COPY and MIX16 run; bound once to the best the processor offers.
CopyVariant bound_copy();
Mix16Variant bound_mix16();

// SCALE16's fixed-point factor: the nearest integer to 65536 x factor (ties
// to even), held in a range where sample x factor cannot overflow 64 bits.
int64_t scale_factor_fixed(float factor);

// One sample scaled with the SCALE16 arithmetic.
inline int16_t scale_sample(int32_t sample, int64_t fixed) {
    int64_t p = static_cast<int64_t>(sample) * fixed;
    int64_t q = p >> 16;  // floor division by 65536
    if (q > 32767) return 32767;
    if (q < -32768) return -32768;
    return static_cast<int16_t>(q);
}

// Decoder fixed point (1.0 = 0x10000000) to a 16-bit sample: clip, then floor.
inline int32_t mp3_sample(int32_t x) {
    if (x > 0x0FFFFFFF) return 32767;
    if (x < -0x10000000) return -32768;
    return x >> 13;
}

}  // namespace zyn
