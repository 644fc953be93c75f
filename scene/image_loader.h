// Pictures from BMP files, and the scene's error reports: one line of text,
// a beep and a wait for a key.
#pragma once

#include "image.h"

#include <string>

namespace zyn::scene {

// print_line, beep, wait_key.
void report(const std::string &message);

// A picture file opened as the scene's loaders do: its size read from the
// header (offsets 18 and 22; missing bytes read as 0), an image of that size
// made and the pixels loaded. False after reporting a missing screen or an
// unopenable file. Otherwise true, with *image null when the header's size
// gives no image (no report then).
bool open_picture(const std::string &name, ImagePtr *image, int32_t *width, int32_t *height);

// The picture as an image of the file's size, or null (reported as above).
ImagePtr load_image(const std::string &name);

}  // namespace zyn::scene
