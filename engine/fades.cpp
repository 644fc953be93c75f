#include "fades.h"

#include "fill_thread.h"
#include "groups.h"
#include "last_error.h"
#include "media/gain.h"
#include "row_tables.h"
#include "zyn.h"

#include <cmath>

namespace zyn {
namespace {

constexpr double kLongestMilliseconds = 60000.0;

}  // namespace

bool fade_frames(const char *operation, float ms, int64_t *frames) {
    if (!(ms >= 0.0f))
        return fail("%s: %g milliseconds is no duration (0 .. 60000)", operation, static_cast<double>(ms));
    const PlugoutRecord *device = open_plugout();
    if (device == nullptr) return fail_not_initialised();
    const double clamped = ms < kLongestMilliseconds ? static_cast<double>(ms) : kLongestMilliseconds;
    *frames = std::llround(clamped * device->rate / 1000.0);
    return true;
}

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_FADE_SOUND(int32_t sound, float volume, float milliseconds, int32_t stop) {
    const float target = clamp_volume(volume, kSoundSilentBelow);
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    int64_t frames = 0;
    if (!fade_frames("ZYN_FADE_SOUND", milliseconds, &frames)) return 0;
    SoundEntry &s = e.sounds[static_cast<size_t>(sound)];
    // The volume it has when no fade changes it (the one a running fade
    // with stop would give back).
    const float before = s.stop_after_fade ? s.volume_after_stop : s.volume;
    const bool plays = s.loops > 0 && frames > 0;
    s.stop_after_fade = false;
    if (stop != 0) {
        if (!plays) {
            // Nothing to fade: it stops (if it plays) and keeps its volume.
            s.volume = before;
            s.level.hold(before);
            if (s.loops > 0) {
                s.loops = 0;
                s.start_at = -1;
                s.ramp_frames = 0;
            }
            return 1;
        }
        s.stop_after_fade = true;
        s.volume_after_stop = before;
    }
    s.volume = target;
    if (plays)
        s.level.linear(target, frames);  // from the level it has reached
    else
        s.level.hold(target);
    return 1;
}

int32_t ZYN_FADE_GROUP(int32_t group, float volume, float milliseconds) {
    const float target = clamp_volume(volume, kSoundSilentBelow);
    EngineLock hold(engine().lock);
    GroupRow *g = live_group("ZYN_FADE_GROUP", group);
    if (g == nullptr) return 0;
    int64_t frames = 0;
    if (!fade_frames("ZYN_FADE_GROUP", milliseconds, &frames)) return 0;
    g->volume = target;
    g->level.linear(target, frames);  // from the level reached; at once when 0
    return 1;
}

}  // extern "C"
