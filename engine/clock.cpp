#include "clock.h"

#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "zyn.h"

namespace zyn {

int64_t next_block_frame() {
    const EngineState &e = engine();
    return inside_fill() ? e.block_end : e.clock.load(std::memory_order_relaxed);
}

void reset_clock() {
    EngineState &e = engine();
    e.clock.store(0, std::memory_order_relaxed);
    e.block_end = 0;
}

}  // namespace zyn

using namespace zyn;

extern "C" int32_t ZYN_GET_CLOCK(int64_t *frames) {
    if (frames == nullptr) return fail_null("ZYN_GET_CLOCK", "frames");
    const EngineState &e = engine();
    if (e.initialized.load() == 0) return fail_not_initialised();
    *frames = e.clock.load(std::memory_order_relaxed);
    return 1;
}
