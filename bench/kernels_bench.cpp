// The kernels that exist in several variants, each variant on one mixer
// block (2048 stereo frames, 8192 bytes), in one run for a direct comparison.
#include "dsp/kernel_variants.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t kSamples = 2048 * 2;

struct Blocks {
    std::vector<int16_t> a, b, out;
    Blocks() : a(kSamples), b(kSamples), out(kSamples) {
        std::mt19937 rng(3);
        for (int16_t &s : a) s = static_cast<int16_t>(rng());
        for (int16_t &s : b) s = static_cast<int16_t>(rng());
    }
};

Blocks &blocks() {
    static Blocks b;
    return b;
}

template <typename Run>
void bench(benchmark::State &state, Run run) {
    Blocks &b = blocks();
    for (auto _ : state) {
        run(b);
        benchmark::DoNotOptimize(b.out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSamples * 2);
}

void register_all() {
    const zyn::KernelVariants *sets = nullptr;
    const int32_t count = zyn::available_kernel_variants(&sets);
    for (int32_t i = 0; i < count; ++i) {
        const zyn::KernelVariants v = sets[i];
        const std::string n = v.name;
        benchmark::RegisterBenchmark(("COPY/" + n).c_str(), [v](benchmark::State &s) {
            bench(s, [&](Blocks &b) { v.copy(b.out.data(), b.a.data(), kSamples * 2); });
        });
        benchmark::RegisterBenchmark(("MIX16/" + n).c_str(), [v](benchmark::State &s) {
            bench(s, [&](Blocks &b) { v.mix16(b.out.data(), b.a.data(), b.b.data(), kSamples * 2); });
        });
        benchmark::RegisterBenchmark(("SCALE16/" + n).c_str(), [v](benchmark::State &s) {
            bench(s, [&](Blocks &b) { v.scale16(b.out.data(), b.a.data(), 52429, kSamples); });
        });
        benchmark::RegisterBenchmark(("PAN16/" + n).c_str(), [v](benchmark::State &s) {
            bench(s, [&](Blocks &b) { v.pan16(b.out.data(), b.a.data(), 45875, 65536, kSamples / 2); });
        });
    }
}

}  // namespace

int main(int argc, char **argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
