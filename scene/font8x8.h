// The 8 x 8 text font: printable ASCII (32..126).
#pragma once

#include <cstdint>

namespace zyn::scene {

constexpr int32_t kGlyphSize = 8;

// Row r (0 = top) of the glyph of c as 8 bits, bit 7 the leftmost pixel.
// Characters outside 32..126 show as a filled box.
uint8_t glyph_row(unsigned char c, int32_t r);

}  // namespace zyn::scene
