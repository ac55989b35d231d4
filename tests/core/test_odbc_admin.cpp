#include "database/odbc_admin.h"

#include <gtest/gtest.h>
#include <odbcinst.h>

#include <algorithm>

#include "database/connection_settings.h"
#include "support/db_servers.h"
#include "support/odbc_sandbox.h"

namespace vorda {
namespace {

using test::OdbcSandbox;

UWORD configMode() {
    UWORD mode = 0;
    SQLGetConfigMode(&mode);
    return mode;
}

const OdbcDataSource* find(const std::vector<OdbcDataSource>& sources, const std::string& name) {
    const auto it = std::find_if(sources.begin(), sources.end(),
                                 [&](const OdbcDataSource& s) { return s.name == name; });
    return it == sources.end() ? nullptr : &*it;
}

class OdbcAdminTest : public ::testing::Test {
  protected:
    void TearDown() override { ConnectionSettings::release(); }

    // The report of a connection to the data source (the table lines tell the database apart).
    static ConnectOutcome connectTo(const std::string& dsn) {
        ConnectionSettings::values() = {dsn, "", "", ""};
        return ConnectionSettings(Environment{}).connect(true);
    }

    OdbcSandbox sandbox;
};

TEST_F(OdbcAdminTest, ListsDataSourcesWithDriversAndTheInstalledDrivers) {
    sandbox.addSqliteDsn("ADM_USER", "/nowhere/u.db");
    sandbox.addDsn("ADM_SYSTEM", "PostgreSQL Unicode",
                   {{"Servername", "db.example"}, {"Port", "5433"}, {"Database", "seis"}}, true);
    const auto sources = listOdbcDataSources();
    ASSERT_EQ(sources.size(), 2u);
    // System data sources first, as the data source page lists them.
    EXPECT_TRUE(sources[0].isSystem);
    const OdbcDataSource* user = find(sources, "ADM_USER");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->driver, "SQLite3");
    EXPECT_FALSE(user->isSystem);
    const OdbcDataSource* system = find(sources, "ADM_SYSTEM");
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->driver, "PostgreSQL Unicode");
    EXPECT_TRUE(system->isSystem);
    EXPECT_EQ(configMode(), ODBC_BOTH_DSN);

    EXPECT_EQ(
        odbcDataSourceAttributes("ADM_SYSTEM", true),
        (OdbcAttributes{{"Servername", "db.example"}, {"Port", "5433"}, {"Database", "seis"}}));
    // Asked in the wrong file, the data source has nothing.
    EXPECT_TRUE(odbcDataSourceAttributes("ADM_SYSTEM", false).empty());
    EXPECT_EQ(odbcDataSourceAttributes("ADM_USER", false),
              (OdbcAttributes{{"Database", "/nowhere/u.db"}}));
    EXPECT_EQ(configMode(), ODBC_BOTH_DSN);

    auto drivers = installedOdbcDrivers();
    std::sort(drivers.begin(), drivers.end());
    EXPECT_EQ(drivers,
              (std::vector<std::string>{"MariaDB Unicode", "PostgreSQL Unicode", "SQLite3"}));
}

TEST_F(OdbcAdminTest, AddEditRemoveAUserDataSourceAndConnectToIt) {
    const std::string db1 = sandbox.createSqliteDatabase("first.db", "create table FIRST(x);");
    const std::string db2 = sandbox.createSqliteDatabase("second.db", "create table SECOND(x);");
    sandbox.addSqliteDsn("ADM_KEPT", db1);

    ASSERT_TRUE(writeUserDataSource("ADM_NEW", "SQLite3",
                                    {{"Description", "Первая база"}, {"Database", db1}}));
    EXPECT_EQ(configMode(), ODBC_BOTH_DSN);
    auto sources = listOdbcDataSources();
    ASSERT_NE(find(sources, "ADM_NEW"), nullptr);
    EXPECT_EQ(find(sources, "ADM_NEW")->driver, "SQLite3");
    EXPECT_FALSE(find(sources, "ADM_NEW")->isSystem);
    EXPECT_EQ(odbcDataSourceAttributes("ADM_NEW", false),
              (OdbcAttributes{{"Description", "Первая база"}, {"Database", db1}}));
    ConnectOutcome out = connectTo("ADM_NEW");
    ASSERT_TRUE(out.connected) << out.text;
    EXPECT_NE(out.text.find("\tFIRST\r\n"), std::string::npos);

    // Editing replaces the whole data source: the description goes, the database changes.
    ConnectionSettings::release();
    ASSERT_TRUE(writeUserDataSource("ADM_NEW", "SQLite3", {{"Database", db2}}));
    EXPECT_EQ(odbcDataSourceAttributes("ADM_NEW", false), (OdbcAttributes{{"Database", db2}}));
    out = connectTo("ADM_NEW");
    ASSERT_TRUE(out.connected) << out.text;
    EXPECT_NE(out.text.find("\tSECOND\r\n"), std::string::npos) << out.text;
    EXPECT_EQ(out.text.find("FIRST"), std::string::npos);

    ASSERT_TRUE(removeUserDataSource("ADM_NEW"));
    EXPECT_EQ(configMode(), ODBC_BOTH_DSN);
    sources = listOdbcDataSources();
    EXPECT_EQ(find(sources, "ADM_NEW"), nullptr);
    // The other data source of the file is untouched.
    ASSERT_NE(find(sources, "ADM_KEPT"), nullptr);
    EXPECT_EQ(odbcDataSourceAttributes("ADM_KEPT", false), (OdbcAttributes{{"Database", db1}}));
    ConnectionSettings listing(Environment{});
    listing.enumerateDataSources();
    ASSERT_EQ(listing.dataSources.size(), 1u);
    EXPECT_EQ(listing.dataSources[0].name, "ADM_KEPT");
}

TEST_F(OdbcAdminTest, RefusesWhatWouldCorruptTheFile) {
    sandbox.addSqliteDsn("ADM_SAFE", "/nowhere/s.db");
    const std::string before = test::readFile(sandbox.userIniPath());
    for (const std::string& name : {std::string(""), std::string(" LEAD"), std::string("A[B"),
                                    std::string("A=B"), std::string("A\nB")}) {
        const Status s = writeUserDataSource(name, "SQLite3", {});
        EXPECT_FALSE(s.ok) << name;
        EXPECT_FALSE(s.error.empty());
    }
    EXPECT_FALSE(writeUserDataSource("ADM_X", "", {}));
    EXPECT_FALSE(writeUserDataSource("ADM_X", "SQLite3", {{"Data=base", "x"}}));
    EXPECT_FALSE(writeUserDataSource("ADM_X", "SQLite3", {{"[Database", "x"}}));
    EXPECT_FALSE(writeUserDataSource("ADM_X", "SQLite3", {{"Database", "a\nb"}}));
    EXPECT_FALSE(writeUserDataSource("ADM_X", "SQLite3", {{"", "x"}}));
    EXPECT_FALSE(writeUserDataSource("ADM_X", "SQLite3", {{"Data]base", "x"}}));
    EXPECT_FALSE(writeUserDataSource("ADM_X", "SQLite3", {{"driver", "x"}}));
    EXPECT_FALSE(writeUserDataSource("ADM_X", "SQLite3", {{"Database", "a"}, {"DATABASE", "b"}}));
    EXPECT_FALSE(writeUserDataSource(std::string(33, 'X'), "SQLite3", {}));
    EXPECT_FALSE(removeUserDataSource(""));
    EXPECT_EQ(test::readFile(sandbox.userIniPath()), before);
    EXPECT_EQ(configMode(), ODBC_BOTH_DSN);
}

TEST_F(OdbcAdminTest, EachDriverOffersItsOwnKeys) {
    EXPECT_EQ(odbcDriverKeys("PostgreSQL Unicode"),
              (std::vector<std::string>{"Servername", "Port", "Database"}));
    EXPECT_EQ(odbcDriverKeys("MariaDB Unicode"),
              (std::vector<std::string>{"Server", "Port", "Database"}));
    EXPECT_EQ(odbcDriverKeys("SQLite3"), (std::vector<std::string>{"Database"}));
    EXPECT_TRUE(odbcDriverKeys("Some Other Driver").empty());
}

// A PostgreSQL data source made with the keys offered for its driver, tested before it is
// written and connected to afterwards, reaches the server over TCP (the test server has no
// socket where the driver would look by default).
TEST_F(OdbcAdminTest, PostgresDataSourceMadeWithTheOfferedKeysConnectsOverTcp) {
    test::PostgresServer& pg = test::PostgresServer::shared();
    ASSERT_TRUE(pg.running()) << pg.error();
    std::string error;
    ASSERT_TRUE(pg.createDatabase("adm_pg", "create table made_here (x int);", &error)) << error;
    const std::string driver = "PostgreSQL Unicode";
    const std::vector<std::string> keys = odbcDriverKeys(driver);
    ASSERT_EQ(keys.size(), 3u);
    const OdbcAttributes attributes = {
        {keys[0], "127.0.0.1"}, {keys[1], std::to_string(pg.port())}, {keys[2], "adm_pg"}};

    // Test with the entered values writes nothing.
    const std::string before = test::readFile(sandbox.userIniPath());
    const Status tested = testOdbcConnection(driver, attributes, pg.user(), "");
    EXPECT_TRUE(tested.ok) << tested.error;
    EXPECT_EQ(test::readFile(sandbox.userIniPath()), before);
    const Status wrongPort =
        testOdbcConnection(driver, {{keys[0], "127.0.0.1"}, {keys[1], "1"}}, pg.user(), "");
    EXPECT_FALSE(wrongPort.ok);
    EXPECT_NE(wrongPort.error.find("127.0.0.1"), std::string::npos) << wrongPort.error;

    ASSERT_TRUE(writeUserDataSource("ADM_PG_TCP", driver, attributes));
    ConnectionSettings::values() = {"ADM_PG_TCP", pg.user(), "", ""};
    const ConnectOutcome out = ConnectionSettings(Environment{}).connect(true);
    ASSERT_TRUE(out.connected) << out.text;
    EXPECT_NE(out.text.find("\tmade_here\r\n"), std::string::npos) << out.text;
}

TEST_F(OdbcAdminTest, AFailedWriteNamesTheFileAndWhy) {
    const std::string missing = sandbox.dir().file("no-such-folder/odbc.ini");
    ::setenv("ODBCINI", missing.c_str(), 1);  // the sandbox puts its own back when it goes
    EXPECT_EQ(userOdbcIniPath(), missing);
    for (const Status& s : {writeUserDataSource("ADM_NOWHERE", "SQLite3", {{"Database", "x"}}),
                            removeUserDataSource("ADM_NOWHERE")}) {
        EXPECT_FALSE(s.ok);
        EXPECT_NE(s.error.find(missing), std::string::npos) << s.error;
        EXPECT_NE(s.error.find("нет такого файла или каталога"), std::string::npos) << s.error;
        EXPECT_EQ(s.error.find("General error"), std::string::npos) << s.error;
    }
    EXPECT_EQ(configMode(), ODBC_BOTH_DSN);
}

// The rules the data source manager's dialog and writeUserDataSource share.
TEST(OdbcAdminRules, DataSourceNames) {
    for (const std::string& name :
         {std::string("ZEL"), std::string("GOOD NAME"), std::string("a-b_c.d#1$%^&+~'\"<>/|`"),
          std::string(32, 'x'), std::string("\xD0\x94\xD0\x95\xD0\x9C\xD0\x9E")}) {  // ДЕМО
        const Status s = checkDataSourceName(name);
        EXPECT_TRUE(s.ok) << name << ": " << s.error;
    }
    for (const std::string& name :
         {std::string(""),      std::string(" LEAD"),   std::string("TRAIL "),
          std::string("\tTAB"), std::string("A\tB"),    std::string("A\nB"),
          std::string("A\rB"),  std::string("A\0B", 3), std::string("\xE5\x90\x8D"),
          std::string("A\x7F"), std::string(33, 'x'),   std::string("A[B"),
          std::string("A]B"),   std::string("A{B"),     std::string("A}B"),
          std::string("A(B"),   std::string("A)B"),     std::string("A,B"),
          std::string("A;B"),   std::string("A?B"),     std::string("A*B"),
          std::string("A=B"),   std::string("A!B"),     std::string("A@B"),
          std::string("A\\B")}) {
        const Status s = checkDataSourceName(name);
        EXPECT_FALSE(s.ok) << name;
        EXPECT_NE(s.error.find("имя источника данных"), std::string::npos) << s.error;
    }
    EXPECT_NE(checkDataSourceName("A=B").error.find("«=»"), std::string::npos);
    EXPECT_NE(checkDataSourceName(std::string(33, 'x')).error.find("32"), std::string::npos);
}

TEST(OdbcAdminRules, AttributeKeysAndValues) {
    for (const std::string& key :
         {std::string("Database"), std::string("Port"), std::string("Описание"), std::string("a#b"),
          std::string("x y"), std::string("Drivers")}) {
        const Status s = checkAttributeKey(key);
        EXPECT_TRUE(s.ok) << key << ": " << s.error;
    }
    for (const std::string& key :
         {std::string(""), std::string(" Port"), std::string("Port\t"), std::string("#Port"),
          std::string("Data=base"), std::string("[Database"), std::string("Data[base"),
          std::string("Data]base"), std::string(";Port"), std::string("Po;rt"), std::string("A\nB"),
          std::string("A\0B", 3), std::string("A\x01"), std::string("Driver"),
          std::string("DRIVER"), std::string("driver")}) {
        const Status s = checkAttributeKey(key);
        EXPECT_FALSE(s.ok) << key;
        EXPECT_FALSE(s.error.empty());
    }
    EXPECT_TRUE(checkAttributeValue("Database", "/data/seis.db; x=[y] \t"));
    EXPECT_TRUE(checkAttributeValue("Database", ""));
    for (const std::string& value :
         {std::string("a\nb"), std::string("a\r"), std::string("a\0", 2)}) {
        const Status s = checkAttributeValue("Database", value);
        EXPECT_FALSE(s.ok);
        EXPECT_NE(s.error.find("Database"), std::string::npos) << s.error;
    }
}

}  // namespace
}  // namespace vorda
