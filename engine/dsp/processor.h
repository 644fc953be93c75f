// What the processor offers and how fast it runs, for the processor queries
// and for the choice of kernel variants.
#pragma once

#include "kernel_variants.h"

#include <cstdint>

namespace zyn {

using CounterSource = uint64_t (*)();

struct ProcessorInfo {
    int32_t fpu = 0;
    int32_t tsc = 0;
    int32_t cmov = 0;
    int32_t mmx = 0;
    int32_t mmx2 = 0;
    int32_t sse = 0;
    int32_t sse2 = 0;
    int32_t three_dnow = 0;
    int32_t three_dnow2 = 0;
    // AVX2 usable: the processor has it and the operating system saves the
    // 256-bit registers. Not reported; it only steers the kernel binding.
    int32_t avx2 = 0;
    // Source of CPUCOUNTER: the time-stamp counter where there is one, else
    // an estimate from the seconds timer and the measured clock.
    CounterSource counter = nullptr;
    CopyVariant copy = nullptr;
    Mix16Variant mix16 = nullptr;
};

// Feature flags from the identification leaves: leaf 1 EDX, the highest
// extended leaf (leaf 0x80000000 EAX) and leaf 0x80000001 EDX, which is only
// looked at when the highest extended leaf reaches past 0x80000000.
ProcessorInfo decode_features(uint32_t leaf1_edx, uint32_t extended_max, uint32_t extended_edx);

// True when the environment asks for the plain kernels (ZYN_FORCE_PLAIN=1).
bool plain_kernels_forced();

// The variant set for these features; force_plain picks the reference set.
KernelVariants choose_variants(const ProcessorInfo &info, bool force_plain);

// Detected once, on first use; never changes afterwards.
const ProcessorInfo &processor();

// The clock in MHz, measured once with a busy wait of about one second on
// the first call (not while the library loads), 0 when it cannot be measured.
int32_t processor_mhz();

// Monotonic seconds.
double timer_seconds();

}  // namespace zyn
