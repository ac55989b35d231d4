#pragma once
// The rules that the additions and changes of groups and channels keep so that the settings
// file can hold them and read them back: each code keeps the code rules (settings/code_rules.h),
// a group holds no code twice, and the file keeps at most 256 groups and a channel list of 511
// characters.
//
// Each check gives a RuleCheck: ok, or which rule was broken, about which code, with the text
// the operator reads. The apply functions check first and change the record only when nothing
// is refused, so a list of channels goes in whole or not at all.
//
// Codes and records are code page 1251 bytes; the texts for the operator are UTF-8.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/code_rules.h"
#include "settings/settings_record.h"

namespace vorda {

// The data file name proposed for a channel of a station: station_channel.DAT; none without a
// channel code.
std::string proposedFileName(std::string_view station, std::string_view code);

// The samples per second and the file size (megabytes) a new group starts with.
inline constexpr std::int32_t kNewGroupSps = 20;
inline constexpr std::int32_t kNewGroupSizeMb = 100;

// The channels an addition of all of a station's channels takes for the group: of the codes the
// database lists for the group's station, in their order, those the group has no channel of yet
// (compared as sameChannelCode does; every code for a new group without channels), each with its
// proposed file name and the one last time given. The checks are checkNewChannels' and
// checkNewGroup's, as for a single channel.
std::vector<ChannelRecord> missingChannels(const GroupRecord& group,
                                           std::span<const std::string> listedCodes,
                                           std::int32_t lastTime);

// Whether the channels can be appended to the group: each code is checked, none may be in the
// group already (nor twice in the list), and the channel list must stay within its limit. The
// first channel refused is named.
RuleCheck checkNewChannels(const GroupRecord& group, std::span<const ChannelRecord> channels);
// Appends the channels when checkNewChannels allows all of them; otherwise nothing changes.
RuleCheck addChannels(GroupRecord& group, std::span<const ChannelRecord> channels);

// Whether a new group fits the record: its station code, its channels as checkNewChannels
// checks them, and room for one more group.
RuleCheck checkNewGroup(const SettingsRecord& record, const GroupRecord& group);
// Inserts the group at position (at most the number of groups), so that the group there and
// those after it move one on, and raises groupCount by one; nothing changes on a refusal.
RuleCheck addGroup(SettingsRecord& record, std::size_t position, const GroupRecord& group);

// Whether channel `index` of the group may become `channel`: its code, which may stay as it is
// but may not become one that another channel of the group has, and the channel list with it in
// place.
RuleCheck checkChannelChange(const GroupRecord& group, std::size_t index,
                             const ChannelRecord& channel);
// Replaces the channel and sets the group-wide samples per second and file size; nothing changes
// on a refusal.
RuleCheck changeChannel(GroupRecord& group, std::size_t index, const ChannelRecord& channel,
                        std::int32_t sps, std::int32_t sizeMb);

// The fields of the channel dialog as typed: numbers as UTF-8 text, the file name in code page
// 1251.
struct ChannelFields {
    std::string sps;
    std::string lastTime;  // only tested for being there; its form is the time conversion's
    std::string sizeMb;
    std::string fileName;
    bool fileNameNeeded = true;  // false when each channel added gets its proposed file name
};

// What checkChannelFields found: the numbers read, or what the operator reads (UTF-8).
struct FieldsCheck {
    std::string refusal;
    std::int32_t sps = 0;
    std::int32_t sizeMb = 0;

    bool ok() const { return refusal.empty(); }
};

// Whether the fields give values the reading service can use: none empty (a file name of blanks
// only counts as empty, since the file reads it so), samples per second and file size above
// zero and within 32 bits (read leniently: "12abc" gives 12), and a data file name that stays in
// the data directory.
FieldsCheck checkChannelFields(const ChannelFields& fields);

// --- Data files. Each channel writes its samples to its data file, named by its file name in the
// data directory; two channels writing one file would write over each other's samples. So a file
// name written for a channel must not be the data file of another channel of the record.
//
// Names are compared as the data directory resolves them: the blanks around a name do not count
// (the settings file reads the value without them), and the ASCII letters A to Z compare without
// regard to case, because the service's data directory may lie on a file system that ignores
// case ("nrd_bhz.dat" and "NRD_BHZ.DAT" are one file there). Other bytes compare as they are. An
// empty name is no data file and matches none.
//
// The channel written does not count against itself, nor do the channels of its group with the
// same code: they share one FILE_ key in the settings file and so one file name whatever is
// done. Settings files written before this rule may hold two channels with one data file already;
// the rule refuses only a name that is new for the channel (a channel added, or a name that is
// not the same file as the one it had), so a change that leaves the name as it was still goes in.

// Whether two data file names name one file in the data directory.
bool sameDataFile(std::string_view a, std::string_view b);

// A channel's place in a list of groups.
struct ChannelAt {
    std::size_t group = 0;
    std::size_t channel = 0;
};

// The first channel of `groups` whose data file is `name`, leaving out the channels of group
// `group` with code `code` (the channel itself among them: they share its keys); none when no
// other channel writes it. `group` is none for a group not among them (a new one).
std::optional<ChannelAt> dataFileUser(std::span<const GroupRecord> groups, std::string_view name,
                                      std::optional<std::size_t> group, const std::string& code);

// The reason (UTF-8) a data file name is refused: channel `code` of `station` writes file `name`
// already (code page 1251 bytes, all three).
std::string dataFileInUse(std::string_view name, std::string_view station, std::string_view code);

// What a data file check found.
struct DataFileCheck {
    std::string reason;       // UTF-8, names the file and the station and channel writing it
    std::size_t channel = 0;  // of a list of channels, the position of the one refused

    bool ok() const { return reason.empty(); }
    explicit operator bool() const { return ok(); }
    // What the operator reads in the dialog: the reason, and to type another name.
    std::string text() const;
    // The same for a list of channels added at once, each with its proposed name: the reason,
    // and that no channel was added.
    std::string listText() const;
};

// Whether channels appended to group `group` of `groups` (none: a new group of `station`) write
// data files no channel of the groups writes, nor one before them in the list. The first channel
// refused is named.
DataFileCheck checkNewDataFiles(std::span<const GroupRecord> groups,
                                std::optional<std::size_t> group, std::string_view station,
                                std::span<const ChannelRecord> channels);

// Whether channel `index` of group `group` of `groups` may become `channel` as to its data file:
// a name that is the same file as the channel had goes in whatever other channels write.
DataFileCheck checkDataFileChange(std::span<const GroupRecord> groups, std::size_t group,
                                  std::size_t index, const ChannelRecord& channel);

}  // namespace vorda
