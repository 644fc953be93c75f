#include "bmp_file.h"

#include "byte_sink.h"

namespace zyn::assets {

std::vector<unsigned char> encode_bmp(const Picture& picture) {
    const std::uint32_t row_bytes = (std::uint32_t(picture.width()) * 3 + 3) & ~3u;
    const std::uint32_t pixel_bytes = row_bytes * std::uint32_t(picture.height());
    const std::uint32_t header_bytes = 14 + 40;

    ByteSink out;
    out.text("BM");
    out.u32(header_bytes + pixel_bytes);
    out.u32(0);  // reserved
    out.u32(header_bytes);
    out.u32(40);
    out.u32(std::uint32_t(picture.width()));
    out.u32(std::uint32_t(picture.height()));  // positive: rows stored bottom-up
    out.u16(1);                                 // planes
    out.u16(24);
    out.u32(0);  // no compression
    out.u32(pixel_bytes);
    out.u32(2835);  // 72 dpi, as most painting programs write
    out.u32(2835);
    out.u32(0);
    out.u32(0);
    for (int y = picture.height() - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width(); ++x) {
            const Rgb c = picture.at(x, y);
            out.u8(std::uint8_t(blue(c)));
            out.u8(std::uint8_t(green(c)));
            out.u8(std::uint8_t(red(c)));
        }
        for (std::uint32_t pad = std::uint32_t(picture.width()) * 3; pad < row_bytes; ++pad) out.u8(0);
    }
    return out.bytes();
}

bool write_bmp(const std::string& path, const Picture& picture) {
    return write_file(path, encode_bmp(picture));
}

}  // namespace zyn::assets
