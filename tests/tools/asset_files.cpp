#include "asset_files.h"

#include <fstream>
#include <iterator>

namespace zyn::test {
namespace {

std::uint32_t le32(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t le16(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

}  // namespace

std::vector<unsigned char> read_bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool parse_bmp(const std::vector<unsigned char>& b, Bmp& out, std::string& error) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return error = "not a BMP", false;
    if (le32(b, 2) != b.size()) return error = "file size field does not match", false;
    if (le32(b, 14) != 40) return error = "information header is not 40 bytes", false;
    const auto width = std::int32_t(le32(b, 18)), height = std::int32_t(le32(b, 22));
    if (width <= 0 || height <= 0) return error = "width or height not positive", false;
    if (le16(b, 26) != 1) return error = "planes is not 1", false;
    if (le16(b, 28) != 24) return error = "not 24 bits per pixel", false;
    if (le32(b, 30) != 0) return error = "compressed", false;
    const std::size_t offset = le32(b, 10);
    const std::size_t row = (std::size_t(width) * 3 + 3) / 4 * 4;
    if (offset < 54 || offset + row * std::size_t(height) != b.size())
        return error = "pixel data size", false;
    out.width = width;
    out.height = height;
    out.pixels.assign(std::size_t(width) * std::size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        const std::size_t line = offset + row * std::size_t(height - 1 - y);  // bottom-up
        for (int x = 0; x < width; ++x) {
            const std::size_t p = line + std::size_t(x) * 3;
            out.pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                std::uint32_t(b[p + 2]) << 16 | std::uint32_t(b[p + 1]) << 8 | b[p];
        }
        for (std::size_t pad = std::size_t(width) * 3; pad < row; ++pad)
            if (b[line + pad] != 0) return error = "row padding not zero", false;
    }
    return true;
}

bool parse_wav(const std::vector<unsigned char>& b, Wav& out, std::string& error) {
    if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        std::string(b.begin() + 8, b.begin() + 12) != "WAVE")
        return error = "not RIFF/WAVE", false;
    if (le32(b, 4) + 8 != b.size()) return error = "RIFF size does not match", false;
    bool have_format = false;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::string id(b.begin() + long(at), b.begin() + long(at + 4));
        const std::size_t size = le32(b, at + 4);
        if (at + 8 + size > b.size()) return error = "chunk runs past the end", false;
        if (id == "fmt ") {
            if (size < 16 || le16(b, at + 8) != 1) return error = "not PCM", false;
            out.channels = le16(b, at + 10);
            out.rate = int(le32(b, at + 12));
            out.bits = le16(b, at + 22);
            if (le16(b, at + 20) != out.channels * out.bits / 8 ||
                le32(b, at + 16) != std::uint32_t(out.rate) * le16(b, at + 20))
                return error = "block align or byte rate inconsistent", false;
            have_format = true;
        } else if (id == "data") {
            if (!have_format) return error = "data before fmt", false;
            if (out.bits != 16 || size % std::size_t(2 * out.channels) != 0)
                return error = "data size", false;
            for (std::size_t i = 0; i < size; i += 2)
                out.samples.push_back(std::int16_t(le16(b, at + 8 + i)));
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return error = "no data chunk", false;
}

}  // namespace zyn::test
