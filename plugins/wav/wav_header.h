// The canonical 44-byte header of a 16-bit PCM WAV file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn::plugout {

constexpr size_t kWavHeaderBytes = 44;

// RIFF/WAVE with one PCM fmt chunk and a data chunk of data_bytes bytes.
void build_wav_header(uint8_t (&header)[kWavHeaderBytes], int32_t rate, int32_t channels,
                      uint32_t data_bytes);

// Most sample bytes the 32-bit RIFF size can describe, in whole frames.
uint32_t wav_data_limit(int32_t frame_size);

// WAV samples are little-endian; the engine's are native.
inline void to_little_endian(int16_t *samples, size_t count) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(samples[i])));
#else
    (void)samples;
    (void)count;
#endif
}

}  // namespace zyn::plugout
