#include "file_image.h"

#include "last_error.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zyn {

uint8_t *read_file_image(const char *name, size_t *length, size_t padding) {
    std::FILE *f = std::fopen(name, "rb");
    if (f == nullptr) {
        fail("cannot open '%s': %s", name, std::strerror(errno));
        return nullptr;
    }
    struct stat info;
    if (fstat(fileno(f), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        static_cast<uint64_t>(info.st_size) > SIZE_MAX - padding) {
        std::fclose(f);
        fail("'%s' is not a regular file with data in it", name);
        return nullptr;
    }
    const auto size = static_cast<size_t>(info.st_size);
    auto *image = static_cast<uint8_t *>(std::calloc(size + padding, 1));
    if (image == nullptr) {
        std::fclose(f);
        fail("no memory to read '%s' (%lld bytes)", name, static_cast<long long>(size));
        return nullptr;
    }
    const size_t got = std::fread(image, 1, size, f);
    std::fclose(f);
    if (got == 0) {
        std::free(image);
        fail("cannot read '%s'", name);
        return nullptr;
    }
    *length = got;
    return image;
}

}  // namespace zyn
