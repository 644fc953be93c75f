#include "temp_wav.h"

#include "last_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

void encode(const wav::Header &header, uint8_t (&out)[wav::kHeaderBytes]) {
    if (header.data_bytes == 0 && header.rate == 0)
        std::memset(out, 0, sizeof out);
    else
        wav::encode_header(header, out);
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
        if (errno == EEXIST && caller_name != nullptr && caller_name[0] != '\0')
            fail("the temporary file '%s' exists already (it is left untouched)", path_.c_str());
        else
            fail("cannot create the temporary file '%s': %s", path_.c_str(), std::strerror(errno));
        path_.clear();
        return false;
    }
    created_ = true;
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        ::close(fd);
        fail("cannot write the temporary file '%s'", path_.c_str());
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
    uint8_t bytes[wav::kHeaderBytes];
    encode(header, bytes);
    return write(bytes, sizeof bytes);
}

bool TempWav::finish(const wav::Header &header) {
    if (file_ == nullptr) return false;
    uint8_t bytes[wav::kHeaderBytes];
    encode(header, bytes);
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(bytes, 1, sizeof bytes, file_) == sizeof bytes;
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
