#include "image_loader.h"

#include "beep.h"
#include "bmp_reader.h"
#include "keys.h"
#include "screen.h"
#include "text.h"

#include <cstdio>

namespace zyn::scene {
namespace {

int32_t little_endian(const unsigned char *b) {
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace

void report(const std::string &message) {
    print_line(message);
    beep();
    wait_key();
}

bool open_picture(const std::string &name, ImagePtr *image, int32_t *width, int32_t *height) {
    image->reset();
    *width = *height = 0;
    if (!screen_is_open()) {
        report("error: no active gfx screen !" + name + " !");
        return false;
    }
    std::FILE *file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        report("error: can't open [" + name + "] !");
        return false;
    }
    unsigned char header[26] = {};  // bytes past the end of the file stay 0
    const size_t got = std::fread(header, 1, sizeof(header), file);
    (void)got;
    std::fclose(file);
    *width = little_endian(header + 18);
    *height = little_endian(header + 22);
    *image = create_image(*width, *height);
    if (*image) load_bmp(name, image->get());
    return true;
}

ImagePtr load_image(const std::string &name) {
    ImagePtr image;
    int32_t width = 0, height = 0;
    open_picture(name, &image, &width, &height);
    return image;
}

}  // namespace zyn::scene
