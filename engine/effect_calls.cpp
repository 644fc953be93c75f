// The effect calls: filters and reverb sends of sounds, groups and tracks,
// and the shared reverb's settings. Each checks its values, then changes
// the row under the engine lock; the mix (effects.h) does the rest.
#include "effects.h"
#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "row_tables.h"
#include "streaming/track_table.h"
#include "zyn.h"

#include <cmath>

namespace zyn {
namespace {

// Sends this small would only keep the reverb's tail from ever settling.
constexpr float kSmallestSend = 1e-6f;

// The send a value asks for, or a reason.
const char *check_send(float send, float *out) {
    if (!std::isfinite(send)) return "the send is not a finite number";
    *out = send < kSmallestSend ? 0.0f : (send > 1.0f ? 1.0f : send);
    return nullptr;
}

// Checked filter settings for the open device, or 0 and the reason.
// Engine lock held.
int32_t check_filter(const char *operation, int32_t type, float cutoff, float q, BiquadSettings *out) {
    const int32_t rate = engine().effects.rate;
    if (rate <= 0) return fail("%s: no device is open (a filter's range depends on its rate)", operation);
    if (const char *why = check_biquad(type, cutoff, q, static_cast<float>(rate), out))
        return fail("%s: %s", operation, why);
    return 1;
}

// A filter to new settings; one whose voice is not being heard takes them
// at once, since a glide would only delay them to its first frames.
void apply_filter(VoiceEffects &fx, const BiquadSettings &s, bool heard) {
    fx.filter.set(s, static_cast<float>(engine().effects.rate));
    if (!heard) fx.filter.reset();
}

int32_t read_filter(const char *operation, const VoiceEffects &fx, int32_t *type, float *cutoff, float *q) {
    if (type == nullptr) return fail_null(operation, "type");
    if (cutoff == nullptr) return fail_null(operation, "cutoff");
    if (q == nullptr) return fail_null(operation, "q");
    const BiquadSettings &s = fx.filter.settings();
    *type = s.type;
    *cutoff = s.cutoff;
    *q = s.q;
    return 1;
}

// The row's flag, which sends the mix to its effects (effects.h).
void mark_sound(SoundEntry &s, const VoiceEffects &fx) {
    s.effects = fx.in_use();
}

bool sound_heard(const SoundEntry &s) {
    return s.wave_start != nullptr && s.loops > 0 && s.paused == 0 && s.start_at < 0;
}

// Runs body on a live sound's row and its effects under the lock.
template <typename Body>
int32_t with_sound(int32_t sound, Body body) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    return body(e.sounds[static_cast<size_t>(sound)], e.effects.sounds[static_cast<size_t>(sound)]);
}

template <typename Body>
int32_t with_group(const char *operation, int32_t group, Body body) {
    EngineLock hold(engine().lock);
    GroupRow *g = live_group(operation, group);
    return g == nullptr ? 0 : body(*g);
}

template <typename Body>
int32_t with_track(int32_t track, Body body) {
    EngineLock hold(engine().lock);
    TrackRow *t = track_row(track);
    return t == nullptr ? 0 : body(*t);
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_SET_SOUNDFILTER(int32_t sound, int32_t type, float cutoff, float q) {
    return with_sound(sound, [&](SoundEntry &s, VoiceEffects &fx) {
        BiquadSettings settings;
        if (check_filter("ZYN_SET_SOUNDFILTER", type, cutoff, q, &settings) == 0) return 0;
        apply_filter(fx, settings, sound_heard(s));
        mark_sound(s, fx);
        return 1;
    });
}

int32_t ZYN_GET_SOUNDFILTER(int32_t sound, int32_t *type, float *cutoff, float *q) {
    return with_sound(sound, [&](SoundEntry &, VoiceEffects &fx) {
        return read_filter("ZYN_GET_SOUNDFILTER", fx, type, cutoff, q);
    });
}

int32_t ZYN_SET_GROUPFILTER(int32_t group, int32_t type, float cutoff, float q) {
    return with_group("ZYN_SET_GROUPFILTER", group, [&](GroupRow &g) {
        BiquadSettings settings;
        if (check_filter("ZYN_SET_GROUPFILTER", type, cutoff, q, &settings) == 0) return 0;
        apply_filter(g.fx, settings, true);
        return 1;
    });
}

int32_t ZYN_GET_GROUPFILTER(int32_t group, int32_t *type, float *cutoff, float *q) {
    return with_group("ZYN_GET_GROUPFILTER", group,
                      [&](GroupRow &g) { return read_filter("ZYN_GET_GROUPFILTER", g.fx, type, cutoff, q); });
}

int32_t ZYN_SET_TRACKFILTER(int32_t track, int32_t type, float cutoff, float q) {
    return with_track(track, [&](TrackRow &t) {
        BiquadSettings settings;
        if (check_filter("ZYN_SET_TRACKFILTER", type, cutoff, q, &settings) == 0) return 0;
        apply_filter(t.fx, settings, t.playing && !t.paused);
        return 1;
    });
}

int32_t ZYN_GET_TRACKFILTER(int32_t track, int32_t *type, float *cutoff, float *q) {
    return with_track(track, [&](TrackRow &t) { return read_filter("ZYN_GET_TRACKFILTER", t.fx, type, cutoff, q); });
}

int32_t ZYN_SET_REVERB(float room_size, float damping, float width, float wet) {
    ReverbSettings settings;
    if (const char *why = check_reverb(room_size, damping, width, wet, &settings))
        return fail("ZYN_SET_REVERB: %s", why);
    EngineState &e = engine();
    {
        EngineLock hold(e.lock);
        const bool missing = settings.wet > 0.0f && e.effects.rate > 0 && !e.effects.reverb.configured();
        if (missing && inside_fill())
            return fail("ZYN_SET_REVERB: the reverb's memory is made by the first call that makes it heard "
                        "(wet above 0), and the output thread never allocates: make that call from the "
                        "application thread");
        e.effects.settings = settings;
        if (e.effects.reverb.configured()) e.effects.reverb.set(settings);
        if (!missing) return 1;
    }
    if (!make_reverb()) return fail("ZYN_SET_REVERB: no memory for the reverb's delay lines (the settings are kept)");
    return 1;
}

int32_t ZYN_GET_REVERB(float *room_size, float *damping, float *width, float *wet) {
    if (room_size == nullptr) return fail_null("ZYN_GET_REVERB", "room_size");
    if (damping == nullptr) return fail_null("ZYN_GET_REVERB", "damping");
    if (width == nullptr) return fail_null("ZYN_GET_REVERB", "width");
    if (wet == nullptr) return fail_null("ZYN_GET_REVERB", "wet");
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const ReverbSettings &s = e.effects.settings;
    *room_size = s.room_size;
    *damping = s.damping;
    *width = s.width;
    *wet = s.wet;
    return 1;
}

int32_t ZYN_SET_SOUNDREVERB(int32_t sound, float send) {
    float stored = 0.0f;
    if (const char *why = check_send(send, &stored)) return fail("ZYN_SET_SOUNDREVERB: %s", why);
    return with_sound(sound, [&](SoundEntry &s, VoiceEffects &fx) {
        fx.send = stored;
        // A sound that is not heard starts its send where it stands.
        if (!sound_heard(s)) fx.send_applied = stored;
        mark_sound(s, fx);
        return 1;
    });
}

int32_t ZYN_GET_SOUNDREVERB(int32_t sound, float *send) {
    if (send == nullptr) return fail_null("ZYN_GET_SOUNDREVERB", "send");
    return with_sound(sound, [&](SoundEntry &, VoiceEffects &fx) {
        *send = fx.send;
        return 1;
    });
}

int32_t ZYN_SET_GROUPREVERB(int32_t group, float send) {
    float stored = 0.0f;
    if (const char *why = check_send(send, &stored)) return fail("ZYN_SET_GROUPREVERB: %s", why);
    return with_group("ZYN_SET_GROUPREVERB", group, [&](GroupRow &g) {
        g.fx.send = stored;
        return 1;
    });
}

int32_t ZYN_GET_GROUPREVERB(int32_t group, float *send) {
    if (send == nullptr) return fail_null("ZYN_GET_GROUPREVERB", "send");
    return with_group("ZYN_GET_GROUPREVERB", group, [&](GroupRow &g) {
        *send = g.fx.send;
        return 1;
    });
}

int32_t ZYN_SET_TRACKREVERB(int32_t track, float send) {
    float stored = 0.0f;
    if (const char *why = check_send(send, &stored)) return fail("ZYN_SET_TRACKREVERB: %s", why);
    return with_track(track, [&](TrackRow &t) {
        t.fx.send = stored;
        if (!t.playing || t.paused) t.fx.send_applied = stored;
        return 1;
    });
}

int32_t ZYN_GET_TRACKREVERB(int32_t track, float *send) {
    if (send == nullptr) return fail_null("ZYN_GET_TRACKREVERB", "send");
    return with_track(track, [&](TrackRow &t) {
        *send = t.fx.send;
        return 1;
    });
}

}  // extern "C"
