#pragma once
// The record operations behind the channel list: which (group, channel) each listed row shows,
// deleting channels and groups, and the four ways of reordering the groups (sort by station,
// swap, move). The list shows the groups at positions below groupCount, one row per channel;
// the groups at or beyond groupCount are kept but not listed.
#include <string>
#include <vector>

#include "settings/settings_record.h"

namespace vorda {

// The record element behind one listed row.
struct RowRef {
    int group = -1;    // position in record.groups
    int channel = -1;  // position in that group's channels

    bool operator==(const RowRef&) const = default;
};

// The number of groups the list shows: groupCount, kept within 0 and the number of groups.
int shownGroupCount(const SettingsRecord& record);

// The listed rows in order: the shown groups from the first, each with its channels in order.
// A group without channels has no row.
std::vector<RowRef> listedRows(const SettingsRecord& record);

// The first row of group `group` in `rows`, or -1 when the group has no row. `rows` are the
// listed rows or any of them in their order (those a search shows).
int firstRowOfGroup(const std::vector<RowRef>& rows, int group);

// The row of `rows` showing channel `channel` of group `group`, or -1.
int rowOf(const std::vector<RowRef>& rows, int group, int channel);

// Station code order: bytes compared as unsigned values (code page 1251 order), letter case
// significant, a text before every longer text that begins with it. Negative, 0 or positive.
int compareStations(const std::string& a, const std::string& b);

// Sorts the shown groups stably by station code, ascending or descending. Groups with equal
// codes keep their order among themselves, a group without channels moves with its station like
// any other, and the groups at or beyond groupCount keep their places after the shown ones.
void sortGroupsByStation(SettingsRecord& record, bool ascending);

// Swaps the groups at positions a and b. False (nothing changed) when either is not a group.
bool swapGroups(SettingsRecord& record, int a, int b);

// Takes the group at position `from` out and inserts it at position `to` of the shortened
// array, so it ends at `to` and the groups between move one place toward `from`. groupCount
// does not change. False (nothing changed) when either is not a group.
bool moveGroup(SettingsRecord& record, int from, int to);

// Removes group `group` with its channels and lowers groupCount by one when the group was
// shown. False when there is no such group.
bool deleteGroup(SettingsRecord& record, int group);

// Removes channel `channel` of group `group`; the only channel of a group takes the group with
// it (as deleteGroup). False when there is no such channel.
bool deleteChannel(SettingsRecord& record, int group, int channel);

}  // namespace vorda
