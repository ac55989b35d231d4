#include "channels/channel_list.h"

#include "platform/cp1251.h"
#include "resources/texts.h"
#include "settings/code_rules.h"

namespace vorda {
namespace {

// Calls visit(ref) for each channel of the groups in use whose group has the station and whose
// code is the same channel code, in the order of the list, until visit gives true.
template <typename Visit>
void forEachSameChannel(const SettingsRecord& record, const std::string& station,
                        const std::string& code, Visit visit) {
    const int groups = shownGroupCount(record);
    for (int g = 0; g < groups; ++g) {
        const GroupRecord& group = record.groups.at(static_cast<std::size_t>(g));
        if (group.station != station) {
            continue;
        }
        for (std::size_t c = 0; c < group.channels.size(); ++c) {
            if (sameChannelCode(group.channels.at(c).code, code) &&
                visit(RowRef{g, static_cast<int>(c)})) {
                return;
            }
        }
    }
}

}  // namespace

std::string searchKey(std::string_view text) {
    return cp1251::toUpper(text);
}

bool holdsSearchKey(std::string_view code, std::string_view key) {
    if (key.size() > code.size()) {
        return false;
    }
    // Codes are a few characters long: a plain scan, folding as it goes, allocates nothing.
    for (std::size_t start = 0; start + key.size() <= code.size(); ++start) {
        std::size_t i = 0;
        while (i < key.size() && cp1251::toUpper(code[start + i]) == key[i]) {
            ++i;
        }
        if (i == key.size()) {
            return true;
        }
    }
    return false;
}

std::vector<RowRef> searchRows(const SettingsRecord& record, const std::vector<RowRef>& rows,
                               std::string_view text) {
    if (text.empty()) {
        return rows;
    }
    const std::string key = searchKey(text);
    std::vector<RowRef> shown;
    int group = -1;
    const GroupRecord* groupRecord = nullptr;
    bool stationHolds = false;
    for (const RowRef& row : rows) {
        if (row.group != group) {
            // Rows come group by group: each station is looked at once.
            group = row.group;
            groupRecord = &record.groups.at(static_cast<std::size_t>(group));
            stationHolds = holdsSearchKey(groupRecord->station, key);
        }
        if (stationHolds ||
            holdsSearchKey(groupRecord->channels.at(static_cast<std::size_t>(row.channel)).code,
                           key)) {
            shown.push_back(row);
        }
    }
    return shown;
}

std::optional<ChannelPlace> channelPlaceOf(const SettingsRecord& record, RowRef ref) {
    if (ref.group < 0 || ref.group >= shownGroupCount(record) || ref.channel < 0) {
        return std::nullopt;
    }
    const GroupRecord& group = record.groups.at(static_cast<std::size_t>(ref.group));
    if (static_cast<std::size_t>(ref.channel) >= group.channels.size()) {
        return std::nullopt;
    }
    ChannelPlace place{group.station, group.channels.at(static_cast<std::size_t>(ref.channel)).code,
                       0};
    forEachSameChannel(record, place.station, place.code, [&](RowRef same) {
        if (same == ref) {
            return true;
        }
        ++place.occurrence;
        return false;
    });
    return place;
}

RowRef findChannelPlace(const SettingsRecord& record, const ChannelPlace& place) {
    RowRef found;
    int seen = 0;
    forEachSameChannel(record, place.station, place.code, [&](RowRef same) {
        if (seen++ == place.occurrence) {
            found = same;
            return true;
        }
        return false;
    });
    return found;
}

ListTotals listTotals(const SettingsRecord& record) {
    ListTotals totals;
    totals.groupsInUse = shownGroupCount(record);
    totals.groups = static_cast<int>(record.groups.size());
    for (int g = 0; g < totals.groupsInUse; ++g) {
        totals.channelsInUse +=
            static_cast<int>(record.groups.at(static_cast<std::size_t>(g)).channels.size());
    }
    return totals;
}

std::string totalsText(const ListTotals& totals) {
    return texts::format(texts::kListTotals,
                         {std::to_string(totals.groupsInUse), std::to_string(totals.groups),
                          std::to_string(totals.channelsInUse)});
}

std::string searchCountText(std::size_t shown, std::size_t all) {
    return texts::format(texts::kSearchCount, {std::to_string(shown), std::to_string(all)});
}

}  // namespace vorda
