// Every plug-in against the contract of zyn_plugout.h, loaded directly so
// that each entry can be called in any order: what it exports, the formats
// it refuses, and that it survives every sequence of entries a host may make.
#include "plugin_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <set>
#include <string>
#include <vector>

using namespace zyn_test;

namespace {

// null and wav are always built; pulse and alsa when this build has their library.
std::vector<std::string> configured_plugins() {
    std::vector<std::string> plugins = {"plug-null.so", "plug-wav.so"};
    if (ZYN_HAVE_PLUG_ALSA) plugins.push_back("plug-alsa.so");
    if (ZYN_HAVE_PLUG_PULSE) plugins.push_back("plug-pulse.so");
    return plugins;
}

struct Entries {
    void *library = nullptr;
    int32_t (*isany)(PlugoutRecord *) = nullptr;
    int32_t (*init)(PlugoutRecord *) = nullptr;
    int32_t (*start)() = nullptr;
    int32_t (*stop)() = nullptr;
    int32_t (*exit)() = nullptr;
    const char *(*error)() = nullptr;

    explicit Entries(const std::string &file) {
        library = dlopen((std::string(ZYN_PLUGIN_DIR) + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return;
        isany = reinterpret_cast<decltype(isany)>(dlsym(library, "PLUG_ISANY"));
        init = reinterpret_cast<decltype(init)>(dlsym(library, "PLUG_INIT"));
        start = reinterpret_cast<decltype(start)>(dlsym(library, "PLUG_START"));
        stop = reinterpret_cast<decltype(stop)>(dlsym(library, "PLUG_STOP"));
        exit = reinterpret_cast<decltype(exit)>(dlsym(library, "PLUG_EXIT"));
        error = reinterpret_cast<decltype(error)>(dlsym(library, "PLUG_ERROR"));
        find_optional();
    }
    // The optional groups; null when absent.
    int32_t (*numofdevices)() = nullptr;
    int32_t (*devicename)(int32_t, char *, int32_t) = nullptr;
    int32_t (*setrealtime)(int32_t) = nullptr;
    int32_t (*getstats)(PlugoutStats *) = nullptr;
    void find_optional() {
        numofdevices = reinterpret_cast<decltype(numofdevices)>(dlsym(library, "PLUG_NUMOFDEVICES"));
        devicename = reinterpret_cast<decltype(devicename)>(dlsym(library, "PLUG_DEVICENAME"));
        setrealtime = reinterpret_cast<decltype(setrealtime)>(dlsym(library, "PLUG_SETREALTIME"));
        getstats = reinterpret_cast<decltype(getstats)>(dlsym(library, "PLUG_GETSTATS"));
    }
    ~Entries() {
        if (library != nullptr) dlclose(library);
    }
    bool complete() const { return isany && init && start && stop && exit && error; }
};

std::atomic<int> g_fills{0};
std::atomic<int> g_bad_fills{0};
PlugoutRecord *g_expected = nullptr;

void counting_fill(PlugoutRecord *record) {
    if (record != g_expected || record->buffer == nullptr || record->buffer_size != 256 * 4)
        g_bad_fills.fetch_add(1);
    else
        std::memset(record->buffer, 0, static_cast<size_t>(record->buffer_size));
    g_fills.fetch_add(1);
}

PlugoutRecord request(int32_t rate, int32_t channels, int32_t frames, int32_t bits = 16) {
    PlugoutRecord record;
    std::memset(&record, 0, sizeof(record));
    record.rate = rate;
    record.channels = channels;
    record.frames = frames;
    record.buffers = 3;
    record.bits = bits;
    record.device = -1;
    record.fill = counting_fill;
    return record;
}

// Every plug-in on a device it can always have: null as it is, wav with
// ZYN_WAV_OUT, alsa with a configuration whose default PCM is a file, pulse
// with a private server.
class PluginContract : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(plugin_built(GetParam())) << GetParam() << " was configured but not built";
        setenv("ZYN_WAV_OUT", dir_.file("contract.wav").c_str(), 1);
        const std::string config = dir_.file("asound.conf");
        FILE *out = std::fopen(config.c_str(), "w");
        ASSERT_NE(out, nullptr);
        std::fprintf(out, "pcm.!default { type file slave.pcm { type null } file \"%s\" format \"raw\" }\n",
                     dir_.file("alsa.raw").c_str());
        std::fclose(out);
        setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
        if (GetParam() == "plug-pulse.so") {
            const std::string why = pulse_.start();
            if (!why.empty()) GTEST_SKIP() << "no PulseAudio server for this test: " << why;
        }
    }
    TempDir dir_;
    PulseServer pulse_{dir_.path()};
};

}  // namespace

TEST(PluginExports, EachPluginExportsExactlyTheEntries) {
    const std::set<std::string> entries = {
        "PLUG_ISANY",        "PLUG_INIT",       "PLUG_START",       "PLUG_STOP",     "PLUG_EXIT",
        "PLUG_ERROR",        "PLUG_NUMOFDEVICES", "PLUG_DEVICENAME", "PLUG_SETREALTIME", "PLUG_GETSTATS"};
    for (const std::string &file : configured_plugins()) {
        ASSERT_TRUE(plugin_built(file)) << file << " was configured but not built";
        const std::string command = "nm -D --defined-only " + std::string(ZYN_PLUGIN_DIR) + file;
        FILE *pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::set<std::string> exported;
        char line[1024];
        while (std::fgets(line, sizeof(line), pipe) != nullptr) {
            char address[64], type[8], name[512];
            if (std::sscanf(line, "%63s %7s %511s", address, type, name) == 3) exported.insert(name);
        }
        EXPECT_EQ(pclose(pipe), 0) << command;
        EXPECT_EQ(exported, entries) << file;
    }
}

TEST_P(PluginContract, RefusesWhatItCannotServeAndSaysWhy) {
    Entries plugin(GetParam());
    ASSERT_TRUE(plugin.complete()) << dlerror();
    const PlugoutRecord refused[] = {request(44100, 2, 256, 8), request(44100, 2, 256, 24),
                                     request(44100, 0, 256),    request(44100, 3, 256),
                                     request(0, 2, 256),        request(-44100, 2, 256),
                                     request(44100, 2, 0),      request(44100, 2, -5),
                                     request(44100, 2, 1 << 30)};
    for (PlugoutRecord record : refused) {
        EXPECT_EQ(plugin.init(&record), 0) << record.rate << " Hz, " << record.channels << " ch, "
                                           << record.frames << " frames, " << record.bits << " bits";
        EXPECT_GT(std::strlen(plugin.error()), 10u);
        EXPECT_EQ(plugin.start(), 0) << "nothing is open after a refusal";
    }
    PlugoutRecord no_fill = request(44100, 2, 256);
    no_fill.fill = nullptr;
    EXPECT_EQ(plugin.init(&no_fill), 0);
    EXPECT_EQ(plugin.exit(), 1);
}

TEST_P(PluginContract, CompletesTheRecordForMonoAndStereo) {
    Entries plugin(GetParam());
    ASSERT_TRUE(plugin.complete());
    for (int32_t channels : {1, 2}) {
        PlugoutRecord record = request(22050, channels, 300);
        ASSERT_EQ(plugin.init(&record), 1) << plugin.error();
        EXPECT_GT(std::strlen(record.name), 0u);
        EXPECT_LT(std::strlen(record.name), sizeof(record.name));
        EXPECT_GT(std::strlen(record.device_name), 0u);
        EXPECT_LT(std::strlen(record.device_name), sizeof(record.device_name));
        EXPECT_EQ(record.frame_size, 2 * channels);
        EXPECT_EQ(record.buffer_size, 300 * 2 * channels);
        EXPECT_EQ(record.is_signed, 1);
        EXPECT_EQ(record.rate, 22050);
        EXPECT_EQ(record.channels, channels);
        EXPECT_STREQ(plugin.error(), "");
        EXPECT_EQ(plugin.exit(), 1);
    }
}

TEST_P(PluginContract, SurvivesEveryOrderOfEntries) {
    Entries plugin(GetParam());
    ASSERT_TRUE(plugin.complete());
    EXPECT_EQ(plugin.stop(), 1);
    EXPECT_EQ(plugin.exit(), 1);
    EXPECT_EQ(plugin.start(), 0);
    EXPECT_GT(std::strlen(plugin.error()), 0u);

    PlugoutRecord record = request(44100, 2, 256);
    g_expected = &record;
    ASSERT_EQ(plugin.init(&record), 1) << plugin.error();
    EXPECT_EQ(plugin.exit(), 1) << "initialised, never started";
    ASSERT_EQ(plugin.init(&record), 1);
    ASSERT_EQ(plugin.init(&record), 1) << "a second init reopens";

    g_fills = 0;
    g_bad_fills = 0;
    EXPECT_EQ(plugin.start(), 1);
    EXPECT_EQ(plugin.start(), 1) << "starting twice keeps one thread";
    for (int waited = 0; g_fills.load() < 3 && waited < 5000; waited += 10) sleep_ms(10);
    EXPECT_EQ(plugin.stop(), 1);
    const int after_stop = g_fills.load();
    EXPECT_GE(after_stop, 3);
    EXPECT_EQ(g_bad_fills.load(), 0) << "every fill gets the record, a block and its size";
    sleep_ms(100);
    EXPECT_EQ(g_fills.load(), after_stop) << "no fill after PLUG_STOP returned";
    EXPECT_EQ(plugin.stop(), 1);

    EXPECT_EQ(plugin.start(), 1) << "restart after a stop";
    for (int waited = 0; g_fills.load() < after_stop + 2 && waited < 5000; waited += 10) sleep_ms(10);
    EXPECT_GE(g_fills.load(), after_stop + 2);
    EXPECT_EQ(plugin.exit(), 1) << "exit while running";
    const int after_exit = g_fills.load();
    sleep_ms(50);
    EXPECT_EQ(g_fills.load(), after_exit);
    EXPECT_EQ(plugin.exit(), 1);
    EXPECT_EQ(plugin.stop(), 1);
}

TEST_P(PluginContract, ListsItsDevicesAndTellsItsFigures) {
    Entries plugin(GetParam());
    ASSERT_TRUE(plugin.complete());
    ASSERT_TRUE(plugin.numofdevices && plugin.devicename && plugin.setrealtime && plugin.getstats);
    const int32_t count = plugin.numofdevices();
    ASSERT_GE(count, 1);
    char name[300];
    EXPECT_EQ(plugin.devicename(0, name, sizeof(name)), 1);
    EXPECT_GT(std::strlen(name), 0u);
    const struct {
        int32_t index;
        int32_t size;
        int32_t result;
    } names[] = {{count, sizeof(name), 0}, {-1, sizeof(name), 0}, {0, 0, 0}, {0, 1, 1}, {0, 3, 1}};
    for (const auto &c : names) {
        std::memset(name, 'x', sizeof(name));
        EXPECT_EQ(plugin.devicename(c.index, name, c.size), c.result) << c.index << ", " << c.size;
        if (c.size > 0) {
            EXPECT_LT(std::strlen(name), static_cast<size_t>(c.size)) << "cut to the size given";
        }
    }
    EXPECT_EQ(plugin.devicename(0, nullptr, 10), 0);

    PlugoutRecord record = request(44100, 2, 256);
    record.device = count;
    EXPECT_EQ(plugin.init(&record), 0) << "an index past the listing";
    EXPECT_NE(std::string(plugin.error()).find("no device"), std::string::npos) << plugin.error();
    record.device = 0;
    g_expected = &record;
    ASSERT_EQ(plugin.init(&record), 1) << plugin.error();

    PlugoutStats stats;
    EXPECT_EQ(plugin.getstats(nullptr), 0);
    stats.size = 3;
    EXPECT_EQ(plugin.getstats(&stats), 0);
    stats.size = sizeof(stats);
    ASSERT_EQ(plugin.getstats(&stats), 1);
    EXPECT_EQ(stats.connected, 0) << "not started";
    EXPECT_EQ(plugin.setrealtime(0), 1);
    g_fills = 0;
    ASSERT_EQ(plugin.start(), 1);
    for (int waited = 0; g_fills.load() < 3 && waited < 5000; waited += 10) sleep_ms(10);
    ASSERT_EQ(plugin.getstats(&stats), 1);
    EXPECT_EQ(stats.connected, 1);
    EXPECT_EQ(stats.realtime, 0) << "none asked";
    EXPECT_EQ(stats.reconnects, 0);
    EXPECT_GE(stats.device_latency_us, 0);
    EXPECT_EQ(plugin.stop(), 1);
    ASSERT_EQ(plugin.getstats(&stats), 1);
    EXPECT_EQ(stats.connected, 0);
    EXPECT_EQ(plugin.exit(), 1);
}

INSTANTIATE_TEST_SUITE_P(Plugins, PluginContract,
                         ::testing::ValuesIn(configured_plugins()),
                         [](const ::testing::TestParamInfo<std::string> &param) {
                             const std::string name = param.param.substr(5);
                             return name.substr(0, name.find('.'));
                         });
