// Writes 16-bit PCM RIFF WAV files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zyn::assets {

struct Pcm16 {
    int channels = 1;
    int rate = 44100;
    std::vector<std::int16_t> samples;  // interleaved, left first
};

std::vector<unsigned char> encode_wav(const Pcm16& sound);
bool write_wav(const std::string& path, const Pcm16& sound);

}  // namespace zyn::assets
