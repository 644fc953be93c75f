#include "byte_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zyn {

MemoryBytes::MemoryBytes(const void *data, size_t size)
    : data_(static_cast<const uint8_t *>(data)), size_(data == nullptr ? 0 : size) {
    name_ = "the data in memory";
}

size_t MemoryBytes::read_at(int64_t offset, void *dst, size_t n) {
    if (offset < 0 || static_cast<uint64_t>(offset) >= size_) return 0;
    const size_t have = size_ - static_cast<size_t>(offset);
    const size_t take = n < have ? n : have;
    std::memcpy(dst, data_ + offset, take);
    return take;
}

FileBytes::FileBytes(const char *path) {
    name_ = std::string("'") + path + "'";
    // O_NONBLOCK: a FIFO given as a file name must not hang the caller.
    fd_ = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    struct stat info {};
    const bool known = ::fstat(fd_, &info) == 0;
    if (!known || !S_ISREG(info.st_mode)) {
        error_ = !known ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd_);
        fd_ = -1;
        return;
    }
    length_ = static_cast<int64_t>(info.st_size);
}

FileBytes::~FileBytes() {
    if (fd_ >= 0) ::close(fd_);
}

size_t FileBytes::read_at(int64_t offset, void *dst, size_t n) {
    if (fd_ < 0 || offset < 0) return 0;
    auto *out = static_cast<uint8_t *>(dst);
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool FileBytes::changed_on_disk() const {
    struct stat info {};
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 && static_cast<int64_t>(info.st_size) != length_;
}

ByteWindow::ByteWindow(ByteSource &inner, int64_t offset, int64_t length) : inner_(inner) {
    const int64_t total = inner.length();
    offset_ = offset < 0 ? 0 : offset > total ? total : offset;
    length_ = total - offset_;
    if (length >= 0 && length < length_) length_ = length;
    name_ = inner.name();
}

size_t ByteWindow::read_at(int64_t offset, void *dst, size_t n) {
    if (offset < 0 || offset >= length_) return 0;
    const auto left = static_cast<uint64_t>(length_ - offset);
    return inner_.read_at(offset_ + offset, dst, n < left ? n : static_cast<size_t>(left));
}

SplicedBytes::SplicedBytes(ByteSource &inner) : inner_(inner) { name_ = inner.name(); }

void SplicedBytes::add_bytes(const void *data, size_t n) {
    if (n == 0) return;
    pieces_.push_back({length_, static_cast<int64_t>(n), static_cast<int64_t>(own_.size()), true});
    const auto *p = static_cast<const uint8_t *>(data);
    own_.insert(own_.end(), p, p + n);
    length_ += static_cast<int64_t>(n);
}

void SplicedBytes::add_stretch(int64_t offset, int64_t length) {
    if (length <= 0) return;
    pieces_.push_back({length_, length, offset, false});
    length_ += length;
}

size_t SplicedBytes::read_at(int64_t offset, void *dst, size_t n) {
    if (offset < 0 || offset >= length_) return 0;
    auto *out = static_cast<uint8_t *>(dst);
    size_t done = 0;
    for (const Piece &piece : pieces_) {
        if (done == n) break;
        const int64_t at = offset + static_cast<int64_t>(done);
        if (at >= piece.at + piece.length) continue;
        const int64_t into = at - piece.at;
        const auto left = static_cast<uint64_t>(piece.length - into);
        const size_t take = n - done < left ? n - done : static_cast<size_t>(left);
        if (piece.own) {
            std::memcpy(out + done, own_.data() + piece.from + into, take);
        } else {
            const size_t got = inner_.read_at(piece.from + into, out + done, take);
            done += got;
            if (got < take) break;  // the inner source ended or failed
            continue;
        }
        done += take;
    }
    return done;
}

int64_t ByteCursor::seek(int64_t offset, int whence) {
    int64_t base = 0;
    switch (whence) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = position; break;
        case SEEK_END: base = source->length(); break;
        default: return -1;
    }
    if ((offset < 0 && base + offset < 0) || (offset > 0 && offset > INT64_MAX - base)) return -1;
    position = base + offset;
    return position;
}

}  // namespace zyn
