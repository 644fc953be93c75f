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
// of generated frames, pitch shifting. Every input ends with ZYN_EXIT.
//
// Crashes, sanitizer reports, leaks and hangs are findings; so is a broken
// promise of the interface (a call from a callback that must be refused but
// was not, a value read back outside its range, a thread left running),
// reported through report().
#include "lifecycle.h"
#include "zyn.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <atomic>
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
// Sounds a callback made, for the application thread to take over.
std::atomic<int32_t> g_adopt[kAdoptSlots];

void publish_wave(int slot) { g_wave_handle[slot].store(g_waves[slot].handle); }
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

// A call that does its own work on the output thread is refused there: it
// would join that thread, wait for files or allocate.
void must_refuse(const ScriptStep &s) {
    int32_t wave = g_wave_handle[s.slot % kWaveSlots].load();
    int32_t result = -1;
    switch (s.value & 15) {
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
    for (const LiveWave &w : g_live_waves)
        if (w.start <= a && b <= w.end) return;
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

// Lets the output thread run a few fills (or gives up soon when none runs).
void wait_fills(int fills) {
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
}

void exit_engine() {
    expect(ZYN_EXIT() == 1, "ZYN_EXIT succeeds on the application thread");
    expect(ZYN_GET_PLUGRUNNING() == 0, "nothing runs after ZYN_EXIT");
    for (const WaveSlot &w : g_waves) {
        int32_t ms = 0;
        if (w.handle >= 0)
            expect(ZYN_GET_WAVELENGTH(w.handle, &ms) == 0, "no wave outlives ZYN_EXIT");
    }
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
            ZYN_GET_WAVEPOINTERS(wave, &a, &b, &channels);
            ZYN_GET_WAVEPOINTERS(wave, nullptr, nullptr, nullptr);
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

    ZYN_SET_PLUGPATH(g_plugins.c_str());
    for (int calls = 0; calls < kMaxCalls && in.remaining_bytes() > 0; ++calls) call(in);

    restore_settings();
    exit_engine();
    // A joined thread can still be listed for a moment while the kernel reaps it.
    for (int i = 0; i < 2000 && thread_count() > threads; ++i) usleep(1000);
    expect(thread_count() == threads, "every thread the engine started has ended");
    return 0;
}
