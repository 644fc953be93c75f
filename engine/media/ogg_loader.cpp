// ZYN_LOAD_OGGFILE: a whole Ogg Vorbis file decoded with vorbisfile from a
// memory image into a temporary 16-bit WAV file at the stream's own rate and
// channel count, then loaded (and converted) by the WAV loader.
//
// Decisions beyond the plain decode:
//  - positions of the memory source are 64-bit and a seek before the start
//    fails (-1, as fseek does) instead of leaving a wild position;
//  - streams with more than two channels are refused before anything is
//    written (the WAV loader takes one or two);
//  - a chained file keeps only the links in the first link's format, since
//    the WAV file has one rate and one channel count;
//  - ov_read errors mark the load as failed but decoding goes on, up to a
//    bounded number in a row, so a file that only yields errors cannot hold
//    the loader for ever.
#include "engine_state.h"
#include "file_image.h"
#include "fill_thread.h"
#include "last_error.h"
#include "temp_wav.h"
#include "zyn.h"

#include <vorbis/vorbisfile.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zyn {
namespace {

std::atomic<int32_t> g_ogg_counter{0};

constexpr int kMaxErrorsInARow = 64;

struct MemorySource {
    const uint8_t *image;
    int64_t length;
    int64_t position;
};

size_t source_read(void *dst, size_t size, size_t count, void *data) {
    auto *s = static_cast<MemorySource *>(data);
    if (size == 0 || s->position < 0 || s->position >= s->length) return 0;
    const auto left = static_cast<uint64_t>(s->length - s->position);
    uint64_t elements = count;
    if (elements > left / size) elements = left / size;
    if (elements == 0) return 0;
    std::memcpy(dst, s->image + s->position, static_cast<size_t>(elements * size));
    s->position += static_cast<int64_t>(elements * size);
    return static_cast<size_t>(elements);
}

int source_seek(void *data, ogg_int64_t offset, int whence) {
    auto *s = static_cast<MemorySource *>(data);
    int64_t base = 0;
    switch (whence) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = s->position; break;
        case SEEK_END: base = s->length; break;
        default: return -1;
    }
    if ((offset < 0 && base + offset < 0) || (offset > 0 && offset > INT64_MAX - base)) return -1;
    s->position = base + offset;
    // A position past the end reads nothing, as with a file.
    return 0;
}

int source_close(void *) { return 0; }

long source_tell(void *data) { return static_cast<long>(static_cast<MemorySource *>(data)->position); }

// Decodes every link of the first link's format into the open temporary
// file; false when any read failed.
bool decode(OggVorbis_File &vf, int32_t channels, long rate, TempWav &out, wav::Header &header) {
    const int chunk = channels * 8192;
    auto *samples = static_cast<char *>(std::calloc(static_cast<size_t>(chunk), 1));
    if (samples == nullptr) return false;
    bool error = false;
    bool written = true;
    int errors_in_a_row = 0;
    long result = 1;
    while (result > 0 && written) {
        int filled = 0;
        while (filled < chunk) {
            int link = 0;
            result = ov_read(&vf, samples + filled, chunk - filled, 0, 2, 1, &link);
            if (result > 0) {
                errors_in_a_row = 0;
                const vorbis_info *info = ov_info(&vf, link);
                if (info != nullptr && info->channels == channels && info->rate == rate)
                    filled += static_cast<int>(result);
            } else if (result < 0) {
                // The load has failed, but the rest is still decoded.
                error = true;
                if (++errors_in_a_row >= kMaxErrorsInARow) break;
            } else {
                break;  // end of the stream
            }
        }
        if (filled > 0) {
            written = header.data_bytes <= kTempWavMaxData - static_cast<uint32_t>(filled) &&
                      out.write(samples, static_cast<size_t>(filled));
            if (written) header.data_bytes += static_cast<uint32_t>(filled);
        }
        if (errors_in_a_row >= kMaxErrorsInARow) break;
    }
    std::free(samples);
    return !error && written;
}

bool load_ogg(const char *file, int32_t *wave, const char *temp_name) {
    EngineState &e = engine();
    {
        EngineLock hold(e.lock);
        if (e.initialized.load() == 0 || open_plugout() == nullptr) return fail_not_initialised() != 0;
    }
    if (file == nullptr) return fail_null("ZYN_LOAD_OGGFILE", "file") != 0;
    size_t length = 0;
    uint8_t *image = read_file_image(file, &length);
    if (image == nullptr) return false;
    MemorySource source{image, static_cast<int64_t>(length), 0};
    const ov_callbacks callbacks = {source_read, source_seek, source_close, source_tell};
    OggVorbis_File vf;
    if (ov_open_callbacks(&source, &vf, nullptr, 0, callbacks) != 0) {
        std::free(image);
        return fail("'%s' is not an Ogg Vorbis file", file) != 0;
    }
    bool ok = false;
    const vorbis_info *info = ov_info(&vf, 0);
    if (info != nullptr && info->channels >= 1 && info->channels <= 2 && info->rate > 0 &&
        info->rate <= INT32_MAX / 4) {
        const int32_t channels = info->channels;
        const long rate = info->rate;
        const int32_t number = g_ogg_counter.fetch_add(1) + 1;
        TempWav temp;
        if (temp.create(temp_name, "tmpfileogg", number, g_ogg_counter)) {
            wav::Header header;
            header.channels = channels;
            header.rate = static_cast<int32_t>(rate);
            header.bits = 16;
            const bool decoded = temp.write_header(header) && decode(vf, channels, rate, temp, header);
            const bool closed = temp.finish(header);
            ov_clear(&vf);
            std::free(image);
            image = nullptr;
            if (!decoded || !closed)
                return fail("'%s' could not be decoded into '%s'", file, temp.path().c_str()) != 0;
            return ZYN_LOAD_WAVFILE(temp.path().c_str(), wave) == 1;
        }
    } else if (info != nullptr) {
        fail("'%s': %d channels at %ld Hz are not supported by ZYN_LOAD_OGGFILE (use ZYN_LOAD_FILE)",
             file, info->channels, info->rate);
    } else {
        fail("'%s' has no Vorbis stream", file);
    }
    ov_clear(&vf);
    std::free(image);
    return ok;
}

}  // namespace
}  // namespace zyn

extern "C" int32_t ZYN_LOAD_OGGFILE(const char *file, int32_t *wave, const char *temp_file) {
    if (wave == nullptr) return zyn::fail_null("ZYN_LOAD_OGGFILE", "wave");
    *wave = -1;
    // File input and a large allocation have no place on the output thread.
    if (zyn::inside_fill()) return zyn::fail_in_callback("ZYN_LOAD_OGGFILE");
    if (zyn::load_ogg(file, wave, temp_file)) return 1;
    *wave = -1;
    return 0;
}
