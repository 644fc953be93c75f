// Writes a Picture as an uncompressed 24-bit BMP: 40-byte information
// header, rows bottom-up, each row padded to a multiple of 4 bytes.
#pragma once

#include <string>
#include <vector>

#include "picture.h"

namespace zyn::assets {

std::vector<unsigned char> encode_bmp(const Picture& picture);
bool write_bmp(const std::string& path, const Picture& picture);

}  // namespace zyn::assets
