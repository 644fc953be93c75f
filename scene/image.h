// Images: 32-bit 0xAARRGGBB pixels, rows top to bottom, each row padded to
// 16 bytes. The screen's frame buffer is an image too, so every drawing
// operation works the same on the screen and on images (and without a window).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zyn::scene {

constexpr uint32_t MASK_COLOR = 0xFF00FF;  // compared on bits 0-23 only
constexpr uint32_t FILL_COLOR = 0xFFFF00FF;

// Larger images are refused: a garbage header must not make us allocate gigabytes.
constexpr int32_t kMaxImageSide = 16384;
constexpr int64_t kMaxImagePixels = int64_t{1} << 24;

class Image {
  public:
    Image(int32_t width, int32_t height);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int32_t stride() const { return stride_; }  // in pixels
    uint32_t *row(int32_t y) { return pixels_.data() + static_cast<size_t>(y) * stride_; }
    const uint32_t *row(int32_t y) const { return pixels_.data() + static_cast<size_t>(y) * stride_; }
    bool contains(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // New size, every pixel FILL_COLOR.
    void reshape(int32_t width, int32_t height);
    void fill(uint32_t colour);

  private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t stride_ = 0;
    std::vector<uint32_t> pixels_;
};

using ImagePtr = std::unique_ptr<Image>;

// True when an image of that size may be made (both sides >= 1, within the limits).
bool valid_image_size(int64_t width, int64_t height);

// A new image filled with FILL_COLOR; null when a side is below 1, the size is
// beyond the limits, memory runs out, or (for create_image) no screen is open.
ImagePtr create_image(int32_t width, int32_t height);
ImagePtr make_image(int32_t width, int32_t height);  // no screen needed
void destroy_image(ImagePtr &image);

// Positions are rounded to the nearest pixel, halves away from zero.
int32_t round_coordinate(double value);

uint32_t get_pixel(const Image *image, double x, double y);  // 0 outside or without image
void set_pixel(Image *image, double x, double y, uint32_t colour);

}  // namespace zyn::scene
