// The benchmark's output plug-in: it opens no device and runs no thread. The
// benchmark pumps one fill at a time through bench_pump(), so each block is
// mixed the moment it is asked for and nothing paces or copies it.
#include "zyn_plugout.h"

#include <cstdio>

namespace {
PlugoutRecord *g_record = nullptr;
char g_error[96] = "";
}  // namespace

// Entries are exported under their plain names; the C++ names stay private.
#define ENTRY(name) __asm__(#name)

extern "C" {

ZYN_PLUGOUT_EXPORT int32_t pump_isany(PlugoutRecord *record) ENTRY(PLUG_ISANY);
ZYN_PLUGOUT_EXPORT int32_t pump_init(PlugoutRecord *record) ENTRY(PLUG_INIT);
ZYN_PLUGOUT_EXPORT int32_t pump_start(void) ENTRY(PLUG_START);
ZYN_PLUGOUT_EXPORT int32_t pump_stop(void) ENTRY(PLUG_STOP);
ZYN_PLUGOUT_EXPORT int32_t pump_exit(void) ENTRY(PLUG_EXIT);
ZYN_PLUGOUT_EXPORT const char *pump_error(void) ENTRY(PLUG_ERROR);

int32_t pump_isany(PlugoutRecord *) { return 1; }

int32_t pump_init(PlugoutRecord *record) {
    if (record->bits != 16 || record->channels < 1 || record->channels > 2 || record->rate < 1 ||
        record->frames < 1) {
        std::snprintf(g_error, sizeof(g_error), "bench pump cannot serve %d Hz x %d", record->rate,
                      record->channels);
        return 0;
    }
    std::snprintf(record->name, sizeof(record->name), "bench pump");
    std::snprintf(record->device_name, sizeof(record->device_name), "none");
    record->frame_size = 2 * record->channels;
    record->buffer_size = record->frames * record->frame_size;
    record->is_signed = 1;
    g_record = record;
    g_error[0] = '\0';
    return 1;
}

int32_t pump_start(void) { return 1; }
int32_t pump_stop(void) { return 1; }
int32_t pump_exit(void) {
    g_record = nullptr;
    return 1;
}
const char *pump_error(void) { return g_error; }

// One fill of buffer_size bytes into block; 0 when no device is open.
ZYN_PLUGOUT_EXPORT int32_t bench_pump(void *block) {
    if (g_record == nullptr) return 0;
    g_record->buffer = block;
    g_record->fill(g_record);
    return g_record->buffer_size;
}

}  // extern "C"
