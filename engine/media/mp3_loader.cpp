// ZYN_LOAD_MP3FILE: a whole MPEG audio file decoded with libmad's synchronous
// decoder into a temporary WAV file in the device's channel count and bit
// depth at the file's own rate, then loaded (and rate-converted) by the WAV
// loader.
//
// Decisions beyond the plain decode:
//  - an ID3v2 tag at the start is skipped, so that no false frame sync in a
//    picture or in lyrics decodes to noise;
//  - the file is refused unless a run of frames shows it is MPEG audio
//    (mpeg_sync.h), and libmad starts at the first frame of that run: bytes
//    in front of it never decode;
//  - libmad needs MAD_BUFFER_GUARD bytes after the last frame to decode it,
//    so the image carries them (zero): without them every file would lose
//    its last frame;
//  - frames at another rate than the first (a false sync in damaged data, or
//    files joined together) are left out: the WAV file has one rate.
#include "engine_state.h"
#include "file_image.h"
#include "fill_thread.h"
#include "id3_tag.h"
#include "last_error.h"
#include "mpeg_sync.h"
#include "temp_wav.h"
#include "zyn.h"

#include <mad.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zyn {
namespace {

std::atomic<int32_t> g_mp3_counter{0};

constexpr size_t kConversionBytes = 18432;

struct DecodeContext {
    const uint8_t *image = nullptr;
    size_t remaining = 0;  // image bytes not yet handed to libmad
    TempWav *out = nullptr;
    wav::Header header;
    bool header_written = false;
    bool failed = false;  // a write failed or the file grew too long
    int16_t *conversion = nullptr;
    int32_t channels = 0;  // device
    int32_t bits = 0;
    ScaleMp3StereoRoutine scale_stereo = nullptr;
    ScaleMp3MonoRoutine scale_mono = nullptr;
};

mad_flow on_input(void *data, mad_stream *stream) {
    auto *c = static_cast<DecodeContext *>(data);
    if (c->remaining == 0) return MAD_FLOW_STOP;
    mad_stream_buffer(stream, c->image, c->remaining);
    c->remaining = 0;
    return MAD_FLOW_CONTINUE;
}

mad_flow on_output(void *data, const mad_header *, mad_pcm *pcm) {
    auto *c = static_cast<DecodeContext *>(data);
    if (pcm->length == 0) return MAD_FLOW_CONTINUE;
    if (c->header_written && pcm->samplerate != static_cast<unsigned>(c->header.rate))
        return MAD_FLOW_CONTINUE;
    const auto *left = reinterpret_cast<const int32_t *>(pcm->samples[0]);
    const auto *right = reinterpret_cast<const int32_t *>(pcm->samples[1]);
    if (pcm->channels > 1)
        c->scale_stereo(c->conversion, left, right, pcm->length);
    else
        c->scale_mono(c->conversion, left, pcm->length);

    if (!c->header_written) {
        c->header.channels = c->channels;
        c->header.rate = static_cast<int32_t>(pcm->samplerate);
        c->header.bits = c->bits;
        if (!c->out->write_header(c->header)) {
            c->failed = true;
            return MAD_FLOW_STOP;
        }
        c->header_written = true;
    }
    // Computed in full width: a frame is at most 1152 samples, but nothing is
    // gained by letting the product wrap.
    const uint32_t block_align = static_cast<uint32_t>(c->bits / 8 * c->channels);
    const uint32_t n = pcm->length * block_align;
    if (n > kConversionBytes || c->header.data_bytes > kTempWavMaxData - n) {
        c->failed = true;
        return MAD_FLOW_STOP;
    }
    if (!c->out->write(c->conversion, n)) {
        c->failed = true;
        return MAD_FLOW_STOP;
    }
    c->header.data_bytes += n;
    return MAD_FLOW_CONTINUE;
}

mad_flow on_error(void *, mad_stream *stream, mad_frame *) {
    if (MAD_RECOVERABLE(stream->error) || stream->error == MAD_ERROR_BUFLEN) return MAD_FLOW_CONTINUE;
    return MAD_FLOW_BREAK;
}

// Decodes the image into out; true when libmad finished without a fatal
// error and every frame was written.
bool decode(const uint8_t *image, size_t length, TempWav &out, const DecodeContext &device) {
    DecodeContext c = device;
    c.image = image;
    c.remaining = length;
    c.out = &out;
    c.conversion = static_cast<int16_t *>(std::calloc(kConversionBytes, 1));
    if (c.conversion == nullptr) return false;
    mad_decoder decoder;
    mad_decoder_init(&decoder, &c, on_input, nullptr, nullptr, on_output, on_error, nullptr);
    const int result = mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    mad_decoder_finish(&decoder);
    std::free(c.conversion);
    // All zero when no frame was decoded, which the WAV loader refuses.
    const bool header_ok = out.finish(c.header);
    return result == 0 && !c.failed && header_ok && c.header_written;
}

bool load_mp3(const char *file, int32_t *wave, const char *temp_name) {
    EngineState &e = engine();
    DecodeContext device;
    {
        EngineLock hold(e.lock);
        const PlugoutRecord *open = open_plugout();
        if (e.initialized.load() == 0 || open == nullptr) return fail_not_initialised() != 0;
        device.channels = open->channels == 1 ? 1 : 2;
        device.bits = 16;
        device.scale_stereo = e.slots.kernel_scale_mp3_frame_stereo;
        device.scale_mono = e.slots.kernel_scale_mp3_frame_mono;
    }
    if (file == nullptr) return fail_null("ZYN_LOAD_MP3FILE", "file") != 0;
    if (device.scale_stereo == nullptr || device.scale_mono == nullptr) return fail_not_initialised() != 0;

    size_t length = 0;
    uint8_t *image = read_file_image(file, &length, MAD_BUFFER_GUARD);
    if (image == nullptr) return false;
    size_t skip = static_cast<size_t>(id3v2_tag_length(image, length));
    if (skip > length) skip = length;
    const int64_t first_frame = find_mpeg_audio(image + skip, length - skip);
    if (first_frame < 0) {
        std::free(image);
        return fail("'%s' is not MPEG audio", file) != 0;
    }
    skip += static_cast<size_t>(first_frame);
    const int32_t number = g_mp3_counter.fetch_add(1) + 1;
    TempWav temp;
    if (!temp.create(temp_name, "tmpfilemp3", number, g_mp3_counter)) {
        std::free(image);
        return false;
    }
    const bool decoded = decode(image + skip, length - skip + MAD_BUFFER_GUARD, temp, device);
    std::free(image);
    if (!decoded) return fail("'%s' could not be decoded into '%s'", file, temp.path().c_str()) != 0;
    return ZYN_LOAD_WAVFILE(temp.path().c_str(), wave) == 1;
}

}  // namespace
}  // namespace zyn

extern "C" int32_t ZYN_LOAD_MP3FILE(const char *file, int32_t *wave, const char *temp_file) {
    if (wave == nullptr) return zyn::fail_null("ZYN_LOAD_MP3FILE", "wave");
    *wave = -1;
    // File input and a large allocation have no place on the output thread.
    if (zyn::inside_fill()) return zyn::fail_in_callback("ZYN_LOAD_MP3FILE");
    if (zyn::load_mp3(file, wave, temp_file)) return 1;
    *wave = -1;
    return 0;
}
