#include "sound_decoder.h"

#include "chunk_view.h"
#include "decoder_libraries.h"
#include "last_error.h"
#include "media_sniff.h"

#include <new>

namespace zyn {

bool SoundDecoder::seek_allowed(int64_t frame, const std::string &name) const {
    if (!format_.seekable) return fail("%s cannot seek", name.c_str()) != 0;
    if (frame < 0 || (format_.frames >= 0 && frame > format_.frames))
        return fail("cannot seek to frame %lld of %s: it has %lld frames", static_cast<long long>(frame), name.c_str(),
                    static_cast<long long>(format_.frames)) != 0;
    return true;
}

std::unique_ptr<SoundDecoder> open_sound_decoder(ByteSource &source) {
    MediaSniff sniff;
    if (!sniff_media(source, &sniff)) return nullptr;
    std::unique_ptr<ByteSource> bytes;
    if (sniff.kind == MediaKind::wav || sniff.kind == MediaKind::aiff) {
        bytes = open_chunk_view(source, sniff.kind == MediaKind::wav ? ChunkFamily::wave : ChunkFamily::aiff);
        if (bytes == nullptr) return nullptr;
    } else {
        bytes.reset(new (std::nothrow) ByteWindow(source, sniff.offset));
        if (bytes == nullptr) {
            fail("not enough memory to decode %s", source.name().c_str());
            return nullptr;
        }
    }
    switch (sniff.kind) {
        case MediaKind::mpeg: return open_mpeg_decoder(std::move(bytes), sniff.mpeg_layer);
        case MediaKind::ogg_vorbis: return open_vorbis_decoder(std::move(bytes));
        default: return open_sndfile_decoder(std::move(bytes), sniff.kind);
    }
}

}  // namespace zyn
