// plug-pulse.so: plays through a PulseAudio (or PipeWire-Pulse) server.
//
// The output thread owns the connection's main loop while output runs: it
// writes a block whenever the server has room for one and otherwise sleeps in
// poll until the server asks for more (or PLUG_STOP wakes it).
//
// When the server goes away the thread keeps the engine's pace itself,
// silently, and reconnects on the same loop without ever waiting for the
// server: one attempt at a time, a new one kRetryNs after the last began,
// each given up after kPulseConnectTimeoutMs. The sounds go on being mixed
// meanwhile, so once the server is back they are heard where they would have
// been.
#include "device_list.h"
#include "plugin_device.h"
#include "plugin_output.h"
#include "pulse_connection.h"
#include "record_format.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

using namespace zyn::plugout;

// Plain globals: the engine may call PLUG_EXIT from its own finaliser, after
// which nothing here may run a destructor. The loop lives from PLUG_INIT to
// PLUG_EXIT; the context and the stream are made anew on every reconnection.
PulseConnection g_connection;
pa_stream *g_stream = nullptr;
void *g_block = nullptr;
pa_sample_spec g_spec{};
pa_buffer_attr g_attr{};
int64_t g_queue_ns = 0;  // duration of the queue asked for
char g_sink[kDeviceNameBytes] = "";  // "" for the server's default sink

// Longest poll of the output thread: bounds how late a stop is noticed
// should a wake-up ever be lost.
constexpr int64_t kLongestPollUs = 100000;
// A new connection attempt this long after the last one began.
constexpr int64_t kRetryNs = 200000000;

bool stream_alive() {
    return g_stream != nullptr && g_connection.context != nullptr &&
           pa_context_get_state(g_connection.context) == PA_CONTEXT_READY &&
           pa_stream_get_state(g_stream) == PA_STREAM_READY;
}

void drop_stream() {
    if (g_stream == nullptr) return;
    pa_stream_set_underflow_callback(g_stream, nullptr, nullptr);
    pa_stream_disconnect(g_stream);
    pa_stream_unref(g_stream);
    g_stream = nullptr;
}

void drop_connection() {
    drop_stream();
    pulse_drop_context(g_connection);
}

void count_underflow(pa_stream *, void *) {
    // The queue running out as a stopped output drains is no dropout.
    if (!g_thread.stopping()) g_figures.underruns.fetch_add(1, std::memory_order_relaxed);
}

// A stream on the current context, connecting; false when that failed at once.
bool begin_stream() {
    g_stream = pa_stream_new(g_connection.context, "zyn", &g_spec, nullptr);
    if (g_stream == nullptr) return false;
    pa_stream_set_underflow_callback(g_stream, count_underflow, nullptr);
    const pa_stream_flags_t flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(g_stream, g_sink[0] != '\0' ? g_sink : nullptr, &g_attr, flags,
                                   nullptr, nullptr) < 0) {
        drop_stream();
        return false;
    }
    return true;
}

void measure_latency() {
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(g_stream, &latency, &negative) == 0)
        g_figures.latency_us.store(negative != 0 ? 0 : static_cast<int64_t>(latency));
}

// Plays until stopped (true) or the connection is lost (false).
bool play(const std::atomic<int> &stop) {
    const size_t block = static_cast<size_t>(g_record->buffer_size);
    while (stop.load(std::memory_order_acquire) == 0) {
        if (!stream_alive()) return false;
        const size_t room = pa_stream_writable_size(g_stream);
        if (room != static_cast<size_t>(-1) && room >= block) {
            fill_block(g_block);
            if (pa_stream_write(g_stream, g_block, block, nullptr, 0, PA_SEEK_RELATIVE) < 0) return false;
            measure_latency();
            continue;
        }
        if (!pulse_iterate(g_connection.loop, kLongestPollUs)) return false;
    }
    return true;
}

enum class Attempt { kNone, kConnecting, kOpening };

// One step of a reconnection attempt, never waiting.
Attempt advance(Attempt attempt) {
    switch (attempt) {
        case Attempt::kNone: return pulse_begin_connect(g_connection, "zyn") ? Attempt::kConnecting : Attempt::kNone;
        case Attempt::kConnecting: {
            const pa_context_state_t state = pa_context_get_state(g_connection.context);
            if (state == PA_CONTEXT_READY) return begin_stream() ? Attempt::kOpening : Attempt::kNone;
            return PA_CONTEXT_IS_GOOD(state) ? attempt : Attempt::kNone;
        }
        case Attempt::kOpening: {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(g_connection.context))) return Attempt::kNone;
            return PA_STREAM_IS_GOOD(pa_stream_get_state(g_stream)) ? attempt : Attempt::kNone;
        }
    }
    return Attempt::kNone;
}

// Without a server: fills and discards a block per block period, and tries
// to connect again meanwhile. True once a stream is ready, false when stopped.
bool play_silently_until_back(const std::atomic<int> &stop) {
    g_clock.start(g_record->frames, g_record->rate, 0);
    Attempt attempt = Attempt::kNone;
    int64_t next_attempt = monotonic_ns();
    int64_t deadline = 0;
    while (stop.load(std::memory_order_acquire) == 0) {
        const int64_t now = monotonic_ns();
        if (attempt == Attempt::kNone && now >= next_attempt) {
            next_attempt = now + kRetryNs;
            deadline = now + int64_t{kPulseConnectTimeoutMs} * 1000000;
            attempt = advance(attempt);
        } else if (attempt != Attempt::kNone) {
            attempt = now < deadline ? advance(attempt) : Attempt::kNone;
        }
        if (attempt == Attempt::kOpening && pa_stream_get_state(g_stream) == PA_STREAM_READY) return true;
        if (attempt == Attempt::kNone) drop_connection();

        if (monotonic_ns() >= g_clock.next_due_ns()) {
            fill_block(g_block);
            g_clock.count_block();
            continue;
        }
        const int64_t wake = std::min(g_clock.next_due_ns(), attempt == Attempt::kNone ? next_attempt : deadline);
        const int64_t wait_us = std::max<int64_t>(0, (wake - monotonic_ns()) / 1000);
        if (!pulse_iterate(g_connection.loop, wait_us)) sleep_until(wake, stop);
    }
    drop_connection();
    return false;
}

void run_output() {
    const std::atomic<int> &stop = g_thread.stop_flag();
    while (stop.load(std::memory_order_acquire) == 0) {
        if (!stream_alive()) {
            g_figures.connected.store(0);
            g_figures.latency_us.store(-1);
            g_error.set("PulseAudio: connection to the server lost (%s); output continues silently "
                        "and reconnects when the server is back",
                        pulse_error_text(g_connection.context));
            drop_connection();
            if (!play_silently_until_back(stop)) return;
            g_figures.reconnects.fetch_add(1);
            g_error.clear();
        }
        g_figures.connected.store(1);
        if (play(stop)) return;
    }
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
    drop_stream();
    pulse_disconnect(g_connection);
    std::free(g_block);
    g_block = nullptr;
}

bool open_stream(PlugoutRecord &record) {
    g_spec = pa_sample_spec{PA_SAMPLE_S16NE, static_cast<uint32_t>(record.rate),
                            static_cast<uint8_t>(record.channels)};
    if (!pa_sample_spec_valid(&g_spec)) {
        g_error.set("PulseAudio: cannot play %d Hz with %d channels", record.rate, record.channels);
        return false;
    }
    const uint32_t block = static_cast<uint32_t>(record.frames) * 2u * static_cast<uint32_t>(record.channels);
    g_attr.maxlength = static_cast<uint32_t>(-1);
    g_attr.tlength = block * static_cast<uint32_t>(queued_blocks(record));
    // Playback starts with the first block: the server may round the queue
    // to a length whose default start threshold whole blocks never reach.
    g_attr.prebuf = block;
    g_attr.minreq = block;
    g_attr.fragsize = static_cast<uint32_t>(-1);
    g_queue_ns = static_cast<int64_t>(pa_bytes_to_usec(g_attr.tlength, &g_spec)) * 1000;

    // The listing's "default" is the server's default sink, as -1 is.
    const char *device = chosen_device();
    g_sink[0] = '\0';
    if (device != nullptr && std::strcmp(device, "default") != 0) std::strcpy(g_sink, device);
    if (!begin_stream()) {
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
        if (g_sink[0] != '\0')
            g_error.set("PulseAudio: cannot play to sink %s: %s", g_sink,
                        pulse_error_text(g_connection.context));
        else
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

void add_sink(pa_context *, const pa_sink_info *info, int end, void *list) {
    if (end == 0 && info != nullptr) static_cast<DeviceList *>(list)->add(info->name);
}

// "default", then the server's sinks by name.
void list_sinks(DeviceList &list) {
    list.add("default");
    ErrorText ignored;
    PulseConnection probe;
    if (!pulse_connect(probe, "zyn devices", ignored)) return;
    pa_operation *listing = pa_context_get_sink_info_list(probe.context, add_sink, &list);
    if (listing != nullptr) {
        const int64_t deadline = monotonic_ns() + int64_t{kPulseConnectTimeoutMs} * 1000000;
        pulse_wait(probe.loop, deadline,
                   [listing] { return pa_operation_get_state(listing) == PA_OPERATION_RUNNING ? 0 : 1; });
        // No callback may reach the list once this returns.
        pa_operation_cancel(listing);
        pa_operation_unref(listing);
    }
    pulse_disconnect(probe);
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

// A server gone since PLUG_INIT is no reason not to start: the output keeps
// its pace and reconnects.
bool prepare_output() {
    pa_mainloop_iterate(g_connection.loop, 0, nullptr);
    return true;
}

}  // namespace

const PluginDevice zyn::plugout::kPlugin = {
    .name = "PulseAudio",
    .title = "PulseAudio",
    .available = server_answers,
    .list_devices = list_sinks,
    .open = open_output,
    .prepare = prepare_output,
    .run = run_output,
    .stop = stop_output,
    .close = close_output,
    .realtime = true,
};
