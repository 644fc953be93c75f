// One stereo voice rendered, scaled, panned and summed into the output block
// in a single pass, reading its frames straight from the wave.
#pragma once

#include "resampler.h"
#include "voice_render_variants.h"

#include <cstdint>

namespace zyn {

// Plays frames stereo frames of the region [start, end) from *pos, advancing
// *pos and *loops exactly as COPYRIGHT32 (speed exactly 1.0), COPYSLICERIGHT32
// (speed > 0) or COPYSLICELEFT32 (speed < 0) would for frames x 4 bytes, and
// gives each frame the volume and pan stages of g. first: the voice is the
// block's first contribution and is stored (silence after the last pass
// included); otherwise it is added with 16-bit saturation and the silence
// adds nothing.
//
// At a speed other than exactly 1.0, a mode other than nearest reads the
// wave with that interpolation (resampler.h) and keeps the part of a frame
// the position drops in *fraction (required then), positions and loops
// moving as they do for the nearest frame.
//
// Returns false, touching nothing, where those kernels would not render
// (a speed of 0 or not a number, a missing argument, a step whose whole part
// the kernels keep modulo 2^14 frames): the caller then runs them itself.
bool render_voice_fused(int16_t *out, bool first, const int16_t *start, int16_t **pos,
                        const int16_t *end, int32_t *loops, float speed, const FusedGains &g,
                        int32_t frames, int32_t mode = kResampleNearest,
                        uint32_t *fraction = nullptr);

// The same with the given inner loops (tests compare the variants).
bool render_voice_fused_with(const VoiceRenderVariants &v, int16_t *out, bool first,
                             const int16_t *start, int16_t **pos, const int16_t *end,
                             int32_t *loops, float speed, const FusedGains &g, int32_t frames,
                             int32_t mode = kResampleNearest, uint32_t *fraction = nullptr);

}  // namespace zyn
