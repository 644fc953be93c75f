// Choosing the output: a plug-in by name, a device from its listing, the
// output thread's priority, and the figures of the open output.
#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "plugin_host.h"

#include <cstring>
#include <mutex>
#include <string>

using namespace zyn;

namespace {

// Longest plug-in name ZYN_SET_PLUGNAME takes: a file name's limit.
constexpr size_t kLongestPlugName = 255;
// Longest device name asked of a plug-in.
constexpr int32_t kLongestDeviceName = 1024;

// Well-formed UTF-8: no stray continuation bytes, overlong forms,
// surrogates or code points past U+10FFFF.
bool valid_utf8(const unsigned char *text) {
    while (*text != 0) {
        const unsigned char lead = *text++;
        if (lead < 0x80) continue;
        int more = 0;
        uint32_t point = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
            point = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            point = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            point = lead & 0x07u;
        } else {
            return false;
        }
        for (int i = 0; i < more; ++i, ++text) {
            if ((*text & 0xC0u) != 0x80u) return false;
            point = point << 6 | (*text & 0x3Fu);
        }
        if ((more == 2 && point < 0x800) || (more == 3 && point < 0x10000) || point > 0x10FFFF ||
            (point >= 0xD800 && point <= 0xDFFF))
            return false;
    }
    return true;
}

// Finds the plug-ins when no search has yet, and names the row whose
// devices are listed; -1 with the reason recorded. Caller holds the control lock.
int32_t listing_row() {
    if (engine().plugout_count < 1) discover_plugouts();
    return listing_plugout();
}

// Fills what fits of size bytes, keeping the caller's size.
void copy_fitting(ZynOutputStats *stats, const ZynOutputStats &now) {
    const size_t fits = static_cast<size_t>(stats->size) < sizeof(now) ? static_cast<size_t>(stats->size)
                                                                        : sizeof(now);
    const int32_t size = stats->size;
    std::memcpy(stats, &now, fits);
    stats->size = size;
}

}  // namespace

extern "C" {

int32_t ZYN_SET_PLUGNAME(const char *name) {
    if (inside_fill()) return fail_in_callback("ZYN_SET_PLUGNAME");
    std::string chosen;
    if (name != nullptr && name[0] != '\0') {
        const size_t length = strnlen(name, kLongestPlugName + 1);
        if (length > kLongestPlugName)
            return fail("ZYN_SET_PLUGNAME: a name of more than %zu bytes names no plug-in", kLongestPlugName);
        if (!valid_utf8(reinterpret_cast<const unsigned char *>(name)))
            return fail("ZYN_SET_PLUGNAME: the name is not valid UTF-8");
        chosen = name;
    }
    EngineLock hold(engine().lock);
    engine().plug_name.swap(chosen);
    return 1;
}

int32_t ZYN_GET_NUMOFDEVICES(void) {
    if (inside_fill()) return fail_in_callback("ZYN_GET_NUMOFDEVICES");
    const ControlLock control(engine().control);
    const int32_t row = listing_row();
    if (row < 0) return 0;
    if (!plugout_lists_devices(row)) return 1;
    const int32_t count = call_plug_numofdevices(row);
    return count > 0 ? count : 0;
}

const char *ZYN_GET_DEVICENAME(int32_t index) {
    static thread_local std::string text;
    text.clear();
    if (inside_fill()) {
        fail_in_callback("ZYN_GET_DEVICENAME");
        return "";
    }
    const ControlLock control(engine().control);
    const int32_t row = listing_row();
    if (row < 0) return "";
    if (!plugout_lists_devices(row)) {
        if (index == 0) return "default";
        fail("ZYN_GET_DEVICENAME: the plug-in has one device, 0, not %d", index);
        return "";
    }
    char name[kLongestDeviceName];
    if (index < 0 || call_plug_devicename(row, index, name, sizeof(name)) != 1) {
        fail("ZYN_GET_DEVICENAME: no device %d in the plug-in's last listing", index);
        return "";
    }
    name[sizeof(name) - 1] = '\0';
    text = name;
    return text.c_str();
}

int32_t ZYN_SET_REALTIME(int32_t priority) {
    engine().realtime_priority.store(priority < 0 ? 0 : priority > 99 ? 99 : priority);
    return 1;
}

int32_t ZYN_GET_OUTPUTSTATS(ZynOutputStats *stats) {
    if (stats == nullptr) return fail_null("ZYN_GET_OUTPUTSTATS", "stats");
    if (stats->size < static_cast<int32_t>(sizeof(int32_t)))
        return fail("ZYN_GET_OUTPUTSTATS: stats->size is %d; set it to sizeof(ZynOutputStats)", stats->size);
    EngineState &e = engine();
    // As ZYN_GET_PLUGERROR: the library stays loaded until the plug-in has
    // answered, and inside a fill the device cannot close.
    std::unique_lock<std::recursive_mutex> control(e.control, std::defer_lock);
    if (!inside_fill()) control.lock();
    int32_t row = -1;
    double queue_ms = 0.0;
    {
        EngineLock hold(e.lock);
        const PlugoutRecord *open = open_plugout();
        if (open == nullptr) return fail("ZYN_GET_OUTPUTSTATS: no device is open");
        row = e.plugout_index;
        if (open->rate > 0) queue_ms = 1000.0 * open->buffers * open->frames / open->rate;
    }
    ZynOutputStats now;
    std::memset(&now, 0, sizeof(now));
    now.size = static_cast<int32_t>(sizeof(now));
    PlugoutStats device;
    std::memset(&device, 0, sizeof(device));
    device.size = static_cast<int32_t>(sizeof(device));
    if (call_plug_getstats(row, &device) == 1) {
        now.connected = device.connected != 0 ? 1 : 0;
        now.realtime = device.realtime;
        now.underruns = device.underruns;
        now.reconnects = device.reconnects;
        // zyn keeps no queue of its own: a block goes to the device as soon
        // as it is mixed.
        if (now.connected == 1)
            now.latency_ms = device.device_latency_us >= 0 ? static_cast<float>(device.device_latency_us / 1000.0)
                                                           : static_cast<float>(queue_ms);
    } else {
        // What the engine knows of a plug-in that tells nothing: whether it
        // runs, and the queue asked of it.
        now.connected = e.plug_running.load();
        if (now.connected == 1) now.latency_ms = static_cast<float>(queue_ms);
    }
    copy_fitting(stats, now);
    return 1;
}

}  // extern "C"
