// What an output plug-in brings of its own. The six PLUG_ entries
// (plugout_entries.cpp) are the same for every plug-in: they check the
// record, run the output thread and keep the last error, and reach the
// plug-in's device through the kPlugin it defines.
#pragma once

#include "device_list.h"
#include "zyn_plugout.h"

namespace zyn::plugout {

struct PluginDevice {
    // Starts every message: "ALSA: cannot open ...".
    const char *name = "";
    // The record's name, also left by PLUG_ISANY so that the engine knows it
    // before a device is open: "ALSA".
    const char *title = "";
    // PLUG_ISANY: whether the device can serve now; null: always.
    bool (*available)() = nullptr;
    // PLUG_NUMOFDEVICES: adds the devices it can open now, the default
    // first; null: one device, "default".
    void (*list_devices)(DeviceList &list) = nullptr;
    // PLUG_INIT, for a record of a served format with a fill routine: opens
    // chosen_device() (null: the default), allocates the block and completes
    // the record. On false the reason is in g_error, and close runs next.
    bool (*open)(PlugoutRecord &record) = nullptr;
    // PLUG_START, before the output thread starts; null: nothing to ready.
    bool (*prepare)() = nullptr;
    // The block loop, on the output thread, until g_thread is asked to stop.
    void (*run)() = nullptr;
    // PLUG_STOP: ends the loop (end_loop) and settles the device; null: only
    // ends the loop.
    void (*stop)() = nullptr;
    // Stops and releases everything open gave; safe in any state.
    void (*close)() = nullptr;
    // PLUG_ERROR's text made from the last error; null: that error.
    const char *(*report)(const char *last_error) = nullptr;
    // Whether PLUG_START asks for real-time priority for the output thread
    // (a real device; not a clock or a file).
    bool realtime = false;
};

extern const PluginDevice kPlugin;

}  // namespace zyn::plugout
