#include "wav_file.h"

#include "byte_sink.h"
#include "wav_header.h"

namespace zyn::assets {

std::vector<unsigned char> encode_wav(const Pcm16& sound) {
    std::uint8_t header[wav::kHeaderBytes];
    wav::encode_header({sound.channels, sound.rate, 16, std::uint32_t(sound.samples.size() * 2)}, header);
    ByteSink out;
    for (std::uint8_t b : header) out.u8(b);
    for (std::int16_t s : sound.samples) out.u16(std::uint16_t(s));
    return out.bytes();
}

bool write_wav(const std::string& path, const Pcm16& sound) {
    return write_file(path, encode_wav(sound));
}

}  // namespace zyn::assets
