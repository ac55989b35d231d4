// A settings document applied to a file's settings: how groups and channels are matched, what a
// field left out keeps, and which documents are refused, with the field's place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/settings_apply.h"

using namespace vorda;

namespace {

ChannelRecord channel(std::string code, std::int32_t time, std::string file) {
    return {std::move(code), time, std::move(file)};
}

GroupRecord group(std::string station, std::int32_t sps, std::int32_t sizeMb,
                  std::vector<ChannelRecord> channels) {
    GroupRecord g;
    g.station = std::move(station);
    g.sps = sps;
    g.sizeMb = sizeMb;
    for (auto& c : channels) {
        g.channels.append(std::move(c));
    }
    return g;
}

// Four groups, two of one station; the fourth is not in use.
SettingsValues fileSettings() {
    SettingsValues v;
    v.server = "srv";
    v.detailMode = 1;
    v.sizeMb = 100;
    v.logDir = "/log";
    v.dataSource = "ZEL";
    v.user = "op";
    v.password = "pw";
    v.dataDir = "/data";
    v.groups.append(
        group("NRD", 40, 100,
              {channel("BHZ", 100, "z"), channel("BHN", 200, "n"), channel("BHE", 300, "e")}));
    v.groups.append(group("KLM", 20, 50, {channel("SHZ", 400, "s")}));
    v.groups.append(group("AZV", 100, 200, {channel("HHZ", 500, "h"), channel("HHN", 600, "i")}));
    v.groups.append(group("NRD", 1, 1, {channel("LHZ", 700, "l")}));
    v.groupCount = 3;
    return v;
}

// The settings in one line: the system values, the number in use, then each group as
// "STATION sps/sizeMb CODE=time:file,...".
std::string render(const SettingsValues& v) {
    std::string s = v.server + " d" + std::to_string(v.detailMode) + " s" +
                    std::to_string(v.showScreen) + " mb" + std::to_string(v.sizeMb) + " " +
                    v.logDir + " " + v.dataSource + "/" + v.user + "/" + v.password + "/" +
                    v.dataDir + " n" + std::to_string(v.groupCount);
    for (const GroupRecord& g : v.groups) {
        s += " | " + g.station + " " + std::to_string(g.sps) + "/" + std::to_string(g.sizeMb);
        const char* separator = " ";
        for (const ChannelRecord& c : g.channels) {
            s += separator + c.code + "=" + std::to_string(c.lastTime) + ":" + c.fileName;
            separator = ",";
        }
    }
    return s;
}

const std::string kSystem = "srv d1 s0 mb100 /log ZEL/op/pw//data";
const std::string kNrd = "NRD 40/100 BHZ=100:z,BHN=200:n,BHE=300:e";
const std::string kKlm = "KLM 20/50 SHZ=400:s";
const std::string kAzv = "AZV 100/200 HHZ=500:h,HHN=600:i";
const std::string kNrd2 = "NRD 1/1 LHZ=700:l";

ChannelDocument code(std::string c) {
    return ChannelDocument{.code = std::move(c)};
}

GroupDocument station(std::string s, std::vector<ChannelDocument> channels) {
    return GroupDocument{.station = std::move(s), .channels = std::move(channels)};
}

// The four groups of the file, named by station and codes only.
std::vector<GroupDocument> sameGroups() {
    return {station("NRD", {code("BHZ"), code("BHN"), code("BHE")}), station("KLM", {code("SHZ")}),
            station("AZV", {code("HHZ"), code("HHN")}), station("NRD", {code("LHZ")})};
}

SettingsDocument withGroups(std::vector<GroupDocument> groups) {
    return SettingsDocument{.groups = std::move(groups)};
}

}  // namespace

TEST(SettingsApply, MatchesGroupsAndChannelsAndKeepsWhatTheDocumentLeavesOut) {
    struct Case {
        const char* what;
        SettingsDocument document;
        std::string expected;
    };
    std::vector<GroupDocument> added = sameGroups();
    added[0].channels->push_back(code("HHZ"));
    std::vector<GroupDocument> named = sameGroups();
    named[0].sps = 50;
    named[0].channels->at(0).lastTime = 5;
    named[0].channels->at(1).lastTime = "1970-01-01 00:00:10";
    named[0].channels->at(2).fileName = "new.dat";
    std::vector<GroupDocument> leftOut = sameGroups();
    leftOut[1].channels.reset();
    std::vector<GroupDocument> newGroup = sameGroups();
    newGroup.insert(newGroup.begin() + 1, station("\xD0\x9D\xD0\x9E\xD0\x92", {code("BHZ")}));
    const std::string kNov = "\xCD\xCE\xC2 20/100 BHZ=0:\xCD\xCE\xC2_BHZ.DAT";  // НОВ, cp1251

    const Case cases[] = {
        {"an empty document",
         {},
         kSystem + " n3 | " + kNrd + " | " + kKlm + " | " + kAzv + " | " + kNrd2},
        {"system values alone",
         {.server = "other", .detailMode = 0, .showScreen = 1, .sizeMb = 7, .logDir = "/l2"},
         "other d0 s1 mb7 /l2 ZEL/op/pw//data n3 | " + kNrd + " | " + kKlm + " | " + kAzv + " | " +
             kNrd2},
        {"connection values",
         {.user = "u2", .password = "", .dataDir = std::string(2047, 'd')},
         "srv d1 s0 mb100 /log ZEL/u2//" + std::string(2047, 'd') + " n3 | " + kNrd + " | " + kKlm +
             " | " + kAzv + " | " + kNrd2},
        {"the same groups by station and code alone", withGroups(sameGroups()),
         kSystem + " n3 | " + kNrd + " | " + kKlm + " | " + kAzv + " | " + kNrd2},
        {"a channel added: last time 0, the proposed file name", withGroups(added),
         kSystem + " n3 | " + kNrd + ",HHZ=0:NRD_HHZ.DAT | " + kKlm + " | " + kAzv + " | " + kNrd2},
        {"a group in use left out: removed, one fewer in use",
         withGroups({sameGroups()[0], sameGroups()[2], sameGroups()[3]}),
         kSystem + " n2 | " + kNrd + " | " + kAzv + " | " + kNrd2},
        {"a channel left out: removed",
         withGroups({station("NRD", {code("BHE"), code("BHZ")}), sameGroups()[1], sameGroups()[2]}),
         kSystem + " n3 | NRD 40/100 BHE=300:e,BHZ=100:z | " + kKlm + " | " + kAzv},
        {"groups reordered: values follow their group; a station's two groups by their channels",
         withGroups({sameGroups()[3], sameGroups()[2], sameGroups()[0], sameGroups()[1]}),
         kSystem + " n3 | " + kNrd2 + " | " + kAzv + " | " + kNrd + " | " + kKlm},
        {"a code in other letter case is the same channel, written as the document has it",
         withGroups({station("NRD", {code("bhz")})}), kSystem + " n1 | NRD 40/100 bhz=100:z"},
        {"values named are taken (calendar text as the dialog reads it)", withGroups(named),
         kSystem + " n3 | NRD 50/100 BHZ=5:z,BHN=10:n,BHE=300:new.dat | " + kKlm + " | " + kAzv +
             " | " + kNrd2},
        {"a group's channels left out: the file's", withGroups(leftOut),
         kSystem + " n3 | " + kNrd + " | " + kKlm + " | " + kAzv + " | " + kNrd2},
        {"a new group: the add-group dialog's values, one more in use", withGroups(newGroup),
         kSystem + " n4 | " + kNrd + " | " + kNov + " | " + kKlm + " | " + kAzv + " | " + kNrd2},
        {"the number in use as named",
         {.groupCount = 4, .groups = sameGroups()},
         kSystem + " n4 | " + kNrd + " | " + kKlm + " | " + kAzv + " | " + kNrd2},
        {"no groups: none in use", withGroups({}), kSystem + " n0"},
    };
    const SettingsValues file = fileSettings();
    for (const Case& c : cases) {
        const ApplyResult result = applySettingsDocument(file, c.document);
        ASSERT_TRUE(result.ok()) << c.what << ": " << result.refusal->text();
        EXPECT_EQ(render(result.values), c.expected) << c.what;
    }
}

TEST(SettingsApply, RefusesABrokenRuleWithTheFieldsPlaceAndChangesNothing) {
    struct Case {
        SettingsDocument document;
        const char* place;
    };
    const auto withChannels = [](std::vector<ChannelDocument> channels) {
        return withGroups({station("NRD", std::move(channels))});
    };
    const auto timed = [](DocumentTime time) {
        ChannelDocument c = code("BHZ");
        c.lastTime = std::move(time);
        return c;
    };
    const auto filed = [](std::string name) {
        ChannelDocument c = code("BHZ");
        c.fileName = std::move(name);
        return c;
    };
    std::vector<ChannelDocument> fullList;  // 64 codes of 7 characters: 511 with the commas
    for (int i = 0; i < 65; ++i) {
        fullList.push_back(code("C" + std::to_string(100000 + i)));
    }
    std::vector<GroupDocument> tooMany(257, station("S", {code("BHZ")}));
    std::vector<GroupDocument> hugeSps = sameGroups();
    hugeSps[2].sps = std::int64_t{1} << 40;
    // Data files KLM's channel writes: a name changed to it, a channel added proposing it.
    std::vector<GroupDocument> sharedFile = sameGroups();
    sharedFile[0].channels->at(0).fileName = "S";
    std::vector<GroupDocument> sharedProposal = sameGroups();
    sharedProposal[0].channels->push_back(code("HHZ"));
    sharedProposal[1].channels->at(0).fileName = "nrd_hhz.dat";

    const Case cases[] = {
        {{.server = "a\nb"}, "server"},
        {{.server = std::string(512, 'x')}, "server"},
        {{.server = "\xE6\x9D\xB1"}, "server"},  // a character code page 1251 lacks
        {{.logDir = std::string("a\0b", 3)}, "logDir"},
        {{.detailMode = 2}, "detailMode"},
        {{.showScreen = -1}, "showScreen"},
        {{.sizeMb = std::int64_t{1} << 31}, "sizeMb"},
        {{.user = std::string(128, 'u')}, "user"},
        {{.password = "\r"}, "password"},
        {{.dataDir = std::string(2048, 'd')}, "dataDir"},
        {withGroups({sameGroups()[0], GroupDocument{.channels = std::vector{code("X")}}}),
         "groups[1].station"},
        {withGroups({station("A,B", {code("BHZ")})}), "groups[0].station"},
        {withGroups({station("ABCDEFGH", {code("BHZ")})}), "groups[0].station"},
        {withGroups(hugeSps), "groups[2].sps"},
        {withChannels({code("BHZ"), ChannelDocument{}}), "groups[0].channels[1].code"},
        {withChannels({code("FILE_X")}), "groups[0].channels[0].code"},
        {withChannels({code("chan")}), "groups[0].channels[0].code"},
        {withChannels({code(" BHZ")}), "groups[0].channels[0].code"},
        {withChannels({code("BHZ"), code("BHN"), code("bhz")}), "groups[0].channels[2].code"},
        {withChannels(fullList), "groups[0].channels[64].code"},
        {withChannels({timed(std::int64_t{1} << 31)}), "groups[0].channels[0].lastTime"},
        {withChannels({timed("2038-01-19 03:14:08")}), "groups[0].channels[0].lastTime"},
        {withChannels({timed("2006-10")}), "groups[0].channels[0].lastTime"},
        {withChannels({timed("abc")}), "groups[0].channels[0].lastTime"},
        {withChannels({timed("-5")}), "groups[0].channels[0].lastTime"},
        {withChannels({filed("")}), "groups[0].channels[0].fileName"},
        {withChannels({filed("a\r\nb")}), "groups[0].channels[0].fileName"},
        {withGroups(sharedFile), "groups[0].channels[0].fileName"},
        {withGroups(sharedProposal), "groups[0].channels[3].fileName"},
        {withChannels({}), "groups[0].channels"},
        {withGroups({station("NEW", {})}), "groups[0].channels"},
        {withGroups({GroupDocument{.station = "NEW"}}), "groups[0].channels"},
        {withGroups(tooMany), "groups[256]"},
        {{.groupCount = 0}, "groupCount"},
        {{.groupCount = 5}, "groupCount"},
        {{.groupCount = 4, .groups = std::vector{sameGroups()[0]}}, "groupCount"},
        {{.groupCount = 1, .groups = std::vector<GroupDocument>{}}, "groupCount"},
    };
    const SettingsValues file = fileSettings();
    for (const Case& c : cases) {
        const ApplyResult result = applySettingsDocument(file, c.document);
        ASSERT_FALSE(result.ok()) << c.place;
        EXPECT_EQ(result.refusal->place, c.place) << result.refusal->text();
        EXPECT_FALSE(result.refusal->reason.empty()) << c.place;
        EXPECT_EQ(result.values, file) << c.place;
    }
    // At the limits the same values pass.
    ASSERT_TRUE(applySettingsDocument(file, withChannels(std::vector<ChannelDocument>(
                                                fullList.begin(), fullList.end() - 1)))
                    .ok());
    ASSERT_TRUE(applySettingsDocument(file, withChannels({timed("2038-01-19 03:14:07")})).ok());
    std::vector<GroupDocument> most(256, station("S", {code("BHZ")}));
    for (std::size_t i = 0; i < most.size(); ++i) {
        most[i].channels->at(0).fileName = "S" + std::to_string(i);  // each its own data file
    }
    EXPECT_TRUE(applySettingsDocument(file, withGroups(most)).ok());
    // Two channels the file has with one data file stay so while their names are left as they are.
    SettingsValues shared = file;
    shared.groups.at(1).channels.at(0).fileName = "Z";
    sharedFile[0].channels->at(0).fileName = "z ";
    EXPECT_TRUE(applySettingsDocument(shared, withGroups(sharedFile)).ok());
}
