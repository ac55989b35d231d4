#include "platform/atomic_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/environment.h"
#include "platform/own_temporaries.h"
#include "resources/texts.h"

namespace vorda {

namespace {

// The one form of every write failure: the path as the caller gave it, then the reason.
Status cannotWrite(const std::string& path, const std::string& why) {
    return Status::failure(texts::format(texts::kCannotWriteFile, {path, why}));
}
Status cannotWrite(const std::string& path, int err) {
    return cannotWrite(path, texts::systemError(err));
}

Status cannotRead(const std::string& path, const std::string& why) {
    return Status::failure(texts::format(texts::kCannotReadFile, {path, why}));
}
Status cannotRead(const std::string& path, int err) {
    return cannotRead(path, texts::systemError(err));
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

int readAllAt(int fd, std::string& bytes, std::uint64_t limit = kFileSizeLimit);

std::string tempPrefix(const std::string& target) {
    return temporaryPrefix(baseNameOf(target));
}

// Removes the temporary files of ours beside the target that a save killed half-way left
// (platform/own_temporaries.h says which are ours for certain). Best effort.
void removeStaleTemporaries(const std::string& target) {
    const UniqueFd dir(::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        removeAbandonedTemporaries(dir.get(), tempPrefix(target));
    }
}

// A temporary file beside the target, readable and writable by its owner only until it takes
// the target's place. What stands under its name when it goes is removed: the new file when it
// was never placed, the file taken out when it was exchanged with the target.
class TempFile {
  public:
    TempFile() = default;
    ~TempFile() {
        fd_.reset();
        if (!path_.empty() && !gone_) {
            ::unlink(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates the file in the target's folder, so that the rename stays within one file system.
    // 0 or the errno value.
    int createBeside(const std::string& target) {
        const std::string dir = directoryOf(target);
        std::string pattern = (dir == "/" ? std::string() : dir) + "/" + tempPrefix(target) +
                              processTag() + ".XXXXXX";
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        fd_.reset(fd);
        path_ = std::move(pattern);
        return 0;
    }

    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }

    // Closes the file; false (with errno set) when close reports an error.
    bool close() { return fd_.close(); }

    // Exchanges the file with the existing target in one step; the target's old file then stands
    // under our name. 0 or the errno value.
    int exchangeWith(const std::string& target) {
        return ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0
                   ? 0
                   : errno;
    }

    // Puts the file in place of a target that must still be missing: EEXIST when it is not.
    // Where the file system has no such rename, a hard link does the same; where it has no hard
    // links either, a plain rename. 0 or the errno value.
    int createTarget(const std::string& target) {
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            gone_ = true;
            return 0;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return errno;
        }
        if (::link(path_.c_str(), target.c_str()) == 0) {
            return 0;  // our name goes with the object
        }
        if (errno == EEXIST) {
            return EEXIST;
        }
        return renameOver(target);
    }

    // After exchangeWith: opens the file taken out, which now stands under our name, and reads
    // it. The name stays until dropTakenOut or exchangeBack. 0 or the errno value.
    int readTakenOut(UniqueFd& old, std::string& bytes) {
        old.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
        if (old.get() < 0) {
            return errno;
        }
        return readAllAt(old.get(), bytes);
    }

    // Removes the name of the file taken out (it holds the old content, with the old
    // permissions).
    void dropTakenOut() {
        ::unlink(path_.c_str());
        gone_ = true;
    }

    // After exchangeWith: puts the file taken out back in the target's place, unless the target
    // is no longer ours (another program replaced it since). True when ours is out of the
    // target again, and whatever we took out then is removed; false when ours stays in place.
    bool exchangeBack(const std::string& target) {
        if (!sameFile(target) || exchangeWith(target) != 0) {
            return false;
        }
        if (!sameFile(path_)) {
            // Another program's file took the target's place between the look and the exchange
            // back (ours is gone with that): it goes back, and the older one we took out goes.
            static_cast<void>(exchangeWith(target));
            dropTakenOut();
        }
        return true;
    }

    // Renames the file over the target. 0 or the errno value.
    int renameOver(const std::string& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) {
            return errno;
        }
        gone_ = true;
        return 0;
    }

  private:
    // Whether the name stands for our file.
    bool sameFile(const std::string& name) const {
        struct stat ours {};
        struct stat there {};
        return ::fstat(fd_.get(), &ours) == 0 && ::stat(name.c_str(), &there) == 0 &&
               ours.st_dev == there.st_dev && ours.st_ino == there.st_ino;
    }

    UniqueFd fd_;
    std::string path_;
    bool gone_ = false;
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

// Gives the new file the target's owner, where we may (only a privileged user can give a file
// away).
void carryOverOwner(int fd, const TargetState& state) {
    if (state.exists && (state.st.st_uid != ::geteuid() || state.st.st_gid != ::getegid())) {
        [[maybe_unused]] const int ignored = ::fchown(fd, state.st.st_uid, state.st.st_gid);
    }
}

// The target's permissions, for the file that replaces it (a new target: 0666 less the umask).
mode_t modeFor(const TargetState& state) {
    return state.exists ? (state.st.st_mode & 07777) : (0666 & ~currentUmask());
}

// Makes a rename in the folder durable. 0 or the errno value.
int syncFolder(const std::string& dir) {
    UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0 || ::fsync(dirFd.get()) != 0) {
        return errno;
    }
    return 0;
}

// The whole content of an open file, read from its start. 0 or the errno value; EFBIG (and no
// bytes) when it holds more than limit bytes, which is found out by reading at most limit + 1.
int readAllAt(int fd, std::string& bytes, std::uint64_t limit) {
    bytes.clear();
    // Room for the whole file at once: growing step by step would hold up to twice its size.
    if (struct stat st{}; ::fstat(fd, &st) == 0 && st.st_size > 0 &&
                          static_cast<std::uint64_t>(st.st_size) <= limit) {
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[65536];
    for (off_t at = 0;;) {
        const std::uint64_t room = limit + 1 - static_cast<std::uint64_t>(at);
        const ssize_t n = ::pread(fd, buffer, std::min<std::uint64_t>(sizeof buffer, room), at);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return 0;
        }
        at += n;
        if (static_cast<std::uint64_t>(at) > limit) {
            bytes.clear();
            bytes.shrink_to_fit();
            return EFBIG;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// Makes the open file hold exactly bytes, flushed to disk. 0 or the errno value.
int overwrite(int fd, std::string_view bytes) {
    if (const int err = writeAllAt(fd, bytes); err != 0) {
        return err;
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0) {
        return errno;
    }
    return 0;
}

Status readContent(const std::string& path, FileContent& content) {
    return readFileBytes(path, content.bytes, content.exists);
}

// The file written into itself: its folder takes no temporary file.
Status writeInPlace(const std::string& path, const std::string& target, std::string_view bytes,
                    const FileContent* expected, Replacement& done) {
    UniqueFd fd(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0) {
        return cannotWrite(path, errno);
    }
    FileContent old{true, {}};
    if (const int err = readAllAt(fd.get(), old.bytes); err != 0) {
        return cannotWrite(path, err);
    }
    done.found = old;
    if (expected != nullptr && old != *expected) {
        return Status::success();  // changed since the caller looked: nothing written
    }
    if (const int err = overwrite(fd.get(), bytes); err != 0) {
        const int back = overwrite(fd.get(), old.bytes);
        return cannotWrite(
            path, back == 0 ? texts::format(texts::kInPlaceFailed, {texts::systemError(err)})
                            : texts::format(texts::kInPlaceFailedNotRestored,
                                            {texts::systemError(back), texts::systemError(err)}));
    }
    if (!fd.close()) {
        return cannotWrite(path, errno);
    }
    done.placed = true;
    done.inPlace = true;
    // Another program may have written the file meanwhile, or put another file in its place.
    FileContent now;
    if (readContent(target, now).ok && now != FileContent{true, std::string(bytes)}) {
        done.placed = false;
        done.found = std::move(now);
    }
    return Status::success();
}

// What follows once the temporary file has taken the target's place: the file (when it was not
// yet) and the folder flushed to disk. The new bytes are in place whatever this gives.
Status finishPlaced(const std::string& path, const std::string& target, TempFile& temp) {
    const auto placedBut = [&](std::string_view what, int err) {
        return Status::failure(
            texts::format(texts::kPlacedBut, {path, what, texts::systemError(err)}));
    };
    if (::fsync(temp.fd()) != 0) {
        return placedBut(texts::kPlacedNotFlushed, errno);
    }
    if (!temp.close()) {
        return placedBut(texts::kPlacedNotClosed, errno);
    }
    if (const int err = syncFolder(directoryOf(target)); err != 0) {
        return placedBut(texts::kPlacedFolderNotFlushed, err);
    }
    return Status::success();
}

}  // namespace

int writeAllAt(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
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

Status readFileBytes(const std::string& path, std::string& bytes, bool& exists,
                     std::uint64_t limit) {
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
        return cannotRead(path, std::string(texts::kNotRegularFile));
    }
    const auto tooLarge = [&] {
        return cannotRead(path, texts::format(texts::kFileTooLarge, {texts::byteSize(limit)}));
    };
    // A file this large is no settings file (a sparse one takes no room on disk at all): it is
    // not read. One that grows beyond the limit meanwhile is found out while it is read.
    if (static_cast<std::uint64_t>(st.st_size) > limit) {
        return tooLarge();
    }
    if (const int err = readAllAt(fd.get(), bytes, limit); err != 0) {
        bytes.clear();
        return err == EFBIG ? tooLarge() : cannotRead(path, err);
    }
    exists = true;
    return Status::success();
}

Status readSettledFileBytes(const std::string& path, std::string& bytes, bool& exists,
                            const FileContent* known) {
    Status status = readFileBytes(path, bytes, exists);
    if (status.ok && known != nullptr && known->exists == exists && known->bytes == bytes) {
        return status;
    }
    for (int tries = 0; status.ok && tries < 8; ++tries) {
        std::string again;
        bool againExists = false;
        status = readFileBytes(path, again, againExists);
        if (status.ok && againExists == exists && again == bytes) {
            break;
        }
        bytes = std::move(again);
        exists = againExists;
    }
    return status;
}

Status replaceFile(const std::string& path, std::string_view bytes, const FileContent* expected,
                   Replacement& done, FlushOrder flush) {
    done = Replacement{};
    std::string target;
    if (Status resolved = resolveTarget(path, target); !resolved) {
        return resolved;
    }
    TargetState state;
    if (Status inspected = inspectTarget(path, target, state); !inspected) {
        return inspected;
    }
    removeStaleTemporaries(target);

    TempFile temp;
    if (const int err = temp.createBeside(target); err != 0) {
        if (state.exists && (err == EACCES || err == EPERM)) {
            return writeInPlace(path, target, bytes, expected, done);
        }
        return cannotWrite(path, texts::format(texts::kCannotCreateTempFile,
                                               {directoryOf(target), texts::systemError(err)}));
    }
    if (const int err = writeAllAt(temp.fd(), bytes); err != 0) {
        return cannotWrite(path, err);
    }
    carryOverOwner(temp.fd(), state);
    if (flush == FlushOrder::BeforePlacing && ::fsync(temp.fd()) != 0) {
        return cannotWrite(path, errno);
    }
    // The target's permissions come last, right before the file takes its place: a save killed
    // until then leaves a file only its owner may read (removed by the next save), and one
    // killed after leaves the target with its own permissions.
    if (::fchmod(temp.fd(), modeFor(state)) != 0) {
        return cannotWrite(path, errno);
    }

    if (state.exists) {
        // A last look right before the exchange: bytes that lack a change made since the caller
        // looked are not put in place, where another program might read them and build on them.
        FileContent now;
        if (Status read = readContent(target, now); !read) {
            return read;
        }
        if (expected != nullptr && now != *expected) {
            done.found = std::move(now);
            return Status::success();
        }
        const int err = temp.exchangeWith(target);
        if (err == 0) {
            UniqueFd old;
            FileContent taken{true, {}};
            if (const int read = temp.readTakenOut(old, taken.bytes); read != 0) {
                temp.dropTakenOut();
                done.placed = true;
                return Status::failure(
                    texts::format(texts::kPlacedBut,
                                  {path, texts::kReplacedUnreadable, texts::systemError(read)}));
            }
            if (expected != nullptr && taken != *expected && temp.exchangeBack(target)) {
                // Another program wrote the file in the instant between the last look and the
                // exchange: its file is back at once, before anyone could build on ours.
                if (Status read = readContent(target, done.found); !read) {
                    done.found = std::move(taken);
                }
                return Status::success();
            }
            temp.dropTakenOut();
            done.placed = true;
            done.found = std::move(taken);
            Status finished = finishPlaced(path, target, temp);
            // A program that had the old file open to rewrite it in place may have written it
            // since: what it wrote counts as found.
            if (std::string later; readAllAt(old.get(), later) == 0) {
                done.found.bytes = std::move(later);
            }
            return finished;
        }
        if (err != EINVAL && err != ENOSYS && err != ENOENT) {
            return cannotWrite(path, err);
        }
        if (err != ENOENT) {
            // No exchange on this file system: a plain rename, right after the last look.
            if (const int renamed = temp.renameOver(target); renamed != 0) {
                return cannotWrite(path, renamed);
            }
            done.placed = true;
            done.found = std::move(now);
            return finishPlaced(path, target, temp);
        }
        state.exists = false;  // removed since we looked: created anew below
        if (::fchmod(temp.fd(), modeFor(state)) != 0) {
            return cannotWrite(path, errno);
        }
    }

    if (const int err = temp.createTarget(target); err != 0) {
        if (err != EEXIST) {
            return cannotWrite(path, err);
        }
        return readContent(target, done.found);  // created by another program meanwhile
    }
    done.placed = true;
    return finishPlaced(path, target, temp);
}

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
    Replacement done;
    for (int tries = 0; tries < 3; ++tries) {
        Status status = replaceFile(path, bytes, nullptr, done);
        if (!status.ok || done.placed) {
            return status;
        }
    }
    return cannotWrite(path, EEXIST);
}

}  // namespace vorda
