// The phase-vocoder pitch shifter: one mono and one stereo form, each with a
// history per calling thread, and the 1024-point transform they share.
#pragma once

#include <cstdint>

namespace zyn {

// Shifts count frames of src by the frequency factor pitch into dst (which may
// be src). The output lags the input by 1024 frames. rate fixes the bin width
// on the thread's first call only. pitch <= 0, NaN or infinite does nothing.
void pitch_shift_mono(int16_t *dst, const int16_t *src, float pitch, float rate, int32_t count);
void pitch_shift_stereo(int16_t *dst, const int16_t *src, float pitch, float rate, int32_t count);

// In-place complex transform of 1024 points (real part first); sign -1
// forward, +1 inverse; unnormalised.
void fft_1024(float *buffer, int32_t sign);

}  // namespace zyn
