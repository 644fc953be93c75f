#include "asset_files.h"

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

}  // namespace zyn::test
