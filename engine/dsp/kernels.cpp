// Buffer primitives and sample arithmetic: ZERO, ZEROBUFFER, COPY, MIX16,
// SCALE16, PAN16. The plain forms live here; COPY, MIX16, SCALE16 and PAN16
// run the variant set bound for this processor.
#include "kernels.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zyn {

void copy_plain(void *dst, const void *src, int32_t bytes) {
    // memmove gives the result of an ascending copy whenever dst lies below
    // src, and stays correct for the overlap the kernel does not promise.
    std::memmove(dst, src, static_cast<size_t>(bytes));
}

void mix16_plain(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes) {
    const int32_t n = bytes / 2;
    for (int32_t i = 0; i < n; ++i) {
        int32_t sum = static_cast<int32_t>(a[i]) + b[i];
        dst[i] = static_cast<int16_t>(sum > 32767 ? 32767 : (sum < -32768 ? -32768 : sum));
    }
}

void scale16_plain(int16_t *dst, const int16_t *src, int64_t fixed, int32_t samples) {
    for (int32_t i = 0; i < samples; ++i) dst[i] = scale_sample(src[i], fixed);
}

void pan16_plain(int16_t *dst, const int16_t *src, int64_t left, int64_t right, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
        const int16_t l = scale_sample(src[2 * i], left);
        const int16_t r = scale_sample(src[2 * i + 1], right);
        dst[2 * i] = l;
        dst[2 * i + 1] = r;
    }
}

int64_t scale_factor_fixed(float factor) {
    if (std::isnan(factor)) return 0;
    // Beyond 2^24 x 65536 every non-zero sample saturates anyway.
    double fixed = static_cast<double>(factor) * 65536.0;
    if (fixed > 1099511627776.0) fixed = 1099511627776.0;
    if (fixed < -1099511627776.0) fixed = -1099511627776.0;
    return static_cast<int64_t>(std::nearbyint(fixed));
}

}  // namespace zyn

using namespace zyn;

extern "C" {

void ZERO(void *dst, int32_t bytes) {
    if (bytes <= 1 || dst == nullptr) return;
    std::memset(dst, 0, static_cast<size_t>(bytes));
}

void ZEROBUFFER(void *ring, void **pos, void *ring_end, int32_t bytes) {
    if (bytes <= 0 || ring == nullptr || pos == nullptr) return;
    auto *first = static_cast<uint8_t *>(ring);
    auto *last = static_cast<uint8_t *>(ring_end);
    if (last <= first) return;
    // A position outside the ring would have the first byte written there.
    auto *p = static_cast<uint8_t *>(*pos);
    if (p < first || p >= last) p = first;
    while (bytes > 0) {
        int32_t run = static_cast<int32_t>(last - p);
        if (run > bytes) run = bytes;
        std::memset(p, 0, static_cast<size_t>(run));
        p += run;
        bytes -= run;
        if (p >= last) p = first;
    }
    *pos = p;
}

void COPY(void *dst, const void *src, int32_t bytes) {
    if (bytes <= 1 || dst == nullptr || src == nullptr) return;
    bound_kernels().copy(dst, src, bytes);
}

void MIX16(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || dst == nullptr || a == nullptr || b == nullptr) return;
    bound_kernels().mix16(dst, a, b, bytes);
}

void SCALE16(int16_t *dst, const int16_t *src, float factor, int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || dst == nullptr || src == nullptr) return;
    bound_kernels().scale16(dst, src, scale_factor_fixed(factor), bytes / 2);
}

void PAN16(int16_t *dst, const int16_t *src, float left, float right, int32_t bytes) {
    if (bytes <= 0 || (bytes & 1) || dst == nullptr || src == nullptr) return;
    if (left != 1.0f && right != 1.0f) return;
    // The channel whose gain is 1.0 is copied (a factor of exactly 65536
    // reproduces every sample); only the other one is scaled.
    constexpr int64_t kUnit = 65536;
    const int64_t l = left == 1.0f ? kUnit : scale_factor_fixed(left);
    const int64_t r = left == 1.0f ? scale_factor_fixed(right) : kUnit;
    bound_kernels().pan16(dst, src, l, r, bytes / 4);
}

}  // extern "C"
