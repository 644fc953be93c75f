// The PLUG_ entries of every output plug-in, around its own device.
#include "device_list.h"
#include "plugin_device.h"
#include "plugin_output.h"
#include "realtime.h"
#include "record_format.h"

#include <cstring>

namespace {

using namespace zyn::plugout;

void *output_thread_body(void *) {
    kPlugin.run();
    return nullptr;
}

void close_output() {
    kPlugin.close();
    g_figures.connected.store(0);
    g_figures.realtime.store(0);
    g_record = nullptr;
}

// Asked from the application's thread once the output thread runs, so that
// the output never waits on the system bus.
void raise_output_priority() {
    const int32_t priority = g_priority.load();
    if (!kPlugin.realtime || priority < 1) return;
    const pid_t tid = g_thread.kernel_id();
    if (tid == 0) return;
    char why[224] = "";
    const int32_t granted = raise_priority(tid, priority, why, sizeof(why));
    g_figures.realtime.store(granted);
    if (granted == 0)
        g_error.set("%s: real-time priority %d refused (%s); the output runs at normal priority",
                    kPlugin.name, priority, why);
}

}  // namespace

extern "C" {

ZYN_PLUGOUT_EXPORT int32_t PLUG_ISANY(PlugoutRecord *record) {
    if (record != nullptr) copy_field(record->name, kPlugin.title);
    return kPlugin.available == nullptr || kPlugin.available() ? 1 : 0;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_INIT(PlugoutRecord *record) {
    close_output();
    if (record == nullptr || !accept_format(*record, kPlugin.name, g_error)) return 0;
    if (record->fill == nullptr) {
        g_error.set("%s: no fill routine given", kPlugin.name);
        return 0;
    }
    if (!choose_device(record->device)) return 0;
    g_figures.reset();
    g_record = record;
    if (!kPlugin.open(*record)) {
        close_output();
        return 0;
    }
    g_error.clear();
    return 1;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_START(void) {
    if (g_record == nullptr) {
        g_error.set("%s: started before PLUG_INIT", kPlugin.name);
        return 0;
    }
    if (g_thread.running()) return 1;
    if (kPlugin.prepare != nullptr && !kPlugin.prepare()) return 0;
    if (!g_thread.start(output_thread_body, nullptr, g_error)) return 0;
    raise_output_priority();
    return 1;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_STOP(void) {
    if (kPlugin.stop != nullptr)
        kPlugin.stop();
    else
        end_loop();
    g_figures.connected.store(0);
    g_figures.realtime.store(0);
    return 1;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_EXIT(void) {
    close_output();
    return 1;
}

ZYN_PLUGOUT_EXPORT const char *PLUG_ERROR(void) {
    const char *error = g_error.read();
    return kPlugin.report != nullptr ? kPlugin.report(error) : error;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_NUMOFDEVICES(void) { return list_devices(); }

ZYN_PLUGOUT_EXPORT int32_t PLUG_DEVICENAME(int32_t index, char *name, int32_t size) {
    return copy_device_name(index, name, size) ? 1 : 0;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_SETREALTIME(int32_t priority) {
    g_priority.store(priority < 0 ? 0 : priority > 99 ? 99 : priority);
    return 1;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_GETSTATS(PlugoutStats *stats) {
    if (stats == nullptr || stats->size < static_cast<int32_t>(sizeof(int32_t))) return 0;
    PlugoutStats now;
    std::memset(&now, 0, sizeof(now));
    now.size = stats->size;
    now.connected = g_figures.connected.load();
    now.realtime = g_figures.realtime.load();
    now.device_latency_us = g_figures.latency_us.load();
    now.underruns = g_figures.underruns.load();
    now.reconnects = g_figures.reconnects.load();
    const size_t fits = static_cast<size_t>(stats->size) < sizeof(now) ? static_cast<size_t>(stats->size)
                                                                        : sizeof(now);
    std::memcpy(stats, &now, fits);
    return 1;
}

}  // extern "C"
