// Writes a Picture as a PNG (for looking at previews with any image viewer):
// 8-bit RGB, the image data in stored (uncompressed) deflate blocks, so no
// compression library is needed.
#pragma once

#include <string>
#include <vector>

#include "picture.h"

namespace zyn::assets {

std::vector<unsigned char> encode_png(const Picture& picture, int scale = 1);
bool write_png(const std::string& path, const Picture& picture, int scale = 1);

}  // namespace zyn::assets
