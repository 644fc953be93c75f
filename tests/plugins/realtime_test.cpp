// Real-time priority granted by rtkit, as on a desktop where a program may
// not raise its own threads: a private bus stands in for the system bus, a
// stand-in rtkit serves on it from a thread of this process, and the
// application thread gives up CAP_SYS_NICE so that the output thread cannot
// take SCHED_FIFO by itself. Also a bus that never answers and none at all.
#include "plugin_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dbus/dbus.h>
#include <filesystem>
#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace zyn_test;

namespace {

constexpr int32_t kMaxPriority = 4;
constexpr int64_t kRttimeUs = 200000;

// rtkit's side of the protocol: the two properties the plug-in reads and
// MakeThreadRealtime, granted the way rtkit grants it.
class StandInRtkit {
  public:
    ~StandInRtkit() { stop(); }
    bool start(const std::string &address) {
        thread_ = std::thread([this, address] { serve(address); });
        for (int waited = 0; waited < 5000 && ready_.load() == 0; waited += 10) sleep_ms(10);
        return ready_.load() == 1;
    }
    void stop() {
        stop_.store(1);
        if (thread_.joinable()) thread_.join();
    }
    pid_t granted_thread() const { return granted_thread_.load(); }
    int32_t granted_priority() const { return granted_priority_.load(); }

  private:
    void serve(const std::string &address) {
        DBusError error;
        dbus_error_init(&error);
        DBusConnection *bus = dbus_connection_open_private(address.c_str(), &error);
        if (bus == nullptr || !dbus_bus_register(bus, &error) ||
            dbus_bus_request_name(bus, "org.freedesktop.RealtimeKit1", DBUS_NAME_FLAG_DO_NOT_QUEUE, &error) !=
                DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
            ready_.store(-1);
            dbus_error_free(&error);
            if (bus != nullptr) {
                dbus_connection_close(bus);
                dbus_connection_unref(bus);
            }
            return;
        }
        ready_.store(1);
        while (stop_.load() == 0) {
            dbus_connection_read_write(bus, 20);
            while (DBusMessage *call = dbus_connection_pop_message(bus)) {
                if (DBusMessage *reply = answer(call)) {
                    dbus_connection_send(bus, reply, nullptr);
                    dbus_message_unref(reply);
                }
                dbus_message_unref(call);
            }
        }
        dbus_connection_flush(bus);
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
    }

    DBusMessage *answer(DBusMessage *call) {
        if (dbus_message_get_type(call) != DBUS_MESSAGE_TYPE_METHOD_CALL) return nullptr;
        if (dbus_message_is_method_call(call, "org.freedesktop.DBus.Properties", "Get")) {
            const char *interface = nullptr, *name = nullptr;
            dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                                  DBUS_TYPE_INVALID);
            DBusMessage *reply = dbus_message_new_method_return(call);
            DBusMessageIter outer, inner;
            dbus_message_iter_init_append(reply, &outer);
            if (name != nullptr && std::strcmp(name, "RTTimeUSecMax") == 0) {
                const dbus_int64_t value = kRttimeUs;
                dbus_message_iter_open_container(&outer, DBUS_TYPE_VARIANT, "x", &inner);
                dbus_message_iter_append_basic(&inner, DBUS_TYPE_INT64, &value);
            } else {
                const dbus_int32_t value = kMaxPriority;
                dbus_message_iter_open_container(&outer, DBUS_TYPE_VARIANT, "i", &inner);
                dbus_message_iter_append_basic(&inner, DBUS_TYPE_INT32, &value);
            }
            dbus_message_iter_close_container(&outer, &inner);
            return reply;
        }
        if (dbus_message_is_method_call(call, "org.freedesktop.RealtimeKit1", "MakeThreadRealtime")) {
            dbus_uint64_t thread = 0;
            dbus_uint32_t priority = 0;
            dbus_message_get_args(call, nullptr, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &priority,
                                  DBUS_TYPE_INVALID);
            rlimit limit{};
            getrlimit(RLIMIT_RTTIME, &limit);
            if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > static_cast<rlim_t>(kRttimeUs))
                return dbus_message_new_error(call, DBUS_ERROR_ACCESS_DENIED, "RLIMIT_RTTIME not set");
            if (priority > static_cast<dbus_uint32_t>(kMaxPriority))
                return dbus_message_new_error(call, DBUS_ERROR_INVALID_ARGS, "priority too high");
            sched_param param{};
            param.sched_priority = static_cast<int>(priority);
            if (sched_setscheduler(static_cast<pid_t>(thread), SCHED_FIFO | SCHED_RESET_ON_FORK, &param) != 0)
                return dbus_message_new_error(call, DBUS_ERROR_FAILED, std::strerror(errno));
            granted_thread_.store(static_cast<pid_t>(thread));
            granted_priority_.store(static_cast<int32_t>(priority));
            return dbus_message_new_method_return(call);
        }
        return dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_METHOD, "no such method");
    }

    std::thread thread_;
    std::atomic<int> ready_{0};
    std::atomic<int> stop_{0};
    std::atomic<pid_t> granted_thread_{0};
    std::atomic<int32_t> granted_priority_{0};
};

// Takes CAP_SYS_NICE out of the calling thread's effective set (threads it
// starts inherit that), and RLIMIT_RTPRIO to 0; all given back at the end.
class WithoutOwnRealtime {
  public:
    WithoutOwnRealtime() {
        getrlimit(RLIMIT_RTPRIO, &rtprio_);
        getrlimit(RLIMIT_RTTIME, &rttime_);
        rlimit none = rtprio_;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_RTPRIO, &none);
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof(reduced));
        reduced[0].effective &= ~(1u << CAP_SYS_NICE);
        syscall(SYS_capset, &header_, reduced);
    }
    ~WithoutOwnRealtime() {
        syscall(SYS_capset, &header_, saved_);
        setrlimit(RLIMIT_RTPRIO, &rtprio_);
        setrlimit(RLIMIT_RTTIME, &rttime_);
    }

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    rlimit rtprio_{}, rttime_{};
};

bool may_use_fifo() {
    sched_param param{};
    param.sched_priority = 1;
    const bool may = sched_setscheduler(0, SCHED_FIFO, &param) == 0;
    param.sched_priority = 0;
    sched_setscheduler(0, SCHED_OTHER, &param);
    return may;
}

bool is_own_thread(pid_t tid) { return std::filesystem::exists("/proc/self/task/" + std::to_string(tid)); }

}  // namespace

TEST(Realtime, GrantedByRtkitWhenTheProcessMayNotTakeIt) {
    if (!program_available("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
    TempDir dir;
    const std::string address = "unix:path=" + dir.file("bus");
    struct Daemon {
        pid_t pid;
        ~Daemon() { end_process(pid, SIGTERM); }
    } daemon{spawn({"dbus-daemon", "--session", "--nofork", "--address=" + address}, {})};
    ASSERT_GT(daemon.pid, 0);
    ASSERT_TRUE(wait_for(5000, [&] { return std::filesystem::exists(dir.file("bus")); }));
    StandInRtkit rtkit;
    ASSERT_TRUE(rtkit.start(address));
    // A socket that accepts and never speaks, and a path with nothing there.
    const std::string silent = dir.file("silent");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    std::snprintf(where.sun_path, sizeof(where.sun_path), "%s", silent.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&where), sizeof(where)), 0);
    ASSERT_EQ(listen(listener, 16), 0);

    replace_file(dir.file("asound.conf"), "pcm_type.zyntest { lib \"" ZYN_ALSA_TEST_PCM "\" }\n"
                                          "pcm.!default { type zyntest folder \"" + dir.path() + "\" }\n");
    setenv("ALSA_CONFIG_PATH", dir.file("asound.conf").c_str(), 1);
    PluginFolder folder({"plug-alsa.so", "plug-null.so"});
    ZYN_SET_PLUGPATH(folder.path().c_str());
    const struct {
        std::string bus;
        int32_t runs_at;
    } cases[] = {{address, kMaxPriority}, {"unix:path=" + silent, 0}, {"unix:path=" + dir.file("nobody"), 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bus);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", c.bus.c_str(), 1);
        WithoutOwnRealtime without;
        ASSERT_FALSE(may_use_fifo()) << "the test could not take away the right to SCHED_FIFO";
        ZYN_SET_REALTIME(10);
        const int64_t start = now_ns();
        ASSERT_EQ(ZYN_INIT(44100, 2, 3, 441, -1), 1);
        EXPECT_LT(seconds_since(start), 3.0) << "a bus that does not answer is given up";
        ASSERT_STREQ(ZYN_GET_PLUGNAME(), "ALSA");
        EXPECT_EQ(output_stats().realtime, c.runs_at);
        if (c.runs_at > 0) {
            EXPECT_TRUE(is_own_thread(rtkit.granted_thread()));
            rlimit limit{};
            getrlimit(RLIMIT_RTTIME, &limit);
            EXPECT_LE(limit.rlim_max, static_cast<rlim_t>(kRttimeUs)) << "rtkit's condition was met";
        } else {
            EXPECT_NE(std::string(ZYN_GET_PLUGERROR()).find("rtkit"), std::string::npos) << ZYN_GET_PLUGERROR();
        }
        EXPECT_EQ(ZYN_EXIT(), 1);
    }
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    close(listener);
}
