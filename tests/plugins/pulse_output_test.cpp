// plug-pulse.so through the engine against a private PulseAudio server with a
// null sink: a tone played by the engine must come back from the sink's
// monitor at its frequency and level. Without a server, or with one that never
// answers, the engine must fall through to plug-null.so quickly.
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

struct ToneMeasure {
    size_t frames = 0;  // frames of the longest stretch of sound
    double frequency = 0.0;
    double rms = 0.0;
};

// Finds the longest loud stretch of the left channel and measures it away
// from its edges, where the stream starts and ends.
ToneMeasure measure_tone(const std::vector<int16_t> &stereo) {
    const size_t frames = stereo.size() / 2;
    const size_t window = 441;
    size_t best_start = 0, best_length = 0, run_start = 0, run_length = 0;
    for (size_t w = 0; w + window <= frames; w += window) {
        double sum = 0.0;
        for (size_t i = w; i < w + window; ++i) sum += double(stereo[2 * i]) * stereo[2 * i];
        if (std::sqrt(sum / window) > 1000.0) {
            if (run_length == 0) run_start = w;
            run_length += window;
            if (run_length > best_length) {
                best_start = run_start;
                best_length = run_length;
            }
        } else {
            run_length = 0;
        }
    }
    ToneMeasure tone;
    tone.frames = best_length;
    if (best_length < 4 * window) return tone;
    const size_t from = best_start + window, to = best_start + best_length - window;
    double sum = 0.0;
    size_t crossings = 0;
    for (size_t i = from; i < to; ++i) {
        sum += double(stereo[2 * i]) * stereo[2 * i];
        if (i > from && (stereo[2 * i - 2] < 0) != (stereo[2 * i] < 0)) ++crossings;
    }
    const double seconds = double(to - from) / 44100.0;
    tone.frequency = crossings / 2.0 / seconds;
    tone.rms = std::sqrt(sum / double(to - from));
    return tone;
}

}  // namespace

TEST(PulseOutput, PlaysAToneThatTheServerRecords) {
    TempDir dir;
    PulseServer server(dir.path());
    const std::string why = server.start();
    if (!why.empty()) GTEST_SKIP() << "no PulseAudio server for this test: " << why;
    if (!program_available("parec")) GTEST_SKIP() << "parec (pulseaudio-utils) is not installed";

    const std::string recording = dir.file("monitor.raw");
    const pid_t recorder =
        spawn({"parec", "-d", "zyn_null.monitor", "--raw", "--format=s16le", "--rate=44100",
               "--channels=2", "--latency-msec=20"},
              server.environment(), recording);
    ASSERT_GT(recorder, 0);
    for (int waited = 0; waited < 5000 && read_raw(recording).empty(); waited += 20) sleep_ms(20);

    PluginFolder folder({"plug-pulse.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 1024, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "PulseAudio") << ZYN_GET_PLUGERROR();
    EXPECT_STREQ(ZYN_GET_PLUGDEVICE(), "zyn_null");
    EXPECT_EQ(ZYN_GET_PLUGBUFFERSIZE(), 4096);
    set_tone(1000.0, 8000.0);
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(tone_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    sleep_ms(1200);
    EXPECT_EQ(ZYN_STOP(), 1);
    sleep_ms(200);
    EXPECT_EQ(ZYN_EXIT(), 1);
    end_process(recorder, SIGINT);

    const ToneMeasure tone = measure_tone(read_raw(recording));
    EXPECT_GT(tone.frames, 44100u * 8 / 10) << "the tone did not reach the sink";
    EXPECT_NEAR(tone.frequency, 1000.0, 20.0);
    EXPECT_NEAR(tone.rms, 8000.0 / std::sqrt(2.0), 8000.0 / std::sqrt(2.0) * 0.1);
}

TEST(PulseOutput, KeepsTheEngineRunningWhenTheServerGoesAway) {
    TempDir dir;
    PulseServer server(dir.path());
    const std::string why = server.start();
    if (!why.empty()) GTEST_SKIP() << "no PulseAudio server for this test: " << why;

    PluginFolder folder({"plug-pulse.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, -1), 1);
    ASSERT_STREQ(ZYN_GET_PLUGNAME(), "PulseAudio");
    sleep_ms(200);
    server.kill_now();
    sleep_ms(300);
    const int32_t before = ZYN_GET_PLAYEDBYTES();
    sleep_ms(300);
    EXPECT_GT(ZYN_GET_PLAYEDBYTES(), before) << "the engine's clock stopped with the server";
    EXPECT_NE(std::string(ZYN_GET_PLUGERROR()).find("lost"), std::string::npos) << ZYN_GET_PLUGERROR();
    EXPECT_EQ(ZYN_STOP(), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(PulseOutput, StopsAndClosesWhenTheServerFreezes) {
    TempDir dir;
    PulseServer server(dir.path());
    const std::string why = server.start();
    if (!why.empty()) GTEST_SKIP() << "no PulseAudio server for this test: " << why;

    PluginFolder folder({"plug-pulse.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, -1), 1);
    ASSERT_STREQ(ZYN_GET_PLUGNAME(), "PulseAudio");
    sleep_ms(200);
    // A server that stops answering: the queue fills and is never drained.
    server.signal(SIGSTOP);
    sleep_ms(200);
    const int64_t start = now_ns();
    EXPECT_EQ(ZYN_STOP(), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
    EXPECT_LT(seconds_since(start), 10.0) << "stopping must not wait on the server for long";
    server.signal(SIGCONT);
}

TEST(PulseOutput, FallsThroughToNullWithoutAServer) {
    TempDir dir;
    setenv("HOME", dir.path().c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir.file("nobody-listens")).c_str(), 1);
    PluginFolder folder({"plug-pulse.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    const int64_t start = now_ns();
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 512, -1), 1);
    EXPECT_LT(seconds_since(start), 5.0) << "the probe must not hang";
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Null output");
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(PulseOutput, GivesUpOnAServerThatNeverAnswers) {
    TempDir dir;
    // A socket that accepts connections into its backlog and never speaks.
    const std::string path = dir.file("silent");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    setenv("HOME", dir.path().c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);

    PluginFolder folder({"plug-pulse.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    const int64_t start = now_ns();
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 512, -1), 1);
    EXPECT_LT(seconds_since(start), 10.0) << "the probe must give up on its own";
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Null output");
    EXPECT_EQ(ZYN_EXIT(), 1);
    close(listener);
}
