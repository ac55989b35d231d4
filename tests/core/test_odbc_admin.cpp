#include "database/odbc_admin.h"

#include <gtest/gtest.h>
#include <odbcinst.h>

#include <algorithm>

#include "database/connection_settings.h"
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
    EXPECT_FALSE(writeUserDataSource(std::string(33, 'X'), "SQLite3", {}));
    EXPECT_FALSE(removeUserDataSource(""));
    EXPECT_EQ(test::readFile(sandbox.userIniPath()), before);
    EXPECT_EQ(configMode(), ODBC_BOTH_DSN);
}

// The rules the data source manager's dialog and writeUserDataSource share.
TEST(OdbcAdminRules, DataSourceNames) {
    for (const std::string& name : {std::string("ZEL"), std::string("GOOD NAME"),
                                    std::string("a-b_c.d#1$%^&+~'\"<>/|`"), std::string(32, 'x')}) {
        const Status s = checkDataSourceName(name);
        EXPECT_TRUE(s.ok) << name << ": " << s.error;
    }
    for (const std::string& name :
         {std::string(""),      std::string(" LEAD"),   std::string("TRAIL "),
          std::string("\tTAB"), std::string("A\tB"),    std::string("A\nB"),
          std::string("A\rB"),  std::string("A\0B", 3), std::string("\xD0\xB8\xD0\xBC\xD1\x8F"),
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
