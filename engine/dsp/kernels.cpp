// Buffer primitives and sample arithmetic: ZERO, ZEROBUFFER, COPY, MIX16,
// SCALE16, PAN16. Plain forms here; COPY and MIX16 run the bound variant.
#include "kernels.h"
#include "zyn.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zyn {

void copy_plain(void *dst, const void *src, int32_t bytes) {
    // memmove copies as an ascending copy does whenever dst lies below src.
    std::memmove(dst, src, static_cast<size_t>(bytes));
}

void mix16_plain(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes) {
    const int32_t n = bytes / 2;
    for (int32_t i = 0; i < n; ++i) {
        int32_t sum = static_cast<int32_t>(a[i]) + b[i];
        dst[i] = static_cast<int16_t>(sum > 32767 ? 32767 : (sum < -32768 ? -32768 : sum));
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
    bound_copy()(dst, src, bytes);
}

void MIX16(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || dst == nullptr || a == nullptr || b == nullptr) return;
    bound_mix16()(dst, a, b, bytes);
}

void SCALE16(int16_t *dst, const int16_t *src, float factor, int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || dst == nullptr || src == nullptr) return;
    const int64_t fixed = scale_factor_fixed(factor);
    const int32_t n = bytes / 2;
    for (int32_t i = 0; i < n; ++i) dst[i] = scale_sample(src[i], fixed);
}

void PAN16(int16_t *dst, const int16_t *src, float left, float right, int32_t bytes) {
    if (bytes <= 0 || (bytes & 1) || dst == nullptr || src == nullptr) return;
    if (left != 1.0f && right != 1.0f) return;
    const int32_t frames = bytes / 4;
    // The channel whose gain is 1.0 is copied; the other one is scaled.
    const int scaled = left == 1.0f ? 1 : 0;
    const int64_t fixed = scale_factor_fixed(scaled ? right : left);
    for (int32_t i = 0; i < frames; ++i) {
        int16_t kept = src[2 * i + (1 - scaled)];
        int16_t moved = scale_sample(src[2 * i + scaled], fixed);
        dst[2 * i + (1 - scaled)] = kept;
        dst[2 * i + scaled] = moved;
    }
}

}  // extern "C"
