#include "plugin_output.h"

namespace zyn::plugout {

ErrorText g_error;
OutputThread g_thread;
BlockClock g_clock;
PlugoutRecord *g_record = nullptr;
OutputFigures g_figures;
std::atomic<int32_t> g_priority{0};

void OutputFigures::reset() {
    connected.store(0);
    realtime.store(0);
    latency_us.store(-1);
    underruns.store(0);
    reconnects.store(0);
}

void fill_block(void *block) {
    g_record->buffer = block;
    g_record->fill(g_record);
}

void run_paced(void *block) {
    g_clock.start(g_record->frames, g_record->rate, 0);
    while (g_clock.pace(g_thread.stop_flag())) fill_block(block);
}

bool end_loop(void (*wake)()) {
    if (!g_thread.running()) return false;
    g_thread.request_stop();
    if (wake != nullptr) wake();
    g_thread.join();
    return true;
}

}  // namespace zyn::plugout
