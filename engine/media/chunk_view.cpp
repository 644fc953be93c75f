#include "chunk_view.h"

#include "last_error.h"

#include <cstring>
#include <new>

namespace zyn {
namespace {

// A real file has a dozen chunks before its audio; a walk through millions
// of empty ones would only cost time.
constexpr int kMostChunks = 4096;
constexpr uint64_t kMost32 = 0xFFFFFFFFu;

struct Chunk {
    int64_t body = -1;  // offset of the chunk's contents; -1 when absent
    int64_t size = 0;
    bool found() const { return body >= 0; }
};

struct Walk {
    Chunk format, fact, data, version, layout;
    // The chunk that ended the walk by running past the end.
    char stopped_at[5] = {};
    uint64_t stopped_size = 0;
    bool too_many = false;
    // RF64: the 64-bit sizes of its ds64 chunk.
    bool ds64 = false;
    uint64_t ds64_data = 0;
    uint64_t ds64_frames = 0;
};

uint32_t get32(const uint8_t *p, bool big) {
    return big ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
               : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}
uint64_t get64le(const uint8_t *p) { return uint64_t{get32(p + 4, false)} << 32 | get32(p, false); }

void put32(uint8_t *p, uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i) p[big ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}
void put64le(uint8_t *p, uint64_t v) {
    put32(p, static_cast<uint32_t>(v), false);
    put32(p + 4, static_cast<uint32_t>(v >> 32), false);
}

bool is_id(const uint8_t *p, const char *id) { return std::memcmp(p, id, 4) == 0; }
bool plausible_id(const uint8_t *p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    return true;
}

// Where the chunk after [body, body + size) starts. Chunks are padded to an
// even size, but some writers leave the pad byte out: when the padded
// position holds no chunk name and the unpadded one does, the writer was
// one of those.
int64_t next_chunk(ByteSource &source, int64_t body, int64_t size) {
    const int64_t end = body + size;
    if ((size & 1) == 0) return end;
    uint8_t padded[4], unpadded[4];
    if (source.read_at(end + 1, padded, 4) == 4 && !plausible_id(padded) && source.read_at(end, unpadded, 4) == 4 &&
        plausible_id(unpadded))
        return end;
    return end + 1;
}

void walk(ByteSource &source, ChunkFamily family, bool big, bool rf64, Walk *w) {
    const bool wave = family == ChunkFamily::wave;
    const char *data_id = wave ? "data" : "SSND";
    const int64_t total = source.length();
    int64_t pos = 12;
    for (int count = 0; pos <= total - 8; ++count) {
        if (count == kMostChunks) {
            w->too_many = true;
            return;
        }
        uint8_t head[8];
        if (source.read_at(pos, head, sizeof head) != sizeof head) return;
        const int64_t body = pos + 8;
        const int64_t room = total - body;
        uint64_t size = get32(head + 4, big);
        const bool is_data = is_id(head, data_id);
        if (rf64 && is_data && size == kMost32 && w->ds64) size = w->ds64_data;
        if (size > static_cast<uint64_t>(room)) {
            if (is_data && !w->data.found()) {
                w->data = {body, room};
            } else {
                for (int i = 0; i < 4; ++i) w->stopped_at[i] = plausible_id(head) ? static_cast<char>(head[i]) : '?';
                w->stopped_size = size;
            }
            return;
        }
        const auto length = static_cast<int64_t>(size);
        Chunk *slot = nullptr;
        if (is_data) {
            slot = &w->data;
        } else if (wave) {
            if (is_id(head, "fmt ")) slot = &w->format;
            if (is_id(head, "fact")) slot = &w->fact;
            uint8_t sizes[24];
            if (rf64 && is_id(head, "ds64") && length >= 24 && source.read_at(body, sizes, sizeof sizes) == sizeof sizes) {
                w->ds64 = true;
                w->ds64_data = get64le(sizes + 8);
                w->ds64_frames = get64le(sizes + 16);
            }
        } else {
            if (is_id(head, "COMM")) slot = &w->format;
            if (is_id(head, "FVER")) slot = &w->version;
            if (is_id(head, "CHAN")) slot = &w->layout;
        }
        if (slot != nullptr && !slot->found()) *slot = {body, length};
        // What follows the audio is of no use to the decoder.
        if (w->format.found() && w->data.found()) return;
        pos = next_chunk(source, body, length);
    }
}

// Why the walk found no chunk of the kind named; kind with its article.
void refuse(ByteSource &source, const char *kind, const char *missing, const Walk &w) {
    const char *name = source.name().c_str();
    if (w.too_many)
        fail("%s is %s file without %s within its first %d chunks", name, kind, missing, kMostChunks);
    else if (w.stopped_at[0] != '\0')
        fail("%s is %s file without %s (its chunks end at a '%s' chunk of %llu bytes, which runs past the end "
             "of the data)",
             name, kind, missing, w.stopped_at, static_cast<unsigned long long>(w.stopped_size));
    else
        fail("%s is %s file without %s", name, kind, missing);
}

class ViewWriter {
  public:
    ViewWriter(SplicedBytes &view, bool big) : view_(view), big_(big) {}
    void id(const char *id) { view_.add_bytes(id, 4); }
    void u32(uint32_t v) {
        uint8_t b[4];
        put32(b, v, big_);
        view_.add_bytes(b, 4);
    }
    void u64(uint64_t v) {
        uint8_t b[8];
        put64le(b, v);
        view_.add_bytes(b, 8);
    }
    // A chunk read in place, padded to an even size.
    void chunk(const char *name, const Chunk &c) {
        id(name);
        u32(static_cast<uint32_t>(c.size));
        view_.add_stretch(c.body, c.size);
        if (c.size & 1) view_.add_bytes("", 1);
    }
    static int64_t bytes(const Chunk &c) { return c.found() ? 8 + c.size + (c.size & 1) : 0; }

  private:
    SplicedBytes &view_;
    bool big_;
};

std::unique_ptr<SplicedBytes> new_view(ByteSource &source) {
    std::unique_ptr<SplicedBytes> view(new (std::nothrow) SplicedBytes(source));
    if (view == nullptr) fail("not enough memory to read %s", source.name().c_str());
    return view;
}

std::unique_ptr<ByteSource> wave_view(ByteSource &source, bool big, bool rf64, Walk &w) {
    uint8_t format[4] = {};
    if (!w.format.found()) return refuse(source, "a WAV", "a format chunk", w), nullptr;
    source.read_at(w.format.body, format, sizeof format);
    const uint32_t channels = big ? (uint32_t{format[2]} << 8 | format[3]) : (uint32_t{format[3]} << 8 | format[2]);
    if (w.format.size < 16 || channels == 0)
        return fail("%s has a WAV format chunk zyn cannot use (%lld bytes, %u channels)", source.name().c_str(),
                    static_cast<long long>(w.format.size), channels),
               nullptr;
    if (!w.data.found()) return refuse(source, "a WAV", "a data chunk", w), nullptr;

    const int64_t before_data = 12 + ViewWriter::bytes(w.format) + ViewWriter::bytes(w.fact) + 8;
    // A RIFF size is 32 bits: audio beyond that goes into an RF64 view,
    // which RIFX (big-endian) has no form of.
    const bool as_rf64 = rf64 || (!big && static_cast<uint64_t>(before_data + w.data.size) > kMost32);
    if (!as_rf64 && static_cast<uint64_t>(before_data + w.data.size) > kMost32)
        w.data.size = static_cast<int64_t>(kMost32) - before_data;
    const int64_t total = before_data + (as_rf64 ? 36 : 0) + w.data.size;

    std::unique_ptr<SplicedBytes> view = new_view(source);
    if (view == nullptr) return nullptr;
    ViewWriter out(*view, big);
    out.id(as_rf64 ? "RF64" : big ? "RIFX" : "RIFF");
    out.u32(as_rf64 ? static_cast<uint32_t>(kMost32) : static_cast<uint32_t>(total - 8));
    out.id("WAVE");
    if (as_rf64) {
        out.id("ds64");
        out.u32(28);
        out.u64(static_cast<uint64_t>(total - 8));
        out.u64(static_cast<uint64_t>(w.data.size));
        out.u64(w.ds64_frames);
        out.u32(0);  // no table of other chunk sizes
    }
    out.chunk("fmt ", w.format);
    if (w.fact.found()) out.chunk("fact", w.fact);
    out.id("data");
    out.u32(as_rf64 ? static_cast<uint32_t>(kMost32) : static_cast<uint32_t>(w.data.size));
    view->add_stretch(w.data.body, w.data.size);
    return view;
}

std::unique_ptr<ByteSource> aiff_view(ByteSource &source, bool compressed, Walk &w) {
    uint8_t format[2] = {};
    if (!w.format.found()) return refuse(source, "an AIFF", "a COMM chunk", w), nullptr;
    source.read_at(w.format.body, format, sizeof format);
    const uint32_t channels = uint32_t{format[0]} << 8 | format[1];
    if (w.format.size < (compressed ? 22 : 18) || channels == 0)
        return fail("%s has an AIFF COMM chunk zyn cannot use (%lld bytes, %u channels)", source.name().c_str(),
                    static_cast<long long>(w.format.size), channels),
               nullptr;
    if (!w.data.found() || w.data.size < 8) return refuse(source, "an AIFF", "an SSND chunk", w), nullptr;

    const int64_t before_data = 12 + (compressed ? ViewWriter::bytes(w.version) : 0) + ViewWriter::bytes(w.format) +
                                ViewWriter::bytes(w.layout) + 8;
    if (static_cast<uint64_t>(before_data + w.data.size) > kMost32)
        w.data.size = static_cast<int64_t>(kMost32) - before_data;
    std::unique_ptr<SplicedBytes> view = new_view(source);
    if (view == nullptr) return nullptr;
    ViewWriter out(*view, true);
    out.id("FORM");
    out.u32(static_cast<uint32_t>(before_data + w.data.size - 8));
    out.id(compressed ? "AIFC" : "AIFF");
    if (compressed && w.version.found()) out.chunk("FVER", w.version);
    out.chunk("COMM", w.format);
    if (w.layout.found()) out.chunk("CHAN", w.layout);
    out.id("SSND");
    out.u32(static_cast<uint32_t>(w.data.size));
    view->add_stretch(w.data.body, w.data.size);
    return view;
}

}  // namespace

std::unique_ptr<ByteSource> open_chunk_view(ByteSource &source, ChunkFamily family) {
    uint8_t head[12] = {};
    if (source.read_at(0, head, sizeof head) != sizeof head)
        return fail("%s is a truncated %s file", source.name().c_str(), family == ChunkFamily::wave ? "WAV" : "AIFF"),
               nullptr;
    Walk w;
    if (family == ChunkFamily::wave) {
        const bool big = is_id(head, "RIFX");
        const bool rf64 = is_id(head, "RF64");
        walk(source, family, big, rf64, &w);
        return wave_view(source, big, rf64, w);
    }
    walk(source, family, true, false, &w);
    return aiff_view(source, is_id(head + 8, "AIFC"), w);
}

}  // namespace zyn
