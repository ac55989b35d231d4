#pragma once
// Reading and writing the settings file of the reading service.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/profile_document.h"
#include "platform/status.h"
#include "settings/code_rules.h"
#include "settings/connection_values.h"
#include "settings/settings_merge.h"
#include "settings/settings_record.h"

namespace vorda {

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
    // Set when the file exists but could not be read: saving over it is refused.
    std::string unreadableReason;
    // Groups whose channel lists were not read whole: the codes left out are not in the record,
    // so a save writes neither their keys nor their place in the list.
    std::vector<ChannelListNote> channelListNotes;
    // The file's bytes as last read or written by us (to notice changes by another program).
    bool knownContent = false;
    std::uint64_t contentHash = 0;
    std::uint64_t contentSize = 0;
    // The base a save merges against: what the file held when it was loaded or last saved
    // (exists false: there was no file), and the settings it holds, with what the operator was
    // already told meanwhile (refreshFromFile).
    FileContent baseContent;
    // Whether the settings of the base are just what baseContent holds (not so while the
    // operator has conflicts open).
    bool baseIsBytes = false;
    // The settings of the base; read from baseContent when first needed, which is when the file
    // changed on disk (baseDecoded false: not yet).
    bool baseDecoded = false;
    SettingsValues base;
    // Where a save that writes the file in place keeps the new bytes until they are all in
    // (empty: beside the file), and what loading found a killed save had left there (UTF-8;
    // empty: nothing).
    std::string recoveryDir;
    std::string recoveryNotice;
    // Where copies of the replaced file go (empty: nowhere), and the clock that names them.
    std::string backupDir;
    std::function<std::chrono::system_clock::time_point()> clock;
    // The document of the file as loaded, as a look at another program's change read it, or as
    // we last wrote it. A save reads the file again and takes this document instead of parsing
    // those bytes while they are exactly the ones it stands for (ProfileDocument::unchangedFrom);
    // otherwise it parses what it read.
    std::optional<ProfileDocument> document;
};

// What a save did, beyond its Status.
struct [[nodiscard]] SaveResult : Status {
    // Values the operator and another program both changed: when some are unresolved and saved
    // is false, nothing was written and the operator is to choose (then save again with the
    // choices). When saved is true, they arose only as the file was being replaced; the file
    // then holds the other program's values for them and the record the operator's, and the
    // next save asks.
    std::vector<MergeConflict> conflicts;
    // The record now holds what the file holds (it was changed in place).
    bool saved = false;
    // Values, channels and groups the record took over from the file's changes.
    int takenFromFile = 0;
    TakenFromFile taken;  // the same by kind
    // How many times the file was written (another program writing it at the same moment makes
    // it more than one).
    int writes = 0;
    // The connection values as written: the caller takes them over (they took the file's where
    // the operator did not change them).
    ConnectionValues connection;
    // What went wrong without stopping the save (no backup could be kept).
    std::vector<std::string> warnings;

    bool needsChoice() const;
};

// What the file's changes did to the record (refreshFromFile).
struct RefreshResult {
    // The file changed since the editor last looked.
    bool changed = false;
    // Values, channels and groups taken over from the file.
    int takenFromFile = 0;
    TakenFromFile taken;  // the same by kind
    // Values the operator changed and the file changed otherwise: they keep the operator's value,
    // and the save asks.
    int conflicts = 0;
    // The connection values after the refresh: the caller takes them over.
    ConnectionValues connection;
    Status status;
};

// The settings file named by the command line: one argument names it, anything else gives
// ./ZEL_VurEV.ini; an absolute name is used unchanged, any other gets ./ in front. A connection
// item alone (ODBC=, USER=, PASSWORD=, DATA=, any letter case) names no file: it gives
// ./ZEL_VurEV.ini as well (and sets the connection).
std::string chooseSettingsPath(const Environment& env);

// The file chooseSettingsPath() names, as it is read and written: a ./ name is taken from the
// environment's current directory.
std::string settingsFilePath(const Environment& env);

// Fills the (empty) record from the settings file chosen from env, once what a killed save left
// is put right (file.recoveryNotice says so), and once the file stands still (another program
// may be writing it). Never refuses a file: a missing file gives defaults. The result fails only
// when the file exists but cannot be read; the record then holds the defaults and
// file.unreadableReason says why.
Status loadSettings(SettingsRecord& record, SettingsFile& file, const Environment& env);

// Writes the record, with the connection values taken over, into the settings file, merged with
// what the file holds now (settings/settings_merge.h): values the operator did not change take
// the file's current values, keys and sections the editor does not own keep the file's bytes.
// The file is replaced in one step, and when another program wrote it between the last look and
// the replacement, merged and written again (a few times at most, then reported). A copy of the
// bytes replaced is kept first (file.backupDir). A value both sides changed stops the save
// (nothing written) until `choices` settles it.
// Afterwards the record and file.base hold what was written. Reports why when it fails; the file
// is then as it was.
SaveResult saveSettings(SettingsRecord& record, SettingsFile& file, const ConnectionValues& values,
                        const std::vector<ConflictResolution>& choices = {});

// Takes the changes another program made to the file since the editor last looked into the
// record, where the operator did not change the value (values both changed keep the operator's).
// Nothing happens when the file is as last seen, or cannot be read.
RefreshResult refreshFromFile(SettingsRecord& record, SettingsFile& file,
                              const ConnectionValues& values);

// Whether the file on disk is no longer what we last read or wrote (another program changed,
// created or removed it).
bool changedOnDisk(const SettingsFile& file);

// What the operator is told about the channel lists that were not read whole (UTF-8); empty
// when every list was read whole.
std::string channelListNotesText(const std::vector<ChannelListNote>& notes);

// The line under the pages after the file's changes were taken over (UTF-8): what was taken, by
// kind, and how many values changed on both sides wait for the save's question; empty when
// there is neither.
std::string fileChangesNotice(const TakenFromFile& taken, int conflicts);

// A short description of a conflict for a report: "[GROUP3] BHZ (станция ABC): в файле 5, здесь 7"
// (UTF-8). Passwords show as "***".
std::string describeConflict(const MergeConflict& conflict);

// The keys of a group section that a save removes as it writes `group` into it: the time key and
// the "FILE_" key of each code the section's channel list (`listedCodes`, as the file holds it
// before the write) names and the group no longer has (codes compared as sameChannelCode does),
// since the editor wrote them for a channel that has left the section. Never one of the group's
// own keys nor a key the group writes (names compared as the file compares them).
std::vector<std::string> channelKeysLeftBehind(const std::vector<std::string>& listedCodes,
                                               const GroupRecord& group);

// The one settings file of the program, beside settingsRecord().
SettingsFile& settingsFile();

// The data source name as the settings file keeps it: a trailing " (System DSN)" or
// " (User DSN)" is removed, the rest kept whole.
std::string plainDataSourceName(const std::string& name);

}  // namespace vorda
