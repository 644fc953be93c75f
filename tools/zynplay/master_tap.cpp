#include "master_tap.h"

#include "zyn.h"

#include <atomic>
#include <cmath>
#include <cstdlib>

namespace zynplay {

namespace {

std::atomic<int32_t> peak_since_read{0};
std::atomic<float> pitch_factor{0.0f};

// The shifter's overlap-add of eight Hann windows leaves the signal 1.5 times
// louder; bring it back so that --pitch changes the pitch, not the level.
constexpr int32_t kPitchGainQ15 = 21845;  // 2/3 in Q15

void master_tap(int16_t *samples, int32_t channels, int32_t frames) {
    const int32_t count = frames * channels;
    const float pitch = pitch_factor.load(std::memory_order_relaxed);
    if (pitch > 0.0f) {
        ZYN_PITCHSHIFT(samples, samples, pitch, frames);
        for (int32_t i = 0; i < count; ++i)
            samples[i] = static_cast<int16_t>((samples[i] * kPitchGainQ15) >> 15);
    }
    int32_t peak = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t magnitude = std::abs(static_cast<int32_t>(samples[i]));
        if (magnitude > peak) peak = magnitude;
    }
    int32_t seen = peak_since_read.load(std::memory_order_relaxed);
    while (peak > seen && !peak_since_read.compare_exchange_weak(seen, peak, std::memory_order_relaxed)) {
    }
}

}  // namespace

bool install_master_tap(float pitch) {
    pitch_factor.store(pitch, std::memory_order_relaxed);
    return ZYN_SET_MASTERCALLBACK(master_tap) == 1 && ZYN_ENABLE_MASTERCALLBACK() == 1;
}

int32_t take_peak() { return peak_since_read.exchange(0, std::memory_order_relaxed); }

double LevelMeter::update(int32_t peak, double seconds_elapsed) {
    constexpr double kFallDbPerSecond = 20.0;
    double now = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -90.0;
    double fallen = level_db_ - kFallDbPerSecond * seconds_elapsed;
    level_db_ = now > fallen ? now : fallen;
    if (level_db_ < -90.0) level_db_ = -90.0;
    return level_db_;
}

}  // namespace zynplay
