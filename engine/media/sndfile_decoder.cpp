// libsndfile through its virtual I/O, so a file and the caller's memory are
// read the same way and nothing is copied whole or written anywhere.
#include "sound_decoder.h"

#include "last_error.h"

#include <new>
#include <sndfile.h>

namespace zyn {
namespace {

sf_count_t vio_length(void *data) { return static_cast<ByteCursor *>(data)->source->length(); }
sf_count_t vio_seek(sf_count_t offset, int whence, void *data) {
    return static_cast<ByteCursor *>(data)->seek(offset, whence);
}
sf_count_t vio_read(void *dst, sf_count_t count, void *data) {
    if (count <= 0) return 0;
    return static_cast<sf_count_t>(static_cast<ByteCursor *>(data)->read(dst, static_cast<size_t>(count)));
}
sf_count_t vio_write(const void *, sf_count_t, void *) { return 0; }
sf_count_t vio_tell(void *data) { return static_cast<ByteCursor *>(data)->position; }

SF_VIRTUAL_IO g_vio = {vio_length, vio_seek, vio_read, vio_write, vio_tell};

ChannelPosition position_of(int map) {
    using P = ChannelPosition;
    switch (map) {
        case SF_CHANNEL_MAP_MONO: return P::mono;
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT: return P::front_left;
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT: return P::front_right;
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER: return P::front_centre;
        case SF_CHANNEL_MAP_REAR_CENTER: return P::back_centre;
        case SF_CHANNEL_MAP_REAR_LEFT: return P::back_left;
        case SF_CHANNEL_MAP_REAR_RIGHT: return P::back_right;
        case SF_CHANNEL_MAP_LFE: return P::lfe;
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER: return P::front_left_of_centre;
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER: return P::front_right_of_centre;
        case SF_CHANNEL_MAP_SIDE_LEFT: return P::side_left;
        case SF_CHANNEL_MAP_SIDE_RIGHT: return P::side_right;
        case SF_CHANNEL_MAP_TOP_CENTER: return P::top_centre;
        case SF_CHANNEL_MAP_TOP_FRONT_LEFT: return P::top_front_left;
        case SF_CHANNEL_MAP_TOP_FRONT_RIGHT: return P::top_front_right;
        case SF_CHANNEL_MAP_TOP_FRONT_CENTER: return P::top_front_centre;
        case SF_CHANNEL_MAP_TOP_REAR_LEFT: return P::top_back_left;
        case SF_CHANNEL_MAP_TOP_REAR_RIGHT: return P::top_back_right;
        case SF_CHANNEL_MAP_TOP_REAR_CENTER: return P::top_back_centre;
        default: return P::unknown;
    }
}

class SndfileDecoder final : public SoundDecoder {
  public:
    explicit SndfileDecoder(ByteSource &source) { cursor_.source = &source; }
    ~SndfileDecoder() override {
        if (file_ != nullptr) sf_close(file_);
    }
    SndfileDecoder(const SndfileDecoder &) = delete;
    SndfileDecoder &operator=(const SndfileDecoder &) = delete;

    bool open(MediaKind kind) {
        SF_INFO info{};
        file_ = sf_open_virtual(&g_vio, SFM_READ, &info, &cursor_);
        const std::string &name = cursor_.source->name();
        if (file_ == nullptr)
            return fail("%s cannot be decoded as %s: %s", name.c_str(), media_kind_name(kind), sf_strerror(nullptr)) != 0;
        if (info.channels < 1 || info.samplerate < 1)
            return fail("%s has no usable format (%d channels at %d Hz)", name.c_str(), info.channels,
                        info.samplerate) != 0;
        format_.rate = info.samplerate;
        format_.channels = info.channels;
        format_.frames = info.frames >= 0 ? info.frames : -1;
        const ChannelOrder order =
            kind == MediaKind::ogg_vorbis || kind == MediaKind::ogg_opus ? ChannelOrder::vorbis : ChannelOrder::wav;
        format_.positions = default_positions(info.channels, order);
        // Positions the file names itself (a WAVE_FORMAT_EXTENSIBLE mask, an
        // AIFF or CAF layout) win over the format's default order.
        std::vector<int> map(static_cast<size_t>(info.channels));
        if (info.channels > 1 && sf_command(file_, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                            static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
            for (size_t c = 0; c < map.size(); ++c) format_.positions[c] = position_of(map[c]);
        }
        const int subtype = info.format & SF_FORMAT_SUBMASK;
        exact_int16_ = subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8;
        return true;
    }

    bool exact_int16() const override { return exact_int16_; }
    int64_t read_int16(int16_t *dst, int64_t frames) override {
        const sf_count_t got = sf_readf_short(file_, dst, frames);
        return got > 0 ? got : ended(got);
    }

    int64_t read(float *dst, int64_t frames) override {
        const sf_count_t got = sf_readf_float(file_, dst, frames);
        return got > 0 ? got : ended(got);
    }

  private:
    // libsndfile ends a damaged stream early with an error, and a clean one
    // with none.
    int64_t ended(sf_count_t) {
        if (sf_error(file_) != SF_ERR_NO_ERROR)
            return fail("%s is damaged: %s", cursor_.source->name().c_str(), sf_strerror(file_)), -1;
        return 0;
    }

    bool exact_int16_ = false;
    ByteCursor cursor_;
    SNDFILE *file_ = nullptr;
};

}  // namespace

std::unique_ptr<SoundDecoder> open_sndfile_decoder(ByteSource &source, MediaKind kind) {
    std::unique_ptr<SndfileDecoder> decoder(new (std::nothrow) SndfileDecoder(source));
    if (decoder == nullptr) {
        fail("not enough memory to decode %s", source.name().c_str());
        return nullptr;
    }
    if (!decoder->open(kind)) return nullptr;
    return decoder;
}

}  // namespace zyn
