#include "wav_writer.h"

#include "wav_header.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace zynplay {
namespace {

std::string errno_text() { return std::strerror(errno); }

bool put_header(std::FILE *file, int32_t rate, int32_t channels, int64_t frames) {
    zyn::wav::Header header;
    header.channels = channels;
    header.rate = rate;
    header.bits = 16;
    header.data_bytes = static_cast<uint32_t>(frames * 2 * channels);
    uint8_t bytes[zyn::wav::kHeaderBytes];
    zyn::wav::encode_header(header, bytes);
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
}

}  // namespace

WavWriter::~WavWriter() {
    if (file_ != nullptr) std::fclose(file_);
}

bool WavWriter::open(const std::string &path, int32_t rate, int32_t channels, std::string &error) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        error = "cannot write '" + path + "': " + errno_text();
        return false;
    }
    rate_ = rate;
    channels_ = channels;
    frames_ = 0;
    if (!put_header(file_, rate, channels, 0)) {
        error = "cannot write '" + path + "': " + errno_text();
        return false;
    }
    return true;
}

bool WavWriter::write(const int16_t *samples, int32_t frames, std::string &error) {
    if (file_ == nullptr) {
        error = "the render file is not open";
        return false;
    }
    const int64_t frame_bytes = 2 * channels_;
    if ((frames_ + frames) * frame_bytes > zyn::wav::data_limit(static_cast<int32_t>(frame_bytes))) {
        error = "the render is longer than a WAV file can hold (4 GiB of samples)";
        return false;
    }
    const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(channels_);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    std::vector<int16_t> little(samples, samples + count);
    zyn::wav::to_little_endian(little.data(), count);
    samples = little.data();
#endif
    if (std::fwrite(samples, sizeof(int16_t), count, file_) != count) {
        error = "cannot write the render: " + errno_text();
        return false;
    }
    frames_ += frames;
    return true;
}

bool WavWriter::finish(std::string &error) {
    if (file_ == nullptr) {
        error = "the render file is not open";
        return false;
    }
    bool ok = std::fflush(file_) == 0 && put_header(file_, rate_, channels_, frames_) && std::fflush(file_) == 0;
    if (!ok) error = "cannot complete the render: " + errno_text();
    if (std::fclose(file_) != 0 && ok) {
        error = "cannot complete the render: " + errno_text();
        ok = false;
    }
    file_ = nullptr;
    return ok;
}

}  // namespace zynplay
