// ZYN_LOAD_FILE and ZYN_LOAD_MEMORY: the loader for every format zyn reads,
// at the file's own level, converted with a real resampler. The classic
// loaders stay as they were.
//
// The device format is read under the engine lock and the lock is released
// for the decoding. The wave records the format it was converted to, so a
// ZYN_INIT on another thread during a long load that re-opens the device in
// another format costs nothing: the wave is kept and plays converted. Only a
// closed engine (ZYN_EXIT, a failed ZYN_INIT) refuses it.
#include "device_samples.h"
#include "engine_state.h"
#include "last_error.h"
#include "fill_thread.h"
#include "row_tables.h"
#include "zyn.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zyn {
namespace {

bool read_device(DeviceFormat *device) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const PlugoutRecord *open = open_plugout();
    if (e.initialized.load() == 0 || open == nullptr)
        return fail("the engine is not initialised (call ZYN_INIT first)") != 0;
    if (open->bits != 16 || open->rate <= 0 || open->channels < 1)
        return fail("the open device's format (%d-bit) is not one zyn converts sounds to", open->bits) != 0;
    device->rate = open->rate;
    device->channels = open->channels == 1 ? 1 : 2;
    return true;
}

// Stores the block as a wave in the format it was made in, while the engine is open.
bool store_for(const DeviceFormat &made_for, int16_t *samples, int32_t bytes, const std::string &name,
               int32_t *wave) {
    const int32_t handle = store_wave(samples, bytes, made_for.rate, made_for.channels);
    if (handle < 0) {
        std::free(samples);
        return fail("the engine closed while %s was loading", name.c_str()) != 0;
    }
    *wave = handle;
    return true;
}

int32_t load_source(ByteSource &source, const DeviceFormat &device, int32_t *wave) {
    std::unique_ptr<SoundDecoder> decoder = open_sound_decoder(source);
    if (decoder == nullptr) return 0;
    int16_t *samples = nullptr;
    int32_t bytes = 0;
    if (!decode_to_device(*decoder, device, source.name(), source.length(), &samples, &bytes)) return 0;
    decoder.reset();
    return store_for(device, samples, bytes, source.name(), wave) ? 1 : 0;
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" int32_t ZYN_LOAD_FILE(const char *path, int32_t *wave) {
    if (wave == nullptr) return fail("ZYN_LOAD_FILE: the wave handle pointer is null");
    *wave = -1;
    if (path == nullptr) return fail("ZYN_LOAD_FILE: the file name is null");
    // File input and a large allocation have no place on the output thread.
    if (inside_fill()) return fail_in_callback("ZYN_LOAD_FILE");
    DeviceFormat device;
    if (!read_device(&device)) return 0;
    FileBytes file(path);
    if (file.open_error() != 0) {
        if (file.open_error() == EINVAL) return fail("cannot open '%s': not a regular file", path);
        return fail("cannot open '%s': %s", path, std::strerror(file.open_error()));
    }
    return load_source(file, device, wave);
}

extern "C" int32_t ZYN_LOAD_MEMORY(const void *data, size_t bytes, int32_t *wave) {
    if (wave == nullptr) return fail("ZYN_LOAD_MEMORY: the wave handle pointer is null");
    *wave = -1;
    if (data == nullptr) return fail("ZYN_LOAD_MEMORY: the data pointer is null");
    if (inside_fill()) return fail_in_callback("ZYN_LOAD_MEMORY");
    DeviceFormat device;
    if (!read_device(&device)) return 0;
    MemoryBytes memory(data, bytes);
    return load_source(memory, device, wave);
}
