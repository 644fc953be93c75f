// The MP3 stream (see mp3_stream.h for the ring's protocol). A callback
// inside the fill that ends the stream only raises the flags; the thread is
// joined by the application's next stream call or ZYN_EXIT.
#include "mp3_stream.h"

#include "dsp/kernels.h"
#include "engine_state.h"
#include "gain.h"
#include "id3_tag.h"
#include "last_error.h"
#include "fill_thread.h"
#include "mpeg_sync.h"
#include "streaming/frame_ring.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <mad.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

static_assert(sizeof(mad_fixed_t) == sizeof(int32_t), "the frame kernels take 32-bit samples");

namespace zyn {

struct Mp3Decoder {
    mad_stream stream;
    mad_frame frame;
    mad_synth synth;
    std::FILE *file = nullptr;   // owned by the thread while it runs
    int64_t file_remaining = 0;  // bytes not yet read
    std::thread thread;
    // Device format and routines as they were when the stream was created;
    // the thread reads these, never the engine's own fields.
    int32_t block = 0;
    int32_t channels = 0;
    int32_t rate = 0;
    int32_t frame_bytes = 0;
    int32_t base_limit = 0;  // three blocks: how far the decoder normally runs ahead
    ScaleMp3StereoRoutine scale_stereo = nullptr;
    ScaleMp3MonoRoutine scale_mono = nullptr;
    CopySliceMp3Routine copy_slice = nullptr;
    // Sizes of the buffers as allocated, so a later device can tell whether they fit.
    int64_t ring_capacity = 0;
    int64_t mix_capacity = 0;
    int64_t pcm_capacity = 0;
};

namespace {

constexpr int32_t kInputData = 8192;
constexpr int32_t kInputBytes = kInputData + MAD_BUFFER_GUARD;
constexpr int32_t kPcmFrames = 4608;
constexpr int32_t kMaxFrameSamples = 1152;
constexpr int32_t kLowestMpegRate = 8000;

inline void pause_1ms() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

int64_t round_up(int64_t value, int64_t unit) { return (value + unit - 1) / unit * unit; }

// Bytes one decoded frame of length samples at source_rate takes in the
// ring, whole device frames only: the mixer takes whole blocks and the
// rate-converting copy writes whole frames, so a fractional frame would
// shift every later sample against the mixer's block boundaries.
int64_t converted_bytes(const Mp3Decoder &d, int64_t length, int64_t source_rate) {
    int64_t n = static_cast<int64_t>(d.frame_bytes) * length;
    if (source_rate == d.rate) return n;
    const float ratio = static_cast<float>(source_rate) / static_cast<float>(d.rate);
    n = std::llround(static_cast<double>(n) * (1.0 / static_cast<double>(ratio)));
    return n - n % d.frame_bytes;
}

// How far the decoder may run ahead for a frame of n bytes: three blocks, or
// more when one frame needs it. The block in front of a partial block must
// still fit, or the mixer, which takes whole blocks only, could never make room.
int64_t ring_limit(const Mp3Decoder &d, int64_t n) {
    const int64_t need = round_up(n, d.block) + d.block;
    return need > d.base_limit ? need : d.base_limit;
}

// Ring bytes for the largest frame any MPEG rate can give on this device.
int64_t ring_bytes_for(const Mp3Decoder &d) {
    const int64_t worst = std::llround(static_cast<double>(d.frame_bytes) * kMaxFrameSamples *
                                       d.rate / kLowestMpegRate) +
                          d.frame_bytes;
    return ring_limit(d, worst);
}

// Writes one decoded frame into the ring; returns the bytes written (0 when
// the stream is being ended).
int32_t put_frame(Mp3Stream &s, Mp3Decoder &d, const mad_pcm &pcm) {
    if (s.active.load() == 0 || pcm.length < 1) return 0;
    auto *pcm_out = reinterpret_cast<int16_t *>(s.pcm_buffer);
    const auto *left = reinterpret_cast<const int32_t *>(pcm.samples[0]);
    const auto *right = reinterpret_cast<const int32_t *>(pcm.samples[1]);
    if (pcm.channels > 1)
        d.scale_stereo(pcm_out, left, right, pcm.length);
    else
        d.scale_mono(pcm_out, left, pcm.length);

    const int64_t n = converted_bytes(d, pcm.length, pcm.samplerate);
    if (n <= 0) return 0;
    FrameRing &ring = *s.ring;
    const int64_t fb = ring.frame_bytes();
    int64_t limit = ring_limit(d, n);
    if (limit > ring.capacity() * fb) limit = ring.capacity() * fb;
    if (n > limit) return 0;  // cannot happen with a ring sized by ring_bytes_for
    while (n + ring.available() * fb > limit) {
        if (s.decoding.load() != 1) return 0;
        pause_1ms();
    }
    if (s.decoding.load() != 1) return 0;

    void *write = ring.write_pointer();
    if (pcm.samplerate == static_cast<unsigned>(d.rate) && d.channels != 1) {
        COPYMP3FRAME(ring.start(), &write, ring.end(), s.pcm_buffer, static_cast<int32_t>(n));
    } else {
        // Also at equal rates on a one-channel device: its 2-byte frames
        // must not be moved as 4-byte units, which would straddle the ring's
        // end when a frame count is odd.
        const float ratio = static_cast<float>(pcm.samplerate) / static_cast<float>(d.rate);
        d.copy_slice(ring.start(), &write, ring.end(), s.pcm_buffer, ratio, static_cast<int32_t>(n));
    }
    return static_cast<int32_t>(n);
}

// Refills the input from the file after the bytes libmad has not used yet.
// Returns false at the end of the file or when no progress is possible.
bool refill(Mp3Stream &s, Mp3Decoder &d) {
    mad_stream &ms = d.stream;
    int64_t leftover = 0;
    if (ms.next_frame != nullptr) {
        leftover = ms.bufend - ms.next_frame;
        if (leftover > 0) std::memmove(s.input_buffer, ms.next_frame, static_cast<size_t>(leftover));
    }
    int64_t want = kInputData - leftover;
    if (want > d.file_remaining) want = d.file_remaining;
    // A frame that fills the whole buffer can never be decoded: give up
    // rather than hand libmad the same bytes for ever.
    if (want <= 0) return false;
    size_t got = 0;
    if (d.file != nullptr)
        got = std::fread(s.input_buffer + leftover, 1, static_cast<size_t>(want), d.file);
    // A short read (the file shrank, or a read error) ends the input here.
    if (static_cast<int64_t>(got) < want)
        d.file_remaining = 0;
    else
        d.file_remaining -= want;
    int64_t length = leftover + static_cast<int64_t>(got);
    if (d.file_remaining == 0) {
        std::memset(s.input_buffer + length, 0, MAD_BUFFER_GUARD);
        length += MAD_BUFFER_GUARD;
    }
    mad_stream_buffer(&ms, s.input_buffer, static_cast<unsigned long>(length));
    ms.error = MAD_ERROR_NONE;
    return true;
}

void close_file(Mp3Decoder &d) {
    if (d.file != nullptr) std::fclose(d.file);
    d.file = nullptr;
    d.file_remaining = 0;
}

void decoder_main(Mp3Stream *stream, Mp3Decoder *decoder) {
    Mp3Stream &s = *stream;
    Mp3Decoder &d = *decoder;
    // decoding was set to 1 before this thread was started, so the caller
    // cannot miss the start however quickly the file ends.
    if (s.active.load() == 0) {
        s.decoding.store(0);
        close_file(d);
        return;
    }
    mad_stream_init(&d.stream);
    mad_frame_init(&d.frame);
    mad_synth_init(&d.synth);
    bool produced = false;

    while (s.decoding.load() == 1) {
        if (d.stream.buffer == nullptr || d.stream.error == MAD_ERROR_BUFLEN) {
            if (!refill(s, d)) break;
        }
        if (mad_frame_decode(&d.frame, &d.stream) == 0) {
            mad_synth_frame(&d.synth, &d.frame);
            const int32_t n = put_frame(s, d, d.synth.pcm);
            if (n > 0) {
                s.ring->commit(n / s.ring->frame_bytes());
                produced = true;
            }
        } else if (MAD_RECOVERABLE(d.stream.error) || d.stream.error == MAD_ERROR_BUFLEN) {
            continue;
        } else {
            break;
        }
    }

    // Complete the last partial block with silence so that the mixer, which
    // takes whole blocks, plays it. Give up once the stream is being ended:
    // the mixer may no longer run then.
    FrameRing &ring = *s.ring;
    const int64_t fb = ring.frame_bytes();
    const int64_t fill = ring.available() * fb;
    if (fill > 0 && fill % d.block != 0) {
        const int64_t pad = d.block - fill % d.block;
        bool room = false;
        while (s.decoding.load() == 1) {
            if (ring.available() * fb + pad <= ring.capacity() * fb) {
                room = true;
                break;
            }
            pause_1ms();
        }
        if (room) {
            void *write = ring.write_pointer();
            ZEROBUFFER(ring.start(), &write, ring.end(), static_cast<int32_t>(pad));
            ring.commit(pad / fb);
        }
    }

    s.decoding.store(0);
    // The mixer ends the stream when it empties the ring and finds decoding
    // over; if it emptied the ring before decoding was over it did not, so
    // end it here. The read-modify-write sees the mixer's latest subtraction.
    if (produced && ring.fill_now() == 0) s.active.store(0);

    mad_synth_finish(&d.synth);
    mad_frame_finish(&d.frame);
    mad_stream_finish(&d.stream);
    close_file(d);
}

// Joins a decoder thread that has been told to stop or has finished.
void join_decoder(Mp3Decoder *d) {
    if (d != nullptr && d->thread.joinable()) d->thread.join();
}

// Allocates whatever the stream lacks for the open device; false when memory runs out.
bool prepare_buffers(EngineState &e, Mp3Decoder &d) {
    Mp3Stream &s = e.mp3_stream;
    const int64_t ring = ring_bytes_for(d);
    const int64_t mix = static_cast<int64_t>(d.block) + 512;
    const int64_t pcm = static_cast<int64_t>(d.frame_bytes) * kPcmFrames;
    if (ring > INT32_MAX) return false;

    uint8_t *new_input = s.input_buffer == nullptr
                             ? static_cast<uint8_t *>(std::calloc(kInputBytes, 1))
                             : nullptr;
    FrameRing *new_ring = nullptr;
    if (d.ring_capacity < ring) {
        new_ring = new (std::nothrow) FrameRing;
        if (new_ring != nullptr && !new_ring->allocate(ring / d.frame_bytes, d.frame_bytes / 2)) {
            delete new_ring;
            new_ring = nullptr;
        }
    }
    auto *new_mix = d.mix_capacity < mix ? static_cast<int16_t *>(std::calloc(static_cast<size_t>(mix), 1)) : nullptr;
    uint8_t *new_pcm = d.pcm_capacity < pcm ? static_cast<uint8_t *>(std::calloc(static_cast<size_t>(pcm), 1)) : nullptr;
    const bool ok = (s.input_buffer != nullptr || new_input != nullptr) &&
                    (d.ring_capacity >= ring || new_ring != nullptr) &&
                    (d.mix_capacity >= mix || new_mix != nullptr) &&
                    (d.pcm_capacity >= pcm || new_pcm != nullptr);
    if (!ok) {
        std::free(new_input);
        delete new_ring;
        std::free(new_mix);
        std::free(new_pcm);
        return false;
    }
    void *old[3] = {nullptr, nullptr, nullptr};
    FrameRing *old_ring = nullptr;
    {
        // No stream is active, but the mixer may still look at the pointers.
        EngineLock hold(e.lock);
        if (new_input != nullptr) s.input_buffer = new_input;
        if (new_ring != nullptr) {
            old_ring = s.ring;
            s.ring = new_ring;
            d.ring_capacity = ring;
        }
        if (new_mix != nullptr) {
            old[1] = s.mix_buffer;
            s.mix_buffer = new_mix;
            d.mix_capacity = mix;
        }
        if (new_pcm != nullptr) {
            old[2] = s.pcm_buffer;
            s.pcm_buffer = new_pcm;
            d.pcm_capacity = pcm;
        }
    }
    for (void *block : old) std::free(block);
    delete old_ring;
    return true;
}

// Opens the file for streaming, positioned at its first frame, when its
// start shows MPEG audio (mpeg_sync.h); else null with the reason recorded,
// and nothing stays open.
std::FILE *open_stream_file(const char *name, int64_t *remaining) {
    std::FILE *f = std::fopen(name, "rb");
    if (f == nullptr) {
        fail("cannot open '%s': %s", name, std::strerror(errno));
        return nullptr;
    }
    struct stat info;
    if (fstat(fileno(f), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        std::fclose(f);
        fail("'%s' is not a regular file", name);
        return nullptr;
    }
    const int64_t length = info.st_size;
    uint8_t head[10];
    const size_t got = std::fread(head, 1, sizeof head, f);
    int64_t skip = id3v2_tag_length(head, got);
    if (skip > length) skip = length;
    int64_t first_frame = -1;
    auto *probe = static_cast<uint8_t *>(std::malloc(kMpegProbeBytes));
    if (probe != nullptr && fseeko(f, static_cast<off_t>(skip), SEEK_SET) == 0) {
        const size_t probed = std::fread(probe, 1, kMpegProbeBytes, f);
        first_frame = find_mpeg_audio(probe, probed);
    }
    std::free(probe);
    if (first_frame < 0 || fseeko(f, static_cast<off_t>(skip + first_frame), SEEK_SET) != 0) {
        std::fclose(f);
        fail("'%s' is not MPEG audio", name);
        return nullptr;
    }
    *remaining = length - skip - first_frame;
    return f;
}

// The format of the device the stream's buffers and decoder were made for.
struct DeviceFormat {
    int32_t rate = 0;
    int32_t channels = 0;
    int32_t buffer_size = 0;
    bool operator==(const DeviceFormat &) const = default;
};
DeviceFormat g_stream_format;

// Runs body on the stream under the engine lock while a stream is active;
// 0 otherwise.
template <typename Body>
int32_t with_stream(Body body) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.mp3_stream.active.load() == 0) return fail("no MP3 stream is active");
    body(e.mp3_stream);
    return 1;
}

void set_pan(Mp3Stream &s, float pan) { apply_pan(s, pan); }

void set_volume(Mp3Stream &s, float volume) { s.volume = clamp_volume(volume, kStreamSilentBelow); }

}  // namespace

void end_stream() {
    EngineState &e = engine();
    Mp3Stream &s = e.mp3_stream;
    s.decoding.store(0);
    join_decoder(s.decoder);
    // A stream created but never played still holds its file.
    if (s.decoder != nullptr) close_file(*s.decoder);
    EngineLock hold(e.lock);
    s.active.store(0);
}

void release_stream_buffers() {
    EngineState &e = engine();
    Mp3Stream &s = e.mp3_stream;
    join_decoder(s.decoder);
    void *blocks[3];
    FrameRing *ring;
    Mp3Decoder *decoder;
    {
        EngineLock hold(e.lock);
        blocks[0] = s.input_buffer;
        blocks[1] = s.pcm_buffer;
        blocks[2] = s.mix_buffer;
        ring = s.ring;
        decoder = s.decoder;
        s.input_buffer = nullptr;
        s.pcm_buffer = nullptr;
        s.mix_buffer = nullptr;
        s.ring = nullptr;
        s.decoder = nullptr;
    }
    for (void *block : blocks) std::free(block);
    delete ring;
    if (decoder != nullptr) close_file(*decoder);
    delete decoder;
}

// Whether the decoder has finished for good. Read before the ring's fill:
// once it says so, the ring holds everything the decoder will ever write.
inline bool decoder_done(const Mp3Stream &s) {
    return s.played.load() == 1 && s.decoding.load() == 0;
}

bool take_stream_block(Mp3Stream &s, const RoutineSlots &slots, int32_t bytes, int32_t channels,
                       int32_t frames, bool *present) {
    const bool done = decoder_done(s);
    if (s.ring == nullptr) {
        *present = false;
        return false;
    }
    FrameRing &ring = *s.ring;
    const int64_t fb = ring.frame_bytes();
    const int64_t fill = ring.available() * fb;
    *present = fill > 0;
    if (fill < bytes && done) s.active.store(0);
    if (fill < bytes || s.mix_buffer == nullptr) return false;
    const int64_t before_end = ring.end() - ring.read_pointer();
    if (s.volume == 0.0f) {
        ZERO(s.mix_buffer, bytes);
    } else if (before_end >= bytes) {
        auto *block = reinterpret_cast<int16_t *>(ring.read_pointer());
        if (s.volume != 1.0f) slots.kernel_scale(block, block, s.volume, bytes);
        if (channels == 2 && s.pan != 0.0f)
            slots.kernel_pan(s.mix_buffer, block, s.left_gain, s.right_gain, bytes);
        else
            COPY(s.mix_buffer, block, bytes);
    } else {
        // A part of a block (ZYN_RENDER's last) left the blocks offset in
        // the ring, so this one runs over its end: the same stages, on the
        // two pieces joined.
        const auto first = static_cast<int32_t>(before_end);
        COPY(s.mix_buffer, ring.read_pointer(), first);
        COPY(reinterpret_cast<uint8_t *>(s.mix_buffer) + first, ring.start(), bytes - first);
        if (s.volume != 1.0f) slots.kernel_scale(s.mix_buffer, s.mix_buffer, s.volume, bytes);
        if (channels == 2 && s.pan != 0.0f)
            slots.kernel_pan(s.mix_buffer, s.mix_buffer, s.left_gain, s.right_gain, bytes);
    }
    // From here on the decoder may refill the block just read; the read
    // position moves past it after the callback (ZYN_GET_STREAMBUFFER there
    // points at the block being played).
    ring.release(bytes / fb);
    if (s.callback != nullptr && s.callback_enabled == 1) s.callback(s.mix_buffer, channels, frames);
    ring.advance(bytes / fb);
    if (decoder_done(s) && ring.available() * fb < bytes) s.active.store(0);
    return true;
}

void wait_for_stream_block(int32_t bytes) {
    const Mp3Stream &s = engine().mp3_stream;
    int64_t last_fill = -1;
    int32_t still = 0;  // pauses without progress
    while (s.active.load() == 1 && s.played.load() == 1 && s.decoding.load() == 1) {
        // The ring stays while the stream is active: only this thread (under
        // the control lock, which ZYN_RENDER holds) could end it.
        const int64_t fill = s.ring != nullptr ? s.ring->available() * s.ring->frame_bytes() : 0;
        if (fill >= bytes) return;
        if (fill != last_fill) {
            last_fill = fill;
            still = 0;
        } else if (++still > 2000) {
            return;  // about 2 s: a file that no longer reads is not waited for
        }
        pause_1ms();
    }
}

void stream_follow_device(int32_t rate, int32_t channels, int32_t buffer_size) {
    const DeviceFormat format{rate, channels, buffer_size};
    if (engine().mp3_stream.mix_buffer != nullptr && !(format == g_stream_format)) {
        end_stream();
        release_stream_buffers();
    }
    g_stream_format = format;
}

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_CREATE_MP3STREAM(const char *file) {
    if (inside_fill()) return fail_in_callback("ZYN_CREATE_MP3STREAM");
    EngineState &e = engine();
    const ControlLock control(e.control);
    Mp3Stream &s = e.mp3_stream;
    // Opening a file and allocating the ring have no place on the output thread.
    if (file == nullptr) return fail_null("ZYN_CREATE_MP3STREAM", "file");
    if (e.initialized.load() == 0) return fail_not_initialised();
    if (s.active.load() == 1) return fail("a stream is active already (end it with ZYN_END_MP3STREAM)");
    // A stream that ran to its end left its thread to be joined.
    join_decoder(s.decoder);

    Mp3Decoder probe;
    {
        EngineLock hold(e.lock);
        const PlugoutRecord *open = open_plugout();
        if (open == nullptr) return fail_not_initialised();
        if (open->buffer_size < 4 || open->rate < 1)
            return fail("the open device's blocks of %d bytes at %d Hz cannot carry a stream",
                        open->buffer_size, open->rate);
        probe.block = open->buffer_size;
        probe.channels = open->channels;
        probe.rate = open->rate;
        probe.frame_bytes = (open->bits / 8 > 0 ? open->bits / 8 : 2) * (open->channels == 1 ? 1 : 2);
        probe.scale_stereo = e.slots.kernel_scale_mp3_frame_stereo;
        probe.scale_mono = e.slots.kernel_scale_mp3_frame_mono;
        probe.copy_slice = e.slots.kernel_copy_slice_mp3_frame;
    }
    if (probe.scale_stereo == nullptr || probe.scale_mono == nullptr || probe.copy_slice == nullptr)
        return fail_not_initialised();
    // Whole device frames per block, so the ring never splits a frame.
    if (probe.block % probe.frame_bytes != 0)
        return fail("the open device's blocks of %d bytes are not whole frames", probe.block);
    probe.base_limit = 3 * probe.block;

    int64_t remaining = 0;
    std::FILE *f = open_stream_file(file, &remaining);
    if (f == nullptr) return 0;

    if (s.decoder == nullptr) {
        auto *made = new (std::nothrow) Mp3Decoder;
        if (made == nullptr) {
            std::fclose(f);
            return fail("no memory for the MP3 decoder");
        }
        EngineLock hold(e.lock);
        s.decoder = made;
    }
    Mp3Decoder &d = *s.decoder;
    d.block = probe.block;
    d.channels = probe.channels;
    d.rate = probe.rate;
    d.frame_bytes = probe.frame_bytes;
    d.base_limit = probe.base_limit;
    d.scale_stereo = probe.scale_stereo;
    d.scale_mono = probe.scale_mono;
    d.copy_slice = probe.copy_slice;
    if (!prepare_buffers(e, d)) {
        std::fclose(f);
        return fail("no memory for the stream's buffers");
    }
    close_file(d);
    d.file = f;
    d.file_remaining = remaining;

    EngineLock hold(e.lock);
    s.decoding.store(0);
    s.played.store(0);
    s.ring->reset();
    s.volume = 1.0f;
    set_pan(s, 0.0f);
    s.active.store(1);
    return 1;
}

int32_t ZYN_PLAY_MP3STREAM(float volume, float pan) {
    if (inside_fill()) return fail_in_callback("ZYN_PLAY_MP3STREAM");
    EngineState &e = engine();
    const ControlLock control(e.control);
    Mp3Stream &s = e.mp3_stream;
    // Starting (and first joining) the decoder thread would block the output thread.
    if (s.active.load() == 0 || s.decoder == nullptr) return fail("no MP3 stream is active");
    if (s.decoding.load() == 1) {
        // Playing again while decoding ends the stream, and an ended stream
        // cannot start: report that nothing was started.
        end_stream();
        return fail("the stream was playing already: playing it again ended it");
    }
    // The decoder is done and its file closed; the blocks it left still
    // play out, and then the stream ends as any stream does.
    if (s.played.load() == 1)
        return fail("the stream is still playing its last blocks (create it again once it has ended)");
    join_decoder(s.decoder);
    {
        EngineLock hold(e.lock);
        set_volume(s, volume);
        set_pan(s, pan);
        s.ring->reset();
        s.decoding.store(1);
        s.played.store(1);
    }
    try {
        s.decoder->thread = std::thread(decoder_main, &s, s.decoder);
    } catch (const std::system_error &error) {
        EngineLock hold(e.lock);
        s.decoding.store(0);
        s.played.store(0);
        return fail("cannot start the decoder thread: %s", error.what());
    }
    return 1;
}

int32_t ZYN_END_MP3STREAM(void) {
    if (inside_fill()) {
        // The stream is silent from the next block on; the decoder sees the
        // flag and ends by itself, and the application's next stream call
        // or ZYN_EXIT joins it. The output thread never waits for it.
        Mp3Stream &s = engine().mp3_stream;
        s.decoding.store(0);
        s.active.store(0);
        return 1;
    }
    const ControlLock control(engine().control);
    end_stream();
    return 1;
}

int32_t ZYN_GET_STREAMBUFFER(int16_t **block, int32_t *channels, int32_t *frames) {
    if (block == nullptr || channels == nullptr || frames == nullptr)
        return fail_null("ZYN_GET_STREAMBUFFER", "an out-argument");
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.mp3_stream.active.load() == 0) return fail("no MP3 stream is active");
    const PlugoutRecord *open = open_plugout();
    if (open == nullptr) return fail_not_initialised();
    FrameRing *ring = e.mp3_stream.ring;
    *block = ring != nullptr ? reinterpret_cast<int16_t *>(ring->read_pointer()) : nullptr;
    *channels = open->channels;
    *frames = open->channels >= 0 && open->channels < 31 ? open->buffer_size >> open->channels : 0;
    return 1;
}

int32_t ZYN_SET_STREAMVOLUME(float volume) {
    return with_stream([&](Mp3Stream &s) { set_volume(s, volume); });
}

int32_t ZYN_GET_STREAMVOLUME(float *volume) {
    if (volume == nullptr) return fail_null("ZYN_GET_STREAMVOLUME", "volume");
    return with_stream([&](Mp3Stream &s) { *volume = s.volume; });
}

int32_t ZYN_SET_STREAMPAN(float pan) {
    return with_stream([&](Mp3Stream &s) { set_pan(s, pan); });
}

int32_t ZYN_GET_STREAMPAN(float *pan) {
    if (pan == nullptr) return fail_null("ZYN_GET_STREAMPAN", "pan");
    return with_stream([&](Mp3Stream &s) { *pan = s.pan; });
}

// The stream's callback: stored disabled, and only while a stream is active.
int32_t ZYN_SET_STREAMCALLBACK(ZynSampleCallback callback) {
    return with_stream([&](Mp3Stream &s) {
        s.callback_enabled = 0;
        s.callback = callback;
    });
}

static int32_t set_stream_callback_enabled(int32_t enabled) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.mp3_stream.active.load() == 0) return fail("no MP3 stream is active");
    if (e.mp3_stream.callback == nullptr) return fail("the stream has no callback (set one with ZYN_SET_STREAMCALLBACK)");
    e.mp3_stream.callback_enabled = enabled;
    return 1;
}

int32_t ZYN_ENABLE_STREAMCALLBACK(void) { return set_stream_callback_enabled(1); }
int32_t ZYN_DISABLE_STREAMCALLBACK(void) { return set_stream_callback_enabled(0); }

}  // extern "C"
