// plug-alsa.so through the engine, on private ALSA configurations: a default
// PCM that writes raw samples to a file (the pattern written by the master
// callback must come out of it whole and in order), and the test card of
// fixtures/alsa_test_pcm.cpp, which runs dry, suspends and is unplugged on
// demand.
#include "plugin_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sched.h>

using namespace zyn_test;

namespace {

void write_config(const std::string &path, const std::string &text) {
    FILE *out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs(text.c_str(), out);
    std::fclose(out);
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
}

// An asoundrc with the test card as the default PCM (at default_card) and
// the extra PCM definitions given.
std::string card_config(const std::string &default_card, const std::string &extra = "") {
    return "pcm_type.zyntest { lib \"" ZYN_ALSA_TEST_PCM "\" }\n"
           "pcm.!default { type zyntest folder \"" + default_card + "\" }\n" + extra;
}

std::string hinted_card(const std::string &name, const std::string &folder) {
    return "pcm." + name + " { type zyntest folder \"" + folder + "\" hint { show on description \"" +
           name + "\" } }\n";
}

void use_config(const std::string &path, const std::string &text) {
    replace_file(path, text);
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
}

int32_t device_index(const std::string &name) {
    const int32_t count = ZYN_GET_NUMOFDEVICES();
    for (int32_t i = 0; i < count; ++i)
        if (name == ZYN_GET_DEVICENAME(i)) return i;
    return -1;
}

// Samples the test card played, 0 when it played none.
size_t played_samples(const std::string &folder) {
    std::error_code missing;
    const auto bytes = std::filesystem::file_size(folder + "/out.raw", missing);
    return missing ? 0 : static_cast<size_t>(bytes / 2);
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

TEST(AlsaOutput, ListsHintedPcmsAndRefusesOneThatWentOrIsNotListed) {
    TempDir dir;
    const std::string card = dir.path();
    const std::string config = dir.file("asound.conf");
    use_config(config, card_config(card, hinted_card("zyn_card", card) + hinted_card("zyn_other", card)));
    PluginFolder folder({"plug-alsa.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    const int32_t count = ZYN_GET_NUMOFDEVICES();
    EXPECT_STREQ(ZYN_GET_DEVICENAME(0), "default");
    const int32_t listed = device_index("zyn_card"), gone = device_index("zyn_other");
    ASSERT_GE(listed, 1);
    ASSERT_GE(gone, 1);
    EXPECT_STREQ(ZYN_GET_DEVICENAME(count), "");
    EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find("no device"), std::string::npos);

    use_config(config, card_config(card, hinted_card("zyn_card", card)));
    const struct {
        int32_t device;
        const char *reason;
    } refused[] = {{gone, "zyn_other"}, {count + 3, "no device"}};
    for (const auto &c : refused) {
        EXPECT_EQ(ZYN_INIT(44100, 2, 3, 441, c.device), 0) << c.device;
        EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find(c.reason), std::string::npos) << ZYN_GET_LASTERROR();
        EXPECT_EQ(ZYN_GET_PLUGRATE(), 0) << "the null plug-in does not stand in for a listed device";
    }
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, listed), 1) << ZYN_GET_LASTERROR();
    EXPECT_STREQ(ZYN_GET_PLUGDEVICE(), "zyn_card");
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(AlsaOutput, RecoversUnderrunsAndSuspendsWithoutLosingABlock) {
    TempDir dir;
    use_config(dir.file("asound.conf"), card_config(dir.path()));
    PluginFolder folder({"plug-alsa.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    reset_callbacks();
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, -1), 1);
    ASSERT_STREQ(ZYN_GET_PLUGNAME(), "ALSA");
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(pattern_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    sleep_ms(200);
    for (const char *trouble : {"xrun", "suspend", "xrun"}) {
        touch(dir.file(trouble));
        EXPECT_TRUE(wait_for(2000, [&] { return !std::filesystem::exists(dir.file(trouble)); })) << trouble;
        sleep_ms(150);
    }
    const ZynOutputStats stats = output_stats();
    EXPECT_EQ(stats.connected, 1);
    EXPECT_EQ(stats.underruns, 2);
    EXPECT_EQ(stats.reconnects, 0);
    EXPECT_GT(stats.latency_ms, 0.0f);
    EXPECT_LT(stats.latency_ms, 100.0f) << "three blocks of 10 ms are queued";
    EXPECT_NE(std::string(ZYN_GET_PLUGERROR()).find("2 underruns recovered"), std::string::npos);
    EXPECT_EQ(ZYN_STOP(), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);

    const std::vector<int16_t> raw = read_raw(dir.file("out.raw"));
    const PatternRun run = find_pattern(raw);
    EXPECT_EQ(static_cast<int64_t>(run.length), pattern_samples_written())
        << "the pattern breaks at sample " << run.start + run.length;
}

// An unplugged card: the output keeps the engine's pace silently, and opens
// the PCM asked for again every 200 ms. "default" is whatever the
// configuration makes it then; a listed PCM is waited for.
TEST(AlsaOutput, ReopensAnUnpluggedCardOrTheNewDefault) {
    for (const bool asked_default : {true, false}) {
        SCOPED_TRACE(asked_default ? "default asked" : "listed card asked");
        TempDir dir;
        const std::string card = dir.file("card"), other = dir.file("other");
        std::filesystem::create_directory(card);
        std::filesystem::create_directory(other);
        const std::string config = dir.file("asound.conf");
        use_config(config, card_config(card, hinted_card("zyn_card", card)));
        PluginFolder folder({"plug-alsa.so", "plug-null.so"});
        ZYN_SET_PLUGPATH(folder.path().c_str());
        reset_callbacks();
        ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, asked_default ? -1 : device_index("zyn_card")), 1);
        ASSERT_EQ(ZYN_SET_MASTERCALLBACK(pattern_callback), 1);
        ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
        sleep_ms(300);

        touch(card + "/unplugged");
        ASSERT_TRUE(wait_for(2000, [] { return output_stats().connected == 0; }));
        EXPECT_NE(std::string(ZYN_GET_PLUGERROR()).find("reopens"), std::string::npos) << ZYN_GET_PLUGERROR();
        const size_t heard_before = played_samples(card);
        const int64_t lost_at = now_ns();
        const int64_t mixed_before = callback_blocks();
        // The default moves to the other card; the unplugged one stays away.
        use_config(config, card_config(other, hinted_card("zyn_card", card)));
        if (asked_default) {
            EXPECT_TRUE(wait_for(1000, [] { return output_stats().connected == 1; }));
            sleep_ms(300);
            EXPECT_GT(played_samples(other), 0u) << "the new default plays";
        } else {
            sleep_ms(700);
            EXPECT_EQ(output_stats().connected, 0) << "a listed card is waited for";
            EXPECT_EQ(played_samples(other), 0u);
            std::filesystem::remove(card + "/unplugged");
            EXPECT_TRUE(wait_for(1000, [] { return output_stats().connected == 1; }));
            sleep_ms(300);
            EXPECT_GT(played_samples(card), heard_before) << "the card plays again";
        }
        const double outage = seconds_since(lost_at);
        const ZynOutputStats stats = output_stats();
        EXPECT_EQ(stats.reconnects, 1);
        EXPECT_EQ(stats.connected, 1);
        EXPECT_STREQ(ZYN_GET_PLUGERROR(), "");
        // The engine mixed on at the device's pace meanwhile.
        const double mixed = double(callback_blocks() - mixed_before) * 441 / 44100.0;
        EXPECT_NEAR(mixed, outage, 0.35);
        EXPECT_EQ(ZYN_EXIT(), 1);
    }
}

TEST(AlsaOutput, RealTimePriorityFollowsTheSetting) {
    // Only where this process may use SCHED_FIFO itself (root or
    // RLIMIT_RTPRIO); the way through rtkit is tested on its own.
    sched_param param{};
    param.sched_priority = 1;
    if (sched_setscheduler(0, SCHED_FIFO, &param) != 0)
        GTEST_SKIP() << "this process may not use real-time scheduling";
    param.sched_priority = 0;
    sched_setscheduler(0, SCHED_OTHER, &param);

    TempDir dir;
    use_config(dir.file("asound.conf"), card_config(dir.path()));
    PluginFolder folder({"plug-alsa.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    const struct {
        int32_t asked, runs_at;
    } cases[] = {{3, 3}, {0, 0}, {-5, 0}};
    for (const auto &c : cases) {
        ZYN_SET_REALTIME(c.asked);
        ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, -1), 1);
        EXPECT_EQ(output_stats().realtime, c.runs_at) << c.asked;
    }
    ZYN_SET_REALTIME(10);
    EXPECT_EQ(ZYN_EXIT(), 1);
}
