// The inner loop of binaural rendering, in several instruction-set
// variants. Included by the files compiled with -msse2 / -mavx2, so
// declarations and plain data only (see kernel_variants.h for why).
//
// For each frame i of a run, each ear e (0 left, 1 right) gets
//   new_e = sum over k = 0 .. taps - 1, in that order, of h[e][k] x x[i - delay[e] - k]
//   old_e = the same with h[2 + e] and delay[2 + e]   (only when fading)
//   y_e   = fade ? old_e + t x (new_e - old_e) : new_e,   t = t0 + dt x float(i)
// and stereo[2i + e] += y_e. Single-precision products and sums in exactly
// that order, with no fused multiply-add, so every variant gives the plain
// results bit for bit.
#pragma once

#include <cstdint>

namespace zyn {

struct HrtfRun {
    const float *x;     // x[i]: input frame i of the run; readable back to x[-kHrtfHistory]
    const float *h[4];  // new left, new right, old left, old right
    int32_t delay[4];
    int32_t taps;
    bool fade;
    float t0, dt;
};

// Frames first .. frames - 1 of a run.
using HrtfMixVariant = void (*)(float *stereo, const HrtfRun &run, int32_t first, int32_t frames);

struct HrtfVariants {
    const char *name;
    HrtfMixVariant mix;
};

void hrtf_mix_plain(float *stereo, const HrtfRun &run, int32_t first, int32_t frames);
#if defined(ZYN_X86_KERNELS)
void hrtf_mix_sse2(float *stereo, const HrtfRun &run, int32_t first, int32_t frames);
void hrtf_mix_avx2(float *stereo, const HrtfRun &run, int32_t first, int32_t frames);
#endif

// The set the mix runs (follows the bound kernel set, ZYN_FORCE_PLAIN included).
const HrtfVariants &bound_hrtf_variants();
// Every set this processor can run, the plain one first.
int32_t available_hrtf_variants(const HrtfVariants **sets);

}  // namespace zyn
