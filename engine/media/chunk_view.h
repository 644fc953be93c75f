// A RIFF, RIFX or RF64 WAVE image, or an AIFF/AIFC one, reduced to what a
// decoder needs before libsndfile reads it. libsndfile 1.2 spins for ever
// on some chunk sizes (a LIST chunk that claims 4 GiB in a 169-byte file),
// and a game loading a player's files must not freeze on one; so zyn walks
// the chunks itself and hands libsndfile a new header followed by the
// format and data chunks, read in place. Metadata (LIST, INFO, cue points,
// ID3 and the like) is left out, and so is every chunk after one whose size
// runs past the end of the image, since nothing says where the next one
// starts. A data chunk that runs past the end is cut to the bytes there are,
// as players do with a recording that was cut short.
#pragma once

#include "byte_source.h"

#include <memory>

namespace zyn {

enum class ChunkFamily { wave, aiff };

// The view over source (which must outlive it), or null with the reason
// recorded by fail() when the image has no usable format or data chunk.
std::unique_ptr<ByteSource> open_chunk_view(ByteSource &source, ChunkFamily family);

}  // namespace zyn
