// The decoders behind open_sound_decoder, one per library. Each owns the
// bytes it decodes: a window or a chunk view over the caller's source.
#pragma once

#include "media_sniff.h"
#include "sound_decoder.h"

namespace zyn {

std::unique_ptr<SoundDecoder> open_sndfile_decoder(std::unique_ptr<ByteSource> bytes, MediaKind kind);
std::unique_ptr<SoundDecoder> open_vorbis_decoder(std::unique_ptr<ByteSource> bytes);
std::unique_ptr<SoundDecoder> open_mpeg_decoder(std::unique_ptr<ByteSource> bytes, int32_t layer);

// What libsndfile reads by a header, named as it names them, for the text of
// a refusal.
const std::string &sndfile_containers();

}  // namespace zyn
