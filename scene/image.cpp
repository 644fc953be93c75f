#include "image.h"

#include "screen.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace zyn::scene {

Image::Image(int32_t width, int32_t height) { reshape(width, height); }

void Image::reshape(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    stride_ = (width + 3) & ~3;  // 16 bytes = 4 pixels
    pixels_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height), FILL_COLOR);
}

void Image::fill(uint32_t colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

bool valid_image_size(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

ImagePtr make_image(int32_t width, int32_t height) {
    if (!valid_image_size(width, height)) return nullptr;
    try {
        return std::make_unique<Image>(width, height);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

ImagePtr create_image(int32_t width, int32_t height) {
    if (!screen_is_open()) return nullptr;
    return make_image(width, height);
}

void destroy_image(ImagePtr &image) { image.reset(); }

int32_t round_coordinate(double value) {
    // Far-off positions only need to stay far off; clamping keeps the cast defined.
    if (std::isnan(value) || value < -1e9) return -1000000000;
    if (value > 1e9) return 1000000000;
    return static_cast<int32_t>(std::round(value));
}

uint32_t get_pixel(const Image *image, double x, double y) {
    if (image == nullptr) return 0;
    const int32_t ix = round_coordinate(x), iy = round_coordinate(y);
    if (!image->contains(ix, iy)) return 0;
    return image->row(iy)[ix];
}

void set_pixel(Image *image, double x, double y, uint32_t colour) {
    if (image == nullptr) return;
    const int32_t ix = round_coordinate(x), iy = round_coordinate(y);
    if (!image->contains(ix, iy)) return;
    image->row(iy)[ix] = colour;
}

}  // namespace zyn::scene
