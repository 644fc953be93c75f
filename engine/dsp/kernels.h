// Sample arithmetic shared by the plain kernels. Not to be included by the
// files compiled with instruction-set flags (see kernel_variants.h).
#pragma once

#include "kernel_variants.h"

#include <cstdint>

namespace zyn {

// SCALE16's fixed-point factor: the nearest integer to 65536 x factor (ties
// to even), held in a range where sample x factor cannot overflow 64 bits.
// Not-a-number scales to silence.
int64_t scale_factor_fixed(float factor);

// One sample scaled with the SCALE16 arithmetic: floor(sample x fixed / 65536),
// saturated to 16 bits.
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
