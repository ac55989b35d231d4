#include "channels/settings_apply.h"

#include <algorithm>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "channels/channel_rules.h"
#include "channels/time_conversion.h"
#include "platform/cp1251.h"
#include "platform/profile_document.h"
#include "platform/text.h"
#include "resources/texts.h"
#include "settings/connection_values.h"
#include "settings/settings_merge.h"

namespace vorda {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// What a rule refusal of a group or channel says in a document: the code refused named, without
// the dialog's advice to choose another.
std::string reasonOf(const RuleCheck& check) {
    switch (check.refusal) {
        case Refusal::DuplicateChannel:
            return texts::format(texts::kListDuplicateChannel, {check.code});
        case Refusal::ChannelListTooLong:
            return texts::format(texts::kListTooLong, {check.code});
        default:
            return check.text();
    }
}

// One group of the document after its own fields were checked: the group as far as the document
// gives it (station, and each channel's code with the values given), and the document's group.
struct WantedGroup {
    GroupRecord group;
    const GroupDocument* document = nullptr;
    // Of each channel the document lists, whether its data file name is new for it: a channel
    // the file does not have, or a file name given that is not the file the channel had.
    std::vector<bool> newFileName;
};

class Applier {
  public:
    Applier(const SettingsValues& file, const SettingsDocument& document, ApplyResult& result)
        : file_(file), document_(document), result_(result), out_(result.values) {}

    void run() {
        out_ = file_;
        if (systemValues() && connectionValues() && groups()) {
            groupCount();
        }
        if (result_.refusal) {
            out_ = file_;
        }
    }

  private:
    bool refuse(std::string place, std::string reason) {
        result_.refusal = DocumentRefusal{std::move(place), std::move(reason)};
        return false;
    }

    // A text value: code page 1251, no line break or NUL (it would end the value in the file),
    // at most `limit` characters.
    bool text(const std::string& place, const std::string& utf8, std::size_t limit,
              std::string& target) {
        std::optional<std::string> bytes = cp1251::fromUtf8(utf8);
        if (!bytes) {
            return refuse(place, std::string(texts::kFieldNotInCodePage));
        }
        if (hasLineBreakOrNul(*bytes)) {
            return refuse(place, std::string(texts::kValueLineBreak));
        }
        if (bytes->size() > limit) {
            return refuse(place, texts::format(texts::kFieldTooLong, {std::to_string(limit)}));
        }
        target = std::move(*bytes);
        return true;
    }

    bool systemText(std::string_view field, const std::optional<std::string>& value,
                    std::size_t limit, std::string& target) {
        return !value || text(fieldPlace("", field), *value, limit, target);
    }

    bool number(const std::string& place, std::int64_t value, std::int64_t lowest,
                std::int64_t highest, std::int32_t& target) {
        if (value < lowest || value > highest) {
            return refuse(place, texts::format(texts::kFieldOutOfRange,
                                               {std::to_string(lowest), std::to_string(highest)}));
        }
        target = static_cast<std::int32_t>(value);
        return true;
    }

    bool flag(std::string_view field, const std::optional<std::int64_t>& value,
              std::int32_t& target) {
        if (value && *value != 0 && *value != 1) {
            return refuse(fieldPlace("", field), std::string(texts::kFieldNotFlag));
        }
        if (value) {
            target = static_cast<std::int32_t>(*value);
        }
        return true;
    }

    bool systemValues() {
        constexpr std::size_t kLimit = ProfileDocument::kValueLimit;
        return systemText("server", document_.server, kLimit, out_.server) &&
               systemText("logDir", document_.logDir, kLimit, out_.logDir) &&
               flag("detailMode", document_.detailMode, out_.detailMode) &&
               flag("showScreen", document_.showScreen, out_.showScreen) &&
               (!document_.sizeMb ||
                number("sizeMb", *document_.sizeMb, kInt32Min, kInt32Max, out_.sizeMb));
    }

    bool connectionValues() {
        using V = ConnectionValues;
        return systemText("dataSource", document_.dataSource, V::kDataSourceLimit,
                          out_.dataSource) &&
               systemText("user", document_.user, V::kUserLimit, out_.user) &&
               systemText("password", document_.password, V::kPasswordLimit, out_.password) &&
               systemText("dataDir", document_.dataDir, V::kDataDirLimit, out_.dataDir);
    }

    // A code: the rules of the dialog's code fields.
    bool code(const std::string& place, CodeKind kind, const std::optional<std::string>& utf8,
              std::string& target) {
        if (!utf8) {
            return refuse(place, std::string(texts::kFieldMissing));
        }
        if (const RuleCheck check = checkCodeText(kind, *utf8); !check) {
            return refuse(place, reasonOf(check));
        }
        target = cp1251::fromUtf8(*utf8).value_or(std::string());
        return true;
    }

    // A last time: Unix seconds within 32 bits, or a text the dialog's time field reads (one that
    // begins with a digit: the field reads any other as 0, which in a document is a mistake).
    bool lastTime(const std::string& place, const DocumentTime& time, std::int32_t& target) {
        if (const auto* seconds = std::get_if<std::int64_t>(&time)) {
            if (*seconds < kInt32Min || *seconds > kInt32Max) {
                return refuse(place, std::string(texts::kTimeOutOfRange));
            }
            target = static_cast<std::int32_t>(*seconds);
            return true;
        }
        const std::string& typed = std::get<std::string>(time);
        if (typed.size() > kTimeTextLimit) {
            return refuse(place,
                          texts::format(texts::kFieldTooLong, {std::to_string(kTimeTextLimit)}));
        }
        if (typed.empty() || typed.front() < '0' || typed.front() > '9') {
            return refuse(place, std::string(texts::kTimeNotText));
        }
        TimeRefusal refusal = TimeRefusal::Format;
        const bool calendar = typed.find_first_of(kTimeSeparators) != std::string::npos;
        const std::optional<std::int32_t> value =
            calendar ? readCalendarTime(typed, &refusal) : readUnixTime(typed, &refusal);
        if (!value) {
            return refuse(place,
                          std::string(refusal == TimeRefusal::OutOfRange ? texts::kTimeOutOfRange
                                                                         : texts::kTimeNotText));
        }
        target = *value;
        return true;
    }

    bool channel(const std::string& place, const ChannelDocument& document,
                 ChannelRecord& channel) {
        if (!code(fieldPlace(place, "code"), CodeKind::Channel, document.code, channel.code)) {
            return false;
        }
        if (document.lastTime &&
            !lastTime(fieldPlace(place, "lastTime"), *document.lastTime, channel.lastTime)) {
            return false;
        }
        if (document.fileName && document.fileName->empty()) {
            return refuse(fieldPlace(place, "fileName"), std::string(texts::kFieldEmpty));
        }
        return !document.fileName || text(fieldPlace(place, "fileName"), *document.fileName,
                                          ProfileDocument::kValueLimit, channel.fileName);
    }

    // The group's own fields, as far as they need no other group.
    bool wantedGroup(std::size_t index, const GroupDocument& document, GroupRecord& group) {
        const std::string place = itemPlace("groups", index);
        if (!code(fieldPlace(place, "station"), CodeKind::Station, document.station,
                  group.station)) {
            return false;
        }
        if ((document.sps &&
             !number(fieldPlace(place, "sps"), *document.sps, kInt32Min, kInt32Max, group.sps)) ||
            (document.sizeMb && !number(fieldPlace(place, "sizeMb"), *document.sizeMb, kInt32Min,
                                        kInt32Max, group.sizeMb))) {
            return false;
        }
        if (!document.channels) {
            return true;
        }
        const std::string list = fieldPlace(place, "channels");
        for (std::size_t k = 0; k < document.channels->size(); ++k) {
            ChannelRecord c;
            if (!channel(itemPlace(list, k), document.channels->at(k), c)) {
                return false;
            }
            group.channels.append(std::move(c));
        }
        return true;
    }

    // The channels of a group the document lists them for: each takes what the document leaves
    // out from the file's channel of the same code, or a new channel's values.
    void fillChannels(WantedGroup& wanted, const GroupRecord* fileGroup) {
        GroupRecord& group = wanted.group;
        const GroupDocument& document = *wanted.document;
        wanted.newFileName.assign(group.channels.size(), true);
        static const std::vector<ChannelRecord> kNone;
        const std::vector<ChannelRecord>& fileChannels =
            fileGroup != nullptr ? fileGroup->channels.items() : kNone;
        const std::vector<int> partners = pairChannels(group.channels.items(), fileChannels);
        for (std::size_t k = 0; k < group.channels.size(); ++k) {
            ChannelRecord& c = group.channels.at(k);
            const ChannelDocument& given = document.channels->at(k);
            const ChannelRecord* known = partners[k] >= 0 ? &fileChannels[partners[k]] : nullptr;
            if (!given.lastTime) {
                c.lastTime = known != nullptr ? known->lastTime : 0;
            }
            if (!given.fileName) {
                c.fileName =
                    known != nullptr ? known->fileName : proposedFileName(group.station, c.code);
            }
            wanted.newFileName[k] = known == nullptr || !sameDataFile(known->fileName, c.fileName);
        }
    }

    // The group as the save is to write it, checked as the dialog checks a new group against the
    // groups before it.
    bool placeGroup(std::size_t index, WantedGroup& wanted, const GroupRecord* fileGroup,
                    SettingsRecord& built) {
        GroupRecord& group = wanted.group;
        const GroupDocument& document = *wanted.document;
        const std::string place = itemPlace("groups", index);
        if (!document.sps) {
            group.sps = fileGroup != nullptr ? fileGroup->sps : kNewGroupSps;
        }
        if (!document.sizeMb) {
            group.sizeMb = fileGroup != nullptr ? fileGroup->sizeMb : kNewGroupSizeMb;
        }
        if (document.channels) {
            fillChannels(wanted, fileGroup);
        } else if (fileGroup != nullptr) {
            group.channels = fileGroup->channels;
        }
        // A group loses its last channel only by going (a group without channels only stays so).
        if (group.channels.empty() && (fileGroup == nullptr || !fileGroup->channels.empty())) {
            return refuse(fieldPlace(place, "channels"), std::string(texts::kGroupWithoutChannels));
        }
        // Channels the document does not list are the file's, as they are.
        GroupRecord checked = group;
        if (!document.channels) {
            checked.channels.removeAll();
        }
        if (const RuleCheck check = checkNewGroup(built, checked); !check) {
            if (check.refusal == Refusal::TooManyGroups) {
                return refuse(place, reasonOf(check));
            }
            if (check.kind == CodeKind::Station) {
                return refuse(fieldPlace(place, "station"), reasonOf(check));
            }
            return refuse(
                fieldPlace(itemPlace(fieldPlace(place, "channels"), check.channel), "code"),
                reasonOf(check));
        }
        built.groups.append(std::move(group));
        return true;
    }

    // No channel given a data file name new for it may write the file of another channel of the
    // settings as they will be (channels/channel_rules.h says which count); the first refused
    // is named.
    bool dataFiles(const std::vector<WantedGroup>& wanted, std::span<const GroupRecord> built) {
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const std::vector<bool>& fresh = wanted[i].newFileName;
            for (std::size_t k = 0; k < fresh.size(); ++k) {
                const ChannelRecord& c = built[i].channels.at(k);
                const auto user =
                    fresh[k] ? dataFileUser(built, c.fileName, i, c.code) : std::nullopt;
                if (user) {
                    const GroupRecord& other = built[user->group];
                    return refuse(
                        fieldPlace(itemPlace(fieldPlace(itemPlace("groups", i), "channels"), k),
                                   "fileName"),
                        dataFileInUse(c.fileName, other.station,
                                      other.channels.at(user->channel).code));
                }
            }
        }
        return true;
    }

    bool groups() {
        if (!document_.groups) {
            return true;
        }
        const std::vector<GroupDocument>& listed = *document_.groups;
        std::vector<WantedGroup> wanted(listed.size());
        std::vector<GroupRecord> matchable;
        matchable.reserve(listed.size());
        for (std::size_t i = 0; i < listed.size(); ++i) {
            wanted[i].document = &listed[i];
            if (!wantedGroup(i, listed[i], wanted[i].group)) {
                return false;
            }
            matchable.push_back(wanted[i].group);
        }
        const std::vector<int> partners = pairGroups(matchable, file_.groups.items());
        SettingsRecord built;
        std::vector<bool> kept(file_.groups.size(), false);
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const GroupRecord* fileGroup =
                partners[i] >= 0 ? &file_.groups.at(static_cast<std::size_t>(partners[i]))
                                 : nullptr;
            if (!placeGroup(i, wanted[i], fileGroup, built)) {
                return false;
            }
            if (partners[i] >= 0) {
                kept[static_cast<std::size_t>(partners[i])] = true;
            }
        }
        if (!dataFiles(wanted, built.groups.items())) {
            return false;
        }
        // In use, unless the document says otherwise: the file's groups in use that stay, and
        // the new groups (as the dialog's deletions and additions count them).
        const std::size_t fileInUse =
            std::min(static_cast<std::size_t>(std::max(file_.groupCount, 0)), kept.size());
        auto inUse = static_cast<std::int64_t>(
            std::count(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(fileInUse), true));
        inUse += std::count(partners.begin(), partners.end(), -1);
        out_.groups = std::move(built.groups);
        out_.groupCount = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(inUse, 0, static_cast<std::int64_t>(out_.groups.size())));
        return true;
    }

    // The number of groups in use, as the Additional page takes it: 1 to the number of groups
    // (0 when there are none).
    bool groupCount() {
        if (!document_.groupCount) {
            return true;
        }
        const auto groups = static_cast<std::int64_t>(out_.groups.size());
        const std::int64_t count = *document_.groupCount;
        if (groups == 0 && count != 0) {
            return refuse("groupCount", std::string(texts::kGroupCountWithoutGroups));
        }
        if (groups > 0 && (count < 1 || count > groups)) {
            return refuse("groupCount",
                          texts::format(texts::kGroupCountOutOfRange, {std::to_string(groups)}));
        }
        out_.groupCount = static_cast<std::int32_t>(count);
        return true;
    }

    const SettingsValues& file_;
    const SettingsDocument& document_;
    ApplyResult& result_;
    SettingsValues& out_;
};

}  // namespace

std::string DocumentRefusal::text() const {
    return place.empty() ? reason : place + ": " + reason;
}

std::string fieldPlace(std::string_view parent, std::string_view field) {
    std::string place(parent);
    if (!place.empty()) {
        place += '.';
    }
    place.append(field);
    return place;
}

std::string itemPlace(std::string_view list, std::size_t index) {
    std::string place(list);
    place += '[' + std::to_string(index) + ']';
    return place;
}

ApplyResult applySettingsDocument(const SettingsValues& file, const SettingsDocument& document) {
    ApplyResult result;
    Applier(file, document, result).run();
    return result;
}

}  // namespace vorda
