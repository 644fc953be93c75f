// User callbacks: the master and sound routines and their enable flags (the
// stream's are with the stream, media/mp3_stream.cpp).
// Storing a routine always leaves it disabled; enabling is a separate call.
#include "engine_state.h"
#include "last_error.h"
#include "row_tables.h"

using namespace zyn;

extern "C" {

int32_t ZYN_SET_MASTERCALLBACK(ZynSampleCallback callback) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.initialized.load() == 0) return fail_not_initialised();
    e.master_callback = callback;
    e.master_callback_enabled = 0;
    return 1;
}

int32_t ZYN_ENABLE_MASTERCALLBACK(void) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.initialized.load() == 0) {
        e.master_callback_enabled = 0;
        return fail_not_initialised();
    }
    e.master_callback_enabled = 1;
    return 1;
}

int32_t ZYN_DISABLE_MASTERCALLBACK(void) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    e.master_callback_enabled = 0;
    if (e.initialized.load() == 0) return fail_not_initialised();
    if (e.master_callback == nullptr) return fail("no master callback is set");
    return 1;
}

int32_t ZYN_SET_SOUNDCALLBACK(int32_t sound, ZynSampleCallback callback) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    SoundEntry &row = e.sounds[static_cast<size_t>(sound)];
    row.callback_enabled = 0;
    row.callback = callback;
    return 1;
}

static int32_t set_sound_callback_enabled(int32_t sound, int32_t enabled) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    SoundEntry &row = e.sounds[static_cast<size_t>(sound)];
    if (row.callback == nullptr) return fail("sound %d has no callback (set one with ZYN_SET_SOUNDCALLBACK)", sound);
    row.callback_enabled = enabled;
    return 1;
}

int32_t ZYN_ENABLE_SOUNDCALLBACK(int32_t sound) { return set_sound_callback_enabled(sound, 1); }
int32_t ZYN_DISABLE_SOUNDCALLBACK(int32_t sound) { return set_sound_callback_enabled(sound, 0); }

}  // extern "C"
