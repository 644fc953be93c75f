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
#include "row_tables.h"
#include "saturate.h"
#include "fill_thread.h"
#include "last_error.h"
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
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        struct stat info;
        const bool known = ::fstat(fd_, &info) == 0;
        if (!known || !S_ISREG(info.st_mode)) {
            error_ = !known ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
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
    // Why the file did not open (an errno value).
    int error() const { return error_; }
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
    int error_ = 0;
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

// Why a file failed, as it follows the file's quoted name (fail_about_file).
bool refuse(const char *reason) { return fail("%s", reason) != 0; }

// The advice that goes with a format this loader leaves to ZYN_LOAD_FILE.
constexpr const char *kUseLoadFile = " by ZYN_LOAD_WAVFILE (use ZYN_LOAD_FILE)";

bool refuse_format_tag(int32_t tag) {
    if (tag == 3) return fail(": floating-point samples are not supported%s", kUseLoadFile) != 0;
    if (tag == 0xFFFE) return fail(": WAVE_FORMAT_EXTENSIBLE is not supported%s", kUseLoadFile) != 0;
    return fail(": format %d is not PCM, the one format supported%s", tag, kUseLoadFile) != 0;
}

bool parse(ByteSource &src, WavHeader *h, std::vector<uint8_t> &window) {
    const int64_t length = src.length();
    if (length <= 44) return refuse(" is too short to be a WAV file");
    uint8_t head[12];
    if (src.read_at(0, head, 12) != 12) return refuse(" cannot be read");
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return refuse(" is not a RIFF/WAVE file");

    const int64_t fmt = find_id(src, 12, "fmt ", window);
    if (fmt < 0) return refuse(" has no fmt chunk");
    uint8_t f[20];
    if (src.read_at(fmt + 4, f, sizeof f) != sizeof f) return refuse(" ends inside its fmt chunk");
    h->fmt_size = static_cast<int32_t>(le32(f));
    h->format_tag = le16(f + 4);
    h->channels = le16(f + 6);
    h->rate = static_cast<int32_t>(le32(f + 8));
    h->byte_rate = static_cast<int32_t>(le32(f + 12));
    h->block_align = le16(f + 16);
    h->bits = le16(f + 18);
    if (h->fmt_size < 16) return refuse(" has a fmt chunk too short to describe its samples");
    if (h->format_tag != 1) return refuse_format_tag(h->format_tag);

    const int64_t data = find_id(src, fmt + 24, "data", window);
    if (data < 0) return refuse(" has no data chunk");
    uint8_t d[4];
    if (src.read_at(data + 4, d, 4) != 4) return refuse(" ends inside its data chunk");
    h->data_size = static_cast<int32_t>(le32(d));
    // At least one sample byte must follow the data size.
    if (h->data_size <= 0 || data + 8 >= length) return refuse(" holds no samples");
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

    // Up to max frames that lie one after the other in the window; *count
    // says how many (at least one).
    const uint8_t *run(int64_t max, int64_t *count) {
        if (next_ + stride_ > window_end_) refill();
        const uint8_t *first = window_.data() + (next_ - window_start_);
        int64_t n = (window_end_ - next_) / stride_;
        if (n > max) n = max;
        next_ += n * stride_;
        *count = n;
        return first;
    }

    int64_t stride() const { return stride_; }

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

// A source frame as stored: unsigned bytes or signed 16-bit values.
struct RawFrame {
    int32_t left;
    int32_t right;
};

template <int Bytes, bool Stereo>
inline RawFrame read_raw(const uint8_t *p) {
    if constexpr (Bytes == 1) {
        return {p[0], Stereo ? p[1] : p[0]};
    } else {
        const int32_t left = static_cast<int16_t>(le16(p));
        return {left, Stereo ? static_cast<int16_t>(le16(p + 2)) : left};
    }
}

// A stored value scaled into -0.5 .. +0.5 as a 32-bit float; 16-bit values
// use 1/65534 as a float.
template <int Bytes>
inline float to_half(int32_t raw) {
    if constexpr (Bytes == 1)
        return static_cast<float>(raw - 128) * 0.00390625f;
    else
        return static_cast<float>(raw) * 1.5259254723787308e-05f;
}

// On a stereo device each output sample depends on one stored value only, so
// it comes from a table built once: a lookup per sample instead of a
// multiply and a rounding.
template <int Bytes>
const int16_t *stereo_table() {
    static constexpr int kSize = Bytes == 1 ? 256 : 65536;
    static const std::vector<int16_t> table = [] {
        std::vector<int16_t> t(kSize);
        for (int i = 0; i < kSize; ++i) {
            const int32_t raw = Bytes == 1 ? i : static_cast<int16_t>(static_cast<uint16_t>(i));
            t[static_cast<size_t>(i)] = round_sample(32767.0 * static_cast<double>(to_half<Bytes>(raw)));
        }
        return t;
    }();
    return table.data();
}

template <int Bytes>
inline size_t table_index(int32_t raw) {
    return Bytes == 1 ? static_cast<size_t>(raw) : static_cast<uint16_t>(raw);
}

template <int Bytes, bool MonoOut>
inline void write_frame(int16_t *out, int64_t k, double mono_factor, const int16_t *table,
                        RawFrame f) {
    if constexpr (MonoOut) {
        out[k] = round_sample(mono_factor * static_cast<double>(to_half<Bytes>(f.left)) +
                              mono_factor * static_cast<double>(to_half<Bytes>(f.right)));
    } else {
        out[2 * k] = table[table_index<Bytes>(f.left)];
        out[2 * k + 1] = table[table_index<Bytes>(f.right)];
    }
}

// Nearest-sample conversion. Up (or equal rate): every output frame takes the
// source frame its position falls in, so source frames repeat. Down: every
// output frame takes the first source frame that falls on it, and the last
// output frame is left silent. Positions are never negative, so truncation
// is their floor.
template <int Bytes, bool Stereo, bool MonoOut>
void convert_frames(FrameReader &reader, int64_t frames_in, int64_t frames_out, double step,
                    int16_t *out) {
    const int16_t *table = MonoOut ? nullptr : stereo_table<Bytes>();
    if (step == 1.0) {
        // Equal rates: every source frame once, in order, a window at a time.
        const int64_t stride = reader.stride();
        for (int64_t k = 0; k < frames_out;) {
            int64_t n = 0;
            const uint8_t *p = reader.run(frames_out - k, &n);
            for (int64_t i = 0; i < n; ++i, p += stride)
                write_frame<Bytes, MonoOut>(out, k + i, 16383.0, table, read_raw<Bytes, Stereo>(p));
            k += n;
        }
    } else if (frames_in <= frames_out) {
        double position = 0.0;
        int64_t source = 0;
        int64_t last_read = -1;
        RawFrame f{0, 0};
        for (int64_t k = 0; k < frames_out; ++k) {
            if (source != last_read) {
                f = read_raw<Bytes, Stereo>(reader.next());
                last_read = source;
            }
            write_frame<Bytes, MonoOut>(out, k, 16383.0, table, f);
            position += step;
            source = static_cast<int64_t>(position);
            if (source >= frames_in) break;
        }
    } else {
        const double r = 1.0 / step;
        double position = 0.0;
        int64_t index = 0;
        int64_t last_written = -1;
        for (int64_t i = 0; i < frames_in; ++i) {
            const RawFrame f = read_raw<Bytes, Stereo>(reader.next());
            if (index != last_written) {
                write_frame<Bytes, MonoOut>(out, index, 16383.5, table, f);
                last_written = index;
            }
            position += r;
            index = static_cast<int64_t>(position);
            if (index >= frames_out - 1) break;
        }
    }
}

template <int Bytes>
void convert_all(FrameReader &reader, bool stereo_in, bool mono_out, int64_t frames_in,
                 int64_t frames_out, double step, int16_t *out) {
    if (stereo_in) {
        if (mono_out)
            convert_frames<Bytes, true, true>(reader, frames_in, frames_out, step, out);
        else
            convert_frames<Bytes, true, false>(reader, frames_in, frames_out, step, out);
    } else {
        if (mono_out)
            convert_frames<Bytes, false, true>(reader, frames_in, frames_out, step, out);
        else
            convert_frames<Bytes, false, false>(reader, frames_in, frames_out, step, out);
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
    if (sample_bytes == 0)
        return fail(": %d-bit samples are not supported%s", h.bits, kUseLoadFile) != 0;
    if (h.channels < 1 || h.channels > 2)
        return fail(": %d channels are not supported%s", h.channels, kUseLoadFile) != 0;
    if (h.block_align == 0) return refuse(" says its frames take 0 bytes (block align 0)");
    if (h.rate <= 0) return fail(": a sample rate of %d Hz", h.rate) != 0;
    if (h.block_align < sample_bytes * h.channels)
        return fail(": frames of %d bytes cannot hold %d channels", h.block_align, h.channels) != 0;

    const int64_t align = h.block_align;
    const int64_t declared = h.data_size / align;
    const int64_t available = (h.file_length - h.data_offset + align - 1) / align;
    const int64_t frames_in = declared < available ? declared : available;
    if (frames_in < 1) return refuse(" holds no whole frame");

    const double step = static_cast<double>(h.rate) / static_cast<double>(rate);
    const double wanted = std::nearbyint(static_cast<double>(frames_in) * (1.0 / step));
    const double size = static_cast<double>(bits / 8) * wanted * channels;
    if (!(wanted >= 1.0)) return refuse(" converts to no frame at the device's rate");
    if (size > static_cast<double>(max_bytes))
        return fail(" converts to %.0f bytes, more than a wave may hold", size) != 0;
    const auto frames_out = static_cast<int64_t>(wanted);
    const auto bytes_out = static_cast<int64_t>(size);

    auto *out = static_cast<int16_t *>(std::calloc(static_cast<size_t>(bytes_out), 1));
    if (out == nullptr)
        return fail(": no memory for its %lld converted bytes", static_cast<long long>(bytes_out)) != 0;
    FrameReader reader(src, h.data_offset, align, h.data_offset + frames_in * align, window);
    const bool stereo_in = h.channels == 2;
    const bool mono_out = channels == 1;
    if (sample_bytes == 1)
        convert_all<1>(reader, stereo_in, mono_out, frames_in, frames_out, step, out);
    else
        convert_all<2>(reader, stereo_in, mono_out, frames_in, frames_out, step, out);
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
                        int16_t **samples, int32_t *bytes, int64_t max_bytes) {
    if (path == nullptr) return fail_null("ZYN_LOAD_WAVFILE", "file") != 0;
    FileSource src(path);
    if (!src.is_open()) return fail("cannot open '%s': %s", path, std::strerror(src.error())) != 0;
    if (convert(src, rate, bits, channels, samples, bytes, max_bytes)) return true;
    return fail_about_file(path) != 0;
}

}  // namespace zyn

using namespace zyn;

extern "C" int32_t ZYN_LOAD_WAVFILE(const char *file, int32_t *wave) {
    if (wave == nullptr) return fail_null("ZYN_LOAD_WAVFILE", "wave");
    // File input and a large allocation have no place on the output thread.
    if (inside_fill()) {
        *wave = -1;
        return fail_in_callback("ZYN_LOAD_WAVFILE");
    }
    EngineState &e = engine();
    int32_t rate = 0, bits = 0, channels = 0;
    {
        EngineLock hold(e.lock);
        const PlugoutRecord *device = open_plugout();
        if (e.initialized.load() == 0 || device == nullptr) {
            *wave = -1;
            return fail_not_initialised();
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
    // Stored in the format it was converted to, even when the device was
    // re-opened in another meanwhile: the wave records it and plays right.
    *wave = store_wave(samples, bytes, rate, channels);
    if (*wave < 0) {
        std::free(samples);
        return fail_not_initialised();
    }
    return 1;
}
