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
        if (link.empty() || link.front() != '/') {
            link.insert(0, directoryOf(current) + "/");
        }
        current = std::move(link);
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

// --- One replacement in progress, in named steps.

// What replaceFile was asked, the file it really changes, and the temporary file that is to take
// its place.
struct ReplaceJob {
    ReplaceJob(const std::string& toPath, std::string_view toWrite, const FileContent* toExpect,
               Replacement& report)
        : path(toPath), bytes(toWrite), expected(toExpect), done(report) {}

    const std::string& path;
    std::string_view bytes;
    const FileContent* expected;
    Replacement& done;
    std::string target;
    TargetState state;
    TempFile temp;

    // Whether the content is what the caller expects (anything, without an expectation).
    bool expects(const FileContent& content) const {
        return expected == nullptr || content == *expected;
    }
};

// Find the target: the file at the end of the path's symbolic links, which must be a regular
// file we may write (or missing). Temporary files of saves that were killed are removed.
Status findTarget(ReplaceJob& job) {
    if (Status resolved = resolveTarget(job.path, job.target); !resolved) {
        return resolved;
    }
    if (Status inspected = inspectTarget(job.path, job.target, job.state); !inspected) {
        return inspected;
    }
    removeStaleTemporaries(job.target);
    return Status::success();
}

// Where the folder refuses the temporary file: an existing file we may write is written in
// place (a folder only root may write, holding a file the user may write); otherwise the
// failure names the folder.
Status withoutTemporary(ReplaceJob& job, int err) {
    if (job.state.exists && (err == EACCES || err == EPERM)) {
        return writeInPlace(job.path, job.target, job.bytes, job.expected, job.done);
    }
    return cannotWrite(job.path, texts::format(texts::kCannotCreateTempFile,
                                               {directoryOf(job.target), texts::systemError(err)}));
}

// Make the temporary file: the bytes written, the target's owner given (where we may), flushed
// to disk when that comes first, and, last, the target's permissions.
Status fillTemporary(ReplaceJob& job, FlushOrder flush) {
    const int fd = job.temp.fd();
    if (const int err = writeAllAt(fd, job.bytes); err != 0) {
        return cannotWrite(job.path, err);
    }
    carryOverOwner(fd, job.state);
    if (flush == FlushOrder::BeforePlacing && ::fsync(fd) != 0) {
        return cannotWrite(job.path, errno);
    }
    // The target's permissions come last, right before the file takes its place: a save killed
    // until then leaves a file only its owner may read (removed by the next save), and one
    // killed after leaves the target with its own permissions.
    if (::fchmod(fd, modeFor(job.state)) != 0) {
        return cannotWrite(job.path, errno);
    }
    return Status::success();
}

// Finish an exchange that stands: the file taken out goes, the new one and the folder are
// flushed to disk. A program that had the old file open to rewrite it in place may have written
// it since: what it wrote counts as found.
Status keepExchanged(ReplaceJob& job, const UniqueFd& old, FileContent taken) {
    job.temp.dropTakenOut();
    job.done.placed = true;
    job.done.found = std::move(taken);
    Status finished = finishPlaced(job.path, job.target, job.temp);
    if (std::string later; readAllAt(old.get(), later) == 0) {
        job.done.found.bytes = std::move(later);
    }
    return finished;
}

// Verify what the exchange took out. When it is not what the caller expected (another program
// wrote the file in the instant between the last look and the exchange), exchange back at once,
// before anyone could build on ours: nothing is placed, and found is what the file holds then.
// Otherwise the exchange stands.
Status checkTakenOut(ReplaceJob& job) {
    UniqueFd old;
    FileContent taken{true, {}};
    if (const int read = job.temp.readTakenOut(old, taken.bytes); read != 0) {
        job.temp.dropTakenOut();
        job.done.placed = true;
        return Status::failure(texts::format(
            texts::kPlacedBut, {job.path, texts::kReplacedUnreadable, texts::systemError(read)}));
    }
    if (!job.expects(taken) && job.temp.exchangeBack(job.target)) {
        if (Status read = readContent(job.target, job.done.found); !read) {
            job.done.found = std::move(taken);
        }
        return Status::success();
    }
    return keepExchanged(job, old, std::move(taken));
}

// Create a missing target, only if it is still missing: created by another program meanwhile,
// nothing is placed and found is what it holds.
Status createMissing(ReplaceJob& job) {
    if (const int err = job.temp.createTarget(job.target); err != 0) {
        if (err != EEXIST) {
            return cannotWrite(job.path, err);
        }
        return readContent(job.target, job.done.found);
    }
    job.done.placed = true;
    return finishPlaced(job.path, job.target, job.temp);
}

// Where the file system cannot exchange two files: a plain rename, right after the last look
// (now), which found what the caller expected.
Status renameWithoutExchange(ReplaceJob& job, FileContent now) {
    if (const int renamed = job.temp.renameOver(job.target); renamed != 0) {
        return cannotWrite(job.path, renamed);
    }
    job.done.placed = true;
    job.done.found = std::move(now);
    return finishPlaced(job.path, job.target, job.temp);
}

// Replace an existing target. A last look right before the exchange: bytes that lack a change
// made since the caller looked are not put in place, where another program might read them and
// build on them (nothing is placed; found is what the file holds). Then the exchange, checked;
// a target removed meanwhile is created anew.
Status replaceExisting(ReplaceJob& job) {
    FileContent now;
    if (Status read = readContent(job.target, now); !read) {
        return read;
    }
    if (!job.expects(now)) {
        job.done.found = std::move(now);
        return Status::success();
    }
    const int err = job.temp.exchangeWith(job.target);
    if (err == 0) {
        return checkTakenOut(job);
    }
    if (err == ENOENT) {
        // Removed since we looked: created anew, with the permissions of a new file.
        job.state.exists = false;
        if (::fchmod(job.temp.fd(), modeFor(job.state)) != 0) {
            return cannotWrite(job.path, errno);
        }
        return createMissing(job);
    }
    if (err != EINVAL && err != ENOSYS) {
        return cannotWrite(job.path, err);
    }
    return renameWithoutExchange(job, std::move(now));
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
    ReplaceJob job(path, bytes, expected, done);
    if (Status found = findTarget(job); !found) {
        return found;
    }
    if (const int err = job.temp.createBeside(job.target); err != 0) {
        return withoutTemporary(job, err);
    }
    if (Status filled = fillTemporary(job, flush); !filled) {
        return filled;
    }
    return job.state.exists ? replaceExisting(job) : createMissing(job);
}

}  // namespace vorda
