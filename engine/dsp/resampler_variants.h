// The inner loops of interpolated playback, in several instruction-set
// variants. Included by the files compiled with -msse2 / -mavx2, so
// declarations and plain data only (see kernel_variants.h for why).
//
// Every variant computes, for output frame j of a stereo run, the source
// position origin +- (fraction + j x step) / 65536 frames, splits it into a
// frame k and a fraction t (0..65535 towards the direction of increasing
// addresses) and forms each channel in fixed point:
//   linear: (s[k] x (16384 - t14) + s[k+1] x t14 + 8192) >> 14, t14 = t >> 2
//   table:  (sum over m of c[phase][m] x s[k + m - before] + 8192) >> 14,
//           phase = (t + 16) >> 5 (0..2048), c in Q14
// saturated to 16 bits. Integer sums do not depend on their order, so the
// vector forms give exactly the plain results. Callers guarantee that every
// tap lies inside the source (the edges of a region go through the plain,
// wrapping form in resampler.cpp).
#pragma once

#include <cstdint>

namespace zyn {

constexpr int kResamplerPhases = 2048;  // table rows are kResamplerPhases + 1

// A polyphase table: taps coefficients per phase, the first applying to frame
// k - before.
struct ResamplerTable {
    const int16_t *coefficients;  // (kResamplerPhases + 1) x taps
    int32_t taps;
    int32_t before;
};

using StereoLinear = void (*)(int16_t *dst, const int16_t *origin, uint32_t fraction,
                              uint32_t step, bool forward, int32_t frames);
using StereoTable = void (*)(int16_t *dst, const int16_t *origin, uint32_t fraction,
                             uint32_t step, bool forward, int32_t frames,
                             const ResamplerTable &table);

struct ResamplerVariants {
    const char *name;
    StereoLinear linear;
    StereoTable cubic;  // 4 taps
    StereoTable sinc;   // 16 taps
};

void stereo_linear_plain(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                         bool forward, int32_t frames);
void stereo_table_plain(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames, const ResamplerTable &table);

#if defined(ZYN_X86_KERNELS)
void stereo_linear_sse2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames);
void stereo_cubic_sse2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const ResamplerTable &table);
void stereo_sinc_sse2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                      bool forward, int32_t frames, const ResamplerTable &table);
void stereo_linear_avx2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames);
void stereo_cubic_avx2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const ResamplerTable &table);
void stereo_sinc_avx2(int16_t *dst, const int16_t *origin, uint32_t fraction, uint32_t step,
                      bool forward, int32_t frames, const ResamplerTable &table);
#endif

// The set the mixer runs (follows the bound kernel set, ZYN_FORCE_PLAIN included).
const ResamplerVariants &bound_resampler_variants();
// Every set this processor can run, the plain one first.
int32_t available_resampler_variants(const ResamplerVariants **sets);

}  // namespace zyn
