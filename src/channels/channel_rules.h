#pragma once
// The rules that station and channel codes, and the additions and changes of groups and
// channels, keep so that the settings file can hold them and read them back: a code becomes a
// value (the station) or the names of two keys (a channel's time key and its FILE_ key) in the
// group's section, and the file keeps at most 256 groups and a channel list of 511 characters.
//
// Each check gives a RuleCheck: ok, or which rule was broken, about which code, with the text
// the operator reads. The apply functions check first and change the record only when nothing
// is refused, so a list of channels goes in whole or not at all.
//
// Codes and records are code page 1251 bytes; the texts for the operator are UTF-8.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_record.h"

namespace vorda {

// Codes longer than this do not fit the buffers of the reading service.
inline constexpr std::size_t kMaxCodeLength = 7;

enum class CodeKind { Station, Channel };

enum class Refusal {
    None,
    EmptyCode,           // no code at all: every field must be filled in
    CodeTooLong,         // longer than kMaxCodeLength
    CodeLineBreak,       // holds a CR or LF
    CodeEdgeBlank,       // begins or ends with white space
    CodeSeparator,       // holds one of , = [ ; (character says which)
    CodeNotInCodePage,   // holds a NUL, or a character code page 1251 has no place for
    CodeNamesGroupKey,   // a channel code that is one of the group's own keys
    CodeNamesFileKey,    // a channel code that begins with FILE_
    DuplicateChannel,    // the group already has that code (A to Z compared without case)
    ChannelListTooLong,  // the group's channel list would be longer than the file keeps
    TooManyGroups,       // the file already holds the most groups it can
};

struct RuleCheck {
    Refusal refusal = Refusal::None;
    CodeKind kind = CodeKind::Channel;  // the code a refusal is about
    std::string code;                   // that code, UTF-8, for the operator
    char character = '\0';              // the separator found (CodeSeparator)
    std::size_t channel = 0;            // of a list of channels, the position of the one refused

    bool ok() const { return refusal == Refusal::None; }
    explicit operator bool() const { return ok(); }
    // A field to correct (a warning), rather than a group or file without room for it.
    bool isWarning() const;
    // What the operator reads, UTF-8; empty when nothing was refused.
    std::string text() const;
    // The same for a list of channels added at once: it names the code refused whatever the
    // rule, and says that no channel was added.
    std::string listText() const;
};

// Whether a code (code page 1251 bytes) can be written as a station code or a channel code.
RuleCheck checkCode(CodeKind kind, std::string_view code);
// The same for text as typed (UTF-8); a character code page 1251 cannot hold is refused.
RuleCheck checkCodeText(CodeKind kind, std::string_view utf8);

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

// What reading a group's channel list (its CHAN value) gives: the codes a channel is read for,
// and the codes left out, which the operator is told about. Code page 1251 bytes.
struct ChannelListReading {
    // The codes read, in list order.
    std::vector<std::string> codes;
    // Codes the list names beyond the characters the file keeps, whole (a code the limit cuts
    // in two among them): the reading service reads none of them, or only a part of one.
    std::vector<std::string> cutCodes;
    // Codes the rules of checkCode refuse: written back, they would break the group's keys.
    std::vector<RuleCheck> leftOut;

    bool whole() const { return cutCodes.empty() && leftOut.empty(); }
};

// Reads a channel list as the reading service does: only its first kChannelListLimit
// characters count, the codes are separated by ',', and an empty code (blanks only) is skipped.
// A code cut by the limit and a code checkCode refuses are left out and named.
ChannelListReading readChannelList(std::string_view list);

}  // namespace vorda
