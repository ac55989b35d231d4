// The command-line modes, run as the program's main runs them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/cli.h"
#include "platform/atomic_file.h"
#include "settings/settings_file.h"
#include "support/odbc_sandbox.h"
#include "support/temp_dir.h"

using namespace vorda;
using vorda::test::TempDir;

namespace {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

CliRun run(const TempDir& dir, std::vector<std::string> args) {
    Environment env;
    env.args = {"vorda-settings"};
    for (auto& a : args)
        env.args.push_back(std::move(a));
    env.currentDir = dir.path();
    env.systemDir = dir.file("etc");  // no ZEL.ini there
    std::ostringstream out;
    std::ostringstream err;
    CliRun r;
    r.code = runCommandLineMode(parseCommandLineOptions(env), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// Runs the program itself in dir; gives its exit status.
int runProgram(const TempDir& dir, const std::string& args) {
    const std::string command =
        "cd '" + dir.path() + "' && '" VORDA_BINARY "' " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool holdsSecret(const CliRun& r) {
    for (const std::string* text : {&r.out, &r.err}) {
        if (text->find("ecret") != std::string::npos || text->find("ECRET") != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(CommandLine, OptionsComeOutWhereverTheyStand) {
    Environment env;
    env.args = {"prog", "a.ini", "--dump", "ODBC=X"};
    auto o = parseCommandLineOptions(env);
    EXPECT_TRUE(o.dump);
    EXPECT_FALSE(o.rewrite);
    EXPECT_EQ(o.rest.args, (std::vector<std::string>{"prog", "a.ini", "ODBC=X"}));
    env.args = {"prog", "--rewrite", "a.ini"};
    o = parseCommandLineOptions(env);
    EXPECT_TRUE(o.rewrite);
    EXPECT_EQ(o.rest.args, (std::vector<std::string>{"prog", "a.ini"}));
    env.args = {"prog", "a.ini"};
    EXPECT_FALSE(parseCommandLineOptions(env).anyMode());
}

TEST(CommandLine, DumpPrintsTheSettingsAsUtf8Json) {
    TempDir dir;
    // Station and file name in code page 1251 (Cyrillic).
    dir.write(
        "s.ini",
        "[DATABASE]\r\nODBC=SEIS\r\nPASSWORD=secret\r\n[SYSTEM]\r\nGROUPS=1\r\nMODE=detail\r\n"
        "[GROUP1]\r\nSTATION=\xCD\xD0\xC4\r\nSPS=40\r\nCHAN=BHZ\r\nBHZ=-7\r\n"
        "FILE_BHZ=\xF4\xE0\xE9\xEB.dat\r\n");
    const CliRun r = run(dir, {"--dump", dir.file("s.ini"), "ODBC=other", "user=op"});
    ASSERT_EQ(r.code, 0) << r.err;
    // More than one argument left: the default file is used, the items give the connection.
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["settingsPath"], "./ZEL_VurEV.ini");
    EXPECT_EQ(j["connection"]["dataSource"], "OTHER");
    EXPECT_EQ(j["connection"]["user"], "OP");

    const CliRun one = run(dir, {dir.file("s.ini"), "--dump"});
    ASSERT_EQ(one.code, 0) << one.err;
    j = nlohmann::json::parse(one.out);
    EXPECT_EQ(j["settingsPath"], dir.file("s.ini"));
    EXPECT_EQ(j["dataSource"], "SEIS");
    EXPECT_EQ(j["detailMode"], 1);
    EXPECT_EQ(j["groupCount"], 1);
    ASSERT_EQ(j["groups"].size(), 1u);
    EXPECT_EQ(j["groups"][0]["station"], "\xD0\x9D\xD0\xA0\xD0\x94");  // НРД
    EXPECT_EQ(j["groups"][0]["sps"], 40);
    EXPECT_EQ(j["groups"][0]["channels"][0]["code"], "BHZ");
    EXPECT_EQ(j["groups"][0]["channels"][0]["lastTime"], -7);
    EXPECT_EQ(j["groups"][0]["channels"][0]["fileName"], "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.dat");
    // No item and no small INI file: the settings file's own connection, not the defaults.
    EXPECT_EQ(j["connection"]["dataSource"], "SEIS");
    EXPECT_EQ(one.out.find("secret"), std::string::npos);
    EXPECT_EQ(one.out.find("QMX"), std::string::npos);
}

TEST(CommandLine, RewriteSavesOrSaysWhyNot) {
    TempDir dir;
    dir.write("s.ini", "; mine\r\n[SYSTEM]\r\nSERVER=a\r\n");
    CliRun r = run(dir, {"--rewrite", dir.file("s.ini")});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string after = dir.read("s.ini");
    EXPECT_EQ(after.rfind("; mine\r\n[SYSTEM]\r\nSERVER=a\r\nMODE=silent\r\n", 0), 0u) << after;
    EXPECT_NE(after.find("[DATABASE]\r\nODBC=ZEL\r\nUSER=ZEL\r\nPASSWORD=QMX\r\n"),
              std::string::npos);

    r = run(dir, {"--rewrite", dir.file("no-such-dir/s.ini")});
    EXPECT_NE(r.code, 0);
    EXPECT_FALSE(r.err.empty());
}

// Channels left out of a list on reading are reported by --dump and named by --rewrite, which
// writes no key for them.
TEST(CommandLine, ChannelsLeftOutOfAListAreReported) {
    TempDir dir;
    dir.write("s.ini", "[GROUP1]\r\nSTATION=A\r\nCHAN=BHZ,SPS,B" + std::string(600, 'X') + "\r\n");
    CliRun r = run(dir, {"--dump", dir.file("s.ini")});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["groups"][0]["channels"].size(), 1u);
    ASSERT_EQ(j["channelListNotes"].size(), 1u);
    EXPECT_EQ(j["channelListNotes"][0]["group"], 1);
    EXPECT_EQ(j["channelListNotes"][0]["cutCodes"][0], "B" + std::string(600, 'X'));
    EXPECT_EQ(j["channelListNotes"][0]["leftOut"][0]["code"], "SPS");
    EXPECT_NE(j["channelListNotes"][0]["leftOut"][0]["reason"].get<std::string>().find("SPS"),
              std::string::npos);

    r = run(dir, {"--rewrite", dir.file("s.ini")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("warning: "), std::string::npos);
    EXPECT_NE(r.err.find("Группа 1"), std::string::npos) << r.err;
    const std::string after = dir.read("s.ini");
    EXPECT_NE(after.find("[GROUP1]\r\nSTATION=A\r\nCHAN=BHZ\r\nSIZEMB=100\r\nSPS=20\r\n"),
              std::string::npos)
        << after;
    EXPECT_EQ(after.find("XX="), std::string::npos);
}

TEST(CommandLine, HelpAndVersion) {
    TempDir dir;
    CliRun r = run(dir, {"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("--test-connection"), std::string::npos);
    r = run(dir, {"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find(VORDA_VERSION), std::string::npos);
    r = run(dir, {"--dump", "--rewrite"});
    EXPECT_NE(r.code, 0);
}

TEST(CommandLine, TestConnectionPrintsTheReportOrTheError) {
    vorda::test::OdbcSandbox odbc;
    const std::string db = odbc.createSqliteDatabase(
        "cli.sqlite", "CREATE TABLE SITECHAN (STA TEXT, CHAN TEXT); CREATE TABLE SITE (STA TEXT);");
    odbc.addSqliteDsn("CLISEIS", db);
    TempDir dir;
    CliRun r = run(dir, {"--test-connection", "odbc=cliseis", "user=op"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\xD0\xA3\xD1\x81\xD0\xBF\xD0\xB5\xD1\x88\xD0\xBD\xD0\xBE\xD0\xB5"),
              std::string::npos)
        << r.out;  // "Успешное"
    EXPECT_NE(r.out.find("CLISEIS\t\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": 2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tSITECHAN\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\r'), std::string::npos);

    r = run(dir, {"--test-connection", "ODBC=NO_SUCH_SOURCE_CLI"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0"), std::string::npos)
        << r.err;  // "Ошибка" in the caption
}

TEST(CommandLine, StationsAndChannelsAsTheDialogOffersThem) {
    vorda::test::OdbcSandbox odbc;
    const std::string db = odbc.createSqliteDatabase(
        "codes.sqlite",
        "CREATE TABLE SITECHAN (STA TEXT, CHAN TEXT);"
        "INSERT INTO SITECHAN VALUES ('НРД', 'BHZ'), ('НРД', 'ЮГ'), ('abc', 'SHZ'), "
        "('😀', 'X'), ('LONGSTA1', 'Y'), ('НРД', 'LONGCHA1');");
    odbc.addSqliteDsn("CLICODES", db);
    TempDir dir;
    CliRun r = run(dir, {"--stations", "ODBC=CLICODES"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["dataSource"], "CLICODES");
    EXPECT_EQ(j["stations"], nlohmann::json::parse(R"(["abc", "НРД"])"));
    EXPECT_EQ(j["leftOut"]["notInCodePage"], 1);
    EXPECT_EQ(j["leftOut"]["tooLong"], 1);

    r = run(dir, {"ODBC=CLICODES", "--channels", "НРД"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["station"], "НРД");
    EXPECT_EQ(j["channels"], nlohmann::json::parse(R"(["BHZ", "ЮГ"])"));
    EXPECT_EQ(j["leftOut"]["tooLong"], 1);

    // A connection or a query that fails: the error and a non-zero exit.
    r = run(dir, {"--stations", "ODBC=NO_SUCH_SOURCE_CODES"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("Data source name not found"), std::string::npos) << r.err;
    const std::string bare = odbc.createSqliteDatabase("bare.sqlite", "CREATE TABLE OTHER (X);");
    odbc.addSqliteDsn("CLIBARE", bare);
    r = run(dir, {"--channels", "X", "ODBC=CLIBARE"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("no such table"), std::string::npos) << r.err;
    r = run(dir, {"--channels"});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find("needs a value"), std::string::npos) << r.err;
    // The station may follow after '=', and may look like an option.
    r = run(dir, {"--channels=-X", "ODBC=CLICODES"});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["station"], "-X");
}

TEST(CommandLine, QtsOwnOptionsGoToTheToolkitAndNeverNameTheSettingsFile) {
    Environment env;
    env.args = {"prog",        "-platform", "offscreen", "my.ini",         "--style=fusion",
                "-stylesheet", "a.qss",     "-reverse",  "--qwindowtitle", "ODBC=T"};
    auto o = parseCommandLineOptions(env);
    EXPECT_FALSE(o.anyMode()) << o.usageError;
    EXPECT_EQ(o.rest.args, (std::vector<std::string>{"prog", "my.ini"}));
    EXPECT_EQ(o.toolkitArgs, (std::vector<std::string>{"prog", "-platform", "offscreen",
                                                       "--style=fusion", "-stylesheet", "a.qss",
                                                       "-reverse", "--qwindowtitle", "ODBC=T"}));
    EXPECT_EQ(chooseSettingsPath(o.rest), "./my.ini");

    // Qt takes neither abbreviations nor '=' where it wants the next word: those are unknown.
    for (const char* word : {"-plat", "-platform=offscreen", "--reverse=1"}) {
        env.args = {"prog", word, "my.ini"};
        EXPECT_FALSE(parseCommandLineOptions(env).usageError.empty()) << word;
    }
}

TEST(CommandLine, TheDialogNeedsADisplayNamedByTheEnvironmentOrByQtsPlatformOption) {
    Environment env;
    env.args = {"prog", "my.ini"};
    env.displayNamed = false;
    std::ostringstream err;
    EXPECT_FALSE(dialogCanOpen(parseCommandLineOptions(env), err));
    EXPECT_NE(err.str().find("no display"), std::string::npos) << err.str();
    env.args = {"prog", "-platform", "offscreen", "my.ini"};
    EXPECT_TRUE(dialogCanOpen(parseCommandLineOptions(env), err));
    env.args = {"prog", "my.ini"};
    env.displayNamed = true;
    EXPECT_TRUE(dialogCanOpen(parseCommandLineOptions(env), err));
}

TEST(CommandLine, UnknownOptionsAreRefusedWithTheUsageAndNothingIsWritten) {
    TempDir dir;
    const std::vector<std::vector<std::string>> refused = {{"--helpp", "--rewrite"},
                                                           {"--bogus-option"},
                                                           {"--rewrite", "-x", "a.ini"},
                                                           {"--rewrite=1"},
                                                           {"--rewrite", "-hx"}};
    for (const auto& args : refused) {
        const CliRun r = run(dir, args);
        EXPECT_EQ(r.code, kExitUsage) << args[0];
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    // "--" ends the options; "-" followed by anything but a letter is an argument.
    EXPECT_EQ(run(dir, {"--rewrite", "--", "--x"}).code, kExitOk);
    EXPECT_EQ(run(dir, {"-5.ini", "--rewrite"}).code, kExitOk);
    EXPECT_TRUE(fileExists(dir.file("--x")));
    EXPECT_TRUE(fileExists(dir.file("-5.ini")));

    // The program itself refuses before it does anything, and leaves Qt's options to Qt.
    EXPECT_EQ(runProgram(dir, "--helpp --rewrite"), kExitUsage);
    EXPECT_FALSE(fileExists(dir.file("--helpp")));
    EXPECT_EQ(runProgram(dir, "-platform offscreen --rewrite my.ini"), kExitOk);
    EXPECT_TRUE(fileExists(dir.file("my.ini")));
    EXPECT_FALSE(fileExists(dir.file("ZEL_VurEV.ini")));
}

TEST(CommandLine, APasswordInTheSettingsArgumentNeverReachesTheOutput) {
    TempDir dir;
    const std::string arg = "x ODBC=A USER=B PASSWORD=Secret1";
    CliRun r = run(dir, {"--dump", arg});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["settingsPath"], "./x ODBC=A USER=B PASSWORD=***");
    EXPECT_EQ(j["connection"]["user"], "B");
    EXPECT_FALSE(holdsSecret(r)) << r.out << r.err;

    r = run(dir, {"--rewrite", arg});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "Saved ./x ODBC=A USER=B PASSWORD=***\n");
    EXPECT_FALSE(holdsSecret(r)) << r.out << r.err;

    // An error that quotes the path hides it as well.
    std::filesystem::create_directory(dir.file("x ODBC=A PASSWORD=secret2 DATA=x"));
    r = run(dir, {"--dump", "x ODBC=A PASSWORD=secret2 DATA=x"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("PASSWORD=*** DATA=x"), std::string::npos) << r.err;
    EXPECT_FALSE(holdsSecret(r)) << r.out << r.err;
    EXPECT_FALSE(holdsSecret(run(dir, {"--PASSWORD=secret3"})));
}

// The connection items as the only argument set the connection and name no file: the settings
// file stays ./ZEL_VurEV.ini.
TEST(CommandLine, ConnectionItemsAloneAreNoSettingsFileName) {
    TempDir dir;
    for (const std::string arg :
         {"ODBC=X", "odbc=x user=op", "ODBC=X USER=U PASSWORD=secret4", "DATA=/d"}) {
        const CliRun r = run(dir, {"--rewrite", arg});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        EXPECT_EQ(r.out, "Saved ./ZEL_VurEV.ini\n");
        EXPECT_FALSE(holdsSecret(r)) << r.out << r.err;
        EXPECT_FALSE(fileExists(dir.file(arg)));
        EXPECT_NE(dir.read("ZEL_VurEV.ini").find("[DATABASE]\r\nODBC=X\r\n"), std::string::npos)
            << arg;
    }
    EXPECT_NE(dir.read("ZEL_VurEV.ini").find("USER=U\r\nPASSWORD=SECRET4\r\n"), std::string::npos);
}

TEST(CommandLine, ASettingsFileThatCannotBeReadFailsTheModesAtOnce) {
    TempDir dir;
    // A FIFO would block the read for ever and /dev/zero fill the memory; a folder cannot be read.
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    // A file too large to be a settings file is not read at all (this one is sparse, 30 GiB).
    dir.write("big.ini", "[SYSTEM]\r\n");
    const bool large = ::truncate(dir.file("big.ini").c_str(), off_t{30} << 30) == 0;
    for (const std::string& path :
         {dir.file("fifo.ini"), std::string("/dev/zero"), dir.path(), dir.file("big.ini")}) {
        const CliRun r = run(dir, {"--dump", path});
        EXPECT_EQ(r.code, kExitFailure) << path;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    }
    EXPECT_EQ(run(dir, {"--rewrite", dir.file("fifo.ini")}).code, kExitFailure);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("fifo.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    if (large) {
        const CliRun r = run(dir, {"--rewrite", dir.file("big.ini")});
        EXPECT_EQ(r.code, kExitFailure);
        EXPECT_NE(r.err.find("файл больше 64 МиБ"), std::string::npos) << r.err;
        ASSERT_EQ(::stat(dir.file("big.ini").c_str(), &st), 0);
        EXPECT_EQ(st.st_size, off_t{30} << 30);  // nothing written
    }

    // An ork.ini that is no regular file, or too large, is skipped with a warning; the settings
    // still dump.
    ASSERT_EQ(::mkfifo(dir.file("ork.ini").c_str(), 0600), 0);
    CliRun r = run(dir, {"--dump", "s.ini"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.err.find("ork.ini"), std::string::npos) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["connection"]["dataSource"], "ZEL");
    if (large) {
        std::filesystem::remove(dir.file("ork.ini"));
        std::filesystem::rename(dir.file("big.ini"), dir.file("ork.ini"));
        r = run(dir, {"--dump", "s.ini"});
        ASSERT_EQ(r.code, kExitOk) << r.err;
        EXPECT_NE(r.err.find("ork.ini»: файл больше 64 МиБ"), std::string::npos) << r.err;
    }
}

// A save killed while it wrote the file in place: the next --dump puts the file right and says so
// on stderr, and the settings it prints are whole.
TEST(CommandLine, DumpPutsRightWhatAKilledSaveLeft) {
    TempDir dir;
    std::string old = "[SYSTEM]\r\nGROUPS=1\r\n[GROUP1]\r\nSTATION=OLD\r\nCHAN=BHZ\r\n";
    old += std::string(4 << 20, ';') + "\r\n";
    dir.write("s.ini", old);
    const std::string fresh = "[SYSTEM]\r\nGROUPS=1\r\n[GROUP1]\r\nSTATION=NEW\r\nCHAN=BHZ\r\n";
    CliRun r;
    for (int delayUs = 0; delayUs < 4000 && r.err.empty(); delayUs += 500) {
        dir.write("s.ini", old);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            forbidRenameExchange(true);
            Replacement done;
            ::_exit(replaceFile(dir.file("s.ini"), fresh, nullptr, done).ok ? 0 : 1);
        }
        while (!std::filesystem::exists(dir.file(".s.ini.unfinished-save")) &&
               ::waitpid(child, nullptr, WNOHANG) == 0) {
            ::usleep(50);
        }
        ::usleep(static_cast<useconds_t>(delayUs));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        r = run(dir, {"--dump", dir.file("s.ini")});
        ASSERT_EQ(r.code, 0) << r.err;
        const std::string now = dir.read("s.ini");
        EXPECT_TRUE(now == old || now == fresh);
        EXPECT_FALSE(std::filesystem::exists(dir.file(".s.ini.unfinished-save")));
    }
    EXPECT_NE(r.err.find("сохранение файла настроек"), std::string::npos) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["groups"].size(), 1u);
}
