#include "wav_trim.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zynplay {

namespace {

uint32_t le32(const unsigned char *p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void put_le32(unsigned char *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool read_at(int fd, void *data, size_t bytes, off_t at) {
    auto *out = static_cast<unsigned char *>(data);
    while (bytes > 0) {
        ssize_t got = pread(fd, out, bytes, at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        bytes -= static_cast<size_t>(got);
        at += got;
    }
    return true;
}

bool write_at(int fd, const void *data, size_t bytes, off_t at) {
    const auto *in = static_cast<const unsigned char *>(data);
    while (bytes > 0) {
        ssize_t done = pwrite(fd, in, bytes, at);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        in += done;
        bytes -= static_cast<size_t>(done);
        at += done;
    }
    return true;
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool keep_block_runs(const std::string &path, int32_t block_bytes, const std::vector<BlockRun> &runs,
                     std::string &error) {
    Fd file{open(path.c_str(), O_RDWR)};
    if (file.fd < 0) {
        error = std::string("cannot reopen: ") + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (fstat(file.fd, &info) != 0 || block_bytes <= 0) {
        error = "cannot inspect the file";
        return false;
    }
    unsigned char head[12];
    if (!read_at(file.fd, head, sizeof head, 0) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return false;
    }
    // Find the data chunk; its size is bounded by what is really on disk.
    off_t at = 12, data_at = -1;
    uint32_t data_bytes = 0;
    while (at + 8 <= info.st_size) {
        unsigned char chunk[8];
        if (!read_at(file.fd, chunk, 8, at)) break;
        uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            data_at = at + 8;
            off_t on_disk = info.st_size - data_at;
            data_bytes = static_cast<off_t>(size) < on_disk ? size : static_cast<uint32_t>(on_disk);
            break;
        }
        at += 8 + static_cast<off_t>(size) + (size & 1);
    }
    if (data_at < 0) {
        error = "the WAV file has no data chunk";
        return false;
    }
    std::vector<unsigned char> buffer(1 << 20);
    off_t written = 0;  // bytes kept so far, from the start of the data
    for (const BlockRun &run : runs) {
        off_t from = static_cast<off_t>(run.first) * block_bytes;
        off_t to = static_cast<off_t>(run.end) * block_bytes;
        if (to > static_cast<off_t>(data_bytes)) to = data_bytes;
        while (from < to) {
            size_t n = static_cast<size_t>(std::min<off_t>(to - from, static_cast<off_t>(buffer.size())));
            if (from != written) {
                if (!read_at(file.fd, buffer.data(), n, data_at + from) ||
                    !write_at(file.fd, buffer.data(), n, data_at + written)) {
                    error = std::string("cannot rewrite: ") + std::strerror(errno);
                    return false;
                }
            }
            from += static_cast<off_t>(n);
            written += static_cast<off_t>(n);
        }
    }
    unsigned char size_field[4];
    put_le32(size_field, static_cast<uint32_t>(written));
    unsigned char riff_field[4];
    put_le32(riff_field, static_cast<uint32_t>(data_at - 8 + written));
    if (!write_at(file.fd, size_field, 4, data_at - 4) || !write_at(file.fd, riff_field, 4, 4) ||
        ftruncate(file.fd, data_at + written) != 0) {
        error = std::string("cannot rewrite: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace zynplay
