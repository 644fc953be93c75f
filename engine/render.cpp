// Rendering on the caller's thread: ZYN_INIT_RENDER opens the engine with
// no plug-in, and each ZYN_RENDER runs the one fill routine (mixer.h) over
// the caller's buffer, block by block, on the calling thread. Nothing runs
// by itself in between, so the same calls give the same samples.
//
// ZYN_RENDER holds the control lock while it mixes: ZYN_INIT, ZYN_EXIT and
// a second ZYN_RENDER wait for it, as they would wait for an output thread
// to finish its block. Before each block it tops every track up on its own
// thread and waits for the MP3 stream's decoder (never holding the engine
// lock), and it delivers end events once the control lock is released, so
// that an end callback may call ZYN_EXIT or ZYN_RENDER.
#include "effects.h"
#include "end_events.h"
#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "lifecycle.h"
#include "media/mp3_stream.h"
#include "mixer.h"
#include "row_tables.h"
#include "streaming/decoder_pool.h"
#include "streaming/track_lifecycle.h"
#include "zyn.h"

#include <cstdio>

namespace zyn {
namespace {

constexpr int32_t kMaxRenderFrames = 1 << 20;

void describe_render_device(PlugoutRecord &r, int32_t rate, int32_t channels, int32_t frames) {
    r = PlugoutRecord{};
    std::snprintf(r.name, sizeof r.name, "Render");
    std::snprintf(r.device_name, sizeof r.device_name, "the caller's buffer (ZYN_RENDER)");
    r.rate = rate;
    r.bits = 16;
    r.channels = channels;
    r.is_signed = 1;
    r.frames = frames;
    r.buffers = 1;
    r.frame_size = 2 * channels;
    r.buffer_size = frames * r.frame_size;
    r.device = -1;
    r.fill = fill_block;
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_INIT_RENDER(int32_t rate, int32_t channels, int32_t frames) {
    if (inside_fill()) return fail_in_callback("ZYN_INIT_RENDER");
    if (!device_format_usable("ZYN_INIT_RENDER", rate, channels, frames)) return 0;
    EngineState &e = engine();
    {
        const ControlLock control(e.control);
        close_open_device();
        PlugoutRecord device;
        describe_render_device(device, rate, channels, frames);
        stream_follow_device(device.rate, device.channels, device.buffer_size);
        tracks_follow_device(device.rate, device.channels, device.frames);
        resize_work_buffers(device.buffer_size);
        effects_follow_device(device.rate, device.channels, device.frames);
        {
            EngineLock hold(e.lock);
            e.render_record = device;
            fill_routine_slots(e.slots, channels);
            e.rendering.store(true);
            e.initialized.store(1);
        }
        open_end_events(true);
    }
    // The event thread of a device closed here ends on its own; joined
    // with no lock held, as its callback may take any.
    join_stopped_end_events();
    return 1;
}

int32_t ZYN_RENDER(int16_t *samples, int32_t frames) {
    // From a callback the fill would run inside itself.
    if (inside_fill()) return fail_in_callback("ZYN_RENDER");
    if (samples == nullptr) return fail_null("ZYN_RENDER", "samples");
    if (frames < 1 || frames > kMaxRenderFrames)
        return fail("ZYN_RENDER: %d frames asked; 1..%d per call", frames, kMaxRenderFrames);
    EngineState &e = engine();
    {
        const ControlLock control(e.control);
        if (e.initialized.load() == 0) return fail_not_initialised();
        if (!e.rendering.load())
            return fail("ZYN_RENDER: the engine plays to a device (ZYN_INIT); "
                        "open it with ZYN_INIT_RENDER to render");
        // The device description changes only under the control lock.
        PlugoutRecord part = e.render_record;
        const int32_t block = part.frames;
        for (int32_t done = 0; done < frames;) {
            const int32_t n = frames - done < block ? frames - done : block;
            // What the tracks and the stream play next is decoded first,
            // so a render never outruns their decoding.
            top_up_tracks();
            wait_for_stream_block(n * part.frame_size);
            part.buffer = samples + static_cast<ptrdiff_t>(done) * part.channels;
            part.buffer_size = n * part.frame_size;
            fill_block(&part);
            done += n;
        }
    }
    deliver_end_events();
    return 1;
}

}  // extern "C"
