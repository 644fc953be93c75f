// Where MPEG audio begins in a file, or that it does not begin at all.
//
// libmad takes any 11-bit sync word whose header looks plausible, and whose
// frame is followed by another sync word, as a frame. Arbitrary bytes (a WAV
// file of noise, a program, a picture) hold such pairs every few hundred
// kilobytes, and each decodes to a burst of full-scale noise. So before
// libmad sees a byte, the loader and the stream look for evidence of real
// audio: kMpegRunFrames frames in a row, each header exactly where the frame
// before it ends, all of one MPEG version, layer and sample rate, and each
// decoding without an error (headers alone match by chance in machine code).
// Bit rate, padding and channel mode may change from frame to frame, as they
// do in variable-rate files. The decoder is then handed the data from the first
// frame of that run, so that nothing in front of it can decode.
//
// A file too short for a run is audio when its one or two frames fill the
// data exactly from its first byte, optionally followed by a 128-byte ID3v1
// tag.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn {

struct MpegFrameHeader {
    int32_t version = 0;      // 1 (MPEG-1), 2 (MPEG-2) or 25 (MPEG-2.5)
    int32_t layer = 0;        // 1, 2 or 3
    int32_t sample_rate = 0;  // Hz
    int32_t frame_bytes = 0;  // the whole frame: header, side information, data, padding
};

// Parses the four header bytes at p. Refuses what libmad would accept but
// cannot be checked for a run: free format (bit rate index 0, whose frame
// length is unknown from the header alone), bit rate index 15, sample rate
// index 3, and the reserved version, layer and emphasis codes.
bool parse_mpeg_frame_header(const uint8_t *p, MpegFrameHeader *out);

constexpr int32_t kMpegRunFrames = 3;

// The first frame of a run must begin within this many bytes of the start of
// the audio data (after any ID3v2 tag). Enough for what real files carry in
// front of their first frame (a RIFF wrapper, a small second tag, a damaged
// first frame or encoder padding) while keeping the chance of a false run in
// other data small and the stream's first read short.
constexpr size_t kMpegSearchWindow = 64 * 1024;

// The longest frame any valid header describes: MPEG-2.5 Layer II at 160
// kbit/s and 8 kHz with padding.
constexpr size_t kMpegMaxFrameBytes = 2881;

// Bytes from the start of the audio data that decide find_mpeg_audio exactly
// as the whole data would: a run starting at the window's last byte with
// the longest frames, up to the last run header's end.
constexpr size_t kMpegProbeBytes = kMpegSearchWindow + (kMpegRunFrames - 1) * kMpegMaxFrameBytes + 4;
static_assert(2 * kMpegMaxFrameBytes + 128 < kMpegProbeBytes,
              "a short file must be read whole by the probe, or a probe could be mistaken for one");

// Offset in data (which starts after any ID3v2 tag) of the first frame to
// decode, or -1 when the data is not MPEG audio.
int64_t find_mpeg_audio(const uint8_t *data, size_t length);

}  // namespace zyn
