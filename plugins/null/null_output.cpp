// plug-null.so: an output without a device. Its thread asks for one block per
// block period of real time and discards it, so that a machine without sound
// still runs every program at its true pace.
#include "plugin_device.h"
#include "plugin_output.h"
#include "record_format.h"

#include <cstdlib>

namespace {

using namespace zyn::plugout;

void *g_block = nullptr;

bool open_output(PlugoutRecord &record) {
    complete_record(record, "Null output", "real-time clock (no device)");
    g_block = std::calloc(1, static_cast<size_t>(record.buffer_size));
    if (g_block == nullptr) {
        g_error.set("null output: cannot allocate a block of %d bytes", record.buffer_size);
        return false;
    }
    return true;
}

void run_output() {
    g_figures.latency_us.store(0);
    g_figures.connected.store(1);
    run_paced(g_block);
}

void close_output() {
    end_loop();
    std::free(g_block);
    g_block = nullptr;
}

}  // namespace

const PluginDevice zyn::plugout::kPlugin = {
    .name = "null output",
    .title = "Null output",
    .open = open_output,
    .run = run_output,
    .close = close_output,
};
