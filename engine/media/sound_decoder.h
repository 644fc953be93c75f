// A sound file decoded piece by piece into float frames (full scale +-1.0,
// interleaved, at the file's own rate and channel count). libsndfile reads
// WAV, AIFF, FLAC, Ogg Vorbis and Opus; libmpg123 reads MPEG audio.
#pragma once

#include "byte_source.h"
#include "channel_mix.h"
#include "media_sniff.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zyn {

struct SoundFormat {
    int32_t rate = 0;
    int32_t channels = 0;
    int64_t frames = -1;  // what the header says; -1 when it does not
    std::vector<ChannelPosition> positions;
};

class SoundDecoder {
  public:
    virtual ~SoundDecoder() = default;
    const SoundFormat &format() const { return format_; }
    // Up to frames frames into dst; the count read, 0 at the end, -1 on a
    // decoding error (the reason recorded with fail()).
    virtual int64_t read(float *dst, int64_t frames) = 0;
    // True when the file's samples are 8 or 16 bits, which read_int16 hands
    // over exactly as read and the float path would round them: a sound
    // that needs neither mixing nor rate conversion then skips the floats.
    virtual bool exact_int16() const { return false; }
    virtual int64_t read_int16(int16_t *, int64_t) { return -1; }

  protected:
    SoundFormat format_;
};

// The decoder for a sniffed source (which must outlive it); null with the
// reason recorded when the library refuses the data.
std::unique_ptr<SoundDecoder> open_sndfile_decoder(ByteSource &source, MediaKind kind);
std::unique_ptr<SoundDecoder> open_mpeg_decoder(ByteSource &source, int32_t layer);

inline std::unique_ptr<SoundDecoder> open_decoder(ByteSource &source, const MediaSniff &sniff) {
    if (sniff.kind == MediaKind::mpeg) return open_mpeg_decoder(source, sniff.mpeg_layer);
    return open_sndfile_decoder(source, sniff.kind);
}

}  // namespace zyn
