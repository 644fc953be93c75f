// Every vector variant against the plain code, bit for bit, over many lengths
// and deliberately misaligned blocks, with guard samples around each output
// so that a store past either end is seen.
#include "dsp/kernel_variants.h"
#include "dsp/processor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace zyn;

namespace {

constexpr int16_t kGuard = 0x7E5A;
constexpr int kPad = 64;  // guard samples before and after every output

std::vector<const KernelVariants *> vector_variants() {
    const KernelVariants *sets = nullptr;
    const int32_t count = available_kernel_variants(&sets);
    std::vector<const KernelVariants *> found;
    for (int32_t i = 1; i < count; ++i) found.push_back(&sets[i]);
    return found;
}

// Samples weighted towards the extremes, where saturation and rounding differ.
int16_t random_sample(std::mt19937 &rng) {
    switch (rng() % 6) {
        case 0: return 32767;
        case 1: return -32768;
        case 2: return static_cast<int16_t>(static_cast<int32_t>(rng() % 7) - 3);
        default: return static_cast<int16_t>(rng());
    }
}

std::vector<int16_t> random_block(std::mt19937 &rng, size_t n) {
    std::vector<int16_t> v(n);
    for (int16_t &s : v) s = random_sample(rng);
    return v;
}

// An output area with guards: samples [kPad + offset, kPad + offset + n) are the block.
struct Guarded {
    std::vector<int16_t> storage;
    int offset;
    Guarded(size_t n, int off) : storage(n + 2 * kPad + 16, kGuard), offset(off) {}
    int16_t *data() { return storage.data() + kPad + offset; }
};

const int64_t kFactors[] = {
    65536, 32768, 131072, 0, 1, -1, 65535, 65537, -65536, -32768, 52429, 19661,
    32768 * 3, 2147483647LL, -2147483647LL - 1, 2147483648LL, -2147483649LL,
    1099511627776LL,  // beyond the vector range: the scalar loop takes over
};

}  // namespace

TEST(SimdVariants, AnyVectorVariantIsFoundOnX86) {
#if defined(__x86_64__)
    EXPECT_FALSE(vector_variants().empty()) << "x86-64 always has SSE2";
#endif
    const KernelVariants *sets = nullptr;
    ASSERT_GE(available_kernel_variants(&sets), 1);
    EXPECT_STREQ(sets[0].name, "plain");
}

TEST(SimdVariants, BindingPrefersTheWidestAndObeysForcePlain) {
    ProcessorInfo info = decode_features(0x4000000u | 0x2000000u | 0x800000u, 0, 0);
    EXPECT_STREQ(choose_variants(info, true).name, "plain");
#if defined(__x86_64__)
    EXPECT_STREQ(choose_variants(info, false).name, "sse2");
    info.avx2 = 1;
    EXPECT_STREQ(choose_variants(info, false).name, "avx2");
    EXPECT_STREQ(choose_variants(info, true).name, "plain");
    // What the process runs is the widest this processor has.
    EXPECT_STREQ(bound_kernels().name, plain_kernels_forced()
                                           ? "plain"
                                           : (processor().avx2 ? "avx2" : "sse2"));
#endif
}

// The binding is made once per process, so each case runs in a fresh one.
TEST(SimdVariants, ForcePlainInTheEnvironmentBindsThePlainKernels) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto bound_with = [](const char *value) {
        if (value != nullptr)
            setenv("ZYN_FORCE_PLAIN", value, 1);
        else
            unsetenv("ZYN_FORCE_PLAIN");
        std::exit(std::strcmp(bound_kernels().name, "plain") == 0 ? 0 : 1);
    };
    EXPECT_EXIT(bound_with("1"), testing::ExitedWithCode(0), "");
#if defined(__x86_64__)
    EXPECT_EXIT(bound_with(nullptr), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(bound_with("0"), testing::ExitedWithCode(1), "");
#endif
}

TEST(SimdVariants, MixMatchesPlainAtEveryLengthAndAlignment) {
    std::mt19937 rng(1234);
    for (const KernelVariants *v : vector_variants()) {
        for (int n = 0; n < 200 + 1; ++n) {
            const int len = n < 180 ? n : 1000 + static_cast<int>(rng() % 3000);
            const std::vector<int16_t> a = random_block(rng, len + 16);
            const std::vector<int16_t> b = random_block(rng, len + 16);
            const int oa = static_cast<int>(rng() % 16), ob = static_cast<int>(rng() % 16);
            const int od = static_cast<int>(rng() % 16);
            Guarded want(len, od), got(len, od);
            mix16_plain(want.data(), a.data() + oa, b.data() + ob, len * 2);
            v->mix16(got.data(), a.data() + oa, b.data() + ob, len * 2);
            ASSERT_EQ(got.storage, want.storage) << v->name << " length " << len << " offsets "
                                                 << oa << "," << ob << "," << od;
        }
    }
}

TEST(SimdVariants, MixInPlaceAndOverlappingMatchPlain) {
    std::mt19937 rng(99);
    for (const KernelVariants *v : vector_variants()) {
        for (int shift : {0, 1, 3, 8, 17}) {
            const int len = 300;
            std::vector<int16_t> base = random_block(rng, len + 32);
            const std::vector<int16_t> other = random_block(rng, len);
            std::vector<int16_t> want = base, got = base;
            mix16_plain(want.data() + shift, want.data(), other.data(), len * 2);
            v->mix16(got.data() + shift, got.data(), other.data(), len * 2);
            ASSERT_EQ(got, want) << v->name << " shift " << shift;
        }
    }
}

TEST(SimdVariants, ScaleMatchesPlainForEveryFactorLengthAndAlignment) {
    std::mt19937 rng(5678);
    for (const KernelVariants *v : vector_variants()) {
        for (int64_t factor : kFactors) {
            for (int round = 0; round < 60; ++round) {
                const int len = round < 50 ? round * 3 : 500 + static_cast<int>(rng() % 5000);
                const std::vector<int16_t> src = random_block(rng, len + 16);
                const int os = static_cast<int>(rng() % 16), od = static_cast<int>(rng() % 16);
                Guarded want(len, od), got(len, od);
                scale16_plain(want.data(), src.data() + os, factor, len);
                v->scale16(got.data(), src.data() + os, factor, len);
                ASSERT_EQ(got.storage, want.storage)
                    << v->name << " factor " << factor << " length " << len;
            }
        }
        // In place, as the mixer scales a sound's work buffer.
        for (int64_t factor : kFactors) {
            std::vector<int16_t> want = random_block(rng, 2051);
            std::vector<int16_t> got = want;
            scale16_plain(want.data() + 1, want.data() + 1, factor, 2049);
            v->scale16(got.data() + 1, got.data() + 1, factor, 2049);
            ASSERT_EQ(got, want) << v->name << " in place, factor " << factor;
        }
    }
}

TEST(SimdVariants, PanMatchesPlainWithTheChannelsInPlace) {
    std::mt19937 rng(4321);
    for (const KernelVariants *v : vector_variants()) {
        for (int round = 0; round < 400; ++round) {
            const int frames = round < 100 ? round : static_cast<int>(rng() % 3000);
            int64_t left = kFactors[rng() % std::size(kFactors)];
            int64_t right = kFactors[rng() % std::size(kFactors)];
            if (rng() % 2) (rng() % 2 ? left : right) = 65536;
            const std::vector<int16_t> src = random_block(rng, frames * 2 + 16);
            // Odd offsets put the left sample in any vector lane.
            const int os = static_cast<int>(rng() % 16), od = static_cast<int>(rng() % 16);
            Guarded want(frames * 2, od), got(frames * 2, od);
            pan16_plain(want.data(), src.data() + os, left, right, frames);
            v->pan16(got.data(), src.data() + os, left, right, frames);
            ASSERT_EQ(got.storage, want.storage) << v->name << " frames " << frames << " factors "
                                                 << left << "/" << right << " dst offset " << od;
            std::vector<int16_t> in_place = src, reference = src;
            pan16_plain(reference.data() + os, reference.data() + os, left, right, frames);
            v->pan16(in_place.data() + os, in_place.data() + os, left, right, frames);
            ASSERT_EQ(in_place, reference) << v->name << " in place, frames " << frames;
        }
    }
}

TEST(SimdVariants, CopyMatchesPlainIncludingDownwardOverlap) {
    std::mt19937 rng(8765);
    for (const KernelVariants *v : vector_variants()) {
        for (int round = 0; round < 600; ++round) {
            const int bytes = round < 300 ? round : static_cast<int>(rng() % 20000);
            std::vector<uint8_t> src(bytes + 64);
            for (uint8_t &b : src) b = static_cast<uint8_t>(rng());
            const int os = static_cast<int>(rng() % 64), od = static_cast<int>(rng() % 64);
            std::vector<uint8_t> want(bytes + 256, 0xA5), got(bytes + 256, 0xA5);
            copy_plain(want.data() + 64 + od, src.data() + os, bytes);
            v->copy(got.data() + 64 + od, src.data() + os, bytes);
            ASSERT_EQ(got, want) << v->name << " bytes " << bytes << " offsets " << os << "," << od;
            // Inside one block, in either direction.
            const int shift = 1 + static_cast<int>(rng() % 200);
            std::vector<uint8_t> block(bytes + 512);
            for (uint8_t &b : block) b = static_cast<uint8_t>(rng());
            std::vector<uint8_t> down_want = block, down_got = block;
            copy_plain(down_want.data() + od, down_want.data() + od + shift, bytes);
            v->copy(down_got.data() + od, down_got.data() + od + shift, bytes);
            ASSERT_EQ(down_got, down_want) << v->name << " down by " << shift << ", " << bytes;
            std::vector<uint8_t> up_want = block, up_got = block;
            copy_plain(up_want.data() + od + shift, up_want.data() + od, bytes);
            v->copy(up_got.data() + od + shift, up_got.data() + od, bytes);
            ASSERT_EQ(up_got, up_want) << v->name << " up by " << shift << ", " << bytes;
        }
    }
}

TEST(SimdVariants, LargeCopiesBypassingTheCacheStayExact) {
    std::mt19937 rng(11);
    const int bytes = kStreamingCopyBytes + 4093;
    std::vector<uint8_t> src(bytes + 16);
    for (uint8_t &b : src) b = static_cast<uint8_t>(rng());
    for (const KernelVariants *v : vector_variants()) {
        std::vector<uint8_t> want(bytes + 32, 0), got(bytes + 32, 0);
        copy_plain(want.data() + 3, src.data() + 5, bytes);
        v->copy(got.data() + 3, src.data() + 5, bytes);
        ASSERT_EQ(got, want) << v->name;
    }
}
