#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace vorda {

namespace {

std::string systemError(int err) {
    return std::strerror(err);
}

// The one form of every write failure: the path as the caller gave it, then the reason.
Status cannotWrite(const std::string& path, int err, const std::string& what = {}) {
    return Status::failure("cannot write \"" + path + "\": " + what + systemError(err));
}

Status cannotRead(const std::string& path, int err) {
    return Status::failure("cannot read \"" + path + "\": " + systemError(err));
}

// A file descriptor closed when it goes.
class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    // Closes now; false (with errno set) when close reports an error.
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_;
};

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A temporary file beside the target, removed when it goes unless it has been put in place.
class TempFile {
  public:
    TempFile() = default;
    ~TempFile() {
        fd_.reset();
        if (!path_.empty() && !placed_) {
            ::unlink(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates the file, readable and writable by its owner only, in the target's folder, so
    // that the rename stays within one file system: ".NAME.XXXXXX". 0 or the errno value.
    int createBeside(const std::string& target) {
        const std::string dir = directoryOf(target);
        std::string pattern = (dir == "/" ? std::string() : dir) + "/." +
                              baseNameOf(target).substr(0, 200) + ".XXXXXX";
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        fd_.reset(fd);
        path_ = std::move(pattern);
        return 0;
    }

    int fd() const { return fd_.get(); }

    // Closes the file; false (with errno set) when close reports an error.
    bool close() { return fd_.close(); }

    // Renames the (closed) file over the target. 0 or the errno value.
    int putInPlace(const std::string& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) {
            return errno;
        }
        placed_ = true;
        return 0;
    }

  private:
    UniqueFd fd_;
    std::string path_;
    bool placed_ = false;
};

// The file that writing to path really changes: the end of a chain of symbolic links. A
// missing file (or a link to one) resolves to the name it will be created under.
Status resolveTarget(const std::string& path, std::string& target) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (real) {
        target = real.get();
        return Status::success();
    }
    if (errno != ENOENT) {
        return cannotWrite(path, errno);
    }
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                target = current;
                return Status::success();
            }
            return cannotWrite(path, errno);
        }
        if (!S_ISLNK(st.st_mode)) {
            target = current;
            return Status::success();
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0) {
            return cannotWrite(path, errno);
        }
        link.resize(static_cast<std::size_t>(n));
        current = (!link.empty() && link.front() == '/') ? link : directoryOf(current) + "/" + link;
    }
    return cannotWrite(path, ELOOP);
}

// What stands at the target before the write: whether it exists, and its metadata, which the
// replacement carries over.
struct TargetState {
    bool exists = false;
    struct stat st {};
};

// Refuses a target that is no regular file, and one we may not write: the rename would
// otherwise replace a read-only file, or one of another user, all the same.
Status inspectTarget(const std::string& path, const std::string& target, TargetState& state) {
    state.exists = ::stat(target.c_str(), &state.st) == 0;
    if (!state.exists && errno != ENOENT) {
        return cannotWrite(path, errno);
    }
    if (!state.exists) {
        return Status::success();
    }
    if (!S_ISREG(state.st.st_mode)) {
        return cannotWrite(path, S_ISDIR(state.st.st_mode) ? EISDIR : EINVAL);
    }
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        return cannotWrite(path, errno);
    }
    return Status::success();
}

// 0 or the errno value.
int writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Gives the new file the target's permissions (a new target: 0666 less the umask) and, where
// we may (only a privileged user can give a file away), its owner. 0 or the errno value.
int carryOverOwnerAndMode(int fd, const TargetState& state) {
    if (state.exists && (state.st.st_uid != ::geteuid() || state.st.st_gid != ::getegid())) {
        [[maybe_unused]] const int ignored = ::fchown(fd, state.st.st_uid, state.st.st_gid);
    }
    const mode_t mode = state.exists ? (state.st.st_mode & 07777) : (0666 & ~currentUmask());
    return ::fchmod(fd, mode) == 0 ? 0 : errno;
}

// Makes a rename in the folder durable; the new content is in place whatever this gives.
void syncFolder(const std::string& dir) {
    UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) {
        ::fsync(dirFd.get());
    }
}

}  // namespace

Status readFileBytes(const std::string& path, std::string& bytes, bool& exists) {
    bytes.clear();
    exists = false;
    // Only a regular file is read: without O_NONBLOCK opening a FIFO would wait for a writer,
    // and a device such as /dev/zero would be read until memory runs out.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return Status::success();
        }
        return cannotRead(path, errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return cannotRead(path, errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return cannotRead(path, EISDIR);
    }
    if (!S_ISREG(st.st_mode)) {
        return Status::failure("cannot read \"" + path + "\": not a regular file");
    }
    if (st.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            bytes.clear();
            return cannotRead(path, errno);
        }
        if (n == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    exists = true;
    return Status::success();
}

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
    std::string target;
    if (Status resolved = resolveTarget(path, target); !resolved) {
        return resolved;
    }
    TargetState state;
    if (Status inspected = inspectTarget(path, target, state); !inspected) {
        return inspected;
    }

    TempFile temp;
    if (const int err = temp.createBeside(target); err != 0) {
        return cannotWrite(path, err,
                           "cannot create a temporary file in \"" + directoryOf(target) + "\": ");
    }
    if (const int err = writeAll(temp.fd(), bytes); err != 0) {
        return cannotWrite(path, err);
    }
    if (const int err = carryOverOwnerAndMode(temp.fd(), state); err != 0) {
        return cannotWrite(path, err);
    }
    if (::fsync(temp.fd()) != 0 || !temp.close()) {
        return cannotWrite(path, errno);
    }
    if (const int err = temp.putInPlace(target); err != 0) {
        return cannotWrite(path, err);
    }
    syncFolder(directoryOf(target));
    return Status::success();
}

}  // namespace vorda
