// What kind of sound a stretch of bytes holds, told from the bytes alone
// (never from a file name), and where its audio data begins.
#pragma once

#include "byte_source.h"

#include <cstdint>

namespace zyn {

// other: a container zyn does not tell itself; libsndfile decides by its
// header whether it reads it (AU, CAF, W64, VOC ...).
enum class MediaKind { wav, aiff, flac, ogg_vorbis, ogg_opus, mpeg, other };

struct MediaSniff {
    MediaKind kind = MediaKind::wav;
    // First byte a decoder is to see: past an ID3v2 tag, and for MPEG audio
    // the first frame of the run that proves it is audio.
    int64_t offset = 0;
    int32_t mpeg_layer = 0;  // 1..3 for MediaKind::mpeg
};

// Recognises RIFF/RIFX/RF64 WAVE, AIFF/AIFC, FLAC, Ogg Vorbis, Ogg Opus and
// MPEG audio (by the rule of mpeg_sync.h: three consistent frames in a row
// within 64 KiB after any ID3v2 tag); anything else is MediaKind::other.
// False, with the reason recorded by fail(), for empty data, an Ogg stream
// of another codec, and data behind an ID3v2 tag or starting with an MPEG
// frame header that is "not MPEG audio".
bool sniff_media(ByteSource &source, MediaSniff *out);

const char *media_kind_name(MediaKind kind);

}  // namespace zyn
