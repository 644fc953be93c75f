// plug-alsa.so through the engine, on a private ALSA configuration whose
// default PCM writes raw samples to a file: the pattern written by the master
// callback must come out of that file whole and in order.
#include "plugin_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace zyn_test;

namespace {

void write_config(const std::string &path, const std::string &text) {
    FILE *out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs(text.c_str(), out);
    std::fclose(out);
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
}

}  // namespace

TEST(AlsaOutput, PlaysEveryBlockInOrderAtRealTimePace) {
    TempDir dir;
    const std::string samples = dir.file("out.raw");
    // A PCM that never blocks: the plug-in has to keep the pace itself.
    write_config(dir.file("asound.conf"), "pcm.!default {\n  type file\n  slave.pcm { type null }\n"
                                          "  file \"" + samples + "\"\n  format \"raw\"\n}\n");
    PluginFolder folder({"plug-alsa.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    reset_callbacks();
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "ALSA");
    EXPECT_STREQ(ZYN_GET_PLUGDEVICE(), "default");
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 44100);
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(pattern_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    const int64_t start = now_ns();
    const double played_before = ZYN_GET_PLAYTIME();
    sleep_ms(600);
    const double wall = seconds_since(start);
    const double played = ZYN_GET_PLAYTIME() - played_before;
    EXPECT_EQ(ZYN_STOP(), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
    // Three 10 ms blocks may be queued ahead; racing ahead would give seconds.
    EXPECT_LT(played, wall + 0.25);
    EXPECT_GT(played, wall * 0.5);

    const std::vector<int16_t> raw = read_raw(samples);
    const PatternRun run = find_pattern(raw);
    ASSERT_LT(run.start, raw.size()) << "no pattern reached the device";
    EXPECT_EQ(static_cast<int64_t>(run.length), pattern_samples_written())
        << "the pattern breaks at sample " << run.start + run.length;
    for (size_t i = run.start + run.length; i < raw.size(); ++i)
        ASSERT_EQ(raw[i], 0) << "only silence may follow the last block, at sample " << i;
}

TEST(AlsaOutput, IsSkippedWhenNoPcmCanBeOpened) {
    TempDir dir;
    write_config(dir.file("asound.conf"), "# no PCM at all\n");
    PluginFolder folder({"plug-alsa.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 512, -1), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "probing prints nothing";
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Null output");
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 1) << "refused by its probe";
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(AlsaOutput, ReportsACardThatDoesNotExist) {
    TempDir dir;
    write_config(dir.file("asound.conf"),
                 "pcm.!default { type file slave.pcm { type null } file \"/dev/null\" format \"raw\" }\n");
    PluginFolder folder({"plug-alsa.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    // Card 7 has no definition here: the device is refused and null takes over.
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 512, 7), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Null output");
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 2);
    EXPECT_EQ(ZYN_EXIT(), 1);
}
