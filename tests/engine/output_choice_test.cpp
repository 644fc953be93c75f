// Choosing the output through the interface, against fixture plug-ins: the
// search order over every plug-*.so, ZYN_SET_PLUGNAME with usable and
// hostile names, the one device of a plug-in that cannot list, and the
// figures the engine gives for a plug-in that tells none.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

using namespace zyn_test;

namespace {

bool reason_has(const char *text) { return std::strstr(ZYN_GET_LASTERROR(), text) != nullptr; }

}  // namespace

TEST(OutputChoice, EveryPluginFileIsFoundTheKnownNamesFirstThenByName) {
    ZYN_SET_PLUGPATH(fixture_dir("many").c_str());
    // plug-null.so refuses every format; plug-a.so is the next in order.
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "fixture a");
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 3) << "null, a and b; half, garbage and the rest left out";
    EXPECT_EQ(fixture_library("many", "plug-half.so"), nullptr) << "a library without all six entries is unloaded";
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(OutputChoice, APluginChosenByNameIsTheOnlyOneTried) {
    ZYN_SET_PLUGPATH(fixture_dir("many").c_str());
    const struct {
        const char *name;
        int32_t opens;
        const char *plugin;  // opened, or a part of the reason
    } cases[] = {
        {"plug-b.so", 1, "fixture b"}, {"B", 1, "fixture b"},       {"probed a", 1, "fixture a"},
        {nullptr, 1, "fixture a"},     {"", 1, "fixture a"},        {"null", 0, "n refuses every format"},
        {"nothing", 0, "plug-a.so"},   {"nothing", 0, "plug-half.so: does not export all six"},
        {"nothing", 0, "plug-garbage.so: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
        ASSERT_EQ(ZYN_SET_PLUGNAME(c.name), 1);
        EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), c.opens);
        if (c.opens == 1)
            EXPECT_STREQ(ZYN_GET_PLUGNAME(), c.plugin);
        else
            EXPECT_TRUE(reason_has(c.plugin)) << ZYN_GET_LASTERROR();
    }
    // A name no plug-in has leaves the open device as it was.
    ASSERT_EQ(ZYN_SET_PLUGNAME("b"), 1);
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    ASSERT_EQ(ZYN_SET_PLUGNAME("nothing"), 1);
    EXPECT_EQ(ZYN_INIT(22050, 2, 3, 256, -1), 0);
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 1);
    EXPECT_EQ(ZYN_GET_PLUGRATE(), 44100);
    EXPECT_EQ(ZYN_SET_PLUGNAME(nullptr), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(OutputChoice, HostileNamesAreRefusedAndTheChoiceStays) {
    ZYN_SET_PLUGPATH(fixture_dir("many").c_str());
    ASSERT_EQ(ZYN_SET_PLUGNAME("plug-b.so"), 1);
    const std::string too_long(256, 'x');
    const char *hostile[] = {too_long.c_str(), "\xC3\x28", "\xED\xA0\x80", "\xC0\xAF", "\xF5\x80\x80\x80",
                             "b\xE2\x82"};
    for (const char *name : hostile) {
        EXPECT_EQ(ZYN_SET_PLUGNAME(name), 0);
        EXPECT_GT(std::strlen(ZYN_GET_LASTERROR()), 10u);
    }
    EXPECT_EQ(ZYN_SET_PLUGNAME("\xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xB5"), 1) << "valid UTF-8 is a name";
    EXPECT_EQ(ZYN_SET_PLUGNAME("plug-b.so"), 1);
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "fixture b");
    EXPECT_EQ(ZYN_SET_PLUGNAME(nullptr), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(OutputChoice, APluginThatCannotListHasOneDeviceItsDefault) {
    ZYN_SET_PLUGPATH(fixture_dir("many").c_str());
    EXPECT_EQ(ZYN_GET_NUMOFDEVICES(), 1) << "found without opening a device";
    EXPECT_EQ(ZYN_GET_PLUGRUNNING(), 0);
    EXPECT_STREQ(ZYN_GET_DEVICENAME(0), "default");
    for (int32_t index : {1, -1, 1 << 30}) {
        EXPECT_STREQ(ZYN_GET_DEVICENAME(index), "") << index;
        EXPECT_TRUE(reason_has("device")) << ZYN_GET_LASTERROR();
    }
    // A device index chooses from the first plug-in's list, and only that
    // plug-in is tried: here plug-null.so, which refuses.
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, 0), 0);
    EXPECT_TRUE(reason_has("n refuses")) << ZYN_GET_LASTERROR();
    ASSERT_EQ(ZYN_SET_PLUGNAME("nothing"), 1);
    EXPECT_EQ(ZYN_GET_NUMOFDEVICES(), 0);
    EXPECT_TRUE(reason_has("no output plug-in named 'nothing'")) << ZYN_GET_LASTERROR();
    EXPECT_STREQ(ZYN_GET_DEVICENAME(0), "");
    ASSERT_EQ(ZYN_SET_PLUGNAME("a"), 1);
    // A plug-in without the device entries gets the index as it is.
    EXPECT_EQ(ZYN_INIT(44100, 2, 3, 256, 2), 1);
    EXPECT_EQ(ZYN_SET_PLUGNAME(nullptr), 1);
    EXPECT_EQ(ZYN_EXIT(), 1);
}

TEST(OutputChoice, FiguresOfAPluginThatTellsNoneFillOnlyWhatFits) {
    ZynOutputStats stats;
    stats.size = sizeof(stats);
    EXPECT_EQ(ZYN_GET_OUTPUTSTATS(nullptr), 0);
    EXPECT_EQ(ZYN_GET_OUTPUTSTATS(&stats), 0) << "no device is open";
    ZYN_SET_PLUGPATH(fixture_dir("pump").c_str());
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
    const struct {
        int32_t size;
        int32_t result;
        bool latency_written;
    } cases[] = {{0, 0, false},
                 {3, 0, false},
                 {static_cast<int32_t>(offsetof(ZynOutputStats, latency_ms)), 1, false},
                 {static_cast<int32_t>(sizeof(ZynOutputStats)), 1, true},
                 {1 << 20, 1, true}};
    for (const auto &c : cases) {
        std::memset(&stats, 0x5A, sizeof(stats));
        stats.size = c.size;
        EXPECT_EQ(ZYN_GET_OUTPUTSTATS(&stats), c.result) << c.size;
        EXPECT_EQ(stats.size, c.size);
        if (c.result == 0) continue;
        EXPECT_EQ(stats.connected, 1);
        EXPECT_EQ(stats.realtime, 0);
        if (c.latency_written) {
            EXPECT_NEAR(stats.latency_ms, 1000.0 * 3 * 256 / 44100, 0.01) << "the queue asked for";
            EXPECT_EQ(stats.underruns, 0);
            EXPECT_EQ(stats.reconnects, 0);
        } else {
            int32_t untouched;
            std::memcpy(&untouched, &stats.latency_ms, sizeof(untouched));
            EXPECT_EQ(untouched, 0x5A5A5A5A) << "written past the size given";
        }
    }
    ASSERT_EQ(ZYN_STOP(), 1);
    stats.size = sizeof(stats);
    ASSERT_EQ(ZYN_GET_OUTPUTSTATS(&stats), 1);
    EXPECT_EQ(stats.connected, 0);
    EXPECT_EQ(stats.latency_ms, 0.0f);
    EXPECT_EQ(ZYN_EXIT(), 1);
}
