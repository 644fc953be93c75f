// Results the interface gives as int32, worked out in 64 bits.
#pragma once

#include <cstdint>

namespace zyn {

inline int32_t saturate_to_int32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace zyn
