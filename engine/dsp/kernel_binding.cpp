// Which variant set COPY, MIX16, SCALE16 and PAN16 run: the widest the
// processor offers (AVX2, then SSE2, then plain), unless ZYN_FORCE_PLAIN=1
// asks for the reference code, so that a user can rule the vector code out
// when hunting a fault.
#include "kernel_variants.h"
#include "processor.h"

#include <cstdlib>
#include <cstring>

namespace zyn {
namespace {

constexpr KernelVariants kPlain{"plain", copy_plain, mix16_plain, scale16_plain, pan16_plain};
#if defined(ZYN_X86_KERNELS)
constexpr KernelVariants kSse2{"sse2", copy_sse2, mix16_sse2, scale16_sse2, pan16_sse2};
constexpr KernelVariants kAvx2{"avx2", copy_avx2, mix16_avx2, scale16_avx2, pan16_avx2};
#endif

}  // namespace

bool plain_kernels_forced() {
    const char *value = std::getenv("ZYN_FORCE_PLAIN");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

KernelVariants choose_variants(const ProcessorInfo &info, bool force_plain) {
    if (force_plain) return kPlain;
#if defined(ZYN_X86_KERNELS)
    if (info.avx2) return kAvx2;
    if (info.sse2) return kSse2;
#else
    (void)info;
#endif
    return kPlain;
}

const KernelVariants &bound_kernels() {
    static const KernelVariants bound = choose_variants(processor(), plain_kernels_forced());
    return bound;
}

int32_t available_kernel_variants(const KernelVariants **sets) {
    static KernelVariants all[3];
    static const int32_t count = [] {
        int32_t n = 0;
        all[n++] = kPlain;
#if defined(ZYN_X86_KERNELS)
        if (processor().sse2) all[n++] = kSse2;
        if (processor().avx2) all[n++] = kAvx2;
#endif
        return n;
    }();
    *sets = all;
    return count;
}

}  // namespace zyn
