// The mix structure's costs, through the public interface on an engine
// opened with ZYN_INIT_RENDER (the benchmark's thread mixes):
//
//   BM_Voices/grouped:0|1  256 looping voices (volume 0.5, pan 0.3) in
//     256-frame blocks; grouped, they are in 8 groups of 32 whose volumes all
//     change before every block. The goal: grouped at most 1.05 x ungrouped.
//   BM_Render60s  60 s of 44.1 kHz stereo with 64 looping voices (half at
//     speed 1.0, half at 0.75), rendered with ZYN_RENDER a second per call:
//     60 s over its CPU time is how much faster than real time (goal 500).
//
// Run both in the same process, so that they see the same machine load
// (bench/run_mix_structure.sh; no counters, so the CSV report stays whole).
#include "zyn.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int32_t kRate = 44100;

int32_t noise_wave() {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    if (ZYN_CREATE_WAVE(kRate, &wave, &samples) != 1) return -1;
    std::mt19937 rng(7);
    for (int32_t i = 0; i < 2 * kRate; ++i) samples[i] = static_cast<int16_t>(static_cast<int32_t>(rng() % 40000) - 20000);
    return wave;
}

void BM_Voices(benchmark::State &state) {
    const bool grouped = state.range(0) != 0;
    constexpr int32_t kVoices = 256, kGroups = 8, kBlock = 256;
    if (ZYN_INIT_RENDER(kRate, 2, kBlock) != 1) {
        state.SkipWithError(ZYN_GET_LASTERROR());
        return;
    }
    ZYN_SET_MAXCHANNELS(256);
    const int32_t wave = noise_wave();
    int32_t groups[kGroups];
    for (int32_t &g : groups) ZYN_CREATE_GROUP(&g);
    for (int32_t i = 0; i < kVoices; ++i) {
        int32_t sound = -1;
        ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.5f, 0.3f, &sound);
        // Each starts elsewhere in the wave, as sounds started at different times do.
        int16_t *start = nullptr;
        ZYN_GET_SOUNDPOINTERS(sound, &start, nullptr, nullptr);
        ZYN_SET_SOUNDPOINTERS(sound, nullptr, start + 2 * (i * 163 % kRate), nullptr);
        if (grouped) ZYN_SET_SOUNDGROUP(sound, groups[i % kGroups]);
    }
    std::vector<int16_t> out(2 * kBlock);
    int64_t block = 0;
    for (auto _ : state) {
        if (grouped)
            for (int32_t g = 0; g < kGroups; ++g)
                ZYN_SET_GROUPVOLUME(groups[g], 0.5f + 0.5f * static_cast<float>((block + g) % 64) / 64.0f);
        ZYN_RENDER(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        ++block;
    }
    ZYN_EXIT();
}
BENCHMARK(BM_Voices)->ArgName("grouped")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Render60s(benchmark::State &state) {
    constexpr int32_t kVoices = 64;
    if (ZYN_INIT_RENDER(kRate, 2, 1024) != 1) {
        state.SkipWithError(ZYN_GET_LASTERROR());
        return;
    }
    const int32_t wave = noise_wave();
    for (int32_t i = 0; i < kVoices; ++i)
        ZYN_PLAY_WAVE(wave, 0, i % 2 == 0 ? 1.0f : 0.75f, 0.2f, static_cast<float>(i % 9 - 4) / 4.0f, nullptr);
    std::vector<int16_t> second(2 * kRate);
    for (auto _ : state) {
        for (int s = 0; s < 60; ++s) ZYN_RENDER(second.data(), kRate);
        benchmark::DoNotOptimize(second.data());
    }
    ZYN_EXIT();
}
BENCHMARK(BM_Render60s)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
