// The listener, Doppler and HRTF calls. The listener and Doppler settings
// are plain values the next block reads; an HRTF set is loaded on the
// calling thread and swapped in under the engine lock.
#include "space_settings.h"

#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "positional_mix.h"
#include "zyn.h"

#include <new>
#include <string>
#include <utility>

namespace zyn {
namespace {

void put(float out[3], const space::Vec3 &v) {
    out[0] = static_cast<float>(v.x);
    out[1] = static_cast<float>(v.y);
    out[2] = static_cast<float>(v.z);
}

}  // namespace

SpaceSettings &space_settings() {
    static SpaceSettings settings;
    return settings;
}

void release_space() {
    std::unique_ptr<HrtfSet> set;
    std::vector<float> bus;
    {
        EngineLock hold(engine().lock);
        SpaceSettings &s = space_settings();
        s.listener = space::Listener{};
        s.doppler = space::Doppler{};
        set = std::move(s.hrtf);
        bus.swap(s.bus);
    }
}

void prepare_space_bus(int32_t samples, bool make) {
    if (samples <= 0) return;
    {
        EngineLock hold(engine().lock);
        const std::vector<float> &bus = space_settings().bus;
        if (bus.size() >= static_cast<size_t>(samples) || (bus.empty() && !make)) return;
    }
    std::vector<float> fresh;
    try {
        fresh.assign(static_cast<size_t>(samples), 0.0f);
    } catch (const std::bad_alloc &) {
        return;  // the mix adds positional sounds chunk by chunk instead
    }
    EngineLock hold(engine().lock);
    if (space_settings().bus.size() < fresh.size()) space_settings().bus.swap(fresh);
}  // the smaller sum, if any, is freed once the lock is released

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_SET_LISTENER(const float position[3], const float forward[3], const float up[3]) {
    EngineLock hold(engine().lock);
    // Checked into a copy, so a refused call leaves the listener as it was.
    space::Listener next = space_settings().listener;
    if (const char *why = space::set_listener(next, position, forward, up)) return fail("ZYN_SET_LISTENER: %s", why);
    space_settings().listener = next;
    return 1;
}

int32_t ZYN_GET_LISTENER(float position[3], float forward[3], float up[3]) {
    EngineLock hold(engine().lock);
    const space::Listener &l = space_settings().listener;
    if (position != nullptr) put(position, l.position);
    if (forward != nullptr) put(forward, l.forward);
    if (up != nullptr) put(up, l.up);
    return 1;
}

int32_t ZYN_SET_LISTENERVELOCITY(const float velocity[3]) {
    EngineLock hold(engine().lock);
    if (const char *why = space::set_listener_velocity(space_settings().listener, velocity))
        return fail("ZYN_SET_LISTENERVELOCITY: %s", why);
    return 1;
}

int32_t ZYN_GET_LISTENERVELOCITY(float velocity[3]) {
    if (velocity == nullptr) return fail_null("ZYN_GET_LISTENERVELOCITY", "velocity");
    EngineLock hold(engine().lock);
    put(velocity, space_settings().listener.velocity);
    return 1;
}

int32_t ZYN_SET_DOPPLER(float factor, float speed_of_sound) {
    EngineLock hold(engine().lock);
    if (const char *why = space::check_doppler(factor, speed_of_sound, &space_settings().doppler))
        return fail("ZYN_SET_DOPPLER: %s", why);
    return 1;
}

int32_t ZYN_GET_DOPPLER(float *factor, float *speed_of_sound) {
    EngineLock hold(engine().lock);
    const space::Doppler &d = space_settings().doppler;
    if (factor != nullptr) *factor = d.factor;
    if (speed_of_sound != nullptr) *speed_of_sound = d.speed_of_sound;
    return 1;
}

int32_t ZYN_SET_HRTF(const char *sofa_file) {
    // Loading reads and prepares a file: never on the output thread.
    if (inside_fill()) return fail_in_callback("ZYN_SET_HRTF");
    EngineState &e = engine();
    std::unique_ptr<HrtfSet> set;
    if (sofa_file == nullptr || sofa_file[0] == '\0') {
        EngineLock hold(e.lock);
        set = std::move(space_settings().hrtf);
        return 1;  // the set is freed once the lock is released
    }
    int32_t rate = 0;
    {
        EngineLock hold(e.lock);
        const PlugoutRecord *device = open_plugout();
        if (device == nullptr) return fail_not_initialised();
        rate = device->rate;
    }
    std::string why;
    set = load_hrtf(sofa_file, rate, 0, &why);
    if (!set) return fail("ZYN_SET_HRTF: %s", why.c_str());
    EngineLock hold(e.lock);
    space_settings().hrtf.swap(set);
    return 1;  // the previous set is freed once the lock is released
}

int32_t ZYN_GET_HRTF(int32_t *active) {
    if (active == nullptr) return fail_null("ZYN_GET_HRTF", "active");
    EngineLock hold(engine().lock);
    const PlugoutRecord *device = open_plugout();
    const HrtfSet *set = space_settings().hrtf.get();
    *active = set != nullptr && device != nullptr && device->rate == set->rate() ? 1 : 0;
    return 1;
}

}  // extern "C"
