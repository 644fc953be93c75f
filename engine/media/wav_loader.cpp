// ZYN_LOAD_WAVFILE: parse a RIFF/WAVE PCM file, convert it to the device
// format and store it as a wave.
//
// The chunk ids are found by a byte-by-byte scan rather than by following
// chunk sizes, so files with a longer fmt chunk, a LIST chunk or a broken
// chunk size in front of the samples still load. The file is read through a
// 64 KiB window, never one call per sample.
//
// Decisions for files the format leaves open:
//  - block align 0, channel counts other than 1 or 2, sample containers wider
//    than 16 bits, a block align smaller than one frame and rates <= 0 are
//    refused; bit depths below 16 in a 16-bit container (12-bit files) and
//    below 8 in an 8-bit container are read as their container;
//  - a file shorter than its data size loads the frames that are there; the
//    missing bytes of a last, partial frame read as zero. The wave is never
//    longer than the file can fill, so a bogus data size cannot make the
//    loader allocate more than the file's samples convert to;
//  - a file that converts to no frame at all is refused.
#include "wav_loader.h"

#include "engine_state.h"
#include "zyn.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zyn {
namespace {

constexpr size_t kWindow = 64 * 1024;  // larger than any block align (16 bits)

// Random-access bytes of a file or of an image in memory.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual int64_t length() const = 0;
    // Copies up to n bytes from offset; returns how many were there.
    virtual size_t read_at(int64_t offset, uint8_t *dst, size_t n) = 0;
};

class MemorySource final : public ByteSource {
  public:
    MemorySource(const uint8_t *image, size_t size) : image_(image), size_(size) {}
    int64_t length() const override { return static_cast<int64_t>(size_); }
    size_t read_at(int64_t offset, uint8_t *dst, size_t n) override {
        if (offset < 0 || static_cast<uint64_t>(offset) >= size_) return 0;
        const size_t have = size_ - static_cast<size_t>(offset);
        const size_t take = n < have ? n : have;
        std::memcpy(dst, image_ + offset, take);
        return take;
    }

  private:
    const uint8_t *image_;
    size_t size_;
};

class FileSource final : public ByteSource {
  public:
    explicit FileSource(const char *path) {
        // O_NONBLOCK: a FIFO given as a file name must not hang the caller.
        fd_ = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        struct stat info;
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        length_ = static_cast<int64_t>(info.st_size);
    }
    ~FileSource() override {
        if (fd_ >= 0) ::close(fd_);
    }
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    bool is_open() const { return fd_ >= 0; }
    int64_t length() const override { return length_; }
    size_t read_at(int64_t offset, uint8_t *dst, size_t n) override {
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, dst + done, n - done, static_cast<off_t>(offset) +
                                                                       static_cast<off_t>(done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        return done;
    }

  private:
    int fd_ = -1;
    int64_t length_ = 0;
};

inline uint32_t le32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t le16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// First offset >= from where the 4-byte id starts, or -1 when the file ends
// first. Any byte offset counts, whatever the chunk sizes say.
int64_t find_id(ByteSource &src, int64_t from, const char *id, std::vector<uint8_t> &window) {
    const int64_t length = src.length();
    int64_t pos = from;
    while (pos + 4 <= length) {
        const int64_t rest = length - pos;
        const size_t want = rest < static_cast<int64_t>(kWindow) ? static_cast<size_t>(rest) : kWindow;
        const size_t got = src.read_at(pos, window.data(), want);
        if (got < 4) return -1;
        const void *hit = ::memmem(window.data(), got, id, 4);
        if (hit != nullptr) return pos + (static_cast<const uint8_t *>(hit) - window.data());
        if (got < want) return -1;  // the file ended early (shrunk or unreadable)
        pos += static_cast<int64_t>(got) - 3;
    }
    return -1;
}

bool parse(ByteSource &src, WavHeader *h, std::vector<uint8_t> &window) {
    const int64_t length = src.length();
    if (length <= 44) return false;
    uint8_t head[12];
    if (src.read_at(0, head, 12) != 12) return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;

    const int64_t fmt = find_id(src, 12, "fmt ", window);
    if (fmt < 0) return false;
    uint8_t f[20];
    if (src.read_at(fmt + 4, f, sizeof f) != sizeof f) return false;
    h->fmt_size = static_cast<int32_t>(le32(f));
    h->format_tag = le16(f + 4);
    h->channels = le16(f + 6);
    h->rate = static_cast<int32_t>(le32(f + 8));
    h->byte_rate = static_cast<int32_t>(le32(f + 12));
    h->block_align = le16(f + 16);
    h->bits = le16(f + 18);
    if (h->fmt_size < 16 || h->format_tag != 1) return false;

    const int64_t data = find_id(src, fmt + 24, "data", window);
    if (data < 0) return false;
    uint8_t d[4];
    if (src.read_at(data + 4, d, 4) != 4) return false;
    h->data_size = static_cast<int32_t>(le32(d));
    // At least one sample byte must follow the data size.
    if (h->data_size <= 0 || data + 8 >= length) return false;
    h->data_offset = data + 8;
    h->file_length = length;
    return true;
}

// Bytes of one sample as stored: 1 or 2; 0 for anything this loader refuses.
int32_t container_bytes(int32_t bits) {
    if (bits >= 1 && bits <= 8) return 1;
    if (bits >= 9 && bits <= 16) return 2;
    return 0;
}

// Hands out the source frames in file order through a window of the file.
// Bytes past the end of the file read as zero.
class FrameReader {
  public:
    FrameReader(ByteSource &src, int64_t first, int64_t stride, int64_t limit,
                std::vector<uint8_t> &window)
        : src_(src), next_(first), stride_(stride), limit_(limit), window_(window) {}

    const uint8_t *next() {
        if (next_ + stride_ > window_end_) refill();
        const uint8_t *frame = window_.data() + (next_ - window_start_);
        next_ += stride_;
        return frame;
    }

  private:
    void refill() {
        int64_t want = limit_ - next_;
        if (want > static_cast<int64_t>(kWindow)) want = static_cast<int64_t>(kWindow) / stride_ * stride_;
        if (want < stride_) want = stride_;
        const size_t got = src_.read_at(next_, window_.data(), static_cast<size_t>(want));
        std::memset(window_.data() + got, 0, static_cast<size_t>(want) - got);
        window_start_ = next_;
        window_end_ = next_ + want;
    }

    ByteSource &src_;
    int64_t next_;
    int64_t stride_;
    int64_t limit_;
    std::vector<uint8_t> &window_;
    int64_t window_start_ = 0;
    int64_t window_end_ = 0;
};

// Round half to even for |x| < 2^51 under the default rounding mode, without
// a library call per sample: adding 1.5 x 2^52 leaves no fraction bits.
inline int16_t round_sample(double x) {
    constexpr double kShift = 6755399441055744.0;
    double r = (x + kShift) - kShift;
    if (r > 32767.0) r = 32767.0;
    if (r < -32768.0) r = -32768.0;
    return static_cast<int16_t>(r);
}

struct Frame {
    float left;
    float right;
};

template <int Bytes, bool Stereo>
inline Frame decode(const uint8_t *p) {
    if constexpr (Bytes == 1) {
        const float left = static_cast<float>(static_cast<int32_t>(p[0]) - 128) * 0.00390625f;
        if constexpr (Stereo)
            return {left, static_cast<float>(static_cast<int32_t>(p[1]) - 128) * 0.00390625f};
        return {left, left};
    } else {
        // 1/65534 as a 32-bit float: both channels stay inside -0.5 .. +0.5.
        constexpr float kScale = 1.5259254723787308e-05f;
        const float left = static_cast<float>(static_cast<int16_t>(le16(p))) * kScale;
        if constexpr (Stereo)
            return {left, static_cast<float>(static_cast<int16_t>(le16(p + 2))) * kScale};
        return {left, left};
    }
}

inline void write_frame(int16_t *out, int64_t k, bool mono_out, double mono_factor, Frame f) {
    if (mono_out) {
        out[k] = round_sample(mono_factor * f.left + mono_factor * f.right);
    } else {
        out[2 * k] = round_sample(32767.0 * f.left);
        out[2 * k + 1] = round_sample(32767.0 * f.right);
    }
}

// Nearest-sample conversion. Up (or equal rate): every output frame takes the
// source frame its position falls in, so source frames repeat. Down: every
// output frame takes the first source frame that falls on it, and the last
// output frame is left silent.
template <int Bytes, bool Stereo>
void convert_frames(FrameReader &reader, int64_t frames_in, int64_t frames_out, double step,
                    bool mono_out, int16_t *out) {
    if (frames_in <= frames_out) {
        double position = 0.0;
        int64_t source = 0;
        int64_t last_read = -1;
        Frame f{0.0f, 0.0f};
        for (int64_t k = 0; k < frames_out; ++k) {
            if (source != last_read) {
                f = decode<Bytes, Stereo>(reader.next());
                last_read = source;
            }
            write_frame(out, k, mono_out, 16383.0, f);
            position += step;
            source = static_cast<int64_t>(std::floor(position));
            if (source >= frames_in) break;
        }
    } else {
        const double r = 1.0 / step;
        double position = 0.0;
        int64_t index = 0;
        int64_t last_written = -1;
        for (int64_t i = 0; i < frames_in; ++i) {
            const Frame f = decode<Bytes, Stereo>(reader.next());
            if (index != last_written) {
                write_frame(out, index, mono_out, 16383.5, f);
                last_written = index;
            }
            position += r;
            index = static_cast<int64_t>(std::floor(position));
            if (index >= frames_out - 1) break;
        }
    }
}

bool convert(ByteSource &src, int32_t rate, int32_t bits, int32_t channels, int16_t **samples,
             int32_t *bytes, int64_t max_bytes) {
    // The engine's samples are 16-bit; any other device format would make the
    // block below too small for what is written into it.
    if (samples == nullptr || bytes == nullptr || rate <= 0 || bits != 16 || channels < 1)
        return false;
    std::vector<uint8_t> window(kWindow);
    WavHeader h;
    if (!parse(src, &h, window)) return false;

    const int32_t sample_bytes = container_bytes(h.bits);
    if (h.block_align == 0 || sample_bytes == 0 || h.channels < 1 || h.channels > 2 ||
        h.rate <= 0 || h.block_align < sample_bytes * h.channels)
        return false;

    const int64_t align = h.block_align;
    const int64_t declared = h.data_size / align;
    const int64_t available = (h.file_length - h.data_offset + align - 1) / align;
    const int64_t frames_in = declared < available ? declared : available;
    if (frames_in < 1) return false;

    const double step = static_cast<double>(h.rate) / static_cast<double>(rate);
    const double wanted = std::nearbyint(static_cast<double>(frames_in) * (1.0 / step));
    const double size = static_cast<double>(bits / 8) * wanted * channels;
    if (!(wanted >= 1.0) || size > static_cast<double>(max_bytes)) return false;
    const auto frames_out = static_cast<int64_t>(wanted);
    const auto bytes_out = static_cast<int64_t>(size);

    auto *out = static_cast<int16_t *>(std::calloc(static_cast<size_t>(bytes_out), 1));
    if (out == nullptr) return false;
    FrameReader reader(src, h.data_offset, align, h.data_offset + frames_in * align, window);
    const bool mono_out = channels == 1;
    if (sample_bytes == 1) {
        if (h.channels == 2)
            convert_frames<1, true>(reader, frames_in, frames_out, step, mono_out, out);
        else
            convert_frames<1, false>(reader, frames_in, frames_out, step, mono_out, out);
    } else {
        if (h.channels == 2)
            convert_frames<2, true>(reader, frames_in, frames_out, step, mono_out, out);
        else
            convert_frames<2, false>(reader, frames_in, frames_out, step, mono_out, out);
    }
    *samples = out;
    *bytes = static_cast<int32_t>(bytes_out);
    return true;
}

}  // namespace

bool parse_wav_image(const uint8_t *image, size_t size, WavHeader *header) {
    if (image == nullptr || header == nullptr) return false;
    MemorySource src(image, size);
    std::vector<uint8_t> window(kWindow);
    return parse(src, header, window);
}

bool convert_wav_image(const uint8_t *image, size_t size, int32_t rate, int32_t bits,
                       int32_t channels, int16_t **samples, int32_t *bytes, int64_t max_bytes) {
    if (image == nullptr) return false;
    MemorySource src(image, size);
    return convert(src, rate, bits, channels, samples, bytes, max_bytes);
}

bool load_wav_converted(const char *path, int32_t rate, int32_t bits, int32_t channels,
                        int16_t **samples, int32_t *bytes) {
    if (path == nullptr) return false;
    FileSource src(path);
    if (!src.is_open()) return false;
    return convert(src, rate, bits, channels, samples, bytes, kWavMaxOutputBytes);
}

}  // namespace zyn

using namespace zyn;

extern "C" int32_t ZYN_LOAD_WAVFILE(const char *file, int32_t *wave) {
    if (wave == nullptr) return 0;
    EngineState &e = engine();
    int32_t rate = 0, bits = 0, channels = 0;
    {
        EngineLock hold(e.lock);
        const PlugoutRecord *device = open_plugout();
        if (e.initialized.load() == 0 || device == nullptr) {
            *wave = -1;
            return 0;
        }
        rate = device->rate;
        bits = device->bits;
        channels = device->channels;
    }
    // File input and conversion run without the lock: the mixer keeps playing.
    int16_t *samples = nullptr;
    int32_t bytes = 0;
    if (!load_wav_converted(file, rate, bits, channels, &samples, &bytes)) {
        *wave = -1;
        return 0;
    }
    *wave = store_wave(samples, bytes);
    return 1;
}
