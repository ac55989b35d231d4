#include "channels/group_order.h"

#include <algorithm>
#include <cstddef>

namespace vorda {
namespace {

bool isGroup(const SettingsRecord& record, int position) {
    return position >= 0 && static_cast<std::size_t>(position) < record.groups.size();
}

}  // namespace

int shownGroupCount(const SettingsRecord& record) {
    const auto total = static_cast<long long>(record.groups.size());
    return static_cast<int>(std::clamp<long long>(record.groupCount, 0, total));
}

std::vector<RowRef> listedRows(const SettingsRecord& record) {
    std::vector<RowRef> rows;
    const int shown = shownGroupCount(record);
    std::size_t total = 0;
    for (int g = 0; g < shown; ++g) {
        total += record.groups.at(static_cast<std::size_t>(g)).channels.size();
    }
    rows.reserve(total);
    for (int g = 0; g < shown; ++g) {
        const auto count =
            static_cast<int>(record.groups.at(static_cast<std::size_t>(g)).channels.size());
        for (int c = 0; c < count; ++c) {
            rows.push_back({g, c});
        }
    }
    return rows;
}

int firstRowOfGroup(const std::vector<RowRef>& rows, int group) {
    // Rows run through the groups in ascending order, so a binary search finds the first one.
    const auto it = std::lower_bound(rows.begin(), rows.end(), group,
                                     [](const RowRef& row, int g) { return row.group < g; });
    if (it == rows.end() || it->group != group) {
        return -1;
    }
    return static_cast<int>(it - rows.begin());
}

int rowOf(const std::vector<RowRef>& rows, int group, int channel) {
    // Rows run through (group, channel) in ascending order, all of them or those a search shows.
    const RowRef wanted{group, channel};
    const auto it =
        std::lower_bound(rows.begin(), rows.end(), wanted, [](const RowRef& row, const RowRef& w) {
            return row.group != w.group ? row.group < w.group : row.channel < w.channel;
        });
    if (it == rows.end() || *it != wanted) {
        return -1;
    }
    return static_cast<int>(it - rows.begin());
}

int compareStations(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

void sortGroupsByStation(SettingsRecord& record, bool ascending) {
    auto& groups = record.groups.items();
    const auto end = groups.begin() + shownGroupCount(record);
    if (ascending) {
        std::stable_sort(groups.begin(), end, [](const GroupRecord& x, const GroupRecord& y) {
            return compareStations(x.station, y.station) < 0;
        });
    } else {
        std::stable_sort(groups.begin(), end, [](const GroupRecord& x, const GroupRecord& y) {
            return compareStations(x.station, y.station) > 0;
        });
    }
}

bool swapGroups(SettingsRecord& record, int a, int b) {
    if (!isGroup(record, a) || !isGroup(record, b)) {
        return false;
    }
    if (a != b) {
        std::swap(record.groups.at(static_cast<std::size_t>(a)),
                  record.groups.at(static_cast<std::size_t>(b)));
    }
    return true;
}

bool moveGroup(SettingsRecord& record, int from, int to) {
    if (!isGroup(record, from) || !isGroup(record, to)) {
        return false;
    }
    auto& groups = record.groups.items();
    const auto f = groups.begin() + from;
    const auto t = groups.begin() + to;
    if (from < to) {
        std::rotate(f, f + 1, t + 1);
    } else if (to < from) {
        std::rotate(t, f, f + 1);
    }
    return true;
}

bool deleteGroup(SettingsRecord& record, int group) {
    if (!isGroup(record, group)) {
        return false;
    }
    const int shown = shownGroupCount(record);
    record.groups.removeAt(static_cast<std::size_t>(group));
    if (group < shown) {
        record.groupCount = shown - 1;
    }
    // groupCount never exceeds the number of groups.
    record.groupCount = std::min<int>(record.groupCount, static_cast<int>(record.groups.size()));
    return true;
}

bool deleteChannel(SettingsRecord& record, int group, int channel) {
    if (!isGroup(record, group)) {
        return false;
    }
    auto& channels = record.groups.at(static_cast<std::size_t>(group)).channels;
    if (channel < 0 || static_cast<std::size_t>(channel) >= channels.size()) {
        return false;
    }
    if (channels.size() < 2) {
        return deleteGroup(record, group);
    }
    channels.removeAt(static_cast<std::size_t>(channel));
    return true;
}

}  // namespace vorda
