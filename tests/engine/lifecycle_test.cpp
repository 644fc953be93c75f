// Discovery, ZYN_INIT / START / STOP / EXIT and the device queries, driven
// through the exported interface against fixture plug-ins.
#include "decoders/decoder_fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

using namespace zyn_test;

namespace {

void use_set(const std::string &set) { ZYN_SET_PLUGPATH(fixture_dir(set).c_str()); }

}  // namespace

TEST(Lifecycle, QueriesBeforeInitAnswerZeroOrEmpty) {
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 0);
    EXPECT_STREQ(ZYN_GET_PLUGERROR(), "");
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "");
    EXPECT_STREQ(ZYN_GET_PLUGDEVICE(), "");
    EXPECT_EQ(ZYN_GET_PLUGBUFFERSIZE(), 0);
    EXPECT_EQ(ZYN_GET_PLUGBUFFERS(), 0);
    EXPECT_EQ(ZYN_GET_PLUGFRAMESIZE(), 0);
    EXPECT_EQ(ZYN_GET_PLUGFRAMES(), 0);
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 0);
    EXPECT_EQ(ZYN_GET_PLUGBITS(), 0);
    EXPECT_EQ(ZYN_GET_PLUGCHANNELS(), 0);
    EXPECT_EQ(ZYN_GET_PLUGSIGNED(), 0);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 0);
    EXPECT_EQ(ZYN_GET_PLAYINGSTREAMS(), 0);
    EXPECT_EQ(ZYN_GET_PLAYEDBYTES(), 0);
    EXPECT_EQ(ZYN_GET_PLAYEDSAMPLES(), 0);
    EXPECT_EQ(ZYN_GET_PLAYTIME(), 0.0);
    EXPECT_EQ(ZYN_EXIT(), 1);
    EXPECT_EQ(ZYN_START(), 0);
    EXPECT_EQ(ZYN_STOP(), 1);
}

TEST(Lifecycle, DefaultPlugPathIsTheExecutableFolder) {
    std::string path = ZYN_GET_PLUGPATH();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.back(), '/');
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    EXPECT_EQ(std::string(exe).rfind(path, 0), 0u) << path << " is not the folder of " << exe;
    ZYN_SET_PLUGPATH("no/separator");
    EXPECT_STREQ(ZYN_GET_PLUGPATH(), "no/separator");
}

TEST(Lifecycle, MaxChannelsClampsAndNeedsNoInit) {
    int32_t channels = 0;
    EXPECT_EQ(ZYN_GET_MAXCHANNELS(nullptr), 0);
    EXPECT_EQ(ZYN_GET_MAXCHANNELS(&channels), 1);
    EXPECT_EQ(channels, 128);
    EXPECT_EQ(ZYN_SET_MAXCHANNELS(0), 1);
    ZYN_GET_MAXCHANNELS(&channels);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(ZYN_SET_MAXCHANNELS(1000), 1);
    ZYN_GET_MAXCHANNELS(&channels);
    EXPECT_EQ(channels, 256);
    EXPECT_EQ(ZYN_SET_MAXCHANNELS(-7), 1);
    ZYN_GET_MAXCHANNELS(&channels);
    EXPECT_EQ(channels, 1);
}

TEST(Lifecycle, WrongPathFindsNothingThenTheRightPathDoes) {
    ZYN_SET_PLUGPATH("/nonexistent/");
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 0);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 0);
    ZYN_SET_PLUGPATH("");
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 0);
    use_set("pump");
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 1);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 0);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
}

TEST(Lifecycle, OpenDeviceAnswersEveryQuery) {
    use_set("pump");
    ASSERT_EQ(ZYN_INIT(22050, 1, 4, 512, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "fixture pump");
    EXPECT_STREQ(ZYN_GET_PLUGDEVICE(), "hand pump");
    EXPECT_STREQ(ZYN_GET_PLUGERROR(), "no error");
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 22050);
    EXPECT_EQ(ZYN_GET_PLUGCHANNELS(), 1);
    EXPECT_EQ(ZYN_GET_PLUGBUFFERS(), 4);
    EXPECT_EQ(ZYN_GET_PLUGFRAMES(), 512);
    EXPECT_EQ(ZYN_GET_PLUGFRAMESIZE(), 2);
    EXPECT_EQ(ZYN_GET_PLUGBUFFERSIZE(), 1024);
    EXPECT_EQ(ZYN_GET_PLUGBITS(), 16);
    EXPECT_EQ(ZYN_GET_PLUGSIGNED(), 1);
    ZYN_EXIT();
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "");
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 0);
}

TEST(Lifecycle, ChangingThePathAfterDiscoveryWaitsForExit) {
    use_set("pump");
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    ZYN_SET_PLUGPATH("/nonexistent/");
    // Discovery does not run again: the same row is reopened.
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 1);
    ZYN_EXIT();
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 0);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 0);
}

// Found by the soak under ThreadSanitizer: discovery read the folder while
// another application thread replaced it. Every failed ZYN_INIT discovers
// again, so each one here reads the folder while it changes.
TEST(Lifecycle, PathChangedByAnotherThreadDuringDiscoveryIsReadWhole) {
    std::atomic<bool> stop{false};
    std::thread changer([&stop] {
        for (uint32_t i = 0; !stop.load(); ++i)
            ZYN_SET_PLUGPATH(i % 2 ? "/nonexistent/a/" : "/nonexistent/folder/of/a/longer/name/");
    });
    int32_t opened = 0;
    for (int i = 0; i < 300; ++i) opened += ZYN_INIT(44100, 2, 3, 256, -1);
    stop.store(true);
    changer.join();
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 0);
    use_set("pump");
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1) << "the path set last is the one used";
    EXPECT_EQ(ZYN_EXIT(), 1);
}

// Found by review of what the soak runs: the error text is read from the
// plug-in outside the engine lock, and ZYN_EXIT on another thread unloaded
// the library while a reader was still inside it. This fixture takes a
// second to answer; half a second into it the device is closed.
TEST(Lifecycle, ExitWaitsForAnErrorTextBeingReadOnAnotherThread) {
    use_set("slowerror");
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    std::string text = "not read";
    std::thread reader([&text] { text = ZYN_GET_PLUGERROR(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ZYN_EXIT(), 1);
    reader.join();
    EXPECT_EQ(text, "no error");
    EXPECT_EQ(fixture_library("slowerror"), nullptr) << "unloaded once the reader was done";
}

TEST(Lifecycle, LibrariesThatAreNotPluginsLeaveNoRowAndStayUnloaded) {
    for (const char *set : {"isany0", "noexit", "garbage"}) {
        use_set(set);
        EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 0) << set;
        EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 0) << set;
        EXPECT_EQ(fixture_library(set), nullptr) << set << " is still loaded";
    }
}

TEST(Lifecycle, RefusingPluginKeepsItsRowAndIsRetriedWithoutDiscovery) {
    use_set("refuse");
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 0);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 1);
    EXPECT_STREQ(ZYN_GET_PLUGERROR(), "");  // no plug-in is open to ask
    EXPECT_EQ(ZYN_EXIT(), 1);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 1);
    EXPECT_EQ(ZYN_INIT(48000, 2, 3, 256, -1), 0);
    FixtureCalls *calls = fixture_calls("refuse");
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls->isany, 1);
    EXPECT_EQ(calls->init, 2);
}

TEST(Lifecycle, NextRowIsTriedWhenOneRefusesAndProbeLeftoversReachTheRow) {
    use_set("two");
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 2);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "fixture second");
    FixtureCalls *first = fixture_calls("two", "plug-wav.so");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->init, 1);
    ZYN_EXIT();
}

TEST(Lifecycle, PluginRefusingTheFormatLeavesTheEngineClosed) {
    use_set("pump");
    EXPECT_EQ(ZYN_INIT(44100, 3, 3, 256, -1), 0);
    EXPECT_EQ(ZYN_INIT(0, 2, 3, 256, -1), 0);
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 0, -1), 0);
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 0);
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    ZYN_EXIT();
}

TEST(Lifecycle, StartFailureLeavesTheEngineOpenButStopped) {
    use_set("nostart");
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 0);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 44100);  // the device is open
    EXPECT_EQ(ZYN_STOP(), 1);
    FixtureCalls *calls = fixture_calls("nostart");
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls->stop, 0);
    ZYN_EXIT();
}

TEST(Lifecycle, StopStartAndReinitCallThePluginAsNeeded) {
    use_set("pump");
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    FixtureCalls *calls = fixture_calls("pump");
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls->start, 1);
    EXPECT_EQ(ZYN_STOP(), 1);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
    EXPECT_EQ(ZYN_STOP(), 1);
    EXPECT_EQ(calls->stop, 1);  // the second stop did not reach the plug-in
    EXPECT_EQ(ZYN_START(), 1);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 1);
    // Reopening stops and closes the open plug-in first.
    EXPECT_EQ(ZYN_INIT(48000, 1, 2, 128, -1), 1);
    EXPECT_EQ(calls->stop, 2);
    EXPECT_EQ(calls->exit, 1);
    EXPECT_EQ(calls->init, 2);
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 48000);
    EXPECT_EQ(ZYN_GET_PLUGCHANNELS(), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
    EXPECT_EQ(fixture_library("pump"), nullptr) << "the library is released at exit";
}

TEST(Lifecycle, FailedReinitLeavesAConsistentEngineThatExitReleases) {
    use_set("picky");  // refuses rates above 48000 Hz
    TempDir files;
    const std::string mp3 = files.file("tone.mp3");
    ASSERT_TRUE(write_tone_wav(files.file("tone.wav"), 44100, 2, 440.0, 2.0));
    ASSERT_TRUE(encode_mp3(files.file("tone.wav"), mp3));
    const int32_t threads_before = thread_count();
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    const size_t heap_open = heap_bytes_in_use();
    int32_t wave = -1, sound = -1, ms = 0;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(441000, &wave, &samples), 1);  // 1.7 MB
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.c_str()), 1);
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    EXPECT_GT(thread_count(), threads_before) << "the decoder runs";

    EXPECT_EQ(ZYN_INIT(96000, 2, 3, 256, -1), 0);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 0);
    EXPECT_EQ(ZYN_GET_PLUGBUFFERSIZE(), 0);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "");
    EXPECT_EQ(ZYN_GET_PLAYEDBYTES(), 0);
    EXPECT_EQ(ZYN_GET_WAVELENGTH(wave, &ms), 0) << "no device, no wave handles";
    EXPECT_EQ(thread_count(), threads_before) << "nothing plays the stream any more";

    EXPECT_EQ(ZYN_EXIT(), 1);
    EXPECT_LT(heap_bytes_in_use(), heap_open + 65536) << "the wave, sound and stream were released";
    EXPECT_EQ(thread_count(), threads_before);
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1) << "a later ZYN_INIT works";
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 1);
    EXPECT_EQ(ZYN_GET_WAVELENGTH(wave, &ms), 0) << "the wave went with ZYN_EXIT";
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(Lifecycle, FormatsNoDeviceHasAreRefusedBeforeAnyPluginSeesThem) {
    use_set("pump");
    const struct {
        int32_t rate, channels, frames;
    } refused[] = {{2147483647, 2, 1}, {3999, 2, 256}, {768001, 2, 256}, {-44100, 2, 256},
                   {44100, 0, 256},    {44100, 3, 256}, {44100, 2, 15},  {44100, 2, (1 << 20) + 1},
                   {44100, 2, -256}};
    for (const auto &f : refused) {
        EXPECT_EQ(ZYN_INIT(f.rate, f.channels, 3, f.frames, -1), 0)
            << f.rate << " Hz, " << f.channels << " channels, " << f.frames << " frames";
        EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 0) << "refused before discovery";
    }
    // The extremes that remain are opened; buffer counts are clamped.
    ASSERT_EQ(ZYN_INIT(768000, 1, 1000, 16, -1), 1);
    EXPECT_EQ(ZYN_GET_PLUGBUFFERS(), 64);
    FixtureCalls *calls = fixture_calls("pump");
    ASSERT_NE(calls, nullptr);
    // Refused while open: the device stays as it was.
    EXPECT_EQ(ZYN_INIT(1, 2, 3, 1, -1), 0);
    EXPECT_EQ(calls->init, 1);
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 768000);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 1);
    ASSERT_EQ(ZYN_INIT(4000, 2, -5, 1 << 20, -1), 1);
    EXPECT_EQ(ZYN_GET_PLUGBUFFERS(), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(Lifecycle, CountersFollowTheBlocksDelivered) {
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(device.block_bytes(), 1024);
    for (int i = 0; i < 10; ++i) device.pump();
    EXPECT_EQ(ZYN_GET_PLAYEDBYTES(), 10240);
    EXPECT_EQ(ZYN_GET_PLAYEDSAMPLES(), 2560);
    EXPECT_DOUBLE_EQ(ZYN_GET_PLAYTIME(), 2560.0 / 44100.0);
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 0);
    EXPECT_EQ(ZYN_GET_PLAYINGSTREAMS(), 0);
}

TEST(Lifecycle, PlayedBytesSurviveExitAndReinit) {
    {
        PumpDevice device(44100, 2, 256);
        ASSERT_TRUE(device.ok());
        device.pump();
        device.pump();
    }
    EXPECT_EQ(ZYN_GET_PLAYEDBYTES(), 0);  // not initialised: answered 0
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    device.pump();
    EXPECT_EQ(ZYN_GET_PLAYEDBYTES(), 3072);
}

TEST(Lifecycle, SilentBlockWhenNothingPlays) {
    PumpDevice device(44100, 2, 64);
    ASSERT_TRUE(device.ok());
    std::vector<int16_t> block = device.pump();
    ASSERT_EQ(block.size(), 128u);
    for (int16_t s : block) ASSERT_EQ(s, 0);
}

TEST(Lifecycle, FillIgnoresMissingRecordBufferAndTinyBlocks) {
    PumpDevice device(44100, 2, 64);
    ASSERT_TRUE(device.ok());
    PlugoutRecord *record = device.record();
    ASSERT_NE(record, nullptr);
    record->fill(nullptr);
    record->buffer = nullptr;
    record->fill(record);
    int16_t tiny[2] = {7, 7};
    PlugoutRecord copy = *record;
    copy.buffer = tiny;
    copy.buffer_size = 2;
    copy.fill(&copy);
    EXPECT_EQ(tiny[0], 7);
    EXPECT_EQ(tiny[1], 7);
    EXPECT_EQ(ZYN_GET_PLAYEDBYTES(), 0);
}
