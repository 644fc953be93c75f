#include "wav_header.h"

#include <cstring>

namespace zyn::wav {
namespace {

void put16(uint8_t *at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}
void put32(uint8_t *at, uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

}  // namespace

void encode_header(const Header &h, uint8_t (&out)[kHeaderBytes]) {
    const uint32_t block_align = static_cast<uint32_t>(h.bits) / 8 * static_cast<uint32_t>(h.channels);
    std::memcpy(out, "RIFF", 4);
    put32(out + 4, 36 + h.data_bytes);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    put32(out + 16, 16);
    put16(out + 20, 1);  // PCM
    put16(out + 22, static_cast<uint32_t>(h.channels));
    put32(out + 24, static_cast<uint32_t>(h.rate));
    put32(out + 28, block_align * static_cast<uint32_t>(h.rate));
    put16(out + 32, block_align);
    put16(out + 34, static_cast<uint32_t>(h.bits));
    std::memcpy(out + 36, "data", 4);
    put32(out + 40, h.data_bytes);
}

uint32_t data_limit(int32_t frame_size) {
    const uint32_t most = UINT32_MAX - 36;
    return most - most % static_cast<uint32_t>(frame_size);
}

}  // namespace zyn::wav
