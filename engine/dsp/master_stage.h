// The master stage: master volume and the ten peaking-filter bands that the
// mixer runs on every finished block.
#pragma once

#include "engine_state.h"

#include <cstdint>

namespace zyn {

// The stored master volume for a requested one: 0.0, or 0.001 .. 2.0.
float clamp_master_volume(float volume);

// Designs band as a peaking equaliser at centre Hz for a sample rate of rate
// Hz: the response is A^2 at the centre (A = 10^(gain / 20)) and 1 at 0 Hz;
// bandwidth in octaves. Clears the history; leaves enabled as it is.
void design_peak_filter(MasterFilter &band, float centre, float gain, float bandwidth, float rate);

// One band over bytes / 2 mono samples, or over bytes / 4 stereo frames with
// a history per channel. Output saturates to 16 bits; dst may equal src.
void filter_mono(int16_t *dst, const int16_t *src, MasterFilter *band, int32_t bytes);
void filter_stereo(int16_t *dst, const int16_t *src, MasterFilter *band, int32_t bytes);

}  // namespace zyn
