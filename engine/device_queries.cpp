// Device queries and playback counters.
#include "engine_state.h"
#include "fill_thread.h"
#include "plugin_host.h"

#include <cstring>
#include <mutex>

using namespace zyn;

namespace {

// A field of the open plug-in's record, or 0 when none is open.
template <typename Field>
int32_t open_field(Field field) {
    EngineLock hold(engine().lock);
    const PlugoutRecord *row = open_plugout();
    return row != nullptr ? field(*row) : 0;
}

// Texts stay valid until the same query is asked again on the same thread.
// They are kept in fixed per-thread arrays: a callback may ask, and a
// per-thread string would allocate on the output thread (its text, and the
// registration of its destructor on first use).
template <size_t N>
const char *keep_text(char (&slot)[N], const char *text) {
    const size_t length = text != nullptr ? strnlen(text, N - 1) : 0;
    if (length > 0) std::memcpy(slot, text, length);
    slot[length] = '\0';
    return slot;
}

}  // namespace

extern "C" {

int32_t ZYN_GET_NUMOFPLUGOUTS(void) {
    EngineLock hold(engine().lock);
    return engine().plugout_count;
}

const char *ZYN_GET_PLUGERROR(void) {
    static thread_local char text[4097];
    // The entry runs with no lock the fill takes, and ZYN_EXIT on another
    // thread unloads the library: the control lock keeps the device open
    // until the answer is in. Inside a fill the device cannot close (closing
    // joins the thread that runs it), and waiting there for the control lock
    // could wait for a call that is joining this very thread.
    std::unique_lock<std::recursive_mutex> control(engine().control, std::defer_lock);
    if (!inside_fill()) control.lock();
    PlugoutRecord *row = nullptr;
    {
        EngineLock hold(engine().lock);
        row = open_plugout();
    }
    // Asked outside the lock: the plug-in may take its own locks to answer.
    return keep_text(text, row != nullptr ? call_plug_error(row) : "");
}

const char *ZYN_GET_PLUGNAME(void) {
    static thread_local char text[sizeof(PlugoutRecord::name) + 1];
    EngineLock hold(engine().lock);
    const PlugoutRecord *row = open_plugout();
    return keep_text(text, row != nullptr ? row->name : "");
}

const char *ZYN_GET_PLUGDEVICE(void) {
    static thread_local char text[sizeof(PlugoutRecord::device_name) + 1];
    EngineLock hold(engine().lock);
    const PlugoutRecord *row = open_plugout();
    return keep_text(text, row != nullptr ? row->device_name : "");
}

int32_t ZYN_GET_PLUGBUFFERSIZE(void) {
    return open_field([](const PlugoutRecord &r) { return r.buffer_size; });
}
int32_t ZYN_GET_PLUGBUFFERS(void) {
    return open_field([](const PlugoutRecord &r) { return r.buffers; });
}
int32_t ZYN_GET_PLUGFRAMESIZE(void) {
    return open_field([](const PlugoutRecord &r) { return r.frame_size; });
}
int32_t ZYN_GET_PLUGFRAMES(void) {
    return open_field([](const PlugoutRecord &r) { return r.frames; });
}
int32_t ZYN_GET_PLUGRATE(void) {
    return open_field([](const PlugoutRecord &r) { return r.rate; });
}
int32_t ZYN_GET_PLUGBITS(void) {
    return open_field([](const PlugoutRecord &r) { return r.bits; });
}
int32_t ZYN_GET_PLUGCHANNELS(void) {
    return open_field([](const PlugoutRecord &r) { return r.channels; });
}
int32_t ZYN_GET_PLUGSIGNED(void) {
    return open_field([](const PlugoutRecord &r) { return r.is_signed; });
}
int32_t ZYN_GET_PLUGRUNNING(void) { return engine().plug_running.load(); }

namespace {
// Output runs, or the engine renders (its counters hold after each ZYN_RENDER).
bool mixing() { return engine().plug_running.load() == 1 || engine().rendering.load(); }
}  // namespace

int32_t ZYN_GET_PLAYINGSOUNDS(void) { return mixing() ? engine().playing_sounds.load() : 0; }

int32_t ZYN_GET_PLAYINGSTREAMS(void) { return mixing() ? engine().playing_streams.load() : 0; }

int32_t ZYN_GET_PLAYEDBYTES(void) {
    return engine().initialized.load() == 1 ? engine().played_bytes.load() : 0;
}

int32_t ZYN_GET_PLAYEDSAMPLES(void) {
    const int32_t bytes = ZYN_GET_PLAYEDBYTES();
    if (bytes <= 0) return 0;
    const int32_t frame_size = ZYN_GET_PLUGFRAMESIZE();
    return frame_size > 0 ? bytes / frame_size : 0;
}

double ZYN_GET_PLAYTIME(void) {
    const int32_t frames = ZYN_GET_PLAYEDSAMPLES();
    if (frames <= 0) return 0.0;
    const int32_t rate = ZYN_GET_PLUGRATE();
    return rate > 0 ? static_cast<double>(frames) / rate : 0.0;
}

}  // extern "C"
