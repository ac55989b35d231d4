#include "channels/channel_rules.h"

#include <algorithm>
#include <limits>

#include "platform/cp1251.h"
#include "platform/text.h"
#include "resources/texts.h"

namespace vorda {
namespace {

// The checks of one more channel for a group whose channels are `channels` so far and whose
// channel list would be `listLength` characters long with it.
RuleCheck checkOneMore(const OrderedArray<ChannelRecord>& channels, const ChannelRecord& channel,
                       std::size_t listLength) {
    RuleCheck check = checkCode(CodeKind::Channel, channel.code);
    if (!check) {
        return check;
    }
    for (const ChannelRecord& existing : channels) {
        if (sameChannelCode(existing.code, channel.code)) {
            return refusedCode(Refusal::DuplicateChannel, CodeKind::Channel, channel.code);
        }
    }
    if (listLength > kChannelListLimit) {
        return refusedCode(Refusal::ChannelListTooLong, CodeKind::Channel, channel.code);
    }
    return {};
}

// A number of a field, read leniently (leading blanks, a sign, the digits as far as they go); the
// refusal when it is not above zero or does not fit 32 bits.
std::string readPositive(std::string_view text, texts::Text field, std::int32_t& value) {
    bool saturated = false;
    value = readSaturatedDecimal(trimLeadingBlanks(text), &saturated);
    if (saturated) {
        return texts::format(texts::kNumberTooLarge,
                             {field, std::to_string(std::numeric_limits<std::int32_t>::max())});
    }
    if (value <= 0) {
        return texts::format(texts::kNumberNotPositive, {field});
    }
    return {};
}

// A name that would place the data file outside the data directory.
bool leavesDataDirectory(std::string_view name) {
    return name.find_first_of("/\\") != std::string_view::npos || name == "." || name == "..";
}

// The refusal of data file `name`, which the channel at `user` writes.
std::string usedBy(std::span<const GroupRecord> groups, ChannelAt user, std::string_view name) {
    const GroupRecord& other = groups[user.group];
    return dataFileInUse(name, other.station, other.channels.at(user.channel).code);
}

}  // namespace

FieldsCheck checkChannelFields(const ChannelFields& fields) {
    FieldsCheck check;
    const std::string_view name = trimBlanks(fields.fileName);
    if (fields.sps.empty() || fields.lastTime.empty() || fields.sizeMb.empty() ||
        (fields.fileNameNeeded && name.empty())) {
        check.refusal = texts::kFillAllFields;
    } else if (std::string why = readPositive(fields.sps, texts::kSps, check.sps); !why.empty()) {
        check.refusal = std::move(why);
    } else if (std::string too = readPositive(fields.sizeMb, texts::kFileSize, check.sizeMb);
               !too.empty()) {
        check.refusal = std::move(too);
    } else if (fields.fileNameNeeded && leavesDataDirectory(name)) {
        check.refusal = texts::format(texts::kDataFileHasPath, {cp1251::toUtf8(name)});
    }
    return check;
}

std::string proposedFileName(std::string_view station, std::string_view code) {
    if (code.empty()) {
        return {};
    }
    std::string name(station);
    name += '_';
    name += code;
    name += ".DAT";
    return name;
}

std::vector<ChannelRecord> missingChannels(const GroupRecord& group,
                                           std::span<const std::string> listedCodes,
                                           std::int32_t lastTime) {
    std::vector<ChannelRecord> missing;
    for (const std::string& code : listedCodes) {
        const bool held = std::any_of(
            group.channels.begin(), group.channels.end(),
            [&](const ChannelRecord& channel) { return sameChannelCode(channel.code, code); });
        if (!held) {
            missing.push_back({code, lastTime, proposedFileName(group.station, code)});
        }
    }
    return missing;
}

RuleCheck checkNewChannels(const GroupRecord& group, std::span<const ChannelRecord> channels) {
    OrderedArray<ChannelRecord> longer = group.channels;
    std::size_t listLength = channelListLength(group);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        // The code, and a comma before it unless it comes first.
        listLength += channels[i].code.size() + (longer.empty() ? 0 : 1);
        RuleCheck check = checkOneMore(longer, channels[i], listLength);
        if (!check) {
            check.channel = i;
            return check;
        }
        longer.append(channels[i]);
    }
    return {};
}

RuleCheck addChannels(GroupRecord& group, std::span<const ChannelRecord> channels) {
    RuleCheck check = checkNewChannels(group, channels);
    if (check) {
        for (const ChannelRecord& channel : channels) {
            group.channels.append(channel);
        }
    }
    return check;
}

RuleCheck checkNewGroup(const SettingsRecord& record, const GroupRecord& group) {
    if (RuleCheck check = checkCode(CodeKind::Station, group.station); !check) {
        return check;
    }
    GroupRecord empty;
    if (RuleCheck check = checkNewChannels(empty, group.channels.items()); !check) {
        return check;
    }
    if (record.groups.size() >= static_cast<std::size_t>(kMaxGroups)) {
        return refusedCode(Refusal::TooManyGroups, CodeKind::Station, group.station);
    }
    return {};
}

RuleCheck addGroup(SettingsRecord& record, std::size_t position, const GroupRecord& group) {
    RuleCheck check = checkNewGroup(record, group);
    if (check) {
        record.groups.insertAt(std::min(position, record.groups.size()), group);
        record.groupCount += 1;
    }
    return check;
}

RuleCheck checkChannelChange(const GroupRecord& group, std::size_t index,
                             const ChannelRecord& channel) {
    if (RuleCheck check = checkCode(CodeKind::Channel, channel.code); !check) {
        return check;
    }
    // A new code must not be one another channel has: the two would share one pair of keys, and
    // the channel changed away from would be lost. Keeping the code (in any letter case) adds no
    // such pair, even in a group that holds one already.
    if (!sameChannelCode(group.channels.at(index).code, channel.code)) {
        for (std::size_t i = 0; i < group.channels.size(); ++i) {
            if (i != index && sameChannelCode(group.channels.at(i).code, channel.code)) {
                return refusedCode(Refusal::DuplicateChannel, CodeKind::Channel, channel.code);
            }
        }
    }
    GroupRecord changed = group;
    changed.channels.setAt(index, channel);
    if (channelListLength(changed) > kChannelListLimit) {
        return refusedCode(Refusal::ChannelListTooLong, CodeKind::Channel, channel.code);
    }
    return {};
}

RuleCheck changeChannel(GroupRecord& group, std::size_t index, const ChannelRecord& channel,
                        std::int32_t sps, std::int32_t sizeMb) {
    RuleCheck check = checkChannelChange(group, index, channel);
    if (check) {
        group.channels.setAt(index, channel);
        group.sps = sps;
        group.sizeMb = sizeMb;
    }
    return check;
}

bool sameDataFile(std::string_view a, std::string_view b) {
    const std::string_view left = trimBlanks(a);
    return !left.empty() && equalsAsciiNoCase(left, trimBlanks(b));
}

std::optional<ChannelAt> dataFileUser(std::span<const GroupRecord> groups, std::string_view name,
                                      std::optional<std::size_t> group, const std::string& code) {
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const auto& channels = groups[g].channels;
        for (std::size_t k = 0; k < channels.size(); ++k) {
            const bool sharesKey = g == group && sameChannelCode(channels.at(k).code, code);
            if (!sharesKey && sameDataFile(channels.at(k).fileName, name)) {
                return ChannelAt{g, k};
            }
        }
    }
    return std::nullopt;
}

std::string dataFileInUse(std::string_view name, std::string_view station, std::string_view code) {
    return texts::format(texts::kDataFileInUse, {cp1251::toUtf8(trimBlanks(name)),
                                                 cp1251::toUtf8(station), cp1251::toUtf8(code)});
}

std::string DataFileCheck::text() const {
    return ok() ? std::string() : reason + "\n" + std::string(texts::kTypeOtherDataFile);
}

std::string DataFileCheck::listText() const {
    return ok() ? std::string() : reason + "\n" + std::string(texts::kNoChannelAdded);
}

DataFileCheck checkNewDataFiles(std::span<const GroupRecord> groups,
                                std::optional<std::size_t> group, std::string_view station,
                                std::span<const ChannelRecord> channels) {
    const std::string_view owner = group ? std::string_view(groups[*group].station) : station;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const ChannelRecord& channel = channels[i];
        if (const auto user = dataFileUser(groups, channel.fileName, group, channel.code)) {
            return {usedBy(groups, *user, channel.fileName), i};
        }
        // The channels before it in the list join the same group.
        for (std::size_t j = 0; j < i; ++j) {
            if (!sameChannelCode(channels[j].code, channel.code) &&
                sameDataFile(channels[j].fileName, channel.fileName)) {
                return {dataFileInUse(channel.fileName, owner, channels[j].code), i};
            }
        }
    }
    return {};
}

DataFileCheck checkDataFileChange(std::span<const GroupRecord> groups, std::size_t group,
                                  std::size_t index, const ChannelRecord& channel) {
    DataFileCheck check;
    if (sameDataFile(groups[group].channels.at(index).fileName, channel.fileName)) {
        return check;
    }
    if (const auto user = dataFileUser(groups, channel.fileName, group, channel.code)) {
        check.reason = usedBy(groups, *user, channel.fileName);
    }
    return check;
}

}  // namespace vorda
