#include "master_stage.h"

namespace zyn {

void mix_buffers(const RoutineSlots &slots, int16_t *dst, int16_t *const *buffers, int32_t count,
                 int32_t bytes) {
    if (count < 2) return;
    slots.kernel_mix(dst, buffers[0], buffers[1], bytes);
    for (int32_t i = 2; i < count; ++i) slots.kernel_mix(dst, dst, buffers[i], bytes);
}

}  // namespace zyn
