// The canonical 44-byte header of a PCM WAV file: RIFF/WAVE, one 16-byte
// "fmt " chunk, then the "data" chunk. The engine's temporary files, plug-wav
// and the asset generator all write theirs here, so the three agree byte for
// byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn::wav {

constexpr size_t kHeaderBytes = 44;

struct Header {
    int32_t channels = 0;
    int32_t rate = 0;
    int32_t bits = 0;         // per sample, a whole number of bytes
    uint32_t data_bytes = 0;  // sample bytes that follow the header
};

void encode_header(const Header &header, uint8_t (&out)[kHeaderBytes]);

// Most sample bytes the 32-bit RIFF size can describe, in whole frames.
uint32_t data_limit(int32_t frame_size);

// WAV samples are little-endian; the engine's are native.
inline void to_little_endian(int16_t *samples, size_t count) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(samples[i])));
#else
    (void)samples;
    (void)count;
#endif
}

}  // namespace zyn::wav
