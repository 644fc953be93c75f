// Lifecycle helpers shared inside the engine.
#pragma once

#include "engine_state.h"

namespace zyn {

// Writes every routine slot from the column of the device's channel count
// (1 = mono, anything else = stereo). Caller holds the engine lock.
void fill_routine_slots(RoutineSlots &slots, int32_t channels);

}  // namespace zyn
