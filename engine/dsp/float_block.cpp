#include "float_block.h"

#include "media/saturate.h"

namespace zyn {
namespace {

// The gain of frame i of n, moving from `from` to reach `to` at i = n - 1.
struct Ramp {
    float from, step;
    Ramp(float a, float b, int32_t frames) : from(a), step(frames > 0 ? (b - a) / static_cast<float>(frames) : 0.0f) {}
    float at(int32_t i) const { return from + step * static_cast<float>(i + 1); }
};

inline int16_t sum_rounded(int16_t a, double b, bool first) {
    // NaN never reaches a block: it takes the other contribution alone.
    if (b != b) b = 0.0;
    return round_sample(first ? b : static_cast<double>(a) + b);
}

}  // namespace

void mono_from_block(float *mono, const int16_t *block, int32_t frames, int32_t channels, float from,
                     float to) {
    const Ramp g(from, to, frames);
    if (channels == 2) {
        for (int32_t i = 0; i < frames; ++i)
            mono[i] = g.at(i) * 0.5f * (static_cast<float>(block[2 * i]) + static_cast<float>(block[2 * i + 1]));
    } else if (channels == 1) {
        for (int32_t i = 0; i < frames; ++i) mono[i] = g.at(i) * static_cast<float>(block[i]);
    }
}

void add_to_bus(float *bus, const int16_t *block, int32_t frames, int32_t channels, float from, float to) {
    const Ramp g(from, to, frames);
    if (channels == 2) {
        for (int32_t i = 0; i < frames; ++i)
            bus[i] += g.at(i) * 0.5f * (static_cast<float>(block[2 * i]) + static_cast<float>(block[2 * i + 1]));
    } else if (channels == 1) {
        for (int32_t i = 0; i < frames; ++i) bus[i] += g.at(i) * static_cast<float>(block[i]);
    }
}

void add_float_samples(int16_t *block, const float *src, int32_t samples, bool first) {
    for (int32_t i = 0; i < samples; ++i) block[i] = sum_rounded(block[i], src[i], first);
}

void add_stereo_float(int16_t *block, int32_t channels, const float *stereo, int32_t frames, bool first) {
    if (channels == 2) {
        add_float_samples(block, stereo, 2 * frames, first);
    } else if (channels == 1) {
        for (int32_t i = 0; i < frames; ++i)
            block[i] = sum_rounded(block[i], 0.5 * (static_cast<double>(stereo[2 * i]) + stereo[2 * i + 1]), first);
    }
}

void add_panned(int16_t *stereo, const float *mono, int32_t frames, float left_from, float right_from,
                float left_to, float right_to, bool first) {
    const Ramp l(left_from, left_to, frames), r(right_from, right_to, frames);
    for (int32_t i = 0; i < frames; ++i) {
        stereo[2 * i] = sum_rounded(stereo[2 * i], l.at(i) * mono[i], first);
        stereo[2 * i + 1] = sum_rounded(stereo[2 * i + 1], r.at(i) * mono[i], first);
    }
}

}  // namespace zyn
