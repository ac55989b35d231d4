#pragma once
// Copies of the settings file as each save found it, kept in the user's cache folder
// ($XDG_CACHE_HOME/vorda-settings/backups/), so that an operator can go back to an earlier state.
// Each copy is named after the settings file, a tag of its full path (files of one name in
// different folders keep apart) and the time in UTC: "ZEL_VurEV.ini.1a2b3c4d.20240501T123005.123Z".
// Copies and folders are readable by their owner only (the file holds the database password);
// the newest kBackupsKept of each settings file stay. A copy is written to a temporary file in
// the folder, flushed to disk and only then given its name, so every copy is whole.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace vorda {

inline constexpr std::size_t kBackupsKept = 20;

// The backup folder in the cache folder cacheDir. Without a cache folder (cacheDir empty) it is
// a relative name, which keepBackup refuses, saying why.
std::string backupFolder(const std::string& cacheDir);

// Keeps a copy of bytes, the content of the settings file settingsPath (an absolute path), in
// folder (an absolute path), and removes the oldest copies of that file beyond kBackupsKept:
// oldest by the time in their names, where copies dated after `now` (by a clock that was ahead)
// count as the oldest, and never the copy just made. Creates the folder when it is missing.
// The program's own folders (vorda-settings/backups, or the last folder of another path) are
// used only when they are folders of our effective user and no symbolic links; their mode is
// set to owner only. Temporary files that killed saves left there are removed (only ours, see
// platform/own_temporaries.h). The failure says why no copy was kept.
Status keepBackup(const std::string& folder, const std::string& settingsPath,
                  std::string_view bytes, std::chrono::system_clock::time_point now);

// The copies of settingsPath in folder, by the time in their names, oldest first (full paths).
std::vector<std::string> backupsOf(const std::string& folder, const std::string& settingsPath);

}  // namespace vorda
