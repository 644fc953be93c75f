// How much of an Ogg Vorbis stream vorbisfile is to see. A chained stream
// (files joined end to end, each link with streams of its own) makes
// vorbisfile 1.3.7 look for every link, and when a later link's headers are
// damaged it returns the error without freeing what it had gathered: a
// program loading user files in a loop would grow. zyn plays the first link
// only (a wave has one format), so vorbisfile is handed that link and never
// looks for another.
#pragma once

#include "byte_source.h"

#include <cstddef>
#include <cstdint>

namespace zyn {

// Bytes from the start to the end of the first link's last page: to the
// last page of the source when that belongs to the first link (the usual,
// unchained file: only its first pages and last 64 KiB are read to tell),
// else up to where a new link starts. The whole length when there is no
// Ogg page at all (vorbisfile then refuses the data itself), -1 when no
// length would keep vorbisfile to the first link (pages laid over one
// another): the data is then refused.
int64_t ogg_first_link_length(ByteSource &source);

// The first n bytes (*got, fewer when it is shorter) of the body of the
// first whole, checksummed page, where a stream's first packet starts: what
// libsndfile and vorbisfile tell the codec by, both skipping to the first
// page libogg accepts. False when no page is whole.
bool ogg_first_packet_head(ByteSource &source, uint8_t *out, size_t n, size_t *got);

}  // namespace zyn
