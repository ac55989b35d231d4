#include "settings/settings_backup.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <tuple>

#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/own_temporaries.h"
#include "platform/text.h"
#include "resources/texts.h"

namespace vorda {
namespace {

// The folders of the program's own in the cache folder: made by it, and used only while they
// are the user's own folders.
constexpr std::string_view kOwnFolders = "vorda-settings/backups";
// How many times a copy's name is tried with "-1", "-2", ... (copies in the same millisecond).
constexpr int kNameTries = 100;

// "NAME.1a2b3c4d.": what the copies of one settings file begin with. The tag is FNV-1a of the
// full path, which stays the same from run to run.
std::string prefixFor(const std::string& settingsPath) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(shortHash(settingsPath)));
    return baseNameOf(settingsPath) + "." + tag + ".";
}

// The temporary files the copies of one settings file are written to first.
std::string temporaryPrefixFor(const std::string& copyPrefix) {
    return temporaryPrefix(std::string_view(copyPrefix).substr(0, copyPrefix.size() - 1));
}

// "20240501T123005.123Z"
std::string timeStamp(std::chrono::system_clock::time_point now) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms.count() % 1000));
    return text;
}

// One copy in the folder: its name, and the time and number its name gives.
struct Copy {
    std::string name;
    std::string stamp;  // timeStamp()'s form, which sorts as the time does
    int number = 0;     // 0, or n of "-n" (another copy in the same millisecond)
};

// Reads "20240501T123005.123Z" or "20240501T123005.123Z-2", the part of a copy's name after
// the prefix; false for anything else.
bool parseCopyName(std::string_view rest, Copy& copy) {
    constexpr std::size_t kStampSize = 20;
    if (rest.size() < kStampSize || !isAsciiDigits(rest.substr(0, 8)) || rest[8] != 'T' ||
        !isAsciiDigits(rest.substr(9, 6)) || rest[15] != '.' ||
        !isAsciiDigits(rest.substr(16, 3)) || rest[19] != 'Z') {
        return false;
    }
    const std::string_view more = rest.substr(kStampSize);
    if (!more.empty() && (more[0] != '-' || more.size() > 4 || !isAsciiDigits(more.substr(1)))) {
        return false;
    }
    copy.stamp = std::string(rest.substr(0, kStampSize));
    copy.number = more.empty() ? 0 : readSaturatedDecimal(more.substr(1));
    return true;
}

// The copies beginning with prefix in the folder dirFd: regular files named as copies are, in
// no order. Temporary files (which begin with a dot) are none of them.
std::vector<Copy> copiesIn(int dirFd, const std::string& prefix) {
    std::vector<Copy> copies;
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) {
        return copies;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd), &::closedir);
    if (!dir) {
        ::close(listFd);
        return copies;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        Copy copy;
        struct stat st {};
        if (name.substr(0, prefix.size()) == prefix &&
            parseCopyName(name.substr(prefix.size()), copy) &&
            ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
            copy.name = std::string(name);
            copies.push_back(std::move(copy));
        }
    }
    return copies;
}

Status cannotKeep(const std::string& folder, std::string_view why) {
    return Status::failure(texts::format(texts::kBackupNotKeptIn, {folder, why}));
}
Status cannotKeep(const std::string& folder, int err) {
    return cannotKeep(folder, texts::systemError(err));
}

// Creates the folder and every missing folder above it, readable by the owner only.
int makeFolders(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') {
            continue;
        }
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    return 0;
}

// Opens (and first makes, when missing) the folder name in the folder atFd as one of the
// program's own: a folder itself, not a symbolic link, of our effective user, readable by the
// owner only (a mode that lets others in is set back to that). path names it in messages.
Status openOwnFolder(int atFd, const std::string& name, const std::string& path, UniqueFd& fd) {
    if (::mkdirat(atFd, name.c_str(), 0700) != 0 && errno != EEXIST) {
        return cannotKeep(path, errno);
    }
    fd.reset(::openat(atFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0) {
        const int err = errno;
        if (::fstatat(atFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(st.st_mode)) {
                return cannotKeep(path, texts::kBackupFolderIsLink);
            }
            if (!S_ISDIR(st.st_mode)) {
                return cannotKeep(path, texts::kBackupFolderNoFolder);
            }
        }
        return cannotKeep(path, err);
    }
    if (::fstat(fd.get(), &st) != 0) {
        return cannotKeep(path, errno);
    }
    if (st.st_uid != ::geteuid()) {
        return cannotKeep(path, texts::kBackupFolderNotOurs);
    }
    if ((st.st_mode & 07777) != 0700 && ::fchmod(fd.get(), 0700) != 0) {
        return cannotKeep(path, errno);
    }
    return Status::success();
}

// Opens the backup folder, making what is missing. The folders of the program's own (the last
// two of backupFolder(), or the last one of any other folder) must be the user's own
// (openOwnFolder); the cache folder above them is taken as it is.
Status openBackupFolder(const std::string& folder, UniqueFd& fd) {
    std::string base = directoryOf(folder);
    std::vector<std::string> own{baseNameOf(folder)};
    const std::string ownPart = "/" + std::string(kOwnFolders);
    if (folder.size() > ownPart.size() &&
        folder.compare(folder.size() - ownPart.size(), ownPart.size(), ownPart) == 0) {
        base = folder.substr(0, folder.size() - ownPart.size());
        own = {directoryOf(std::string(kOwnFolders)), baseNameOf(std::string(kOwnFolders))};
    }
    if (const int err = makeFolders(base); err != 0) {
        return cannotKeep(base, err);
    }
    fd.reset(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) {
        return cannotKeep(base, errno);
    }
    std::string path = base;
    for (const std::string& name : own) {
        path = joinPath(path, name);
        UniqueFd next;
        if (Status opened = openOwnFolder(fd.get(), name, path, next); !opened) {
            return opened;
        }
        fd.reset(::dup(next.get()));
        if (fd.get() < 0) {
            return cannotKeep(path, errno);
        }
    }
    return Status::success();
}

// Gives the written temporary file its name as a copy: stem, or stem-1, stem-2, ... when a copy
// of the same millisecond has it. An existing copy is never replaced. 0 or the errno value.
int placeCopy(int dirFd, const std::string& temp, const std::string& stem, std::string& name) {
    for (int n = 0; n < kNameTries; ++n) {
        name = n == 0 ? stem : stem + "-" + std::to_string(n);
        if (::renameat2(dirFd, temp.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE) == 0) {
            return 0;
        }
        if (errno == EINVAL || errno == ENOSYS) {
            // No such rename on this file system: a hard link does the same.
            if (::linkat(dirFd, temp.c_str(), dirFd, name.c_str(), 0) == 0) {
                ::unlinkat(dirFd, temp.c_str(), 0);
                return 0;
            }
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    return EEXIST;
}

// Removes the oldest copies beyond kBackupsKept, never the one just made (made). Oldest by the
// time in their names; but a copy dated later than now was dated by a clock that was ahead, and
// was made before this one: such copies count as older than the rest.
void prune(int dirFd, const std::string& prefix, const std::string& made,
           std::chrono::system_clock::time_point now) {
    std::vector<Copy> others = copiesIn(dirFd, prefix);
    std::erase_if(others, [&](const Copy& c) { return c.name == made; });
    if (others.size() < kBackupsKept) {
        return;
    }
    const std::string present = timeStamp(now);
    const auto age = [&](const Copy& c) {
        return std::tuple<bool, const std::string&, int>(c.stamp <= present, c.stamp, c.number);
    };
    std::sort(others.begin(), others.end(),
              [&](const Copy& a, const Copy& b) { return age(a) < age(b); });
    for (std::size_t i = 0; i + kBackupsKept <= others.size(); ++i) {
        ::unlinkat(dirFd, others[i].name.c_str(), 0);
    }
}

}  // namespace

std::string backupFolder(const std::string& cacheDir) {
    // Without a cache folder the name stays relative, which keepBackup refuses with the reason.
    return joinPath(cacheDir, std::string(kOwnFolders));
}

std::vector<std::string> backupsOf(const std::string& folder, const std::string& settingsPath) {
    std::vector<std::string> names;
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        return names;
    }
    std::vector<Copy> copies = copiesIn(dir.get(), prefixFor(settingsPath));
    std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) {
        return std::tie(a.stamp, a.number) < std::tie(b.stamp, b.number);
    });
    for (const Copy& copy : copies) {
        names.push_back(joinPath(folder, copy.name));
    }
    return names;
}

Status keepBackup(const std::string& folder, const std::string& settingsPath,
                  std::string_view bytes, std::chrono::system_clock::time_point now) {
    if (folder.empty() || folder.front() != '/') {
        return Status::failure(std::string(texts::kNoBackupFolder));
    }
    UniqueFd dir;
    if (Status opened = openBackupFolder(folder, dir); !opened) {
        return opened;
    }
    const std::string prefix = prefixFor(settingsPath);
    const std::string tempPrefix = temporaryPrefixFor(prefix);
    removeAbandonedTemporaries(dir.get(), tempPrefix);

    // Written whole and flushed to disk under a temporary name first: a copy under its own name
    // is always whole, and one that a killed save left half-written is removed by the next.
    std::string temp;
    UniqueFd out(createTemporaryAt(dir.get(), tempPrefix, temp));
    if (out.get() < 0) {
        return cannotKeep(folder, errno);
    }
    int err = writeAllAt(out.get(), bytes);
    if (err == 0 && ::fsync(out.get()) != 0) {
        err = errno;
    }
    if (!out.close() && err == 0) {
        err = errno;
    }
    std::string name;
    if (err == 0) {
        err = placeCopy(dir.get(), temp, prefix + timeStamp(now), name);
    }
    if (err != 0) {
        ::unlinkat(dir.get(), temp.c_str(), 0);
        return cannotKeep(folder, err);
    }
    if (::fsync(dir.get()) != 0) {
        return cannotKeep(folder, errno);
    }
    prune(dir.get(), prefix, name, now);
    return Status::success();
}

}  // namespace vorda
