#pragma once
// A file on disk read whole and written whole, so that a program reading it at the same time
// (the reading service keeps its channel times in the settings file) never sees half of a write.
// POSIX calls only; the bytes are not looked at.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/status.h"

namespace vorda {

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

// Writes bytes to the open file from its start. 0 or the errno value.
int writeAllAt(int fd, std::string_view bytes);

// Whether the file at path is a regular file that holds just these bytes: compared piece by piece
// as it is read, without a copy of it in memory. False when it differs, is missing or cannot be
// read.
bool fileHoldsJust(const std::string& path, std::string_view bytes);

// The most a file of ours (the settings file, the connection files) may hold: far more than any
// real one, and little enough to hold in memory a few times over.
inline constexpr std::uint64_t kFileSizeLimit = std::uint64_t{64} << 20;

// Reads a whole file. A missing file gives success, no bytes and exists false; a file that
// exists but cannot be read (a folder, a FIFO, a device or anything else that is no regular
// file, a file without read permission, a read error, a file of more than `limit` bytes, also
// one that grows beyond it while it is read) gives a failure naming it, no bytes and exists
// false. A larger file is never read beyond limit + 1 bytes.
Status readFileBytes(const std::string& path, std::string& bytes, bool& exists,
                     std::uint64_t limit = kFileSizeLimit);

// What a file holds (or held before a replacement, for the caller to compare).
struct FileContent {
    bool exists = false;
    std::string bytes;

    bool operator==(const FileContent&) const = default;
};

// How long readSettledFileBytes waits for a file another program is writing.
struct SettleLimits {
    // Past this the file is reported as being written all the time.
    std::chrono::milliseconds bound{2000};
    // A file unchanged for this long is taken as it is (empty, or without a line end, too).
    std::chrono::milliseconds settledAge{500};
    // A file that ends at a line end and is unchanged for this long is whole.
    std::chrono::milliseconds quiet{20};
    // For this long only a quiet file is taken; after it one that nobody holds open for
    // writing is enough (a program that rewrites its file many times a second leaves no quiet).
    std::chrono::milliseconds quietFor{150};
    // After this a read that nothing moved under and that ends at a line end is enough (a
    // program that keeps the file open and writes it many times a second leaves no other).
    std::chrono::milliseconds looseAfter{800};
    // Between two reads.
    std::chrono::milliseconds pause{1};
};

// Like readFileBytes, but never gives a file seen in the middle of another program's write: a
// read counts only when the file's size, times and inode stayed the same while it was read, and
// it either stood still for settledAge or is not empty, ends at a line end, and is quiet (or,
// after quietFor, held open for writing by nobody). Otherwise it is read again, for up to
// `bound`; past that a failure says the file keeps being written. Two equal reads in a row are
// no proof (a writer writing piece by piece leaves a half-new file for a while). A read that
// finds known (the bytes of a whole file seen before) stands at once, and so does a missing file.
Status readSettledFileBytes(const std::string& path, std::string& bytes, bool& exists,
                            const std::string* known = nullptr, const SettleLimits& limits = {});

// Whether the file was written (or its attributes changed) within the last span, by its times:
// whoever wrote it may be writing it still.
bool writtenWithin(const std::string& path, std::chrono::milliseconds span);

// Whether another process has the file open for writing, as the kernel tells one who may take a
// lease on it (its owner or root); Unknown when we may not ask.
enum class WritersOpen : std::uint8_t { No, Yes, Unknown };
WritersOpen openForWritingElsewhere(const std::string& path);

// What replaceFile did.
struct Replacement {
    // The new bytes are in the file.
    bool placed = false;
    // They were written into the file itself, because its folder would not take a temporary file.
    bool inPlace = false;
    // What stood in the file at the moment of the replacement (the file taken out, or the bytes
    // overwritten in place); when the new bytes were not placed because the file was no longer
    // as expected, or another program wrote it right after, what it holds instead.
    FileContent found;
};

// Replaces the file at path with bytes, and tells what it replaced:
//  - A temporary file beside the target, readable by its owner only and named
//    ".NAME.vorda-settings.HOST-NS-PID.XXXXXX" (ours that killed saves left are removed first,
//    see platform/own_temporaries.h), is
//    written, flushed to disk (see FlushOrder), given the target's owner (where we may) and,
//    last, its permissions. The target is read once more: when it is no longer `expected`,
//    nothing is placed and found holds what it is now. Otherwise the two are exchanged in one
//    step and the file taken out is read: when it is no longer `expected` (another program wrote
//    the file in the instant between), it is exchanged back at once, nothing is placed and found
//    holds what the file holds then. Otherwise it is removed and found holds it; the folder is
//    flushed to disk, and the file taken out is read again, for a program that had it open and
//    wrote into it meanwhile.
//  - A missing target is created only if it is still missing (otherwise found holds what is
//    there now and nothing is placed).
//  - The file is written in place instead wherever a rename would not keep all the file is:
//    another owner or group we cannot give the new file, extended attributes (ACL entries) that
//    cannot be copied, a second name (hard link), a file mounted on its own, a file another
//    program holds open for writing (or one we may not ask about: only its owner or root may),
//    a file system that cannot exchange two files (or forbidRenameExchange), a folder that
//    refuses the temporary file (a folder only root may write, holding a file the user may
//    write) or refuses the exchange (a sticky folder). In place, as the reading service's own
//    writer does: read and compared with `expected` (nothing is written when it differs), written,
//    shortened, flushed to disk; on any failure the old bytes are written back. It is read again
//    after: when another program wrote it meanwhile, placed is false and found holds its bytes.
//  - An existing file keeps its permissions; a new one gets 0666 less the umask. Symbolic links
//    are written through. A file we may not write is refused, even where the folder would let
//    us replace it.
//  - `expected` (nullptr: anything) is only compared with; the caller decides what a difference
//    means (the file is never left half-written either way).
// A failure names the path and the reason. It leaves the target as it was, unless placed is true:
// then the new bytes are in place and what failed came after (the folder could not be flushed to
// disk).
// When the new bytes are flushed to disk: before they take the target's place (durable at once),
// or right after, which keeps the time between the caller's look and the replacement short
// where another program is writing the file at that very moment.
enum class FlushOrder : std::uint8_t { BeforePlacing, AfterPlacing };

//
// Before the file is written in place, a copy of what it held and of the new bytes is kept in
// recoveryFolder (one of ours; empty: beside the file, where its folder allows), and
// removed once the new bytes are all in: a save killed half-way leaves it for
// finishInterruptedSave.
Status replaceFile(const std::string& path, std::string_view bytes, const FileContent* expected,
                   Replacement& done, FlushOrder flush = FlushOrder::BeforePlacing,
                   const std::string& recoveryFolder = {});

// The file held against every other program for one write: opened for reading and writing under
// a write lease, which the kernel grants only to the file's owner or root, and only while nobody
// else has the file open. What it holds then is whole (no program is half-way through writing
// it), and while the hold stands a program that opens the file waits for it to be let go: the
// kernel tells us, and the hold is let go as soon as the write is done (the kernel itself breaks
// a lease that stands too long). For a program that rewrites its file in place so often that a
// write of ours always meets one of its writes: the file held, its content merged with and
// written back before anyone can write in between.
class HeldFile {
  public:
    // Holds the file at path (at the end of its symbolic links); nullptr when it cannot be held:
    // missing, no regular file, not ours to lease, over the size limit, or open elsewhere all
    // through `patience` (a program that writes it again and again closes it in between).
    static std::unique_ptr<HeldFile> take(const std::string& path,
                                          std::chrono::milliseconds patience = {});
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // What the file held when it was taken, handed over (no copy of it is kept here).
    FileContent takeContent() { return std::move(content_); }

    // Writes bytes into the file in place, as replaceFile does (compared with `expected`, what
    // takeContent gave; the recovery copy in recoveryFolder), and lets it go; done tells what
    // replaceFile tells. A file another program put in its place by rename meanwhile is not
    // written: found then holds what is there.
    Status write(const std::string& path, std::string_view bytes, const FileContent& expected,
                 Replacement& done, const std::string& recoveryFolder);

  private:
    HeldFile() = default;
    // One try; busy tells that another program has the file open.
    static std::unique_ptr<HeldFile> takeOnce(const std::string& path, bool& busy);
    void letGo();

    std::string target_;
    UniqueFd fd_;
    bool leased_ = false;
    FileContent content_;
};

// Puts right what a save killed while it wrote the file in place left (the copy replaceFile kept
// in recoveryFolder): a file cut off between the new bytes and the old ones gets the new ones; one
// that already holds either whole, or what another program wrote since, stays. notice then says
// what was found and done (empty: there was nothing to put right). A failure leaves the copy for
// the next run. The temporary files of ours that killed saves left beside the file are removed,
// as replaceFile removes them.
Status finishInterruptedSave(const std::string& path, const std::string& recoveryFolder,
                             std::string& notice);

// Makes replaceFile act as on a file system that cannot exchange two files (for tests and for
// trying the in-place way on purpose).
void forbidRenameExchange(bool forbidden);

}  // namespace vorda
