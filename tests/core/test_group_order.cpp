#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "channels/group_order.h"

using namespace vorda;

namespace {

// Fills the record with one group per station; `channels` gives each group's channel count.
void fill(SettingsRecord& record, const std::vector<std::string>& stations,
          std::vector<int> channels = {}, int groupCount = -1) {
    record.groups.removeAll();
    for (std::size_t i = 0; i < stations.size(); ++i) {
        GroupRecord group;
        group.station = stations[i];
        group.sps = static_cast<int>(i) + 1;
        group.sizeMb = 100 + static_cast<int>(i);
        const int count = i < channels.size() ? channels[i] : 1;
        for (int c = 0; c < count; ++c) {
            group.channels.append(
                {stations[i] + "_C" + std::to_string(c), c * 10, stations[i] + ".DAT"});
        }
        record.groups.append(group);
    }
    record.groupCount = groupCount < 0 ? static_cast<int>(stations.size()) : groupCount;
}

std::vector<std::string> stations(const SettingsRecord& record) {
    std::vector<std::string> out;
    for (const auto& group : record.groups) {
        out.push_back(group.station);
    }
    return out;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(GroupOrder, RowsSkipEmptyGroupsAndUnshownGroups) {
    SettingsRecord record;
    fill(record, {"A", "B", "C", "D"}, {2, 0, 3, 1}, 3);
    const auto rows = listedRows(record);
    const std::vector<RowRef> expected = {{0, 0}, {0, 1}, {2, 0}, {2, 1}, {2, 2}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(firstRowOfGroup(rows, 0), 0);
    EXPECT_EQ(firstRowOfGroup(rows, 1), -1);  // empty group: no row
    EXPECT_EQ(firstRowOfGroup(rows, 2), 2);
    EXPECT_EQ(firstRowOfGroup(rows, 3), -1);  // beyond groupCount
    EXPECT_EQ(rowOf(rows, 2, 2), 4);
    EXPECT_EQ(rowOf(rows, 2, 3), -1);
    EXPECT_EQ(rowOf(rows, 0, 2), -1);  // would run into the next group
    EXPECT_EQ(rowOf(rows, 1, 0), -1);

    // groupCount out of range is kept within 0 and the number of groups.
    record.groupCount = 99;
    EXPECT_EQ(shownGroupCount(record), 4);
    EXPECT_EQ(listedRows(record).size(), 6u);
    record.groupCount = -5;
    EXPECT_EQ(shownGroupCount(record), 0);
    EXPECT_TRUE(listedRows(record).empty());
}

TEST(GroupOrder, StationOrderIsUnsignedByteOrderWithCase) {
    EXPECT_LT(compareStations("AB", "ABC"), 0);
    EXPECT_LT(compareStations("ABC", "Ab"), 0);
    EXPECT_GT(compareStations("Ab", "AB"), 0);
    EXPECT_EQ(compareStations("S1", "S1"), 0);
    EXPECT_LT(compareStations("", "A"), 0);
    EXPECT_LT(compareStations("9", "A"), 0);
    // Cyrillic (bytes above 0x7F) after every Latin letter: "z" < "А" (0xC0) < "я" (0xFF).
    EXPECT_LT(compareStations("z", "\xC0"), 0);
    EXPECT_LT(compareStations("\xC0", "\xFF"), 0);
    EXPECT_GT(compareStations("\xFF", "\x7F"), 0);
}

TEST(GroupOrder, SortsShownGroupsAscendingAndDescending) {
    SettingsRecord record;
    fill(record, {"S2", "S1", "S3"});
    sortGroupsByStation(record, true);
    EXPECT_EQ(stations(record), (Names{"S1", "S2", "S3"}));
    sortGroupsByStation(record, false);
    EXPECT_EQ(stations(record), (Names{"S3", "S2", "S1"}));
    // Each group keeps its own values through the sort.
    EXPECT_EQ(record.groups.at(0).sps, 3);
    EXPECT_EQ(record.groups.at(2).sizeMb, 101);

    fill(record, {"Ab", "ABC", "AB"});
    sortGroupsByStation(record, true);
    EXPECT_EQ(stations(record), (Names{"AB", "ABC", "Ab"}));
}

TEST(GroupOrder, SortIsStableAndKeepsChannelsAndHiddenGroups) {
    SettingsRecord record;
    // Two groups of station B (the second empty), an unshown Z at the end.
    fill(record, {"C", "B", "A", "B", "Z", "0"}, {3, 1, 1, 0, 1, 1}, 4);
    record.groups.at(1).sps = 501;
    record.groups.at(3).sps = 502;
    const auto channelsOfC = record.groups.at(0).channels;

    sortGroupsByStation(record, true);
    EXPECT_EQ(stations(record), (Names{"A", "B", "B", "C", "Z", "0"}));
    EXPECT_EQ(record.groups.at(1).sps, 501);  // equal codes keep their order
    EXPECT_EQ(record.groups.at(2).sps, 502);  // the empty group moved with its station
    EXPECT_EQ(record.groups.at(3).channels, channelsOfC);
    EXPECT_EQ(record.groupCount, 4);

    sortGroupsByStation(record, false);
    EXPECT_EQ(stations(record), (Names{"C", "B", "B", "A", "Z", "0"}));
    EXPECT_EQ(record.groups.at(1).sps, 501);
    EXPECT_EQ(record.groups.at(2).sps, 502);
    EXPECT_EQ(record.groups.size(), 6u);
    EXPECT_EQ(record.groupCount, 4);

    // groupCount above the number of groups sorts them all and is left for the page to show.
    fill(record, {"B", "A"}, {}, 7);
    sortGroupsByStation(record, true);
    EXPECT_EQ(stations(record), (Names{"A", "B"}));
    // No group shown, nothing sorted.
    fill(record, {"B", "A"}, {}, 0);
    sortGroupsByStation(record, true);
    EXPECT_EQ(stations(record), (Names{"B", "A"}));
}

TEST(GroupOrder, SwapsAndMovesGroups) {
    SettingsRecord record;
    fill(record, {"A", "B", "C"});
    EXPECT_TRUE(swapGroups(record, 2, 0));
    EXPECT_EQ(stations(record), (Names{"C", "B", "A"}));
    EXPECT_TRUE(swapGroups(record, 1, 1));
    EXPECT_EQ(stations(record), (Names{"C", "B", "A"}));
    EXPECT_FALSE(swapGroups(record, 0, 3));
    EXPECT_FALSE(swapGroups(record, -1, 0));
    EXPECT_EQ(stations(record), (Names{"C", "B", "A"}));

    fill(record, {"A", "B", "C", "D"});
    EXPECT_TRUE(moveGroup(record, 0, 2));
    EXPECT_EQ(stations(record), (Names{"B", "C", "A", "D"}));
    fill(record, {"A", "B", "C", "D"});
    EXPECT_TRUE(moveGroup(record, 3, 1));
    EXPECT_EQ(stations(record), (Names{"A", "D", "B", "C"}));
    // The edges: to the very front and the very end, and onto itself.
    fill(record, {"A", "B", "C", "D"});
    EXPECT_TRUE(moveGroup(record, 3, 0));
    EXPECT_EQ(stations(record), (Names{"D", "A", "B", "C"}));
    EXPECT_TRUE(moveGroup(record, 0, 3));
    EXPECT_EQ(stations(record), (Names{"A", "B", "C", "D"}));
    EXPECT_TRUE(moveGroup(record, 2, 2));
    EXPECT_EQ(stations(record), (Names{"A", "B", "C", "D"}));
    EXPECT_FALSE(moveGroup(record, 4, 0));
    EXPECT_FALSE(moveGroup(record, 0, -1));
    EXPECT_EQ(stations(record), (Names{"A", "B", "C", "D"}));
    EXPECT_EQ(record.groupCount, 4);
}

TEST(GroupOrder, DeletingRenumbersAndKeepsGroupCountInRange) {
    SettingsRecord record;
    fill(record, {"A", "B", "C"}, {2, 1, 1});
    // A channel of a group with several: the others keep their order.
    EXPECT_TRUE(deleteChannel(record, 0, 0));
    ASSERT_EQ(record.groups.at(0).channels.size(), 1u);
    EXPECT_EQ(record.groups.at(0).channels.at(0).code, "A_C1");
    EXPECT_EQ(record.groupCount, 3);
    // The only channel of group 2 takes the group with it; C becomes group 2.
    EXPECT_TRUE(deleteChannel(record, 1, 0));
    EXPECT_EQ(stations(record), (Names{"A", "C"}));
    EXPECT_EQ(record.groupCount, 2);
    EXPECT_FALSE(deleteChannel(record, 1, 1));
    EXPECT_FALSE(deleteChannel(record, 2, 0));
    EXPECT_FALSE(deleteGroup(record, 2));
    EXPECT_TRUE(deleteGroup(record, 0));
    EXPECT_EQ(stations(record), (Names{"C"}));
    EXPECT_EQ(record.groupCount, 1);
    EXPECT_TRUE(deleteGroup(record, 0));
    EXPECT_TRUE(record.groups.empty());
    EXPECT_EQ(record.groupCount, 0);

    // Deleting an unshown group leaves groupCount alone unless it would exceed the groups.
    fill(record, {"A", "B", "C"}, {}, 1);
    EXPECT_TRUE(deleteGroup(record, 2));
    EXPECT_EQ(record.groupCount, 1);
    fill(record, {"A", "B"}, {}, 5);  // groupCount beyond the groups (never loaded like this)
    EXPECT_TRUE(deleteGroup(record, 0));
    EXPECT_EQ(record.groupCount, 1);
}

TEST(GroupOrder, NoGroupLostThroughAnySequence) {
    SettingsRecord record;
    fill(record, {"D", "b", "A", "C", "a", "E", "F"}, {1, 0, 2, 1, 3, 1, 0}, 5);
    const auto before = record.groups.items();
    sortGroupsByStation(record, true);
    swapGroups(record, 0, 4);
    moveGroup(record, 4, 1);
    sortGroupsByStation(record, false);
    moveGroup(record, 0, 3);
    ASSERT_EQ(record.groups.size(), before.size());
    for (const auto& group : before) {
        EXPECT_EQ(std::count(record.groups.begin(), record.groups.end(), group), 1)
            << group.station;
    }
    // The unshown groups stayed where they were.
    EXPECT_EQ(record.groups.at(5).station, "E");
    EXPECT_EQ(record.groups.at(6).station, "F");
    EXPECT_EQ(record.groupCount, 5);
}
