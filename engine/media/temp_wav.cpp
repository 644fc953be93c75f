#include "temp_wav.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace zyn {

namespace {

std::string temp_folder() {
    const char *dir = std::getenv("TMPDIR");
    std::string folder = dir != nullptr && dir[0] != '\0' ? dir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

// Enough attempts to step over every stale file another process left behind.
constexpr int kNameAttempts = 1000;

struct HeaderBytes {
    uint8_t bytes[wav::kHeaderBytes] = {};
};

HeaderBytes encode(const wav::Header &header) {
    HeaderBytes out;
    if (header.data_bytes != 0 || header.rate != 0) wav::encode_header(header, out.bytes);
    return out;
}

}  // namespace

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

bool TempWav::write_header(const wav::Header &header) {
    return write(encode(header).bytes, wav::kHeaderBytes);
}

bool TempWav::finish(const wav::Header &header) {
    if (file_ == nullptr) return false;
    const HeaderBytes bytes = encode(header);
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 &&
              std::fwrite(bytes.bytes, 1, wav::kHeaderBytes, file_) == wav::kHeaderBytes;
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
