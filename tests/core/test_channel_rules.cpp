// The rules of codes and of adding and changing groups and channels, without widgets.
#include "channels/channel_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vorda {
namespace {

ChannelRecord channel(const std::string& code) {
    return {code, 1160000000, code + ".DAT"};
}

GroupRecord group(const std::string& station, const std::vector<std::string>& codes) {
    GroupRecord g;
    g.station = station;
    g.sps = 20;
    g.sizeMb = 100;
    for (const auto& code : codes) {
        g.channels.append(channel(code));
    }
    return g;
}

// n codes of `length` characters each, numbered so that none repeats.
std::vector<std::string> codes(int n, std::size_t length) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
        std::string code = "C" + std::to_string(i);
        code.resize(length, 'X');
        out.push_back(code);
    }
    return out;
}

TEST(ChannelRules, ChannelsGoIntoAGroupAllOrNone) {
    GroupRecord g = group("ABC", {"bhz"});
    const GroupRecord before = g;
    // The third of three is in the group already (letter case aside): none is added, and the
    // refusal names it.
    const std::vector<ChannelRecord> three = {channel("BHN"), channel("BHE"), channel("BHZ")};
    RuleCheck check = addChannels(g, three);
    EXPECT_EQ(check.refusal, Refusal::DuplicateChannel);
    EXPECT_EQ(check.channel, 2u);
    EXPECT_EQ(check.code, "BHZ");
    EXPECT_FALSE(check.isWarning());
    EXPECT_EQ(check.text(), "В данной группе уже есть такой канал!\n Выберите другой.");
    EXPECT_EQ(g, before);
    // The same code twice in the list, or a code the file cannot take.
    const std::vector<ChannelRecord> twice = {channel("LHZ"), channel("lhz")};
    check = addChannels(g, twice);
    EXPECT_EQ(check.refusal, Refusal::DuplicateChannel);
    EXPECT_EQ(check.channel, 1u);
    const std::vector<ChannelRecord> unsafe = {channel("LHZ"), channel("SPS")};
    EXPECT_EQ(addChannels(g, unsafe).refusal, Refusal::CodeNamesGroupKey);
    EXPECT_EQ(g, before);

    check = addChannels(g, std::vector<ChannelRecord>{channel("BHN"), channel("BHE")});
    EXPECT_TRUE(check);
    EXPECT_EQ(g, group("ABC", {"bhz", "BHN", "BHE"}));
}

// The file reads a channel list of at most 511 characters; one channel more would be lost.
TEST(ChannelRules, TheChannelListStaysWithinWhatTheFileReads) {
    // 63 codes of 7 characters and their commas: 503 characters.
    GroupRecord g = group("ABC", codes(63, 7));
    ASSERT_EQ(channelListLength(g), 503u);
    const GroupRecord before = g;
    // ",ABCDEFG" would make 511: just fits; a second one after it does not, so neither goes in.
    const std::vector<ChannelRecord> two = {channel("ABCDEFG"), channel("X")};
    RuleCheck check = addChannels(g, two);
    EXPECT_EQ(check.refusal, Refusal::ChannelListTooLong);
    EXPECT_EQ(check.channel, 1u);
    EXPECT_EQ(g, before);
    EXPECT_TRUE(addChannels(g, std::vector<ChannelRecord>{channel("AB"), channel("BHZZ")}));
    EXPECT_EQ(channelListLength(g), 511u);

    // A change that lengthens a code past the limit is refused; one that keeps the length is not.
    EXPECT_EQ(checkChannelChange(g, 63, channel("ABC")).refusal, Refusal::ChannelListTooLong);
    EXPECT_TRUE(checkChannelChange(g, 63, channel("BA")));
}

TEST(ChannelRules, AChangeWritesTheChannelAndTheGroupValues) {
    GroupRecord g = group("ABC", {"BHZ", "BHN", "BHE"});
    EXPECT_TRUE(changeChannel(g, 1, channel("bhn"), 40, 250));  // its own code, another case
    EXPECT_EQ(g.channels.at(1), channel("bhn"));
    EXPECT_EQ(g.sps, 40);
    EXPECT_EQ(g.sizeMb, 250);
    const GroupRecord before = g;
    EXPECT_EQ(changeChannel(g, 0, channel("FILE_X"), 1, 1).refusal, Refusal::CodeNamesFileKey);
    EXPECT_EQ(g, before);

    // BHZ may not become the code of BHN: the two would share one pair of keys and BHZ be lost.
    const RuleCheck duplicate = changeChannel(g, 0, channel("BHN"), 1, 1);
    EXPECT_EQ(duplicate.refusal, Refusal::DuplicateChannel);
    EXPECT_EQ(duplicate.text(), "В данной группе уже есть такой канал!\n Выберите другой.");
    EXPECT_EQ(g, before);

    // A group that holds a code twice already can still have either channel changed in place.
    GroupRecord twice = group("ABC", {"BHZ", "bhz"});
    EXPECT_TRUE(changeChannel(twice, 1, {"bhz", 5, "b.dat"}, 20, 100));
    EXPECT_EQ(twice.channels.at(1), (ChannelRecord{"bhz", 5, "b.dat"}));
}

TEST(ChannelRules, AGroupIsInsertedAtItsPlaceWhileTheFileHasRoom) {
    SettingsRecord record;
    for (const char* station : {"A", "B", "C"}) {
        record.groups.append(group(station, {"BHZ"}));
    }
    record.groupCount = 2;  // C is kept but not in use
    EXPECT_TRUE(addGroup(record, 1, group("NEW", {"LHZ"})));
    EXPECT_EQ(record.groups.at(1).station, "NEW");
    EXPECT_EQ(record.groups.at(2).station, "B");
    EXPECT_EQ(record.groupCount, 3);
    EXPECT_TRUE(addGroup(record, 99, group("END", {"LHZ"})));  // beyond the end: appended
    EXPECT_EQ(record.groups.at(4).station, "END");
    EXPECT_EQ(record.groupCount, 4);

    EXPECT_EQ(addGroup(record, 0, group("A;B", {"BHZ"})).kind, CodeKind::Station);
    EXPECT_EQ(addGroup(record, 0, group("ABC", {"CHAN"})).refusal, Refusal::CodeNamesGroupKey);
    EXPECT_EQ(record.groups.size(), 5u);

    while (record.groups.size() < static_cast<std::size_t>(kMaxGroups)) {
        record.groups.append(group("G", {"BHZ"}));
    }
    const RuleCheck full = addGroup(record, 0, group("ONE", {"MORE"}));
    EXPECT_EQ(full.refusal, Refusal::TooManyGroups);
    EXPECT_EQ(full.text(),
              "В файле настроек может быть не более 256 групп.\nНовая группа не "
              "добавлена.");
    EXPECT_EQ(record.groups.size(), static_cast<std::size_t>(kMaxGroups));
    EXPECT_EQ(record.groupCount, 4);
}

// Adding all of a station's channels: the codes the group lacks, in the list's order, each with
// its proposed file name and the one time; a refusal names the code and says nothing was added.
TEST(ChannelRules, AllOfAStationsChannelsGoInAsOneList) {
    const std::vector<std::string> listed = {"BHE", "bhn", "BHZ", "LHZ"};
    GroupRecord g = group("ABC", {"BHZ", "BHN"});
    const std::vector<ChannelRecord> missing = missingChannels(g, listed, 1234);
    const std::vector<ChannelRecord> expected = {{"BHE", 1234, "ABC_BHE.DAT"},
                                                 {"LHZ", 1234, "ABC_LHZ.DAT"}};
    EXPECT_EQ(missing, expected);
    EXPECT_TRUE(addChannels(g, missing));
    EXPECT_TRUE(missingChannels(g, listed, 0).empty());
    // A new group takes every code listed.
    EXPECT_EQ(missingChannels(group("\xCD\xD0\xC4", {}), listed, 0).size(), 4u);
    EXPECT_EQ(missingChannels(group("\xCD\xD0\xC4", {}), listed, 0)[1].fileName,
              "\xCD\xD0\xC4_bhn.DAT");

    // The texts of a refused list name the code whatever the rule.
    GroupRecord full = group("ABC", codes(63, 7));
    const GroupRecord before = full;
    RuleCheck check =
        addChannels(full, missingChannels(full, std::vector<std::string>{"AB", "BHZZ", "X"}, 0));
    EXPECT_EQ(check.refusal, Refusal::ChannelListTooLong);
    EXPECT_EQ(check.listText(),
              "Список каналов группы в файле настроек не может быть длиннее 511 символов: "
              "канал «X» в него уже не входит.\nНи один канал не добавлен.");
    EXPECT_EQ(full, before);
    check = addChannels(g, missingChannels(g, std::vector<std::string>{"SHZ", "shz"}, 0));
    EXPECT_EQ(check.listText(), "Канал «shz» в группе уже есть.\nНи один канал не добавлен.");
    check = addChannels(g, missingChannels(g, std::vector<std::string>{"SHZ", "B,Z"}, 0));
    EXPECT_EQ(check.listText(), check.text() + "\nНи один канал не добавлен.");
    EXPECT_NE(check.text().find("«B,Z»"), std::string::npos);
    check = addChannels(g, missingChannels(g, std::vector<std::string>{""}, 0));
    EXPECT_EQ(check.listText(),
              "В базе данных у станции есть канал без кода.\nНи один канал не добавлен.");
    EXPECT_EQ(g.channels.size(), 4u);
    EXPECT_TRUE(RuleCheck{}.listText().empty());
}

// A data file name new for a channel may not be one another channel writes, compared as the data
// directory resolves names; the refusal names the channel writing it.
TEST(ChannelRules, NoTwoChannelsWriteOneDataFile) {
    const auto named = [](const char* station, std::vector<ChannelRecord> channels) {
        GroupRecord g = group(station, {});
        g.channels.items() = std::move(channels);
        return g;
    };
    const std::vector<GroupRecord> groups = {
        named("NRD", {{"BHZ", 0, "NRD_BHZ.DAT"}}), named("KLM", {{"SHZ", 0, "KLM_SHZ.DAT"}}),
        // A code twice shares one FILE_ key, so one name.
        named("X", {{"BHZ", 0, "a.dat"}, {"bhz", 0, "X_BHZ.DAT"}, {"LHZ", 0, "x_lhz.dat"}}),
        named("AZV", {{"HHZ", 0, "dup.dat"}, {"HHN", 0, "dup.dat"}}),  // stored so already
    };
    const std::optional<std::size_t> none;
    const struct {
        std::optional<std::size_t> group, channel;  // channel none: added to the group
        const char* code;
        const char* file;
        const char* writer;  // in the refusal; nullptr: allowed
    } cases[] = {
        {none, none, "BHZ", "NRD_BHZ.DAT", "«BHZ» станции «NRD»"},  // a new group's proposal
        {1, none, "BHE", "nrd_bhz.dat", "«BHZ» станции «NRD»"},
        {1, none, "BHE", " NRD_BHZ.DAT\t", "«BHZ» станции «NRD»"},
        {0, 0, "BHZ", "NRD_BHZ.DAT", nullptr},
        {0, 0, "BHE", "klm_SHZ.dat", "«SHZ» станции «KLM»"},
        {2, 0, "BHZ", "X_BHZ.DAT", nullptr},
        {2, 0, "BHZ", "X_LHZ.DAT", "«LHZ» станции «X»"},
        {3, 0, "HHE", "dup.dat", nullptr},  // left as it was
        {3, 1, "HHN", " DUP.DAT", nullptr},
        {1, 0, "SHZ", "dup.dat", "«HHZ» станции «AZV»"},  // but none may join it
    };
    for (const auto& c : cases) {
        const ChannelRecord written{c.code, 0, c.file};
        const DataFileCheck check =
            c.channel ? checkDataFileChange(groups, *c.group, *c.channel, written)
                      : checkNewDataFiles(groups, c.group, "NRD", std::span(&written, 1));
        const std::string writer = c.writer != nullptr ? c.writer : "";
        EXPECT_EQ(check.ok(), writer.empty()) << c.file << ": " << check.reason;
        EXPECT_NE(check.reason.find(writer), std::string::npos) << c.file << ": " << check.reason;
    }

    // Adding all of a station's channels: each proposal against the record and those before it.
    const std::vector<std::string> listed = {"BHE", "BHZ"};
    DataFileCheck all =
        checkNewDataFiles(groups, none, "NRD", missingChannels(group("NRD", {}), listed, 0));
    EXPECT_EQ(all.channel, 1u) << all.reason;
    all = checkNewDataFiles(groups, 1, "",
                            std::vector<ChannelRecord>{{"A", 0, "f.dat"}, {"B", 0, "F.DAT"}});
    EXPECT_NE(all.reason.find("«A» станции «KLM»"), std::string::npos) << all.reason;
}

TEST(ChannelRules, FieldsTheServiceCannotUseAreRefused) {
    const struct {
        const char* sps;
        const char* size;
        const char* file;
        const char* refusal;  // a part of the text; nullptr: accepted
        int readSps;
    } cases[] = {
        {"20", "100", "KLM_SHZ.DAT", nullptr, 20},
        {"12abc", "100", "X.DAT", nullptr, 12},  // read as far as it is a number
        {" +5", "1", "X.DAT", nullptr, 5},
        {"", "100", "X.DAT", "заполнить все поля", 0},
        {"20", "100", "   ", "заполнить все поля", 0},
        {"0", "100", "X.DAT", "[Отсчеты в секунду]: нужно число больше нуля", 0},
        {"-20", "100", "X.DAT", "[Отсчеты в секунду]: нужно число больше нуля", 0},
        {"x", "100", "X.DAT", "[Отсчеты в секунду]: нужно число больше нуля", 0},
        {"99999999999", "100", "X.DAT", "[Отсчеты в секунду]: число слишком велико", 0},
        {"20", "99999999999", "X.DAT", "[Размер файла]: число слишком велико", 0},
        {"20", "0", "X.DAT", "[Размер файла]: нужно число больше нуля", 0},
        {"20", "100", "../../etc/passwd", "не может быть пути", 0},
        {"20", "100", "a/b.dat", "не может быть пути", 0},
        {"20", "100", "/var/x.dat", "не может быть пути", 0},
        {"20", "100", "d:\\x.dat", "не может быть пути", 0},
        {"20", "100", "..", "не может быть пути", 0},
    };
    for (const auto& c : cases) {
        const FieldsCheck check = checkChannelFields({c.sps, "0", c.size, c.file});
        if (c.refusal == nullptr) {
            EXPECT_TRUE(check.ok())
                << c.sps << " " << c.size << " " << c.file << ": " << check.refusal;
            EXPECT_EQ(check.sps, c.readSps) << c.sps;
        } else {
            EXPECT_NE(check.refusal.find(c.refusal), std::string::npos)
                << c.sps << " " << c.size << " " << c.file << ": " << check.refusal;
        }
    }
    // Channels that each get their proposed name need none typed.
    EXPECT_TRUE(checkChannelFields({"20", "0", "100", "", false}).ok());
    EXPECT_FALSE(checkChannelFields({"20", "", "100", "X.DAT"}).ok());
}

}  // namespace

}  // namespace vorda
