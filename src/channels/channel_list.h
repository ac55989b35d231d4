#pragma once
// What the channel list page shows besides its rows: the search over the listed rows and the line
// of totals under the list.
//
// The search looks for a text in each row's station code and channel code, letter case ignored
// for the Latin and the Cyrillic letters of code page 1251. That folding is the search's own:
// the page finds a row's channel by sameChannelCode (settings/code_rules.h), which folds A to Z
// alone.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/group_order.h"
#include "settings/settings_record.h"

namespace vorda {

// The search text (code page 1251 bytes) as codes are compared with it.
std::string searchKey(std::string_view text);

// Whether the code (code page 1251 bytes) holds the key made by searchKey; every code holds the
// empty key.
bool holdsSearchKey(std::string_view code, std::string_view key);

// The rows of `rows` (listed rows of the record, in order) whose group's station code or whose
// channel code holds the search text (code page 1251 bytes); all of them for an empty text.
std::vector<RowRef> searchRows(const SettingsRecord& record, const std::vector<RowRef>& rows,
                               std::string_view text);

// A channel of the list as the operator knows it, so that a selection can follow it while the
// record changes under the list (another program's groups come and go, groups are sorted): its
// group's station code, its channel code, and which of the channels in use with that station and
// code it is, counted from 0 in the order of the list (a station may have two groups holding the
// same channel code).
struct ChannelPlace {
    std::string station;
    std::string code;
    int occurrence = 0;

    bool operator==(const ChannelPlace&) const = default;
};

// The place of the record element behind a row of the list; none when the element is not a
// channel of a group in use.
std::optional<ChannelPlace> channelPlaceOf(const SettingsRecord& record, RowRef ref);

// Where the channel of a place is in the record now: the element of the groups in use with the
// same station code, the same channel code (as sameChannelCode compares them) and the same
// occurrence; {-1, -1} when there is none, for a channel that is gone.
RowRef findChannelPlace(const SettingsRecord& record, const ChannelPlace& place);

// The figures of the line of totals.
struct ListTotals {
    int groupsInUse = 0;    // the groups the list shows (groupCount, within its range)
    int groups = 0;         // every group of the record, as the file will hold them
    int channelsInUse = 0;  // the channels of the groups in use: the rows of the whole list

    bool operator==(const ListTotals&) const = default;
};

ListTotals listTotals(const SettingsRecord& record);

// The line of totals and the search's count of rows, as the operator reads them (UTF-8).
std::string totalsText(const ListTotals& totals);
std::string searchCountText(std::size_t shown, std::size_t all);

}  // namespace vorda
