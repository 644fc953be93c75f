// Our own BMP decoder: 1/4/8-bit palettes (after 12-byte and 16-byte-and-
// larger information headers), 16 bits (5-5-5 or bit fields), 24 and 32 bits,
// bottom-up and top-down rows. It never reads outside the bytes it is given.
#pragma once

#include "image.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zyn::scene {

// Writes the top-left min(widths) x min(heights) area of image. False, with
// the image unchanged, when the data is not a BMP this reader takes. Rows or
// pixels missing from a truncated file leave those image pixels unchanged.
bool decode_bmp(const uint8_t *data, size_t size, Image &image);

// decode_bmp of a whole file; false when it cannot be read.
bool load_bmp(const std::string &file_name, Image *image);

}  // namespace zyn::scene
