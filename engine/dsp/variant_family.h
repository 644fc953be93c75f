// Picking one set of a family of inner loops (plain, SSE2, AVX2) the way the
// kernels are picked: the set named like the bound kernel set (same
// processor checks, same ZYN_FORCE_PLAIN switch), and every set the
// processor can run, for tests and benchmarks. Plain code only.
#pragma once

#include "kernel_variants.h"

#include <cstdint>
#include <cstring>

namespace zyn {

// A family's sets by instruction set; sets a build lacks are null.
template <typename Set>
struct VariantFamily {
    const Set *plain;
    const Set *sse2;
    const Set *avx2;

    const Set *named(const char *name) const {
        if (std::strcmp(name, "avx2") == 0) return avx2;
        if (std::strcmp(name, "sse2") == 0) return sse2;
        if (std::strcmp(name, "plain") == 0) return plain;
        return nullptr;
    }
};

template <typename Set>
const Set &bound_variant(const VariantFamily<Set> &family) {
    const Set *set = family.named(bound_kernels().name);
    return set != nullptr ? *set : *family.plain;
}

// Fills all (room for three) with the sets the processor can run, plain first.
template <typename Set>
int32_t available_variants(const VariantFamily<Set> &family, Set *all) {
    const KernelVariants *kernels = nullptr;
    const int32_t n = available_kernel_variants(&kernels);
    int32_t k = 0;
    for (int32_t i = 0; i < n && k < 3; ++i)
        if (const Set *set = family.named(kernels[i].name)) all[k++] = *set;
    return k;
}

// The bound set and the runnable sets of a family, each worked out once
// (each Set type has its own statics).
template <typename Set>
const Set &bound_once(const VariantFamily<Set> &family) {
    static const Set &bound = bound_variant(family);
    return bound;
}

template <typename Set>
int32_t available_once(const VariantFamily<Set> &family, const Set **sets) {
    static Set all[3];
    static const int32_t count = available_variants(family, all);
    *sets = all;
    return count;
}

}  // namespace zyn
