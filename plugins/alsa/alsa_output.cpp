// plug-alsa.so: plays through an ALSA PCM: "default" for device -1, the card
// of that number (through its plughw converter) otherwise.
//
// The PCM is used non-blocking and waited on with a timeout, so a stop is
// always noticed promptly. Underruns are recovered and counted. Some PCMs
// never block (null, file sinks): against those the pacing clock holds the
// engine to real time, so programs don't race through their sounds.
#include "plugin_device.h"
#include "plugin_output.h"
#include "record_format.h"

#include <alsa/asoundlib.h>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// alsa/error.h declares snd_lib_error_set_local outside its extern "C" block;
// bind to the C symbol by name.
snd_local_error_handler_t set_local_error_handler(snd_local_error_handler_t handler)
    __asm__("snd_lib_error_set_local");

namespace {

using namespace zyn::plugout;

// Plain globals: the engine may call PLUG_EXIT from its own finaliser, after
// which nothing here may run a destructor.
snd_pcm_t *g_pcm = nullptr;
int16_t *g_block = nullptr;
snd_pcm_uframes_t g_device_frames = 0;  // the PCM's whole buffer
std::atomic<int> g_underruns{0};
char g_report[384] = "";

// Longest wait on the PCM: bounds how late a stop is noticed.
constexpr int kWaitMs = 50;

// ALSA also prints why an open failed on stderr; the plug-in keeps the reason
// for PLUG_ERROR instead, so probing a machine without sound stays quiet.
// The handler is the calling thread's own: other ALSA users are not affected.
void keep_quiet(const char *, int, const char *, int, const char *, va_list) {}

int open_pcm(snd_pcm_t **pcm, const char *device) {
    const snd_local_error_handler_t previous = set_local_error_handler(keep_quiet);
    const int result = snd_pcm_open(pcm, device, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    set_local_error_handler(previous);
    return result;
}

// Recovers from an underrun or suspend; false when the device is lost.
bool recover(int error) {
    const int result = snd_pcm_recover(g_pcm, error, 1);
    if (result < 0) {
        g_error.set("ALSA: the device failed (%s); output continues silently",
                    snd_strerror(result));
        return false;
    }
    if (error == -EPIPE) g_underruns.fetch_add(1, std::memory_order_relaxed);
    return true;
}

// Writes one block; false when the device is lost.
bool write_block(const std::atomic<int> &stop) {
    const snd_pcm_uframes_t frames = static_cast<snd_pcm_uframes_t>(g_record->frames);
    const int channels = g_record->channels;
    snd_pcm_uframes_t done = 0;
    while (done < frames && stop.load(std::memory_order_acquire) == 0) {
        const snd_pcm_sframes_t written = snd_pcm_writei(g_pcm, g_block + done * channels, frames - done);
        if (written == -EAGAIN) {
            snd_pcm_wait(g_pcm, kWaitMs);
        } else if (written < 0) {
            if (!recover(static_cast<int>(written))) return false;
        } else {
            done += static_cast<snd_pcm_uframes_t>(written);
        }
    }
    return true;
}

void run_output() {
    const std::atomic<int> &stop = g_thread.stop_flag();
    const snd_pcm_sframes_t frames = g_record->frames;
    g_clock.start(g_record->frames, g_record->rate,
                  static_cast<int32_t>(g_device_frames / static_cast<snd_pcm_uframes_t>(frames)));
    bool lost = false;
    while (!lost && stop.load(std::memory_order_acquire) == 0) {
        const snd_pcm_sframes_t room = snd_pcm_avail_update(g_pcm);
        if (room < 0) {
            lost = !recover(static_cast<int>(room));
            continue;
        }
        if (room < frames) {
            const int waited = snd_pcm_wait(g_pcm, kWaitMs);
            if (waited < 0) lost = !recover(waited);
            // The device set the pace: the clock follows it, never the reverse.
            g_clock.resync();
            continue;
        }
        if (!g_clock.pace(stop)) break;
        fill_block(g_block);
        lost = !write_block(stop);
    }
    if (lost) run_paced(g_block);
}

// Plays out what is queued, within a deadline; drops it otherwise.
void drain_pcm() {
    const snd_pcm_state_t state = snd_pcm_state(g_pcm);
    if (state == SND_PCM_STATE_RUNNING || state == SND_PCM_STATE_PREPARED) {
        const int64_t queue_ns = int64_t{1000000000} * static_cast<int64_t>(g_device_frames) /
                                 g_record->rate;
        const int64_t deadline = monotonic_ns() + 2 * queue_ns + 500000000;
        if (snd_pcm_drain(g_pcm) == -EAGAIN) {
            while (snd_pcm_state(g_pcm) == SND_PCM_STATE_DRAINING && monotonic_ns() < deadline)
                snd_pcm_wait(g_pcm, kWaitMs);
        }
    }
    snd_pcm_drop(g_pcm);
}

void stop_output() {
    if (end_loop()) drain_pcm();
}

void close_output() {
    stop_output();
    if (g_pcm != nullptr) {
        snd_pcm_close(g_pcm);
        g_pcm = nullptr;
    }
    std::free(g_block);
    g_block = nullptr;
}

// Sets the PCM up for the record's format; the rate may come back as the
// device's nearest one, which the engine then adopts.
bool configure(PlugoutRecord &record, const char *device) {
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    int result = snd_pcm_hw_params_any(g_pcm, hw);
    if (result >= 0) result = snd_pcm_hw_params_set_access(g_pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (result >= 0) result = snd_pcm_hw_params_set_format(g_pcm, hw, SND_PCM_FORMAT_S16);
    if (result < 0) {
        g_error.set("ALSA: %s cannot play 16-bit samples: %s", device, snd_strerror(result));
        return false;
    }
    result = snd_pcm_hw_params_set_channels(g_pcm, hw, static_cast<unsigned>(record.channels));
    if (result < 0) {
        g_error.set("ALSA: %s cannot play %d channels: %s", device, record.channels,
                    snd_strerror(result));
        return false;
    }
    unsigned rate = static_cast<unsigned>(record.rate);
    result = snd_pcm_hw_params_set_rate_near(g_pcm, hw, &rate, nullptr);
    if (result < 0) {
        g_error.set("ALSA: %s cannot play %d Hz: %s", device, record.rate, snd_strerror(result));
        return false;
    }
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(record.frames);
    snd_pcm_uframes_t buffer = period * static_cast<snd_pcm_uframes_t>(queued_blocks(record));
    snd_pcm_hw_params_set_period_size_near(g_pcm, hw, &period, nullptr);
    snd_pcm_hw_params_set_buffer_size_near(g_pcm, hw, &buffer);
    result = snd_pcm_hw_params(g_pcm, hw);
    if (result < 0) {
        g_error.set("ALSA: %s refuses the buffer layout: %s", device, snd_strerror(result));
        return false;
    }
    snd_pcm_hw_params_get_buffer_size(hw, &g_device_frames);
    if (g_device_frames < static_cast<snd_pcm_uframes_t>(record.frames)) {
        g_error.set("ALSA: %s holds at most %lu frames, less than a block of %d", device,
                    static_cast<unsigned long>(g_device_frames), record.frames);
        return false;
    }

    snd_pcm_sw_params_t *sw;
    snd_pcm_sw_params_alloca(&sw);
    const snd_pcm_uframes_t whole_blocks =
        g_device_frames / static_cast<snd_pcm_uframes_t>(record.frames) * static_cast<snd_pcm_uframes_t>(record.frames);
    result = snd_pcm_sw_params_current(g_pcm, sw);
    if (result >= 0) result = snd_pcm_sw_params_set_start_threshold(g_pcm, sw, whole_blocks);
    if (result >= 0)
        result = snd_pcm_sw_params_set_avail_min(g_pcm, sw, static_cast<snd_pcm_uframes_t>(record.frames));
    if (result >= 0) result = snd_pcm_sw_params(g_pcm, sw);
    if (result < 0) {
        g_error.set("ALSA: %s refuses the start settings: %s", device, snd_strerror(result));
        return false;
    }
    record.rate = static_cast<int32_t>(rate);
    return true;
}

bool default_pcm_opens() {
    snd_pcm_t *probe = nullptr;
    const int result = open_pcm(&probe, "default");
    if (result < 0) {
        g_error.set("ALSA: no playback device: %s", snd_strerror(result));
        return false;
    }
    snd_pcm_close(probe);
    return true;
}

bool open_output(PlugoutRecord &record) {
    char device[32] = "default";
    if (record.device >= 0) std::snprintf(device, sizeof(device), "plughw:%d", record.device);
    const int result = open_pcm(&g_pcm, device);
    if (result < 0) {
        g_pcm = nullptr;
        g_error.set("ALSA: cannot open %s: %s", device, snd_strerror(result));
        return false;
    }
    if (!configure(record, device)) return false;
    g_block = static_cast<int16_t *>(
        std::calloc(static_cast<size_t>(record.frames) * static_cast<size_t>(record.channels), 2));
    if (g_block == nullptr) {
        g_error.set("ALSA: cannot allocate a block of %d frames", record.frames);
        return false;
    }
    char shown[64];
    char *card = nullptr;
    if (record.device >= 0 && snd_card_get_name(record.device, &card) == 0 && card != nullptr)
        std::snprintf(shown, sizeof(shown), "%s (%s)", device, card);
    else
        std::snprintf(shown, sizeof(shown), "%s", device);
    std::free(card);
    complete_record(record, "ALSA", shown);
    g_underruns.store(0);
    return true;
}

bool prepare_output() {
    const int result = snd_pcm_prepare(g_pcm);
    if (result < 0) {
        g_error.set("ALSA: cannot prepare the device: %s", snd_strerror(result));
        return false;
    }
    return true;
}

// Recovered underruns are no error, but worth telling.
const char *report(const char *error) {
    const int underruns = g_underruns.load(std::memory_order_relaxed);
    if (underruns == 0) return error;
    std::snprintf(g_report, sizeof(g_report), "%s%s%d underrun%s recovered", error,
                  error[0] != '\0' ? "; " : "ALSA: ", underruns, underruns == 1 ? "" : "s");
    return g_report;
}

}  // namespace

const PluginDevice zyn::plugout::kPlugin = {
    .name = "ALSA",
    .available = default_pcm_opens,
    .open = open_output,
    .prepare = prepare_output,
    .run = run_output,
    .stop = stop_output,
    .close = close_output,
    .report = report,
};
