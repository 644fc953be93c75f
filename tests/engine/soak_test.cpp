// A soak: two application threads and the output thread of a plug-in that
// fills back to back, with sound and master callbacks that call into the
// interface themselves, all hammering the engine for a few seconds. One
// application thread owns the device and the stream (re-initialising to
// other formats, stopping and starting, closing and reopening it) and makes
// and destroys waves; the other plays, changes and destroys sounds, makes
// waves too, and sets the master stage and the stream's settings, on through
// the final ZYN_EXIT. Run under ThreadSanitizer it finds races, under
// AddressSanitizer freed memory read by the mix; in every build it checks
// that ZYN_EXIT gives back every byte and every thread the soak made.
#include "decoders/decoder_fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

using namespace zyn_test;

namespace {

constexpr auto kSoakTime = std::chrono::seconds(4);
// A full ZYN_EXIT / ZYN_INIT cycle waits half a second for the plug-in to
// drain: one this often leaves most of the soak to the mix.
constexpr auto kFullCycleEvery = std::chrono::milliseconds(1200);
constexpr int kWaves = 6;
constexpr int kSounds = 12;
constexpr int kPitchFrames = 1024;

// Small, allocation-free generator: each thread and each callback draws from
// its own state.
struct Random {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    uint32_t below(uint32_t n) { return next() % n; }
    float any_float() {
        constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
        constexpr float kInf = std::numeric_limits<float>::infinity();
        constexpr float kTiny = std::numeric_limits<float>::denorm_min();
        static const float kValues[] = {kNaN, kInf,   -kInf,    kTiny, 1e30f,  -1e30f,
                                        0.0f, -0.0f,  0.5f,     1.0f,  -1.0f,  2.0f,
                                        3.0f, -0.75f, 16384.0f, 1e-7f, 0.001f, 1000.0f};
        return kValues[below(sizeof kValues / sizeof kValues[0])];
    }
};

// What both application threads and the callbacks share: handles only.
std::atomic<bool> g_stop{false};
std::atomic<bool> g_closed{false};  // the final ZYN_EXIT has returned
std::atomic<int32_t> g_waves[kWaves];
std::atomic<int32_t> g_sounds[kSounds];
std::atomic<long> g_callbacks{0};
std::atomic<long> g_refusals_broken{0};
std::atomic<uint32_t> g_callback_seed{1};

// An address bytes away from p, inside the wave or not: only the engine sees it.
int16_t *moved(int16_t *p, intptr_t bytes) {
    return reinterpret_cast<int16_t *>(reinterpret_cast<uintptr_t>(p) +
                                       static_cast<uintptr_t>(bytes));
}

struct Counts {
    bool opened = false, closed = false;
    long device_calls = 0, full_cycles = 0, formats = 0, waves = 0, loads = 0, streams = 0;
    long sound_calls = 0;
};

void clear_handles() {
    for (auto &w : g_waves) w.store(-1);
    for (auto &s : g_sounds) s.store(-1);
}

void sound_callback(int16_t *block, int32_t channels, int32_t frames);

// What a callback does from inside the fill: changes its own and other
// sounds, destroys one, starts one-shots, shifts its block, changes the
// master stage, and tries calls that must be refused there.
void callback_work(int16_t *block, int32_t channels, int32_t frames, bool master) {
    g_callbacks.fetch_add(1, std::memory_order_relaxed);
    Random r{g_callback_seed.fetch_add(0x9E3779B9u, std::memory_order_relaxed) | 1u};
    int32_t sound = g_sounds[r.below(kSounds)].load();
    const int32_t wave = g_waves[r.below(kWaves)].load();
    switch (r.below(14)) {
        case 0: ZYN_SET_SOUNDVOLUME(sound, r.any_float()); break;
        case 1: ZYN_SET_SOUNDPAN(sound, r.any_float()); break;
        case 2: ZYN_SET_SOUNDSPEED(sound, r.any_float()); break;
        case 3: {
            int16_t *start = nullptr, *end = nullptr;
            if (ZYN_GET_WAVEPOINTERS(wave, &start, &end, nullptr) == 1)
                ZYN_SET_SOUNDPOINTERS(sound, moved(start, r.below(128)), nullptr,
                                      moved(end, -static_cast<intptr_t>(r.below(128))));
            break;
        }
        case 4:
            ZYN_PITCHSHIFT(block, block, 1.25f, frames < kPitchFrames ? frames : kPitchFrames);
            break;
        case 5:
            if (r.below(8) == 0) ZYN_DESTROY_SOUND(&sound);
            break;
        case 6: ZYN_PLAY_WAVE(wave, 1, 1.5f, 0.5f, 0.25f, nullptr); break;
        case 7: ZYN_SET_MASTERVOLUME(0.5f + 0.25f * static_cast<float>(r.below(4))); break;
        case 8:
            ZYN_SET_MASTERFILTER(static_cast<int32_t>(r.below(10)), 1000.0f, 6.0f, 1.0f, 1);
            break;
        case 9: ZYN_DISABLE_MASTERFILTER(static_cast<int32_t>(r.below(10))); break;
        case 10: {
            int16_t *samples = nullptr;
            int32_t made = 0, doomed = wave;
            if (ZYN_CREATE_WAVE(64, &made, &samples) != 0 || ZYN_DESTROY_WAVE(&doomed) != 0 ||
                ZYN_INIT(44100, 2, 3, 256, -1) != 0 || ZYN_STOP() != 0 || ZYN_EXIT() != 0)
                g_refusals_broken.fetch_add(1);
            break;
        }
        case 11:
            if (master && ZYN_SET_SOUNDCALLBACK(sound, sound_callback) == 1)
                ZYN_ENABLE_SOUNDCALLBACK(sound);
            break;
        case 12: {
            float v = 0;
            int32_t ms = 0;
            ZYN_GET_SOUNDVOLUME(sound, &v);
            ZYN_GET_SOUNDLENGTH(sound, &ms);
            ZYN_GET_PLAYTIME();
            break;
        }
        default:
            // The block is the callback's to change.
            for (int32_t i = 0; i < channels * frames; ++i)
                block[i] = static_cast<int16_t>(block[i] / 2);
            break;
    }
}

void sound_callback(int16_t *block, int32_t channels, int32_t frames) {
    callback_work(block, channels, frames, false);
}
void master_callback(int16_t *block, int32_t channels, int32_t frames) {
    callback_work(block, channels, frames, true);
}

struct Files {
    std::string wav_stereo, wav_mono8, mp3, ogg;
};

bool open_device(Random &r) {
    static const int32_t kRates[] = {44100, 22050, 48000, 8000};
    static const int32_t kFrames[] = {64, 256, 1024, 16};
    const int32_t channels = r.below(2) == 0 ? 1 : 2;
    if (ZYN_INIT(kRates[r.below(4)], channels, 3, kFrames[r.below(4)], -1) != 1) return false;
    ZYN_SET_MASTERCALLBACK(master_callback);
    ZYN_ENABLE_MASTERCALLBACK();
    return true;
}

// The device, the stream and the waves: opened first, closed for good at the
// end while the other thread still makes waves and sounds.
void device_thread(const Files &files, Counts &counts) {
    Random r{0x1234567u};
    counts.opened = open_device(r);
    auto last_cycle = std::chrono::steady_clock::now();
    while (!g_stop.load()) {
        const uint32_t pick = r.below(40);
        ++counts.device_calls;
        if (std::chrono::steady_clock::now() - last_cycle > kFullCycleEvery) {
            ZYN_EXIT();
            clear_handles();
            if (open_device(r)) ++counts.full_cycles;
            last_cycle = std::chrono::steady_clock::now();
        } else if (pick == 1) {
            if (open_device(r)) ++counts.formats;
        } else if (pick == 2) {
            ZYN_STOP();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ZYN_START();
        } else if (pick < 8) {
            int32_t wave = -1;
            int16_t *samples = nullptr;
            // Created silent: only the engine writes a wave another thread may play.
            if (ZYN_CREATE_WAVE(static_cast<int32_t>(1 + r.below(20000)), &wave, &samples) == 1) {
                g_waves[r.below(kWaves)].store(wave);
                ++counts.waves;
            }
        } else if (pick < 14) {
            int32_t wave = -1;
            const uint32_t which = r.below(8);
            const int32_t ok = which == 0   ? ZYN_LOAD_MP3FILE(files.mp3.c_str(), &wave, "")
                               : which == 1 ? ZYN_LOAD_OGGFILE(files.ogg.c_str(), &wave, "")
                               : which < 5  ? ZYN_LOAD_WAVFILE(files.wav_stereo.c_str(), &wave)
                                            : ZYN_LOAD_WAVFILE(files.wav_mono8.c_str(), &wave);
            if (ok == 1) {
                g_waves[r.below(kWaves)].store(wave);
                ++counts.loads;
            }
        } else if (pick < 20) {
            int32_t wave = g_waves[r.below(kWaves)].load();
            ZYN_DESTROY_WAVE(&wave);
        } else if (pick < 24) {
            if (ZYN_CREATE_MP3STREAM(files.mp3.c_str()) == 1 &&
                ZYN_PLAY_MP3STREAM(0.5f, r.any_float()) == 1)
                ++counts.streams;
        } else if (pick < 26) {
            ZYN_END_MP3STREAM();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    counts.closed = ZYN_EXIT() == 1;
    g_closed.store(true);
}

// Sounds, waves of its own, the master stage and the stream's settings, on
// through the final ZYN_EXIT.
void sound_thread(const Files &files, Counts &counts) {
    Random r{0x89ABCDEu};
    std::vector<int16_t> pitch(2 * kPitchFrames, 1000);
    // On through the final ZYN_EXIT and a little after it: nothing made
    // meanwhile may outlive it.
    int after_close = 1000;
    while (!g_closed.load() || after_close-- > 0) {
        ++counts.sound_calls;
        const int slot = static_cast<int>(r.below(kSounds));
        int32_t sound = g_sounds[slot].load();
        const int32_t wave = g_waves[r.below(kWaves)].load();
        switch (r.below(26)) {
            case 0:
            case 1: {
                int32_t made = -1;
                if (ZYN_PLAY_WAVE(wave, static_cast<int32_t>(r.below(3)), r.any_float(),
                                  r.any_float(), r.any_float(), &made) == 1) {
                    g_sounds[slot].store(made);
                    if (r.below(3) == 0 && ZYN_SET_SOUNDCALLBACK(made, sound_callback) == 1)
                        ZYN_ENABLE_SOUNDCALLBACK(made);
                }
                break;
            }
            case 2: ZYN_PLAY_WAVE(wave, 1, 1.0f, 0.25f, 0.0f, nullptr); break;
            case 3: {
                int32_t made = -1;
                if (ZYN_CREATE_SOUND(wave, &made) == 1) g_sounds[slot].store(made);
                break;
            }
            case 4: ZYN_PLAY_SOUND(sound, static_cast<int32_t>(r.below(4)) - 1); break;
            case 5: ZYN_DESTROY_SOUND(&sound); break;
            case 6: ZYN_SET_SOUNDSPEED(sound, r.any_float()); break;
            case 7: ZYN_SET_SOUNDVOLUME(sound, r.any_float()); break;
            case 8: ZYN_SET_SOUNDPAN(sound, r.any_float()); break;
            case 9: ZYN_SET_SOUNDLOOPS(sound, static_cast<int32_t>(r.below(5)) - 1); break;
            case 10: ZYN_SET_SOUNDMUTED(sound, static_cast<int32_t>(r.below(2))); break;
            case 11: ZYN_SET_SOUNDPAUSED(sound, static_cast<int32_t>(r.below(2))); break;
            case 12: {
                int16_t *start = nullptr, *end = nullptr;
                if (ZYN_GET_WAVEPOINTERS(wave, &start, &end, nullptr) == 1) {
                    const auto span = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(end) -
                                                            reinterpret_cast<uintptr_t>(start));
                    int16_t *a = moved(start, span ? r.below(span) : 0);
                    ZYN_SET_SOUNDPOINTERS(sound, a, r.below(2) ? nullptr : moved(a, 2),
                                          r.below(2) ? end : moved(a, 6));
                }
                break;
            }
            case 13: {
                float f = 0;
                int32_t i = 0;
                int16_t *p = nullptr;
                ZYN_GET_SOUNDSPEED(sound, &f);
                ZYN_GET_SOUNDPAN(sound, &f);
                ZYN_GET_SOUNDLOOPS(sound, &i);
                ZYN_GET_SOUNDMUTED(sound, &i);
                ZYN_GET_SOUNDPAUSED(sound, &i);
                ZYN_GET_SOUNDPOINTERS(sound, &p, &p, &p);
                ZYN_GET_SOUNDLENGTH(sound, &i);
                ZYN_GET_WAVELENGTH(wave, &i);
                break;
            }
            case 14: ZYN_SET_MASTERVOLUME(r.any_float()); break;
            case 15:
                ZYN_SET_MASTERFILTER(static_cast<int32_t>(r.below(10)), r.any_float() * 1000.0f,
                                     r.any_float(), r.any_float(),
                                     static_cast<int32_t>(r.below(2)));
                break;
            case 16: ZYN_ENABLE_MASTERFILTER(static_cast<int32_t>(r.below(10))); break;
            case 17:
                ZYN_SET_STREAMVOLUME(r.any_float());
                ZYN_SET_STREAMPAN(r.any_float());
                if (ZYN_SET_STREAMCALLBACK(master_callback) == 1) ZYN_ENABLE_STREAMCALLBACK();
                break;
            case 18: {
                int16_t *block = nullptr;
                int32_t channels = 0, frames = 0;
                ZYN_GET_STREAMBUFFER(&block, &channels, &frames);
                float v = 0;
                ZYN_GET_STREAMVOLUME(&v);
                ZYN_GET_STREAMPAN(&v);
                break;
            }
            case 19: ZYN_PITCHSHIFT(pitch.data(), pitch.data(), 0.75f, kPitchFrames); break;
            case 20:
                ZYN_GET_PLUGNAME();
                ZYN_GET_PLUGERROR();
                ZYN_GET_PLUGDEVICE();
                ZYN_GET_PLUGRATE();
                ZYN_GET_PLAYINGSOUNDS();
                ZYN_GET_PLAYINGSTREAMS();
                ZYN_GET_PLAYEDSAMPLES();
                break;
            case 21: {
                // The same folder again: the setting is shared with the other thread's discovery.
                const std::string path = ZYN_GET_PLUGPATH();
                ZYN_SET_PLUGPATH(path.c_str());
                int32_t limit = 0;
                ZYN_SET_MAXCHANNELS(static_cast<int32_t>(1 + r.below(256)));
                ZYN_GET_MAXCHANNELS(&limit);
                break;
            }
            case 22:
                if (ZYN_SET_MASTERCALLBACK(master_callback) == 1) ZYN_ENABLE_MASTERCALLBACK();
                break;
            case 23:
            case 24: {
                // Waves made here too, also while the other thread closes the device.
                int32_t made = -1;
                int16_t *samples = nullptr;
                const int32_t ok =
                    r.below(2) ? ZYN_CREATE_WAVE(static_cast<int32_t>(1 + r.below(5000)), &made, &samples)
                               : ZYN_LOAD_WAVFILE(files.wav_mono8.c_str(), &made);
                if (ok == 1) g_waves[r.below(kWaves)].store(made);
                break;
            }
            default: std::this_thread::sleep_for(std::chrono::microseconds(100)); break;
        }
    }
}

// INIT/EXIT cycles that touch everything the soak will, so that what stays
// loaded or cached for the process's life is in the baseline: the WAV
// loader's conversion tables, and what the C library keeps of threads and
// loaded libraries. It caches the stacks (and their thread-local blocks) of
// as many threads as ever ran together and keeps an allocation arena for as
// many as ever allocated together, and its table for finding loaded objects
// is double-buffered: two cycles, as many allocating threads as the soak.
void warm_up(const Files &files) {
    std::atomic<bool> done{false};
    auto idle = [&done] {
        std::vector<int> attach(64);  // takes this thread's arena
        while (!done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    std::thread first(idle), second(idle);
    for (int cycle = 0; cycle < 2; ++cycle) {
        ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
        int32_t wave = -1, sound = -1;
        ASSERT_EQ(ZYN_LOAD_WAVFILE(files.wav_stereo.c_str(), &wave), 1);
        ASSERT_EQ(ZYN_LOAD_WAVFILE(files.wav_mono8.c_str(), &wave), 1);
        ASSERT_EQ(ZYN_LOAD_MP3FILE(files.mp3.c_str(), &wave, ""), 1);
        ASSERT_EQ(ZYN_LOAD_OGGFILE(files.ogg.c_str(), &wave, ""), 1);
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
        ASSERT_EQ(ZYN_CREATE_MP3STREAM(files.mp3.c_str()), 1);
        ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
        ZYN_GET_PLUGPATH();
        ZYN_GET_PLUGERROR();
        ZYN_GET_PLUGNAME();
        ZYN_GET_PLUGDEVICE();
        ASSERT_EQ(ZYN_EXIT(), 1);
    }
    done.store(true);
    first.join();
    second.join();
}

// An 8-bit mono file, so the 8-bit conversion is soaked too.
std::vector<uint8_t> eight_bit_mono_wav(uint32_t rate, uint32_t frames) {
    std::vector<uint8_t> b;
    const auto put = [&b](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put(36 + frames, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4);
    put(1, 2);  // PCM
    put(1, 2);  // one channel
    put(rate, 4);
    put(rate, 4);
    put(1, 2);
    put(8, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put(frames, 4);
    for (uint32_t i = 0; i < frames; ++i)
        b.push_back(static_cast<uint8_t>(128 + 100 * std::sin(static_cast<double>(i) * 0.05)));
    return b;
}

}  // namespace

TEST(Soak, TwoApplicationThreadsAndTheOutputThreadHammerTheInterface) {
    TempDir dir;
    Files files{dir.file("stereo.wav"), dir.file("mono8.wav"), dir.file("tone.mp3"),
                dir.file("tone.ogg")};
    ASSERT_TRUE(write_tone_wav(files.wav_stereo, 44100, 2, 440.0, 0.5));
    ASSERT_TRUE(write_tone_wav(dir.file("source.wav"), 22050, 1, 330.0, 1.0));
    ASSERT_TRUE(encode_mp3(dir.file("source.wav"), files.mp3, 64));
    ASSERT_TRUE(encode_ogg(dir.file("source.wav"), files.ogg));
    ASSERT_TRUE(write_file(files.wav_mono8, eight_bit_mono_wav(11025, 10000)));
    ZYN_SET_PLUGPATH(fixture_dir("thread").c_str());
    clear_handles();

    warm_up(files);
    const size_t heap_before = heap_bytes_in_use();
    const int32_t threads_before = thread_count();

    // From here on the engine is called from the soak's threads only: what
    // this thread's allocator caches would otherwise blur the count.
    Counts device_counts, sound_counts;
    std::thread device([&] { device_thread(files, device_counts); });
    std::thread sounds([&] { sound_thread(files, sound_counts); });
    std::this_thread::sleep_for(kSoakTime);
    g_stop.store(true);
    device.join();
    sounds.join();
    const long callbacks = g_callbacks.load();
    // Measured before anything else allocates (a failed expectation does).
    const int32_t threads_after = settled_thread_count(threads_before);
    const size_t heap_after = heap_bytes_in_use();

    std::printf(
        "soak: %ld device calls (%ld full cycles, %ld formats, %ld waves, %ld loads, %ld streams), "
        "%ld sound calls, %ld callbacks\n",
        device_counts.device_calls, device_counts.full_cycles, device_counts.formats,
        device_counts.waves, device_counts.loads, device_counts.streams, sound_counts.sound_calls,
        callbacks);
    EXPECT_TRUE(device_counts.opened);
    EXPECT_TRUE(device_counts.closed);
    EXPECT_EQ(g_refusals_broken.load(), 0)
        << "calls that must be refused inside a callback were carried out";
    // The soak did what it says: the device was cycled, sounds were played
    // and the callbacks ran.
    EXPECT_GT(device_counts.full_cycles, 0);
    EXPECT_GT(device_counts.waves + device_counts.loads, 0);
    EXPECT_GT(sound_counts.sound_calls, 100);
    EXPECT_GT(callbacks, 100);

    EXPECT_LE(threads_after, threads_before) << "every thread has ended";
    // Not one byte more than before. It can be a block less: this thread
    // made the soak's threads, and the C library's per-thread cache of
    // freed blocks counts as in use until a block in it is taken again.
    EXPECT_LE(heap_after, heap_before) << "ZYN_EXIT gave back every byte";
}
