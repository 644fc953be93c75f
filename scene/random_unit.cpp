#include "random_unit.h"

#include <cstdint>

namespace zyn::scene {

// splitmix64 from a fixed seed: every run draws the same numbers.
double random_unit() {
    static uint64_t state = 0x5A17C0DE2026ULL;
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

}  // namespace zyn::scene
