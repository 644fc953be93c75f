// Putting images onto the screen (or another image), grabbing areas, lines.
#pragma once

#include "image.h"

namespace zyn::scene {

enum PutMode : int32_t {
    PUT_COPY,   // every byte
    PUT_TRANS,  // mask colour skipped, alpha written as 0
    PUT_ALPHA,  // the image pixel's own alpha
    PUT_BLEND,  // a given alpha; mask colour skipped
};

// One channel moved towards the image's value by (s - d) * weight / 256,
// floored towards minus infinity; weight 0..256.
inline uint32_t blend_channel(uint32_t s, uint32_t d, int32_t weight) {
    const int32_t diff = static_cast<int32_t>(s) - static_cast<int32_t>(d);
    return static_cast<uint32_t>(static_cast<int32_t>(d) + ((diff * weight) >> 8));
}

// All four channels of one pixel (alpha follows the same rule).
inline uint32_t blend_pixel(uint32_t s, uint32_t d, int32_t weight) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= blend_channel((s >> shift) & 0xFF, (d >> shift) & 0xFF, weight) << shift;
    return out;
}

inline bool is_mask(uint32_t pixel) { return (pixel & 0xFFFFFF) == MASK_COLOR; }

// Draws the whole image with its top-left pixel at (x, y), clipped to target.
// alpha is used by PUT_BLEND only (0..255; 0 draws nothing). Nothing without an image.
void put(Image &target, double x, double y, const Image *image, PutMode mode, int32_t alpha = 255);

// Copies the w x h area of source at (x, y) into target, which takes that
// size. When the area is not wholly inside source nothing happens.
// Returns whether it copied.
bool grab(const Image &source, double x, double y, int32_t w, int32_t h, Image *target);

// A one-pixel line, both ends included, clipped to target.
void draw_line(Image &target, double x1, double y1, double x2, double y2, uint32_t colour);

}  // namespace zyn::scene
