// A positional sound played straight into the positional sum: when nothing
// stands between its playback and its place (a stereo wave in the device's
// format read between frames by the linear resampler, no filter, callback
// or moving gain, a stereo device without HRTF), one pass reads the wave,
// mixes each source frame pair down to mono, interpolates that once and adds
// it with the ramped side gains into the float sum. The sound's position,
// fraction and loop count move exactly as play_interpolated moves them (the
// same region walker); the samples differ from the two-stage path only by
// that path's rounding of each channel to 16 bits before the mix-down.
#pragma once

#include "placed_mix_variants.h"

#include <cstdint>

namespace zyn {

// The side gains of a placed block: frame i (from 0) gets from + step x (i + 1).
struct PlacedGains {
    float left_from, right_from, left_step, right_step;
};

// frames frames of the stereo wave [start, end) at speed into acc (stereo,
// the block's first placed frame), moving *pos, *loops and *fraction as
// play_interpolated would. False, touching nothing, for what that would not
// play itself (a missing argument, a speed of 0 or NaN, frames <= 0, a step
// that wraps) and for an empty region: the caller takes the two-stage path.
bool place_linear_playback(const PlacedVariants &v, float *acc, const PlacedGains &g, const int16_t *start,
                           int16_t **pos, const int16_t *end, int32_t *loops, uint32_t *fraction, float speed,
                           int32_t frames);

}  // namespace zyn
