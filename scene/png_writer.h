// Saves an image as an 8-bit RGB PNG file (the alpha byte is not shown on
// the screen, so it is not saved).
#pragma once

#include "image.h"

#include <string>

namespace zyn::scene {

bool write_png(const std::string &file_name, const Image &image);

}  // namespace zyn::scene
