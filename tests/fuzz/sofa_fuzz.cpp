// libFuzzer target: SOFA file loading (libmysofa's reader and the set
// built from what it returns) on arbitrary bytes, presented as a file in
// memory. A load either fails with a reason or gives a set whose responses
// are all finite.
#include "dsp/hrtf.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = memfd_create("sofa", 0);
    if (fd < 0) return 0;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    std::string why;
    // Few taps keep a valid file's set quick to build.
    const std::unique_ptr<zyn::HrtfSet> set = zyn::load_hrtf(path.c_str(), 44100, 8, &why);
    close(fd);
    if (!set) {
        if (why.empty()) __builtin_trap();
        return 0;
    }
    zyn::HrtfFilter f;
    set->lookup(zyn::HrtfDirection{0.3f, -0.2f, 0.9f}, &f);
    for (const auto &ear : f.coefficients)
        for (float c : ear)
            if (!std::isfinite(c)) __builtin_trap();
    return 0;
}
