// A sound's place in space: its position (which makes it positional),
// velocity and distance model. The settings live in the row's SpatialVoice,
// made here on the calling thread the first time a sound needs one.
#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "media/smoothing.h"
#include "row_tables.h"
#include "space/positional_mix.h"
#include "space/listener.h"
#include "zyn.h"

#include <memory>
#include <new>
#include <utility>

namespace zyn {
namespace {

// Runs body on the valid sound's row once it has its SpatialVoice, making
// one outside the lock first when it has none (never inside a callback:
// the output thread does not allocate). 0 with a reason otherwise.
template <typename Body>
int32_t with_place(const char *operation, int32_t sound, Body body) {
    EngineState &e = engine();
    std::unique_ptr<SpatialVoice> made;  // freed, when unused, after the lock
    for (;;) {
        {
            EngineLock hold(e.lock);
            if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
            SoundEntry &s = e.sounds[static_cast<size_t>(sound)];
            if (!s.spatial && made) s.spatial = std::move(made);
            if (s.spatial) {
                body(s, *s.spatial);
                return 1;
            }
            if (inside_fill())
                return fail("%s: inside a callback only a sound placed before (from the application) can be "
                            "placed: its first place allocates",
                            operation);
        }
        made.reset(new (std::nothrow) SpatialVoice());
        if (!made) return fail("%s: no memory for the sound's place", operation);
    }
}

void put(float out[3], const space::Vec3 &v) {
    out[0] = static_cast<float>(v.x);
    out[1] = static_cast<float>(v.y);
    out[2] = static_cast<float>(v.z);
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_SET_SOUNDPOSITION(int32_t sound, const float position[3]) {
    if (position == nullptr) {
        // Plain again: back to its pan, gliding there with smoothing on.
        EngineLock hold(engine().lock);
        if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
        SoundEntry &s = engine().sounds[static_cast<size_t>(sound)];
        if (s.positional) {
            const StereoGains from = current_gains(s);
            s.positional = false;
            ramp_from(s, from);
        }
        return 1;
    }
    if (const char *why = space::check_vector(position)) return fail("ZYN_SET_SOUNDPOSITION: %s", why);
    if (!inside_fill()) {
        // The sum of positional sounds for the open device's blocks.
        int32_t samples = 0;
        {
            EngineLock hold(engine().lock);
            if (const PlugoutRecord *device = open_plugout()) samples = device->buffer_size / 2;
        }
        prepare_space_bus(samples, true);
    }
    return with_place("ZYN_SET_SOUNDPOSITION", sound, [&](SoundEntry &s, SpatialVoice &v) {
        v.position = space::vec3(position);
        if (s.positional) return;
        const StereoGains from = current_gains(s);
        s.positional = true;
        v.primed = false;  // its first block starts where it stands
        ramp_from(s, from);
    });
}

int32_t ZYN_GET_SOUNDPOSITION(int32_t sound, float position[3], int32_t *positional) {
    EngineLock hold(engine().lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    const SoundEntry &s = engine().sounds[static_cast<size_t>(sound)];
    if (position != nullptr) put(position, s.spatial ? s.spatial->position : space::Vec3{});
    if (positional != nullptr) *positional = s.positional ? 1 : 0;
    return 1;
}

int32_t ZYN_SET_SOUNDVELOCITY(int32_t sound, const float velocity[3]) {
    if (const char *why = space::check_vector(velocity)) return fail("ZYN_SET_SOUNDVELOCITY: %s", why);
    return with_place("ZYN_SET_SOUNDVELOCITY", sound,
                      [&](SoundEntry &, SpatialVoice &v) { v.velocity = space::vec3(velocity); });
}

int32_t ZYN_GET_SOUNDVELOCITY(int32_t sound, float velocity[3]) {
    if (velocity == nullptr) return fail_null("ZYN_GET_SOUNDVELOCITY", "velocity");
    EngineLock hold(engine().lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    const SoundEntry &s = engine().sounds[static_cast<size_t>(sound)];
    put(velocity, s.spatial ? s.spatial->velocity : space::Vec3{});
    return 1;
}

int32_t ZYN_SET_SOUNDDISTANCE(int32_t sound, int32_t model, float reference, float maximum, float rolloff) {
    space::DistanceModel checked;
    if (const char *why = space::check_distance_model(model, reference, maximum, rolloff, &checked))
        return fail("ZYN_SET_SOUNDDISTANCE: %s", why);
    return with_place("ZYN_SET_SOUNDDISTANCE", sound, [&](SoundEntry &, SpatialVoice &v) { v.model = checked; });
}

int32_t ZYN_GET_SOUNDDISTANCE(int32_t sound, int32_t *model, float *reference, float *maximum, float *rolloff) {
    EngineLock hold(engine().lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    const SoundEntry &s = engine().sounds[static_cast<size_t>(sound)];
    const space::DistanceModel m = s.spatial ? s.spatial->model : space::DistanceModel{};
    if (model != nullptr) *model = m.law;
    if (reference != nullptr) *reference = m.reference;
    if (maximum != nullptr) *maximum = m.maximum;
    if (rolloff != nullptr) *rolloff = m.rolloff;
    return 1;
}

}  // extern "C"
