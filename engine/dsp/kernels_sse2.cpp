// SSE2 forms of COPY, MIX16, SCALE16 and PAN16, bit-identical to the plain
// ones. Compiled with -msse2 and called only when the processor has SSE2.
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
#include <emmintrin.h>

namespace zyn {
namespace {

constexpr uintptr_t kWidth = 16;

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

// floor(s x (hi x 65536 + lo) / 65536) saturated, for 8 samples at once.
// s x lo / 65536 is taken from an unsigned high product (corrected for the
// sign of s) and s x hi as a 32-bit product; their sum fits 32 bits and
// packs to 16 with saturation.
inline __m128i scale8(__m128i s, __m128i hi, __m128i lo) {
    const __m128i negative = _mm_srai_epi16(s, 15);
    const __m128i frac = _mm_sub_epi16(_mm_mulhi_epu16(s, lo), _mm_and_si128(lo, negative));
    const __m128i plo = _mm_mullo_epi16(s, hi);
    const __m128i phi = _mm_mulhi_epi16(s, hi);
    const __m128i p0 = _mm_unpacklo_epi16(plo, phi);
    const __m128i p1 = _mm_unpackhi_epi16(plo, phi);
    const __m128i f0 = _mm_srai_epi32(_mm_unpacklo_epi16(frac, frac), 16);
    const __m128i f1 = _mm_srai_epi32(_mm_unpackhi_epi16(frac, frac), 16);
    return _mm_packs_epi32(_mm_add_epi32(p0, f0), _mm_add_epi32(p1, f1));
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
    const __m128i hi = _mm_set1_epi32(lane_pair(whole_part(l0), whole_part(l1)));
    const __m128i lo = _mm_set1_epi32(lane_pair(fraction_part(l0), fraction_part(l1)));
    int32_t i = head;
    for (; i + 16 <= samples; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i + 8));
        _mm_store_si128(reinterpret_cast<__m128i *>(dst + i), scale8(a, hi, lo));
        _mm_store_si128(reinterpret_cast<__m128i *>(dst + i + 8), scale8(b, hi, lo));
    }
    for (; i + 8 <= samples; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        _mm_store_si128(reinterpret_cast<__m128i *>(dst + i), scale8(a, hi, lo));
    }
    scale_range(dst, src, even, odd, i, samples);
}

}  // namespace

void copy_sse2(void *dst, const void *src, int32_t bytes) {
    auto *d = static_cast<uint8_t *>(dst);
    const auto *s = static_cast<const uint8_t *>(src);
    const auto n = static_cast<size_t>(bytes);
    // A higher overlapping destination would need a descending copy.
    if (n < 64 || (d > s && d < s + n)) {
        std::memmove(d, s, n);
        return;
    }
    const size_t head = (kWidth - (reinterpret_cast<uintptr_t>(d) & (kWidth - 1))) & (kWidth - 1);
    std::memmove(d, s, head);
    size_t i = head;
    const bool stream = bytes >= kStreamingCopyBytes && !partial_overlap(d, s, n);
    if (stream) {
        for (; i + 64 <= n; i += 64) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i + 32));
            const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i + 48));
            _mm_stream_si128(reinterpret_cast<__m128i *>(d + i), a);
            _mm_stream_si128(reinterpret_cast<__m128i *>(d + i + 16), b);
            _mm_stream_si128(reinterpret_cast<__m128i *>(d + i + 32), c);
            _mm_stream_si128(reinterpret_cast<__m128i *>(d + i + 48), e);
        }
        _mm_sfence();
    } else {
        // Each block is loaded whole before it is stored, so a lower
        // overlapping destination never clobbers source bytes still to read.
        for (; i + 64 <= n; i += 64) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i + 32));
            const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i + 48));
            _mm_store_si128(reinterpret_cast<__m128i *>(d + i), a);
            _mm_store_si128(reinterpret_cast<__m128i *>(d + i + 16), b);
            _mm_store_si128(reinterpret_cast<__m128i *>(d + i + 32), c);
            _mm_store_si128(reinterpret_cast<__m128i *>(d + i + 48), e);
        }
    }
    std::memmove(d + i, s + i, n - i);
}

void mix16_sse2(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes) {
    const int32_t n = bytes / 2;
    const auto span = static_cast<size_t>(n) * 2;
    if (odd_address(dst) || partial_overlap(dst, a, span) || partial_overlap(dst, b, span)) {
        mix16_plain(dst, a, b, bytes);
        return;
    }
    const int32_t head = head_samples(dst, n);
    int32_t i = 0;
    for (; i < head; ++i) dst[i] = saturate_sum(a[i], b[i]);
    for (; i + 16 <= n; i += 16) {
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i + 8));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i + 8));
        _mm_store_si128(reinterpret_cast<__m128i *>(dst + i), _mm_adds_epi16(a0, b0));
        _mm_store_si128(reinterpret_cast<__m128i *>(dst + i + 8), _mm_adds_epi16(a1, b1));
    }
    for (; i + 8 <= n; i += 8) {
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        _mm_store_si128(reinterpret_cast<__m128i *>(dst + i), _mm_adds_epi16(a0, b0));
    }
    for (; i < n; ++i) dst[i] = saturate_sum(a[i], b[i]);
}

void scale16_sse2(int16_t *dst, const int16_t *src, int64_t fixed, int32_t samples) {
    scale_interleaved(dst, src, fixed, fixed, samples);
}

void pan16_sse2(int16_t *dst, const int16_t *src, int64_t left, int64_t right, int32_t frames) {
    scale_interleaved(dst, src, left, right, frames * 2);
}

}  // namespace zyn

#endif
