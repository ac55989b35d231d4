// What the channel list shows besides its rows: the search and the totals, without widgets.
#include "channels/channel_list.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace vorda {
namespace {

GroupRecord group(const std::string& station, const std::vector<std::string>& codes) {
    GroupRecord g;
    g.station = station;
    for (const auto& code : codes) {
        g.channels.append({code, 0, station + "_" + code + ".DAT"});
    }
    return g;
}

void fill(SettingsRecord& r, const std::vector<GroupRecord>& groups, int groupCount) {
    for (const auto& g : groups) {
        r.groups.append(g);
    }
    r.groupCount = groupCount;
}

std::vector<RowRef> found(const SettingsRecord& r, const std::string& text) {
    return searchRows(r, listedRows(r), text);
}

TEST(ChannelList, SearchFoldsLatinAndCyrillicLettersOfTheCodePage) {
    // "НРД" in code page 1251, and its small letters "нрд"; ё (0xB8) and Ё (0xA8); ї and Ї.
    EXPECT_TRUE(holdsSearchKey("\xCD\xD0\xC4", searchKey("\xF0\xE4")));
    EXPECT_TRUE(holdsSearchKey("\xED\xF0\xE4", searchKey("\xCD")));
    EXPECT_TRUE(holdsSearchKey("A\xB8", searchKey("a\xA8")));
    EXPECT_TRUE(holdsSearchKey("\xBF", searchKey("\xAF")));
    EXPECT_TRUE(holdsSearchKey("bhz", searchKey("HZ")));
    EXPECT_TRUE(holdsSearchKey("BHZ", searchKey("")));
    EXPECT_FALSE(holdsSearchKey("BHZ", searchKey("BHZZ")));
    EXPECT_FALSE(holdsSearchKey("BHZ", searchKey("ZH")));
    EXPECT_FALSE(holdsSearchKey("", searchKey("A")));
    // Other bytes are themselves: a digit is no letter, a Latin letter no Cyrillic one.
    EXPECT_FALSE(holdsSearchKey("C1", searchKey("\xF1"
                                                "1")));  // Cyrillic с, not Latin C
    EXPECT_TRUE(holdsSearchKey("S_1", searchKey("_1")));
}

TEST(ChannelList, SearchShowsTheRowsWhoseStationOrChannelHoldsTheText) {
    SettingsRecord r;
    fill(r,
         {group("NRD", {"BHZ", "BHN", "LHZ"}), group("KLM", {}), group("AZV", {"HHZ", "nrd"}),
          group("HIDDEN", {"BHZ"})},
         3);
    const std::vector<RowRef> all = listedRows(r);
    EXPECT_EQ(found(r, ""), all);
    // A station that holds the text shows all its rows; a channel only its own.
    EXPECT_EQ(found(r, "nr"), (std::vector<RowRef>{{0, 0}, {0, 1}, {0, 2}, {2, 1}}));
    EXPECT_EQ(found(r, "hz"), (std::vector<RowRef>{{0, 0}, {0, 2}, {2, 0}}));
    EXPECT_EQ(found(r, "bh"), (std::vector<RowRef>{{0, 0}, {0, 1}}));  // HIDDEN is not listed
    EXPECT_TRUE(found(r, "klm").empty());                              // no channels, no rows
    EXPECT_TRUE(found(r, "x").empty());
    // Rows found keep the list's order, so a group's rows and a channel's row are found in them.
    const std::vector<RowRef> shown = found(r, "hz");
    EXPECT_EQ(firstRowOfGroup(shown, 2), 2);
    EXPECT_EQ(rowOf(shown, 0, 2), 1);
    EXPECT_EQ(rowOf(shown, 0, 1), -1);
    EXPECT_EQ(firstRowOfGroup(shown, 1), -1);
}

TEST(ChannelList, TotalsCountTheGroupsInUseOfAllAndTheirChannels) {
    SettingsRecord r;
    fill(r,
         {group("A", {"1", "2"}), group("B", {}), group("C", {"1", "2", "3"}), group("D", {"1"})},
         3);
    EXPECT_EQ(listTotals(r), (ListTotals{3, 4, 5}));
    EXPECT_EQ(totalsText(listTotals(r)), "Групп в работе: 3 из 4, каналов в них: 5");
    r.groupCount = 99;  // kept within the groups there are
    EXPECT_EQ(listTotals(r), (ListTotals{4, 4, 6}));
    EXPECT_EQ(listTotals(SettingsRecord{}), (ListTotals{0, 0, 0}));
    EXPECT_EQ(searchCountText(12, 16384), "Показано 12 из 16384");
}

// Fills a record written "STATION:CODE,CODE STATION:CODE ...", the groups after a "|" out of use,
// and gives the place of the channel marked "*" (none: RowRef{}).
RowRef fill(SettingsRecord& r, const std::string& text) {
    RowRef marked;
    r.groupCount = -1;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (word == "|") {
            r.groupCount = static_cast<int>(r.groups.size());
            continue;
        }
        std::vector<std::string> codes;
        std::istringstream list(word.substr(word.find(':') + 1));
        for (std::string code; std::getline(list, code, ',');) {
            if (code.starts_with('*')) {
                marked = {static_cast<int>(r.groups.size()), static_cast<int>(codes.size())};
                code.erase(0, 1);
            }
            codes.push_back(code);
        }
        r.groups.append(group(word.substr(0, word.find(':')), codes));
    }
    r.groupCount = r.groupCount < 0 ? static_cast<int>(r.groups.size()) : r.groupCount;
    return marked;
}

// A selection (*) follows its channel from the list before a change to the list after it, by
// station, channel code and which of the same it is; a channel that is gone leaves nothing.
TEST(ChannelList, ASelectedChannelIsFoundAgainAfterTheRecordChanged) {
    const struct {
        const char* what;
        const char* before;
        const char* after;
    } cases[] = {
        {"a group above is removed", "G1:BHZ AZV:HHE,*HHZ VST:HHZ", "AZV:HHE,*HHZ VST:HHZ"},
        {"a channel is added before it in its group", "AZV:HHE,*HHZ", "AZV:BHN,HHE,*HHZ"},
        {"the groups are sorted", "VST:*HHZ AZV:HHZ", "AZV:HHZ VST:*HHZ"},
        {"the second of two groups of one station with the same channel", "AZV:HHZ X:A AZV:*HHZ",
         "AZV:HHZ AZV:*HHZ"},
        {"the code's Latin letters in another case", "AZV:*hhz", "AZV:*HHZ"},
        {"its group is removed", "AZV:*HHZ VST:HHZ", "VST:HHZ"},
        {"its group falls out of use", "VST:HHZ AZV:*HHZ", "VST:HHZ | AZV:HHZ"},
        {"only one of two same channels is left", "AZV:HHZ AZV:*HHZ", "AZV:HHZ"},
        {"another station with the same channel stays", "AZV:*HHZ VST:HHZ", "VST:HHZ AZW:HHZ"},
    };
    for (const auto& c : cases) {
        SettingsRecord before;
        SettingsRecord after;
        const RowRef selected = fill(before, c.before);
        const RowRef expected = fill(after, c.after);
        const std::optional<ChannelPlace> place = channelPlaceOf(before, selected);
        ASSERT_TRUE(place.has_value()) << c.what;
        EXPECT_EQ(findChannelPlace(after, *place), expected) << c.what;
        // Unchanged, every channel is found where it was.
        EXPECT_EQ(findChannelPlace(before, *place), selected) << c.what;
    }
    // No channel: no row, a row beyond the groups in use, a group without that channel.
    SettingsRecord r;
    fill(r, "AZV:HHZ | VST:HHZ");
    EXPECT_FALSE(channelPlaceOf(r, RowRef{}).has_value());
    EXPECT_FALSE(channelPlaceOf(r, RowRef{1, 0}).has_value());
    EXPECT_FALSE(channelPlaceOf(r, RowRef{0, 1}).has_value());
}

}  // namespace
}  // namespace vorda
