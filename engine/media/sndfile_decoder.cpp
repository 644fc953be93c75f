// libsndfile through its virtual I/O, so a file and the caller's memory are
// read the same way and nothing is copied whole or written anywhere.
//
// Seeking is libsndfile's sf_seek: exact for PCM, FLAC and the other
// lossless encodings. In Opus it decodes from 80 ms before the frame, as
// the format prescribes; the format promises only that the decoder has
// converged by then, so the frames after a seek match a continuous read
// closely (in practice exactly) but not by guarantee.
//
// A file that does not say its length (an Ogg stream cut short, a stream
// written without one) is never searched: libsndfile 1.2's page search in
// such an Opus file lands on wrong frames past its end, and for some far
// frames never returns. There the frame is reached by opening the file
// again and reading up to it, which costs at most one decoding of the file
// and ends where the file ends.
#include "decoder_libraries.h"

#include "last_error.h"

#include <mutex>
#include <new>
#include <sndfile.h>
#include <string>
#include <vector>

namespace zyn {
namespace {

std::mutex g_open_turn;

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

// libsndfile's last resort for data without a header it knows is to read
// it as a Sound Designer II resource fork; these are its errors from there
// (1.1 and 1.2: "cannot open SD2 file without a file name" .. "bad resource
// fork"), which mean only that the data is no container it knows.
constexpr int kFirstResourceForkError = 148;
constexpr int kLastResourceForkError = 153;

bool unrecognised(int error) {
    return error == SF_ERR_UNRECOGNISED_FORMAT ||
           (error >= kFirstResourceForkError && error <= kLastResourceForkError);
}

// Containers zyn does not take from libsndfile: headerless data, MPEG audio
// (libmpg123 reads it, by zyn's own rule), and Sound Designer II, which
// keeps its format in a resource fork that a stream does not have.
bool left_out(int major) { return major == SF_FORMAT_RAW || major == SF_FORMAT_MPEG || major == SF_FORMAT_SD2; }

int fail_unknown(const std::string &name) {
    return fail("%s is not an audio file zyn can read: it reads MPEG audio, Ogg Vorbis and every container %s", name.c_str(),
                sndfile_containers().c_str());
}

class SndfileDecoder final : public SoundDecoder {
  public:
    explicit SndfileDecoder(std::unique_ptr<ByteSource> bytes) : bytes_(std::move(bytes)) {
        cursor_.source = bytes_.get();
    }
    ~SndfileDecoder() override {
        if (file_ != nullptr) sf_close(file_);
    }
    SndfileDecoder(const SndfileDecoder &) = delete;
    SndfileDecoder &operator=(const SndfileDecoder &) = delete;

    bool open(MediaKind kind) {
        SF_INFO info{};
        int error = SF_ERR_NO_ERROR;
        std::string why;
        open_virtual(&info, &error, &why);
        const std::string &name = cursor_.source->name();
        if (file_ == nullptr && kind == MediaKind::other) {
            if (unrecognised(error)) return fail_unknown(name) != 0;
            return fail("%s cannot be decoded: %s", name.c_str(), why.c_str()) != 0;
        }
        if (file_ == nullptr)
            return fail("%s cannot be decoded as %s: %s", name.c_str(), media_kind_name(kind), why.c_str()) != 0;
        if (kind == MediaKind::other && left_out(info.format & SF_FORMAT_TYPEMASK)) return fail_unknown(name) != 0;
        // An IFF body holds each channel's samples as a block of its own;
        // libsndfile 1.2 reads them as interleaved frames.
        if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_SVX && info.channels > 1)
            return fail("%s is a stereo IFF (8SVX) file, which zyn cannot read (libsndfile reads its channels "
                        "wrongly); mono IFF files load",
                        name.c_str()) != 0;
        if (info.channels < 1 || info.samplerate < 1)
            return fail("%s has no usable format (%d channels at %d Hz)", name.c_str(), info.channels,
                        info.samplerate) != 0;
        format_.rate = info.samplerate;
        format_.channels = info.channels;
        format_.frames = info.frames >= 0 && info.frames < SF_COUNT_MAX ? info.frames : -1;
        format_.seekable = info.seekable != 0;
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
        if (file_ == nullptr) return gone();
        const sf_count_t got = sf_readf_short(file_, dst, frames);
        return got > 0 ? got : ended(got);
    }

    int64_t read(float *dst, int64_t frames) override {
        if (file_ == nullptr) return gone();
        const sf_count_t got = sf_readf_float(file_, dst, frames);
        return got > 0 ? got : ended(got);
    }

    bool seek(int64_t frame) override {
        if (!seek_allowed(frame, cursor_.source->name())) return false;
        if (format_.frames < 0) return read_up_to(frame);
        if (sf_seek(file_, frame, SEEK_SET) != frame)
            return fail("cannot seek to frame %lld of %s: %s", static_cast<long long>(frame),
                        cursor_.source->name().c_str(), sf_strerror(file_)) != 0;
        return true;
    }

  private:
    void open_virtual(SF_INFO *info, int *error, std::string *why) {
        // libsndfile keeps the error of a failed open in one place for the
        // whole process; opens take turns so that each reads its own (loads,
        // tracks and the decoding pool open at once).
        std::lock_guard<std::mutex> turn(g_open_turn);
        cursor_.position = 0;
        file_ = sf_open_virtual(&g_vio, SFM_READ, info, &cursor_);
        if (file_ == nullptr) {
            *error = sf_error(nullptr);
            *why = sf_strerror(nullptr);
        }
    }

    bool read_up_to(int64_t frame) {
        const std::string &name = cursor_.source->name();
        sf_close(file_);
        SF_INFO info{};
        int error = SF_ERR_NO_ERROR;
        std::string why;
        open_virtual(&info, &error, &why);
        if (file_ == nullptr)
            return fail("cannot seek to frame %lld of %s: it cannot be opened again: %s", static_cast<long long>(frame),
                        name.c_str(), why.c_str()) != 0;
        // Rewritten meanwhile: its frames would not fit what was planned for.
        if (info.channels != format_.channels || info.samplerate != format_.rate) {
            sf_close(file_);
            file_ = nullptr;
            return fail("cannot seek to frame %lld of %s: it changed on disk", static_cast<long long>(frame),
                        name.c_str()) != 0;
        }
        constexpr int64_t kChunk = 1024;
        if (scratch_.empty()) scratch_.resize(static_cast<size_t>(kChunk * format_.channels));
        for (int64_t at = 0; at < frame;) {
            const sf_count_t got = sf_readf_float(file_, scratch_.data(), frame - at < kChunk ? frame - at : kChunk);
            if (got <= 0)
                return fail("cannot seek to frame %lld of %s: it ends at frame %lld", static_cast<long long>(frame),
                            name.c_str(), static_cast<long long>(at)) != 0;
            at += got;
        }
        return true;
    }

    // After a failed reopen (read_up_to) there is nothing left to read.
    int64_t gone() { return fail("%s cannot be read any further", cursor_.source->name().c_str()), -1; }

    // libsndfile ends a damaged stream early with an error, and a clean one
    // with none.
    int64_t ended(sf_count_t) {
        if (sf_error(file_) != SF_ERR_NO_ERROR)
            return fail("%s is damaged: %s", cursor_.source->name().c_str(), sf_strerror(file_)), -1;
        return 0;
    }

    bool exact_int16_ = false;
    std::unique_ptr<ByteSource> bytes_;
    ByteCursor cursor_;
    SNDFILE *file_ = nullptr;
    std::vector<float> scratch_;  // what read_up_to reads past
};

}  // namespace

const std::string &sndfile_containers() {
    static std::string list;
    static std::once_flag made;
    std::call_once(made, [] {
        char version[64] = {};
        sf_command(nullptr, SFC_GET_LIB_VERSION, version, sizeof version);
        list = std::string(version) + " knows by its header (";
        int count = 0;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
        bool first = true;
        for (int i = 0; i < count; ++i) {
            SF_FORMAT_INFO info{};
            info.format = i;
            if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0 || info.name == nullptr ||
                left_out(info.format & SF_FORMAT_TYPEMASK))
                continue;
            list += first ? "" : ", ";
            list += info.name;
            first = false;
        }
        list += ")";
    });
    return list;
}

std::unique_ptr<SoundDecoder> open_sndfile_decoder(std::unique_ptr<ByteSource> bytes, MediaKind kind) {
    const std::string name = bytes->name();
    std::unique_ptr<SndfileDecoder> decoder(new (std::nothrow) SndfileDecoder(std::move(bytes)));
    if (decoder == nullptr) {
        fail("not enough memory to decode %s", name.c_str());
        return nullptr;
    }
    if (!decoder->open(kind)) return nullptr;
    return decoder;
}

}  // namespace zyn
