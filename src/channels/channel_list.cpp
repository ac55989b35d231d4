#include "channels/channel_list.h"

#include "platform/cp1251.h"
#include "resources/texts.h"

namespace vorda {

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
