// A sound file decoded piece by piece into float frames (full scale +-1.0,
// interleaved, at the file's own rate and channel count), for a whole load
// and for a sound streamed while it plays alike. libmpg123 reads MPEG audio
// (gapless), vorbisfile Ogg Vorbis, and libsndfile every other container it
// knows by its header (WAV, AIFF, FLAC, Opus, AU, CAF, W64, VOC ...); RIFF
// and AIFF images reach it through zyn's own chunk walk (chunk_view.h).
//
// One decoder is used by one thread at a time.
#pragma once

#include "byte_source.h"
#include "channel_mix.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zyn {

struct SoundFormat {
    int32_t rate = 0;
    int32_t channels = 0;
    int64_t frames = -1;  // what the header says; -1 when it does not
    bool seekable = false;
    std::vector<ChannelPosition> positions;
};

class SoundDecoder {
  public:
    virtual ~SoundDecoder() = default;
    const SoundFormat &format() const { return format_; }

    // Up to frames frames into dst; the count read, 0 at the end, -1 on a
    // decoding error (the reason recorded with fail()).
    virtual int64_t read(float *dst, int64_t frames) = 0;

    // Moves to frame, counted in the file's own frames from the first one
    // read() gives after opening; read() then returns the audio from there
    // exactly as a continuous read would (PCM and FLAC bit for bit; the
    // lossy formats as their decoders allow, see each decoder). 0 .. the
    // length are valid, the length itself being the end. False, with the
    // reason recorded, when the format cannot seek, for a frame past the
    // end, and when the library fails; after a failure the position is
    // unknown until a seek succeeds.
    virtual bool seek(int64_t frame) = 0;

    // True when the file's samples are 8 or 16 bits, which read_int16 hands
    // over exactly as read and the float path would round them: a sound
    // that needs neither mixing nor rate conversion then skips the floats.
    virtual bool exact_int16() const { return false; }
    virtual int64_t read_int16(int16_t *, int64_t) { return -1; }

  protected:
    // The common checks of seek(): false with the reason for a frame out of
    // range or a decoder that cannot seek.
    bool seek_allowed(int64_t frame, const std::string &name) const;

    SoundFormat format_;
};

// Tells the format from the bytes (media_sniff.h) and opens the decoder for
// it. The source must outlive the decoder. Null with the reason recorded
// when the data is not a sound zyn reads or the library refuses it.
std::unique_ptr<SoundDecoder> open_sound_decoder(ByteSource &source);

}  // namespace zyn
