#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "platform/environment.h"
#include "platform/own_temporaries.h"
#include "resources/texts.h"

namespace vorda {

namespace {

// How many times (a millisecond apart) a read waits for a file another editor holds.
constexpr int kHeldWaits = 2000;

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
bool holdsJustAt(int fd, std::string_view bytes);

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

// Whether the open file holds just bytes: read from its start piece by piece and compared as it
// comes, without a copy of the whole. False also when it cannot be read.
bool holdsJustAt(int fd, std::string_view bytes) {
    char buffer[65536];
    for (std::size_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return at == bytes.size();
        }
        const auto got = static_cast<std::size_t>(n);
        if (got > bytes.size() - at || std::string_view(buffer, got) != bytes.substr(at, got)) {
            return false;
        }
        at += got;
    }
}

// Writes bytes to the open file from offset `from` on. 0 or the errno value.
int writeAt(int fd, std::string_view bytes, off_t from) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, from + static_cast<off_t>(done));
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

// --- Writing in place, with a copy of the new bytes kept until they are all in.

// FNV-1a, for names and for telling contents apart in an unfinished save's copy.
std::uint64_t hashOf(std::string_view bytes) {
    std::uint64_t h = 1469598103934665603ULL;
    for (const char c : bytes) {
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return h;
}

constexpr std::string_view kUnfinishedHead = "vorda-settings unfinished save 1\n";

// Where the copy of an in-place write of target goes: in the folder given (one of ours), named
// after the file and its whole path; without one, beside the file.
std::string unfinishedCopyPath(const std::string& target, const std::string& folder) {
    if (folder.empty()) {
        return joinPath(directoryOf(target), "." + baseNameOf(target) + ".unfinished-save");
    }
    char tag[20];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(hashOf(target) & 0xffffffffU));
    return joinPath(folder, baseNameOf(target) + "." + tag + ".unfinished-save");
}

// What an unfinished save's copy holds: the file it was for, what the file held before and
// what was being written.
struct UnfinishedSave {
    std::string target;
    std::string oldBytes;
    std::string newBytes;
};

// The copy is its head, then the old bytes, then the new ones.
std::string unfinishedHead(const std::string& target, std::string_view oldBytes,
                           std::string_view newBytes) {
    return std::string(kUnfinishedHead) + target + "\n" + std::to_string(oldBytes.size()) + " " +
           std::to_string(newBytes.size()) + " " +
           std::to_string(hashOf(oldBytes) ^ hashOf(newBytes)) + "\n";
}

// False when the bytes are not a whole copy.
bool decodeUnfinished(std::string_view bytes, UnfinishedSave& u) {
    if (bytes.substr(0, kUnfinishedHead.size()) != kUnfinishedHead) {
        return false;
    }
    bytes.remove_prefix(kUnfinishedHead.size());
    const auto line = bytes.find('\n');
    const auto sizes = bytes.find('\n', line + 1);
    if (line == std::string_view::npos || sizes == std::string_view::npos) {
        return false;
    }
    u.target = std::string(bytes.substr(0, line));
    unsigned long long oldSize = 0;
    unsigned long long newSize = 0;
    unsigned long long check = 0;
    const std::string numbers(bytes.substr(line + 1, sizes - line - 1));
    if (std::sscanf(numbers.c_str(), "%llu %llu %llu", &oldSize, &newSize, &check) != 3) {
        return false;
    }
    bytes.remove_prefix(sizes + 1);
    if (bytes.size() != oldSize + newSize) {
        return false;
    }
    u.oldBytes = std::string(bytes.substr(0, oldSize));
    u.newBytes = std::string(bytes.substr(oldSize));
    return (hashOf(u.oldBytes) ^ hashOf(u.newBytes)) == check;
}

// Keeps the copy under its name (written beside it and renamed, so that a copy under that name is
// always whole). Empty when none could be kept; the write goes on without.
std::string keepUnfinishedCopy(const std::string& target, std::string_view oldBytes,
                               std::string_view newBytes, const std::string& folder) {
    if (!folder.empty()) {
        ::mkdir(directoryOf(folder).c_str(), 0700);
        ::mkdir(folder.c_str(), 0700);
    }
    std::string name = unfinishedCopyPath(target, folder);
    std::string temp = name + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return {};
    }
    // Written piece by piece, from the bytes where they are: no third copy of the file in memory.
    const std::string head = unfinishedHead(target, oldBytes, newBytes);
    const auto oldAt = static_cast<off_t>(head.size());
    const auto newAt = oldAt + static_cast<off_t>(oldBytes.size());
    // Not flushed to disk: it is there for a save that is killed, and flushing it would give a
    // program writing the file the time to write it between our last look and our write.
    if (writeAt(fd.get(), head, 0) != 0 || writeAt(fd.get(), oldBytes, oldAt) != 0 ||
        writeAt(fd.get(), newBytes, newAt) != 0 || !fd.close() ||
        ::rename(temp.c_str(), name.c_str()) != 0) {
        ::unlink(temp.c_str());
        return {};
    }
    return name;
}

// While it stands, a program that opens the file (to write it piece by piece, or to read it)
// waits until we have written it whole: a write lease, which the kernel grants only where nobody
// else has the file open and only to its owner or root. Without it (a program keeps the file
// open) the write goes on all the same, as the service's own writer does.
class WriteLease {
  public:
    // alreadyTaken: the lease stands already (a held file), and is let go here all the same.
    explicit WriteLease(int fd, bool alreadyTaken = false) {
        if (alreadyTaken) {
            fd_ = fd;
            return;
        }
        if (::fcntl(fd, F_SETSIG, SIGURG) != 0) {
            return;
        }
        if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
            fd_ = fd;
        }
    }
    ~WriteLease() { release(); }
    WriteLease(const WriteLease&) = delete;
    WriteLease& operator=(const WriteLease&) = delete;
    void release() const {
        if (fd_ >= 0) {
            static_cast<void>(::fcntl(fd_, F_SETLEASE, F_UNLCK));
        }
    }

  private:
    int fd_ = -1;
};

// The file written into itself, through heldFd where the file is held already (HeldFile).
Status writeInPlace(const std::string& path, const std::string& target, std::string_view bytes,
                    const FileContent* expected, Replacement& done, const std::string& recovery,
                    int heldFd = -1) {
    UniqueFd own(heldFd >= 0 ? -1 : ::open(target.c_str(), O_RDWR | O_CLOEXEC));
    const int fd = heldFd >= 0 ? heldFd : own.get();
    if (fd < 0) {
        return cannotWrite(path, errno);
    }
    const WriteLease lease(fd, heldFd >= 0);
    // What the file holds is read into found, where it stays unless a later look finds another.
    FileContent& old = done.found;
    old = FileContent{true, {}};
    if (const int err = readAllAt(fd, old.bytes); err != 0) {
        done.found = FileContent{};
        return cannotWrite(path, err);
    }
    if (expected != nullptr && old != *expected) {
        return Status::success();  // changed since the caller looked: nothing written
    }
    // A save killed half-way would leave the file new at the front and old at the back: the
    // copy lets the next run put it right (finishInterruptedSave).
    const std::string copy = keepUnfinishedCopy(target, old.bytes, bytes, recovery);
    // Keeping the copy took a moment: a last look right before writing, so that a write another
    // program made meanwhile is not written over.
    if (!holdsJustAt(fd, old.bytes)) {
        if (!copy.empty()) {
            ::unlink(copy.c_str());
        }
        FileContent last{true, {}};
        static_cast<void>(readAllAt(fd, last.bytes));
        done.found = std::move(last);
        return Status::success();
    }
    const int err = overwrite(fd, bytes);
    if (err == 0 && !copy.empty()) {
        ::unlink(copy.c_str());
    }
    if (err != 0) {
        const int back = overwrite(fd, old.bytes);
        if (back == 0 && !copy.empty()) {
            ::unlink(copy.c_str());
        }
        return cannotWrite(
            path, back == 0 ? texts::format(texts::kInPlaceFailed, {texts::systemError(err)})
                            : texts::format(texts::kInPlaceFailedNotRestored,
                                            {texts::systemError(back), texts::systemError(err)}));
    }
    // Let go before the last look: our own open would wait for our own lease.
    lease.release();
    if (heldFd < 0 && !own.close()) {
        return cannotWrite(path, errno);
    }
    done.placed = true;
    done.inPlace = true;
    // Another program may have written the file meanwhile, or put another file in its place.
    if (FileContent now; !fileHoldsJust(target, bytes) && readContent(target, now).ok &&
                         (!now.exists || now.bytes != bytes)) {
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

// --- Reading a file another program may be writing at that moment.

// What the file system says of a file: enough to see that it changed while it was read.
struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    bool operator==(const Stamp& o) const {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
               ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

Stamp stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// How long ago the file last changed by its own times (the later of mtime and ctime).
std::chrono::nanoseconds ageOf(const Stamp& stamp) {
    const timespec& last =
        (stamp.ctime.tv_sec > stamp.mtime.tv_sec ||
         (stamp.ctime.tv_sec == stamp.mtime.tv_sec && stamp.ctime.tv_nsec > stamp.mtime.tv_nsec))
            ? stamp.ctime
            : stamp.mtime;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::chrono::seconds(now.tv_sec - last.tv_sec) +
           std::chrono::nanoseconds(now.tv_nsec - last.tv_nsec);
}

bool endsAtLineEnd(std::string_view bytes) {
    return !bytes.empty() && bytes.back() == '\n';
}

// Reads of one file in turn, and whether the last one can be taken as whole.
class Settling {
  public:
    explicit Settling(std::chrono::steady_clock::time_point start) : sameSince_(start) {}

    // Whether a read between the looks before and after gave the whole file: nothing moved
    // while it was read, and the file stood still a while (by its times, or as watched here);
    // a file that was changed only just now must at least end at a line end, be quiet and held
    // open for writing by no one (where we may ask); once the quiet wait is over (relaxed), one
    // of the two is enough.
    bool whole(const Stamp& before, const Stamp& after, std::string_view bytes, bool relaxed,
               bool loose, const std::string& path, const SettleLimits& limits) {
        const auto now = std::chrono::steady_clock::now();
        if (!(before == after) || !(after == last_)) {
            last_ = after;
            sameSince_ = now;
        }
        if (!(before == after) || !after.exists ||
            static_cast<std::size_t>(after.size) != bytes.size()) {
            return false;
        }
        const auto still = std::max<std::chrono::nanoseconds>(ageOf(after), now - sameSince_);
        if (still >= limits.settledAge) {
            return true;  // nobody wrote it for a while: whatever it holds, empty too
        }
        if (!endsAtLineEnd(bytes)) {
            return false;
        }
        // Quiet and closed by every writer, or, once the quiet wait is over, either; a writer
        // that keeps the file open and writes it many times a second leaves neither, and then
        // a read that nothing moved under is enough.
        const bool quiet = still >= limits.quiet;
        if ((quiet && relaxed) || loose) {
            return true;
        }
        return (quiet || relaxed) && openForWritingElsewhere(path) != WritersOpen::Yes;
    }

  private:
    Stamp last_;
    std::chrono::steady_clock::time_point sameSince_;
};

// --- What a replacement by rename would not keep.

std::atomic<bool> exchangeForbidden{false};

// The mount a file descriptor's file belongs to, as /proc tells it; -1 when it does not.
long mountIdOf(int fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    std::string word;
    while (info >> word) {
        if (word == "mnt_id:") {
            long id = -1;
            info >> id;
            return id;
        }
    }
    return -1;
}

// Whether the file is a mount point of its own (a file bind-mounted over another): a rename
// cannot replace it.
bool mountedOnItsOwn(const std::string& target, const struct stat& st) {
    UniqueFd file(::open(target.c_str(), O_PATH | O_CLOEXEC));
    UniqueFd dir(::open(directoryOf(target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat dirSt {};
    if (file.get() < 0 || dir.get() < 0 || ::fstat(dir.get(), &dirSt) != 0) {
        return true;  // cannot tell: the safe way
    }
    if (dirSt.st_dev != st.st_dev) {
        return true;
    }
    const long fileMount = mountIdOf(file.get());
    return fileMount >= 0 && fileMount != mountIdOf(dir.get());
}

// The names of a file's extended attributes; false (with errno set) when they cannot be listed.
bool attributeNames(int fd, std::vector<std::string>& names) {
    names.clear();
    ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) {
        return errno == ENOTSUP;  // none on this file system
    }
    std::string list(static_cast<std::size_t>(size), '\0');
    size = ::flistxattr(fd, list.data(), list.size());
    if (size < 0) {
        return false;
    }
    list.resize(static_cast<std::size_t>(size));
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = list.find('\0', at);
        names.push_back(list.substr(at, end - at));
        at = end == std::string::npos ? list.size() : end + 1;
    }
    return true;
}

// Gives the new file just the extended attributes of the target (its ACL entries among them):
// those the new one has of its own (a default ACL of the folder) go, the target's are copied.
// 0 or the errno value of what could not be done.
int copyAttributes(int from, int to) {
    std::vector<std::string> theirs;
    std::vector<std::string> ours;
    if (!attributeNames(from, theirs) || !attributeNames(to, ours)) {
        return errno;
    }
    for (const std::string& name : ours) {
        if (std::find(theirs.begin(), theirs.end(), name) == theirs.end() &&
            ::fremovexattr(to, name.c_str()) != 0) {
            return errno;
        }
    }
    for (const std::string& name : theirs) {
        const ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
        std::string value(static_cast<std::size_t>(std::max<ssize_t>(size, 0)), '\0');
        if (size < 0 || ::fgetxattr(from, name.c_str(), value.data(), value.size()) != size ||
            ::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0) {
            return errno != 0 ? errno : EIO;
        }
    }
    return 0;
}

// Whether a new file put in the target's place by rename would not be all the target is: a
// second name (hard link) would keep the old content, a file mounted on its own cannot be
// replaced, a program holding it open for writing would go on writing into the file taken out
// (or we may not ask), and where two files cannot be exchanged in one step a plain rename could
// drop a write that came between.
bool renameWouldNotKeep(const std::string& target, const struct stat& st) {
    return st.st_nlink != 1 || exchangeForbidden.load() || mountedOnItsOwn(target, st) ||
           openForWritingElsewhere(target) != WritersOpen::No;
}

// --- One replacement in progress, in named steps.

// What replaceFile was asked, the file it really changes, and the temporary file that is to take
// its place.
struct ReplaceJob {
    ReplaceJob(const std::string& toPath, std::string_view toWrite, const FileContent* toExpect,
               Replacement& report, const std::string& recoveryFolder)
        : path(toPath),
          bytes(toWrite),
          expected(toExpect),
          done(report),
          recovery(recoveryFolder) {}

    const std::string& path;
    std::string_view bytes;
    const FileContent* expected;
    Replacement& done;
    const std::string& recovery;
    std::string target;
    TargetState state;
    TempFile temp;
    // The file is to be written in place: a rename would not keep all it is.
    bool inPlace = false;

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
    job.inPlace = job.state.exists && renameWouldNotKeep(job.target, job.state.st);
    return Status::success();
}

// Where the folder refuses the temporary file: an existing file we may write is written in
// place (a folder only root may write, holding a file the user may write); otherwise the
// failure names the folder.
Status withoutTemporary(ReplaceJob& job, int err) {
    if (job.state.exists && (err == EACCES || err == EPERM)) {
        return writeInPlace(job.path, job.target, job.bytes, job.expected, job.done, job.recovery);
    }
    return cannotWrite(job.path, texts::format(texts::kCannotCreateTempFile,
                                               {directoryOf(job.target), texts::systemError(err)}));
}

// Whether the temporary file now has the target's owner, group and extended attributes (its ACL
// entries among them).
bool keepsWhatTheTargetIs(ReplaceJob& job) {
    struct stat st {};
    if (::fstat(job.temp.fd(), &st) != 0 || st.st_uid != job.state.st.st_uid ||
        st.st_gid != job.state.st.st_gid) {
        return false;
    }
    UniqueFd target(::open(job.target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    return target.get() >= 0 && copyAttributes(target.get(), job.temp.fd()) == 0;
}

// Make the temporary file: the bytes written, the target's owner given (where we may), flushed
// to disk when that comes first, and, last, the target's permissions.
Status fillTemporary(ReplaceJob& job, FlushOrder flush) {
    const int fd = job.temp.fd();
    if (const int err = writeAllAt(fd, job.bytes); err != 0) {
        return cannotWrite(job.path, err);
    }
    carryOverOwner(fd, job.state);
    if (job.state.exists && !keepsWhatTheTargetIs(job)) {
        job.inPlace = true;  // the new file would not be all the old one is
        return Status::success();
    }
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
    if (std::string later;
        !holdsJustAt(old.get(), job.done.found.bytes) && readAllAt(old.get(), later) == 0) {
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

// Replace an existing target. A last look right before the exchange: bytes that lack a change
// made since the caller looked are not put in place, where another program might read them and
// build on them (nothing is placed; found is what the file holds). Then the exchange, checked;
// a target removed meanwhile is created anew.
Status replaceExisting(ReplaceJob& job) {
    // Compared piece by piece while it holds what is expected; read whole only to tell what else.
    if (job.expected == nullptr || !job.expected->exists ||
        !fileHoldsJust(job.target, job.expected->bytes)) {
        FileContent now;
        if (Status read = readContent(job.target, now); !read) {
            return read;
        }
        if (!job.expects(now)) {
            job.done.found = std::move(now);
            return Status::success();
        }
    }
    // A program that opened the file for writing while the new one was being made would go on
    // writing into the file taken out: asked again right before the exchange.
    if (openForWritingElsewhere(job.target) != WritersOpen::No) {
        return writeInPlace(job.path, job.target, job.bytes, job.expected, job.done, job.recovery);
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
    if (err == EINVAL || err == ENOSYS || err == EBUSY || err == EPERM || err == EXDEV) {
        // No exchange on this file system (a plain rename could drop a write that came
        // between), a file mounted on its own, or a sticky folder and another user's file.
        return writeInPlace(job.path, job.target, job.bytes, job.expected, job.done, job.recovery);
    }
    return cannotWrite(job.path, err);
}

}  // namespace

int writeAllAt(int fd, std::string_view bytes) {
    return writeAt(fd, bytes, 0);
}

bool fileHoldsJust(const std::string& path, std::string_view bytes) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    return fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
           static_cast<std::uint64_t>(st.st_size) == bytes.size() && holdsJustAt(fd.get(), bytes);
}

bool writtenWithin(const std::string& path, std::chrono::milliseconds span) {
    const Stamp stamp = stampOf(path);
    return stamp.exists && ageOf(stamp) < span;
}

WritersOpen openForWritingElsewhere(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        return WritersOpen::Unknown;
    }
    // A writer opening the file in the instant the lease stands makes the kernel signal us:
    // a signal whose default is to be ignored, not SIGIO, which would end the program.
    if (::fcntl(fd.get(), F_SETSIG, SIGURG) != 0) {
        return WritersOpen::Unknown;
    }
    if (::fcntl(fd.get(), F_SETLEASE, F_RDLCK) != 0) {
        return errno == EAGAIN ? WritersOpen::Yes : WritersOpen::Unknown;
    }
    static_cast<void>(::fcntl(fd.get(), F_SETLEASE, F_UNLCK));
    return WritersOpen::No;
}

Status readFileBytes(const std::string& path, std::string& bytes, bool& exists,
                     std::uint64_t limit) {
    bytes.clear();
    exists = false;
    // Only a regular file is read: without O_NONBLOCK opening a FIFO would wait for a writer,
    // and a device such as /dev/zero would be read until memory runs out. A file another editor
    // holds for its write (HeldFile) is let go within moments: waited for, a while.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    for (int waits = 0; fd.get() < 0 && errno == EWOULDBLOCK && waits < kHeldWaits; ++waits) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    }
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
                            const std::string* known, const SettleLimits& limits) {
    const auto start = std::chrono::steady_clock::now();
    Settling settling(start);
    for (;;) {
        const Stamp before = stampOf(path);
        if (Status read = readFileBytes(path, bytes, exists); !read) {
            return read;
        }
        const Stamp after = stampOf(path);
        if (!exists || (known != nullptr && *known == bytes)) {
            return Status::success();
        }
        const auto now = std::chrono::steady_clock::now();
        if (settling.whole(before, after, bytes, now - start >= limits.quietFor,
                           now - start >= limits.looseAfter, path, limits)) {
            return Status::success();
        }
        if (now - start >= limits.bound) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(limits.bound);
            char seconds[16];
            std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(ms.count()) / 1000);
            bytes.clear();
            exists = false;
            return cannotRead(path, texts::format(texts::kKeptChanging, {seconds}));
        }
        std::this_thread::sleep_for(limits.pause);
    }
}

Status replaceFile(const std::string& path, std::string_view bytes, const FileContent* expected,
                   Replacement& done, FlushOrder flush, const std::string& recoveryFolder) {
    done = Replacement{};
    ReplaceJob job(path, bytes, expected, done, recoveryFolder);
    if (Status found = findTarget(job); !found) {
        return found;
    }
    if (job.inPlace) {
        return writeInPlace(job.path, job.target, job.bytes, job.expected, job.done, job.recovery);
    }
    if (const int err = job.temp.createBeside(job.target); err != 0) {
        return withoutTemporary(job, err);
    }
    if (Status filled = fillTemporary(job, flush); !filled || job.inPlace) {
        return filled.ok ? writeInPlace(job.path, job.target, job.bytes, job.expected, job.done,
                                        job.recovery)
                         : filled;
    }
    return job.state.exists ? replaceExisting(job) : createMissing(job);
}

namespace {

// Whether the name still leads to the file behind fd (no other file renamed over it).
bool nameStillLeadsTo(const std::string& target, int fd) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(target.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

std::unique_ptr<HeldFile> HeldFile::take(const std::string& path,
                                         std::chrono::milliseconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    for (;;) {
        bool busy = false;
        std::unique_ptr<HeldFile> held = takeOnce(path, busy);
        if (held || !busy || std::chrono::steady_clock::now() >= until) {
            return held;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::unique_ptr<HeldFile> HeldFile::takeOnce(const std::string& path, bool& busy) {
    std::unique_ptr<HeldFile> held(new HeldFile);
    if (!resolveTarget(path, held->target_).ok) {
        return nullptr;
    }
    // Without O_NONBLOCK the open would wait for a lease another program holds.
    held->fd_.reset(::open(held->target_.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    const int fd = held->fd_.get();
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return nullptr;
    }
    // A signal whose default is to be ignored, not SIGIO, which would end the program.
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0 || ::fcntl(fd, F_SETLEASE, F_WRLCK) != 0) {
        busy = errno == EAGAIN;
        return nullptr;
    }
    held->leased_ = true;
    // Renamed over before the lease stood: what we hold is no longer the file.
    if (!nameStillLeadsTo(held->target_, fd)) {
        return nullptr;
    }
    held->content_.exists = true;
    if (readAllAt(fd, held->content_.bytes) != 0) {
        return nullptr;
    }
    return held;
}

HeldFile::~HeldFile() {
    letGo();
}

void HeldFile::letGo() {
    if (leased_) {
        static_cast<void>(::fcntl(fd_.get(), F_SETLEASE, F_UNLCK));
        leased_ = false;
    }
    fd_.reset();
}

Status HeldFile::write(const std::string& path, std::string_view bytes, const FileContent& expected,
                       Replacement& done, const std::string& recoveryFolder) {
    done = Replacement{};
    if (!leased_ || !nameStillLeadsTo(target_, fd_.get())) {
        letGo();
        return readContent(target_, done.found);
    }
    Status written = writeInPlace(path, target_, bytes, &expected, done, recoveryFolder, fd_.get());
    leased_ = false;  // let go by the write
    letGo();
    return written;
}

namespace {

// Removes the copies a save was killed writing (COPY.XXXXXX, never renamed to COPY, so the file
// was not yet touched).
void removeHalfWrittenCopies(const std::string& copy) {
    const std::string prefix = baseNameOf(copy) + ".";
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directoryOf(copy).c_str()), &::closedir);
    while (dir) {
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            break;
        }
        const std::string_view name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix) {
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
        }
    }
}

// Whether the file holds the new bytes up to some point and the old ones after it, as a write in
// place that was cut off leaves it.
bool cutOffBetween(const std::string& file, const std::string& oldBytes,
                   const std::string& newBytes) {
    const auto mismatch = std::mismatch(file.begin(), file.end(), newBytes.begin(), newBytes.end());
    const auto p = static_cast<std::size_t>(mismatch.first - file.begin());
    return file.size() == std::max(oldBytes.size(), p) &&
           std::string_view(file).substr(p) ==
               (p < oldBytes.size() ? std::string_view(oldBytes).substr(p) : std::string_view());
}

// What an unfinished save's copy tells of the file now, and what becomes of it.
Status settleUnfinished(const std::string& path, const std::string& target, const UnfinishedSave& u,
                        std::string& notice) {
    FileContent now;
    if (Status read = readSettledFileBytes(target, now.bytes, now.exists); !read) {
        return read;
    }
    if (now.exists && now.bytes == u.newBytes) {
        notice = texts::format(texts::kInterruptedSaveWhole, {path});
    } else if (now.exists && now.bytes == u.oldBytes) {
        notice = texts::format(texts::kInterruptedSaveNotBegun, {path});
    } else if (now.exists && cutOffBetween(now.bytes, u.oldBytes, u.newBytes)) {
        UniqueFd fd(::open(target.c_str(), O_RDWR | O_CLOEXEC));
        if (fd.get() < 0) {
            return cannotWrite(path, errno);
        }
        if (const int err = overwrite(fd.get(), u.newBytes); err != 0) {
            return cannotWrite(path, err);
        }
        notice = texts::format(texts::kInterruptedSaveFinished, {path});
    } else {
        notice = texts::format(texts::kInterruptedSaveOvertaken, {path});
    }
    return Status::success();
}

}  // namespace

Status finishInterruptedSave(const std::string& path, const std::string& recoveryFolder,
                             std::string& notice) {
    notice.clear();
    std::string target;
    if (Status resolved = resolveTarget(path, target); !resolved) {
        return Status::success();  // nothing to put right where the file cannot be found
    }
    removeStaleTemporaries(target);
    const std::string copy = unfinishedCopyPath(target, recoveryFolder);
    removeHalfWrittenCopies(copy);
    std::string bytes;
    bool exists = false;
    if (!readFileBytes(copy, bytes, exists).ok || !exists) {
        return Status::success();
    }
    UnfinishedSave u;
    if (!decodeUnfinished(bytes, u)) {
        ::unlink(copy.c_str());  // never whole: the file was not yet written
        return Status::success();
    }
    if (u.target != target) {
        return Status::success();  // another file's, by a name that happens to be the same
    }
    Status settled = settleUnfinished(path, target, u, notice);
    if (settled) {
        ::unlink(copy.c_str());
    }
    return settled;
}

void forbidRenameExchange(bool forbidden) {
    exchangeForbidden.store(forbidden);
}

}  // namespace vorda
