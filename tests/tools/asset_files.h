// Readers for the generated files, written from the file formats alone (not
// sharing code with the generator), so they check what a loader will see.
// WAV files are read by the fixture every suite shares.
#pragma once

#include "wav_fixture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zyn::test {

using zyn_test::parse_wav;
using zyn_test::read_file;
using zyn_test::WavFile;

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

}  // namespace zyn::test
