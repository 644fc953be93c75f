// Measurements of a tone in a signal by FFT: its frequency, its amplitude,
// and how far everything else (noise, distortion, aliases, images) lies
// below it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zyn_test {

struct ToneMeasure {
    double frequency = 0.0;    // Hz, interpolated between bins
    double amplitude = 0.0;    // peak, in the signal's units
    double residual_db = 0.0;  // power of everything but the tone, relative to the tone
};

// Measures the strongest tone over the largest power-of-two stretch from the
// middle of the signal, through a 4-term Blackman-Harris window.
ToneMeasure measure_tone(const std::vector<double> &signal, int32_t rate);

// The lag (-max_lag .. max_lag) at which b best matches a: b[i + lag] ~ a[i].
int32_t best_lag(const std::vector<double> &a, const std::vector<double> &b, int32_t max_lag);

// One channel of interleaved 16-bit samples, as doubles.
std::vector<double> channel_samples(const int16_t *samples, size_t frames, int32_t channels, int32_t channel);

}  // namespace zyn_test
