#include "channels/channel_rules.h"

#include <algorithm>

#include "channels/group_order.h"
#include "platform/cp1251.h"
#include "platform/text.h"
#include "resources/texts.h"
#include "settings/settings_keys.h"

namespace vorda {
namespace {

// Characters that end a value list, a key or a section name, or begin a comment.
constexpr std::string_view kSeparators = ",=[;";

RuleCheck refused(Refusal refusal, CodeKind kind, std::string_view code) {
    RuleCheck check;
    check.refusal = refusal;
    check.kind = kind;
    check.code = cp1251::toUtf8(code);
    return check;
}

// White space as the widgets see it: blank, tab, the line and page breaks, no-break space.
bool isWhiteSpace(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b == ' ' || (b >= '\t' && b <= '\r') || b == 0xA0;
}

// The checks of a code that has already been found to be code page 1251 text.
RuleCheck checkBytes(CodeKind kind, std::string_view code) {
    if (code.empty()) {
        return refused(Refusal::EmptyCode, kind, code);
    }
    if (code.size() > kMaxCodeLength) {
        return refused(Refusal::CodeTooLong, kind, code);
    }
    if (code.find_first_of("\r\n") != std::string_view::npos) {
        return refused(Refusal::CodeLineBreak, kind, code);
    }
    if (isWhiteSpace(code.front()) || isWhiteSpace(code.back())) {
        return refused(Refusal::CodeEdgeBlank, kind, code);
    }
    for (const char separator : kSeparators) {
        if (code.find(separator) != std::string_view::npos) {
            RuleCheck check = refused(Refusal::CodeSeparator, kind, code);
            check.character = separator;
            return check;
        }
    }
    if (code.find('\0') != std::string_view::npos) {
        return refused(Refusal::CodeNotInCodePage, kind, code);
    }
    if (kind == CodeKind::Channel) {
        for (const std::string_view key : keys::kGroupKeys) {
            if (equalsAsciiNoCase(code, key)) {
                return refused(Refusal::CodeNamesGroupKey, kind, code);
            }
        }
        if (equalsAsciiNoCase(code.substr(0, keys::kFilePrefix.size()), keys::kFilePrefix)) {
            return refused(Refusal::CodeNamesFileKey, kind, code);
        }
    }
    return {};
}

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
            return refused(Refusal::DuplicateChannel, CodeKind::Channel, channel.code);
        }
    }
    if (listLength > kChannelListLimit) {
        return refused(Refusal::ChannelListTooLong, CodeKind::Channel, channel.code);
    }
    return {};
}

std::string reasonText(const RuleCheck& check) {
    switch (check.refusal) {
        case Refusal::CodeTooLong:
            return texts::format(texts::kCodeTooLong, {std::to_string(kMaxCodeLength)});
        case Refusal::CodeLineBreak:
            return std::string(texts::kCodeLineBreak);
        case Refusal::CodeEdgeBlank:
            return std::string(texts::kCodeEdgeBlank);
        case Refusal::CodeSeparator:
            return texts::format(texts::kCodeSeparator, {std::string_view(&check.character, 1)});
        case Refusal::CodeNotInCodePage:
            return std::string(texts::kCodeNotInCodePage);
        case Refusal::CodeNamesGroupKey:
            return std::string(texts::kCodeNamesGroupKey);
        case Refusal::CodeNamesFileKey:
            return std::string(texts::kCodeNamesFileKey);
        default:
            return {};
    }
}

}  // namespace

bool RuleCheck::isWarning() const {
    switch (refusal) {
        case Refusal::None:
        case Refusal::DuplicateChannel:
        case Refusal::ChannelListTooLong:
        case Refusal::TooManyGroups:
            return false;
        default:
            return true;
    }
}

std::string RuleCheck::text() const {
    switch (refusal) {
        case Refusal::None:
            return {};
        case Refusal::EmptyCode:
            return std::string(texts::kFillAllFields);
        case Refusal::DuplicateChannel:
            return std::string(texts::kDuplicateChannel);
        case Refusal::ChannelListTooLong:
            return std::string(texts::kChannelListTooLong);
        case Refusal::TooManyGroups:
            return std::string(texts::kTooManyGroups);
        default:
            return texts::format(
                texts::kCodeRefused,
                {kind == CodeKind::Station ? texts::kStationCode : texts::kChannelCode, code,
                 reasonText(*this)});
    }
}

std::string RuleCheck::listText() const {
    std::string reason;
    switch (refusal) {
        case Refusal::None:
            return {};
        case Refusal::TooManyGroups:
            return text();
        case Refusal::EmptyCode:
            reason = std::string(texts::kListEmptyCode);
            break;
        case Refusal::DuplicateChannel:
            reason = texts::format(texts::kListDuplicateChannel, {code});
            break;
        case Refusal::ChannelListTooLong:
            reason = texts::format(texts::kListTooLong, {code});
            break;
        default:
            reason = text();
            break;
    }
    return reason + "\n" + std::string(texts::kNoChannelAdded);
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

RuleCheck checkCode(CodeKind kind, std::string_view code) {
    return checkBytes(kind, code);
}

RuleCheck checkCodeText(CodeKind kind, std::string_view utf8) {
    if (const auto bytes = cp1251::fromUtf8(utf8)) {
        return checkBytes(kind, *bytes);
    }
    // The other rules first, as for any code; what is left is the character the code page
    // lacks (each stands as a '?' meanwhile, which no rule minds).
    RuleCheck check = checkBytes(kind, cp1251::fromUtf8Lossy(utf8));
    if (check.ok() || check.refusal == Refusal::CodeNamesGroupKey ||
        check.refusal == Refusal::CodeNamesFileKey) {
        check = RuleCheck{};
        check.refusal = Refusal::CodeNotInCodePage;
        check.kind = kind;
    }
    check.code = std::string(utf8);
    return check;
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
        return refused(Refusal::TooManyGroups, CodeKind::Station, group.station);
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
                return refused(Refusal::DuplicateChannel, CodeKind::Channel, channel.code);
            }
        }
    }
    GroupRecord changed = group;
    changed.channels.setAt(index, channel);
    if (channelListLength(changed) > kChannelListLimit) {
        return refused(Refusal::ChannelListTooLong, CodeKind::Channel, channel.code);
    }
    return {};
}

ChannelListReading readChannelList(std::string_view list) {
    ChannelListReading reading;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) {
            comma = list.size();
        }
        const std::string_view code = list.substr(start, comma - start);
        if (!trimBlanks(code).empty()) {
            if (comma > kChannelListLimit) {
                reading.cutCodes.emplace_back(code);
            } else if (RuleCheck check = checkCode(CodeKind::Channel, code); !check) {
                reading.leftOut.push_back(std::move(check));
            } else {
                reading.codes.emplace_back(code);
            }
        }
        start = comma + 1;
    }
    return reading;
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

}  // namespace vorda
