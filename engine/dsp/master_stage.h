// The master stage: summing of the blocks of one fill, master volume and the
// ten peaking-filter bands.
#pragma once

#include "engine_state.h"

#include <cstdint>

namespace zyn {

// Sums count blocks into dst through the kernel_mix slot, saturating after
// every added block, in list order. Does nothing for count < 2.
void mix_buffers(const RoutineSlots &slots, int16_t *dst, int16_t *const *buffers, int32_t count,
                 int32_t bytes);

}  // namespace zyn
