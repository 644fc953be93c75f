// plug-pulse.so against a private PulseAudio server that comes and goes: the
// sinks it lists, a sink gone since the listing, a tone heard again within a
// second of the server's return with the sound where it would have been, a
// server restarted twenty times, and one that accepts and never answers.
//
// The server plays to the ALSA test card (fixtures/alsa_test_pcm.cpp) rather
// than to a null sink: a fresh null sink renders two seconds ahead before it
// heeds any client's latency, so nothing would be heard from it sooner, while
// a clocked card behaves as a sound card does.
#include "media/tone_measure.h"
#include "plugin_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace zyn_test;

namespace {

constexpr int32_t kRate = 44100;
constexpr double kToneHz = 1000.0;
constexpr double kAmplitude = 8000.0;

// A private server and the engine playing through it.
class PulseDevices : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(dir_.file("card"));
        replace_file(dir_.file("asound.conf"), "pcm_type.zyntest { lib \"" ZYN_ALSA_TEST_PCM "\" }\n"
                                               "pcm.zyncard { type zyntest folder \"" + dir_.file("card") + "\" }\n");
        const std::string why = server_.start();
        if (!why.empty()) GTEST_SKIP() << "no PulseAudio server for this test: " << why;
        if (!program_available("parec")) GTEST_SKIP() << "parec (pulseaudio-utils) is not installed";
        ZYN_SET_PLUGPATH(folder_.path().c_str());
    }

    // Opens the default sink and plays a 30 s tone (a wave, so that its
    // position can be read).
    void play_tone() {
        ASSERT_EQ(ZYN_INIT(kRate, 2, 3, 441, -1), 1);
        ASSERT_STREQ(ZYN_GET_PLUGNAME(), "PulseAudio");
        int16_t *samples = nullptr;
        const int32_t frames = 30 * kRate;
        ASSERT_EQ(ZYN_CREATE_WAVE(frames, &wave_, &samples), 1);
        for (int32_t i = 0; i < frames; ++i) {
            const auto value = static_cast<int16_t>(std::lround(kAmplitude * std::sin(2 * M_PI * kToneHz * i / kRate)));
            samples[2 * i] = samples[2 * i + 1] = value;
        }
        ASSERT_EQ(ZYN_PLAY_WAVE(wave_, 1, 1.0f, 1.0f, 0.0f, &sound_), 1);
        started_ns_ = now_ns();
        ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound_, &wave_start_, nullptr, nullptr), 1);
    }

    // Seconds of the wave played so far.
    double position() const {
        int16_t *at = nullptr;
        if (ZYN_GET_SOUNDPOINTERS(sound_, nullptr, &at, nullptr) != 1) return -1.0;
        return double(at - wave_start_) / 2 / kRate;
    }

    void restart_server() {
        server_.kill_now();
        ASSERT_TRUE(wait_for(2000, [] { return output_stats().connected == 0; })) << "the loss was not seen";
        const std::string why = server_.start();
        ASSERT_EQ(why, "");
    }

    TempDir dir_;
    PulseServer server_{dir_.path(), "module-alsa-sink device=zyncard sink_name=zyn_card rate=44100 tsched=0",
                        {"ALSA_CONFIG_PATH=" + dir_.file("asound.conf")}};
    PluginFolder folder_{{"plug-pulse.so", "plug-null.so"}};
    int32_t wave_ = -1;
    int32_t sound_ = -1;
    int16_t *wave_start_ = nullptr;
    int64_t started_ns_ = 0;
};

// Seconds into the left channel where 10 ms windows first hold the tone's level.
double onset(const std::vector<int16_t> &stereo) {
    const size_t window = kRate / 100;
    for (size_t w = 0; (w + window) * 2 <= stereo.size(); w += window) {
        double sum = 0.0;
        for (size_t i = w; i < w + window; ++i) sum += double(stereo[2 * i]) * stereo[2 * i];
        if (std::sqrt(sum / window) > kAmplitude / std::sqrt(2.0) / 2) return double(w) / kRate;
    }
    return -1.0;
}

}  // namespace

TEST_F(PulseDevices, ListsTheSinksAndRefusesOneGoneSinceTheListing) {
    ASSERT_EQ(std::system("pactl load-module module-null-sink sink_name=zyn_extra >/dev/null"), 0);
    const int32_t count = ZYN_GET_NUMOFDEVICES();
    ASSERT_EQ(count, 3) << "default, zyn_card and zyn_extra";
    EXPECT_STREQ(ZYN_GET_DEVICENAME(0), "default");
    int32_t card = -1, extra = -1;
    for (int32_t i = 1; i < count; ++i) {
        const std::string name = ZYN_GET_DEVICENAME(i);
        if (name == "zyn_card") card = i;
        if (name == "zyn_extra") extra = i;
    }
    ASSERT_GE(card, 1);
    ASSERT_GE(extra, 1);
    ASSERT_EQ(std::system("pactl unload-module module-null-sink >/dev/null"), 0);

    EXPECT_EQ(ZYN_INIT(kRate, 2, 3, 441, extra), 0);
    EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find("zyn_extra"), std::string::npos) << ZYN_GET_LASTERROR();
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
    ASSERT_EQ(ZYN_INIT(kRate, 2, 3, 441, card), 1) << ZYN_GET_LASTERROR();
    EXPECT_STREQ(ZYN_GET_PLUGDEVICE(), "zyn_card");
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST_F(PulseDevices, IsHeardAgainWithinASecondOfTheServersReturn) {
    play_tone();
    ZynOutputStats stats = output_stats();
    EXPECT_EQ(stats.connected, 1);
    EXPECT_GT(stats.latency_ms, 0.0f);
    EXPECT_LT(stats.latency_ms, 500.0f);

    server_.kill_now();
    ASSERT_TRUE(wait_for(1000, [] { return output_stats().connected == 0; }));
    EXPECT_NE(std::string(ZYN_GET_PLUGERROR()).find("lost"), std::string::npos) << ZYN_GET_PLUGERROR();
    sleep_ms(700);
    ASSERT_EQ(server_.start(), "");
    const int64_t back = now_ns();
    const std::string recording = dir_.file("monitor.raw");
    const pid_t recorder = spawn({"parec", "-d", "zyn_card.monitor", "--raw", "--format=s16le", "--rate=44100",
                                  "--channels=2", "--latency-msec=20"},
                                 server_.environment(), recording);
    ASSERT_GT(recorder, 0);
    const int64_t recording_from = now_ns();
    EXPECT_TRUE(wait_for(1000, [] { return output_stats().connected == 1; })) << "not back within 1 s";
    sleep_ms(static_cast<int>(2000 - seconds_since(back) * 1000));
    const double wall = seconds_since(started_ns_), played = position();
    end_process(recorder, SIGINT);
    stats = output_stats();
    EXPECT_EQ(stats.reconnects, 1);
    EXPECT_STREQ(ZYN_GET_PLUGERROR(), "");
    // The sound went on while the server was away.
    EXPECT_NEAR(played, wall, 0.3);
    EXPECT_EQ(ZYN_EXIT(), 1);

    const std::vector<int16_t> heard = read_raw(recording);
    const double start = onset(heard);
    ASSERT_GE(start, 0.0) << "the tone did not come back";
    EXPECT_LT(double(recording_from - back) * 1e-9 + start, 1.0) << "heard again too late";
    const size_t from = static_cast<size_t>((start + 0.05) * kRate), frames = kRate / 2;
    ASSERT_GE(heard.size() / 2, from + frames);
    const ToneMeasure tone = measure_tone(channel_samples(heard.data() + 2 * from, frames, 2, 0), kRate);
    EXPECT_NEAR(tone.frequency, kToneHz, 5.0);
    EXPECT_NEAR(tone.amplitude, kAmplitude, kAmplitude * 0.1);
    EXPECT_LT(tone.residual_db, -40.0);
}

TEST_F(PulseDevices, OutlivesTwentyRestartsWithoutLeakingThreadsOrDescriptors) {
    const int32_t threads_before = thread_count(), descriptors_before = descriptor_count();
    play_tone();
    sleep_ms(200);
    const int32_t threads_playing = thread_count(), descriptors_playing = descriptor_count();
    const int64_t start = now_ns();
    for (int restart = 1; restart <= 20; ++restart) {
        restart_server();
        ASSERT_TRUE(wait_for(1000, [] { return output_stats().connected == 1; })) << "restart " << restart;
    }
    EXPECT_LT(seconds_since(start), 60.0) << "twenty restarts within a minute, as asked";
    EXPECT_EQ(output_stats().reconnects, 20);
    EXPECT_EQ(settled_thread_count(threads_playing), threads_playing);
    EXPECT_EQ(descriptor_count(), descriptors_playing);
    EXPECT_EQ(ZYN_EXIT(), 1);
    EXPECT_EQ(settled_thread_count(threads_before), threads_before);
    EXPECT_EQ(descriptor_count(), descriptors_before);
}

TEST_F(PulseDevices, KeepsPaceAndStopsPromptlyAgainstAServerThatNeverAnswers) {
    play_tone();
    sleep_ms(200);
    server_.kill_now();
    // In the server's place, a socket that accepts connections into its
    // backlog and never speaks.
    const std::string path = dir_.file("native");
    std::filesystem::remove(path);
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 64), 0);
    const double before = position();
    const int64_t from = now_ns();
    sleep_ms(2500);
    EXPECT_NEAR(position() - before, seconds_since(from), 0.3) << "the engine kept its pace";
    EXPECT_EQ(output_stats().connected, 0);
    const int64_t stopping = now_ns();
    EXPECT_EQ(ZYN_STOP(), 1);
    EXPECT_LT(seconds_since(stopping), 0.5) << "a stop waits for no connection attempt";
    EXPECT_EQ(ZYN_START(), 1);
    close(listener);
    std::filesystem::remove(path);
    ASSERT_EQ(server_.start(), "");
    EXPECT_TRUE(wait_for(2000, [] { return output_stats().connected == 1; }));
    EXPECT_EQ(ZYN_EXIT(), 1);
}
