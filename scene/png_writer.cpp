#include "png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace zyn::scene {

bool write_png(const std::string &file_name, const Image &image) {
    std::FILE *file = std::fopen(file_name.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    // Prepared before setjmp: nothing allocated below may be lost by a longjmp.
    std::vector<png_byte> row(static_cast<size_t>(image.width()) * 3);
    bool ok = false;
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()),
                     8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int32_t y = 0; y < image.height(); ++y) {
            const uint32_t *in = image.row(y);
            for (int32_t x = 0; x < image.width(); ++x) {
                row[static_cast<size_t>(x) * 3 + 0] = static_cast<png_byte>(in[x] >> 16);
                row[static_cast<size_t>(x) * 3 + 1] = static_cast<png_byte>(in[x] >> 8);
                row[static_cast<size_t>(x) * 3 + 2] = static_cast<png_byte>(in[x]);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) std::remove(file_name.c_str());
    return ok;
}

}  // namespace zyn::scene
