#pragma once
// Reading and writing the settings file of the reading service.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channels/channel_rules.h"
#include "platform/environment.h"
#include "platform/profile_document.h"
#include "platform/status.h"
#include "settings/settings_record.h"

namespace vorda {

struct ConnectionValues;

// A group whose channel list was not read whole: which codes were left out, and why.
struct ChannelListNote {
    int group = 0;                      // the group's number (its section is GROUPn)
    std::vector<std::string> cutCodes;  // beyond what the file keeps (code page 1251)
    std::vector<RuleCheck> leftOut;     // refused by the code rules
};

// Where the settings are and what loading found there.
struct SettingsFile {
    // The path chosen from the command line (./ZEL_VurEV.ini, ./NAME or /NAME).
    std::string settingsPath;
    // The same file as read and written: a ./ path taken from the environment's current
    // directory.
    std::string filePath;
    // Whether the file existed when it was loaded.
    bool existed = false;
    // Set when the file exists but could not be read: saving over it is refused.
    std::string unreadableReason;
    // Groups whose channel lists were not read whole: the codes left out are not in the record,
    // so a save writes neither their keys nor their place in the list.
    std::vector<ChannelListNote> channelListNotes;
    // The file's bytes as last read or written by us (to notice changes by another program).
    bool knownContent = false;
    std::uint64_t contentHash = 0;
    std::uint64_t contentSize = 0;
    // The document of the file as loaded or as we last wrote it. A save reads the file again
    // and takes this document instead of parsing those bytes while they are exactly the ones it
    // stands for (ProfileDocument::unchangedFrom); otherwise it parses what it read.
    std::optional<ProfileDocument> document;
};

// The settings file named by the command line: one argument names it, anything else gives
// ./ZEL_VurEV.ini; an absolute name is used unchanged, any other gets ./ in front.
std::string chooseSettingsPath(const Environment& env);

// The file chooseSettingsPath() names, as it is read and written: a ./ name is taken from the
// environment's current directory.
std::string settingsFilePath(const Environment& env);

// Fills the (empty) record from the settings file chosen from env. Never refuses a file: a
// missing file gives defaults. The result fails only when the file exists but cannot be read;
// the record then holds the defaults and file.unreadableReason says why.
Status loadSettings(SettingsRecord& record, SettingsFile& file, const Environment& env);

// Takes over the connection values into the record and writes the whole record to
// file.settingsPath in one atomic write. Reports why when it fails; the file is then as it was.
Status saveSettings(SettingsRecord& record, SettingsFile& file, const ConnectionValues& values);

// Whether the file on disk is no longer what we last read or wrote (another program changed,
// created or removed it).
bool changedOnDisk(const SettingsFile& file);

// What the operator is told about the channel lists that were not read whole (UTF-8); empty
// when every list was read whole.
std::string channelListNotesText(const std::vector<ChannelListNote>& notes);

// The one settings file of the program, beside settingsRecord().
SettingsFile& settingsFile();

// The data source name as the settings file keeps it: a trailing " (System DSN)" or
// " (User DSN)" is removed, the rest kept whole.
std::string plainDataSourceName(const std::string& name);

}  // namespace vorda
