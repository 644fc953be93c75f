// plug-alsa.so: plays through an ALSA PCM: "default" for device -1, else the
// PCM of that entry in the listing ("default" and the configuration's
// playback PCM hints).
//
// The PCM is used non-blocking and waited on with a timeout, so a stop is
// always noticed promptly. Underruns and suspends are recovered, underruns
// counted. Some PCMs never block (null, file sinks): against those the
// pacing clock holds the engine to real time, so programs don't race through
// their sounds. A PCM that fails for good (a card unplugged) is closed; the
// output then keeps the engine's pace silently and opens the same PCM name
// again every kRetryNs until it opens in the same format: the card when it
// is back, or whatever "default" is now when the default was asked for.
#include "device_list.h"
#include "plugin_device.h"
#include "plugin_output.h"
#include "record_format.h"

#include <alsa/asoundlib.h>
#include <algorithm>
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
char g_pcm_name[kDeviceNameBytes] = "default";
char g_report[384] = "";

// Longest wait on the PCM: bounds how late a stop is noticed.
constexpr int kWaitMs = 50;
// A lost PCM is opened again this often; a suspended one asked to resume.
constexpr int64_t kRetryNs = 200000000;
constexpr int64_t kResumeNs = 10000000;

// ALSA also prints why an open failed on stderr; the plug-in keeps the reason
// for PLUG_ERROR instead, so probing a machine without sound stays quiet.
// The handler is the calling thread's own: other ALSA users are not affected.
void keep_quiet(const char *, int, const char *, int, const char *, va_list) {}

int open_pcm(snd_pcm_t **pcm, const char *device) {
    const snd_local_error_handler_t previous = set_local_error_handler(keep_quiet);
    const int result = snd_pcm_open(pcm, device, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    set_local_error_handler(previous);
    if (result < 0) *pcm = nullptr;
    return result;
}

enum class Recovery { kDone, kLater, kLost };

// An underrun is prepared away and counted; a suspended PCM is resumed (or
// prepared when it cannot resume); anything else means the device is gone.
Recovery recover(int error) {
    if (error == -EINTR || error == -EAGAIN) return Recovery::kDone;
    if (error == -EPIPE) {
        g_figures.underruns.fetch_add(1, std::memory_order_relaxed);
        return snd_pcm_prepare(g_pcm) < 0 ? Recovery::kLost : Recovery::kDone;
    }
    if (error == -ESTRPIPE) {
        int result = snd_pcm_resume(g_pcm);
        if (result == -EAGAIN) return Recovery::kLater;
        if (result < 0 || snd_pcm_state(g_pcm) == SND_PCM_STATE_SUSPENDED) result = snd_pcm_prepare(g_pcm);
        return result < 0 ? Recovery::kLost : Recovery::kDone;
    }
    return Recovery::kLost;
}

// False when the device is lost.
bool handle(int error, const std::atomic<int> &stop) {
    const Recovery recovery = recover(error);
    if (recovery == Recovery::kLater) sleep_until(monotonic_ns() + kResumeNs, stop);
    if (recovery != Recovery::kLost) return true;
    g_error.set("ALSA: %s failed (%s); output continues silently and reopens it when it is back",
                g_pcm_name, snd_strerror(error));
    return false;
}

void measure_latency() {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(g_pcm, &delay) == 0 && delay >= 0)
        g_figures.latency_us.store(int64_t{delay} * 1000000 / g_record->rate);
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
            if (!handle(static_cast<int>(written), stop)) return false;
        } else {
            done += static_cast<snd_pcm_uframes_t>(written);
        }
    }
    measure_latency();
    return true;
}

// Plays until stopped (true) or the device is lost (false).
bool play(const std::atomic<int> &stop) {
    const snd_pcm_sframes_t frames = g_record->frames;
    g_clock.start(g_record->frames, g_record->rate,
                  static_cast<int32_t>(g_device_frames / static_cast<snd_pcm_uframes_t>(frames)));
    while (stop.load(std::memory_order_acquire) == 0) {
        const snd_pcm_sframes_t room = snd_pcm_avail_update(g_pcm);
        if (room < 0) {
            if (!handle(static_cast<int>(room), stop)) return false;
            continue;
        }
        if (room < frames) {
            const int waited = snd_pcm_wait(g_pcm, kWaitMs);
            if (waited < 0 && !handle(waited, stop)) return false;
            // The device set the pace: the clock follows it, never the reverse.
            g_clock.resync();
            continue;
        }
        if (!g_clock.pace(stop)) break;
        fill_block(g_block);
        if (!write_block(stop)) return false;
    }
    return true;
}

void close_pcm() {
    if (g_pcm == nullptr) return;
    snd_pcm_close(g_pcm);
    g_pcm = nullptr;
}

// Sets the PCM up for the record's format and reads back the rate it plays
// at and its whole buffer. False with the reason in g_error.
bool configure(snd_pcm_t *pcm, const PlugoutRecord &record, const char *device, unsigned &rate,
               snd_pcm_uframes_t &device_frames) {
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    int result = snd_pcm_hw_params_any(pcm, hw);
    if (result >= 0) result = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (result >= 0) result = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16);
    if (result < 0) {
        g_error.set("ALSA: %s cannot play 16-bit samples: %s", device, snd_strerror(result));
        return false;
    }
    result = snd_pcm_hw_params_set_channels(pcm, hw, static_cast<unsigned>(record.channels));
    if (result < 0) {
        g_error.set("ALSA: %s cannot play %d channels: %s", device, record.channels,
                    snd_strerror(result));
        return false;
    }
    rate = static_cast<unsigned>(record.rate);
    result = snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr);
    if (result < 0) {
        g_error.set("ALSA: %s cannot play %d Hz: %s", device, record.rate, snd_strerror(result));
        return false;
    }
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(record.frames);
    snd_pcm_uframes_t buffer = period * static_cast<snd_pcm_uframes_t>(queued_blocks(record));
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr);
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
    result = snd_pcm_hw_params(pcm, hw);
    if (result < 0) {
        g_error.set("ALSA: %s refuses the buffer layout: %s", device, snd_strerror(result));
        return false;
    }
    snd_pcm_hw_params_get_buffer_size(hw, &device_frames);
    if (device_frames < static_cast<snd_pcm_uframes_t>(record.frames)) {
        g_error.set("ALSA: %s holds at most %lu frames, less than a block of %d", device,
                    static_cast<unsigned long>(device_frames), record.frames);
        return false;
    }

    snd_pcm_sw_params_t *sw;
    snd_pcm_sw_params_alloca(&sw);
    const snd_pcm_uframes_t whole_blocks =
        device_frames / static_cast<snd_pcm_uframes_t>(record.frames) * static_cast<snd_pcm_uframes_t>(record.frames);
    result = snd_pcm_sw_params_current(pcm, sw);
    if (result >= 0) result = snd_pcm_sw_params_set_start_threshold(pcm, sw, whole_blocks);
    if (result >= 0)
        result = snd_pcm_sw_params_set_avail_min(pcm, sw, static_cast<snd_pcm_uframes_t>(record.frames));
    if (result >= 0) result = snd_pcm_sw_params(pcm, sw);
    if (result < 0) {
        g_error.set("ALSA: %s refuses the start settings: %s", device, snd_strerror(result));
        return false;
    }
    return true;
}

// Opens the PCM again in the format the engine mixes in; false (and no PCM)
// while it cannot.
bool reopen() {
    snd_pcm_t *pcm = nullptr;
    if (open_pcm(&pcm, g_pcm_name) < 0) return false;
    unsigned rate = 0;
    snd_pcm_uframes_t device_frames = 0;
    if (!configure(pcm, *g_record, g_pcm_name, rate, device_frames) ||
        rate != static_cast<unsigned>(g_record->rate) || snd_pcm_prepare(pcm) < 0) {
        snd_pcm_close(pcm);
        return false;
    }
    g_pcm = pcm;
    g_device_frames = device_frames;
    return true;
}

// Without a device: fills and discards a block per block period and tries
// to open the PCM again meanwhile. True once it is open, false when stopped.
bool play_silently_until_back(const std::atomic<int> &stop) {
    g_clock.start(g_record->frames, g_record->rate, 0);
    int64_t next_attempt = monotonic_ns();
    while (stop.load(std::memory_order_acquire) == 0) {
        if (monotonic_ns() >= next_attempt) {
            next_attempt = monotonic_ns() + kRetryNs;
            if (reopen()) return true;
        }
        if (!sleep_until(std::min(g_clock.next_due_ns(), next_attempt), stop)) break;
        if (monotonic_ns() >= g_clock.next_due_ns()) {
            fill_block(g_block);
            g_clock.count_block();
        }
    }
    return false;
}

void run_output() {
    const std::atomic<int> &stop = g_thread.stop_flag();
    while (stop.load(std::memory_order_acquire) == 0) {
        if (g_pcm == nullptr) {
            g_figures.connected.store(0);
            g_figures.latency_us.store(-1);
            if (!play_silently_until_back(stop)) return;
            g_figures.reconnects.fetch_add(1);
            g_error.clear();
        }
        g_figures.connected.store(1);
        if (play(stop)) return;
        close_pcm();
    }
}

// Plays out what is queued, within a deadline; drops it otherwise.
void drain_pcm() {
    if (g_pcm == nullptr) return;
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
    close_pcm();
    std::free(g_block);
    g_block = nullptr;
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

// "default", then the playback PCMs the configuration names as hints.
void list_pcms(DeviceList &list) {
    list.add("default");
    const snd_local_error_handler_t previous = set_local_error_handler(keep_quiet);
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) >= 0 && hints != nullptr) {
        for (void **hint = hints; *hint != nullptr; ++hint) {
            char *name = snd_device_name_get_hint(*hint, "NAME");
            char *direction = snd_device_name_get_hint(*hint, "IOID");
            if (name != nullptr && (direction == nullptr || std::strcmp(direction, "Output") == 0))
                list.add(name);
            std::free(name);
            std::free(direction);
        }
        snd_device_name_free_hint(hints);
    }
    set_local_error_handler(previous);
}

bool open_output(PlugoutRecord &record) {
    const char *device = chosen_device() != nullptr ? chosen_device() : "default";
    std::snprintf(g_pcm_name, sizeof(g_pcm_name), "%s", device);
    const int result = open_pcm(&g_pcm, g_pcm_name);
    if (result < 0) {
        g_error.set("ALSA: cannot open %s: %s", g_pcm_name, snd_strerror(result));
        return false;
    }
    unsigned rate = 0;
    if (!configure(g_pcm, record, g_pcm_name, rate, g_device_frames)) return false;
    record.rate = static_cast<int32_t>(rate);
    g_block = static_cast<int16_t *>(
        std::calloc(static_cast<size_t>(record.frames) * static_cast<size_t>(record.channels), 2));
    if (g_block == nullptr) {
        g_error.set("ALSA: cannot allocate a block of %d frames", record.frames);
        return false;
    }
    complete_record(record, "ALSA", g_pcm_name);
    return true;
}

// A device lost while stopped is no reason not to start: the output keeps
// its pace and reopens it.
bool prepare_output() {
    if (g_pcm != nullptr && snd_pcm_prepare(g_pcm) < 0) close_pcm();
    return true;
}

// Recovered underruns are no error, but worth telling.
const char *report(const char *error) {
    const int64_t underruns = g_figures.underruns.load(std::memory_order_relaxed);
    if (underruns == 0) return error;
    std::snprintf(g_report, sizeof(g_report), "%s%s%lld underrun%s recovered", error,
                  error[0] != '\0' ? "; " : "ALSA: ", static_cast<long long>(underruns),
                  underruns == 1 ? "" : "s");
    return g_report;
}

}  // namespace

const PluginDevice zyn::plugout::kPlugin = {
    .name = "ALSA",
    .title = "ALSA",
    .available = default_pcm_opens,
    .list_devices = list_pcms,
    .open = open_output,
    .prepare = prepare_output,
    .run = run_output,
    .stop = stop_output,
    .close = close_output,
    .report = report,
    .realtime = true,
};
