#pragma once
// Three-way merge of the settings. The reading service keeps writing the settings file while the
// operator edits it (each channel's last time advances as data is read), and a second editor may
// save it too. A save therefore merges three versions value by value: what the file held when the
// editor read it (the base), what the operator made of it (ours) and what the file holds now
// (theirs).
//  - A value the operator did not change takes the file's current value; a value the file did not
//    change takes the operator's; a value both changed to different values is a conflict, which a
//    choice settles (keep mine, take the file's) or the operator is asked about.
//  - Groups are matched by station (several groups of one station by the channels they share,
//    then in order), channels within matched groups by code (sameChannelCode), so that values
//    follow their channel across the operator's sorts, moves, inserts and deletes.
//  - The operator's order stands. A group or channel the operator deleted stays deleted, one the
//    operator added stays; one the other side added is kept, after what precedes it there; one the
//    other side removed goes. One the other side removed and the operator changed is a conflict
//    (GroupPresence, ChannelPresence): keeping mine keeps it with the operator's values, taking
//    the file's removes it. A group or channel both sides added with different values is a
//    conflict of those values without a base (hadBase false).
//  - Whether a group is in use (placed below [SYSTEM] GROUPS) merges like a value of the group;
//    the groups in use come first, and their number is groupCount.
// Texts are code page 1251 bytes, as in the record.
#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings_record.h"

namespace vorda {

// The values a save writes, by what they are.
enum class MergeField : std::uint8_t {
    // [SYSTEM], [LOG], [DATABASE] and [DATA]
    Server,
    DetailMode,
    ShowScreen,
    SizeMb,
    LogDir,
    DataSource,
    User,
    Password,
    DataDir,
    // a group's
    GroupSizeMb,
    GroupSps,
    // a channel's
    ChannelTime,
    ChannelFile,
    // Whether the group or the channel is there at all: the other side removed it and the
    // operator changed it.
    GroupPresence,
    ChannelPresence,
};

// One value of the operator's settings: the field and, for a group's or a channel's field, the
// group's position in the operator's record and the channel's position in that group.
struct ValueRef {
    MergeField field = MergeField::Server;
    int group = -1;
    int channel = -1;

    bool operator==(const ValueRef&) const = default;
};

enum class ConflictChoice : std::uint8_t { KeepMine, TakeFile };

struct ConflictResolution {
    ValueRef value;
    ConflictChoice choice = ConflictChoice::KeepMine;
};

// A value both sides changed to different values.
struct MergeConflict {
    ValueRef value;
    // As the file names it: the section ("SYSTEM", "GROUP3" by the operator's numbering) and key
    // ("SERVER", "BHZ", "FILE_BHZ", "SPS").
    std::string section;
    std::string key;
    std::string station;  // the group's station; empty for the system values
    std::string channel;  // the channel's code; empty for system and group values
    // The values as the file writes them.
    std::string fileValue;
    std::string ourValue;
    // Whether a choice settled it (which one is in the merge's choices).
    bool resolved = false;
    // Whether the base had the value (not so when both sides added its group or channel).
    bool hadBase = true;
    // Where the value stands: in the base, in the file's settings and in the merge result.
    int baseGroup = -1;
    int baseChannel = -1;
    int fileGroup = -1;
    int fileChannel = -1;
    int mergedGroup = -1;
    int mergedChannel = -1;
};

// What a merge took over from the file's side where the operator's was different, by kind.
struct TakenFromFile {
    int values = 0;    // of the system, of groups and of channels
    int channels = 0;  // added or removed
    int groups = 0;    // added or removed

    int total() const { return values + channels + groups; }
    TakenFromFile& operator+=(const TakenFromFile& more) {
        values += more.values;
        channels += more.channels;
        groups += more.groups;
        return *this;
    }
};

struct MergeOutcome {
    SettingsValues merged;
    std::vector<MergeConflict> conflicts;
    // How many values, channels and groups of the result came from the file's side where the
    // operator's were different (what refreshing the operator's settings changes).
    int takenFromFile = 0;
    TakenFromFile taken;  // the same by kind

    // Whether a conflict has no choice yet.
    bool unresolved() const;
};

// Merges the three. `ours` holds what the editor would write (the connection values taken over,
// the data source name as the file keeps it). A conflict with a choice in `choices` takes the
// chosen side; one without takes `unresolvedTake`'s side and is reported unresolved.
MergeOutcome mergeSettings(const SettingsValues& base, const SettingsValues& ours,
                           const SettingsValues& theirs,
                           const std::vector<ConflictResolution>& choices,
                           ConflictChoice unresolvedTake);

// Where the values of a conflict are looked up in keepConflictsOpen.
enum class ConflictSide : std::uint8_t { Merged, File };

// Makes `nextBase` (the settings of what the file holds now: the merge result once written, or
// the file's settings) the base for the next merge: each unresolved conflict gets back its old
// value from `base`, so that the next merge still finds it changed on both sides. A group or
// channel both sides added leaves the base again, one the other side removed comes back into it
// (as `base` held it).
void keepConflictsOpen(SettingsValues& nextBase, ConflictSide nextBaseIs,
                       const std::vector<MergeConflict>& conflicts, const SettingsValues& base);

// Gives each unresolved conflict of a merge that took the file's side back the operator's value
// (`ours`, as given to that merge): what the editor shows keeps it until the operator chooses.
// A group or channel the file removed comes back as the operator has it.
void keepOurValues(SettingsValues& merged, const std::vector<MergeConflict>& conflicts,
                   const SettingsValues& ours);

// Which group of `to` each group of `from` is, as the merge pairs them: by station, and where a
// station has several groups on both sides, those that share the most channels first, then the
// rest in order. -1 for a group without a partner.
std::vector<int> pairGroups(const std::vector<GroupRecord>& from,
                            const std::vector<GroupRecord>& to);
// The same for the channels of two groups: by code, as sameChannelCode compares them.
std::vector<int> pairChannels(const std::vector<ChannelRecord>& from,
                              const std::vector<ChannelRecord>& to);
// One of a conflict's values (its fileValue or ourValue) as the operator may see it, in reports
// and in the window that asks: a password never, "***" instead.
std::string shownConflictValue(const MergeConflict& conflict, const std::string& value);

}  // namespace vorda
