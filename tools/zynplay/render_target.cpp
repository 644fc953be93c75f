#include "render_target.h"

#include "exit_signals.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zynplay {

namespace {

bool same_file(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::string errno_text() { return std::strerror(errno); }

bool unsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM; }

// The file a name stands for: a link is followed to the file it names, so
// replacing it replaces that file and the link stays.
std::string resolved(const std::string &path) {
    struct stat entry;
    if (lstat(path.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode)) return path;
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? std::string(real) : path;
}

}  // namespace

std::string render_target_refusal(const std::string &out, const std::vector<std::string> &inputs, bool force) {
    struct stat target;
    const bool exists = stat(out.c_str(), &target) == 0;
    if (exists)
        for (const std::string &input : inputs) {
            struct stat file;
            if (stat(input.c_str(), &file) == 0 && same_file(file, target))
                return "--out: '" + out + "' is " + (input == out ? "" : "the same file as ") + "one of the files to play" +
                       (input == out ? "" : " ('" + input + "')") + "; name another file";
        }
    struct stat entry;  // a link to nothing is still a name in use
    if (!force && (exists || lstat(out.c_str(), &entry) == 0))
        return "--out: '" + out + "' exists; add --force to replace it";
    return "";
}

RenderTarget::RenderTarget(const std::string &out, bool force) : target_(resolved(out)), force_(force) {}

RenderTarget::~RenderTarget() { discard(); }

bool RenderTarget::create(std::string &error) {
    discard();
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    // The name shows what the file is should a crash leave it behind; the
    // target's own name is cut so that the whole stays within NAME_MAX.
    std::string name = (slash == std::string::npos ? target_ : target_.substr(slash + 1)).substr(0, 200);
    std::string pattern = folder + name + ".zynplay-XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot create a file in " + (folder.empty() ? std::string("the current folder") : folder) + ": " +
                errno_text();
        return false;
    }
    // mkostemp makes the file private; the render gets the permissions of
    // the file it replaces, or those of a new file.
    struct stat old;
    mode_t mode;
    if (stat(target_.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    close(fd);
    temporary_ = pattern;
    remove_on_abrupt_exit(temporary_.c_str());
    return true;
}

bool RenderTarget::commit(std::string &error) {
    if (temporary_.empty()) {
        error = "nothing was rendered";
        return false;
    }
    const char *from = temporary_.c_str(), *to = target_.c_str();
    int result = 0;
    if (force_) {
        result = std::rename(from, to);
    } else {
        result = renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        // A file system without that rename: a hard link is just as exclusive;
        // without hard links either, a last look for the name has to do.
        if (result != 0 && unsupported(errno)) {
            result = link(from, to);
            if (result == 0) unlink(from);
            struct stat entry;
            if (result != 0 && unsupported(errno)) {
                if (lstat(to, &entry) == 0) errno = EEXIST;
                else result = std::rename(from, to);
            }
        }
    }
    const int why = errno;
    remove_on_abrupt_exit(nullptr);
    if (result == 0) {
        temporary_.clear();
        return true;
    }
    // The render is whole: it stays, under the name it was written to.
    error = (why == EEXIST ? "'" + target_ + "' appeared during the render and was not replaced"
                           : "cannot rename the render to '" + target_ + "': " + std::strerror(why)) +
            "; the render is in '" + temporary_ + "'";
    temporary_.clear();
    return false;
}

void RenderTarget::discard() {
    if (temporary_.empty()) return;
    remove_on_abrupt_exit(nullptr);
    unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace zynplay
