#include "rtkit.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dbus/dbus.h>
#include <dlfcn.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zyn::plugout {

namespace {

// libdbus is opened at run time, so that a plug-in loads (and plays at normal
// priority) on a system without it. Opened once and never closed: libdbus
// keeps process-wide state.
struct DbusLibrary {
    bool loaded = false;
    decltype(&dbus_error_init) error_init;
    decltype(&dbus_error_free) error_free;
    decltype(&dbus_error_is_set) error_is_set;
    decltype(&dbus_connection_open_private) open_private;
    decltype(&dbus_connection_close) close;
    decltype(&dbus_connection_unref) unref;
    decltype(&dbus_message_new_method_call) new_method_call;
    decltype(&dbus_message_append_args) append_args;
    decltype(&dbus_connection_send_with_reply_and_block) send_and_block;
    decltype(&dbus_message_unref) message_unref;
    decltype(&dbus_message_iter_init) iter_init;
    decltype(&dbus_message_iter_get_arg_type) iter_arg_type;
    decltype(&dbus_message_iter_recurse) iter_recurse;
    decltype(&dbus_message_iter_get_basic) iter_get_basic;
};

DbusLibrary g_dbus;
pthread_once_t g_dbus_once = PTHREAD_ONCE_INIT;

template <typename Pointer>
bool bind(void *library, Pointer &pointer, const char *name) {
    pointer = reinterpret_cast<Pointer>(dlsym(library, name));
    return pointer != nullptr;
}

void load_dbus() {
    void *library = dlopen("libdbus-1.so.3", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    DbusLibrary &d = g_dbus;
    d.loaded = bind(library, d.error_init, "dbus_error_init") &&
               bind(library, d.error_free, "dbus_error_free") &&
               bind(library, d.error_is_set, "dbus_error_is_set") &&
               bind(library, d.open_private, "dbus_connection_open_private") &&
               bind(library, d.close, "dbus_connection_close") &&
               bind(library, d.unref, "dbus_connection_unref") &&
               bind(library, d.new_method_call, "dbus_message_new_method_call") &&
               bind(library, d.append_args, "dbus_message_append_args") &&
               bind(library, d.send_and_block, "dbus_connection_send_with_reply_and_block") &&
               bind(library, d.message_unref, "dbus_message_unref") &&
               bind(library, d.iter_init, "dbus_message_iter_init") &&
               bind(library, d.iter_arg_type, "dbus_message_iter_get_arg_type") &&
               bind(library, d.iter_recurse, "dbus_message_iter_recurse") &&
               bind(library, d.iter_get_basic, "dbus_message_iter_get_basic");
}

constexpr const char *kService = "org.freedesktop.RealtimeKit1";
constexpr const char *kPath = "/org/freedesktop/RealtimeKit1";

class Reason {
  public:
    Reason(char *text, size_t size) : text_(text), size_(size) {}
    void set(const char *format, ...) __attribute__((format(printf, 2, 3))) {
        if (text_ == nullptr || size_ == 0) return;
        va_list args;
        va_start(args, format);
        std::vsnprintf(text_, size_, format, args);
        va_end(args);
    }

  private:
    char *text_;
    size_t size_;
};

// The socket of the first unix: entry of a D-Bus address ("unix:path=/run/
// dbus/system_bus_socket"), its %XX escapes undone; false for none. An
// abstract socket's name starts with '\0' in path.
bool unix_socket_of(const char *address, sockaddr_un &socket_address, socklen_t &length) {
    std::string text = address;
    while (!text.empty()) {
        const size_t end = text.find(';');
        const std::string entry = text.substr(0, end);
        text = end == std::string::npos ? "" : text.substr(end + 1);
        if (entry.compare(0, 5, "unix:") != 0) continue;
        size_t at = 5;
        while (at < entry.size()) {
            const size_t comma = entry.find(',', at);
            const std::string pair = entry.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            at = comma == std::string::npos ? entry.size() : comma + 1;
            const bool abstract = pair.compare(0, 9, "abstract=") == 0;
            if (!abstract && pair.compare(0, 5, "path=") != 0) continue;
            std::string path = abstract ? std::string(1, '\0') : "";
            for (size_t i = abstract ? 9 : 5; i < pair.size(); ++i) {
                if (pair[i] == '%' && i + 2 < pair.size()) {
                    path += static_cast<char>(std::strtol(pair.substr(i + 1, 2).c_str(), nullptr, 16));
                    i += 2;
                } else {
                    path += pair[i];
                }
            }
            if (path.size() >= sizeof(socket_address.sun_path)) return false;
            socket_address = sockaddr_un{};
            socket_address.sun_family = AF_UNIX;
            std::memcpy(socket_address.sun_path, path.data(), path.size());
            length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
            return true;
        }
    }
    return false;
}

// libdbus waits without a timeout for a bus to authenticate it, so a bus
// that accepts and never answers would hold the caller for ever: the
// authentication is begun here first, and the bus must answer it in time.
bool bus_answers(const char *address, Reason &reason) {
    sockaddr_un where{};
    socklen_t length = 0;
    // Other transports are left to libdbus.
    if (!unix_socket_of(address, where, length)) return true;
    const int bus = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (bus < 0) return false;
    bool answered = false;
    if (connect(bus, reinterpret_cast<sockaddr *>(&where), length) == 0) {
        char hello[64];
        const int bytes = std::snprintf(hello, sizeof(hello), "%cAUTH EXTERNAL", '\0');
        std::string request(hello, static_cast<size_t>(bytes));
        request += " ";
        for (const char digit : std::to_string(getuid())) {
            char hex[3];
            std::snprintf(hex, sizeof(hex), "%02x", static_cast<unsigned char>(digit));
            request += hex;
        }
        request += "\r\n";
        pollfd wait{bus, POLLIN, 0};
        char reply[16];
        answered = send(bus, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()) &&
                   poll(&wait, 1, kRtkitTimeoutMs) == 1 && recv(bus, reply, sizeof(reply), 0) > 0;
        if (!answered) reason.set("rtkit: the system bus did not answer within %d ms", kRtkitTimeoutMs);
    } else {
        reason.set("rtkit: no system bus: %s", std::strerror(errno));
    }
    close(bus);
    return answered;
}

// One private connection to the system bus, closed at the end of the scope.
class Bus {
  public:
    explicit Bus(Reason &reason) : reason_(reason) { g_dbus.error_init(&error_); }
    ~Bus() {
        release_reply();
        g_dbus.error_free(&error_);
        if (connection_ != nullptr) {
            g_dbus.close(connection_);
            g_dbus.unref(connection_);
        }
    }
    Bus(const Bus &) = delete;
    Bus &operator=(const Bus &) = delete;

    // The bus's Hello is sent by hand rather than through dbus_bus_register,
    // which would wait 25 s for a bus that accepted and never answers.
    bool open() {
        const char *address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (address == nullptr || address[0] == '\0')
            address = "unix:path=/var/run/dbus/system_bus_socket";
        if (!bus_answers(address, reason_)) return false;
        connection_ = g_dbus.open_private(address, &error_);
        if (connection_ == nullptr) return failed("no system bus");
        DBusMessage *hello = g_dbus.new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", "Hello");
        return call(hello, "the system bus") != nullptr;
    }

    // Sends the call and waits for its reply (kept until the next call).
    DBusMessage *call(DBusMessage *message, const char *what) {
        if (message == nullptr) {
            reason_.set("rtkit: out of memory");
            return nullptr;
        }
        release_reply();
        reply_ = g_dbus.send_and_block(connection_, message, kRtkitTimeoutMs, &error_);
        g_dbus.message_unref(message);
        if (reply_ == nullptr) {
            failed(what);
            return nullptr;
        }
        return reply_;
    }

    // An integer property of rtkit; false when it has none of that name.
    bool property(const char *name, int64_t &value) {
        DBusMessage *get = g_dbus.new_method_call(kService, kPath, "org.freedesktop.DBus.Properties", "Get");
        const char *interface = kService;
        if (get != nullptr &&
            !g_dbus.append_args(get, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
            g_dbus.message_unref(get);
            get = nullptr;
        }
        DBusMessage *reply = call(get, name);
        if (reply == nullptr) return false;
        DBusMessageIter outer, inner;
        if (!g_dbus.iter_init(reply, &outer) || g_dbus.iter_arg_type(&outer) != DBUS_TYPE_VARIANT)
            return false;
        g_dbus.iter_recurse(&outer, &inner);
        switch (g_dbus.iter_arg_type(&inner)) {
            case DBUS_TYPE_INT32: {
                dbus_int32_t v = 0;
                g_dbus.iter_get_basic(&inner, &v);
                value = v;
                return true;
            }
            case DBUS_TYPE_INT64: {
                dbus_int64_t v = 0;
                g_dbus.iter_get_basic(&inner, &v);
                value = v;
                return true;
            }
            default: return false;
        }
    }

    bool make_thread_realtime(pid_t tid, int32_t priority) {
        DBusMessage *message = g_dbus.new_method_call(kService, kPath, kService, "MakeThreadRealtime");
        const dbus_uint64_t thread = static_cast<dbus_uint64_t>(tid);
        const dbus_uint32_t level = static_cast<dbus_uint32_t>(priority);
        if (message != nullptr && !g_dbus.append_args(message, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32,
                                                      &level, DBUS_TYPE_INVALID)) {
            g_dbus.message_unref(message);
            message = nullptr;
        }
        return call(message, "rtkit") != nullptr;
    }

  private:
    bool failed(const char *what) {
        if (g_dbus.error_is_set(&error_))
            reason_.set("rtkit: %s: %s", what, error_.message != nullptr ? error_.message : error_.name);
        else
            reason_.set("rtkit: %s did not answer", what);
        g_dbus.error_free(&error_);
        g_dbus.error_init(&error_);
        return false;
    }
    void release_reply() {
        if (reply_ != nullptr) g_dbus.message_unref(reply_);
        reply_ = nullptr;
    }

    Reason &reason_;
    DBusError error_;
    DBusConnection *connection_ = nullptr;
    DBusMessage *reply_ = nullptr;
};

// rtkit grants only to a process whose RLIMIT_RTTIME is at most its
// RTTimeUSecMax, so that a runaway real-time thread gets SIGXCPU and then
// SIGKILL instead of freezing the machine.
bool limit_rttime(int64_t most_us, Reason &reason) {
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    const rlim_t most = static_cast<rlim_t>(most_us);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= most) return true;
    limit.rlim_max = most;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > most) limit.rlim_cur = most;
    if (setrlimit(RLIMIT_RTTIME, &limit) != 0) {
        reason.set("rtkit: cannot limit RLIMIT_RTTIME to %lld us", static_cast<long long>(most_us));
        return false;
    }
    return true;
}

}  // namespace

bool rtkit_make_realtime(pid_t tid, int32_t priority, char *why, size_t why_size) {
    Reason reason(why, why_size);
    pthread_once(&g_dbus_once, load_dbus);
    if (!g_dbus.loaded) {
        reason.set("rtkit: libdbus-1.so.3 could not be loaded");
        return false;
    }
    Bus bus(reason);
    if (!bus.open()) return false;
    int64_t most = priority;
    if (bus.property("MaxRealtimePriority", most) && most < priority) priority = static_cast<int32_t>(most);
    if (priority < 1) {
        reason.set("rtkit: grants no real-time priority");
        return false;
    }
    // rtkit's own default when it does not say.
    int64_t rttime_us = 200000;
    bus.property("RTTimeUSecMax", rttime_us);
    if (rttime_us < 1 || !limit_rttime(rttime_us, reason)) return false;
    return bus.make_thread_realtime(tid, priority);
}

}  // namespace zyn::plugout
