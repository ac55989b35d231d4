// The three-way merge of a save: values only one side changed, conflicts and their choices,
// channels followed across the operator's reordering, and groups and channels that either side
// added or removed. (The save around it: test_settings_file.cpp.)
#include <gtest/gtest.h>

#include "settings/settings_merge.h"

using namespace vorda;

namespace {

ChannelRecord ch(std::string code, int t, std::string file = {}) {
    if (file.empty()) {
        file = code + ".DAT";
    }
    return {std::move(code), t, std::move(file)};
}

GroupRecord group(std::string station, std::vector<ChannelRecord> channels, int sps = 20) {
    GroupRecord g;
    g.station = std::move(station);
    g.sizeMb = 100;
    g.sps = sps;
    for (auto& c : channels) {
        g.channels.append(std::move(c));
    }
    return g;
}

SettingsValues settings(std::vector<GroupRecord> groups, int groupCount = -1) {
    SettingsValues v;
    v.sizeMb = 100;
    v.server = "srv";
    v.dataSource = "ZEL";
    v.user = "zel";
    v.password = "qmx";
    v.dataDir = "/data";
    v.logDir = "/log";
    v.groupCount = groupCount < 0 ? static_cast<int>(groups.size()) : groupCount;
    for (auto& g : groups) {
        v.groups.append(std::move(g));
    }
    return v;
}

MergeOutcome merge(const SettingsValues& base, const SettingsValues& ours,
                   const SettingsValues& theirs, std::vector<ConflictResolution> choices = {},
                   ConflictChoice unresolved = ConflictChoice::KeepMine) {
    return mergeSettings(base, ours, theirs, choices, unresolved);
}

// "STATION:CODE=time" for each channel, groups by " | ", the groups not in use after "/".
std::string layout(const SettingsValues& v) {
    std::string text;
    for (std::size_t g = 0; g < v.groups.size(); ++g) {
        text += g == 0 ? "" : (static_cast<int>(g) == v.groupCount ? " / " : " | ");
        const GroupRecord& group = v.groups.at(g);
        text += group.station + ":";
        for (std::size_t c = 0; c < group.channels.size(); ++c) {
            text += (c ? "," : "") + group.channels.at(c).code + "=" +
                    std::to_string(group.channels.at(c).lastTime);
        }
    }
    if (v.groupCount == static_cast<int>(v.groups.size())) {
        return text;
    }
    return v.groupCount == 0 ? "/ " + text : text;
}

}  // namespace

TEST(SettingsMerge, EachSideKeepsWhatOnlyItChanged) {
    const SettingsValues base =
        settings({group("ABC", {ch("BHZ", 100), ch("BHN", 100)}), group("DEF", {ch("HHZ", 50)})});
    SettingsValues ours =
        settings({group("ABC", {ch("BHZ", 100), ch("BHN", 100)}), group("DEF", {ch("HHZ", 50)})});
    ours.server = "mine";
    ours.detailMode = 1;
    ours.groups.at(0).channels.at(0).fileName = "moved/BHZ.DAT";
    ours.groups.at(1).sps = 40;
    SettingsValues theirs =
        settings({group("ABC", {ch("BHZ", 200), ch("BHN", 300)}), group("DEF", {ch("HHZ", 60)})});
    theirs.logDir = "/var/log/vorda";
    theirs.password = "new";

    const MergeOutcome out = merge(base, ours, theirs);
    EXPECT_TRUE(out.conflicts.empty());
    const SettingsValues& m = out.merged;
    EXPECT_EQ(m.server, "mine");
    EXPECT_EQ(m.detailMode, 1);
    EXPECT_EQ(m.logDir, "/var/log/vorda");
    EXPECT_EQ(m.password, "new");
    EXPECT_EQ(layout(m), "ABC:BHZ=200,BHN=300 | DEF:HHZ=60");
    EXPECT_EQ(m.groups.at(0).channels.at(0).fileName, "moved/BHZ.DAT");
    EXPECT_EQ(m.groups.at(1).sps, 40);
    EXPECT_EQ(out.takenFromFile, 5);  // three times, the log folder and the password

    // Nothing changed on the file's side: ours, unchanged.
    const MergeOutcome same = merge(base, ours, base);
    EXPECT_EQ(same.merged, ours);
    EXPECT_EQ(same.takenFromFile, 0);
}

TEST(SettingsMerge, ValuesChangedOnBothSidesAreConflictsUntilChosen) {
    const SettingsValues base = settings({group("ABC", {ch("BHZ", 100), ch("BHN", 100)})});
    SettingsValues ours = settings({group("ABC", {ch("BHZ", 50), ch("BHN", 100)})});
    ours.server = "mine";
    ours.showScreen = 1;
    SettingsValues theirs = settings({group("ABC", {ch("BHZ", 200), ch("BHN", 100)})});
    theirs.server = "theirs";
    theirs.showScreen = 1;  // the same change on both sides is none

    MergeOutcome out = merge(base, ours, theirs);
    ASSERT_EQ(out.conflicts.size(), 2u);
    EXPECT_TRUE(out.unresolved());
    const MergeConflict& server = out.conflicts[0];
    EXPECT_EQ(server.value, (ValueRef{MergeField::Server, -1, -1}));
    EXPECT_EQ(server.section, "SYSTEM");
    EXPECT_EQ(server.key, "SERVER");
    EXPECT_EQ(server.fileValue, "theirs");
    EXPECT_EQ(server.ourValue, "mine");
    const MergeConflict& time = out.conflicts[1];
    EXPECT_EQ(time.value, (ValueRef{MergeField::ChannelTime, 0, 0}));
    EXPECT_EQ(time.section, "GROUP1");
    EXPECT_EQ(time.key, "BHZ");
    EXPECT_EQ(time.station, "ABC");
    EXPECT_EQ(time.channel, "BHZ");
    EXPECT_EQ(time.fileValue, "200");
    EXPECT_EQ(time.ourValue, "50");
    // Unresolved conflicts take the side asked for.
    EXPECT_EQ(out.merged.server, "mine");
    EXPECT_EQ(merge(base, ours, theirs, {}, ConflictChoice::TakeFile).merged.server, "theirs");

    // A choice for each: settled, and each takes the side chosen.
    out = merge(base, ours, theirs,
                {{server.value, ConflictChoice::TakeFile}, {time.value, ConflictChoice::KeepMine}});
    EXPECT_FALSE(out.unresolved());
    EXPECT_EQ(out.merged.server, "theirs");
    EXPECT_EQ(layout(out.merged), "ABC:BHZ=50,BHN=100");
    EXPECT_EQ(out.merged.showScreen, 1);

    // A file name changed on both sides, and a group value.
    ours.groups.at(0).channels.at(1).fileName = "a.DAT";
    theirs.groups.at(0).channels.at(1).fileName = "b.DAT";
    ours.groups.at(0).sps = 40;
    theirs.groups.at(0).sps = 80;
    out = merge(base, ours, theirs);
    ASSERT_EQ(out.conflicts.size(), 4u);
    EXPECT_EQ(out.conflicts[1].value, (ValueRef{MergeField::GroupSps, 0, -1}));
    EXPECT_EQ(out.conflicts[1].key, "SPS");
    EXPECT_EQ(out.conflicts[3].key, "FILE_BHN");
    EXPECT_EQ(out.conflicts[3].fileValue, "b.DAT");
}

TEST(SettingsMerge, ChannelsAreFollowedAcrossSortsMovesInsertsAndDeletes) {
    const SettingsValues base =
        settings({group("AAA", {ch("BHZ", 1), ch("BHN", 1)}), group("BBB", {ch("HHZ", 1)}),
                  group("CCC", {ch("EHZ", 1), ch("EHN", 1)})});
    // The operator sorts descending, deletes group BBB and channel BHN, inserts group DDD second
    // and changes the code case of EHN (the same channel).
    const SettingsValues ours =
        settings({group("CCC", {ch("EHZ", 1), ch("ehn", 1)}), group("DDD", {ch("LHZ", 5)}),
                  group("AAA", {ch("BHZ", 1)})});
    // The service advanced every channel's time.
    const SettingsValues theirs =
        settings({group("AAA", {ch("BHZ", 10), ch("BHN", 11)}), group("BBB", {ch("HHZ", 12)}),
                  group("CCC", {ch("EHZ", 13), ch("EHN", 14)})});
    const MergeOutcome out = merge(base, ours, theirs);
    EXPECT_TRUE(out.conflicts.empty());
    EXPECT_EQ(layout(out.merged), "CCC:EHZ=13,ehn=14 | DDD:LHZ=5 | AAA:BHZ=10");
}

TEST(SettingsMerge, GroupsOfOneStationAreToldApartByTheirChannels) {
    const SettingsValues base = settings(
        {group("ABC", {ch("BHZ", 1), ch("BHN", 1)}, 20), group("ABC", {ch("HHZ", 1)}, 100)});
    // The operator puts the second group first and changes its rate.
    const SettingsValues ours = settings(
        {group("ABC", {ch("HHZ", 1)}, 200), group("ABC", {ch("BHZ", 1), ch("BHN", 1)}, 20)});
    const SettingsValues theirs = settings(
        {group("ABC", {ch("BHZ", 7), ch("BHN", 8)}, 20), group("ABC", {ch("HHZ", 9)}, 100)});
    const MergeOutcome out = merge(base, ours, theirs);
    EXPECT_TRUE(out.conflicts.empty());
    EXPECT_EQ(layout(out.merged), "ABC:HHZ=9 | ABC:BHZ=7,BHN=8");
    EXPECT_EQ(out.merged.groups.at(0).sps, 200);
    EXPECT_EQ(out.merged.groups.at(1).sps, 20);
}

TEST(SettingsMerge, WhatTheOtherSideAddedStaysAndWhatItRemovedGoesUnlessChangedHere) {
    const SettingsValues base =
        settings({group("AAA", {ch("BHZ", 1), ch("BHN", 1)}), group("BBB", {ch("HHZ", 1)}),
                  group("CCC", {ch("EHZ", 1)})});
    // The operator adds a group at the front and changes BBB's rate.
    SettingsValues ours =
        settings({group("NEW", {ch("LHZ", 3)}), group("AAA", {ch("BHZ", 1), ch("BHN", 1)}),
                  group("BBB", {ch("HHZ", 1)}, 40), group("CCC", {ch("EHZ", 1)})});
    // Another editor removed BBB and CCC and channel BHN, added a channel to AAA after BHZ and
    // a group of its own at the end.
    const SettingsValues theirs =
        settings({group("AAA", {ch("BHZ", 2), ch("BHE", 2)}), group("XYZ", {ch("SHZ", 4)})});

    const MergeOutcome out = merge(base, ours, theirs);
    // BBB, removed there and changed here, is asked about; until then it stays.
    ASSERT_EQ(out.conflicts.size(), 1u);
    EXPECT_EQ(out.conflicts[0].value.field, MergeField::GroupPresence);
    EXPECT_EQ(out.conflicts[0].station, "BBB");
    // XYZ follows AAA, as it does in the file.
    EXPECT_EQ(layout(out.merged), "NEW:LHZ=3 | AAA:BHZ=2,BHE=2 | XYZ:SHZ=4 | BBB:HHZ=1");
    EXPECT_EQ(out.merged.groups.at(3).sps, 40);

    // A group both sides added is one group.
    ours = settings({group("AAA", {ch("BHZ", 1), ch("BHN", 1)}), group("BBB", {ch("HHZ", 1)}),
                     group("CCC", {ch("EHZ", 1)}), group("XYZ", {ch("SHZ", 4)})});
    const MergeOutcome both = merge(base, ours, theirs);
    EXPECT_EQ(layout(both.merged), "AAA:BHZ=2,BHE=2 | XYZ:SHZ=4");
}

TEST(SettingsMerge, GroupsInUseMergeLikeValues) {
    const SettingsValues base = settings(
        {group("AAA", {ch("BHZ", 1)}), group("BBB", {ch("HHZ", 1)}), group("CCC", {ch("EHZ", 1)})});
    // The operator stops using CCC; the other side adds a group in use.
    const SettingsValues ours = settings(
        {group("AAA", {ch("BHZ", 1)}), group("BBB", {ch("HHZ", 1)}), group("CCC", {ch("EHZ", 1)})},
        2);
    const SettingsValues theirs =
        settings({group("AAA", {ch("BHZ", 1)}), group("BBB", {ch("HHZ", 1)}),
                  group("CCC", {ch("EHZ", 1)}), group("DDD", {ch("LHZ", 1)})});
    const MergeOutcome out = merge(base, ours, theirs);
    EXPECT_EQ(layout(out.merged), "AAA:BHZ=1 | BBB:HHZ=1 | DDD:LHZ=1 / CCC:EHZ=1");
    EXPECT_EQ(out.merged.groupCount, 3);

    // Both sides add a group: both are in use.
    const SettingsValues oursAdded =
        settings({group("AAA", {ch("BHZ", 1)}), group("BBB", {ch("HHZ", 1)}),
                  group("CCC", {ch("EHZ", 1)}), group("EEE", {ch("UHZ", 1)})});
    EXPECT_EQ(merge(base, oursAdded, theirs).merged.groupCount, 5);
}

TEST(SettingsMerge, OpenConflictsKeepTheirBaseForTheNextMerge) {
    const SettingsValues base = settings({group("ABC", {ch("BHZ", 100), ch("BHN", 100)})});
    const SettingsValues ours = settings({group("ABC", {ch("BHZ", 50), ch("BHN", 100)})});
    SettingsValues theirs = settings({group("ABC", {ch("BHZ", 200), ch("BHN", 300)})});
    const MergeOutcome out = merge(base, ours, theirs);
    ASSERT_EQ(out.conflicts.size(), 1u);

    // The file's settings become the base, but for the conflict, which is still one the next
    // time; the value that merged cleanly is not.
    SettingsValues next = theirs;
    keepConflictsOpen(next, ConflictSide::File, out.conflicts, base);
    EXPECT_EQ(layout(next), "ABC:BHZ=100,BHN=300");
    const MergeOutcome again = merge(next, out.merged, theirs);
    ASSERT_EQ(again.conflicts.size(), 1u);
    EXPECT_EQ(again.conflicts[0].key, "BHZ");

    // The same at the merge result's places, for a merge that was written.
    SettingsValues written = out.merged;
    keepConflictsOpen(written, ConflictSide::Merged, out.conflicts, base);
    EXPECT_EQ(layout(written), "ABC:BHZ=100,BHN=300");
}

TEST(SettingsMerge, AMergeThatTookTheFilesSideGivesTheOperatorsValuesBackAtTheirNewPlaces) {
    // The operator sorted the groups and set one time back; the file moved that time on and
    // added a group in front.
    const SettingsValues base =
        settings({group("BBB", {ch("BHZ", 100)}), group("AAA", {ch("BHZ", 100), ch("BHN", 1)})});
    const SettingsValues ours =
        settings({group("AAA", {ch("BHZ", 100), ch("BHN", 1)}), group("BBB", {ch("BHZ", 50)})});
    const SettingsValues theirs = settings({group("NEW", {}), group("BBB", {ch("BHZ", 200)}),
                                            group("AAA", {ch("BHZ", 100), ch("BHN", 7)})});
    MergeOutcome out = merge(base, ours, theirs, {}, ConflictChoice::TakeFile);
    ASSERT_EQ(out.conflicts.size(), 1u);
    EXPECT_FALSE(out.conflicts[0].resolved);
    EXPECT_EQ(layout(out.merged), "NEW: | AAA:BHZ=100,BHN=7 | BBB:BHZ=200");
    keepOurValues(out.merged, out.conflicts, ours);
    EXPECT_EQ(layout(out.merged), "NEW: | AAA:BHZ=100,BHN=7 | BBB:BHZ=50");
}

// What the file's side brought is counted by kind: a removed group is one group, not a value.
TEST(SettingsMerge, WhatIsTakenFromTheFileIsCountedByKind) {
    const SettingsValues base = settings({group("ABC", {ch("BHZ", 100), ch("BHN", 100)}),
                                          group("KLM", {ch("SHZ", 1), ch("SHN", 1)})});
    SettingsValues theirs = settings({group("ABC", {ch("BHZ", 200), ch("BHN", 100)})});
    theirs.groups.at(0).channels.append(ch("HHE", 7));
    theirs.server = "other";
    const MergeOutcome out = merge(base, base, theirs);
    EXPECT_EQ(out.taken.values, 2);
    EXPECT_EQ(out.taken.channels, 1);
    EXPECT_EQ(out.taken.groups, 1);
    EXPECT_EQ(out.takenFromFile, 4);
    EXPECT_EQ(layout(out.merged), "ABC:BHZ=200,BHN=100,HHE=7");
}

// A group or channel the file removed and the operator changed: the conflict names it, keeping
// the choice open puts it back into the base, and a merge that took the file's side gives the
// operator's back.
TEST(SettingsMerge, ARemovalAgainstAChangeStaysOpenUntilChosen) {
    const SettingsValues base = settings({group("ABC", {ch("BHZ", 100), ch("BHN", 100)}),
                                          group("KLM", {ch("SHZ", 1)}), group("XYZ", {})},
                                         2);
    SettingsValues ours = base;
    ours.groups.at(1).sps = 40;
    ours.groups.at(0).channels.at(1).lastTime = 5;
    const SettingsValues theirs = settings({group("ABC", {ch("BHZ", 100)}), group("XYZ", {})}, 1);

    MergeOutcome taken = merge(base, ours, theirs, {}, ConflictChoice::TakeFile);
    ASSERT_EQ(taken.conflicts.size(), 2u);
    EXPECT_EQ(taken.conflicts[0].value.field, MergeField::GroupPresence);
    EXPECT_EQ(taken.conflicts[0].section, "GROUP2");
    EXPECT_EQ(taken.conflicts[0].station, "KLM");
    EXPECT_EQ(taken.conflicts[1].value.field, MergeField::ChannelPresence);
    EXPECT_EQ(taken.conflicts[1].key, "BHN");
    EXPECT_EQ(layout(taken.merged), "ABC:BHZ=100 / XYZ:");

    SettingsValues nextBase = taken.merged;
    keepConflictsOpen(nextBase, ConflictSide::Merged, taken.conflicts, base);
    EXPECT_EQ(layout(nextBase), "ABC:BHZ=100,BHN=100 | KLM:SHZ=1 / XYZ:");
    keepOurValues(taken.merged, taken.conflicts, ours);
    EXPECT_EQ(layout(taken.merged), "ABC:BHZ=100,BHN=5 | KLM:SHZ=1 / XYZ:");
    EXPECT_EQ(taken.merged.groups.at(1).sps, 40);

    // The next merge against that base asks again; each choice holds.
    for (const ConflictChoice choice : {ConflictChoice::KeepMine, ConflictChoice::TakeFile}) {
        const MergeOutcome again =
            merge(nextBase, ours, theirs,
                  {{taken.conflicts[0].value, choice}, {taken.conflicts[1].value, choice}});
        EXPECT_FALSE(again.unresolved());
        EXPECT_EQ(layout(again.merged), choice == ConflictChoice::KeepMine
                                            ? "ABC:BHZ=100,BHN=5 | KLM:SHZ=1 / XYZ:"
                                            : "ABC:BHZ=100 / XYZ:");
    }
}
