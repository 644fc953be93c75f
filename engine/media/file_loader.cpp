// ZYN_LOAD_FILE and ZYN_LOAD_MEMORY: the loader for every format zyn reads,
// at the file's own level, converted with a real resampler. The classic
// loaders stay as they were.
//
// The device format is read under the engine lock and the lock is released
// for the decoding; the result is stored only if the device still has that
// format, so a ZYN_INIT or ZYN_EXIT on another thread during a long load
// cannot leave a wave in a format the device no longer plays.
#include "device_samples.h"
#include "engine_state.h"
#include "last_error.h"
#include "media_sniff.h"
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

// Stores the block as a wave while the device is the one it was made for.
bool store_for(const DeviceFormat &device, int16_t *samples, int32_t bytes, const std::string &name,
               int32_t *wave) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    DeviceFormat now;
    if (!read_device(&now)) {
        std::free(samples);
        return fail("the engine closed while %s was loading", name.c_str()) != 0;
    }
    if (now.rate != device.rate || now.channels != device.channels) {
        std::free(samples);
        return fail("the device changed format while %s was loading", name.c_str()) != 0;
    }
    *wave = store_wave(samples, bytes);
    return true;
}

int32_t load_source(ByteSource &source, const DeviceFormat &device, int32_t *wave) {
    MediaSniff sniff;
    if (!sniff_media(source, &sniff)) return 0;
    ByteWindow audio(source, sniff.offset);
    std::unique_ptr<SoundDecoder> decoder = open_decoder(audio, sniff);
    if (decoder == nullptr) return 0;
    int16_t *samples = nullptr;
    int32_t bytes = 0;
    if (!decode_to_device(*decoder, device, source.name(), audio.length(), &samples, &bytes)) return 0;
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
