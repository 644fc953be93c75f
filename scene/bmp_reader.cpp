#include "bmp_reader.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <vector>

namespace zyn::scene {
namespace {

constexpr size_t kMaxFileBytes = size_t{256} << 20;

class Bytes {
  public:
    Bytes(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool has(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
    uint32_t u16(uint64_t at) const { return has(at, 2) ? data_[at] | data_[at + 1] << 8 : 0; }
    uint32_t u32(uint64_t at) const {
        return has(at, 4) ? static_cast<uint32_t>(data_[at]) | static_cast<uint32_t>(data_[at + 1]) << 8 |
                                static_cast<uint32_t>(data_[at + 2]) << 16 |
                                static_cast<uint32_t>(data_[at + 3]) << 24
                          : 0;
    }
    const uint8_t *at(uint64_t offset) const { return data_ + offset; }
    size_t size() const { return size_; }

  private:
    const uint8_t *data_;
    size_t size_;
};

// One channel of a bit-field pixel, scaled to 0..255 with rounding.
struct Field {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 0;

    explicit Field(uint32_t m = 0) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        max = m >> shift;
    }
    uint32_t operator()(uint32_t pixel) const {
        if (max == 0) return 0;
        const uint64_t value = (pixel & mask) >> shift;
        return static_cast<uint32_t>((value * 255 + max / 2) / max);
    }
};

struct Header {
    int64_t width = 0;
    int64_t height = 0;  // rows, always positive here
    bool top_down = false;
    uint32_t bits = 0;
    uint32_t compression = 0;
    uint64_t pixel_offset = 0;
    Field red, green, blue, alpha;
    uint32_t palette[256];
};

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionBitFields = 3;

bool read_header(const Bytes &b, Header &h) {
    if (!b.has(0, 26) || b.at(0)[0] != 'B' || b.at(0)[1] != 'M') return false;
    const uint32_t info_size = b.u32(14);
    uint32_t planes = 0;
    uint32_t colours_used = 0;
    uint32_t palette_entry = 4;
    int64_t raw_height = 0;
    if (info_size == 12) {
        h.width = b.u16(18);
        raw_height = static_cast<int16_t>(b.u16(20));
        planes = b.u16(22);
        h.bits = b.u16(24);
        palette_entry = 3;
    } else if (info_size >= 16) {
        if (!b.has(14, 16)) return false;
        h.width = static_cast<int32_t>(b.u32(18));
        raw_height = static_cast<int32_t>(b.u32(22));
        planes = b.u16(26);
        h.bits = b.u16(28);
        if (info_size >= 20) h.compression = b.u32(30);
        if (info_size >= 36) colours_used = b.u32(46);
    } else {
        return false;
    }
    if (planes != 1 || h.width <= 0 || raw_height == 0) return false;
    h.top_down = raw_height < 0;
    h.height = raw_height < 0 ? -raw_height : raw_height;

    const bool paletted = h.bits == 1 || h.bits == 4 || h.bits == 8;
    if (!paletted && h.bits != 16 && h.bits != 24 && h.bits != 32) return false;
    if (h.compression == kCompressionBitFields) {
        if (h.bits != 16 && h.bits != 32) return false;
        // The masks follow a 40-byte header, or are part of a longer one: either way at 54.
        if (info_size < 40 || !b.has(54, 12)) return false;
        h.red = Field(b.u32(54));
        h.green = Field(b.u32(58));
        h.blue = Field(b.u32(62));
        if (info_size >= 56) h.alpha = Field(b.u32(66));
    } else if (h.compression != kCompressionNone) {
        return false;  // run-length and embedded formats are not decoded
    } else if (h.bits == 16) {
        h.red = Field(0x7C00), h.green = Field(0x03E0), h.blue = Field(0x001F);
    } else if (h.bits == 32) {
        h.red = Field(0xFF0000), h.green = Field(0xFF00), h.blue = Field(0xFF);
    }

    uint64_t table_end = 14 + uint64_t{info_size};
    if (h.compression == kCompressionBitFields && info_size == 40) table_end += 12;
    if (paletted) {
        const uint32_t full = 1u << h.bits;
        const uint32_t count = colours_used >= 1 && colours_used <= full ? colours_used : full;
        std::fill(std::begin(h.palette), std::end(h.palette), 0xFF000000u);
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t at = table_end + uint64_t{i} * palette_entry;
            if (!b.has(at, 3)) break;
            const uint8_t *e = b.at(at);
            h.palette[i] = 0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
        }
        table_end += uint64_t{count} * palette_entry;
    }
    h.pixel_offset = b.u32(10);
    if (h.pixel_offset == 0) h.pixel_offset = table_end;
    return h.pixel_offset < b.size();
}

uint32_t pixel_at(const Header &h, const uint8_t *row, int64_t x) {
    switch (h.bits) {
        case 1: return h.palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
        case 4: return h.palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF];
        case 8: return h.palette[row[x]];
        case 24: {
            const uint8_t *p = row + x * 3;
            return 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
        }
        default: break;
    }
    uint32_t raw = 0;
    if (h.bits == 16) {
        raw = row[x * 2] | row[x * 2 + 1] << 8;
    } else {
        const uint8_t *p = row + x * 4;
        raw = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    }
    const uint32_t a = h.alpha.max != 0 ? h.alpha(raw) : 0xFF;
    return a << 24 | h.red(raw) << 16 | h.green(raw) << 8 | h.blue(raw);
}

}  // namespace

bool decode_bmp(const uint8_t *data, size_t size, Image &image) {
    const Bytes b(data, size);
    Header h;
    if (!read_header(b, h)) return false;
    const uint64_t stride = (static_cast<uint64_t>(h.width) * h.bits + 31) / 32 * 4;
    const int64_t columns = std::min<int64_t>(image.width(), h.width);
    const int64_t rows = std::min<int64_t>(image.height(), h.height);
    for (int64_t y = 0; y < rows; ++y) {
        const int64_t file_row = h.top_down ? y : h.height - 1 - y;
        // Rows that lie past the end of the data are missing (and their
        // offset could overflow): skip them before multiplying.
        if (static_cast<uint64_t>(file_row) > (size - h.pixel_offset) / stride) continue;
        const uint64_t start = h.pixel_offset + static_cast<uint64_t>(file_row) * stride;
        if (start >= size) continue;
        const uint64_t available = std::min<uint64_t>(stride, size - start);
        // Only pixels whose every bit lies inside the file are decoded.
        const int64_t whole = static_cast<int64_t>(available * 8 / h.bits);
        const int64_t n = std::min(columns, whole);
        uint32_t *out = image.row(static_cast<int32_t>(y));
        for (int64_t x = 0; x < n; ++x) out[x] = pixel_at(h, b.at(start), x);
    }
    return true;
}

bool load_bmp(const std::string &file_name, Image *image) {
    if (image == nullptr) return false;
    std::FILE *file = std::fopen(file_name.c_str(), "rb");
    if (file == nullptr) return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        if (bytes.size() + got > kMaxFileBytes) {
            std::fclose(file);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    return decode_bmp(bytes.data(), bytes.size(), *image);
}

}  // namespace zyn::scene
