// The inner loops of fused voice rendering, in several instruction-set
// variants: scale, pan and add one voice's frames straight into the output
// block.
//
// Included by the files compiled with -msse2 / -mavx2, so declarations only
// (see kernel_variants.h for why).
#pragma once

#include <cstdint>

namespace zyn {

// The two fixed-point stages a stereo frame goes through, each with the
// SCALE16 arithmetic (16.16 factors, see scale_factor_fixed): the volume on
// both samples, then the pan gain of each channel. 65536 leaves a sample as
// it is.
struct FusedGains {
    int64_t volume;
    int64_t left;
    int64_t right;
};

// frames stereo frames read contiguously from src, scaled by g; first: the
// result is stored into out, otherwise added to it with 16-bit saturation.
using FusedRun = void (*)(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                          bool first);
// As FusedRun, but output frame j reads the stereo frame at
// origin + ((fraction + j x step) >> 16) frames (forward) or
// origin - ((fraction + j x step) >> 16) frames (backward).
using FusedGather = void (*)(int16_t *out, const int16_t *origin, uint32_t fraction,
                             uint32_t step, bool forward, int32_t frames, const FusedGains &g,
                             bool first);

struct VoiceRenderVariants {
    const char *name;
    FusedRun run;
    FusedGather gather;
};

// Reference forms; the vector forms give exactly their results.
void fused_run_plain(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                     bool first);
void fused_gather_plain(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames, const FusedGains &g, bool first);

#if defined(ZYN_X86_KERNELS)
void fused_run_sse2(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                    bool first);
void fused_gather_sse2(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const FusedGains &g, bool first);
void fused_run_avx2(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                    bool first);
void fused_gather_avx2(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                       bool forward, int32_t frames, const FusedGains &g, bool first);
#endif

// The vector forms take factors in [0, kFusedVectorFactorLimit) and hand
// anything else to the plain form.
constexpr int64_t kFusedVectorFactorLimit = 3 * 65536;

// The set the mixer runs: the one matching the bound COPY/MIX16/SCALE16/PAN16
// set, so ZYN_FORCE_PLAIN=1 rules the vector forms out here too.
const VoiceRenderVariants &bound_voice_variants();

// Every set this processor can run, the plain one first.
int32_t available_voice_variants(const VoiceRenderVariants **sets);

}  // namespace zyn
