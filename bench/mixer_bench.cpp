// One 2048-frame stereo fill with 1 to 256 playing sounds, at speed 1.0 and
// at a speed that resamples, every sound with volume 0.8 and pan 0.3, so that
// each runs the copy, scale and pan kernels and the sum adds every block.
//
// The engine is set up as ZYN_INIT would leave it for a two-channel device,
// without a plug-in: the benchmark itself is the device and calls the fill.
// per_step=1 runs every sound through its work buffer (render, scale, pan,
// then the sum), per_step=0 the one-pass fused path the mixer uses on a
// stereo device. BM_FillConverted plays waves made in another format. Which kernel set runs is fixed per process; compare
//     ./mixer_bench            (vector kernels)
//     ZYN_FORCE_PLAIN=1 ./mixer_bench
#include "dsp/kernel_variants.h"
#include "engine_state.h"
#include "lifecycle.h"
#include "mixer.h"
#include "whitebox.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int32_t kFrames = 2048;
constexpr int32_t kChannels = 2;

struct Device {
    std::vector<int16_t> out;
    PlugoutRecord record{};

    Device() : out(static_cast<size_t>(kFrames * kChannels)) {
        zyn::EngineState &e = zyn::engine();
        zyn::EngineLock hold(e.lock);
        zyn::fill_routine_slots(e.slots, kChannels);
        // Open as far as the tables care: waves are stored only while it is.
        e.initialized.store(1);
        e.work_buffer_bytes = kFrames * kChannels * 2 + 512;
        e.max_channels = 256;
        record.buffer = out.data();
        record.buffer_size = kFrames * kChannels * 2;
        record.channels = kChannels;
        record.rate = 44100;
        record.bits = 16;
    }
};

Device &device() {
    static Device d;
    return d;
}

// The formats a wave may have been made in: the device's, and two it may
// have had before a ZYN_INIT in another format (another rate, mono).
struct Made {
    int32_t rate;
    int32_t channels;
};
constexpr Made kMade[] = {{44100, kChannels}, {22050, 2}, {44100, 1}};

// A second of noise in a format, shared by every sound.
int32_t noise_wave(int made = 0) {
    static int32_t waves[3] = {-1, -1, -1};
    if (waves[made] < 0) {
        std::mt19937 rng(7);
        std::vector<int16_t> samples(static_cast<size_t>(kMade[made].rate * kMade[made].channels));
        for (int16_t &s : samples) s = static_cast<int16_t>(static_cast<int32_t>(rng() % 40000) - 20000);
        waves[made] = zyn_test::add_raw_wave(samples, kMade[made].rate, kMade[made].channels);
    }
    return waves[made];
}

void place_sounds(int count, float speed, int made = 0) {
    zyn::EngineState &e = zyn::engine();
    zyn::EngineLock hold(e.lock);
    for (zyn::SoundEntry &row : e.sounds) row.loops = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t row = zyn_test::add_raw_sound(
            noise_wave(made), {.loops = ZYN_LOOP_FOREVER, .speed = speed, .volume = 0.8f, .pan = 0.3f});
        zyn::SoundEntry &s = zyn_test::sound_row(row);
        // no two alike
        s.position = s.loop_start + (i * 997 % kMade[made].rate) * kMade[made].channels;
    }
}

void release_sounds() {
    zyn::EngineState &e = zyn::engine();
    zyn::EngineLock hold(e.lock);
    for (zyn::SoundEntry &row : e.sounds) {
        row.loops = 0;
        row.wave_start = nullptr;
    }
}

void BM_Fill(benchmark::State &state) {
    const int sounds = static_cast<int>(state.range(0));
    const float speed = state.range(1) == 0 ? 1.0f : 1.37f;
    zyn::set_fused_mixing(state.range(2) == 0);
    Device &d = device();
    place_sounds(sounds, speed);
    for (auto _ : state) {
        zyn::fill_block(&d.record);
        benchmark::DoNotOptimize(d.out.data());
        benchmark::ClobberMemory();
    }
    release_sounds();
    zyn::set_fused_mixing(true);
    state.SetLabel(zyn::bound_kernels().name);
    state.counters["voice_frames"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kFrames * sounds, benchmark::Counter::kIsRate);
    state.counters["fills"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Fill)
    ->ArgNames({"sounds", "resampled", "per_step"})
    ->ArgsProduct({{1, 16, 64, 256}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// Sounds of waves made before the device was re-opened in this format, at
// speed 1.0: made:1 at 22050 Hz (read at twice the speed), made:2 mono (fed
// to both sides). They go through their work buffers; compare with per_step:1.
void BM_FillConverted(benchmark::State &state) {
    const int sounds = static_cast<int>(state.range(0));
    Device &d = device();
    place_sounds(sounds, 1.0f, static_cast<int>(state.range(1)));
    for (auto _ : state) {
        zyn::fill_block(&d.record);
        benchmark::DoNotOptimize(d.out.data());
        benchmark::ClobberMemory();
    }
    release_sounds();
    state.counters["voice_frames"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kFrames * sounds, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_FillConverted)
    ->ArgNames({"sounds", "made"})
    ->ArgsProduct({{64, 256}, {1, 2}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
