// WAV parser and converter on arbitrary bytes, from memory and through a file
// descriptor, for mono and stereo devices at rates below and above common
// source rates. A result must be a whole number of device frames.
#include "media/wav_loader.h"

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Keeps each run fast: a tiny file may legally ask for a very long wave.
constexpr int64_t kMaxBytes = 256 << 10;

void check(bool ok, int16_t *samples, int32_t bytes, int32_t channels) {
    if (!ok) return;
    if (bytes <= 0 || bytes % (2 * channels) != 0) __builtin_trap();
    int32_t sum = 0;
    for (int32_t i = 0; i < bytes / 2; ++i) sum += samples[i] > 16384 || samples[i] < -16384;
    if (sum != 0) __builtin_trap();  // converted samples stay within half range
    std::free(samples);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const struct {
        int32_t rate, channels;
    } devices[] = {{44100, 2}, {22050, 1}, {48000, 2}, {8000, 1}};
    for (const auto &d : devices) {
        int16_t *samples = nullptr;
        int32_t bytes = 0;
        const bool ok = zyn::convert_wav_image(data, size, d.rate, 16, d.channels, &samples, &bytes,
                                               kMaxBytes);
        check(ok, samples, bytes, d.channels);
    }
    zyn::WavHeader header;
    zyn::parse_wav_image(data, size, &header);

    // The file path reads through the same code with its own window logic.
    if (size < 4096) {
        const int fd = memfd_create("wav_fuzz", MFD_CLOEXEC);
        if (fd >= 0) {
            if (write(fd, data, size) == static_cast<ssize_t>(size)) {
                char path[64];
                std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
                int16_t *samples = nullptr;
                int32_t bytes = 0;
                int16_t *image_samples = nullptr;
                int32_t image_bytes = 0;
                const bool from_file =
                    zyn::load_wav_converted(path, 44100, 16, 2, &samples, &bytes, kMaxBytes);
                const bool from_image = zyn::convert_wav_image(data, size, 44100, 16, 2,
                                                               &image_samples, &image_bytes, kMaxBytes);
                if (from_file != from_image) __builtin_trap();
                if (from_file && bytes != image_bytes) __builtin_trap();
                std::free(samples);
                std::free(image_samples);
            }
            close(fd);
        }
    }
    return 0;
}
