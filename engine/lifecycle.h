// Lifecycle helpers shared inside the engine.
#pragma once

#include "engine_state.h"

#include <chrono>

namespace zyn {

// How long ZYN_EXIT waits after PLUG_EXIT before it unloads the plug-in
// libraries (500 ms unless changed). Only a host that knows its plug-in
// leaves nothing running after PLUG_EXIT (the fixtures of a fuzzer cycling
// the engine thousands of times) has a reason to shorten it.
void set_unload_grace(std::chrono::milliseconds grace);

// True when a device could have the format; else records why not, naming
// operation.
bool device_format_usable(const char *operation, int32_t rate, int32_t channels, int32_t frames);

// Closes the open plug-in's device, keeping waves, sounds and groups (a
// re-opening ZYN_INIT, ZYN_INIT_RENDER). Caller holds the control lock and
// not the engine lock.
void close_open_device();

// Writes every routine slot from the column of the device's channel count
// (1 = mono, anything else = stereo). Caller holds the engine lock.
void fill_routine_slots(RoutineSlots &slots, int32_t channels);

}  // namespace zyn
