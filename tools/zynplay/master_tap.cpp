#include "master_tap.h"

#include "zyn.h"

#include <atomic>
#include <cmath>
#include <cstdlib>

namespace zynplay {

namespace {

constexpr int32_t kWatchNone = -1;
constexpr int32_t kWatchStream = -2;

std::atomic<int32_t> peak_since_read{0};
std::atomic<float> pitch_factor{0.0f};
std::atomic<int64_t> block_count{0};
std::atomic<int32_t> watched{kWatchNone};
std::atomic<bool> stream_seen{false};
std::atomic<int64_t> ended_at{-1};

// The shifter's overlap-add of eight Hann windows leaves the signal 1.5 times
// louder; bring it back so that --pitch changes the pitch, not the level.
constexpr int32_t kPitchGainQ15 = 21845;  // 2/3 in Q15

void note_end(int64_t block) {
    const int32_t target = watched.load(std::memory_order_acquire);
    if (target == kWatchNone || ended_at.load(std::memory_order_relaxed) >= 0) return;
    if (target == kWatchStream) {
        // The count describes this very block: 0 after 1 means the previous
        // block carried the stream's last data.
        if (ZYN_GET_PLAYINGSTREAMS() == 1) stream_seen.store(true, std::memory_order_relaxed);
        else if (stream_seen.load(std::memory_order_relaxed)) ended_at.store(block - 1, std::memory_order_release);
        return;
    }
    int32_t loops = 1;
    if (ZYN_GET_SOUNDLOOPS(target, &loops) == 1 && loops == 0) ended_at.store(block, std::memory_order_release);
}

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
    note_end(block_count.load(std::memory_order_relaxed));
    block_count.fetch_add(1, std::memory_order_release);
}

void watch(int32_t target) {
    ended_at.store(-1, std::memory_order_relaxed);
    stream_seen.store(false, std::memory_order_relaxed);
    watched.store(target, std::memory_order_release);
}

}  // namespace

bool install_master_tap(float pitch) {
    pitch_factor.store(pitch, std::memory_order_relaxed);
    return ZYN_SET_MASTERCALLBACK(master_tap) == 1 && ZYN_ENABLE_MASTERCALLBACK() == 1;
}

int32_t take_peak() { return peak_since_read.exchange(0, std::memory_order_relaxed); }

int64_t blocks_out() { return block_count.load(std::memory_order_acquire); }
void reset_blocks_out() { block_count.store(0, std::memory_order_release); }

void watch_sound(int32_t sound) { watch(sound); }
void watch_stream() { watch(kWatchStream); }
void watch_nothing() { watch(kWatchNone); }
int64_t end_block() { return ended_at.load(std::memory_order_acquire); }

double LevelMeter::update(int32_t peak, double seconds_elapsed) {
    constexpr double kFallDbPerSecond = 20.0;
    double now = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -90.0;
    double fallen = level_db_ - kFallDbPerSecond * seconds_elapsed;
    level_db_ = now > fallen ? now : fallen;
    if (level_db_ < -90.0) level_db_ = -90.0;
    return level_db_;
}

}  // namespace zynplay
