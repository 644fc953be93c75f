// AVX2 forms of COPY, MIX16, SCALE16 and PAN16, bit-identical to the plain
// ones. Compiled with -mavx2 and called only when the processor has AVX2 and the
// operating system saves its registers.
//
// Stores are aligned: the unaligned head of the destination and the tail
// that does not fill a whole vector run through scalar loops. When the
// destination partly overlaps a source (not the same block), the plain form
// runs, so every variant gives the same result for every input.
#if defined(__x86_64__) || defined(__i386__)

#include "kernel_variants.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace zyn {
namespace {

constexpr uintptr_t kWidth = 32;

bool partial_overlap(const void *dst, const void *src, size_t bytes) {
    const auto d = reinterpret_cast<uintptr_t>(dst);
    const auto s = reinterpret_cast<uintptr_t>(src);
    return d != s && d < s + bytes && s < d + bytes;
}

// A sample block at an odd address can never reach vector alignment.
bool odd_address(const int16_t *p) { return reinterpret_cast<uintptr_t>(p) & 1; }

// Samples before dst reaches vector alignment.
int32_t head_samples(const int16_t *dst, int32_t samples) {
    const auto d = reinterpret_cast<uintptr_t>(dst);
    const auto head = static_cast<int32_t>(((kWidth - (d & (kWidth - 1))) & (kWidth - 1)) / 2);
    return head < samples ? head : samples;
}

inline int16_t scale_one(int32_t sample, int64_t fixed) {
    const int64_t q = (static_cast<int64_t>(sample) * fixed) >> 16;
    return static_cast<int16_t>(q > 32767 ? 32767 : (q < -32768 ? -32768 : q));
}

inline int16_t saturate_sum(int32_t a, int32_t b) {
    const int32_t s = a + b;
    return static_cast<int16_t>(s > 32767 ? 32767 : (s < -32768 ? -32768 : s));
}

// floor(s x (hi x 65536 + lo) / 65536) saturated, for 16 samples at once.
// Unpacking and packing both work inside each 128-bit lane, so the samples
// come back in their order.
// s x lo / 65536 is taken from an unsigned high product (corrected for the
// sign of s) and s x hi as a 32-bit product; their sum fits 32 bits and
// packs to 16 with saturation.
inline __m256i scale16x(__m256i s, __m256i hi, __m256i lo) {
    const __m256i negative = _mm256_srai_epi16(s, 15);
    const __m256i frac = _mm256_sub_epi16(_mm256_mulhi_epu16(s, lo), _mm256_and_si256(lo, negative));
    const __m256i plo = _mm256_mullo_epi16(s, hi);
    const __m256i phi = _mm256_mulhi_epi16(s, hi);
    const __m256i p0 = _mm256_unpacklo_epi16(plo, phi);
    const __m256i p1 = _mm256_unpackhi_epi16(plo, phi);
    const __m256i f0 = _mm256_srai_epi32(_mm256_unpacklo_epi16(frac, frac), 16);
    const __m256i f1 = _mm256_srai_epi32(_mm256_unpackhi_epi16(frac, frac), 16);
    return _mm256_packs_epi32(_mm256_add_epi32(p0, f0), _mm256_add_epi32(p1, f1));
}

// The vector code splits a factor into a signed 16-bit whole part and a
// 16-bit fraction; larger factors (which saturate nearly every sample) run
// through the scalar loop.
inline bool factor_fits(int64_t fixed) { return fixed >= -2147483648LL && fixed <= 2147483647LL; }

inline int16_t whole_part(int64_t fixed) { return static_cast<int16_t>(fixed >> 16); }
inline int16_t fraction_part(int64_t fixed) { return static_cast<int16_t>(fixed & 0xFFFF); }

// Two 16-bit lanes, first in the lower half: even and odd samples.
inline int32_t lane_pair(int16_t first, int16_t second) {
    return static_cast<int32_t>(static_cast<uint16_t>(first) |
                                (static_cast<uint32_t>(static_cast<uint16_t>(second)) << 16));
}

// Scales samples [from, to) of an interleaved block, factor by sample parity.
void scale_range(int16_t *dst, const int16_t *src, int64_t even, int64_t odd, int32_t from,
                 int32_t to) {
    for (int32_t i = from; i < to; ++i) dst[i] = scale_one(src[i], (i & 1) ? odd : even);
}

void scale_interleaved(int16_t *dst, const int16_t *src, int64_t even, int64_t odd,
                       int32_t samples) {
    if (!factor_fits(even) || !factor_fits(odd) || odd_address(dst) ||
        partial_overlap(dst, src, static_cast<size_t>(samples) * 2)) {
        scale_range(dst, src, even, odd, 0, samples);
        return;
    }
    const int32_t head = head_samples(dst, samples);
    scale_range(dst, src, even, odd, 0, head);
    // Lane 0 of every vector holds sample `head`, so the lanes' parity follows it.
    const bool swap = head & 1;
    const int64_t l0 = swap ? odd : even;
    const int64_t l1 = swap ? even : odd;
    const __m256i hi = _mm256_set1_epi32(lane_pair(whole_part(l0), whole_part(l1)));
    const __m256i lo = _mm256_set1_epi32(lane_pair(fraction_part(l0), fraction_part(l1)));
    int32_t i = head;
    for (; i + 32 <= samples; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i + 16));
        _mm256_store_si256(reinterpret_cast<__m256i *>(dst + i), scale16x(a, hi, lo));
        _mm256_store_si256(reinterpret_cast<__m256i *>(dst + i + 16), scale16x(b, hi, lo));
    }
    for (; i + 16 <= samples; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        _mm256_store_si256(reinterpret_cast<__m256i *>(dst + i), scale16x(a, hi, lo));
    }
    scale_range(dst, src, even, odd, i, samples);
}

}  // namespace

void copy_avx2(void *dst, const void *src, int32_t bytes) {
    auto *d = static_cast<uint8_t *>(dst);
    const auto *s = static_cast<const uint8_t *>(src);
    const auto n = static_cast<size_t>(bytes);
    // A higher overlapping destination would need a descending copy.
    if (n < 128 || (d > s && d < s + n)) {
        std::memmove(d, s, n);
        return;
    }
    const size_t head = (kWidth - (reinterpret_cast<uintptr_t>(d) & (kWidth - 1))) & (kWidth - 1);
    std::memmove(d, s, head);
    size_t i = head;
    const bool stream = bytes >= kStreamingCopyBytes && !partial_overlap(d, s, n);
    if (stream) {
        for (; i + 128 <= n; i += 128) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + i));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + i + 32));
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + i + 64));
            const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + i + 96));
            _mm256_stream_si256(reinterpret_cast<__m256i *>(d + i), a);
            _mm256_stream_si256(reinterpret_cast<__m256i *>(d + i + 32), b);
            _mm256_stream_si256(reinterpret_cast<__m256i *>(d + i + 64), c);
            _mm256_stream_si256(reinterpret_cast<__m256i *>(d + i + 96), e);
        }
        _mm_sfence();
    } else {
        // Each block is loaded whole before it is stored, so a lower
        // overlapping destination never clobbers source bytes still to read.
        for (; i + 128 <= n; i += 128) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + i));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + i + 32));
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + i + 64));
            const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + i + 96));
            _mm256_store_si256(reinterpret_cast<__m256i *>(d + i), a);
            _mm256_store_si256(reinterpret_cast<__m256i *>(d + i + 32), b);
            _mm256_store_si256(reinterpret_cast<__m256i *>(d + i + 64), c);
            _mm256_store_si256(reinterpret_cast<__m256i *>(d + i + 96), e);
        }
    }
    std::memmove(d + i, s + i, n - i);
}

void mix16_avx2(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes) {
    const int32_t n = bytes / 2;
    const auto span = static_cast<size_t>(n) * 2;
    if (odd_address(dst) || partial_overlap(dst, a, span) || partial_overlap(dst, b, span)) {
        mix16_plain(dst, a, b, bytes);
        return;
    }
    const int32_t head = head_samples(dst, n);
    int32_t i = 0;
    for (; i < head; ++i) dst[i] = saturate_sum(a[i], b[i]);
    for (; i + 32 <= n; i += 32) {
        const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + i));
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b + i));
        const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + i + 16));
        const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b + i + 16));
        _mm256_store_si256(reinterpret_cast<__m256i *>(dst + i), _mm256_adds_epi16(a0, b0));
        _mm256_store_si256(reinterpret_cast<__m256i *>(dst + i + 16), _mm256_adds_epi16(a1, b1));
    }
    for (; i + 16 <= n; i += 16) {
        const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + i));
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b + i));
        _mm256_store_si256(reinterpret_cast<__m256i *>(dst + i), _mm256_adds_epi16(a0, b0));
    }
    for (; i < n; ++i) dst[i] = saturate_sum(a[i], b[i]);
}

void scale16_avx2(int16_t *dst, const int16_t *src, int64_t fixed, int32_t samples) {
    scale_interleaved(dst, src, fixed, fixed, samples);
}

void pan16_avx2(int16_t *dst, const int16_t *src, int64_t left, int64_t right, int32_t frames) {
    scale_interleaved(dst, src, left, right, frames * 2);
}

}  // namespace zyn

#endif
