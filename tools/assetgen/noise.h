// A fixed pseudo-random sequence (xorshift32), so that every run of the
// generator draws exactly the same numbers on every platform. Take each draw
// in a statement of its own: the order in which a call's arguments are
// evaluated differs between compilers, and with it the picture.
#pragma once

#include <cstdint>

namespace zyn::assets {

class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}

    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // Uniform in [-1, 1).
    double bipolar() { return double(next() >> 8) / double(1u << 23) - 1.0; }
    // Uniform in [0, 1).
    double unit() { return double(next() >> 8) / double(1u << 24); }

private:
    std::uint32_t state_;
};

}  // namespace zyn::assets
