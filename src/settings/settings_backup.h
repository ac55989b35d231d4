#pragma once
// Copies of the settings file as each save found it, kept in the user's cache folder
// ($XDG_CACHE_HOME/vorda-settings/backups/), so that an operator can go back to an earlier state.
// Each copy is named after the settings file, a tag of its full path (files of one name in
// different folders keep apart) and the time in UTC: "ZEL_VurEV.ini.1a2b3c4d.20240501T123005.123Z".
// Copies and folders are readable by their owner only (the file holds the database password);
// the newest kBackupsKept of each settings file stay.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace vorda {

inline constexpr std::size_t kBackupsKept = 20;

// The backup folder in the cache folder cacheDir; empty when cacheDir is.
std::string backupFolder(const std::string& cacheDir);

// Keeps a copy of bytes, the content of the settings file settingsPath (an absolute path), in
// folder, and removes the oldest copies of that file beyond kBackupsKept. Creates the folder
// (owner only) when it is missing. The failure says why no copy was kept.
Status keepBackup(const std::string& folder, const std::string& settingsPath,
                  std::string_view bytes, std::chrono::system_clock::time_point now);

// The copies of settingsPath in folder, oldest first (full paths).
std::vector<std::string> backupsOf(const std::string& folder, const std::string& settingsPath);

}  // namespace vorda
