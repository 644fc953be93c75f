#include "wav_file.h"

#include "byte_sink.h"

namespace zyn::assets {

std::vector<unsigned char> encode_wav(const Pcm16& sound) {
    const std::uint32_t data_bytes = std::uint32_t(sound.samples.size() * 2);
    const std::uint16_t block_align = std::uint16_t(sound.channels * 2);
    ByteSink out;
    out.text("RIFF");
    out.u32(36 + data_bytes);
    out.text("WAVE");
    out.text("fmt ");
    out.u32(16);
    out.u16(1);  // PCM
    out.u16(std::uint16_t(sound.channels));
    out.u32(std::uint32_t(sound.rate));
    out.u32(std::uint32_t(sound.rate) * block_align);
    out.u16(block_align);
    out.u16(16);
    out.text("data");
    out.u32(data_bytes);
    for (std::int16_t s : sound.samples) out.u16(std::uint16_t(s));
    return out.bytes();
}

bool write_wav(const std::string& path, const Pcm16& sound) {
    return write_file(path, encode_wav(sound));
}

}  // namespace zyn::assets
