// Float blocks between the 16-bit mix and the stages that work in floating
// point: the reverb's send bus and return, binaural voices, and positional
// voices panned by gain. Float samples keep 16-bit units (full scale is
// 32768), so a value converts back by rounding alone.
//
// Gains that change from one block to the next move in a straight line
// across the block, reaching the new value on its last frame, so that a
// source moving block by block changes level without a step.
//
// Mix thread: no allocation, no library call; dst and src never overlap.
#pragma once

#include <cstdint>

namespace zyn {

// mono[i] = gain(i) x the mean of frame i's channels (1 or 2), gain moving
// from `from` to `to`.
void mono_from_block(float *mono, const int16_t *block, int32_t frames, int32_t channels, float from,
                     float to);

// bus[i] += gain(i) x the mean of frame i's channels: one sound's send.
void add_to_bus(float *bus, const int16_t *block, int32_t frames, int32_t channels, float from, float to);

// block[i] = saturate(block[i] + round(src[i])) over samples values; with
// first, the block is overwritten (the first contribution to a mix).
void add_float_samples(int16_t *block, const float *src, int32_t samples, bool first);

// A stereo float block added to a block of channels (1: the mean of left and
// right; 2: as it is), rounded and saturated, or stored when first.
void add_stereo_float(int16_t *block, int32_t channels, const float *stereo, int32_t frames, bool first);

// A mono float block panned into a stereo 16-bit block: left gain moving
// from left_from to left_to, right likewise; rounded and saturated, or
// stored when first.
void add_panned(int16_t *stereo, const float *mono, int32_t frames, float left_from, float right_from,
                float left_to, float right_to, bool first);

}  // namespace zyn
