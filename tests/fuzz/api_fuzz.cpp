// libFuzzer target: the whole interface, driven by the input, against a
// plug-in whose thread runs fills back to back (the "thread" fixture, loaded
// through ZYN_SET_PLUGPATH like any plug-in).
//
// An input is read as two parts. First a script of up to kScriptSteps calls
// that the sound, stream and master callbacks make from inside the fill; it
// is complete before this input starts an output thread, and the callbacks
// only read it. Then the calls the application thread makes: lifecycle with
// usable and absurd formats, waves created and filled, WAV files written
// from the input (valid and broken headers), sounds with every parameter set
// to any float (NaN, infinities, denormals, huge values), play ranges from
// pointers inside, outside and between the frames of the wave, destruction
// twice and through stale handles, master stage, callbacks, an MPEG stream
// of generated frames, pitch shifting, tracks opened from the WAV files and
// from memory (played, sought, looped, queued, faded), groups of sounds and
// tracks (through stale handles too), fades, clocked starts at any frame,
// rendering on the application thread (ZYN_INIT_RENDER, ZYN_RENDER of any
// length), and positional sound (the listener, sounds' places, velocities
// and distance models, Doppler, SOFA files that are and are not ones).
// Every input ends with ZYN_EXIT.
//
// Crashes, sanitizer reports, leaks and hangs are findings; so is a broken
// promise of the interface (a call from a callback that must be refused but
// was not, a value read back outside its range, a thread left running),
// reported through report().
#include "lifecycle.h"
#include "zyn.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <limits>
#include <sched.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWaveSlots = 6;
constexpr int kSoundSlots = 12;
constexpr int kAdoptSlots = 4;
constexpr int kTrackSlots = 4;
constexpr int kGroupSlots = 4;
constexpr int kScriptSteps = 48;
// Callback steps per input: the output thread would otherwise spend the
// whole input inside callbacks.
constexpr int kCallbackBudget = 400;
constexpr int kMaxCalls = 96;
constexpr int kPitchFrames = 2048;

[[noreturn]] void report(const char *what) {
    std::fprintf(stderr, "api_fuzz: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

void expect(bool ok, const char *what) {
    if (!ok) report(what);
}

// ---- Values ---------------------------------------------------------------

float pick_float(FuzzedDataProvider &in) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kMax = std::numeric_limits<float>::max();
    constexpr float kTiny = std::numeric_limits<float>::denorm_min();
    constexpr float kHalfNormal = std::numeric_limits<float>::min() / 2.0f;
    static const float kSpecial[] = {
        kNaN,        -kNaN,        kInf,    -kInf,    kTiny,    -kTiny,    kHalfNormal, kMax,
        -kMax,       0.0f,         -0.0f,   1.0f,     -1.0f,    0.5f,      -0.5f,       2.0f,
        2.5f,        1e30f,        -1e30f,  16383.0f, 16384.0f, -16384.0f, 32768.0f,    65536.0f,
        1.5258e-06f, -1.5258e-06f, 1e-7f,   0.0001f,  0.00009f, 0.001f,    0.0009f,     1.0000001f,
        0.9999999f,  20.0f,        1000.0f, 11025.0f, 22049.0f, 22050.0f,  24000.0f,    96000.0f,
        384000.0f,   12.0f,        -12.0f,  96.0f,    -96.0f,   10.0f,     0.01f};
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return in.PickValueInArray(kSpecial);
        case 1: return in.ConsumeFloatingPointInRange<float>(-4.0f, 4.0f);
        case 2: {
            const uint32_t bits = in.ConsumeIntegral<uint32_t>();
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return f;
        }
        default: return in.ConsumeFloatingPoint<float>();
    }
}

int32_t pick_int(FuzzedDataProvider &in) {
    static const int32_t kSpecial[] = {
        0, 1, -1, 2, 3, 7, 100, ZYN_LOOP_FOREVER, std::numeric_limits<int32_t>::min(), -2};
    return in.ConsumeBool() ? in.PickValueInArray(kSpecial)
                            : in.ConsumeIntegralInRange<int32_t>(-4, 16);
}

// ---- What the application holds --------------------------------------------

struct WaveSlot {
    int32_t handle = -1;  // may be stale: kept after the wave is destroyed
    bool live = false;
    uintptr_t start = 0, end = 0;  // the samples as the engine gave them
};

struct SoundSlot {
    int32_t handle = -1;  // may be stale
    int wave = -1;        // the wave slot it was made on
};

WaveSlot g_waves[kWaveSlots];
SoundSlot g_sounds[kSoundSlots];
int32_t g_groups[kGroupSlots];  // handles, may be stale

// Every wave the engine holds, also those whose slot was taken by another:
// the play range of any sound lies inside one of them. The application
// thread's alone.
struct LiveWave {
    int32_t handle;
    uintptr_t start, end;
};
std::vector<LiveWave> g_live_waves;

// The handles as the callbacks see them, published by the application thread.
std::atomic<int32_t> g_wave_handle[kWaveSlots];
std::atomic<int32_t> g_sound_handle[kSoundSlots];
std::atomic<int32_t> g_sound_wave[kSoundSlots];
std::atomic<int32_t> g_group_handle[kGroupSlots];
// Sounds a callback made, for the application thread to take over.
std::atomic<int32_t> g_adopt[kAdoptSlots];
// Track handles (may be stale), as both threads see them.
std::atomic<int32_t> g_track_handle[kTrackSlots];
// A short WAV image every memory track reads in place; it lives as long as
// the process, so no track can outlive it.
std::vector<uint8_t> g_track_image;

void publish_wave(int slot) { g_wave_handle[slot].store(g_waves[slot].handle); }
void publish_group(int slot) { g_group_handle[slot].store(g_groups[slot]); }
void publish_sound(int slot) {
    g_sound_handle[slot].store(g_sounds[slot].handle);
    const int w = g_sounds[slot].wave;
    g_sound_wave[slot].store(w >= 0 ? g_waves[w].handle : -1);
}

std::string g_folder;      // scratch files of this process
std::string g_plugins;     // the thread fixture's folder
std::string g_no_plugins;  // a folder without plug-ins
std::string g_wav_path, g_mp3_path, g_missing_path;

// ---- Pointers derived from a wave's range ----------------------------------

// Any address near or inside [start, end): odd ones (inside a sample), ones
// inside a frame, ones before the start and past the end. Only the engine
// sees them; nothing here dereferences them.
int16_t *derive_pointer(uintptr_t start, uintptr_t end, uint8_t how, int32_t offset) {
    const intptr_t off = offset % 67;
    switch (how % 5) {
        case 0: return nullptr;
        case 1: return reinterpret_cast<int16_t *>(start + static_cast<uintptr_t>(off));
        case 2: return reinterpret_cast<int16_t *>(end + static_cast<uintptr_t>(off));
        case 3: {
            const uintptr_t span = end > start ? end - start : 0;
            const uintptr_t at =
                span > 0 ? static_cast<uintptr_t>(static_cast<uint32_t>(offset)) % span : 0;
            return reinterpret_cast<int16_t *>(start + at);
        }
        default: {
            // Far outside, on both sides.
            const uintptr_t far = uintptr_t{1} << 20;
            return reinterpret_cast<int16_t *>(offset < 0 ? start - far : end + far);
        }
    }
}

// ---- The callbacks' script ---------------------------------------------------

enum class Step : uint8_t {
    SetSpeed,
    SetVolume,
    SetPan,
    SetLoops,
    SetMuted,
    SetPaused,
    PlaySound,
    DestroySound,
    PlayWave,
    CreateSound,
    SetPointers,
    ReadBack,
    MasterVolume,
    MasterFilter,
    ToggleFilter,
    PitchShift,
    MustRefuse,
    EndStream,
    StreamVolumePan,
    ToggleCallbacks,
    WriteBlock,
    TrackSettings,
    Resampler,
    GroupSettings,
    PlayAt,
    Space,
    Effects,
    kCount
};

struct ScriptStep {
    Step step;
    uint8_t slot;
    uint8_t how[3];
    int32_t value;
    int32_t offsets[3];
    float f[4];
};

ScriptStep g_script[kScriptSteps];
int g_script_length = 0;
std::atomic<int> g_cursor{0};

void sound_callback(int16_t *, int32_t, int32_t);
void master_callback(int16_t *, int32_t, int32_t);
void stream_callback(int16_t *, int32_t, int32_t);

void set_pointers_inside_fill(const ScriptStep &s, int32_t sound, int32_t wave) {
    int16_t *start = nullptr, *end = nullptr;
    if (ZYN_GET_WAVEPOINTERS(wave, &start, &end, nullptr) != 1) return;
    const auto a = reinterpret_cast<uintptr_t>(start), b = reinterpret_cast<uintptr_t>(end);
    ZYN_SET_SOUNDPOINTERS(sound, derive_pointer(a, b, s.how[0], s.offsets[0]),
                          derive_pointer(a, b, s.how[1], s.offsets[1]),
                          derive_pointer(a, b, s.how[2], s.offsets[2]));
}

void read_back(int32_t sound);

// Group settings, membership and fades, from either thread. A fade of a
// duration that is no number or below 0 is refused; any other volume is
// clamped, and the getter answers the target at once.
void group_settings(uint8_t how, int32_t group, int32_t sound, int32_t track, float f, float ms, int32_t value) {
    switch (how % 10) {
        case 6: {
            const int32_t ok = ZYN_FADE_GROUP(group, f, ms);
            if (!(ms >= 0.0f)) expect(ok == 0, "ZYN_FADE_GROUP refuses a duration that is not one");
            break;
        }
        case 7: {
            const int32_t ok = ZYN_FADE_SOUND(sound, f, ms, value & 1);
            if (!(ms >= 0.0f)) expect(ok == 0, "ZYN_FADE_SOUND refuses a duration that is not one");
            float v = -1.0f;
            if (ok == 1 && (value & 1) == 0 && ZYN_GET_SOUNDVOLUME(sound, &v) == 1)
                expect(v == 0.0f || (v >= 0.0001f && v <= 2.0f), "a fading sound's volume reads back clamped");
            break;
        }
        case 8: ZYN_SET_TRACKGROUP(track, (value & 1) ? -1 : group); break;
        case 9: {
            int32_t in = 0;
            if (ZYN_GET_TRACKGROUP(track, &in) == 1) expect(in == -1 || in > 0, "a group handle is positive");
            break;
        }
        case 0: {
            if (ZYN_SET_GROUPVOLUME(group, f) != 1) break;
            float v = -1.0f;
            if (ZYN_GET_GROUPVOLUME(group, &v) == 1)
                expect(v == 0.0f || (v >= 0.0001f && v <= 2.0f), "a group's volume is clamped");
            break;
        }
        case 1: {
            int32_t muted = -1;
            if (ZYN_SET_GROUPMUTED(group, value) == 1 && ZYN_GET_GROUPMUTED(group, &muted) == 1)
                expect(muted == 0 || muted == 1, "a group's mute reads back as 0 or 1");
            break;
        }
        case 2: ZYN_SET_GROUPPAUSED(group, value); break;
        case 3: ZYN_SET_SOUNDGROUP(sound, group); break;
        case 4: ZYN_SET_SOUNDGROUP(sound, -1); break;
        default: {
            int32_t in = 0, paused = 0;
            if (ZYN_GET_SOUNDGROUP(sound, &in) == 1) expect(in == -1 || in > 0, "a group handle is positive");
            ZYN_GET_GROUPPAUSED(group, &paused);
            break;
        }
    }
}

// Filters and reverb sends of a sound, a group and a track, and the reverb,
// from either thread (nothing of it allocates). What is taken reads back in
// range; a filter of another type, or with a cutoff or q that is no finite
// number, is refused.
void effect_settings(uint8_t how, int32_t sound, int32_t group, int32_t track, const float *f, int32_t value) {
    const int32_t type = (how & 0x80) ? value : (how >> 4) % 4;
    const bool bad = type < ZYN_FILTER_NONE || type > ZYN_FILTER_BANDPASS ||
                     (type != ZYN_FILTER_NONE && !(std::isfinite(f[0]) && std::isfinite(f[1])));
    int32_t got_type = -1;
    float cutoff = 0.0f, q = 0.0f, send = -1.0f;
    int32_t ok = 0;
    switch (how % 8) {
        case 0:
            ok = ZYN_SET_SOUNDFILTER(sound, type, f[0], f[1]);
            if (ok == 1) ZYN_GET_SOUNDFILTER(sound, &got_type, &cutoff, &q);
            break;
        case 1:
            ok = ZYN_SET_GROUPFILTER(group, type, f[0], f[1]);
            if (ok == 1) ZYN_GET_GROUPFILTER(group, &got_type, &cutoff, &q);
            break;
        case 2:
            ok = ZYN_SET_TRACKFILTER(track, type, f[0], f[1]);
            if (ok == 1) ZYN_GET_TRACKFILTER(track, &got_type, &cutoff, &q);
            break;
        case 3:
            if (ZYN_SET_SOUNDREVERB(sound, f[2]) == 1 && ZYN_GET_SOUNDREVERB(sound, &send) == 1)
                expect(send >= 0.0f && send <= 1.0f, "a sound's send reads back within 0..1");
            return;
        case 4:
            if (ZYN_SET_GROUPREVERB(group, f[2]) == 1 && ZYN_GET_GROUPREVERB(group, &send) == 1)
                expect(send >= 0.0f && send <= 1.0f, "a group's send reads back within 0..1");
            return;
        case 5:
            if (ZYN_SET_TRACKREVERB(track, f[2]) == 1 && ZYN_GET_TRACKREVERB(track, &send) == 1)
                expect(send >= 0.0f && send <= 1.0f, "a track's send reads back within 0..1");
            return;
        case 6: {
            float v[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
            const int32_t set = ZYN_SET_REVERB(f[0], f[1], f[2], f[3]);
            bool finite = true;
            for (int i = 0; i < 4; ++i) finite = finite && std::isfinite(f[i]);
            if (!finite) expect(set == 0, "ZYN_SET_REVERB refuses a value that is no finite number");
            if (ZYN_GET_REVERB(&v[0], &v[1], &v[2], &v[3]) == 1)
                for (float x : v) expect(x >= 0.0f && x <= 1.0f, "the reverb's settings read back within 0..1");
            return;
        }
        default:
            ZYN_GET_SOUNDFILTER(sound, nullptr, &cutoff, &q);
            ZYN_GET_GROUPREVERB(group, nullptr);
            ZYN_GET_REVERB(nullptr, nullptr, nullptr, nullptr);
            return;
    }
    if (bad) expect(ok == 0, "a filter of no known type, or with a cutoff or q that is no number, is refused");
    if (ok == 1) {
        expect(got_type == type, "a filter's type reads back");
        if (type != ZYN_FILTER_NONE)
            expect(cutoff >= 10.0f && cutoff <= 0.49f * 768000.0f && q >= 0.1f && q <= 20.0f,
                   "a filter's cutoff and q read back clamped");
    }
}

// A clocked start at a frame near the clock, or at one that is absurd.
// Positional sound from either thread. A vector holding a value that is no
// finite coordinate within 1e12 is refused, as are an unknown distance
// model and Doppler settings that are not numbers in range; the getters
// answer what was taken.
bool usable_vector(const float v[3]) {
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(v[i]) <= 1.0e12f)) return false;
    return true;
}

void space_settings(uint8_t how, int32_t sound, const float f[4], int32_t value) {
    const float v[3] = {f[0], f[1], f[2]}, w[3] = {f[1], f[2], f[3]}, up[3] = {0.0f, 1.0f, 0.0f};
    switch (how % 7) {
        case 0: {
            const int32_t ok = ZYN_SET_LISTENER(v, w, (value & 1) ? up : v);
            if (!usable_vector(v) || !usable_vector(w)) expect(ok == 0, "ZYN_SET_LISTENER refuses a bad vector");
            break;
        }
        case 1:
            expect(ZYN_SET_LISTENERVELOCITY(v) == (usable_vector(v) ? 1 : 0),
                   "ZYN_SET_LISTENERVELOCITY takes every usable vector and no other");
            break;
        case 2: {
            const int32_t ok = ZYN_SET_SOUNDPOSITION(sound, (value & 3) == 0 ? nullptr : v);
            if ((value & 3) != 0 && !usable_vector(v)) expect(ok == 0, "ZYN_SET_SOUNDPOSITION refuses a bad vector");
            break;
        }
        case 3:
            if (ZYN_SET_SOUNDVELOCITY(sound, v) == 1) expect(usable_vector(v), "a refused velocity is not taken");
            break;
        case 4:
            if (ZYN_SET_SOUNDDISTANCE(sound, value, f[0], f[1], f[2]) == 1)
                expect(value >= ZYN_DISTANCE_NONE && value <= ZYN_DISTANCE_EXPONENTIAL, "only a known model is taken");
            break;
        case 5:
            expect(ZYN_SET_DOPPLER(f[0], f[1]) ==
                       (std::isfinite(f[0]) && f[0] >= 0.0f && std::isfinite(f[1]) && f[1] > 0.0f ? 1 : 0),
                   "ZYN_SET_DOPPLER takes the settings in range and no other");
            break;
        default: {
            float a[3] = {}, b[3] = {}, c[3] = {}, factor = -1.0f, speed = -1.0f, ref = 0.0f, max = 0.0f, roll = -1.0f;
            int32_t positional = -1, model = -1, active = -1;
            ZYN_GET_LISTENER(a, b, c);
            expect(usable_vector(a) && usable_vector(b) && usable_vector(c), "the listener holds usable vectors");
            expect(ZYN_GET_LISTENERVELOCITY(a) == 1 && usable_vector(a), "the listener's velocity is usable");
            expect(ZYN_GET_DOPPLER(&factor, &speed) == 1 && factor >= 0.0f && speed > 0.0f, "Doppler in range");
            if (ZYN_GET_SOUNDPOSITION(sound, a, &positional) == 1)
                expect(usable_vector(a) && (positional == 0 || positional == 1), "a sound's position is usable");
            if (ZYN_GET_SOUNDVELOCITY(sound, a) == 1) expect(usable_vector(a), "a sound's velocity is usable");
            if (ZYN_GET_SOUNDDISTANCE(sound, &model, &ref, &max, &roll) == 1)
                expect(model >= 0 && model <= 3 && ref > 0.0f && !(max < ref) && roll >= 0.0f, "a model in range");
            ZYN_GET_HRTF((value & 1) ? nullptr : &active);
            ZYN_GET_SOUNDVELOCITY(sound, nullptr);
            break;
        }
    }
}

void play_at(int32_t sound, int32_t loops, uint8_t how, int32_t offset) {
    int64_t now = 0;
    if (ZYN_GET_CLOCK(&now) != 1) now = 0;
    static const int64_t kOdd[] = {-1, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                                   (int64_t{1} << 42) + (int64_t{1} << 40), 0};
    const int64_t frame = (how & 3) != 0 ? now + offset % 5000 : kOdd[(how >> 2) % 5];
    const int32_t ok = ZYN_PLAY_SOUND_AT(sound, loops, frame);
    if (frame < 0 || frame == std::numeric_limits<int64_t>::max())
        expect(ok == 0, "ZYN_PLAY_SOUND_AT refuses a negative frame and INT64_MAX");
}

// A call that does its own work on the output thread is refused there: it
// would join that thread, wait for files or allocate.
void must_refuse(const ScriptStep &s) {
    int32_t wave = g_wave_handle[s.slot % kWaveSlots].load();
    int32_t result = -1;
    switch (s.value & 31) {
        case 0: result = ZYN_INIT(44100, 2, 3, 256, -1); break;
        case 1: result = ZYN_START(); break;
        case 2: result = ZYN_STOP(); break;
        case 3: result = ZYN_EXIT(); break;
        case 4: {
            int16_t *samples = nullptr;
            int32_t made = 7;
            result = ZYN_CREATE_WAVE(100, &made, &samples);
            expect(made == -1, "a refused ZYN_CREATE_WAVE leaves its handle at -1");
            break;
        }
        case 5: result = ZYN_DESTROY_WAVE(&wave); break;
        case 6: {
            int32_t made = 7;
            result = ZYN_LOAD_WAVFILE(g_wav_path.c_str(), &made);
            expect(made == -1, "a refused ZYN_LOAD_WAVFILE leaves its handle at -1");
            break;
        }
        case 7: result = ZYN_CREATE_MP3STREAM(g_mp3_path.c_str()); break;
        case 8: result = ZYN_PLAY_MP3STREAM(1.0f, 0.0f); break;
        case 9: {
            int32_t made = 7;
            result = s.how[0] & 1 ? ZYN_OPEN_TRACK(g_wav_path.c_str(), &made)
                                  : ZYN_OPEN_TRACKMEMORY(g_track_image.data(), g_track_image.size(), &made);
            expect(made == -1, "a refused track open leaves its handle at -1");
            break;
        }
        case 10: {
            int32_t track = g_track_handle[s.slot % kTrackSlots].load();
            result = ZYN_CLOSE_TRACK(&track);
            break;
        }
        case 11: result = ZYN_PLAY_TRACK(g_track_handle[s.slot % kTrackSlots].load(), 1); break;
        case 12: result = ZYN_SEEK_TRACK(g_track_handle[s.slot % kTrackSlots].load(), 0); break;
        case 13: result = ZYN_SET_TRACKLOOP(g_track_handle[s.slot % kTrackSlots].load(), 0, -1); break;
        case 14:
            result = ZYN_QUEUE_TRACK(g_track_handle[s.slot % kTrackSlots].load(),
                                     g_track_handle[(s.slot + 1) % kTrackSlots].load());
            break;
        case 15:
            result = ZYN_CROSSFADE_TRACKS(g_track_handle[s.slot % kTrackSlots].load(),
                                          g_track_handle[(s.slot + 1) % kTrackSlots].load(), 10.0f);
            break;
        case 16: result = ZYN_SET_PLUGNAME("thread"); break;
        case 17: result = ZYN_GET_NUMOFDEVICES(); break;
        case 18: result = ZYN_GET_DEVICENAME(0)[0] != '\0' ? 1 : 0; break;
        case 19: {
            int32_t made = 7;
            result = ZYN_CREATE_GROUP(&made);
            expect(made == 7, "a refused ZYN_CREATE_GROUP leaves its handle");
            break;
        }
        case 20: {
            int16_t samples[64];
            result = ZYN_RENDER(samples, 32);
            break;
        }
        case 21: result = ZYN_INIT_RENDER(44100, 2, 256); break;
        case 22: result = ZYN_SET_HRTF((s.how[0] & 1) ? "default" : nullptr); break;
        default: return;
    }
    if (result != 0) report("a call that must be refused inside a callback was carried out");
}

void run_step(const ScriptStep &s, int16_t *block, int32_t channels, int32_t frames) {
    const int slot = s.slot % kSoundSlots;
    int32_t sound = g_sound_handle[slot].load();
    switch (s.step) {
        case Step::SetSpeed: ZYN_SET_SOUNDSPEED(sound, s.f[0]); break;
        case Step::SetVolume: ZYN_SET_SOUNDVOLUME(sound, s.f[0]); break;
        case Step::SetPan: ZYN_SET_SOUNDPAN(sound, s.f[0]); break;
        case Step::SetLoops: ZYN_SET_SOUNDLOOPS(sound, s.value); break;
        case Step::SetMuted: ZYN_SET_SOUNDMUTED(sound, s.value); break;
        case Step::SetPaused: ZYN_SET_SOUNDPAUSED(sound, s.value); break;
        case Step::PlaySound: ZYN_PLAY_SOUND(sound, s.value); break;
        case Step::DestroySound:
            if (ZYN_DESTROY_SOUND(&sound) == 1)
                expect(sound == -1, "a destroyed handle becomes -1");
            break;
        case Step::PlayWave:
        case Step::CreateSound: {
            const int32_t wave = g_wave_handle[s.slot % kWaveSlots].load();
            int32_t made = -1;
            const int32_t ok = s.step == Step::PlayWave
                                   ? ZYN_PLAY_WAVE(wave, s.value, s.f[0], s.f[1], s.f[2],
                                                   (s.how[0] & 1) ? &made : nullptr)
                                   : ZYN_CREATE_SOUND(wave, &made);
            if (ok == 1 && made >= 0) g_adopt[s.how[1] % kAdoptSlots].store(made);
            break;
        }
        case Step::SetPointers:
            set_pointers_inside_fill(s, sound, g_sound_wave[slot].load());
            break;
        case Step::ReadBack: read_back(sound); break;
        case Step::MasterVolume: ZYN_SET_MASTERVOLUME(s.f[0]); break;
        case Step::MasterFilter:
            ZYN_SET_MASTERFILTER(s.value % 12, s.f[0], s.f[1], s.f[2], s.how[0] & 1);
            break;
        case Step::ToggleFilter:
            if (s.how[0] & 1)
                ZYN_ENABLE_MASTERFILTER(s.value % 12);
            else
                ZYN_DISABLE_MASTERFILTER(s.value % 12);
            break;
        case Step::PitchShift: {
            const int32_t count = frames < kPitchFrames ? frames : kPitchFrames;
            ZYN_PITCHSHIFT(block, block, s.f[0], (s.how[0] & 1) ? count : count / 2);
            break;
        }
        case Step::MustRefuse: must_refuse(s); break;
        case Step::EndStream:
            expect(ZYN_END_MP3STREAM() == 1, "ZYN_END_MP3STREAM always succeeds");
            break;
        case Step::StreamVolumePan:
            ZYN_SET_STREAMVOLUME(s.f[0]);
            ZYN_SET_STREAMPAN(s.f[1]);
            break;
        case Step::ToggleCallbacks:
            switch (s.how[0] % 6) {
                case 0: ZYN_DISABLE_MASTERCALLBACK(); break;
                case 1: ZYN_SET_MASTERCALLBACK((s.how[1] & 1) ? nullptr : master_callback); break;
                case 2:
                    ZYN_SET_SOUNDCALLBACK(sound, (s.how[1] & 1) ? nullptr : sound_callback);
                    break;
                case 3: ZYN_ENABLE_SOUNDCALLBACK(sound); break;
                case 4: ZYN_DISABLE_SOUNDCALLBACK(sound); break;
                default:
                    ZYN_SET_STREAMCALLBACK((s.how[1] & 1) ? nullptr : stream_callback);
                    ZYN_ENABLE_STREAMCALLBACK();
                    break;
            }
            break;
        case Step::TrackSettings: {
            const int32_t track = g_track_handle[s.slot % kTrackSlots].load();
            switch (s.how[0] % 6) {
                case 0: ZYN_STOP_TRACK(track); break;
                case 1: ZYN_SET_TRACKPAUSED(track, s.value); break;
                case 2: ZYN_SET_TRACKVOLUME(track, s.f[0]); break;
                case 3: ZYN_SET_TRACKPAN(track, s.f[0]); break;
                case 4: ZYN_FADE_TRACK(track, s.f[0], s.f[1], s.value); break;
                default: {
                    int64_t frame = -1;
                    if (ZYN_GET_TRACKPOSITION(track, &frame) == 1) expect(frame >= 0, "a track position is never negative");
                    ZYN_IS_TRACKPLAYING(track);
                    expect(ZYN_GET_PLAYINGTRACKS() >= 0, "a count of tracks is never negative");
                    break;
                }
            }
            break;
        }
        case Step::Resampler:
            // Only a mode whose tables exist is taken here; none is built.
            if (s.how[0] & 1)
                ZYN_SET_RESAMPLER(s.value % 5);
            else
                ZYN_SET_SOUNDRESAMPLER(sound, s.value % 5);
            break;
        case Step::GroupSettings:
            group_settings(s.how[0], g_group_handle[s.how[1] % kGroupSlots].load(), sound,
                           g_track_handle[s.how[2] % kTrackSlots].load(), s.f[0], s.f[1], s.value);
            break;
        case Step::PlayAt: play_at(sound, s.value, s.how[0], s.offsets[0]); break;
        case Step::Space: space_settings(s.how[0], sound, s.f, s.value); break;
        case Step::Effects:
            effect_settings(s.how[0], sound, g_group_handle[s.how[1] % kGroupSlots].load(),
                            g_track_handle[s.how[2] % kTrackSlots].load(), s.f, s.value);
            break;
        case Step::WriteBlock:
            // The whole block the callback was handed is its to change.
            for (int32_t i = 0; i < channels * frames; ++i)
                block[i] = static_cast<int16_t>(static_cast<uint32_t>(s.value) +
                                                static_cast<uint32_t>(i) * 331u);
            break;
        case Step::kCount: break;
    }
}

void run_script(int16_t *block, int32_t channels, int32_t frames) {
    expect(block != nullptr, "a callback is handed a block");
    expect(channels == 1 || channels == 2, "a callback sees the device's channel count");
    expect(frames >= 1, "a callback sees at least one frame");
    if (g_script_length == 0) return;
    const int at = g_cursor.fetch_add(1, std::memory_order_relaxed);
    if (at >= kCallbackBudget) return;
    run_step(g_script[at % g_script_length], block, channels, frames);
}

void sound_callback(int16_t *block, int32_t channels, int32_t frames) {
    run_script(block, channels, frames);
}
void master_callback(int16_t *block, int32_t channels, int32_t frames) {
    run_script(block, channels, frames);
}
void stream_callback(int16_t *block, int32_t channels, int32_t frames) {
    run_script(block, channels, frames);
}

ScriptStep read_step(FuzzedDataProvider &in) {
    ScriptStep s{};
    s.step =
        static_cast<Step>(in.ConsumeIntegralInRange<int>(0, static_cast<int>(Step::kCount) - 1));
    s.slot = in.ConsumeIntegral<uint8_t>();
    for (uint8_t &h : s.how) h = in.ConsumeIntegral<uint8_t>();
    s.value = pick_int(in);
    for (int32_t &o : s.offsets) o = in.ConsumeIntegral<int32_t>();
    for (float &f : s.f) f = pick_float(in);
    return s;
}

// ---- The end callback's script ------------------------------------------------------
//
// The end callback runs on an event thread of the engine, outside any fill:
// what it does comes from the input, read before any thread of the input
// runs. Lifecycle calls are left out (the application thread's checks
// assume it alone opens and closes the engine); turning itself off, on or
// to another routine are in.

enum class EndStep : uint8_t { Nothing, IsPlaying, Destroy, ReadBack, Reregister, Off, Switch, kCount };
constexpr int kEndSteps = 8;
EndStep g_end_script[kEndSteps];
int g_end_length = 0;
bool g_end_sets = false;  // the script sets a routine itself
std::atomic<int> g_end_cursor{0};
std::atomic<int> g_end_running{0};  // calls of end_callback under way
int g_end_user = 0;                 // its user data: the address is checked

void other_end(int32_t, void *) {}

void end_callback(int32_t sound, void *user) {
    g_end_running.fetch_add(1);
    expect(user == &g_end_user, "the end callback gets the user data set with it");
    if (g_end_length > 0) {
        switch (g_end_script[g_end_cursor.fetch_add(1) % g_end_length]) {
            case EndStep::Nothing: break;
            case EndStep::IsPlaying: {
                const int32_t playing = ZYN_IS_PLAYING(sound);
                expect(playing == 0 || playing == 1, "ZYN_IS_PLAYING answers 0 or 1");
                break;
            }
            case EndStep::Destroy: ZYN_DESTROY_SOUND(&sound); break;
            case EndStep::ReadBack: read_back(sound); break;
            case EndStep::Reregister:
                expect(ZYN_SET_ENDCALLBACK(end_callback, &g_end_user) == 1,
                       "an end callback may set itself again");
                break;
            case EndStep::Off:
                expect(ZYN_SET_ENDCALLBACK(nullptr, nullptr) == 1, "an end callback may turn itself off");
                break;
            case EndStep::Switch: ZYN_SET_ENDCALLBACK(other_end, nullptr); break;
            case EndStep::kCount: break;
        }
    }
    g_end_running.fetch_sub(1);
}

// The track end callback, also on the event thread, may decode: it plays the
// track again, closes it, or starts the one in the next slot (a bounded
// number of times per input, so that two tracks cannot start each other
// for ever).
constexpr int kTrackEndBudget = 16;
std::atomic<int> g_track_end_mode{0};
std::atomic<int> g_track_end_calls{0};
int g_track_end_user = 0;

void track_end(int32_t track, void *user) {
    expect(user == &g_track_end_user, "the track end callback gets the user data set with it");
    if (g_track_end_calls.fetch_add(1) >= kTrackEndBudget) return;
    switch (g_track_end_mode.load()) {
        case 1: ZYN_PLAY_TRACK(track, 1); break;
        case 2: ZYN_CLOSE_TRACK(&track); break;
        case 3: {
            for (int i = 0; i < kTrackSlots; ++i)
                if (g_track_handle[i].load() == track) ZYN_PLAY_TRACK(g_track_handle[(i + 1) % kTrackSlots].load(), 1);
            break;
        }
        default: break;
    }
}

// ---- Checks on what reads back --------------------------------------------------

void read_back(int32_t sound) {
    float speed = 0, volume = 0, pan = 0;
    int32_t loops = 0, muted = 0, paused = 0, ms = 0;
    if (ZYN_GET_SOUNDSPEED(sound, &speed) == 1)
        expect(!std::isnan(speed) && speed != 0.0f && std::fabs(speed) <= 16383.0f,
               "a sound's speed reads back as a usable step");
    if (ZYN_GET_SOUNDVOLUME(sound, &volume) == 1)
        expect(!std::isnan(volume), "a volume is never NaN");
    if (ZYN_GET_SOUNDPAN(sound, &pan) == 1)
        expect(pan >= -1.0f && pan <= 1.0f, "pan stays in -1..+1");
    ZYN_GET_SOUNDLOOPS(sound, &loops);
    ZYN_GET_SOUNDMUTED(sound, &muted);
    ZYN_GET_SOUNDPAUSED(sound, &paused);
    ZYN_GET_SOUNDLENGTH(sound, &ms);
    int16_t *start = nullptr, *position = nullptr, *end = nullptr;
    if (ZYN_GET_SOUNDPOINTERS(sound, &start, &position, &end) == 1)
        expect(reinterpret_cast<uintptr_t>(start) <= reinterpret_cast<uintptr_t>(end),
               "a play range never ends before it starts");
    float master = 0;
    if (ZYN_GET_MASTERVOLUME(&master) == 1)
        expect(master == 0.0f || (master >= 0.001f && master <= 2.0f), "master volume in range");
    float stream = 0;
    if (ZYN_GET_STREAMVOLUME(&stream) == 1)
        expect(stream == 0.0f || (stream >= 0.0001f && stream <= 2.0f), "stream volume in range");
    if (ZYN_GET_STREAMPAN(&stream) == 1)
        expect(stream >= -1.0f && stream <= 1.0f, "stream pan in range");
    const double time = ZYN_GET_PLAYTIME();
    expect(std::isfinite(time) && time >= 0.0, "play time is a finite count");
    ZynOutputStats stats;
    stats.size = sizeof(stats);
    if (ZYN_GET_OUTPUTSTATS(&stats) == 1)
        expect(stats.size == sizeof(stats) && (stats.connected == 0 || stats.connected == 1) &&
                   std::isfinite(stats.latency_ms) && stats.latency_ms >= 0.0f && stats.underruns >= 0,
               "the output's figures are sane");
    expect(ZYN_GET_PLAYEDSAMPLES() >= 0, "played frames are never negative");
}

// ---- Files written from the input -------------------------------------------------

void put16(std::vector<uint8_t> &b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t> &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void put_id(std::vector<uint8_t> &b, const char *id) { b.insert(b.end(), id, id + 4); }

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// A RIFF/WAVE file: mostly well formed, with any header field broken on demand.
std::vector<uint8_t> make_wav(FuzzedDataProvider &in) {
    static const int32_t kRates[] = {44100, 22050, 48000, 8000, 11025, 96000,     192000,
                                     4000,  1,     3,     0,    -8000, 2000000000};
    const uint8_t broken = in.ConsumeIntegral<uint8_t>();
    const bool wellformed = (broken & 0xC0) != 0;  // three in four
    const int32_t rate = in.PickValueInArray(kRates);
    uint16_t channels = in.ConsumeBool() ? 2 : 1;
    uint16_t bits = in.ConsumeBool() ? 16 : 8;
    if (!wellformed && (broken & 1)) channels = in.PickValueInArray<uint16_t>({0, 3, 65535});
    if (!wellformed && (broken & 2)) bits = in.PickValueInArray<uint16_t>({0, 4, 12, 24, 32});
    const uint16_t container = bits <= 8 ? 1 : 2;
    uint16_t align = static_cast<uint16_t>(container * (channels ? channels : 1));
    if (!wellformed && (broken & 4)) align = in.ConsumeIntegral<uint16_t>() % 9;
    // A tiny file may ask for a huge wave at a low rate; the sizes here keep
    // each load at a few megabytes on the fastest device.
    const int32_t frames_cap = rate > 0 && rate < 1000 ? 4 : 256;
    const int32_t frames = in.ConsumeIntegralInRange<int32_t>(0, frames_cap);
    const std::vector<uint8_t> payload =
        in.ConsumeBytes<uint8_t>(static_cast<size_t>(frames) * align);
    uint32_t data_size = static_cast<uint32_t>(payload.size());
    if (!wellformed && (broken & 8))
        data_size = in.PickValueInArray<uint32_t>(
            {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, data_size + 7});

    std::vector<uint8_t> b;
    put_id(b, "RIFF");
    put32(b, 36 + data_size);
    put_id(b, "WAVE");
    put_id(b, "fmt ");
    put32(b, (!wellformed && (broken & 16)) ? 18 : 16);
    put16(b, (!wellformed && (broken & 32) && in.ConsumeBool()) ? 3 : 1);
    put16(b, channels);
    put32(b, static_cast<uint32_t>(rate));
    put32(b, static_cast<uint32_t>(rate) * align);
    put16(b, align);
    put16(b, bits);
    if (!wellformed && (broken & 16)) put16(b, 0);
    if (in.ConsumeBool()) {  // a chunk the loader must skip
        put_id(b, "LIST");
        put32(b, 4);
        put_id(b, "INFO");
    }
    if (wellformed || !(broken & 32)) put_id(b, "data");
    put32(b, data_size);
    b.insert(b.end(), payload.begin(), payload.end());
    if (!wellformed && in.ConsumeBool() && !b.empty())
        b.resize(in.ConsumeIntegralInRange<size_t>(0, b.size() - 1));  // cut short
    return b;
}

// MPEG audio frames whose side information and main data are all zero, which
// a decoder turns into silence: enough to run the stream's ring, rate
// conversion and callbacks. MPEG-1 at 44.1 kHz, MPEG-2 at 22.05 kHz and
// MPEG-2.5 at 8 kHz, mono or stereo, so that the ring converts rates and
// channel counts.
std::vector<uint8_t> make_mp3(FuzzedDataProvider &in) {
    struct Kind {
        uint8_t b1, b2;
        int32_t bytes;
    };
    static const Kind kKinds[] = {
        {0xFB, 0x90, 417},  // MPEG-1 Layer III, 128 kbit/s, 44100 Hz
        {0xF3, 0x80, 208},  // MPEG-2 Layer III, 64 kbit/s, 22050 Hz
        {0xE3, 0x18, 72},   // MPEG-2.5 Layer III, 8 kbit/s, 8000 Hz
    };
    const Kind kind = in.PickValueInArray(kKinds);
    const uint8_t mode = in.ConsumeBool() ? 0xC0 : 0x00;  // mono or stereo
    const int frames = in.ConsumeIntegralInRange<int>(0, 48);
    std::vector<uint8_t> b;
    for (int i = 0; i < frames; ++i) {
        const size_t at = b.size();
        b.resize(at + static_cast<size_t>(kind.bytes), 0);
        b[at] = 0xFF;
        b[at + 1] = kind.b1;
        b[at + 2] = kind.b2;
        b[at + 3] = mode;
    }
    const std::vector<uint8_t> tail =
        in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 64));
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

// ---- The application thread -------------------------------------------------------

enum class Call : uint8_t {
    Init,
    InitAnyFormat,
    InitWithoutPlugins,
    Start,
    Stop,
    Exit,
    CreateWave,
    LoadWav,
    DestroyWave,
    WaveQueries,
    PlayWave,
    CreateSound,
    PlaySound,
    DestroySound,
    SetSpeed,
    SetVolume,
    SetPan,
    SetLoops,
    SetMuted,
    SetPaused,
    SetPointers,
    ReadBack,
    Adopt,
    MasterVolume,
    MasterFilter,
    ToggleFilter,
    SoundCallback,
    MasterCallback,
    StreamCallback,
    CreateStream,
    PlayStream,
    EndStream,
    StreamSettings,
    StreamBuffer,
    PitchShift,
    MaxChannels,
    DeviceQueries,
    Wait,
    OpenTrack,
    CloseTrack,
    PlayTrack,
    StopTrack,
    TrackSettings,
    SeekTrack,
    TrackLoop,
    QueueTrack,
    FadeTrack,
    TrackQueries,
    EndCallback,
    TrackEndCallback,
    Smoothing,
    Resampler,
    PlugName,
    Devices,
    Realtime,
    OutputStats,
    Group,
    PlayAt,
    Clock,
    InitRender,
    Render,
    Space,
    Hrtf,
    Effects,
    kCount
};

int32_t g_channels = 0;  // of the open device, 0 when none

int32_t pick_frames(FuzzedDataProvider &in) {
    static const int32_t kUsual[] = {16, 64, 256, 441, 1024, 4096, 17, 33};
    return in.PickValueInArray(kUsual);
}

// A usable format most of the time, so that the rest of the input runs;
// anything at all otherwise.
void init(FuzzedDataProvider &in, bool any) {
    static const int32_t kRates[] = {44100,  48000, 22050,  8000,   4000,
                                     768000, 96000, 192000, 192001, 11025};
    static const int32_t kOddRates[] = {0,
                                        -1,
                                        3999,
                                        768001,
                                        1,
                                        std::numeric_limits<int32_t>::max(),
                                        std::numeric_limits<int32_t>::min()};
    static const int32_t kOddFrames[] = {
        0, -1, 15, 1 << 20, (1 << 20) + 1, 1, 3, std::numeric_limits<int32_t>::max()};
    static const int32_t kOddChannels[] = {0, 3, -1, 255, std::numeric_limits<int32_t>::min()};
    int32_t rate = in.PickValueInArray(kRates);
    int32_t channels = in.ConsumeBool() ? 2 : 1;
    int32_t frames = pick_frames(in);
    int32_t buffers = in.ConsumeIntegralInRange<int32_t>(-2, 80);
    if (any) {
        const uint8_t which = in.ConsumeIntegral<uint8_t>();
        if (which & 1) rate = in.PickValueInArray(kOddRates);
        if (which & 2) channels = in.PickValueInArray(kOddChannels);
        if (which & 4) frames = in.PickValueInArray(kOddFrames);
        if (which & 8) buffers = in.ConsumeIntegral<int32_t>();
    }
    const bool usable = rate >= 4000 && rate <= 768000 && (channels == 1 || channels == 2) &&
                        frames >= 16 && frames <= (1 << 20);
    const int32_t result =
        ZYN_INIT(rate, channels, buffers, frames, in.ConsumeIntegralInRange<int32_t>(-1, 3));
    if (!usable) {
        expect(result == 0, "ZYN_INIT refuses a format no device has");
        // The device that was open (if any) stays open.
        return;
    }
    // The fixture serves every usable format up to 192 kHz.
    if (rate <= 192000 && ZYN_GET_NUMOFPLUGOUTS() > 0)
        expect(result == 1, "ZYN_INIT opens the fixture");
    if (result == 1) {
        expect(ZYN_GET_PLUGRATE() == rate && ZYN_GET_PLUGCHANNELS() == channels &&
                   ZYN_GET_PLUGFRAMES() == frames,
               "the open device has the format asked for");
        const int32_t b = ZYN_GET_PLUGBUFFERS();
        expect(b >= 1 && b <= 64, "buffers are clamped to 1..64");
        expect(ZYN_GET_PLUGBUFFERSIZE() == frames * 2 * channels,
               "block size is frames x frame size");
    }
    g_channels = ZYN_GET_PLUGCHANNELS();
}

int pick_wave(FuzzedDataProvider &in) { return in.ConsumeIntegralInRange<int>(0, kWaveSlots - 1); }
int pick_sound(FuzzedDataProvider &in) {
    return in.ConsumeIntegralInRange<int>(0, kSoundSlots - 1);
}

// A handle from a slot (live or stale) or one that never was.
int32_t wave_handle(FuzzedDataProvider &in, int slot) {
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) return g_waves[slot].handle;
    return in.PickValueInArray<int32_t>({-1, 0, 1, kWaveSlots, 1000,
                                         std::numeric_limits<int32_t>::max(),
                                         std::numeric_limits<int32_t>::min()});
}
int32_t sound_handle(FuzzedDataProvider &in, int slot) {
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0) return g_sounds[slot].handle;
    return in.PickValueInArray<int32_t>({-1, 0, 1, kSoundSlots, 1000,
                                         std::numeric_limits<int32_t>::max(),
                                         std::numeric_limits<int32_t>::min()});
}

// A name from the plug-in's own, names of nothing, hostile bytes and
// lengths; a choice is always given back at the end, so the fixture stays
// the one opened.
void plug_name(FuzzedDataProvider &in) {
    static const char *const kNames[] = {"thread", "plug-null.so", "NULL", "fixture thread", "probed thread",
                                         "nothing", "", "\xC3\x28", "\xED\xA0\x80", "\xC0\xAF"};
    std::string name;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: name = in.PickValueInArray(kNames); break;
        case 1: name = in.ConsumeRandomLengthString(300); break;
        case 2: name.assign(in.ConsumeIntegralInRange<size_t>(250, 4096), 'x'); break;
        default: expect(ZYN_SET_PLUGNAME(nullptr) == 1, "ZYN_SET_PLUGNAME(NULL) always succeeds"); return;
    }
    const int32_t set = ZYN_SET_PLUGNAME(name.c_str());
    if (std::strlen(name.c_str()) > 255) expect(set == 0, "a name longer than 255 bytes is refused");
    if (set == 1 && name == "nothing" && ZYN_GET_NUMOFPLUGOUTS() > 0) {
        const int32_t channels = ZYN_GET_PLUGCHANNELS();
        expect(ZYN_INIT(44100, 2, 3, 256, -1) == 0, "ZYN_INIT fails for a name no plug-in has");
        expect(ZYN_GET_PLUGCHANNELS() == channels, "the open device stays as it was");
    }
    ZYN_SET_PLUGNAME(nullptr);
}

// The figures into a buffer larger than the struct: nothing past the size
// given may change.
void output_stats(FuzzedDataProvider &in) {
    static const int32_t kSizes[] = {std::numeric_limits<int32_t>::min(), -1, 0, 3, 4, 8, 12, 16, 24,
                                     static_cast<int32_t>(sizeof(ZynOutputStats)), 1 << 20};
    alignas(ZynOutputStats) unsigned char raw[sizeof(ZynOutputStats) + 16];
    std::memset(raw, 0xA5, sizeof(raw));
    auto *stats = reinterpret_cast<ZynOutputStats *>(raw);
    const int32_t size = in.PickValueInArray(kSizes);
    stats->size = size;
    const int32_t result = ZYN_GET_OUTPUTSTATS(in.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : stats);
    if (size < 4) expect(result == 0, "a size below 4 is refused");
    expect(stats->size == size, "the size keeps the caller's value");
    const size_t filled = result == 1 ? std::min<size_t>(static_cast<size_t>(size), sizeof(ZynOutputStats)) : 4;
    for (size_t i = filled; i < sizeof(raw); ++i) expect(raw[i] == 0xA5, "nothing is written past the size given");
}

void note_wave(int slot, int32_t handle) {
    WaveSlot &w = g_waves[slot];
    w.handle = handle;
    w.live = true;
    int16_t *start = nullptr, *end = nullptr;
    int32_t channels = 0;
    expect(ZYN_GET_WAVEPOINTERS(handle, &start, &end, &channels) == 1,
           "a new wave answers queries");
    expect(channels == g_channels, "a wave has the device's channel count");
    w.start = reinterpret_cast<uintptr_t>(start);
    w.end = reinterpret_cast<uintptr_t>(end);
    expect(w.end > w.start, "a new wave is not empty");
    g_live_waves.push_back({handle, w.start, w.end});
    publish_wave(slot);
}

// The play range of a sound, read back, lies inside a wave the engine holds.
void check_range(int32_t sound) {
    int16_t *start = nullptr, *end = nullptr;
    if (ZYN_GET_SOUNDPOINTERS(sound, &start, nullptr, &end) != 1) return;
    const auto a = reinterpret_cast<uintptr_t>(start), b = reinterpret_cast<uintptr_t>(end);
    expect(a <= b, "a play range never ends before it starts");
    for (const LiveWave &w : g_live_waves) {
        if (w.start <= a && b <= w.end) {
            // Empty only where the wave holds less than a frame (made on a
            // one-channel device, played on a two-channel one).
            expect(a < b || w.end - w.start < 2 * static_cast<uintptr_t>(g_channels),
                   "a play range holds a frame");
            return;
        }
    }
    report("a play range reaches outside the wave it plays");
}

void create_wave(FuzzedDataProvider &in) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    static const int32_t kFrames[] = {1,    2,     3, 7,  16,   100,     441, 1000,
                                      4410, 44100, 0, -1, kMax, 1 << 30, kMin};
    const int slot = pick_wave(in);
    const int32_t frames = in.PickValueInArray(kFrames);
    int32_t handle = 12345;
    int16_t *samples = nullptr;
    if (ZYN_CREATE_WAVE(frames, &handle, &samples) != 1) {
        expect(handle == -1, "a failed ZYN_CREATE_WAVE writes handle -1");
        return;
    }
    expect(samples != nullptr && handle >= 0, "a made wave has samples and a handle");
    // A slot's earlier wave stays in the engine until ZYN_EXIT: its handle is simply forgotten.
    note_wave(slot, handle);
    const size_t count = (g_waves[slot].end - g_waves[slot].start) / 2;
    const uint16_t seed = in.ConsumeIntegral<uint16_t>();
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(seed + i * 2654435761u);
}

void load_wav(FuzzedDataProvider &in) {
    const int slot = pick_wave(in);
    if (!write_file(g_wav_path, make_wav(in))) return;
    int32_t handle = 12345;
    const char *path =
        in.ConsumeIntegralInRange<int>(0, 15) == 0 ? g_missing_path.c_str() : g_wav_path.c_str();
    if (ZYN_LOAD_WAVFILE(path, &handle) != 1) {
        expect(handle == -1, "a failed ZYN_LOAD_WAVFILE writes handle -1");
        return;
    }
    note_wave(slot, handle);
    int32_t ms = -1;
    expect(ZYN_GET_WAVELENGTH(handle, &ms) == 1 && ms >= 0, "a loaded wave has a length");
}

void destroy_wave(FuzzedDataProvider &in) {
    const int slot = pick_wave(in);
    int32_t handle = wave_handle(in, slot);
    const int32_t before = handle;
    if (ZYN_DESTROY_WAVE(&handle) == 1) {
        expect(handle == -1, "a destroyed wave's handle becomes -1");
        for (WaveSlot &w : g_waves)
            if (w.handle == before) w.live = false;
        for (size_t i = g_live_waves.size(); i-- > 0;)
            if (g_live_waves[i].handle == before) g_live_waves.erase(g_live_waves.begin() + i);
    } else {
        expect(handle == before, "a refused ZYN_DESTROY_WAVE leaves the handle");
    }
    // The slot keeps the old number: the next use is a stale handle.
}

void place_sound(FuzzedDataProvider &in, bool play) {
    const int w = pick_wave(in);
    const int slot = pick_sound(in);
    const int32_t wave = wave_handle(in, w);
    int32_t made = 12345;
    int32_t ok;
    if (play) {
        const int32_t loops = pick_int(in);
        const float speed = pick_float(in), volume = pick_float(in), pan = pick_float(in);
        const bool keep = in.ConsumeIntegralInRange<int>(0, 3) != 0;
        ok = ZYN_PLAY_WAVE(wave, loops, speed, volume, pan, keep ? &made : nullptr);
        if (!keep) return;
    } else {
        ok = ZYN_CREATE_SOUND(wave, &made);
    }
    if (ok != 1) return;
    expect(made >= 0, "a placed sound gets a handle");
    g_sounds[slot].handle = made;
    g_sounds[slot].wave = w;
    publish_sound(slot);
    check_range(made);
}

void set_pointers(FuzzedDataProvider &in) {
    const int slot = pick_sound(in);
    const int32_t sound = sound_handle(in, slot);
    const int w = g_sounds[slot].wave >= 0 ? g_sounds[slot].wave : pick_wave(in);
    const uintptr_t start = g_waves[w].start, end = g_waves[w].end;
    int16_t *p[3];
    for (int16_t *&q : p)
        q = derive_pointer(start, end, in.ConsumeIntegral<uint8_t>(),
                           in.ConsumeIntegral<int32_t>());
    if (ZYN_SET_SOUNDPOINTERS(sound, p[0], p[1], p[2]) == 1) check_range(sound);
}

void pitch_shift(FuzzedDataProvider &in) {
    static int16_t source[2 * kPitchFrames];
    static int16_t target[2 * kPitchFrames];
    const int32_t count =
        in.PickValueInArray<int32_t>({-1, 0, 1, 127, 128, 1024, 1500, kPitchFrames});
    const uint16_t seed = in.ConsumeIntegral<uint16_t>();
    for (int i = 0; i < 2 * kPitchFrames; ++i) source[i] = static_cast<int16_t>(seed * (i + 1));
    const float pitch = pick_float(in);
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: ZYN_PITCHSHIFT(target, source, pitch, count); break;
        case 1: ZYN_PITCHSHIFT(source, source, pitch, count); break;
        case 2: ZYN_PITCHSHIFT(nullptr, source, pitch, count); break;
        default: ZYN_PITCHSHIFT(target, nullptr, pitch, count); break;
    }
}

bool rendering() { return std::strcmp(ZYN_GET_PLUGNAME(), "Render") == 0; }

// Up to a million frames, in several blocks (or none, or too many).
int16_t g_render_out[2 * ((1 << 20) + 1)];

// Lets the output thread run a few fills (or gives up soon when none runs);
// an engine that renders mixes them here.
void wait_fills(int fills) {
    if (rendering()) {
        const int64_t frames = static_cast<int64_t>(fills) * ZYN_GET_PLUGFRAMES();
        expect(ZYN_RENDER(g_render_out, static_cast<int32_t>(frames < (1 << 20) ? frames : (1 << 20))) == 1,
               "ZYN_RENDER renders blocks");
        return;
    }
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    int32_t last = ZYN_GET_PLAYEDBYTES();
    while (fills > 0) {
        sched_yield();
        const int32_t now = ZYN_GET_PLAYEDBYTES();
        if (now != last) {
            last = now;
            --fills;
        }
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        if ((t.tv_sec - start.tv_sec) * 1000000000L + (t.tv_nsec - start.tv_nsec) > 20000000L)
            break;
    }
}

void sound_callback_call(FuzzedDataProvider &in) {
    const int32_t sound = sound_handle(in, pick_sound(in));
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        // Between the two calls the mix may end the sound (a one-shot placed
        // in the row of a stale handle) and a callback may destroy it or
        // store another routine: only a missing routine is certain, and
        // only while no callback can store one.
        case 0:
            if (ZYN_SET_SOUNDCALLBACK(sound, sound_callback) == 1) ZYN_ENABLE_SOUNDCALLBACK(sound);
            break;
        case 1:
            if (ZYN_SET_SOUNDCALLBACK(sound, nullptr) == 1 && ZYN_ENABLE_SOUNDCALLBACK(sound) == 1)
                expect(g_script_length > 0, "no routine, nothing to enable");
            break;
        case 2: ZYN_DISABLE_SOUNDCALLBACK(sound); break;
        default: ZYN_ENABLE_SOUNDCALLBACK(sound); break;
    }
}

void master_callback_call(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            if (ZYN_SET_MASTERCALLBACK(master_callback) == 1) ZYN_ENABLE_MASTERCALLBACK();
            break;
        case 1: ZYN_SET_MASTERCALLBACK(nullptr); break;
        case 2: ZYN_DISABLE_MASTERCALLBACK(); break;
        default: ZYN_ENABLE_MASTERCALLBACK(); break;
    }
}

void stream_callback_call(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            if (ZYN_SET_STREAMCALLBACK(stream_callback) == 1) ZYN_ENABLE_STREAMCALLBACK();
            break;
        case 1: ZYN_SET_STREAMCALLBACK(nullptr); break;
        default: ZYN_DISABLE_STREAMCALLBACK(); break;
    }
}

int32_t track_handle(FuzzedDataProvider &in) {
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0)
        return g_track_handle[in.ConsumeIntegralInRange<int>(0, kTrackSlots - 1)].load();
    return in.PickValueInArray<int32_t>({-1, 0, 1, kTrackSlots, 1000, std::numeric_limits<int32_t>::min()});
}

int64_t pick_frame(FuzzedDataProvider &in) {
    static const int64_t kSpecial[] = {0, 1, -1, 255, 256, 4095, 4096, 44100, std::numeric_limits<int64_t>::max(),
                                       std::numeric_limits<int64_t>::min()};
    return in.ConsumeBool() ? in.PickValueInArray(kSpecial) : in.ConsumeIntegralInRange<int64_t>(-10, 20000);
}

void open_track(FuzzedDataProvider &in) {
    const int slot = in.ConsumeIntegralInRange<int>(0, kTrackSlots - 1);
    int32_t made = 12345;
    int32_t ok = 0;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            if (!write_file(g_wav_path, make_wav(in))) return;
            ok = ZYN_OPEN_TRACK(g_wav_path.c_str(), &made);
            break;
        case 1:
            if (!write_file(g_mp3_path, make_mp3(in))) return;
            ok = ZYN_OPEN_TRACK(g_mp3_path.c_str(), &made);
            break;
        case 2: ok = ZYN_OPEN_TRACK(in.ConsumeBool() ? g_missing_path.c_str() : g_folder.c_str(), &made); break;
        default: ok = ZYN_OPEN_TRACKMEMORY(g_track_image.data(), g_track_image.size(), &made); break;
    }
    if (ok != 1) {
        expect(made == -1, "a failed track open writes handle -1");
        return;
    }
    expect(made >= 0, "an open track has a handle");
    int64_t frames = 0;
    int32_t rate = 0, channels = 0;
    expect(ZYN_GET_TRACKINFO(made, &frames, &rate, &channels) == 1 && rate > 0 && channels > 0,
           "an open track tells its format");
    // An earlier track of the slot stays open until ZYN_EXIT: its handle is simply forgotten.
    g_track_handle[slot].store(made);
}

void track_call(FuzzedDataProvider &in, Call which) {
    const int32_t track = track_handle(in);
    switch (which) {
        case Call::CloseTrack: {
            int32_t handle = track;
            if (ZYN_CLOSE_TRACK(&handle) == 1)
                expect(handle == -1, "a closed track's handle becomes -1");
            else
                expect(handle == track, "a refused close leaves the handle");
            break;
        }
        case Call::PlayTrack: {
            const int32_t loops = pick_int(in);
            if (ZYN_PLAY_TRACK(track, loops) == 1) expect(loops >= 1, "a track plays 1 pass or more");
            break;
        }
        case Call::StopTrack:
            if (ZYN_STOP_TRACK(track) == 1) {
                int64_t frame = -1;
                expect(ZYN_GET_TRACKPOSITION(track, &frame) == 1 && (frame == 0 || g_script_length > 0),
                       "a stopped track stands at frame 0");
            }
            break;
        case Call::TrackSettings:
            ZYN_SET_TRACKPAUSED(track, pick_int(in));
            if (ZYN_SET_TRACKVOLUME(track, pick_float(in)) == 1) {
                float v = -1;
                if (ZYN_GET_TRACKVOLUME(track, &v) == 1)
                    expect(v >= 0.0f && v <= 2.0f, "a track's volume stays in 0..2");
            }
            if (ZYN_SET_TRACKPAN(track, pick_float(in)) == 1) {
                float p = -2;
                if (ZYN_GET_TRACKPAN(track, &p) == 1) expect(p >= -1.0f && p <= 1.0f, "a track's pan stays in -1..+1");
            }
            break;
        case Call::SeekTrack: {
            const int64_t frame = pick_frame(in);
            if (ZYN_SEEK_TRACK(track, frame) == 1) expect(frame >= 0, "no seek before the start");
            break;
        }
        case Call::TrackLoop: {
            const int64_t start = pick_frame(in), end = pick_frame(in);
            if (ZYN_SET_TRACKLOOP(track, start, end) == 1)
                expect(start >= 0 && (end == -1 || end > start), "only a loop holding frames is set");
            break;
        }
        case Call::QueueTrack:
            if (ZYN_QUEUE_TRACK(track, track) == 1) report("a track queued after itself");
            ZYN_QUEUE_TRACK(track, track_handle(in));
            break;
        case Call::FadeTrack:
            if (in.ConsumeBool())
                ZYN_FADE_TRACK(track, pick_float(in), pick_float(in), pick_int(in));
            else
                ZYN_CROSSFADE_TRACKS(track, track_handle(in), pick_float(in));
            break;
        default: {
            int64_t frame = -1, frames = 0, late = -1;
            int32_t rate = 0, channels = 0;
            if (ZYN_GET_TRACKPOSITION(track, &frame) == 1) expect(frame >= 0, "a track position is never negative");
            if (ZYN_GET_TRACKINFO(track, &frames, &rate, &channels) == 1 && frames >= 0 && frame >= 0)
                expect(frame <= frames, "a track position lies inside its file");
            if (ZYN_GET_TRACKUNDERRUNS(track, &late) == 1) expect(late >= 0, "late frames are never negative");
            ZYN_GET_TRACKINFO(track, nullptr, nullptr, nullptr);
            ZYN_IS_TRACKPLAYING(track);
            expect(ZYN_GET_PLAYINGTRACKS() >= 0, "a count of tracks is never negative");
            break;
        }
    }
}

// A switch returns once a running call of the routine it replaces has
// returned; certain only while the end callback sets no routine itself.
void end_callback_call(FuzzedDataProvider &in) {
    const int how = in.ConsumeIntegralInRange<int>(0, 2);
    const int32_t ok = how == 0   ? ZYN_SET_ENDCALLBACK(end_callback, &g_end_user)
                       : how == 1 ? ZYN_SET_ENDCALLBACK(other_end, nullptr)
                                  : ZYN_SET_ENDCALLBACK(nullptr, nullptr);
    expect(ok == 1, "ZYN_SET_ENDCALLBACK succeeds on the application thread");
    if (how != 0 && !g_end_sets)
        expect(g_end_running.load() == 0, "no call of the replaced end callback runs on");
}

void forget_everything() {
    for (int i = 0; i < kWaveSlots; ++i) {
        g_waves[i] = WaveSlot{};
        publish_wave(i);
    }
    for (int i = 0; i < kSoundSlots; ++i) {
        g_sounds[i] = SoundSlot{};
        publish_sound(i);
    }
    for (std::atomic<int32_t> &a : g_adopt) a.store(-1);
    for (std::atomic<int32_t> &t : g_track_handle) t.store(-1);
    for (int i = 0; i < kGroupSlots; ++i) {
        g_groups[i] = -1;
        publish_group(i);
    }
}

int64_t g_last_clock = 0;  // the clock never goes back but at ZYN_EXIT

void exit_engine() {
    expect(ZYN_EXIT() == 1, "ZYN_EXIT succeeds on the application thread");
    expect(ZYN_GET_PLUGRUNNING() == 0, "nothing runs after ZYN_EXIT");
    for (int32_t g : g_groups)
        if (g != -1) expect(ZYN_SET_GROUPVOLUME(g, 1.0f) == 0, "no group outlives ZYN_EXIT");
    g_last_clock = 0;
    for (const WaveSlot &w : g_waves) {
        int32_t ms = 0;
        if (w.handle >= 0)
            expect(ZYN_GET_WAVELENGTH(w.handle, &ms) == 0, "no wave outlives ZYN_EXIT");
    }
    for (const std::atomic<int32_t> &t : g_track_handle)
        if (t.load() >= 0) expect(ZYN_GET_TRACKINFO(t.load(), nullptr, nullptr, nullptr) == 0, "no track outlives ZYN_EXIT");
    g_channels = 0;
    g_live_waves.clear();
    forget_everything();
}

// ZYN_API_FUZZ_TRACE=1 in the environment lists the calls an input makes,
// which is how a finding is turned into a regression test.
bool g_trace = false;

void call(FuzzedDataProvider &in) {
    const auto which =
        static_cast<Call>(in.ConsumeIntegralInRange<int>(0, static_cast<int>(Call::kCount) - 1));
    if (g_trace) std::fprintf(stderr, "api_fuzz: call %d\n", static_cast<int>(which));
    switch (which) {
        case Call::Init: init(in, false); break;
        case Call::InitAnyFormat: init(in, true); break;
        case Call::InitWithoutPlugins: {
            // Discovery runs again only after a ZYN_EXIT that unloaded the rows.
            ZYN_SET_PLUGPATH(in.ConsumeBool() ? g_no_plugins.c_str() : "/nonexistent/");
            const int32_t rows = ZYN_GET_NUMOFPLUGOUTS();
            const int32_t result = ZYN_INIT(44100, 2, 3, 256, -1);
            if (rows == 0) expect(result == 0, "ZYN_INIT without plug-ins fails");
            ZYN_SET_PLUGPATH(g_plugins.c_str());
            g_channels = ZYN_GET_PLUGCHANNELS();
            break;
        }
        case Call::Start: ZYN_START(); break;
        case Call::Stop: ZYN_STOP(); break;
        case Call::Exit: exit_engine(); break;
        case Call::CreateWave: create_wave(in); break;
        case Call::LoadWav: load_wav(in); break;
        case Call::DestroyWave: destroy_wave(in); break;
        case Call::WaveQueries: {
            const int32_t wave = wave_handle(in, pick_wave(in));
            int32_t ms = 0, channels = 0;
            int16_t *a = nullptr, *b = nullptr;
            ZYN_GET_WAVELENGTH(wave, &ms);
            ZYN_GET_WAVELENGTH(wave, nullptr);
            ZYN_GET_WAVEPOINTERS(wave, nullptr, nullptr, nullptr);
            int64_t frames = -1;
            int32_t rate = 0, info_channels = 0;
            if (ZYN_GET_WAVEINFO(wave, &frames, &rate, &info_channels) == 1 &&
                ZYN_GET_WAVEPOINTERS(wave, &a, &b, &channels) == 1) {
                // A wave keeps the format it was made in, whatever the device has now.
                expect(info_channels == channels && (channels == 1 || channels == 2),
                       "ZYN_GET_WAVEINFO and ZYN_GET_WAVEPOINTERS agree on a wave's channels");
                expect(frames >= 1 && frames * channels == b - a,
                       "a wave's frames fill its samples exactly");
                expect(rate >= 4000 && rate <= 768000, "a wave's rate is one a device had");
                expect(ZYN_GET_WAVELENGTH(wave, &ms) == 0 || ms == frames * 1000 / rate,
                       "a wave's length is its frames at its own rate");
            }
            ZYN_GET_WAVEINFO(wave, nullptr, nullptr, nullptr);
            break;
        }
        case Call::PlayWave: place_sound(in, true); break;
        case Call::CreateSound: place_sound(in, false); break;
        case Call::PlaySound: ZYN_PLAY_SOUND(sound_handle(in, pick_sound(in)), pick_int(in)); break;
        case Call::DestroySound: {
            int32_t handle = sound_handle(in, pick_sound(in));
            const int32_t before = handle;
            if (ZYN_DESTROY_SOUND(&handle) == 1)
                expect(handle == -1, "a destroyed sound's handle becomes -1");
            else
                expect(handle == before, "a refused ZYN_DESTROY_SOUND leaves the handle");
            if (in.ConsumeBool()) ZYN_DESTROY_SOUND(nullptr);
            break;
        }
        case Call::SetSpeed:
            ZYN_SET_SOUNDSPEED(sound_handle(in, pick_sound(in)), pick_float(in));
            break;
        case Call::SetVolume: {
            const int32_t sound = sound_handle(in, pick_sound(in));
            if (ZYN_SET_SOUNDVOLUME(sound, pick_float(in)) == 1) {
                float v = -1;
                // A callback may set it again in between; it clamps the same way.
                if (ZYN_GET_SOUNDVOLUME(sound, &v) == 1)
                    expect(v == 0.0f || (v >= 0.0001f && v <= 2.0f) || g_script_length > 0,
                           "ZYN_SET_SOUNDVOLUME clamps");
            }
            break;
        }
        case Call::SetPan:
            ZYN_SET_SOUNDPAN(sound_handle(in, pick_sound(in)), pick_float(in));
            break;
        case Call::SetLoops:
            ZYN_SET_SOUNDLOOPS(sound_handle(in, pick_sound(in)), pick_int(in));
            break;
        case Call::SetMuted:
            ZYN_SET_SOUNDMUTED(sound_handle(in, pick_sound(in)), pick_int(in));
            break;
        case Call::SetPaused:
            ZYN_SET_SOUNDPAUSED(sound_handle(in, pick_sound(in)), pick_int(in));
            break;
        case Call::SetPointers: set_pointers(in); break;
        case Call::ReadBack: {
            const int32_t sound = sound_handle(in, pick_sound(in));
            read_back(sound);
            check_range(sound);
            break;
        }
        case Call::Adopt: {
            const int32_t made =
                g_adopt[in.ConsumeIntegralInRange<int>(0, kAdoptSlots - 1)].exchange(-1);
            if (made < 0) break;
            const int slot = pick_sound(in);
            g_sounds[slot].handle = made;
            g_sounds[slot].wave = -1;
            publish_sound(slot);
            break;
        }
        case Call::MasterVolume: {
            if (ZYN_SET_MASTERVOLUME(pick_float(in)) == 1) {
                float v = -1;
                expect(ZYN_GET_MASTERVOLUME(&v) == 1, "master volume reads back");
                expect(v == 0.0f || (v >= 0.001f && v <= 2.0f), "master volume is clamped");
            }
            break;
        }
        case Call::MasterFilter: {
            const int32_t index = in.ConsumeIntegralInRange<int32_t>(-1, 10);
            const float centre = pick_float(in), gain = pick_float(in), bandwidth = pick_float(in);
            const int32_t ok = ZYN_SET_MASTERFILTER(index, centre, gain, bandwidth,
                                                    in.ConsumeIntegralInRange<int32_t>(-1, 2));
            if (ok == 1)
                expect(std::isfinite(centre) && std::isfinite(gain) && std::isfinite(bandwidth) &&
                           centre > 0.0f && bandwidth > 0.0f,
                       "only a band with finite positive parameters is designed");
            break;
        }
        case Call::ToggleFilter: {
            const int32_t index = in.ConsumeIntegralInRange<int32_t>(-2, 11);
            if (in.ConsumeBool())
                ZYN_ENABLE_MASTERFILTER(index);
            else
                ZYN_DISABLE_MASTERFILTER(index);
            break;
        }
        case Call::SoundCallback: sound_callback_call(in); break;
        case Call::MasterCallback: master_callback_call(in); break;
        case Call::StreamCallback: stream_callback_call(in); break;
        case Call::CreateStream: {
            const int source = in.ConsumeIntegralInRange<int>(0, 7);
            if (source == 0) {
                ZYN_CREATE_MP3STREAM(nullptr);
            } else if (source == 1) {
                ZYN_CREATE_MP3STREAM(g_missing_path.c_str());
            } else if (source == 2) {
                ZYN_CREATE_MP3STREAM(g_folder.c_str());  // a folder, not a file
            } else if (write_file(g_mp3_path, make_mp3(in))) {
                ZYN_CREATE_MP3STREAM(g_mp3_path.c_str());
            }
            break;
        }
        case Call::PlayStream: ZYN_PLAY_MP3STREAM(pick_float(in), pick_float(in)); break;
        case Call::EndStream:
            expect(ZYN_END_MP3STREAM() == 1, "ZYN_END_MP3STREAM always succeeds");
            break;
        case Call::StreamSettings:
            ZYN_SET_STREAMVOLUME(pick_float(in));
            ZYN_SET_STREAMPAN(pick_float(in));
            break;
        case Call::StreamBuffer: {
            int16_t *block = nullptr;
            int32_t channels = 0, frames = 0;
            if (ZYN_GET_STREAMBUFFER(&block, &channels, &frames) == 1)
                expect(channels == g_channels && frames > 0, "the stream's block is the device's");
            ZYN_GET_STREAMBUFFER(nullptr, &channels, &frames);
            break;
        }
        case Call::PitchShift: pitch_shift(in); break;
        case Call::MaxChannels: {
            int32_t now = 0;
            ZYN_SET_MAXCHANNELS(in.ConsumeIntegral<int32_t>());
            expect(ZYN_GET_MAXCHANNELS(&now) == 1 && now >= 1 && now <= 256,
                   "channel limit is clamped");
            break;
        }
        case Call::DeviceQueries:
            ZYN_GET_PLUGERROR();
            ZYN_GET_PLUGNAME();
            ZYN_GET_PLUGDEVICE();
            ZYN_GET_PLUGFRAMESIZE();
            ZYN_GET_PLUGBITS();
            ZYN_GET_PLUGSIGNED();
            ZYN_GET_PLAYINGSOUNDS();
            ZYN_GET_PLAYINGSTREAMS();
            ZYN_GET_PLAYTIME();
            break;
        case Call::Wait: wait_fills(in.ConsumeIntegralInRange<int>(1, 4)); break;
        case Call::OpenTrack: open_track(in); break;
        case Call::CloseTrack:
        case Call::PlayTrack:
        case Call::StopTrack:
        case Call::TrackSettings:
        case Call::SeekTrack:
        case Call::TrackLoop:
        case Call::QueueTrack:
        case Call::FadeTrack:
        case Call::TrackQueries: track_call(in, which); break;
        case Call::EndCallback: end_callback_call(in); break;
        case Call::TrackEndCallback:
            g_track_end_mode.store(in.ConsumeIntegralInRange<int>(0, 3));
            expect(ZYN_SET_TRACKENDCALLBACK(in.ConsumeBool() ? track_end : nullptr, &g_track_end_user) == 1,
                   "ZYN_SET_TRACKENDCALLBACK succeeds on the application thread");
            break;
        case Call::Smoothing: {
            const float ms = pick_float(in);
            expect(ZYN_SET_SMOOTHING(ms) == 1, "ZYN_SET_SMOOTHING always succeeds");
            break;
        }
        case Call::Resampler: {
            const int32_t mode = in.ConsumeIntegralInRange<int32_t>(-1, 4);
            const int32_t ok = in.ConsumeBool()
                                   ? ZYN_SET_RESAMPLER(mode)
                                   : ZYN_SET_SOUNDRESAMPLER(sound_handle(in, pick_sound(in)), mode);
            if (ok == 1) expect(mode >= 0 && mode <= 3, "only a ZYN_RESAMPLE_ mode is taken");
            break;
        }
        case Call::PlugName: plug_name(in); break;
        case Call::Devices: {
            const int32_t count = ZYN_GET_NUMOFDEVICES();
            if (ZYN_GET_NUMOFPLUGOUTS() > 0) expect(count == 1, "a plug-in that cannot list has one device");
            const int32_t index = in.PickValueInArray<int32_t>(
                {-1, 0, 1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()});
            const char *name = ZYN_GET_DEVICENAME(index);
            expect(name != nullptr && (index == 0 || name[0] == '\0'), "only device 0 has a name");
            break;
        }
        case Call::Realtime:
            expect(ZYN_SET_REALTIME(pick_int(in)) == 1, "ZYN_SET_REALTIME always succeeds");
            break;
        case Call::OutputStats: output_stats(in); break;
        case Call::Group: {
            const int slot = in.ConsumeIntegralInRange<int>(0, kGroupSlots - 1);
            switch (in.ConsumeIntegralInRange<int>(0, 3)) {
                case 0: {
                    int32_t made = 7;
                    if (ZYN_CREATE_GROUP(&made) == 1) {
                        expect(made > 0, "a group handle is positive");
                        g_groups[slot] = made;
                        publish_group(slot);
                    } else {
                        expect(made == 7, "a refused ZYN_CREATE_GROUP leaves its handle");
                    }
                    if (in.ConsumeBool()) ZYN_CREATE_GROUP(nullptr);
                    break;
                }
                case 1: {
                    // The slot keeps the old number: the next use is a stale handle.
                    int32_t handle = g_groups[slot];
                    const int32_t before = handle;
                    if (ZYN_DESTROY_GROUP(&handle) == 1) {
                        expect(handle == -1, "a destroyed group's handle becomes -1");
                        expect(ZYN_SET_GROUPVOLUME(before, 1.0f) == 0, "a destroyed group's handle is refused");
                    } else {
                        expect(handle == before, "a refused ZYN_DESTROY_GROUP leaves the handle");
                    }
                    break;
                }
                case 2: {
                    const int32_t group =
                        in.ConsumeIntegralInRange<int>(0, 7) != 0
                            ? g_groups[slot]
                            : in.PickValueInArray<int32_t>({0, -1, 1, 1024, 1025, std::numeric_limits<int32_t>::max()});
                    const uint8_t how = in.ConsumeIntegral<uint8_t>();
                    const int32_t sound = sound_handle(in, pick_sound(in));
                    const int32_t track = g_track_handle[in.ConsumeIntegralInRange<int>(0, kTrackSlots - 1)].load();
                    const float f = pick_float(in), ms = pick_float(in);
                    group_settings(how, group, sound, track, f, ms, pick_int(in));
                    break;
                }
                default: {
                    int32_t value = 0;
                    ZYN_GET_GROUPMUTED(g_groups[slot], nullptr);
                    ZYN_GET_SOUNDGROUP(sound_handle(in, pick_sound(in)), in.ConsumeBool() ? &value : nullptr);
                    break;
                }
            }
            break;
        }
        case Call::PlayAt:
            play_at(sound_handle(in, pick_sound(in)), pick_int(in), in.ConsumeIntegral<uint8_t>(),
                    in.ConsumeIntegral<int32_t>());
            break;
        case Call::Clock: {
            int64_t now = -1;
            if (ZYN_GET_CLOCK(&now) == 1) {
                expect(now >= g_last_clock, "the clock never goes back while the engine is open");
                g_last_clock = now;
            }
            ZYN_GET_CLOCK(nullptr);
            break;
        }
        case Call::InitRender: {
            static const int32_t kRates[] = {44100, 8000, 768000, 3999, 0, -1};
            static const int32_t kFrames[] = {16, 64, 256, 441, 4096, 15, 0, (1 << 20) + 1};
            const int32_t rate = in.PickValueInArray(kRates);
            const int32_t channels = in.ConsumeIntegralInRange<int32_t>(0, 3);
            const int32_t frames = in.PickValueInArray(kFrames);
            const bool usable = rate >= 4000 && (channels == 1 || channels == 2) && frames >= 16 && frames <= (1 << 20);
            const int32_t result = ZYN_INIT_RENDER(rate, channels, frames);
            expect(result == (usable ? 1 : 0), "ZYN_INIT_RENDER opens every usable format and no other");
            if (result == 1) {
                expect(ZYN_GET_PLUGRUNNING() == 0 && ZYN_START() == 0, "nothing runs by itself while rendering");
                expect(ZYN_GET_PLUGRATE() == rate && ZYN_GET_PLUGFRAMES() == frames, "the render format is answered");
            }
            g_channels = ZYN_GET_PLUGCHANNELS();
            break;
        }
        case Call::Space: {
            float f[4];
            for (float &x : f) x = pick_float(in);
            const uint8_t how = in.ConsumeIntegral<uint8_t>();
            space_settings(how, sound_handle(in, pick_sound(in)), f, pick_int(in));
            break;
        }
        case Call::Hrtf: {
            // The default set takes tens of milliseconds to prepare: seldom.
            const int pick = in.ConsumeIntegralInRange<int>(0, 15);
            const char *file = pick == 0 ? "default"
                               : pick < 4 ? nullptr
                               : pick < 6 ? ""
                               : pick < 10 ? g_missing_path.c_str()
                                           : g_wav_path.c_str();
            const int32_t ok = ZYN_SET_HRTF(file);
            if (pick >= 6) expect(ok == 0, "ZYN_SET_HRTF refuses what is no SOFA file");
            if (pick > 0 && pick < 6) expect(ok == 1, "ZYN_SET_HRTF turns binaural rendering off");
            break;
        }
        case Call::Render: {
            static const int32_t kFrames[] = {1, 2, 17, 256, 1000, 4097, 1 << 20, 0, -1, (1 << 20) + 1,
                                              std::numeric_limits<int32_t>::min()};
            const int32_t frames = in.PickValueInArray(kFrames);
            const bool to_null = in.ConsumeIntegralInRange<int>(0, 7) == 0;
            const bool was_rendering = rendering();
            const int32_t result = ZYN_RENDER(to_null ? nullptr : g_render_out, frames);
            if (!was_rendering || to_null || frames < 1 || frames > (1 << 20))
                expect(result == 0, "ZYN_RENDER refuses a device-driven engine and bad arguments");
            // An end callback may close the engine during the call, after the blocks.
            else
                expect(result == 1, "ZYN_RENDER renders on an engine opened to render");
            break;
        }
        case Call::Effects: {
            const uint8_t how = in.ConsumeIntegral<uint8_t>();
            const int32_t sound = sound_handle(in, pick_sound(in));
            const int32_t group = g_groups[in.ConsumeIntegralInRange<int>(0, kGroupSlots - 1)];
            const int32_t track = g_track_handle[in.ConsumeIntegralInRange<int>(0, kTrackSlots - 1)].load();
            const float f[4] = {pick_float(in), pick_float(in), pick_float(in), pick_float(in)};
            effect_settings(how, sound, group, track, f, pick_int(in));
            break;
        }
        case Call::kCount: break;
    }
}

int32_t thread_count() {
    DIR *tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    int32_t count = 0;
    while (const dirent *entry = readdir(tasks))
        if (entry->d_name[0] != '.') ++count;
    closedir(tasks);
    return count;
}

// Settings survive ZYN_EXIT by design; each input starts from the same ones,
// so that a finding replays from its input alone.
void restore_settings() {
    if (ZYN_GET_NUMOFPLUGOUTS() == 0 || ZYN_GET_PLUGRUNNING() == 0 || g_channels == 0) {
        ZYN_SET_PLUGPATH(g_plugins.c_str());
        if (ZYN_INIT(44100, 2, 3, 256, -1) != 1) {
            std::fprintf(stderr, "api_fuzz: restore: rows %d, error '%s', threads %d\n",
                         ZYN_GET_NUMOFPLUGOUTS(), ZYN_GET_PLUGERROR(), thread_count());
            ZYN_EXIT();
            const int32_t again = ZYN_INIT(44100, 2, 3, 256, -1);
            std::fprintf(stderr, "api_fuzz: restore: rows %d, error '%s', threads %d\n",
                         ZYN_GET_NUMOFPLUGOUTS(), ZYN_GET_PLUGERROR(), thread_count());
            expect(again == 1, "the fixture opens after ZYN_EXIT");
        }
    }
    expect(ZYN_SET_ENDCALLBACK(nullptr, nullptr) == 1, "the end callback turns off");
    expect(ZYN_SET_TRACKENDCALLBACK(nullptr, nullptr) == 1, "the track end callback turns off");
    g_track_end_calls.store(0);
    expect(g_end_running.load() == 0 || g_end_sets, "no end callback runs once it is off");
    ZYN_SET_SMOOTHING(0.0f);
    ZYN_SET_RESAMPLER(ZYN_RESAMPLE_NEAREST);
    ZYN_SET_PLUGNAME(nullptr);
    ZYN_SET_REALTIME(10);
    ZYN_SET_MASTERCALLBACK(nullptr);
    ZYN_SET_MASTERVOLUME(1.0f);
    for (int32_t i = 0; i < 10; ++i) ZYN_SET_MASTERFILTER(i, 1000.0f, 0.0f, 1.0f, 0);
    ZYN_SET_MAXCHANNELS(128);
}

// The scratch folder goes with the process (its files have fixed names).
void remove_scratch() {
    for (const std::string *file : {&g_wav_path, &g_mp3_path}) unlink(file->c_str());
    if (g_folder != "/tmp") rmdir(g_folder.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char pattern[] = "/tmp/zyn-api-fuzz-XXXXXX";
    const char *made = mkdtemp(pattern);
    g_folder = made != nullptr ? made : "/tmp";
    std::atexit(remove_scratch);
    setenv("TMPDIR", g_folder.c_str(), 1);
    g_wav_path = g_folder + "/input.wav";
    g_mp3_path = g_folder + "/input.mp3";
    g_missing_path = g_folder + "/missing.wav";
    g_no_plugins = g_folder + "/";
    g_plugins = ZYN_FUZZ_PLUGIN_DIR;
    g_trace = std::getenv("ZYN_API_FUZZ_TRACE") != nullptr;
    {
        // Half a second of a quiet stereo tone.
        std::vector<uint8_t> &b = g_track_image;
        const uint32_t frames = 22050, bytes = frames * 4;
        put_id(b, "RIFF");
        put32(b, 36 + bytes);
        put_id(b, "WAVE");
        put_id(b, "fmt ");
        put32(b, 16);
        put16(b, 1);
        put16(b, 2);
        put32(b, 44100);
        put32(b, 44100 * 4);
        put16(b, 4);
        put16(b, 16);
        put_id(b, "data");
        put32(b, bytes);
        for (uint32_t f = 0; f < frames; ++f) {
            const auto v = static_cast<uint16_t>(static_cast<int16_t>(3000.0 * std::sin(f * 0.0627)));
            put16(b, v);
            put16(b, v);
        }
    }
    ZYN_SET_PLUGPATH(g_plugins.c_str());
    // The fixture's thread is joined inside PLUG_EXIT: nothing of it runs on
    // after, so the engine need not wait before unloading it.
    zyn::set_unload_grace(std::chrono::milliseconds(0));
    forget_everything();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int32_t threads = thread_count();

    // The callbacks' script, complete before any output thread of this input runs.
    g_script_length = in.ConsumeIntegralInRange<int>(0, kScriptSteps);
    for (int i = 0; i < g_script_length; ++i) {
        g_script[i] = read_step(in);
        if (g_trace)
            std::fprintf(stderr, "api_fuzz: step %d: %d\n", i, static_cast<int>(g_script[i].step));
    }
    g_cursor.store(0);
    g_end_length = in.ConsumeIntegralInRange<int>(0, kEndSteps);
    g_end_sets = false;
    for (int i = 0; i < g_end_length; ++i) {
        g_end_script[i] = static_cast<EndStep>(
            in.ConsumeIntegralInRange<int>(0, static_cast<int>(EndStep::kCount) - 1));
        g_end_sets = g_end_sets || g_end_script[i] == EndStep::Reregister ||
                     g_end_script[i] == EndStep::Switch;
    }
    g_end_cursor.store(0);

    ZYN_SET_PLUGPATH(g_plugins.c_str());
    for (int calls = 0; calls < kMaxCalls && in.remaining_bytes() > 0; ++calls) call(in);

    restore_settings();
    exit_engine();
    // An end callback that set itself again while it was being turned off
    // stays set across ZYN_EXIT: the next input starts without it.
    ZYN_SET_ENDCALLBACK(nullptr, nullptr);
    // A joined thread can still be listed for a moment while the kernel reaps it.
    for (int i = 0; i < 2000 && thread_count() > threads; ++i) usleep(1000);
    expect(thread_count() == threads, "every thread the engine started has ended");
    return 0;
}
