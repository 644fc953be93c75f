#include "wav_header.h"

#include <cstring>

namespace zyn::plugout {

namespace {
void put32(uint8_t *at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
void put16(uint8_t *at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}
}  // namespace

void build_wav_header(uint8_t (&header)[kWavHeaderBytes], int32_t rate, int32_t channels,
                      uint32_t data_bytes) {
    const uint16_t block_align = static_cast<uint16_t>(2 * channels);
    std::memcpy(header, "RIFF", 4);
    put32(header + 4, 36 + data_bytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(header + 16, 16);
    put16(header + 20, 1);  // PCM
    put16(header + 22, static_cast<uint16_t>(channels));
    put32(header + 24, static_cast<uint32_t>(rate));
    put32(header + 28, static_cast<uint32_t>(rate) * block_align);
    put16(header + 32, block_align);
    put16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    put32(header + 40, data_bytes);
}

uint32_t wav_data_limit(int32_t frame_size) {
    const uint32_t most = UINT32_MAX - 36;
    return most - most % static_cast<uint32_t>(frame_size);
}

}  // namespace zyn::plugout
