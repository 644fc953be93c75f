// Decoded MP3 frames into 16-bit samples and into the stream's ring:
// COPYMP3FRAME, COPYSLICEMP3FRAME16/32 and SCALEMP3FRAME_xx_16.
//
// Units are written whole: when a ring is not a multiple of the unit size,
// a unit that would straddle the ring's end starts at the ring's first byte.
#include "kernels.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zyn {
namespace {

template <int U>
struct Ring {
    uint8_t *first;
    uint8_t *last;
    uint8_t *p;

    bool open(void *ring, void **pos, void *ring_end) {
        if (ring == nullptr || pos == nullptr || ring_end == nullptr) return false;
        first = static_cast<uint8_t *>(ring);
        last = static_cast<uint8_t *>(ring_end);
        if (last - first < U) return false;
        p = static_cast<uint8_t *>(*pos);
        if (p < first || p >= last) p = first;
        return true;
    }
    void put(const uint8_t *unit) {
        if (last - p < U) p = first;
        std::memcpy(p, unit, U);
        p += U;
        if (p >= last) p = first;
    }
};

template <int U>
void copy_slice_into_ring(void *ring, void **pos, void *ring_end, const void *src, float speed,
                          int32_t bytes) {
    // A non-positive (or NaN) speed would index before the source.
    if (src == nullptr || !(speed > 0.0f) || bytes < U) return;
    Ring<U> r;
    if (!r.open(ring, pos, ring_end)) return;
    double fixed = static_cast<double>(speed) * 65536.0;
    if (fixed > 2147483647.0) fixed = 2147483647.0;
    const int64_t step = static_cast<int64_t>(std::nearbyint(fixed));
    const auto *source = static_cast<const uint8_t *>(src);
    const int32_t n = bytes / U;
    for (int32_t j = 0; j < n; ++j) {
        const int64_t index = (static_cast<int64_t>(j) * step) >> 16;
        r.put(source + index * U);
    }
    *pos = r.p;
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

void COPYMP3FRAME(void *ring, void **pos, void *ring_end, const void *src, int32_t bytes) {
    if (src == nullptr || bytes < 4) return;
    Ring<4> r;
    if (!r.open(ring, pos, ring_end)) return;
    const auto *source = static_cast<const uint8_t *>(src);
    const int32_t units = bytes / 4;
    for (int32_t i = 0; i < units;) {
        // Whole runs up to the ring's end at a time.
        if (r.last - r.p < 4) r.p = r.first;
        int32_t run = static_cast<int32_t>((r.last - r.p) / 4);
        if (run > units - i) run = units - i;
        std::memcpy(r.p, source + static_cast<size_t>(i) * 4, static_cast<size_t>(run) * 4);
        r.p += static_cast<size_t>(run) * 4;
        if (r.p >= r.last) r.p = r.first;
        i += run;
    }
    *pos = r.p;
}

void COPYSLICEMP3FRAME16(void *ring, void **pos, void *ring_end, const void *src, float speed,
                         int32_t bytes) {
    copy_slice_into_ring<2>(ring, pos, ring_end, src, speed, bytes);
}

void COPYSLICEMP3FRAME32(void *ring, void **pos, void *ring_end, const void *src, float speed,
                         int32_t bytes) {
    copy_slice_into_ring<4>(ring, pos, ring_end, src, speed, bytes);
}

void SCALEMP3FRAME_22_16(int16_t *dst, const int32_t *left, const int32_t *right, int32_t count) {
    if (dst == nullptr || left == nullptr || right == nullptr) return;
    for (int32_t i = 0; i < count; ++i) {
        dst[2 * i] = static_cast<int16_t>(mp3_sample(left[i]));
        dst[2 * i + 1] = static_cast<int16_t>(mp3_sample(right[i]));
    }
}

void SCALEMP3FRAME_21_16(int16_t *dst, const int32_t *left, const int32_t *right, int32_t count) {
    if (dst == nullptr || left == nullptr || right == nullptr) return;
    for (int32_t i = 0; i < count; ++i)
        dst[i] = static_cast<int16_t>((mp3_sample(left[i]) + mp3_sample(right[i])) >> 2);
}

void SCALEMP3FRAME_12_16(int16_t *dst, const int32_t *src, int32_t count) {
    if (dst == nullptr || src == nullptr) return;
    for (int32_t i = 0; i < count; ++i) {
        const auto s = static_cast<int16_t>(mp3_sample(src[i]));
        dst[2 * i] = s;
        dst[2 * i + 1] = s;
    }
}

void SCALEMP3FRAME_11_16(int16_t *dst, const int32_t *src, int32_t count) {
    if (dst == nullptr || src == nullptr) return;
    for (int32_t i = 0; i < count; ++i) dst[i] = static_cast<int16_t>(mp3_sample(src[i]));
}

}  // extern "C"
