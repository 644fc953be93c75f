// The bytes of a sound, from a file or from the caller's memory, read at any
// offset. The modern loader decodes straight from here: a file is read in
// pieces as the decoder asks (never copied whole, never written to a
// temporary file) and memory is read where the caller keeps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zyn {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Total bytes.
    virtual int64_t length() const = 0;
    // Copies up to n bytes from offset; returns how many were copied (fewer
    // at the end, 0 past it or on a read error).
    virtual size_t read_at(int64_t offset, void *dst, size_t n) = 0;
    // How failure texts name the source: 'path' or "the data in memory".
    const std::string &name() const { return name_; }

  protected:
    std::string name_;
};

class MemoryBytes final : public ByteSource {
  public:
    MemoryBytes(const void *data, size_t size);
    int64_t length() const override { return static_cast<int64_t>(size_); }
    size_t read_at(int64_t offset, void *dst, size_t n) override;

  private:
    const uint8_t *data_;
    size_t size_;
};

class FileBytes final : public ByteSource {
  public:
    explicit FileBytes(const char *path);
    ~FileBytes() override;
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    // 0 when the file is open and regular, else the errno that refused it
    // (EISDIR for a folder, EINVAL for another kind of file).
    int open_error() const { return error_; }
    int64_t length() const override { return length_; }
    size_t read_at(int64_t offset, void *dst, size_t n) override;
    // Whether the file now has another length than when it was opened (cut
    // short or rewritten in place while it was being read).
    bool changed_on_disk() const;

  private:
    int fd_ = -1;
    int error_ = 0;
    int64_t length_ = 0;
};

// A stretch [offset, offset + length) of another source, seen as a whole:
// a decoder handed the audio after a tag sees nothing in front of it, and
// one handed the first link of a chained stream nothing after it.
class ByteWindow final : public ByteSource {
  public:
    // From offset to the end of inner, or length bytes of it (clamped to
    // what inner holds).
    ByteWindow(ByteSource &inner, int64_t offset, int64_t length = -1);
    int64_t length() const override { return length_; }
    size_t read_at(int64_t offset, void *dst, size_t n) override;

  private:
    ByteSource &inner_;
    int64_t offset_;
    int64_t length_;
};

// Bytes of its own (a header written anew) and stretches of another source,
// one after the other: a container image without the parts a decoder is
// better off not seeing.
class SplicedBytes final : public ByteSource {
  public:
    explicit SplicedBytes(ByteSource &inner);
    // Appends bytes of its own, or length bytes of inner from offset (the
    // caller checks that inner holds them).
    void add_bytes(const void *data, size_t n);
    void add_stretch(int64_t offset, int64_t length);
    int64_t length() const override { return length_; }
    size_t read_at(int64_t offset, void *dst, size_t n) override;

  private:
    struct Piece {
        int64_t at;      // where it starts in this source
        int64_t length;
        int64_t from;    // offset in inner, or in own_ when own
        bool own;
    };
    ByteSource &inner_;
    std::vector<Piece> pieces_;
    std::vector<uint8_t> own_;
    int64_t length_ = 0;
};

// A read position over a source, as the decoder libraries' callbacks want it.
struct ByteCursor {
    ByteSource *source = nullptr;
    int64_t position = 0;

    size_t read(void *dst, size_t n) {
        const size_t got = source->read_at(position, dst, n);
        position += static_cast<int64_t>(got);
        return got;
    }
    // whence as for lseek; -1 for a position before the start.
    int64_t seek(int64_t offset, int whence);
};

}  // namespace zyn
