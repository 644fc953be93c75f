// Settings, ZYN_INIT / ZYN_START / ZYN_STOP / ZYN_EXIT and the finaliser.
//
// Plug-in entries are never called with the engine lock held: PLUG_STOP joins
// the output thread, which may be waiting for that lock inside a fill.
#include "clock.h"
#include "effects.h"
#include "end_events.h"
#include "engine_state.h"
#include "groups.h"
#include "row_tables.h"
#include "lifecycle.h"
#include "space/space_settings.h"
#include "media/mp3_stream.h"
#include "fill_thread.h"
#include "last_error.h"
#include "mixer.h"
#include "plugin_host.h"
#include "streaming/track_lifecycle.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace zyn {

namespace {

// Runs once at process end (or when the library is unloaded): stop a running
// plug-in, then shut down, so that no output thread outlives the engine.
void finalise() {
    if (engine().plug_running.load() == 1) ZYN_STOP();
    if (engine().initialized.load() == 1) ZYN_EXIT();
}

std::atomic<int64_t> g_unload_grace_ms{500};

// Formats outside what sound cards offer: a plug-in would either refuse them
// or, worse, accept them and run its output thread flat out.
constexpr int32_t kMinRate = 4000;
constexpr int32_t kMaxRate = 768000;
constexpr int32_t kMinFrames = 16;
constexpr int32_t kMaxFrames = 1 << 20;
constexpr int32_t kMaxBuffers = 64;

int32_t clamp_buffers(int32_t buffers) {
    if (buffers < 1) return 1;
    return buffers > kMaxBuffers ? kMaxBuffers : buffers;
}

void register_finaliser() {
    // Registered after discovery has loaded the plug-ins, so it runs before
    // their own static destructors do.
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(finalise);
    }
}

// What both ways of closing release: the stream, the tables, the groups,
// the clock and the render mode.
void release_engine_contents() {
    EngineState &e = engine();
    end_stream();
    release_stream_buffers();
    close_all_tracks();
    shutdown_tables();
    release_groups();
    release_space();
    release_effects();
    EngineLock hold(e.lock);
    reset_clock();
    e.rendering.store(false);
}

// ZYN_EXIT under the control lock: stop and close the device, end the
// stream, release the tables and the plug-in libraries.
void close_engine() {
    EngineState &e = engine();
    const ControlLock control(e.control);
    {
        // Closed first: a wave or sound another application thread made
        // while the tables are released would be left behind, for the rest
        // of the process. Under the engine lock no fill is running, so none
        // notes an end of these sounds after the events are closed.
        EngineLock hold(e.lock);
        e.initialized.store(0);
        close_end_events();
    }
    if (e.plugout_index == -1) {
        // No device is open (the engine renders, or a failed
        // re-initialisation left waves, sounds and the stream behind): they
        // go all the same. The plug-in rows stay, so a later ZYN_INIT
        // retries them.
        release_engine_contents();
        e.plug_running.store(0);
        return;
    }
    if (e.plug_running.load() == 1) {
        ZYN_STOP();
        e.plug_running.store(0);
    }
    release_engine_contents();
    call_plug_exit(&e.plugouts[static_cast<size_t>(e.plugout_index)]);
    // Lets a device that is still draining finish before its library goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(g_unload_grace_ms.load()));
    release_plugouts();
    EngineLock hold(e.lock);
    e.plugout_count = 0;
    e.plugout_index = -1;
    e.initialized.store(0);
}

}  // namespace

bool device_format_usable(const char *operation, int32_t rate, int32_t channels, int32_t frames) {
    if (rate < kMinRate || rate > kMaxRate)
        return fail("%s: a rate of %d Hz is outside %d..%d Hz", operation, rate, kMinRate, kMaxRate);
    if (channels != 1 && channels != 2)
        return fail("%s: %d channels asked; 1 or 2 are supported", operation, channels);
    if (frames < kMinFrames || frames > kMaxFrames)
        return fail("%s: blocks of %d frames are outside %d..%d frames", operation, frames,
                    kMinFrames, kMaxFrames);
    return true;
}

void close_open_device() {
    EngineState &e = engine();
    if (e.plugout_index > -1) {
        PlugoutRecord *open = &e.plugouts[static_cast<size_t>(e.plugout_index)];
        call_plug_stop(open);
        call_plug_exit(open);
        e.plug_running.store(0);
    }
    EngineLock hold(e.lock);
    e.plugout_index = -1;
    e.rendering.store(false);
}

void set_unload_grace(std::chrono::milliseconds grace) {
    g_unload_grace_ms.store(grace.count() > 0 ? grace.count() : 0);
}

}  // namespace zyn

using namespace zyn;

extern "C" {

void ZYN_SET_PLUGPATH(const char *path) {
    EngineLock hold(engine().lock);
    engine().plug_path = path != nullptr ? path : "";
}

const char *ZYN_GET_PLUGPATH(void) {
    if (inside_fill()) {
        // The output thread never allocates: a fixed copy, cut at its size.
        static thread_local char fixed[4096];
        EngineLock hold(engine().lock);
        const size_t length = engine().plug_path.copy(fixed, sizeof fixed - 1);
        fixed[length] = '\0';
        return fixed;
    }
    static thread_local std::string copy;
    EngineLock hold(engine().lock);
    copy = engine().plug_path;
    return copy.c_str();
}

int32_t ZYN_SET_MAXCHANNELS(int32_t channels) {
    if (channels < 1) channels = 1;
    if (channels > 256) channels = 256;
    EngineLock hold(engine().lock);
    engine().max_channels = channels;
    return 1;
}

int32_t ZYN_GET_MAXCHANNELS(int32_t *channels) {
    if (channels == nullptr) return fail_null("ZYN_GET_MAXCHANNELS", "channels");
    EngineLock hold(engine().lock);
    *channels = engine().max_channels;
    return 1;
}

int32_t ZYN_INIT(int32_t rate, int32_t channels, int32_t buffers, int32_t frames, int32_t device) {
    // From a callback this would join the thread that runs it.
    if (inside_fill()) return fail_in_callback("ZYN_INIT");
    // A format no device has is refused before any plug-in sees it, and the
    // open device (if any) keeps playing.
    if (!device_format_usable("ZYN_INIT", rate, channels, frames)) return 0;
    buffers = clamp_buffers(buffers);
    EngineState &e = engine();
    const ControlLock control(e.control);
    if (e.plugout_count < 1) discover_plugouts();
    if (e.plugout_count > 0) register_finaliser();
    if (e.plugout_count == 0) {
        // A render is closed as a device that no plug-in takes over would be.
        if (e.rendering.load()) {
            close_open_device();
            end_stream();
        }
        e.initialized.store(0);
        std::string folder;
        {
            // ZYN_SET_PLUGPATH may change it on another thread meanwhile.
            EngineLock hold(e.lock);
            folder = e.plug_path;
        }
        if (!folder.empty() && folder.back() != '/')
            return fail("no output plug-in in '%s' (is the folder missing its trailing '/'?)",
                        folder.c_str());
        return fail("no output plug-in in '%s'", folder.c_str());
    }
    // A plug-in name that none has fails before the open device is touched.
    std::vector<int32_t> candidates;
    if (!plugouts_to_try(device, candidates)) return 0;
    const bool reopening = e.plugout_index > -1 || e.rendering.load();
    if (reopening) close_open_device();
    int32_t accepted = -1;
    std::string refusals;
    for (const int32_t i : candidates) {
        PlugoutRecord &row = e.plugouts[static_cast<size_t>(i)];
        row.rate = rate;
        row.bits = 16;
        row.channels = channels;
        row.buffers = buffers;
        row.frames = frames;
        row.fill = fill_block;
        row.device = device;
        call_plug_setrealtime(i, e.realtime_priority.load());
        if (call_plug_init(&row) == 1) {
            note_plugout_opened(i);
            accepted = i;
            break;
        }
        const char *why = call_plug_error(&row);
        refusals += refusals.empty() ? "" : "; ";
        refusals += why != nullptr && why[0] != '\0' ? why : "refused";
    }
    if (accepted < 0) {
        // Without a device nothing consumes the stream: end it rather than
        // leave its decoder waiting for room that never comes. Waves and
        // sounds stay for a later ZYN_INIT, and ZYN_EXIT still releases them.
        e.initialized.store(0);
        if (reopening) end_stream();
        return fail("no output plug-in accepts %d Hz, %d channels, %d frames (%s)", rate, channels,
                    frames, refusals.c_str());
    }
    const PlugoutRecord &row = e.plugouts[static_cast<size_t>(accepted)];
    stream_follow_device(row.rate, row.channels, row.buffer_size);
    tracks_follow_device(row.rate, row.channels, row.buffer_size / (row.channels == 1 ? 2 : 4));
    resize_work_buffers(row.buffer_size);
    effects_follow_device(row.rate, row.channels, row.buffer_size / (row.channels == 1 ? 2 : 4));
    {
        EngineLock hold(e.lock);
        fill_routine_slots(e.slots, row.channels);
        e.plugout_index = accepted;
        e.initialized.store(1);
    }
    open_end_events(false);
    return ZYN_START();
}

int32_t ZYN_START(void) {
    if (inside_fill()) return fail_in_callback("ZYN_START");
    EngineState &e = engine();
    const ControlLock control(e.control);
    if (e.rendering.load())
        return fail("ZYN_START: the engine renders on the caller's thread (ZYN_INIT_RENDER); "
                    "nothing starts by itself, call ZYN_RENDER");
    if (e.plugout_index == -1) return fail("no device is open (call ZYN_INIT first)");
    PlugoutRecord *open = &e.plugouts[static_cast<size_t>(e.plugout_index)];
    const int32_t result = call_plug_start(open);
    e.plug_running.store(result);
    if (result != 1) fail("the output plug-in did not start: %s", call_plug_error(open));
    return result;
}

int32_t ZYN_STOP(void) {
    EngineState &e = engine();
    // Stopping joins the output thread, which is the caller's own in a callback.
    if (inside_fill()) return fail_in_callback("ZYN_STOP");
    const ControlLock control(e.control);
    if (e.plugout_index == -1 || e.plug_running.load() == 0) return 1;
    PlugoutRecord *open = &e.plugouts[static_cast<size_t>(e.plugout_index)];
    const int32_t result = call_plug_stop(open);
    if (result == 1)
        e.plug_running.store(0);
    else
        fail("the output plug-in did not stop: %s", call_plug_error(open));
    return result;
}

int32_t ZYN_EXIT(void) {
    if (inside_fill()) return fail_in_callback("ZYN_EXIT");
    close_engine();
    // With no lock held: a callback that runs now may be waiting for one
    // this call held (ZYN_START, a stream call), and this waits for it.
    join_stopped_end_events();
    return 1;
}

}  // extern "C"
