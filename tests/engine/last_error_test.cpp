// ZYN_GET_LASTERROR: one line saying why the last failed call on this thread
// failed, naming the file or value concerned; successful calls leave it
// alone, and each thread has its own.
#include "decoders/decoder_fixtures.h"
#include "file_bytes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace zyn_test;

namespace {

std::string last() { return ZYN_GET_LASTERROR(); }

int32_t exit_from_inside() { return ZYN_EXIT(); }
int32_t g_inside_result = -1;
void call_exit(int16_t *, int32_t, int32_t) { g_inside_result = exit_from_inside(); }

}  // namespace

TEST(LastError, SaysWhyInWordsThatNameTheFileOrValue) {
    EXPECT_EQ(last(), "");
    int32_t wave = 0;
    EXPECT_EQ(ZYN_LOAD_WAVFILE("x.wav", &wave), 0);
    EXPECT_EQ(last(), "the engine is not initialised (call ZYN_INIT first)");

    ZYN_SET_PLUGPATH("/opt/zyn/lib");
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 2048, -1), 0);
    EXPECT_EQ(last(), "no output plug-in in '/opt/zyn/lib' (is the folder missing its trailing '/'?)");
    EXPECT_EQ(ZYN_INIT(1000, 2, 3, 2048, -1), 0);
    EXPECT_EQ(last(), "ZYN_INIT: a rate of 1000 Hz is outside 4000..768000 Hz");

    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::string missing = dir.file("x.wav");
    EXPECT_EQ(ZYN_LOAD_WAVFILE(missing.c_str(), &wave), 0);
    EXPECT_EQ(wave, -1);
    EXPECT_EQ(last(), "cannot open '" + missing + "': No such file or directory");

    const std::string deep = dir.file("deep.wav");
    ASSERT_TRUE(write_tone_wav(deep, 44100, 2, 440.0, 0.1));
    std::vector<uint8_t> bytes = read_file(deep);
    bytes[34] = 24;  // bits per sample
    ASSERT_TRUE(write_file(deep, bytes));
    EXPECT_EQ(ZYN_LOAD_WAVFILE(deep.c_str(), &wave), 0);
    EXPECT_EQ(last(), "'" + deep + "': 24-bit samples are not supported by ZYN_LOAD_WAVFILE (use ZYN_LOAD_FILE)");

    const std::string text = dir.file("x.mp3");
    ASSERT_TRUE(write_file(text, std::vector<uint8_t>(5000, 'a')));
    EXPECT_EQ(ZYN_LOAD_MP3FILE(text.c_str(), &wave, ""), 0);
    EXPECT_EQ(last(), "'" + text + "' is not MPEG audio");
    EXPECT_EQ(ZYN_CREATE_MP3STREAM(text.c_str()), 0);
    EXPECT_EQ(last(), "'" + text + "' is not MPEG audio");

    float volume = 0.0f;
    EXPECT_EQ(ZYN_SET_SOUNDVOLUME(7, 1.0f), 0);
    EXPECT_EQ(last(), "no sound with handle 7");
    EXPECT_EQ(ZYN_GET_SOUNDVOLUME(7, nullptr), 0);
    EXPECT_EQ(last(), "ZYN_GET_SOUNDVOLUME: the out-argument is null");
    EXPECT_EQ(ZYN_SET_MASTERFILTER(2, 30000.0f, 6.0f, 1.0f, 1), 0);
    EXPECT_EQ(last(), "ZYN_SET_MASTERFILTER: a centre of 30000 Hz is not between 0 and 22050 Hz");
    EXPECT_EQ(ZYN_SET_MASTERFILTER(12, 1000.0f, 6.0f, 1.0f, 1), 0);
    EXPECT_EQ(last(), "band 12 is outside 0..9");
    EXPECT_EQ(ZYN_GET_STREAMVOLUME(&volume), 0);
    EXPECT_EQ(last(), "no MP3 stream is active");

    // A call that succeeds leaves the reason as it was.
    EXPECT_EQ(ZYN_SET_MASTERVOLUME(0.5f), 1);
    EXPECT_EQ(last(), "no MP3 stream is active");

    // A call refused inside a callback says so, on the thread that made it
    // (here the hand pump runs the fill on this thread).
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(call_exit), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    device.pump();
    ASSERT_EQ(ZYN_DISABLE_MASTERCALLBACK(), 1);
    EXPECT_EQ(g_inside_result, 0);
    EXPECT_EQ(last().rfind("ZYN_EXIT cannot be called from inside a callback", 0), 0u) << last();
}

TEST(LastError, EachThreadKeepsItsOwnReason) {
    EXPECT_EQ(ZYN_SET_SOUNDPAN(3, 0.0f), 0);
    const std::string mine = last();
    std::string theirs;
    std::thread([&] {
        EXPECT_EQ(last(), "") << "a new thread starts without a reason";
        EXPECT_EQ(ZYN_PUSH_KEYTEXT("abc", 3), 0);
        theirs = last();
    }).join();
    EXPECT_EQ(theirs, "ZYN_PUSH_KEYTEXT: a key text has 1 or 2 bytes, not 3");
    EXPECT_EQ(last(), mine);
}
