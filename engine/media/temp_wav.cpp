#include "temp_wav.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace zyn {

namespace {

void put16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t *p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

std::string temp_folder() {
    const char *dir = std::getenv("TMPDIR");
    std::string folder = dir != nullptr && dir[0] != '\0' ? dir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

// Enough attempts to step over every stale file another process left behind.
constexpr int kNameAttempts = 1000;

}  // namespace

void encode_wav_header(const WavHeaderFields &f, uint8_t out[44]) {
    const uint32_t bytes_per_sample = static_cast<uint32_t>(f.bits) / 8;
    const uint32_t block_align = bytes_per_sample * static_cast<uint32_t>(f.channels);
    // A header with no data is all zero, which the WAV loader refuses.
    if (f.data_bytes == 0 && f.rate == 0) {
        for (int i = 0; i < 44; ++i) out[i] = 0;
        return;
    }
    out[0] = 'R', out[1] = 'I', out[2] = 'F', out[3] = 'F';
    put32(out + 4, 36 + f.data_bytes);
    out[8] = 'W', out[9] = 'A', out[10] = 'V', out[11] = 'E';
    out[12] = 'f', out[13] = 'm', out[14] = 't', out[15] = ' ';
    put32(out + 16, 16);
    put16(out + 20, 1);
    put16(out + 22, static_cast<uint32_t>(f.channels));
    put32(out + 24, static_cast<uint32_t>(f.rate));
    put32(out + 28, block_align * static_cast<uint32_t>(f.rate));
    put16(out + 32, block_align);
    put16(out + 34, static_cast<uint32_t>(f.bits));
    out[36] = 'd', out[37] = 'a', out[38] = 't', out[39] = 'a';
    put32(out + 40, f.data_bytes);
}

TempWav::~TempWav() { discard(); }

bool TempWav::create(const char *caller_name, const char *prefix, int32_t number,
                     std::atomic<int32_t> &counter) {
    discard();
    int fd = -1;
    if (caller_name != nullptr && caller_name[0] != '\0') {
        path_ = caller_name;
        // Never the caller's existing file (or what a symlink of that name
        // points to): it would be overwritten, then deleted with the rest.
        fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } else {
        const std::string folder = temp_folder();
        for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
            if (attempt > 0) number = counter.fetch_add(1) + 1;
            path_ = folder + prefix + std::to_string(number) + ".wav";
            fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST) break;
        }
    }
    if (fd < 0) {
        path_.clear();
        return false;
    }
    created_ = true;
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        ::close(fd);
        discard();
        return false;
    }
    static_cast<void>(std::setvbuf(file_, nullptr, _IOFBF, 1 << 16));
    return true;
}

bool TempWav::write(const void *data, size_t bytes) {
    if (file_ == nullptr) return false;
    return bytes == 0 || std::fwrite(data, 1, bytes, file_) == bytes;
}

bool TempWav::finish(const WavHeaderFields &fields) {
    if (file_ == nullptr) return false;
    uint8_t header[44];
    encode_wav_header(fields, header);
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(header, 1, 44, file_) == 44;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
}

void TempWav::discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (created_) ::unlink(path_.c_str());
    created_ = false;
}

}  // namespace zyn
