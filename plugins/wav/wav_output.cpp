// plug-wav.so: records every block into the WAV file named by ZYN_WAV_OUT.
//
// The header is rewritten after every flush of the staging buffer, so the file
// is a valid WAV of everything on disk at any moment, even if the process dies
// without closing it; PLUG_STOP and PLUG_EXIT flush and complete it.
// ZYN_WAV_REALTIME=0 produces blocks as fast as the engine fills them.
#include "plugin_device.h"
#include "plugin_output.h"
#include "record_format.h"
#include "wav_header.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace zyn::plugout;

constexpr size_t kStagingBytes = 64 * 1024;

// Plain globals: the engine may call PLUG_EXIT from its own finaliser, after
// which nothing here may run a destructor.
char g_path[PATH_MAX] = "";
int g_fd = -1;
bool g_realtime = true;
bool g_failed = false;     // a write failed: nothing more is written
uint8_t *g_block = nullptr;
uint8_t *g_staging = nullptr;
size_t g_staging_capacity = 0;
size_t g_staging_used = 0;
uint32_t g_data_bytes = 0;  // samples on disk
uint32_t g_data_limit = 0;  // most sample bytes a WAV can hold, whole frames

bool write_all(const uint8_t *data, size_t bytes, off_t offset) {
    while (bytes > 0) {
        const ssize_t done = pwrite(g_fd, data, bytes, offset);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            g_error.set("WAV output: cannot write %s: %s", g_path,
                        done < 0 ? std::strerror(errno) : "nothing written");
            g_failed = true;
            return false;
        }
        data += done;
        bytes -= static_cast<size_t>(done);
        offset += done;
    }
    return true;
}

bool write_header() {
    uint8_t header[zyn::wav::kHeaderBytes];
    zyn::wav::encode_header({g_record->channels, g_record->rate, 16, g_data_bytes}, header);
    return write_all(header, sizeof(header), 0);
}

void flush_staging() {
    if (g_fd < 0 || g_failed || g_staging_used == 0) return;
    if (write_all(g_staging, g_staging_used, static_cast<off_t>(zyn::wav::kHeaderBytes) + g_data_bytes)) {
        g_data_bytes += static_cast<uint32_t>(g_staging_used);
        write_header();
    }
    g_staging_used = 0;
}

void store_block() {
    if (g_failed) return;
    const size_t bytes = static_cast<size_t>(g_record->buffer_size);
    if (g_data_bytes + g_staging_used + bytes > g_data_limit) {
        flush_staging();
        g_error.set("WAV output: %s reached the 4 GiB limit of the format; later blocks are dropped",
                    g_path);
        g_failed = true;
        return;
    }
    if (g_staging_used + bytes > g_staging_capacity) flush_staging();
    std::memcpy(g_staging + g_staging_used, g_block, bytes);
    zyn::wav::to_little_endian(reinterpret_cast<int16_t *>(g_staging + g_staging_used), bytes / 2);
    g_staging_used += bytes;
}

void run_output() {
    g_clock.start(g_record->frames, g_record->rate, 0);
    g_figures.latency_us.store(0);
    g_figures.connected.store(g_failed ? 0 : 1);
    const std::atomic<int> &stop = g_thread.stop_flag();
    while (stop.load(std::memory_order_acquire) == 0) {
        // Once nothing can be written the engine still runs at a device's
        // pace rather than spinning.
        if ((g_realtime || g_failed) && !g_clock.pace(stop)) break;
        fill_block(g_block);
        store_block();
        if (g_failed) g_figures.connected.store(0);
        if (!g_realtime && !g_failed) g_clock.resync();
    }
}

bool path_given() {
    const char *path = std::getenv("ZYN_WAV_OUT");
    if (path == nullptr || path[0] == '\0') {
        g_error.set("WAV output: ZYN_WAV_OUT does not name a file");
        return false;
    }
    return true;
}

// Its one device is the file.
void list_file(DeviceList &list) {
    const char *path = std::getenv("ZYN_WAV_OUT");
    if (path != nullptr) list.add(path);
}

bool open_output(PlugoutRecord &record) {
    if (!path_given()) return false;
    // Device 0 is the file ZYN_WAV_OUT named when the devices were listed.
    const char *path = chosen_device() != nullptr ? chosen_device() : std::getenv("ZYN_WAV_OUT");
    if (std::strlen(path) >= sizeof(g_path)) {
        g_error.set("WAV output: the file name in ZYN_WAV_OUT is too long");
        return false;
    }
    std::strcpy(g_path, path);
    const char *realtime = std::getenv("ZYN_WAV_REALTIME");
    g_realtime = realtime == nullptr || std::strcmp(realtime, "0") != 0;

    complete_record(record, "WAV file", g_path);
    const size_t block = static_cast<size_t>(record.buffer_size);
    g_staging_capacity = block > kStagingBytes ? block : kStagingBytes / block * block;
    g_block = static_cast<uint8_t *>(std::calloc(1, block));
    g_staging = static_cast<uint8_t *>(std::malloc(g_staging_capacity));
    if (g_block == nullptr || g_staging == nullptr) {
        g_error.set("WAV output: cannot allocate %zu bytes of buffers", block + g_staging_capacity);
        return false;
    }
    g_fd = open(g_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (g_fd < 0) {
        g_error.set("WAV output: cannot create %s: %s", g_path, std::strerror(errno));
        return false;
    }
    g_failed = false;
    g_staging_used = 0;
    g_data_bytes = 0;
    g_data_limit = zyn::wav::data_limit(record.frame_size);
    return write_header();
}

// A stopped recording is a complete file.
void stop_output() {
    end_loop();
    if (g_fd >= 0) flush_staging();
}

void close_output() {
    stop_output();
    if (g_fd >= 0) {
        close(g_fd);
        g_fd = -1;
    }
    std::free(g_block);
    std::free(g_staging);
    g_block = nullptr;
    g_staging = nullptr;
}

}  // namespace

const PluginDevice zyn::plugout::kPlugin = {
    .name = "WAV output",
    .title = "WAV file",
    .available = path_given,
    .list_devices = list_file,
    .open = open_output,
    .run = run_output,
    .stop = stop_output,
    .close = close_output,
};
