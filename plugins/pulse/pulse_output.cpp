// plug-pulse.so: plays through a PulseAudio (or PipeWire-Pulse) server.
//
// The output thread owns the connection's main loop while output runs: it
// writes a block whenever the server has room for one and otherwise sleeps in
// poll until the server asks for more (or PLUG_STOP wakes it). If the server
// goes away the engine keeps running at real-time pace, silently, and
// PLUG_ERROR says what happened.
#include "plugin_device.h"
#include "plugin_output.h"
#include "pulse_connection.h"
#include "record_format.h"

#include <cstdio>
#include <cstdlib>

namespace {

using namespace zyn::plugout;

// Plain globals: the engine may call PLUG_EXIT from its own finaliser, after
// which nothing here may run a destructor.
PulseConnection g_connection;
pa_stream *g_stream = nullptr;
void *g_block = nullptr;
int64_t g_queue_ns = 0;  // duration of the queue asked for

// Longest poll of the output thread: bounds how late a stop is noticed
// should a wake-up ever be lost.
constexpr int64_t kLongestPollUs = 100000;

bool stream_alive() {
    return g_stream != nullptr &&
           pa_context_get_state(g_connection.context) == PA_CONTEXT_READY &&
           pa_stream_get_state(g_stream) == PA_STREAM_READY;
}

void report_lost() {
    g_error.set("PulseAudio: connection to the server lost (%s); output continues silently",
                pulse_error_text(g_connection.context));
}

void run_output() {
    const std::atomic<int> &stop = g_thread.stop_flag();
    const size_t block = static_cast<size_t>(g_record->buffer_size);
    bool lost = false;
    while (stop.load(std::memory_order_acquire) == 0) {
        if (!stream_alive()) {
            lost = true;
            break;
        }
        const size_t room = pa_stream_writable_size(g_stream);
        if (room != static_cast<size_t>(-1) && room >= block) {
            fill_block(g_block);
            if (pa_stream_write(g_stream, g_block, block, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                lost = true;
                break;
            }
            continue;
        }
        if (!pulse_iterate(g_connection.loop, kLongestPollUs)) {
            lost = true;
            break;
        }
    }
    if (!lost) return;
    report_lost();
    run_paced(g_block);
}

// Lets what is queued play out, within a deadline; drops it if that fails.
void drain_stream() {
    if (!stream_alive()) return;
    pa_operation *drain = pa_stream_drain(g_stream, nullptr, nullptr);
    if (drain == nullptr) return;
    const int64_t deadline = monotonic_ns() + 2 * g_queue_ns + 500000000;
    const bool drained = pulse_wait(g_connection.loop, deadline, [drain] {
        if (pa_operation_get_state(drain) != PA_OPERATION_RUNNING) return 1;
        return stream_alive() ? 0 : -1;
    });
    if (!drained) {
        pa_operation_cancel(drain);
        if (stream_alive()) {
            if (pa_operation *flush = pa_stream_flush(g_stream, nullptr, nullptr))
                pa_operation_unref(flush);
            pulse_iterate(g_connection.loop, 0);
        }
    }
    pa_operation_unref(drain);
}

void wake_output() { pa_mainloop_wakeup(g_connection.loop); }

void stop_output() {
    if (end_loop(wake_output)) drain_stream();
}

void close_output() {
    stop_output();
    if (g_stream != nullptr) {
        pa_stream_disconnect(g_stream);
        pa_stream_unref(g_stream);
        g_stream = nullptr;
    }
    pulse_disconnect(g_connection);
    std::free(g_block);
    g_block = nullptr;
}

bool open_stream(PlugoutRecord &record) {
    const pa_sample_spec spec{PA_SAMPLE_S16NE, static_cast<uint32_t>(record.rate),
                              static_cast<uint8_t>(record.channels)};
    if (!pa_sample_spec_valid(&spec)) {
        g_error.set("PulseAudio: cannot play %d Hz with %d channels", record.rate,
                    record.channels);
        return false;
    }
    g_stream = pa_stream_new(g_connection.context, "zyn", &spec, nullptr);
    if (g_stream == nullptr) {
        g_error.set("PulseAudio: cannot create a stream: %s",
                    pulse_error_text(g_connection.context));
        return false;
    }
    const uint32_t block = static_cast<uint32_t>(record.frames) * 2u * static_cast<uint32_t>(record.channels);
    pa_buffer_attr attr;
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = block * static_cast<uint32_t>(queued_blocks(record));
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = block;
    attr.fragsize = static_cast<uint32_t>(-1);
    g_queue_ns = static_cast<int64_t>(pa_bytes_to_usec(attr.tlength, &spec)) * 1000;

    // A device index names a sink by its index; -1 is the server's default sink.
    char sink[16];
    const char *device = nullptr;
    if (record.device >= 0) {
        std::snprintf(sink, sizeof(sink), "%d", record.device);
        device = sink;
    }
    if (pa_stream_connect_playback(g_stream, device, &attr, PA_STREAM_ADJUST_LATENCY, nullptr,
                                   nullptr) < 0) {
        g_error.set("PulseAudio: cannot open a playback stream: %s",
                    pulse_error_text(g_connection.context));
        return false;
    }
    pa_stream *stream = g_stream;
    const int64_t deadline = monotonic_ns() + int64_t{kPulseConnectTimeoutMs} * 1000000;
    const bool ready = pulse_wait(g_connection.loop, deadline, [stream] {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) return 1;
        return PA_STREAM_IS_GOOD(state) ? 0 : -1;
    });
    if (!ready) {
        g_error.set("PulseAudio: the playback stream did not open: %s",
                    pulse_error_text(g_connection.context));
        return false;
    }
    return true;
}

bool server_answers() {
    PulseConnection probe;
    if (!pulse_connect(probe, "zyn probe", g_error)) return false;
    pulse_disconnect(probe);
    return true;
}

bool open_output(PlugoutRecord &record) {
    g_block = std::calloc(1, static_cast<size_t>(record.frames) * 2 * static_cast<size_t>(record.channels));
    if (g_block == nullptr) {
        g_error.set("PulseAudio: cannot allocate a block of %d frames", record.frames);
        return false;
    }
    if (!pulse_connect(g_connection, "zyn", g_error) || !open_stream(record)) return false;
    const char *sink = pa_stream_get_device_name(g_stream);
    complete_record(record, "PulseAudio", sink != nullptr ? sink : "default sink");
    return true;
}

bool prepare_output() {
    pa_mainloop_iterate(g_connection.loop, 0, nullptr);
    if (!stream_alive()) {
        g_error.set("PulseAudio: the server has gone away (%s)",
                    pulse_error_text(g_connection.context));
        return false;
    }
    return true;
}

}  // namespace

const PluginDevice zyn::plugout::kPlugin = {
    .name = "PulseAudio",
    .available = server_answers,
    .open = open_output,
    .prepare = prepare_output,
    .run = run_output,
    .stop = stop_output,
    .close = close_output,
};
