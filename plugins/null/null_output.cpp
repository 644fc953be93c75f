// plug-null.so: an output without a device. Its thread asks for one block per
// block period of real time and discards it, so that a machine without sound
// still runs every program at its true pace.
#include "block_clock.h"
#include "error_text.h"
#include "output_thread.h"
#include "record_format.h"
#include "zyn_plugout.h"

#include <cstdlib>

namespace {

using namespace zyn::plugout;

// Plain globals: the engine may call PLUG_EXIT from its own finaliser, after
// which nothing here may run a destructor.
ErrorText g_error;
OutputThread g_thread;
BlockClock g_clock;
PlugoutRecord *g_record = nullptr;
void *g_block = nullptr;

void *run_output(void *) {
    g_clock.start(g_record->frames, g_record->rate, 0);
    while (g_clock.pace(g_thread.stop_flag())) {
        g_record->buffer = g_block;
        g_record->fill(g_record);
    }
    return nullptr;
}

void close_output() {
    g_thread.stop_and_join();
    std::free(g_block);
    g_block = nullptr;
    g_record = nullptr;
}

}  // namespace

extern "C" {

ZYN_PLUGOUT_EXPORT int32_t PLUG_ISANY(PlugoutRecord *) { return 1; }

ZYN_PLUGOUT_EXPORT int32_t PLUG_INIT(PlugoutRecord *record) {
    close_output();
    if (record == nullptr || !accept_format(*record, "null output", g_error)) return 0;
    if (record->fill == nullptr) {
        g_error.set("null output: no fill routine given");
        return 0;
    }
    complete_record(*record, "Null output", "real-time clock (no device)");
    g_block = std::calloc(1, static_cast<size_t>(record->buffer_size));
    if (g_block == nullptr) {
        g_error.set("null output: cannot allocate a block of %d bytes", record->buffer_size);
        return 0;
    }
    g_record = record;
    g_error.clear();
    return 1;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_START(void) {
    if (g_record == nullptr) {
        g_error.set("null output: started before PLUG_INIT");
        return 0;
    }
    return g_thread.start(run_output, nullptr, g_error) ? 1 : 0;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_STOP(void) {
    g_thread.stop_and_join();
    return 1;
}

ZYN_PLUGOUT_EXPORT int32_t PLUG_EXIT(void) {
    close_output();
    return 1;
}

ZYN_PLUGOUT_EXPORT const char *PLUG_ERROR(void) { return g_error.read(); }

}  // extern "C"
