// The six PLUG_ entries of every output plug-in, around its own device.
#include "plugin_device.h"
#include "plugin_output.h"
#include "record_format.h"

namespace {

using namespace zyn::plugout;

void *output_thread_body(void *) {
    kPlugin.run();
    return nullptr;
}

void close_output() {
    kPlugin.close();
    g_record = nullptr;
}

}  // namespace

extern "C" {

ZYN_PLUGOUT_EXPORT int32_t PLUG_ISANY(PlugoutRecord *) {
    return kPlugin.available == nullptr || kPlugin.available() ? 1 : 0;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_INIT(PlugoutRecord *record) {
    close_output();
    if (record == nullptr || !accept_format(*record, kPlugin.name, g_error)) return 0;
    if (record->fill == nullptr) {
        g_error.set("%s: no fill routine given", kPlugin.name);
        return 0;
    }
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
    return g_thread.start(output_thread_body, nullptr, g_error) ? 1 : 0;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_STOP(void) {
    if (kPlugin.stop != nullptr)
        kPlugin.stop();
    else
        end_loop();
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

}  // extern "C"
