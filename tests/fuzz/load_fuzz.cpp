// libFuzzer target: ZYN_LOAD_MEMORY on arbitrary bytes. The first byte picks
// the device format (channels, rate); the rest is the image. A load either
// fails with a reason and the handle at -1, or makes a wave of whole device
// frames.
#include "decoder_fuzz_engine.h"
#include "last_error.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    zyn_fuzz::open_engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    zyn_fuzz::choose_device(data[0]);
    int32_t wave = 7;
    if (ZYN_LOAD_MEMORY(data + 1, size - 1, &wave) != 1) {
        if (wave != -1 || zyn::last_error()[0] == '\0') __builtin_trap();
        return 0;
    }
    zyn::EngineState &e = zyn::engine();
    zyn::EngineLock hold(e.lock);
    zyn::WaveEntry &row = e.waves[static_cast<size_t>(wave)];
    if (row.size <= 0 || row.size % e.plugouts[0].frame_size != 0) __builtin_trap();
    std::free(row.samples);
    row.samples = nullptr;
    row.size = 0;
    return 0;
}
