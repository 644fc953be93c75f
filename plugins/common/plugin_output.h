// The output a plug-in runs, shared by the PLUG_ entries and the plug-in's
// own code: the last error, the output thread, the pacing clock and the
// record served. Plain globals: the engine may call PLUG_EXIT from its own
// finaliser, after which nothing here may run a destructor.
#pragma once

#include "block_clock.h"
#include "error_text.h"
#include "output_thread.h"
#include "zyn_plugout.h"

namespace zyn::plugout {

extern ErrorText g_error;
extern OutputThread g_thread;
extern BlockClock g_clock;
extern PlugoutRecord *g_record;  // while open

// What PLUG_GETSTATS reports: written by the output thread and the entries,
// read from any thread.
struct OutputFigures {
    std::atomic<int32_t> connected{0};
    std::atomic<int32_t> realtime{0};
    std::atomic<int64_t> latency_us{-1};
    std::atomic<int64_t> underruns{0};
    std::atomic<int64_t> reconnects{0};
    // PLUG_INIT starts the counts afresh.
    void reset();
};
extern OutputFigures g_figures;
// PLUG_SETREALTIME's priority, used from the next PLUG_START.
extern std::atomic<int32_t> g_priority;

// Points the record at block and has the engine fill it.
void fill_block(void *block);

// Fills and discards a block per block period of real time until the
// thread is asked to stop: with no device, or after the device was lost,
// the program still runs at its true pace.
void run_paced(void *block);

// Asks the block loop to stop, wakes it (wake, when given) from whatever it
// blocks on, and joins it. False when it was not running.
bool end_loop(void (*wake)() = nullptr);

}  // namespace zyn::plugout
