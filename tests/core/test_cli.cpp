// The command-line modes, run as the program's main runs them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "app/cli.h"
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
    ASSERT_EQ(r.code, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["dataSource"], "CLICODES");
    EXPECT_EQ(j["stations"], nlohmann::json::parse(R"(["abc", "НРД"])"));
    EXPECT_EQ(j["leftOut"]["notInCodePage"], 1);
    EXPECT_EQ(j["leftOut"]["tooLong"], 1);

    r = run(dir, {"ODBC=CLICODES", "--channels", "НРД"});
    ASSERT_EQ(r.code, 0) << r.err;
    j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["station"], "НРД");
    EXPECT_EQ(j["channels"], nlohmann::json::parse(R"(["BHZ", "ЮГ"])"));
    EXPECT_EQ(j["leftOut"]["tooLong"], 1);

    // A connection or a query that fails: the error and a non-zero exit.
    r = run(dir, {"--stations", "ODBC=NO_SUCH_SOURCE_CODES"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("Data source name not found"), std::string::npos) << r.err;
    const std::string bare = odbc.createSqliteDatabase("bare.sqlite", "CREATE TABLE OTHER (X);");
    odbc.addSqliteDsn("CLIBARE", bare);
    r = run(dir, {"--channels", "X", "ODBC=CLIBARE"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("no such table"), std::string::npos) << r.err;
    r = run(dir, {"--channels"});
    EXPECT_EQ(r.code, 2);
}
