// libFuzzer target: ZYN_LOAD_MP3FILE on arbitrary bytes. The first byte picks
// the device format (channels, rate); the rest is the file.
#include "decoder_fuzz_engine.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    zyn_fuzz::open_engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return zyn_fuzz::run_loader(data, size, "input.mp3", [](const char *path, int32_t *wave) {
        return ZYN_LOAD_MP3FILE(path, wave, "");
    });
}
