// Reading and writing the settings file: the path rule, defaults, the reading rules, the
// layout of what is written, what is kept, and the refusals that protect the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "channels/group_order.h"
#include "database/connection_settings.h"
#include "settings/settings_backup.h"
#include "settings/settings_file.h"
#include "support/temp_dir.h"

using namespace vorda;
using vorda::test::TempDir;

namespace {

Environment envWith(const TempDir& dir, std::vector<std::string> args) {
    Environment env;
    env.args = {"vorda-settings"};
    for (auto& a : args)
        env.args.push_back(std::move(a));
    env.currentDir = dir.path();
    return env;
}

struct Loaded {
    SettingsRecord record;
    SettingsFile file;
    Status status;
};

// Loads the file `name` of dir (an absolute path on the command line).
std::unique_ptr<Loaded> load(const TempDir& dir, const std::string& name = "s.ini") {
    auto l = std::make_unique<Loaded>();
    l->status = loadSettings(l->record, l->file, envWith(dir, {dir.file(name)}));
    return l;
}

ConnectionValues valuesOf(const SettingsRecord& r) {
    return {r.dataSource, r.user, r.password, r.dataDir};
}

ChannelRecord channel(std::string code, int t, std::string file) {
    return {std::move(code), t, std::move(file)};
}

}  // namespace

TEST(SettingsPath, ChosenFromExactlyOneArgument) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "./ZEL_VurEV.ini"},
        {{"a.ini", "b.ini"}, "./ZEL_VurEV.ini"},
        {{""}, "./ZEL_VurEV.ini"},
        {{"a.ini"}, "./a.ini"},
        {{"conf/a.ini"}, "./conf/a.ini"},
        {{"/etc/vorda/a.ini"}, "/etc/vorda/a.ini"},
        {{"a.ini", "ODBC=SEIS"}, "./ZEL_VurEV.ini"},
        // A connection item alone names no file (it sets the connection): a settings file
        // named "ODBC=SEIS" is none the service would ever read.
        {{"ODBC=SEIS"}, "./ZEL_VurEV.ini"},
        {{"odbc=seis"}, "./ZEL_VurEV.ini"},
        {{"USER=op"}, "./ZEL_VurEV.ini"},
        {{"PASSWORD=x"}, "./ZEL_VurEV.ini"},
        {{"DATA=/d"}, "./ZEL_VurEV.ini"},
        // Names that only hold such a text are names.
        {{"my ODBC=SEIS.ini"}, "./my ODBC=SEIS.ini"},
        {{"/etc/ODBC=SEIS"}, "/etc/ODBC=SEIS"},
        {{"ODBC.ini"}, "./ODBC.ini"},
    };
    for (const auto& [args, path] : cases) {
        Environment env;
        env.args = {"prog"};
        env.args.insert(env.args.end(), args.begin(), args.end());
        EXPECT_EQ(chooseSettingsPath(env), path) << testing::PrintToString(args);
    }
}

TEST(SettingsLoad, MissingFileGivesDefaults) {
    TempDir dir;
    auto l = load(dir);
    EXPECT_TRUE(l->status.ok);
    EXPECT_FALSE(l->file.baseContent.exists);
    const SettingsRecord& r = l->record;
    EXPECT_EQ(r.dataSource, "zel");
    EXPECT_EQ(r.user, "zel");
    EXPECT_EQ(r.password, "qmx");
    EXPECT_EQ(r.dataDir, "d:\\data");
    EXPECT_EQ(r.logDir, "d:\\log");
    EXPECT_EQ(r.server, "localhost");
    EXPECT_EQ(r.detailMode, 0);
    EXPECT_EQ(r.showScreen, 0);
    EXPECT_EQ(r.sizeMb, 100);
    EXPECT_EQ(r.groupCount, 0);
    EXPECT_EQ(r.groups.size(), 0u);
}

TEST(SettingsLoad, ModesCompareWithoutCaseAndAnythingElseIsOn) {
    TempDir dir;
    const std::pair<const char*, int> cases[] = {{"silent", 0}, {"Silent", 0}, {"SILENT", 0},
                                                 {"detail", 1}, {"other", 1},  {"", 1}};
    for (const auto& [mode, expected] : cases) {
        dir.write("s.ini", std::string("[SYSTEM]\r\nMODE=") + mode +
                               "\r\nSCREEN=" + (expected ? "" : "HIDE") + "\r\n");
        auto l = load(dir);
        EXPECT_EQ(l->record.detailMode, expected) << mode;
        EXPECT_EQ(l->record.showScreen, expected) << mode;
    }
}

TEST(SettingsLoad, GroupsAreReadUpToTheFirstGapAndCountIsLimited) {
    TempDir dir;
    dir.write("s.ini",
              "[SYSTEM]\nGROUPS=5\nSIZEMB=70\n"
              "[GROUP1]\nSTATION=AAA\nCHAN=BHZ,,BHN,\nBHZ=123\nFILE_BHZ=a.dat\n"
              "[GROUP2]\nSTATION=BBB\nSPS=40\nSIZEMB=10\n"
              "[GROUP4]\nSTATION=DDD\nCHAN=X\n");
    auto l = load(dir);
    const SettingsRecord& r = l->record;
    ASSERT_EQ(r.groups.size(), 2u);
    EXPECT_EQ(r.groupCount, 2);
    const GroupRecord& g1 = r.groups.at(0);
    EXPECT_EQ(g1.station, "AAA");
    EXPECT_EQ(g1.sizeMb, 70);  // from [SYSTEM] SIZEMB
    EXPECT_EQ(g1.sps, 20);
    ASSERT_EQ(g1.channels.size(), 2u);
    EXPECT_EQ(g1.channels.at(0), channel("BHZ", 123, "a.dat"));
    EXPECT_EQ(g1.channels.at(1), channel("BHN", 0, ""));
    const GroupRecord& g2 = r.groups.at(1);
    EXPECT_EQ(g2.sps, 40);
    EXPECT_EQ(g2.sizeMb, 10);
    EXPECT_EQ(g2.channels.size(), 0u);
}

TEST(SettingsLoad, SmallerCountStaysAndNegativeCountIsZero) {
    TempDir dir;
    dir.write("s.ini",
              "[SYSTEM]\nGROUPS=1\n[GROUP1]\nSTATION=A\n[GROUP2]\nSTATION=B\n"
              "[GROUP3]\nSTATION=C\n");
    auto l = load(dir);
    EXPECT_EQ(l->record.groups.size(), 3u);
    EXPECT_EQ(l->record.groupCount, 1);

    dir.write("s.ini", "[SYSTEM]\nGROUPS=-3\n[GROUP1]\nSTATION=A\n");
    l = load(dir);
    EXPECT_EQ(l->record.groupCount, 0);
}

TEST(SettingsLoad, LongValuesAreCutAt511Characters) {
    TempDir dir;
    const std::string longServer(600, 's');
    const std::string codes = "A," + std::string(600, 'B');
    dir.write("s.ini", "[SYSTEM]\nSERVER=" + longServer + "\n[GROUP1]\nCHAN=" + codes + "\n");
    auto l = load(dir);
    EXPECT_EQ(l->record.server, std::string(511, 's'));
    // The code the cut shortens is no code of the file: it is left out and named.
    ASSERT_EQ(l->record.groups.at(0).channels.size(), 1u);
    ASSERT_EQ(l->file.channelListNotes.size(), 1u);
    EXPECT_EQ(l->file.channelListNotes[0].cutCodes,
              std::vector<std::string>{std::string(600, 'B')});
}

// Channels that cannot be read as the file lists them are left out of the record and named, and
// a save without a change writes no key for them and keeps every other line of the group.
TEST(SettingsLoad, ChannelsNotReadAsListedAreLeftOutAndNamed) {
    TempDir dir;
    std::string list;
    std::string keys;
    for (int i = 1; i <= 139; ++i) {
        const std::string code = "C" +
                                 std::string(i < 10    ? "00"
                                             : i < 100 ? "0"
                                                       : "") +
                                 std::to_string(i);
        list += (i == 1 ? "" : ",") + code;
        keys += code + "=5\r\nFILE_" + code + "=" + code + ".DAT\r\n";
    }
    const std::string group1 =
        "[GROUP1]\r\nSTATION=ABC\r\nSIZEMB=100\r\nSPS=20\r\nCHAN=" + list + "\r\n" + keys;
    const std::string group2 =
        "[GROUP2]\r\nSTATION=DEF\r\nSIZEMB=100\r\nSPS=20\r\nCHAN=BHZ, ,BHN\r\n"
        "BHZ=1\r\nFILE_BHZ=\r\nBHN=2\r\nFILE_BHN=\r\n";
    const std::string group3 =
        "[GROUP3]\r\nSTATION=GHI\r\nSIZEMB=100\r\nSPS=20\r\nCHAN=BHZ,STATION,FILE_BHZ\r\n"
        "BHZ=7\r\nFILE_BHZ=x.dat\r\n";
    dir.write("s.ini", "[SYSTEM]\r\nGROUPS=3\r\n" + group1 + group2 + group3);
    auto l = load(dir);
    ASSERT_TRUE(l->status.ok);
    ASSERT_EQ(l->record.groups.size(), 3u);
    EXPECT_EQ(l->record.groups.at(0).channels.size(), 102u);
    EXPECT_EQ(l->record.groups.at(1).channels.size(), 2u);
    EXPECT_EQ(l->record.groups.at(2).channels.size(), 1u);
    EXPECT_EQ(l->record.groups.at(2).channels.at(0), channel("BHZ", 7, "x.dat"));

    ASSERT_EQ(l->file.channelListNotes.size(), 2u);  // the blank code is skipped without a word
    EXPECT_EQ(l->file.channelListNotes[0].group, 1);
    EXPECT_EQ(l->file.channelListNotes[0].cutCodes.size(), 37u);
    EXPECT_EQ(l->file.channelListNotes[1].group, 3);
    EXPECT_EQ(l->file.channelListNotes[1].leftOut.size(), 2u);
    const std::string text = channelListNotesText(l->file.channelListNotes);
    EXPECT_NE(text.find("Группа 1: "), std::string::npos) << text;
    EXPECT_NE(text.find("C103, C104"), std::string::npos) << text;
    EXPECT_NE(text.find("(всего 37)"), std::string::npos) << text;
    EXPECT_NE(text.find("Группа 3: Код канала «STATION»"), std::string::npos) << text;
    EXPECT_NE(text.find("«FILE_BHZ»"), std::string::npos) << text;
    EXPECT_EQ(channelListNotesText({}), "");

    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    const std::string saved = dir.read("s.ini");
    EXPECT_EQ(saved.find("\r\nC="), std::string::npos);
    EXPECT_EQ(saved.find("FILE_C="), std::string::npos);
    EXPECT_EQ(saved.find("\r\n="), std::string::npos);
    EXPECT_EQ(saved.find("FILE_="), std::string::npos);
    EXPECT_NE(saved.find("C103=5\r\nFILE_C103=C103.DAT\r\n"), std::string::npos);
    EXPECT_NE(saved.find("CHAN=" + list.substr(0, 509) + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("CHAN=BHZ,BHN\r\n"), std::string::npos);
    // The group's own keys keep their values.
    EXPECT_NE(saved.find("[GROUP3]\r\nSTATION=GHI\r\nSIZEMB=100\r\nSPS=20\r\nCHAN=BHZ\r\n"
                         "BHZ=7\r\nFILE_BHZ=x.dat\r\n"),
              std::string::npos)
        << saved;
}

// The README's sample settings file reads as its comments say: a comment after a value would be
// part of the value.
TEST(SettingsLoad, TheReadmeSampleReadsAsItsCommentsSay) {
    std::ifstream readme(VORDA_SOURCE_DIR "/README.md", std::ios::binary);
    ASSERT_TRUE(readme) << "README.md not found";
    std::stringstream text;
    text << readme.rdbuf();
    const std::string all = text.str();
    const std::size_t start = all.find("```ini\n");
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = all.find("```", start + 7);
    ASSERT_NE(end, std::string::npos);
    TempDir dir;
    dir.write("s.ini", all.substr(start + 7, end - start - 7));
    auto l = load(dir);
    ASSERT_TRUE(l->status.ok);
    EXPECT_EQ(l->record.server, "proc-server");
    EXPECT_EQ(l->record.detailMode, 1);
    EXPECT_EQ(l->record.showScreen, 0);
    EXPECT_EQ(l->record.sizeMb, 100);
    EXPECT_EQ(l->record.groupCount, 1);
    ASSERT_EQ(l->record.groups.size(), 1u);
    const GroupRecord group = l->record.groups.at(0);
    EXPECT_EQ(group.station, "NRD");
    EXPECT_EQ(group.sps, 40);
    ASSERT_EQ(group.channels.size(), 1u);
    EXPECT_EQ(group.channels.at(0), channel("BHZ", 1160000000, "NRD_BHZ.DAT"));
    EXPECT_TRUE(l->file.channelListNotes.empty());
}

TEST(SettingsSave, NewFileHasEveryKeyInWriteOrder) {
    TempDir dir;
    auto l = load(dir);
    SettingsRecord& r = l->record;
    GroupRecord g;
    g.station = "ABC";
    g.sizeMb = 100;
    g.sps = 20;
    g.channels.append(channel("BHZ", 1160000000, "ABC_BHZ.DAT"));
    g.channels.append(channel("BHN", -5, "ABC_BHN.DAT"));
    r.groups.append(g);
    GroupRecord empty;
    empty.station = "\xCA\xCB\xCC";  // cp1251 text goes through as bytes
    empty.sizeMb = 5;
    empty.sps = 1;
    r.groups.append(empty);
    r.groupCount = 2;
    r.server = "srv";
    r.detailMode = 1;
    ConnectionValues values{"SEIS (System DSN)", "op", "pw", "/data"};
    ASSERT_TRUE(saveSettings(r, l->file, values).ok);
    EXPECT_EQ(dir.read("s.ini"),
              "[DATABASE]\r\nODBC=SEIS\r\nUSER=op\r\nPASSWORD=pw\r\n"
              "[DATA]\r\nDIR=/data\r\n"
              "[LOG]\r\nDIR=d:\\log\r\n"
              "[SYSTEM]\r\nSERVER=srv\r\nMODE=detail\r\nSCREEN=hide\r\nSIZEMB=100\r\nGROUPS=2\r\n"
              "[GROUP1]\r\nSTATION=ABC\r\nSIZEMB=100\r\nSPS=20\r\nBHZ=1160000000\r\n"
              "FILE_BHZ=ABC_BHZ.DAT\r\nBHN=-5\r\nFILE_BHN=ABC_BHN.DAT\r\nCHAN=BHZ,BHN\r\n"
              "[GROUP2]\r\nSTATION=\xCA\xCB\xCC\r\nSIZEMB=5\r\nSPS=1\r\nCHAN=\r\n");
    EXPECT_EQ(r.dataSource, "SEIS (System DSN)");  // the record takes over the values
    EXPECT_EQ(r.user, "op");
}

TEST(SettingsSave, KeepsForeignContentAndExistingKeyPlaces) {
    TempDir dir;
    const std::string original =
        "; head comment\r\n"
        "[OTHER]\nx = 1\n"
        "[SYSTEM]\r\nSERVER = old\r\n; keep me\r\nEXTRA=yes\r\n\r\n"
        "[GROUP1]\nSTATION=A\nCHAN=BHZ\nBHZ=5\nFILE_BHZ=f\nOLD=stay\n";
    dir.write("s.ini", original);
    auto l = load(dir);
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    const std::string after = dir.read("s.ini");
    EXPECT_EQ(
        after.rfind("; head comment\r\n[OTHER]\nx = 1\n[SYSTEM]\r\nSERVER=old\r\n; keep me\r\n"
                    "EXTRA=yes\r\nMODE=silent\r\nSCREEN=hide\r\nSIZEMB=100\r\nGROUPS=0\r\n"
                    "\r\n[GROUP1]\nSTATION=A\nCHAN=BHZ\nBHZ=5\nFILE_BHZ=f\nOLD=stay\n"
                    "SIZEMB=100\r\nSPS=20\r\n",
                    0),
        0u)
        << after;
    // Loading again gives the same record; saving again changes nothing.
    auto again = load(dir);
    EXPECT_EQ(again->record.groups.items(), l->record.groups.items());
    ASSERT_TRUE(saveSettings(again->record, again->file, valuesOf(again->record)).ok);
    EXPECT_EQ(dir.read("s.ini"), after);
}

TEST(SettingsSave, RemovesStaleGroupsUpToTheFirstGap) {
    TempDir dir;
    std::string text = "[SYSTEM]\nGROUPS=5\n";
    for (int n : {1, 2, 3, 4, 5, 7}) {
        text += "[GROUP" + std::to_string(n) + "]\nSTATION=S" + std::to_string(n) + "\n";
    }
    dir.write("s.ini", text);
    auto l = load(dir);
    ASSERT_EQ(l->record.groups.size(), 5u);
    l->record.groups.removeAt(0);
    l->record.groups.removeAt(0);
    l->record.groupCount = 2;
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    const std::string after = dir.read("s.ini");
    EXPECT_NE(after.find("[GROUP3]"), std::string::npos);
    EXPECT_EQ(after.find("[GROUP4]"), std::string::npos);
    EXPECT_EQ(after.find("[GROUP5]"), std::string::npos);
    EXPECT_NE(after.find("[GROUP7]\nSTATION=S7\n"), std::string::npos);
    auto again = load(dir);
    ASSERT_EQ(again->record.groups.size(), 3u);
    EXPECT_EQ(again->record.groups.at(0).station, "S3");  // renumbered to [GROUP1]
    EXPECT_EQ(again->record.groupCount, 2);
}

TEST(SettingsSave, DuplicateCodesShareKeysAndLaterValuesWin) {
    TempDir dir;
    auto l = load(dir);
    GroupRecord g;
    g.channels.append(channel("BHZ", 1, "first"));
    g.channels.append(channel("bhz", 2, "second"));
    l->record.groups.append(g);
    l->record.groupCount = 1;
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    auto again = load(dir);
    const auto& chans = again->record.groups.at(0).channels;
    ASSERT_EQ(chans.size(), 2u);
    EXPECT_EQ(chans.at(0), channel("BHZ", 2, "second"));
    EXPECT_EQ(chans.at(1), channel("bhz", 2, "second"));
}

// Channel codes share their keys without regard to the case of Cyrillic letters too, as the
// profile-string services match names: БЗ in CHAN reads the key бз and writes it in place.
TEST(SettingsSave, ChannelKeysMatchCyrillicCodesInAnyLetterCase) {
    TempDir dir;
    dir.write("s.ini",
              "[SYSTEM]\r\nGROUPS=1\r\n[GROUP1]\r\nSTATION=A\r\nCHAN=\xC1\xC7,\xA8\r\n"
              "\xE1\xE7=1160000000\r\nfile_\xE1\xE7=a.dat\r\n\xB8=5\r\n");
    auto l = load(dir);
    const auto& chans = l->record.groups.at(0).channels;
    ASSERT_EQ(chans.size(), 2u);
    EXPECT_EQ(chans.at(0), channel("\xC1\xC7", 1160000000, "a.dat"));
    EXPECT_EQ(chans.at(1), channel("\xA8", 5, ""));
    l->record.groups.at(0).channels.at(0).lastTime = 1160000001;
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    const std::string after = dir.read("s.ini");
    EXPECT_NE(after.find("\r\n\xE1\xE7=1160000001\r\nfile_\xE1\xE7=a.dat\r\n\xB8=5\r\n"),
              std::string::npos)
        << after;
    EXPECT_EQ(after.find("\n\xC1\xC7="), std::string::npos) << after;  // no second key
    EXPECT_EQ(after.find("\n\xA8="), std::string::npos) << after;
    auto again = load(dir);
    EXPECT_EQ(again->record.groups.items(), l->record.groups.items());
}

// A save keeps what another program wrote since the load or since our last save: the document
// kept from then is used only while the file holds exactly its bytes.
TEST(SettingsSave, WritesOverTheFileAsItIsOnDiskAtEverySave) {
    TempDir dir;
    dir.write("s.ini", "[SYSTEM]\r\nSERVER=a\r\n");
    auto l = load(dir);
    dir.write("s.ini", "[SYSTEM]\r\nSERVER=b\r\n[OTHER]\r\nX=1\r\n");
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    std::string after = dir.read("s.ini");
    // The operator left the server name as loaded: the name the file has now stands.
    EXPECT_EQ(after.rfind("[SYSTEM]\r\nSERVER=b\r\n", 0), 0u) << after;
    EXPECT_NE(after.find("[OTHER]\r\nX=1\r\n"), std::string::npos) << after;

    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);  // unchanged
    EXPECT_EQ(dir.read("s.ini"), after);
    dir.write("s.ini", after + "[MORE]\r\nY=2\r\n");
    l->record.server = "c";
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    after = dir.read("s.ini");
    EXPECT_EQ(after.rfind("[SYSTEM]\r\nSERVER=c\r\n", 0), 0u) << after;
    EXPECT_NE(after.find("[OTHER]\r\nX=1\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("[MORE]\r\nY=2\r\n"), std::string::npos) << after;
}

TEST(SettingsSave, AtMost256GroupsAreWritten) {
    TempDir dir;
    auto l = load(dir);
    for (int i = 0; i < 260; ++i) {
        GroupRecord g;
        g.station = "S" + std::to_string(i);
        l->record.groups.append(g);
    }
    l->record.groupCount = 260;
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    auto again = load(dir);
    EXPECT_EQ(again->record.groups.size(), 256u);
    EXPECT_EQ(dir.read("s.ini").find("[GROUP257]"), std::string::npos);
}

TEST(SettingsSave, DataSourceNamesKeepTheirBlanks) {
    EXPECT_EQ(plainDataSourceName("My Seis DB (User DSN)"), "My Seis DB");
    EXPECT_EQ(plainDataSourceName("SEIS (System DSN)"), "SEIS");
    EXPECT_EQ(plainDataSourceName("A B"), "A B");
    EXPECT_EQ(plainDataSourceName(""), "");
    EXPECT_EQ(plainDataSourceName("X (User DSN) (System DSN)"), "X (User DSN)");
    TempDir dir;
    auto l = load(dir);
    ASSERT_TRUE(saveSettings(l->record, l->file, {"Seis Archive", "u", "p", "d"}).ok);
    auto again = load(dir);
    EXPECT_EQ(again->record.dataSource, "Seis Archive");
}

TEST(SettingsSave, ConnectionValuesAreCutToTheirWidths) {
    TempDir dir;
    auto l = load(dir);
    ConnectionValues v{std::string(600, 'd'), std::string(200, 'u'), std::string(200, 'p'),
                       std::string(3000, 'x')};
    ASSERT_TRUE(saveSettings(l->record, l->file, v).ok);
    EXPECT_EQ(l->record.dataSource.size(), 511u);
    EXPECT_EQ(l->record.user.size(), 127u);
    EXPECT_EQ(l->record.password.size(), 127u);
    EXPECT_EQ(l->record.dataDir.size(), 2047u);
}

TEST(SettingsSave, ValuesThatWouldCorruptTheFileAreRefusedAndNothingIsWritten) {
    TempDir dir;
    const std::string original = "[SYSTEM]\r\nSERVER=a\r\n";
    dir.write("s.ini", original);
    auto l = load(dir);
    l->record.logDir = "bad\r\n[GROUP9]";
    Status st = saveSettings(l->record, l->file, valuesOf(l->record));
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("LOG"), std::string::npos) << st.error;
    EXPECT_EQ(dir.read("s.ini"), original);

    l->record.logDir = "ok";
    GroupRecord g;
    g.channels.append(channel("A=B", 1, ""));
    l->record.groups.append(g);
    st = saveSettings(l->record, l->file, valuesOf(l->record));
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("GROUP1"), std::string::npos) << st.error;
    EXPECT_EQ(dir.read("s.ini"), original);
}

TEST(SettingsSave, FailedWriteIsReported) {
    TempDir dir;
    SettingsRecord record;
    SettingsFile file;
    ASSERT_TRUE(loadSettings(record, file, envWith(dir, {dir.file("missing-dir/s.ini")})).ok);
    const Status st = saveSettings(record, file, valuesOf(record));
    EXPECT_FALSE(st.ok);
    EXPECT_FALSE(st.error.empty());
}

TEST(SettingsSave, UnreadableFileIsNeverReplacedByDefaults) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("s.ini").c_str(), 0755), 0);  // exists, cannot be read as a file
    auto l = load(dir);
    EXPECT_FALSE(l->status.ok);
    EXPECT_FALSE(l->file.unreadableReason.empty());
    EXPECT_EQ(l->record.dataSource, "zel");  // the record still has its defaults
    const Status st = saveSettings(l->record, l->file, valuesOf(l->record));
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("s.ini"), std::string::npos) << st.error;
    struct stat sb {};
    ASSERT_EQ(::stat(dir.file("s.ini").c_str(), &sb), 0);
    EXPECT_TRUE(S_ISDIR(sb.st_mode));
}

TEST(SettingsSave, NoticesChangesByAnotherProgram) {
    TempDir dir;
    dir.write("s.ini", "[SYSTEM]\nSERVER=a\n");
    auto l = load(dir);
    EXPECT_FALSE(changedOnDisk(l->file));
    dir.write("s.ini", "[SYSTEM]\nSERVER=a\n[GROUP1]\nBHZ=7\n");
    EXPECT_TRUE(changedOnDisk(l->file));
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    EXPECT_FALSE(changedOnDisk(l->file));
    std::remove(dir.file("s.ini").c_str());
    EXPECT_TRUE(changedOnDisk(l->file));

    TempDir other;
    auto fresh = load(other);
    EXPECT_FALSE(changedOnDisk(fresh->file));
    other.write("s.ini", "[SYSTEM]\n");
    EXPECT_TRUE(changedOnDisk(fresh->file));
}

TEST(SettingsLoad, RelativeNamesAreTakenFromTheEnvironmentsDirectory) {
    TempDir dir;
    dir.write("ZEL_VurEV.ini", "[SYSTEM]\nSERVER=default-file\n");
    dir.write("mine.ini", "[SYSTEM]\nSERVER=named-file\n");
    SettingsRecord record;
    SettingsFile file;
    ASSERT_TRUE(loadSettings(record, file, envWith(dir, {})).ok);
    EXPECT_EQ(file.settingsPath, "./ZEL_VurEV.ini");
    EXPECT_EQ(record.server, "default-file");

    SettingsRecord named;
    SettingsFile namedFile;
    ASSERT_TRUE(loadSettings(named, namedFile, envWith(dir, {"mine.ini"})).ok);
    EXPECT_EQ(namedFile.settingsPath, "./mine.ini");
    EXPECT_EQ(named.server, "named-file");
    named.server = "saved";
    ASSERT_TRUE(saveSettings(named, namedFile, valuesOf(named)).ok);
    EXPECT_NE(dir.read("mine.ini").find("SERVER=saved\n"), std::string::npos);
}

TEST(SettingsSave, AChannelListTheFileCannotHoldIsRefused) {
    TempDir dir;
    dir.write("s.ini", "[SYSTEM]\r\nSERVER=a\r\n");
    auto l = load(dir);
    GroupRecord g;
    for (int i = 0; i < 65; ++i) {
        g.channels.append(channel("CH" + std::to_string(1000 + i) + "X", 0, ""));  // 7 characters
    }
    ASSERT_EQ(channelListLength(g), 65u * 8 - 1);
    l->record.groups.append(g);
    const Status st = saveSettings(l->record, l->file, valuesOf(l->record));
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find("GROUP1"), std::string::npos) << st.error;
    EXPECT_EQ(dir.read("s.ini"), "[SYSTEM]\r\nSERVER=a\r\n");

    l->record.groups.at(0).channels.removeAt(64);  // 64 * 8 - 1 = 511 characters just fit
    EXPECT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    auto again = load(dir);
    EXPECT_EQ(again->record.groups.at(0).channels.size(), 64u);
}

namespace {

// A file with every key a save writes, as the service keeps it.
constexpr char kServiceFile[] =
    "[DATABASE]\r\nODBC=zel\r\nUSER=zel\r\nPASSWORD=qmx\r\n[DATA]\r\nDIR=d:\\data\r\n"
    "[LOG]\r\nDIR=d:\\log\r\n[SYSTEM]\r\nSERVER=a\r\nMODE=silent\r\nSCREEN=hide\r\n"
    "SIZEMB=100\r\nGROUPS=1\r\n[GROUP1]\r\nSTATION=ABC\r\nSIZEMB=100\r\nSPS=20\r\n"
    "BHZ=100\r\nFILE_BHZ=\r\nBHN=100\r\nFILE_BHN=\r\nCHAN=BHZ,BHN\r\n";

// The service file with the channels' times set as another program would.
std::string withTimes(int bhz, int bhn, const std::string& more = {}) {
    std::string text = kServiceFile;
    text.replace(text.find("BHZ=100"), 7, "BHZ=" + std::to_string(bhz));
    text.replace(text.find("BHN=100"), 7, "BHN=" + std::to_string(bhn));
    return text + more;
}

std::int32_t timeOf(const SettingsRecord& r, std::size_t channel) {
    return r.groups.at(0).channels.at(channel).lastTime;
}

}  // namespace

TEST(SettingsSave, MergesWhatAnotherProgramWroteMeanwhile) {
    TempDir dir;
    dir.write("s.ini", kServiceFile);
    auto l = load(dir);
    l->record.server = "mine";
    // The service advances a time; another program adds a key and a section of its own.
    dir.write("s.ini", withTimes(200, 100, "UNKNOWN=1\r\n[EXTRA]\r\nK=v\r\n"));

    const SaveResult saved = saveSettings(l->record, l->file, valuesOf(l->record));
    ASSERT_TRUE(saved.ok) << saved.error;
    EXPECT_TRUE(saved.saved);
    EXPECT_TRUE(saved.conflicts.empty());
    EXPECT_EQ(saved.takenFromFile, 1);
    EXPECT_EQ(saved.writes, 1);
    const std::string after = dir.read("s.ini");
    EXPECT_NE(after.find("SERVER=mine\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("BHZ=200\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("CHAN=BHZ,BHN\r\nUNKNOWN=1\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("[EXTRA]\r\nK=v\r\n"), std::string::npos) << after;
    // The record holds what was written, so the next save does not take the time back.
    EXPECT_EQ(timeOf(l->record, 0), 200);
    dir.write("s.ini", after + "[MORE]\r\n");
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    EXPECT_EQ(dir.read("s.ini"), after + "[MORE]\r\n");

    // A file removed meanwhile is written anew with the operator's settings.
    std::remove(dir.file("s.ini").c_str());
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    EXPECT_NE(dir.read("s.ini").find("BHZ=200\r\n"), std::string::npos);
}

TEST(SettingsSave, AValueChangedOnBothSidesWaitsForTheOperatorsChoice) {
    TempDir dir;
    dir.write("s.ini", kServiceFile);
    auto l = load(dir);
    l->record.groups.at(0).channels.at(0).lastTime = 50;  // read again from an earlier time
    dir.write("s.ini", withTimes(200, 300));

    SaveResult saved = saveSettings(l->record, l->file, valuesOf(l->record));
    EXPECT_FALSE(saved.ok);
    EXPECT_FALSE(saved.saved);
    EXPECT_TRUE(saved.needsChoice());
    EXPECT_NE(saved.error.find("[GROUP1] BHZ"), std::string::npos) << saved.error;
    EXPECT_EQ(dir.read("s.ini"), withTimes(200, 300));  // nothing written
    ASSERT_EQ(saved.conflicts.size(), 1u);
    const MergeConflict conflict = saved.conflicts[0];
    EXPECT_EQ(conflict.fileValue, "200");
    EXPECT_EQ(conflict.ourValue, "50");
    EXPECT_EQ(timeOf(l->record, 0), 50);

    saved = saveSettings(l->record, l->file, valuesOf(l->record),
                         {{conflict.value, ConflictChoice::KeepMine}});
    ASSERT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(dir.read("s.ini"), withTimes(50, 300));
    EXPECT_EQ(timeOf(l->record, 1), 300);

    // Again, and this time the file's value is taken.
    l->record.groups.at(0).channels.at(0).lastTime = 60;
    dir.write("s.ini", withTimes(400, 300));
    saved = saveSettings(l->record, l->file, valuesOf(l->record),
                         {{conflict.value, ConflictChoice::TakeFile}});
    ASSERT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(dir.read("s.ini"), withTimes(400, 300));
    EXPECT_EQ(timeOf(l->record, 0), 400);
}

TEST(SettingsSave, RefreshTakesTheFilesChangesWhereTheOperatorChangedNothing) {
    TempDir dir;
    dir.write("s.ini", kServiceFile);
    auto l = load(dir);
    l->record.groups.at(0).channels.at(1).lastTime = 5;
    l->record.logDir = "/mine";
    RefreshResult refreshed = refreshFromFile(l->record, l->file, valuesOf(l->record));
    EXPECT_FALSE(refreshed.changed);

    std::string file = withTimes(200, 300);
    file.replace(file.find("SERVER=a"), 8, "SERVER=x");
    dir.write("s.ini", file);
    refreshed = refreshFromFile(l->record, l->file, valuesOf(l->record));
    EXPECT_TRUE(refreshed.changed);
    EXPECT_EQ(refreshed.takenFromFile, 2);
    EXPECT_EQ(refreshed.conflicts, 1);
    EXPECT_EQ(timeOf(l->record, 0), 200);
    EXPECT_EQ(timeOf(l->record, 1), 5);  // the operator's
    EXPECT_EQ(l->record.server, "x");
    EXPECT_EQ(l->record.logDir, "/mine");
    EXPECT_FALSE(refreshFromFile(l->record, l->file, valuesOf(l->record)).changed);

    // The service goes on; the save asks about BHN alone, and writes the rest.
    dir.write("s.ini", withTimes(210, 310));
    SaveResult saved = saveSettings(l->record, l->file, valuesOf(l->record));
    ASSERT_EQ(saved.conflicts.size(), 1u);
    EXPECT_EQ(saved.conflicts[0].key, "BHN");
    EXPECT_EQ(saved.conflicts[0].fileValue, "310");
    saved = saveSettings(l->record, l->file, valuesOf(l->record),
                         {{saved.conflicts[0].value, ConflictChoice::KeepMine}});
    ASSERT_TRUE(saved.ok) << saved.error;
    auto again = load(dir);
    EXPECT_EQ(timeOf(again->record, 0), 210);
    EXPECT_EQ(timeOf(again->record, 1), 5);
    EXPECT_EQ(again->record.server, "a");  // the file's latest word
    EXPECT_EQ(again->record.logDir, "/mine");
}

// A writer that rewrites the file in place empties it for a moment: a file found empty is not
// taken as every group and value removed, neither by a look nor by a save.
TEST(SettingsSave, AFileFoundEmptyIsNotTakenAsEverythingRemoved) {
    TempDir dir;
    dir.write("s.ini", std::string(kServiceFile) + "[EXTRA]\r\nK=v\r\n");
    auto l = load(dir);
    l->record.server = "mine";
    dir.write("s.ini", "");
    const RefreshResult refreshed = refreshFromFile(l->record, l->file, valuesOf(l->record));
    EXPECT_EQ(refreshed.takenFromFile, 0);
    ASSERT_EQ(l->record.groups.size(), 1u);

    const SaveResult saved = saveSettings(l->record, l->file, valuesOf(l->record));
    ASSERT_TRUE(saved.ok) << saved.error;
    std::string expected = std::string(kServiceFile) + "[EXTRA]\r\nK=v\r\n";
    expected.replace(expected.find("SERVER=a"), 8, "SERVER=mine");
    EXPECT_EQ(dir.read("s.ini"), expected);
}

TEST(SettingsSave, KeepsCopiesOfWhatItReplacesForTheOwnerOnly) {
    TempDir dir;
    dir.write("s.ini", kServiceFile);
    Environment env = envWith(dir, {dir.file("s.ini")});
    env.cacheDir = dir.file("cache");
    auto tick = std::make_shared<int>(0);
    env.now = [tick] {
        return std::chrono::system_clock::time_point(std::chrono::seconds(1700000000 + ++*tick));
    };
    SettingsRecord record;
    SettingsFile file;
    ASSERT_TRUE(loadSettings(record, file, env).ok);
    std::string replaced;
    for (int i = 0; i < 22; ++i) {
        replaced = dir.read("s.ini");
        record.server = "s" + std::to_string(i);
        const SaveResult saved = saveSettings(record, file, valuesOf(record));
        ASSERT_TRUE(saved.ok) << saved.error;
        EXPECT_TRUE(saved.warnings.empty());
    }
    const std::string folder = dir.file("cache/vorda-settings/backups");
    const std::vector<std::string> kept = backupsOf(folder, dir.file("s.ini"));
    ASSERT_EQ(kept.size(), kBackupsKept);
    EXPECT_EQ(test::readFile(kept.back()), replaced);
    EXPECT_NE(kept.back().find("/s.ini."), std::string::npos) << kept.back();
    EXPECT_NE(kept.back().find(".20231114T221342.000Z"), std::string::npos) << kept.back();
    struct stat st {};
    ASSERT_EQ(::stat(kept.back().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Saving without a change replaces nothing and keeps no copy.
    ASSERT_TRUE(saveSettings(record, file, valuesOf(record)).ok);
    EXPECT_EQ(backupsOf(folder, dir.file("s.ini")), kept);

    // A copy that cannot be kept does not stop the save.
    file.backupDir = dir.file("s.ini/backups");
    record.server = "last";
    SaveResult saved = saveSettings(record, file, valuesOf(record));
    ASSERT_TRUE(saved.ok) << saved.error;
    ASSERT_EQ(saved.warnings.size(), 1u);
    EXPECT_NE(dir.read("s.ini").find("SERVER=last"), std::string::npos);

    // Nor does the want of a cache folder (neither XDG_CACHE_HOME nor HOME), but it is said.
    env.cacheDir.clear();
    ASSERT_TRUE(loadSettings(record, file, env).ok);
    record.server = "without a cache";
    saved = saveSettings(record, file, valuesOf(record));
    ASSERT_TRUE(saved.ok) << saved.error;
    ASSERT_EQ(saved.warnings.size(), 1u);
    EXPECT_NE(saved.warnings[0].find("ни XDG_CACHE_HOME, ни HOME"), std::string::npos)
        << saved.warnings[0];
    EXPECT_NE(dir.read("s.ini").find("SERVER=without a cache"), std::string::npos);
}

// The service writes the file after the save's look and before its replacement (here at the
// moment the backup is named, right before the file is replaced): its write is taken in and the
// merge written again, or, where it changed a value the operator changed too, nothing is written
// and the operator is asked.
TEST(SettingsSave, AWriteBetweenTheLookAndTheReplacementIsTakenIn) {
    struct Case {
        const char* what;
        std::int32_t ourBhz;  // 0: the operator leaves BHZ alone
        bool saved;
        std::string fileAfter;
    };
    std::string mine = withTimes(300, 100);
    mine.replace(mine.find("SERVER=a"), 8, "SERVER=mine");
    const Case cases[] = {
        {"the service's change is merged", 0, true, mine},
        {"a value both changed stops the save", 50, false, withTimes(300, 100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("s.ini", kServiceFile);
        auto l = load(dir);
        l->record.server = "mine";
        if (c.ourBhz != 0) {
            l->record.groups.at(0).channels.at(0).lastTime = c.ourBhz;
        }
        l->file.backupDir = dir.file("backups");
        int looks = 0;
        l->file.clock = [&] {
            ++looks;
            dir.write("s.ini", withTimes(300, 100));
            return std::chrono::system_clock::time_point(std::chrono::seconds(1700000000));
        };

        const SaveResult saved = saveSettings(l->record, l->file, valuesOf(l->record));
        EXPECT_EQ(looks, 1);
        EXPECT_EQ(saved.ok, c.saved) << saved.error;
        EXPECT_EQ(saved.saved, c.saved);
        EXPECT_EQ(saved.writes, c.saved ? 1 : 0);
        EXPECT_EQ(saved.needsChoice(), !c.saved);
        EXPECT_EQ(dir.read("s.ini"), c.fileAfter);
        EXPECT_EQ(timeOf(l->record, 0), c.saved ? 300 : c.ourBhz);
        // The backup holds what the file held when the save looked.
        const auto kept = backupsOf(dir.file("backups"), dir.file("s.ini"));
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(test::readFile(kept[0]), kServiceFile);
    }
}

namespace {

constexpr char kTwoGroups[] =
    "[DATABASE]\r\nODBC=zel\r\nUSER=zel\r\nPASSWORD=qmx\r\n[DATA]\r\nDIR=d:\\data\r\n"
    "[LOG]\r\nDIR=d:\\log\r\n[SYSTEM]\r\nSERVER=a\r\nMODE=silent\r\nSCREEN=hide\r\n"
    "SIZEMB=100\r\nGROUPS=2\r\n"
    "[GROUP1]\r\nSTATION=ABC\r\nSIZEMB=100\r\nSPS=20\r\n"
    "BHZ=100\r\nFILE_BHZ=ABC_BHZ.DAT\r\nBHN=100\r\nFILE_BHN=ABC_BHN.DAT\r\nCHAN=BHZ,BHN\r\n"
    "[GROUP2]\r\nSTATION=KLM\r\nSIZEMB=100\r\nSPS=20\r\nSHZ=100\r\nFILE_SHZ=KLM_SHZ.DAT\r\n"
    "CHAN=SHZ\r\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

}  // namespace

// What the operator changed while the service changed the same thing otherwise is asked about,
// whether a look at the file saw the change first or only the save does; each choice then holds.
// A password is shown as stars, and only what is shown is hidden: the choice writes the one chosen.
TEST(SettingsSave, ChangesOnBothSidesAreAskedAndEachChoiceHolds) {
    struct Case {
        const char* name;
        std::function<void(SettingsRecord&)> ours;
        std::string theirs;
        MergeField field;
        std::vector<std::string> mine;     // in the file after keeping mine
        std::vector<std::string> files;    // in the file after taking the file's
        std::vector<std::string> notFile;  // not in the file after taking the file's
        std::string shown = {};            // the conflict as the operator reads it (empty: any)
    };
    const std::vector<Case> cases = {
        {"password",
         [](SettingsRecord& r) { r.password = "MyNewSecret"; },
         replaced(kTwoGroups, "PASSWORD=qmx", "PASSWORD=FileSecret"),
         MergeField::Password,
         {"PASSWORD=MyNewSecret\r\n"},
         {"PASSWORD=FileSecret\r\n"},
         {"MyNewSecret"},
         "[DATABASE] PASSWORD: в файле ***, здесь ***"},
        {"both added HHE",
         [](SettingsRecord& r) {
             r.groups.at(0).channels.append({"HHE", 5555, "ABC_HHE.DAT"});
         },
         replaced(kTwoGroups, "CHAN=BHZ,BHN\r\n",
                  "HHE=7777\r\nFILE_HHE=ABC_HHE.DAT\r\nCHAN=BHZ,BHN,HHE\r\n"),
         MergeField::ChannelTime,
         {"HHE=5555\r\n", "CHAN=BHZ,BHN,HHE\r\n"},
         {"HHE=7777\r\n", "CHAN=BHZ,BHN,HHE\r\n"},
         {"HHE=5555"}},
        {"group removed there, changed here",
         [](SettingsRecord& r) { r.groups.at(1).sps = 40; },
         replaced(replaced(kTwoGroups, "GROUPS=2", "GROUPS=1"),
                  "[GROUP2]\r\nSTATION=KLM\r\nSIZEMB=100\r\nSPS=20\r\nSHZ=100\r\n"
                  "FILE_SHZ=KLM_SHZ.DAT\r\nCHAN=SHZ\r\n",
                  ""),
         MergeField::GroupPresence,
         {"GROUPS=2\r\n", "[GROUP2]\r\nSTATION=KLM\r\nSIZEMB=100\r\nSPS=40\r\n"},
         {"GROUPS=1\r\n"},
         {"KLM"}},
        {"channel removed there, changed here",
         [](SettingsRecord& r) { r.groups.at(0).channels.at(1).lastTime = 5; },
         replaced(replaced(kTwoGroups, "BHN=100\r\nFILE_BHN=ABC_BHN.DAT\r\n", ""), "CHAN=BHZ,BHN",
                  "CHAN=BHZ"),
         MergeField::ChannelPresence,
         {"CHAN=BHZ,BHN\r\n", "BHN=5\r\n"},
         {"CHAN=BHZ\r\n"},
         {"BHN="}},
    };
    for (const Case& c : cases) {
        for (const bool lookFirst : {true, false}) {
            for (const ConflictChoice choice :
                 {ConflictChoice::KeepMine, ConflictChoice::TakeFile}) {
                SCOPED_TRACE(
                    std::string(c.name) + (lookFirst ? ", seen first" : ", at the save") +
                    (choice == ConflictChoice::KeepMine ? ", keep mine" : ", take file's"));
                TempDir dir;
                dir.write("s.ini", kTwoGroups);
                auto l = load(dir);
                c.ours(l->record);
                const SettingsValues mine = settingsValuesOf(l->record);
                dir.write("s.ini", c.theirs);
                if (lookFirst) {
                    const RefreshResult seen =
                        refreshFromFile(l->record, l->file, valuesOf(l->record));
                    EXPECT_EQ(seen.conflicts, 1);
                    EXPECT_TRUE(settingsValuesOf(l->record).groups == mine.groups);
                }
                SaveResult saved = saveSettings(l->record, l->file, valuesOf(l->record));
                ASSERT_TRUE(saved.needsChoice());
                EXPECT_EQ(dir.read("s.ini"), c.theirs);  // nothing written
                ASSERT_EQ(saved.conflicts.size(), 1u);
                EXPECT_EQ(saved.conflicts[0].value.field, c.field);
                const std::string shown = describeConflict(saved.conflicts[0]);
                EXPECT_EQ(shown, c.shown.empty() ? shown : c.shown);
                EXPECT_FALSE(shown.empty());
                EXPECT_NE(saved.error.find(shown), std::string::npos) << saved.error;
                for (const char* secret : {"ecret", "qmx"}) {
                    EXPECT_EQ(saved.error.find(secret), std::string::npos) << saved.error;
                }

                saved = saveSettings(l->record, l->file, valuesOf(l->record),
                                     {{saved.conflicts[0].value, choice}});
                ASSERT_TRUE(saved.ok) << saved.error;
                const std::string after = dir.read("s.ini");
                const bool keep = choice == ConflictChoice::KeepMine;
                for (const std::string& part : keep ? c.mine : c.files) {
                    EXPECT_NE(after.find(part), std::string::npos) << part << "\n" << after;
                }
                for (const std::string& part : keep ? std::vector<std::string>{} : c.notFile) {
                    EXPECT_EQ(after.find(part), std::string::npos) << part << "\n" << after;
                }
                // The record holds what the file holds, and the next save has nothing to ask.
                EXPECT_TRUE(settingsValuesOf(load(dir)->record).groups ==
                            settingsValuesOf(l->record).groups);
                saved = saveSettings(l->record, l->file, valuesOf(l->record));
                EXPECT_TRUE(saved.ok && saved.conflicts.empty()) << saved.error;
                EXPECT_EQ(dir.read("s.ini"), after);
            }
        }
    }
}

TEST(SettingsSave, KeysLeftBehindAreThoseOfChannelsThatLeftTheSection) {
    const auto groupOf = [](std::vector<std::string> codes) {
        GroupRecord g;
        for (auto& code : codes) {
            g.channels.append({std::move(code), 0, ""});
        }
        return g;
    };
    const struct {
        std::vector<std::string> listed;
        std::vector<std::string> now;
        std::vector<std::string> left;
    } cases[] = {
        {{"BHZ", "BHN"}, {"BHZ", "BHN"}, {}},
        {{"BHZ", "BHN"}, {"BHZ"}, {"BHN", "FILE_BHN"}},
        {{"BHZ", "BHN"}, {"SHZ"}, {"BHZ", "FILE_BHZ", "BHN", "FILE_BHN"}},
        {{"bhz"}, {"BHZ"}, {}},                     // the same channel in another case
        {{"BHZ", "bhz"}, {}, {"BHZ", "FILE_BHZ"}},  // one pair of keys for both
        {{"\xC6"}, {"\xE6"}, {}},                   // Ж and ж: one key to the file
        {{"SPS", "Chan"}, {}, {}},                  // the group's own keys stay
        {{"FILE_X"}, {"X"}, {}},                    // the key a channel of the group writes
        {{}, {"BHZ"}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(channelKeysLeftBehind(c.listed, groupOf(c.now)), c.left)
            << (c.listed.empty() ? "" : c.listed[0]);
    }
}

namespace {

// A file of `groups` groups of their own stations, each with channels of its own codes (the
// stations in descending order), with a key of another program's in each section.
std::string ownCodesFile(int groups, int channels) {
    std::string text = "[SYSTEM]\r\nSERVER=srv\r\nGROUPS=" + std::to_string(groups) + "\r\n";
    for (int g = 1; g <= groups; ++g) {
        const std::string station = "S" + std::to_string(1000 - g);
        text += "[GROUP" + std::to_string(g) + "]\r\nSTATION=" + station +
                "\r\nSIZEMB=100\r\nSPS=40\r\nNOTE" + std::to_string(g) + "=kept\r\n";
        std::string chan;
        for (int c = 0; c < channels; ++c) {
            const std::string code = "G" + std::to_string(g) + "C" + std::to_string(c);
            text += code + "=1160000000\r\nFILE_" + code + "=" + station + "_" + code + ".DAT\r\n";
            chan += (c != 0 ? "," : "") + code;
        }
        text += "CHAN=" + chan + "\r\n";
    }
    return text;
}

}  // namespace

TEST(SettingsSave, SortingGroupsLeavesNoKeysOfChannelsBehind) {
    TempDir dir;
    dir.write("s.ini", ownCodesFile(64, 8));
    auto l = load(dir);
    // The first save adds the keys of the service's own sections that the file lacks.
    ASSERT_TRUE(saveSettings(l->record, l->file, valuesOf(l->record)).ok);
    const std::size_t before = dir.read("s.ini").size();
    for (const bool ascending : {true, false, true}) {
        sortGroupsByStation(l->record, ascending);
        const SaveResult saved = saveSettings(l->record, l->file, valuesOf(l->record));
        ASSERT_TRUE(saved.ok) << saved.error;
        const std::string after = dir.read("s.ini");
        EXPECT_LE(after.size(), before);
        auto again = load(dir);
        ASSERT_EQ(again->record.groups.size(), 64u);
        EXPECT_TRUE(again->record.groups == l->record.groups);
        // Each section holds the keys of its own channels and the other program's key.
        const ProfileDocument doc = ProfileDocument::fromBytes(after);
        for (int g = 1; g <= 64; ++g) {
            const std::string section = "GROUP" + std::to_string(g);
            const std::string mine =
                "G" +
                std::to_string(1000 - std::stoi(doc.getString(section, "STATION", "S0").substr(1)));
            for (int other = 1; other <= 64; ++other) {
                const std::string code = "G" + std::to_string(other) + "C0";
                EXPECT_EQ(doc.getString(section, "FILE_" + code, "-") != "-",
                          "G" + std::to_string(other) == mine)
                    << section << " " << code;
            }
        }
    }
    // The other program's keys stay where they were (one per section, whatever group is there).
    const std::string last = dir.read("s.ini");
    for (int g = 1; g <= 64; ++g) {
        EXPECT_NE(last.find("NOTE" + std::to_string(g) + "=kept\r\n"), std::string::npos) << g;
    }
}

TEST(SettingsSave, TheNoticeOfTheFilesChangesCountsEachKind) {
    const struct {
        TakenFromFile taken;
        int conflicts;
        const char* notice;  // after "Файл изменён другой программой: "
    } cases[] = {
        {{3, 0, 0}, 0, "обновлено 3 значения"},
        {{0, 0, 1}, 0, "обновлено 1 группа"},
        {{1, 2, 5}, 0, "обновлено 1 значение, 2 канала, 5 групп"},
        {{0, 0, 0}, 2, "изменено и здесь, и в файле: 2 (при сохранении будет задан вопрос)"},
        {{0, 1, 0},
         1,
         "обновлено 1 канал; изменено и здесь, и в файле: 1 (при сохранении будет задан вопрос)"},
    };
    EXPECT_EQ(fileChangesNotice({0, 0, 0}, 0), "");
    for (const auto& c : cases) {
        EXPECT_EQ(fileChangesNotice(c.taken, c.conflicts),
                  std::string("Файл изменён другой программой: ") + c.notice);
    }
}

// A service that empties its file and writes it again, many times a second: loads, saves made
// without any edit and refreshes never take the emptied file, so the groups stay in the file and
// in the record; the service's own updates are kept, and the saves go through.
namespace {
volatile sig_atomic_t serviceStops = 0;
}  // namespace

TEST(SettingsSave, AServiceRewritingItsFileInPlaceNeverLeavesItWithoutGroups) {
    TempDir dir;
    std::string bytes = "[SYSTEM]\r\nGROUPS=2\r\n";
    for (int g = 1; g <= 2; ++g) {
        bytes += "[GROUP" + std::to_string(g) + "]\r\nSTATION=S" + std::to_string(g) +
                 "\r\nCHAN=BHZ\r\nBHZ=100\r\n";
    }
    dir.write("s.ini", bytes);
    const std::string path = dir.file("s.ini");
    const pid_t service = ::fork();
    ASSERT_GE(service, 0);
    if (service == 0) {
        // Stopped between two writes: killed in the middle, it would leave its own empty file.
        ::signal(SIGTERM, [](int) { serviceStops = 1; });
        for (int i = 0; serviceStops == 0; ++i) {  // emptied, then written again, every 2 ms
            const int fd = ::open(path.c_str(), O_RDWR);
            std::string now(1 << 16, '\0');
            now.resize(static_cast<std::size_t>(
                std::max<ssize_t>(::pread(fd, now.data(), now.size(), 0), 0)));
            if (now.empty() || now.back() != '\n') {
                now = bytes;
            }
            const std::string key = "\r\nBHZ=";
            const auto at = now.rfind(key);
            now = now.substr(0, at + key.size()) + std::to_string(1000 + i) + "\r\n";
            static_cast<void>(::ftruncate(fd, 0));
            static_cast<void>(::pwrite(fd, now.data(), now.size(), 0));
            ::close(fd);
            ::usleep(2000);
        }
        ::_exit(0);
    }
    // The service's first write is in before the saves begin (a loaded machine may start it late).
    const auto written = [&] {
        const std::string now = dir.read("s.ini");
        return now.find("BHZ=1") != std::string::npos && now.find("BHZ=100\r") == std::string::npos;
    };
    for (int waited = 0; waited < 5000 && !written(); ++waited) {
        ::usleep(1000);
    }
    auto l = load(dir);
    int withoutGroups = l->record.groups.size() == 2 ? 0 : 1;
    int failed = 0;
    for (int i = 0; i < 5; ++i) {
        const SaveResult saved = saveSettings(l->record, l->file, valuesOf(l->record));
        failed += saved.ok ? 0 : 1;
        const RefreshResult refreshed = refreshFromFile(l->record, l->file, valuesOf(l->record));
        failed += refreshed.status.ok ? 0 : 1;
        withoutGroups += l->record.groups.size() == 2 ? 0 : 1;
        auto again = load(dir);
        withoutGroups += again->record.groups.size() == 2 ? 0 : 1;
    }
    ::kill(service, SIGTERM);
    ::waitpid(service, nullptr, 0);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(withoutGroups, 0);
    auto last = load(dir);
    ASSERT_EQ(last->record.groups.size(), 2u);
    // The service kept writing its times, and the file holds its last one.
    EXPECT_GT(last->record.groups.at(1).channels.at(0).lastTime, 1000);
}
