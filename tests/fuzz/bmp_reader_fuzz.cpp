// libFuzzer target for the BMP reader: any bytes, decoded into images of a
// few sizes, must never read outside the input or write outside the image.
#include "bmp_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace zyn::scene;
    static ImagePtr images[] = {make_image(1, 1), make_image(7, 3), make_image(64, 64)};
    for (ImagePtr &image : images) decode_bmp(data, size, *image);
    return 0;
}
