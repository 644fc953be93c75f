// Float samples (full scale +-1.0) to the engine's 16-bit samples.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn {

// x * 32768 rounded to the nearest integer (ties to even) and clipped to
// -32768 .. 32767, so a 16-bit source comes back bit for bit and a float
// source beyond full scale clips instead of wrapping. NaN becomes 0.
void float_to_int16(const float *in, int16_t *out, size_t count);

}  // namespace zyn
