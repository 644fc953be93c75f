// Readers for the generated files, written from the file formats alone (not
// sharing code with the generator), so they check what a loader will see.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zyn::test {

std::vector<unsigned char> read_bytes(const std::string& path);

struct Bmp {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB, top row first
    std::uint32_t at(int x, int y) const {
        return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
    }
};
// Accepts only what the scene's data needs: "BM", a 40-byte information
// header, one plane, 24 bits, no compression, positive width and height,
// 4-byte padded rows, a file size that matches. `error` says what is wrong.
bool parse_bmp(const std::vector<unsigned char>& bytes, Bmp& out, std::string& error);

struct Wav {
    int channels = 0, rate = 0, bits = 0;
    std::vector<std::int16_t> samples;  // interleaved
    std::size_t frames() const { return channels ? samples.size() / std::size_t(channels) : 0; }
};
// RIFF/WAVE with a PCM "fmt " chunk and a "data" chunk (other chunks skipped).
bool parse_wav(const std::vector<unsigned char>& bytes, Wav& out, std::string& error);

}  // namespace zyn::test
