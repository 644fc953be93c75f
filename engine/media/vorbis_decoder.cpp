// Ogg Vorbis through vorbisfile rather than libsndfile: libsndfile 1.2.0
// loses the Vorbis setup of some damaged streams it refuses, and refuses a
// file cut short, which vorbisfile plays up to the cut. Both run the same
// libvorbis decoder, so a sound file gives the same samples either way.
//
// vorbisfile sees the first link of a chained file only (ogg_link.h), as
// libsndfile played it. Its ov_pcm_seek decodes from a page before the
// frame and drops what comes before it, so the frames after a seek are the
// frames of a continuous read, bit for bit.
#include "decoder_libraries.h"

#include "last_error.h"
#include "ogg_link.h"

#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <new>

namespace zyn {
namespace {

// A hole (a page lost) is skipped; so many in a row mean there is nothing
// left to decode.
constexpr int kMostHolesInARow = 64;

size_t cursor_read(void *dst, size_t size, size_t count, void *data) {
    if (size == 0) return 0;
    return static_cast<ByteCursor *>(data)->read(dst, size * count) / size;
}
int cursor_seek(void *data, ogg_int64_t offset, int whence) {
    return static_cast<ByteCursor *>(data)->seek(offset, whence) < 0 ? -1 : 0;
}
long cursor_tell(void *data) { return static_cast<long>(static_cast<ByteCursor *>(data)->position); }

const char *vorbis_error(int code) {
    switch (code) {
        case OV_EREAD: return "the data could not be read";
        case OV_ENOTVORBIS: return "it holds no Vorbis stream";
        case OV_EVERSION: return "its Vorbis version is unknown";
        case OV_EBADHEADER: return "its Vorbis headers are damaged";
        case OV_EBADLINK: return "a link of the stream is damaged";
        case OV_ENOSEEK: return "the stream cannot seek";
        default: return "the stream is damaged";
    }
}

class VorbisDecoder final : public SoundDecoder {
  public:
    explicit VorbisDecoder(std::unique_ptr<ByteSource> bytes) : bytes_(std::move(bytes)) {}
    ~VorbisDecoder() override {
        if (open_) ov_clear(&file_);
    }
    VorbisDecoder(const VorbisDecoder &) = delete;
    VorbisDecoder &operator=(const VorbisDecoder &) = delete;

    bool open() {
        const std::string &name = bytes_->name();
        const int64_t length = ogg_first_link_length(*bytes_);
        if (length < 0) return fail("%s is a damaged Ogg stream (pages laid over one another)", name.c_str()) != 0;
        if (length < bytes_->length()) {
            first_link_.reset(new (std::nothrow) ByteWindow(*bytes_, 0, length));
            if (first_link_ == nullptr) return fail("not enough memory to decode %s", name.c_str()) != 0;
        }
        cursor_.source = first_link_ != nullptr ? first_link_.get() : bytes_.get();
        const ov_callbacks callbacks = {cursor_read, cursor_seek, nullptr, cursor_tell};
        const int result = ov_open_callbacks(&cursor_, &file_, nullptr, 0, callbacks);
        if (result != 0) return fail("%s cannot be decoded as Ogg Vorbis: %s", name.c_str(), vorbis_error(result)) != 0;
        open_ = true;
        const vorbis_info *info = ov_info(&file_, -1);
        if (info == nullptr || info->channels < 1 || info->rate < 1 || info->rate > INT32_MAX)
            return fail("%s has no usable format (%d channels at %ld Hz)", name.c_str(), info ? info->channels : 0,
                        info ? info->rate : 0) != 0;
        format_.rate = static_cast<int32_t>(info->rate);
        format_.channels = info->channels;
        const ogg_int64_t total = ov_pcm_total(&file_, -1);
        format_.frames = total >= 0 ? total : -1;
        format_.seekable = ov_seekable(&file_) != 0;
        format_.positions = default_positions(info->channels, ChannelOrder::vorbis);
        return true;
    }

    int64_t read(float *dst, int64_t frames) override {
        const auto channels = static_cast<size_t>(format_.channels);
        int64_t filled = 0;
        int holes = 0;
        while (filled < frames && error_ == 0) {
            float **pcm = nullptr;
            int link = 0;
            const int64_t want = frames - filled < INT32_MAX ? frames - filled : INT32_MAX;
            const long got = ov_read_float(&file_, &pcm, static_cast<int>(want), &link);
            if (got == 0) break;
            if (got == OV_HOLE && ++holes < kMostHolesInARow) continue;
            if (got < 0) {
                error_ = static_cast<int>(got);
                break;
            }
            holes = 0;
            float *out = dst + static_cast<size_t>(filled) * channels;
            for (long i = 0; i < got; ++i)
                for (size_t c = 0; c < channels; ++c) *out++ = pcm[c][i];
            filled += got;
        }
        // The frames before an error are handed over first.
        if (filled == 0 && error_ != 0)
            return fail("%s is damaged: %s", bytes_->name().c_str(), vorbis_error(error_)), -1;
        return filled;
    }

    bool seek(int64_t frame) override {
        if (!seek_allowed(frame, bytes_->name())) return false;
        const int result = ov_pcm_seek(&file_, frame);
        error_ = 0;
        if (result != 0)
            return fail("cannot seek to frame %lld of %s: %s", static_cast<long long>(frame), bytes_->name().c_str(),
                        vorbis_error(result)) != 0;
        return true;
    }

  private:
    std::unique_ptr<ByteSource> bytes_;
    std::unique_ptr<ByteSource> first_link_;
    ByteCursor cursor_;
    OggVorbis_File file_{};
    bool open_ = false;
    int error_ = 0;  // the decoding error read() reports next
};

}  // namespace

std::unique_ptr<SoundDecoder> open_vorbis_decoder(std::unique_ptr<ByteSource> bytes) {
    const std::string name = bytes->name();
    std::unique_ptr<VorbisDecoder> decoder(new (std::nothrow) VorbisDecoder(std::move(bytes)));
    if (decoder == nullptr) {
        fail("not enough memory to decode %s", name.c_str());
        return nullptr;
    }
    if (!decoder->open()) return nullptr;
    return decoder;
}

}  // namespace zyn
