// The kernels that exist in several instruction-set variants, and the record
// that binds one set of them.
//
// This header is included by the files compiled with -msse2 / -mavx2, so it
// must hold declarations only: an inline function defined here would be
// compiled with those flags too, and the linker could keep that copy for the
// whole library, which would then fault on a processor without the feature.
#pragma once

#include <cstdint>

namespace zyn {

using CopyVariant = void (*)(void *dst, const void *src, int32_t bytes);
using Mix16Variant = void (*)(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes);
// samples 16-bit samples scaled by a 16.16 factor (see scale_factor_fixed).
using Scale16Variant = void (*)(int16_t *dst, const int16_t *src, int64_t fixed, int32_t samples);
// frames stereo frames, the left sample scaled by left, the right by right;
// a factor of 65536 (1.0) copies its channel exactly.
using Pan16Variant = void (*)(int16_t *dst, const int16_t *src, int64_t left, int64_t right,
                              int32_t frames);

struct KernelVariants {
    const char *name;
    CopyVariant copy;
    Mix16Variant mix16;
    Scale16Variant scale16;
    Pan16Variant pan16;
};

// Reference forms; every other variant gives exactly their results.
void copy_plain(void *dst, const void *src, int32_t bytes);
void mix16_plain(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes);
void scale16_plain(int16_t *dst, const int16_t *src, int64_t fixed, int32_t samples);
void pan16_plain(int16_t *dst, const int16_t *src, int64_t left, int64_t right, int32_t frames);

#if defined(ZYN_X86_KERNELS)
void copy_sse2(void *dst, const void *src, int32_t bytes);
void mix16_sse2(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes);
void scale16_sse2(int16_t *dst, const int16_t *src, int64_t fixed, int32_t samples);
void pan16_sse2(int16_t *dst, const int16_t *src, int64_t left, int64_t right, int32_t frames);

void copy_avx2(void *dst, const void *src, int32_t bytes);
void mix16_avx2(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes);
void scale16_avx2(int16_t *dst, const int16_t *src, int64_t fixed, int32_t samples);
void pan16_avx2(int16_t *dst, const int16_t *src, int64_t left, int64_t right, int32_t frames);
#endif

// Copies at or above this size bypass the cache: the destination would only
// push the mixer's working set out of it.
constexpr int32_t kStreamingCopyBytes = 1 << 20;

// The set COPY, MIX16, SCALE16 and PAN16 run: chosen once, on first use, from
// the processor's features (ZYN_FORCE_PLAIN=1 in the environment forces the
// plain set).
const KernelVariants &bound_kernels();

// Every set this processor can run, the plain one first.
int32_t available_kernel_variants(const KernelVariants **sets);

}  // namespace zyn
