#include "settings/settings_backup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "resources/texts.h"

namespace vorda {
namespace {

// "NAME.1a2b3c4d.": what the copies of one settings file begin with. The tag is FNV-1a of the
// full path, which stays the same from run to run.
std::string prefixFor(const std::string& settingsPath) {
    std::uint32_t hash = 2166136261u;
    for (const char c : settingsPath) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(hash));
    return baseNameOf(settingsPath) + "." + tag + ".";
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

Status cannotKeep(const std::string& folder, int err) {
    return Status::failure(
        texts::format(texts::kBackupNotKeptIn, {folder, texts::systemError(err)}));
}

}  // namespace

std::string backupFolder(const std::string& cacheDir) {
    return cacheDir.empty() ? std::string() : joinPath(cacheDir, "vorda-settings/backups");
}

std::vector<std::string> backupsOf(const std::string& folder, const std::string& settingsPath) {
    std::vector<std::string> names;
    const std::string prefix = prefixFor(settingsPath);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
            names.push_back(joinPath(folder, name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

Status keepBackup(const std::string& folder, const std::string& settingsPath,
                  std::string_view bytes, std::chrono::system_clock::time_point now) {
    if (const int err = makeFolders(folder); err != 0) {
        return cannotKeep(folder, err);
    }
    const std::string name = joinPath(folder, prefixFor(settingsPath) + timeStamp(now));
    std::string path;
    UniqueFd fd;
    for (int n = 0; n < 100; ++n) {
        // "-1", "-2", ...: another copy in the same millisecond
        path = n == 0 ? name : name + "-" + std::to_string(n);
        fd.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.get() >= 0 || errno != EEXIST) {
            break;
        }
    }
    if (fd.get() < 0) {
        return cannotKeep(folder, errno);
    }
    int err = writeAllAt(fd.get(), bytes);
    if (!fd.close() && err == 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(path.c_str());
        return cannotKeep(folder, err);
    }

    const std::vector<std::string> kept = backupsOf(folder, settingsPath);
    for (std::size_t i = 0; i + kBackupsKept < kept.size(); ++i) {
        ::unlink(kept[i].c_str());
    }
    return Status::success();
}

}  // namespace vorda
