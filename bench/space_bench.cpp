// The building blocks of positional sound and effects, one block at a time:
// a sound filter, the shared reverb, one binaural source (held and moving,
// per inner-loop variant), and the per-source geometry. Items are frames,
// so items_per_second / 44100 is how many such stages one core runs in real
// time.
#include "dsp/biquad.h"
#include "dsp/float_block.h"
#include "dsp/hrtf.h"
#include "dsp/hrtf_render_variants.h"
#include "dsp/reverb.h"
#include "space/placed_mix_variants.h"
#include "space/source_placement.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 1024;

std::vector<float> noise(size_t n, float amplitude) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    std::vector<float> v(n);
    for (float &x : v) x = d(rng);
    return v;
}

void Biquad(benchmark::State &state) {
    const bool changing = state.range(0) != 0;
    zyn::BiquadSettings a, b;
    zyn::check_biquad(zyn::kBiquadLowPass, 1000.0f, 0.7f, kRate, &a);
    zyn::check_biquad(zyn::kBiquadLowPass, 3000.0f, 0.7f, kRate, &b);
    zyn::BiquadFilter f;
    f.set(a, kRate);
    const std::vector<float> n = noise(2 * kBlock, 8000.0f);
    std::vector<int16_t> block(2 * kBlock);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int16_t>(n[i]);
    int64_t count = 0;
    for (auto _ : state) {
        if (changing) f.set(++count % 2 ? b : a, kRate);  // a ramp over the block's first 220 frames
        f.process(block.data(), kBlock, 2);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(Biquad)->ArgName("changing")->Arg(0)->Arg(1);

void Reverb(benchmark::State &state) {
    zyn::Reverb r;
    r.configure(kRate, kBlock);
    zyn::ReverbSettings s;
    zyn::check_reverb(0.6f, 0.5f, 1.0f, 0.5f, &s);
    r.set(s);
    const std::vector<float> in = noise(kBlock, 4000.0f);
    std::vector<float> out(2 * kBlock);
    for (auto _ : state) {
        r.process(in.data(), out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(Reverb);

// The sends of 64 stereo sounds summed into the bus, as the mix will.
void ReverbSends64(benchmark::State &state) {
    std::vector<int16_t> block(2 * kBlock);
    const std::vector<float> n = noise(2 * kBlock, 8000.0f);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int16_t>(n[i]);
    std::vector<float> bus(kBlock);
    for (auto _ : state) {
        std::fill(bus.begin(), bus.end(), 0.0f);
        for (int s = 0; s < 64; ++s) zyn::add_to_bus(bus.data(), block.data(), kBlock, 2, 0.3f, 0.3f);
        benchmark::DoNotOptimize(bus.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(ReverbSends64);

const zyn::HrtfSet *hrtf_set() {
    static const std::unique_ptr<zyn::HrtfSet> set = [] {
        std::string why;
        std::unique_ptr<zyn::HrtfSet> s = zyn::load_hrtf("default", kRate, 0, &why);
        if (!s) std::fprintf(stderr, "space_bench: no HRTF set: %s\n", why.c_str());
        return s;
    }();
    return set.get();
}

// One source's block through the bound inner loop, its direction held or
// turning 2 degrees a block (a cross-fade every block).
void HrtfSource(benchmark::State &state) {
    const zyn::HrtfSet *set = hrtf_set();
    if (set == nullptr) {
        state.SkipWithError("no SOFA file");
        return;
    }
    const bool moving = state.range(0) != 0;
    const std::vector<float> in = noise(kBlock, 4000.0f);
    std::vector<float> out(2 * kBlock);
    zyn::HrtfVoice voice;
    double angle = 0.0;
    for (auto _ : state) {
        if (moving) angle += 2.0 * 3.14159265 / 180.0;
        const zyn::HrtfDirection d{static_cast<float>(std::sin(angle)), 0.0f, static_cast<float>(std::cos(angle))};
        zyn::render_hrtf(*set, voice, d, in.data(), kBlock, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.SetLabel(zyn::bound_hrtf_variants().name);
}
BENCHMARK(HrtfSource)->ArgName("moving")->Arg(0)->Arg(1);

// The inner loop alone, per variant and number of taps, cross-fading.
void register_hrtf_variants() {
    const zyn::HrtfVariants *sets = nullptr;
    const int32_t count = zyn::available_hrtf_variants(&sets);
    for (int32_t i = 0; i < count; ++i) {
        const zyn::HrtfVariants v = sets[i];
        for (int taps : {16, 32, 64}) {
            benchmark::RegisterBenchmark(("HrtfFade/" + std::string(v.name) + "/taps:" + std::to_string(taps)).c_str(),
                                         [v, taps](benchmark::State &state) {
                                             const std::vector<float> in = noise(zyn::kHrtfHistory + kBlock, 4000.0f);
                                             const std::vector<float> h = noise(4 * zyn::kHrtfMaxTaps, 0.5f);
                                             std::vector<float> out(2 * kBlock);
                                             zyn::HrtfRun run{};
                                             run.x = in.data() + zyn::kHrtfHistory;
                                             for (int k = 0; k < 4; ++k) {
                                                 run.h[k] = h.data() + k * zyn::kHrtfMaxTaps;
                                                 run.delay[k] = 3 * k;
                                             }
                                             run.taps = taps;
                                             run.fade = true;
                                             run.dt = 1.0f / kBlock;
                                             run.t0 = run.dt;
                                             for (auto _ : state) {
                                                 v.mix(out.data(), run, 0, kBlock);
                                                 benchmark::DoNotOptimize(out.data());
                                             }
                                             state.SetItemsProcessed(state.iterations() * kBlock);
                                         });
        }
    }
}

// A positional sound read straight into the sum (linear, a Doppler-shifted
// speed), per variant: the inner loop of scene p of bench/run_space.sh.
void register_placed_linear_variants() {
    const zyn::PlacedVariants *sets = nullptr;
    const int32_t count = zyn::available_placed_variants(&sets);
    for (int32_t i = 0; i < count; ++i) {
        const zyn::PlacedVariants v = sets[i];
        benchmark::RegisterBenchmark(("PlacedLinear/" + std::string(v.name)).c_str(), [v](benchmark::State &state) {
            std::mt19937 rng(3);
            std::uniform_int_distribution<int> sample(-20000, 20000);
            std::vector<int16_t> wave(4 * kBlock + 64);
            for (int16_t &x : wave) x = static_cast<int16_t>(sample(rng));
            std::vector<float> bus(2 * kBlock);
            const zyn::PlacedLinearRun run{bus.data(), wave.data(), 1234, 68813, true, 0,
                                           static_cast<int64_t>(wave.size() / 2) - 1, 0,
                                           0.3f, 0.5f, 1e-5f, -1e-5f};  // a speed of 1.05
            for (auto _ : state) {
                v.linear(run, 0, kBlock);
                benchmark::DoNotOptimize(bus.data());
            }
            state.SetItemsProcessed(state.iterations() * kBlock);
        });
    }
}

// The geometry of 256 sources for one block.
void Placement256(benchmark::State &state) {
    zyn::space::Listener listener;
    std::vector<zyn::space::Vec3> positions(256), velocities(256);
    for (int i = 0; i < 256; ++i) {
        const double a = i * 0.1;
        positions[static_cast<size_t>(i)] = zyn::space::Vec3{10 * std::cos(a), 1.0, 10 * std::sin(a)};
        velocities[static_cast<size_t>(i)] = zyn::space::Vec3{-std::sin(a), 0.0, std::cos(a)};
    }
    for (auto _ : state) {
        for (int i = 0; i < 256; ++i)
            benchmark::DoNotOptimize(zyn::space::place_source(listener, zyn::space::Doppler{}, zyn::space::DistanceModel{},
                                                             positions[static_cast<size_t>(i)],
                                                             velocities[static_cast<size_t>(i)]));
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(Placement256);

}  // namespace

int main(int argc, char **argv) {
    register_hrtf_variants();
    register_placed_linear_variants();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
