// ZYN_SET_MASTERVOLUME / ZYN_GET_MASTERVOLUME. The mixer reads the volume
// under the engine lock once per block, so the setter takes the lock too.
#include "master_stage.h"

#include "last_error.h"
#include "zyn.h"

namespace zyn {

float clamp_master_volume(float volume) {
    // Written so that not-a-number also ends as silence.
    if (!(volume >= 0.001f)) volume = 0.0f;
    if (volume > 2.0f) volume = 2.0f;
    return volume;
}

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_SET_MASTERVOLUME(float volume) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.initialized.load() != 1) return fail_not_initialised();
    e.master_volume = clamp_master_volume(volume);
    return 1;
}

int32_t ZYN_GET_MASTERVOLUME(float *volume) {
    if (volume == nullptr) return fail_null("ZYN_GET_MASTERVOLUME", "volume");
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.initialized.load() != 1) return fail_not_initialised();
    *volume = e.master_volume;
    return 1;
}

}  // extern "C"
