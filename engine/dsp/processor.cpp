// Processor detection and the processor queries ISFPU ... IS3DNOW2, MHZ and
// CPUCOUNTER.
//
// On x86 the identification instruction always exists, so the floating-point
// unit is taken for granted and the other flags come from its feature leaves.
// Elsewhere only `fpu` is set and the counter is derived from the timer.
#include "processor.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <atomic>
#include <cmath>
#include <ctime>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define ZYN_X86 1
#endif

namespace zyn {
namespace {

// CPUCOUNTER promises never to go backwards, also when the thread moves to a
// core whose counter lags a little: it never returns less than it returned before.
std::atomic<uint64_t> g_last_count{0};

uint64_t never_below_last(uint64_t now) {
    uint64_t last = g_last_count.load(std::memory_order_relaxed);
    while (now > last &&
           !g_last_count.compare_exchange_weak(last, now, std::memory_order_relaxed)) {
    }
    return now > last ? now : last;
}

#if defined(ZYN_X86)
constexpr uint32_t kExtendedBase = 0x80000000u;

uint64_t read_time_stamp() { return __rdtsc(); }

bool os_saves_ymm() {
    uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (low & 0x6u) == 0x6u;  // SSE and AVX register state
}

int32_t detect_avx2() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
    const bool osxsave = c & (1u << 27);
    const bool avx = c & (1u << 28);
    if (!osxsave || !avx || !os_saves_ymm()) return 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return 0;
    return (b & (1u << 5)) ? 1 : 0;
}
#endif

// Clock estimate for processors without a time-stamp counter: a count-down
// loop of a known length, timed by the seconds timer.
int32_t count_down_mhz() {
    volatile int32_t count = 44444444;
    const double t0 = timer_seconds();
    while (count > 0) count = count - 1;
    const double t1 = timer_seconds();
    const double elapsed = t1 - t0;
    return elapsed > 0.0 ? static_cast<int32_t>(std::floor(100.0 / elapsed)) : 0;
}

uint64_t timer_count() {
    int32_t mhz = processor_mhz();
    if (mhz < 1) mhz = 1;
    return static_cast<uint64_t>(std::llround(mhz * timer_seconds() * 1000000.0));
}

ProcessorInfo detect() {
    ProcessorInfo info;
#if defined(ZYN_X86)
    unsigned a = 0, b = 0, c = 0, d = 0;
    uint32_t leaf1_edx = 0, extended_max = 0, extended_edx = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) leaf1_edx = d;
    extended_max = __get_cpuid_max(kExtendedBase, nullptr);
    if (extended_max > kExtendedBase && __get_cpuid(kExtendedBase + 1, &a, &b, &c, &d))
        extended_edx = d;
    info = decode_features(leaf1_edx, extended_max, extended_edx);
    info.avx2 = detect_avx2();
    info.counter = info.tsc ? read_time_stamp : timer_count;
#else
    info.fpu = 1;
    info.counter = timer_count;
#endif
    return info;
}

int32_t measure_mhz() {
#if defined(ZYN_X86)
    if (processor().tsc) {
        const double t0 = timer_seconds();
        const uint64_t c0 = read_time_stamp();
        double elapsed = 0.0;
        do {
            elapsed = timer_seconds() - t0;
        } while (elapsed < 1.0);
        const uint64_t c1 = read_time_stamp();
        const uint64_t megacycles = (c1 - c0) / 1000000u;
        return static_cast<int32_t>(std::nearbyint(static_cast<double>(megacycles) / elapsed));
    }
#endif
    return count_down_mhz();
}

}  // namespace

ProcessorInfo decode_features(uint32_t leaf1_edx, uint32_t extended_max, uint32_t extended_edx) {
    ProcessorInfo info;
    info.fpu = 1;
    info.tsc = (leaf1_edx & 0x10u) ? 1 : 0;
    info.cmov = (leaf1_edx & 0x8000u) ? 1 : 0;
    info.mmx = (leaf1_edx & 0x800000u) ? 1 : 0;
    info.sse = (leaf1_edx & 0x2000000u) ? 1 : 0;
    info.sse2 = (leaf1_edx & 0x4000000u) ? 1 : 0;
    if ((extended_max & 0x80000000u) && (extended_max & 0xFFu)) {
        info.mmx2 = (extended_edx & 0x400000u) ? 1 : 0;
        info.three_dnow = (extended_edx & 0x80000000u) ? 1 : 0;
        info.three_dnow2 = (extended_edx & 0x40000000u) ? 1 : 0;
    }
    return info;
}

const ProcessorInfo &processor() {
    static const ProcessorInfo info = [] {
        ProcessorInfo detected = detect();
        const KernelVariants bound = choose_variants(detected, plain_kernels_forced());
        detected.copy = bound.copy;
        detected.mix16 = bound.mix16;
        return detected;
    }();
    return info;
}

int32_t processor_mhz() {
    static const int32_t mhz = measure_mhz();
    return mhz;
}

double timer_seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ISFPU(void) { return processor().fpu; }
int32_t ISTSC(void) { return processor().tsc; }
int32_t ISCMOV(void) { return processor().cmov; }
int32_t ISMMX(void) { return processor().mmx; }
int32_t ISMMX2(void) { return processor().mmx2; }
int32_t ISSSE(void) { return processor().sse; }
int32_t ISSSE2(void) { return processor().sse2; }
int32_t IS3DNOW(void) { return processor().three_dnow; }
int32_t IS3DNOW2(void) { return processor().three_dnow2; }
int32_t MHZ(void) { return processor_mhz(); }

uint64_t CPUCOUNTER(void) { return never_below_last(processor().counter()); }

}  // extern "C"
