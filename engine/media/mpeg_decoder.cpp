// MPEG audio through libmpg123 rather than libsndfile, for gapless play:
// libmpg123 removes the encoder delay and padding that a LAME/Xing info
// frame records, and tells whether there was one. Without that frame
// nothing says how much the encoder added, so only the decoder's own delay
// is removed (529 samples for Layer III) and the sound keeps the encoder's
// delay and padding. libsndfile hides both facts, so a file without an info
// frame would keep the decoder's delay too.
//
// Decoding starts at the first frame of the run that showed the data to be
// MPEG audio (media_sniff), as the classic loader does. A change of rate or
// channel count part-way (joined files, a false frame) ends the sound: a
// wave has one format.
//
// A seek first scans the file's frame headers once (mpg123_scan), for the
// exact length and an index; mpg123_seek then decodes from frames before
// the target, so the frames after a seek are those of a continuous read.
#include "decoder_libraries.h"

#include "last_error.h"

#include <mpg123.h>

#include <algorithm>
#include <mutex>
#include <new>

namespace zyn {
namespace {

constexpr int64_t kLayer3DecoderDelay = 529;

ssize_t reader_read(void *data, void *dst, size_t n) {
    return static_cast<ssize_t>(static_cast<ByteCursor *>(data)->read(dst, n));
}
off_t reader_seek(void *data, off_t offset, int whence) {
    return static_cast<off_t>(static_cast<ByteCursor *>(data)->seek(offset, whence));
}

class MpegDecoder final : public SoundDecoder {
  public:
    explicit MpegDecoder(std::unique_ptr<ByteSource> bytes) : bytes_(std::move(bytes)) { cursor_.source = bytes_.get(); }
    ~MpegDecoder() override {
        if (handle_ != nullptr) {
            mpg123_close(handle_);
            mpg123_delete(handle_);
        }
    }
    MpegDecoder(const MpegDecoder &) = delete;
    MpegDecoder &operator=(const MpegDecoder &) = delete;

    bool open(int32_t layer) {
        static std::once_flag initialised;
        std::call_once(initialised, [] { mpg123_init(); });
        const std::string &name = cursor_.source->name();
        int error = MPG123_OK;
        handle_ = mpg123_new(nullptr, &error);
        if (handle_ == nullptr) return fail("cannot decode %s: %s", name.c_str(), mpg123_plain_strerror(error)) != 0;
        mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
        // Rates are converted by the loader's resampler, at a higher quality.
        mpg123_param(handle_, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0);
        mpg123_format_none(handle_);
        const long *rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; i < count; ++i)
            mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
        if (mpg123_replace_reader_handle(handle_, reader_read, reader_seek, nullptr) != MPG123_OK ||
            mpg123_open_handle(handle_, &cursor_) != MPG123_OK)
            return fail("cannot decode %s: %s", name.c_str(), mpg123_strerror(handle_)) != 0;
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels < 1)
            return fail("%s is not MPEG audio libmpg123 can decode: %s", name.c_str(), mpg123_strerror(handle_)) != 0;
        format_.rate = static_cast<int32_t>(rate);
        format_.channels = channels;
        format_.positions = default_positions(channels, ChannelOrder::wav);
        long delay = -1;
        mpg123_getstate(handle_, MPG123_ENC_DELAY, &delay, nullptr);
        if (delay < 0 && layer == 3) lead_ = kLayer3DecoderDelay;
        skip_ = lead_;
        take_length();
        format_.seekable = true;
        return true;
    }

    int64_t read(float *dst, int64_t frames) override {
        const auto frame_bytes = static_cast<size_t>(format_.channels) * sizeof(float);
        int64_t filled = 0;
        while (filled < frames && !ended_) {
            size_t done = 0;
            const int result = mpg123_read(handle_, reinterpret_cast<unsigned char *>(dst + filled * format_.channels),
                                           static_cast<size_t>(frames - filled) * frame_bytes, &done);
            int64_t got = static_cast<int64_t>(done / frame_bytes);
            if (skip_ > 0 && got > 0) {
                const int64_t drop = got < skip_ ? got : skip_;
                float *at = dst + filled * format_.channels;
                std::copy(at + drop * format_.channels, at + got * format_.channels, at);
                got -= drop;
                skip_ -= drop;
            }
            filled += got;
            if (result == MPG123_NEW_FORMAT) {
                long rate = 0;
                int channels = 0, encoding = 0;
                mpg123_getformat(handle_, &rate, &channels, &encoding);
                if (rate != format_.rate || channels != format_.channels) ended_ = true;
            } else if (result == MPG123_DONE) {
                ended_ = true;
            } else if (result != MPG123_OK) {
                // A damaged stream ends where libmpg123 gives up.
                ended_ = true;
            }
        }
        return filled;
    }

    bool seek(int64_t frame) override {
        const std::string &name = cursor_.source->name();
        if (!scanned_) {
            // Without a scan the length may be an estimate from the first
            // frame and the file size.
            if (mpg123_scan(handle_) != MPG123_OK)
                return fail("cannot seek in %s: %s", name.c_str(), mpg123_strerror(handle_)) != 0;
            scanned_ = true;
            take_length();
        }
        if (!seek_allowed(frame, name)) return false;
        if (mpg123_seek(handle_, static_cast<off_t>(frame + lead_), SEEK_SET) < 0)
            return fail("cannot seek to frame %lld of %s: %s", static_cast<long long>(frame), name.c_str(),
                        mpg123_strerror(handle_)) != 0;
        skip_ = 0;
        ended_ = false;
        return true;
    }

  private:
    void take_length() {
        const off_t length = mpg123_length(handle_);
        format_.frames = length < 0 ? -1 : length > lead_ ? length - lead_ : 0;
    }

    std::unique_ptr<ByteSource> bytes_;
    ByteCursor cursor_;
    mpg123_handle *handle_ = nullptr;
    int64_t lead_ = 0;  // decoder delay removed here rather than by libmpg123
    int64_t skip_ = 0;  // of it, what is still to be dropped
    bool ended_ = false;
    bool scanned_ = false;
};

}  // namespace

std::unique_ptr<SoundDecoder> open_mpeg_decoder(std::unique_ptr<ByteSource> bytes, int32_t layer) {
    const std::string name = bytes->name();
    std::unique_ptr<MpegDecoder> decoder(new (std::nothrow) MpegDecoder(std::move(bytes)));
    if (decoder == nullptr) {
        fail("not enough memory to decode %s", name.c_str());
        return nullptr;
    }
    if (!decoder->open(layer)) return nullptr;
    return decoder;
}

}  // namespace zyn
