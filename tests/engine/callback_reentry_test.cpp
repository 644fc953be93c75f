// The interface called from inside the engine's own callbacks (a sound's, the
// stream's and the master's), on the output thread of every plug-in that has
// one, on mono and stereo devices: every call either is carried out safely or
// is refused with 0, and the engine keeps playing. A hang fails the test
// through a watchdog instead of blocking the run; freed memory read by the
// mix shows under AddressSanitizer.
#include "decoders/decoder_fixtures.h"
#include "plugins/plugin_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

using namespace zyn_test;

namespace {

enum class Source { Sound, Stream, Master };

enum class Op {
    DestroyOwnSound,  // the sound whose callback runs (any playing sound for the others)
    DestroyOtherSound,
    DestroyWave,
    CreateWave,
    LoadWav,
    LoadMp3,
    LoadOgg,
    PlayWave,
    CreateSound,
    Init,
    Start,
    Stop,
    Exit,
    EndStream,
    PitchShift,
};

// Shared between the test thread and the callbacks.
std::atomic<int> g_request{-1};
std::atomic<int> g_request_source{-1};
std::atomic<int32_t> g_result{-1};
std::atomic<bool> g_done{false};
std::atomic<int32_t> g_own{-1}, g_other{-1}, g_wave{-1}, g_made{-1};
int32_t g_channels = 2;
std::string g_wav, g_mp3, g_ogg;

int32_t perform(Op op, int16_t *block, int32_t frames) {
    switch (op) {
        case Op::DestroyOwnSound: {
            int32_t h = g_own.load();
            return ZYN_DESTROY_SOUND(&h);
        }
        case Op::DestroyOtherSound: {
            int32_t h = g_other.load();
            return ZYN_DESTROY_SOUND(&h);
        }
        case Op::DestroyWave: {
            int32_t w = g_wave.load();
            return ZYN_DESTROY_WAVE(&w);
        }
        case Op::CreateWave: {
            int32_t w = -1;
            int16_t *s = nullptr;
            return ZYN_CREATE_WAVE(100, &w, &s);
        }
        case Op::LoadWav: {
            int32_t w = -1;
            return ZYN_LOAD_WAVFILE(g_wav.c_str(), &w);
        }
        case Op::LoadMp3: {
            int32_t w = -1;
            return ZYN_LOAD_MP3FILE(g_mp3.c_str(), &w, "");
        }
        case Op::LoadOgg: {
            int32_t w = -1;
            return ZYN_LOAD_OGGFILE(g_ogg.c_str(), &w, "");
        }
        case Op::PlayWave: {
            int32_t s = -1;
            const int32_t r = ZYN_PLAY_WAVE(g_wave.load(), 0, 1.0f, 0.5f, 0.0f, &s);
            g_made.store(s);
            return r;
        }
        case Op::CreateSound: {
            int32_t s = -1;
            const int32_t r = ZYN_CREATE_SOUND(g_wave.load(), &s);
            g_made.store(s);
            return r;
        }
        case Op::Init: return ZYN_INIT(44100, g_channels, 3, 256, -1);
        case Op::Start: return ZYN_START();
        case Op::Stop: return ZYN_STOP();
        case Op::Exit: return ZYN_EXIT();
        case Op::EndStream: return ZYN_END_MP3STREAM();
        case Op::PitchShift:
            ZYN_PITCHSHIFT(block, block, 1.5f, frames);
            return 1;
    }
    return -1;
}

void serve(Source source, int16_t *block, int32_t frames) {
    if (g_request_source.load() != static_cast<int>(source)) return;
    const int op = g_request.exchange(-1);
    if (op < 0) return;
    g_result.store(perform(static_cast<Op>(op), block, frames));
    g_done.store(true);
}

void sound_callback(int16_t *block, int32_t, int32_t frames) { serve(Source::Sound, block, frames); }
void stream_callback(int16_t *block, int32_t, int32_t frames) { serve(Source::Stream, block, frames); }
void master_callback(int16_t *block, int32_t, int32_t frames) { serve(Source::Master, block, frames); }

// Waits until at least blocks more fills have been delivered.
void wait_blocks(int blocks) {
    const int32_t block_bytes = ZYN_GET_PLUGBUFFERSIZE();
    const int32_t start = ZYN_GET_PLAYEDBYTES();
    Watchdog dog(10, "waiting for fills");
    while (ZYN_GET_PLAYEDBYTES() - start < blocks * block_bytes) sleep_ms(1);
}

struct Device {
    const char *name;      // what the test is called after
    const char *plugin;    // the one library in the plug-in folder
    const char *expected;  // ZYN_GET_PLUGNAME once open
};

void PrintTo(const Device &device, std::ostream *out) { *out << device.plugin; }

class CallbackReentry : public ::testing::TestWithParam<std::tuple<Device, int32_t>> {
  protected:
    TempDir dir;
    std::unique_ptr<PluginFolder> folder;
    std::unique_ptr<PulseServer> pulse;

    void SetUp() override {
        const Device device = std::get<0>(GetParam());
        g_channels = std::get<1>(GetParam());
        const std::string plugin = device.plugin;
        if (plugin == "plug-pulse.so") {
            pulse = std::make_unique<PulseServer>(dir.path());
            const std::string why = pulse->start();
            if (!why.empty()) GTEST_SKIP() << "no PulseAudio server for this test: " << why;
        } else if (plugin == "plug-alsa.so") {
            const std::string config = dir.file("asound.conf");
            std::FILE *out = std::fopen(config.c_str(), "w");
            ASSERT_NE(out, nullptr);
            std::fputs("pcm.!default { type file slave.pcm { type null } file \"/dev/null\" "
                       "format \"raw\" }\n",
                       out);
            std::fclose(out);
            setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
        } else if (plugin == "plug-wav.so") {
            setenv("ZYN_WAV_OUT", dir.file("out.wav").c_str(), 1);
        }
        folder = std::make_unique<PluginFolder>(std::vector<std::string>{plugin});
        ZYN_SET_PLUGPATH(folder->path().c_str());

        g_wav = dir.file("tone.wav");
        g_mp3 = dir.file("tone.mp3");
        g_ogg = dir.file("tone.ogg");
        ASSERT_TRUE(write_tone_wav(g_wav, 44100, 2, 440.0, 8.0));
        ASSERT_TRUE(encode_mp3(g_wav, g_mp3));
        ASSERT_TRUE(encode_ogg(g_wav, g_ogg));
    }
};

int32_t play_endless(int32_t wave, ZynSampleCallback callback) {
    int32_t sound = -1;
    if (ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.3f, 0.0f, &sound) != 1) return -1;
    if (callback != nullptr) {
        ZYN_SET_SOUNDCALLBACK(sound, callback);
        ZYN_ENABLE_SOUNDCALLBACK(sound);
    }
    return sound;
}

bool sound_exists(int32_t sound) {
    int32_t loops = 0;
    return ZYN_GET_SOUNDLOOPS(sound, &loops) == 1;
}

void start_stream() {
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(g_mp3.c_str()), 1);
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(0.3f, 0.0f), 1);
    ASSERT_EQ(ZYN_SET_STREAMCALLBACK(stream_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_STREAMCALLBACK(), 1);
    // The stream's callback runs once the decoder has filled a block.
    Watchdog dog(10, "the stream's first block");
    while (ZYN_GET_PLAYINGSTREAMS() == 0) sleep_ms(1);
}

}  // namespace

TEST_P(CallbackReentry, EveryCallIsCarriedOutSafelyOrRefused) {
    const Device device = std::get<0>(GetParam());
    const int32_t threads_before = thread_count();
    {
        Watchdog dog(20, "ZYN_INIT");
        ASSERT_EQ(ZYN_INIT(44100, g_channels, 3, 256, -1), 1);
    }
    ASSERT_STREQ(ZYN_GET_PLUGNAME(), device.expected);
    ASSERT_EQ(ZYN_GET_PLUGCHANNELS(), g_channels);
    int32_t wave = -1, tiny = -1;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(4410, &wave, &samples), 1);
    for (int i = 0; i < 4410 * g_channels; ++i) samples[i] = static_cast<int16_t>((i * 37) % 20000 - 10000);
    ASSERT_EQ(ZYN_CREATE_WAVE(16, &tiny, &samples), 1);
    g_wave.store(wave);
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(master_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);

    struct Expectation {
        Op op;
        int32_t result;
    };
    const Expectation ops[] = {
        {Op::DestroyOwnSound, 1}, {Op::DestroyOtherSound, 1}, {Op::DestroyWave, 0},
        {Op::CreateWave, 0},      {Op::LoadWav, 0},           {Op::LoadMp3, 0},
        {Op::LoadOgg, 0},         {Op::PlayWave, 1},          {Op::CreateSound, 1},
        {Op::Init, 0},            {Op::Start, 0},             {Op::Stop, 0},
        {Op::Exit, 0},            {Op::PitchShift, 1},        {Op::EndStream, 1},
    };
    for (const Source source : {Source::Sound, Source::Stream, Source::Master}) {
        for (const Expectation &e : ops) {
            SCOPED_TRACE("source " + std::to_string(static_cast<int>(source)) + ", operation " +
                         std::to_string(static_cast<int>(e.op)));
            // Fresh players for each call: the one with the sound callback,
            // another sound, and the stream.
            if (!sound_exists(g_own.load())) g_own.store(play_endless(wave, sound_callback));
            if (!sound_exists(g_other.load())) g_other.store(play_endless(wave, nullptr));
            ASSERT_TRUE(sound_exists(g_own.load()));
            float volume = 0;
            if (ZYN_GET_STREAMVOLUME(&volume) == 0) start_stream();
            if (e.op == Op::PlayWave || e.op == Op::CreateSound) {
                // The output thread never allocates: give it a free row that
                // still holds a work buffer, as a finished one-shot leaves.
                ASSERT_EQ(ZYN_PLAY_WAVE(tiny, 1, 1.0f, 1.0f, 0.0f, nullptr), 1);
                wait_blocks(3);
            }
            if (source == Source::Stream) {
                // On a plug-in that fills as fast as it can the stream lasts
                // a fraction of a second: one that ran out since the check
                // above would never call back. A fresh one serves the call.
                ZYN_END_MP3STREAM();
                start_stream();
            }

            g_done.store(false);
            g_request_source.store(static_cast<int>(source));
            g_request.store(static_cast<int>(e.op));
            {
                Watchdog dog(10, "a call from inside a callback");
                while (!g_done.load()) sleep_ms(1);
            }
            g_request_source.store(-1);
            EXPECT_EQ(g_result.load(), e.result);
            wait_blocks(2);  // the fill that made the call, and the next, complete
            EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 1) << "the engine keeps playing";

            switch (e.op) {
                case Op::DestroyWave: {
                    int32_t ms = 0;
                    EXPECT_EQ(ZYN_GET_WAVELENGTH(wave, &ms), 1) << "a refused call changes nothing";
                    break;
                }
                case Op::PlayWave:
                case Op::CreateSound: {
                    int32_t made = g_made.load();
                    EXPECT_TRUE(sound_exists(made));
                    EXPECT_EQ(ZYN_DESTROY_SOUND(&made), 1);
                    break;
                }
                case Op::EndStream: {
                    float v = 0;
                    EXPECT_EQ(ZYN_GET_STREAMVOLUME(&v), 0) << "the stream has ended";
                    break;
                }
                default: break;
            }
        }
    }
    // The engine still plays and shuts down in time.
    const int32_t before = ZYN_GET_PLAYEDBYTES();
    wait_blocks(2);
    EXPECT_GT(ZYN_GET_PLAYEDBYTES(), before);
    {
        Watchdog dog(20, "ZYN_EXIT");
        EXPECT_EQ(ZYN_EXIT(), 1);
    }
    EXPECT_LE(settled_thread_count(threads_before), threads_before)
        << "every thread the engine started has ended; left: " << thread_names();
}

// Every plug-in this build makes that runs an output thread of its own.
std::vector<Device> threaded_devices() {
    std::vector<Device> devices = {{"null", "plug-null.so", "Null output"},
                                   {"wav", "plug-wav.so", "WAV file"}};
    if (ZYN_HAVE_PLUG_PULSE) devices.push_back({"pulse", "plug-pulse.so", "PulseAudio"});
    if (ZYN_HAVE_PLUG_ALSA) devices.push_back({"alsa", "plug-alsa.so", "ALSA"});
    return devices;
}

INSTANTIATE_TEST_SUITE_P(
    Plugins, CallbackReentry,
    ::testing::Combine(::testing::ValuesIn(threaded_devices()), ::testing::Values(1, 2)),
    [](const auto &test) {
        return std::string(std::get<0>(test.param).name) +
               (std::get<1>(test.param) == 1 ? "_mono" : "_stereo");
    });

// On a hand-pumped device, where each fill is exact: the mono mix lists the
// work buffers of every sound before it sums them, so a sound destroying
// itself must leave its block where the sum will read it.
namespace {
int32_t g_self = -1;
void destroy_self(int16_t *, int32_t, int32_t) {
    int32_t h = g_self;
    g_result.store(ZYN_DESTROY_SOUND(&h));
}
int32_t g_new = -1;
void play_another(int16_t *, int32_t, int32_t) {
    int32_t s = -1;
    g_result.store(ZYN_PLAY_WAVE(g_wave.load(), 1, 1.0f, 1.0f, 0.0f, &s));
    g_new = s;
}
}  // namespace

TEST(CallbackReentryPumped, ASoundDestroyingItselfOnAMonoDeviceIsStillHeardInThatBlock) {
    PumpDevice device(44100, 1, 64);
    ASSERT_TRUE(device.ok());
    int32_t wave = -1;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(1000, &wave, &samples), 1);
    for (int i = 0; i < 1000; ++i) samples[i] = static_cast<int16_t>(100 + i);
    int32_t quiet = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.0f, 0.0f, &quiet), 1);  // a second block in the sum
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &g_self), 1);
    ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(g_self, destroy_self), 1);
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(g_self), 1);
    const std::vector<int16_t> block = device.pump();
    EXPECT_EQ(g_result.load(), 1);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block[static_cast<size_t>(i)], 100 + i) << i;
    int32_t loops = 0;
    EXPECT_EQ(ZYN_GET_SOUNDLOOPS(g_self, &loops), 0) << "the sound is gone";
    for (int16_t s : device.pump()) ASSERT_EQ(s, 0);
}

TEST(CallbackReentryPumped, PlayingFromACallbackTakesOnlyARowThatNeedsNoAllocation) {
    PumpDevice device(44100, 2, 64);
    ASSERT_TRUE(device.ok());
    int32_t wave = -1, tiny = -1;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(1000, &wave, &samples), 1);
    ASSERT_EQ(ZYN_CREATE_WAVE(8, &tiny, &samples), 1);
    g_wave.store(wave);
    int32_t player = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &player), 1);
    ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(player, play_another), 1);
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(player), 1);
    device.pump();
    EXPECT_EQ(g_result.load(), 0) << "every row is taken: a new one would allocate";
    EXPECT_EQ(g_new, -1);
    ASSERT_EQ(ZYN_DISABLE_SOUNDCALLBACK(player), 1);
    // A one-shot that ends gives its row back with its work buffer.
    ASSERT_EQ(ZYN_PLAY_WAVE(tiny, 1, 1.0f, 1.0f, 0.0f, nullptr), 1);
    device.pump();
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(player), 1);
    device.pump();
    EXPECT_EQ(g_result.load(), 1);
    ASSERT_EQ(g_new, 1);
    int32_t loops = 0;
    EXPECT_EQ(ZYN_GET_SOUNDLOOPS(g_new, &loops), 1);
    EXPECT_EQ(loops, 1) << "the new sound plays from the next block on";
}

// Inside a callback nothing allocates: a call that would build tables is
// refused, and the text queries answer from fixed storage (each asked here
// for the first time on this thread, where a per-thread string would have
// been made).
namespace {
struct NoAllocation {
    const char *call;
    int32_t (*run)();
    int32_t result;
};
const NoAllocation kInsideFill[] = {
    {"ZYN_SET_RESAMPLER(SINC) before its tables exist", [] { return ZYN_SET_RESAMPLER(ZYN_RESAMPLE_SINC); }, 0},
    {"ZYN_SET_RESAMPLER(LINEAR)", [] { return ZYN_SET_RESAMPLER(ZYN_RESAMPLE_LINEAR); }, 1},
    {"ZYN_GET_PLUGPATH", [] { return static_cast<int32_t>(ZYN_GET_PLUGPATH()[0] == '/'); }, 1},
    {"ZYN_GET_PLUGNAME", [] { return static_cast<int32_t>(ZYN_GET_PLUGNAME()[0] != '\0'); }, 1},
    {"ZYN_GET_PLUGDEVICE", [] { return static_cast<int32_t>(ZYN_GET_PLUGDEVICE()[0] != '\0'); }, 1},
    {"ZYN_GET_PLUGERROR", [] { return static_cast<int32_t>(ZYN_GET_PLUGERROR() != nullptr); }, 1},
    {"ZYN_PUSH_KEYTEXT", [] { return ZYN_PUSH_KEYTEXT("a", 1); }, 1},
};
struct Outcome {
    int32_t result = -1;
    long long heap_change = 0;
};
Outcome g_outcomes[std::size(kInsideFill)];
void run_each_inside(int16_t *, int32_t, int32_t) {
    for (size_t i = 0; i < std::size(kInsideFill); ++i) {
        const size_t before = heap_bytes_in_use();
        g_outcomes[i].result = kInsideFill[i].run();
        g_outcomes[i].heap_change = static_cast<long long>(heap_bytes_in_use()) - static_cast<long long>(before);
    }
}
}  // namespace

TEST(CallbackReentryPumped, NothingInsideACallbackAllocates) {
    PumpDevice device(44100, 2, 64);
    ASSERT_TRUE(device.ok());
    int32_t wave = -1;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(1000, &wave, &samples), 1);
    int32_t player = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &player), 1);
    ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(player, run_each_inside), 1);
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(player), 1);
    device.pump();
    for (size_t i = 0; i < std::size(kInsideFill); ++i) {
        SCOPED_TRACE(kInsideFill[i].call);
        EXPECT_EQ(g_outcomes[i].result, kInsideFill[i].result);
        EXPECT_EQ(g_outcomes[i].heap_change, 0) << "allocated on the output thread";
    }
    // Built by the application, the tables may be chosen from a callback.
    ASSERT_EQ(ZYN_SET_RESAMPLER(ZYN_RESAMPLE_SINC), 1);
    device.pump();
    EXPECT_EQ(g_outcomes[0].result, 1);
}
