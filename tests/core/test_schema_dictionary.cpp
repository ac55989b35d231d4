#include "database/schema_dictionary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "database/connection_settings.h"
#include "database/odbc.h"
#include "platform/cp1251.h"
#include "support/db_servers.h"
#include "support/odbc_sandbox.h"

namespace vorda {
namespace {

using test::DatabaseServer;
using test::MariaDbServer;
using test::OdbcSandbox;
using test::PostgresServer;
using T = SchemaDictionary;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// create table statements for every table of the dictionary except the skipped one, with names
// spelled by `spell`; SITECHAN gets rows.
std::string schemaSql(const std::function<std::string(std::string_view)>& spell, int skip = -1) {
    std::string sql;
    for (int t = 0; t < T::kTableCount; ++t) {
        if (t == skip) {
            continue;
        }
        const auto table = static_cast<T::Table>(t);
        sql += "create table " + spell(T::builtinTable(table)) + " (";
        const auto& cols = T::builtinColumns(table);
        for (std::size_t c = 0; c < cols.size(); ++c) {
            sql += (c ? ", " : "") + spell(cols[c]) + " varchar(20)";
        }
        sql += ");\n";
    }
    return sql;
}

std::string sitechanRows(const std::string& table, const std::string& sta,
                         const std::string& chan) {
    std::string sql;
    for (const auto& [s, c] :
         std::vector<std::pair<std::string, std::string>>{{"ABC", "BHZ"},
                                                          {"ABC", "BHN"},
                                                          {"ABC", "BHZ"},
                                                          {"XYZ", "SHZ"},
                                                          {"O''B", "HHE"},
                                                          {"LONGSTATION", "LONGCHANNEL"}}) {
        sql += "insert into " + table + " (" + sta + ", " + chan + ") values ('" + s + "', '" + c +
               "');\n";
    }
    return sql;
}

std::string identity(std::string_view s) {
    return std::string(s);
}

class SchemaDictionaryTest : public ::testing::Test {
  protected:
    void TearDown() override { ConnectionSettings::release(); }

    // Connects through a new user data source, as the channel dialog does.
    SQLHDBC connectTo(const std::string& dsn, const std::string& driver,
                      const OdbcSandbox::Attributes& attributes, const std::string& user) {
        sandbox.addDsn(dsn, driver, attributes);
        ConnectionSettings::values() = {dsn, user, "", ""};
        const ConnectOutcome out = ConnectionSettings(Environment{}).connect(false);
        EXPECT_TRUE(out.connected) << out.text;
        return out.connected ? ConnectionSettings::connection() : SQL_NULL_HDBC;
    }
    SQLHDBC connectSqlite(const std::string& dsn, const std::string& sql) {
        const std::string db = sandbox.createSqliteDatabase(dsn + ".db", sql);
        return connectTo(dsn, "SQLite3", {{"Database", db}}, "");
    }
    SQLHDBC connectServer(DatabaseServer& server, const std::string& dsn,
                          const std::string& database, const std::string& sql) {
        std::string error;
        EXPECT_TRUE(server.createDatabase(database, sql, &error)) << error;
        return connectTo(dsn, server.driver(), server.dsnAttributes(database), server.user());
    }

    static void expectAllBuiltin(const SchemaDictionary& d, int except = -1) {
        for (int t = 0; t < T::kTableCount; ++t) {
            if (t == except) {
                continue;
            }
            const auto table = static_cast<T::Table>(t);
            EXPECT_EQ(d.table(table), T::builtinTable(table));
            const auto& builtin = T::builtinColumns(table);
            ASSERT_EQ(d.columns(table).size(), builtin.size());
            for (std::size_t c = 0; c < builtin.size(); ++c) {
                EXPECT_EQ(d.columns(table)[c], builtin[c]) << T::builtinTable(table);
            }
        }
    }

    OdbcSandbox sandbox;
};

TEST_F(SchemaDictionaryTest, BuiltInNamesAndAnEmptyStart) {
    std::size_t columns = 0;
    for (int t = 0; t < T::kTableCount; ++t) {
        columns += T::builtinColumns(static_cast<T::Table>(t)).size();
    }
    EXPECT_EQ(columns, 151u);
    EXPECT_EQ(T::builtinTable(T::GEOGRAPHIC_REGION), "GEOGRAPHIC_REGION");
    EXPECT_EQ(T::builtinColumns(T::ARRIVAL).size(), 35u);
    EXPECT_EQ(T::builtinColumns(T::ARRIVAL).back(), "MWA");
    EXPECT_EQ(T::builtinColumns(T::ID_SENS).front(), "ID_SENS");

    SchemaDictionary d;
    EXPECT_EQ(d.table(T::SITECHAN), "");
    EXPECT_EQ(d.column(T::SITECHAN, "STA"), "");
    EXPECT_EQ(d.columns(T::EARTHQUAKE).size(), 18u);
    EXPECT_EQ(d.connection, nullptr);

    // Without a usable connection no statement can be made: everything is built in.
    d.refresh(SQL_NULL_HDBC);
    expectAllBuiltin(d);
    EXPECT_EQ(d.column(T::SITECHAN, "NO_SUCH"), "");
}

TEST_F(SchemaDictionaryTest, SqliteUpperCaseKeepsEveryBuiltInName) {
    SchemaDictionary d;
    const SQLHDBC dbc = connectSqlite("DICT_UPPER", schemaSql(identity));
    ASSERT_NE(dbc, nullptr);
    d.refresh(dbc);
    EXPECT_EQ(d.connection, dbc);
    expectAllBuiltin(d);
}

TEST_F(SchemaDictionaryTest, SqliteLowerCaseMissingTableAndView) {
    // sitechan in lower case, GEOGRAPHIC_REGION (17 characters) in lower case, no ARRIVAL table,
    // and SITE only as a view: its name stays built in, its columns are still looked up.
    std::string sql = schemaSql(
        [](std::string_view n) {
            return n == "SITECHAN" || n == "STA" || n == "CHAN" || n == "GEOGRAPHIC_REGION" ||
                           n == "REGION"
                       ? lower(n)
                       : std::string(n);
        },
        T::ARRIVAL);
    sql += "drop table SITE;\ncreate view site as select 1 as nindex, 'x' as sta;\n";
    SchemaDictionary d;
    const SQLHDBC dbc = connectSqlite("DICT_LOWER", sql);
    ASSERT_NE(dbc, nullptr);
    d.refresh(dbc);
    EXPECT_EQ(d.table(T::SITECHAN), "sitechan");
    EXPECT_EQ(d.column(T::SITECHAN, "STA"), "sta");
    EXPECT_EQ(d.column(T::SITECHAN, "CHAN"), "chan");
    EXPECT_EQ(d.column(T::SITECHAN, "LAT"), "LAT");
    EXPECT_EQ(d.table(T::GEOGRAPHIC_REGION), "geographic_region");
    EXPECT_EQ(d.column(T::GEOGRAPHIC_REGION, "REGION"), "region");
    EXPECT_EQ(d.column(T::EARTHQUAKE, "REGION"), "region");
    EXPECT_EQ(d.table(T::ARRIVAL), "ARRIVAL");
    EXPECT_EQ(d.column(T::ARRIVAL, "STA"), "STA");
    EXPECT_EQ(d.table(T::SITE), "SITE");
    EXPECT_EQ(d.column(T::SITE, "NINDEX"), "nindex");
    EXPECT_EQ(d.column(T::SITE, "STA"), "sta");
    EXPECT_EQ(d.column(T::SITE, "ELEV"), "ELEV");

    // A second refresh on another database starts again from the built-in names.
    const SQLHDBC other = connectSqlite("DICT_UPPER2", schemaSql(identity));
    ASSERT_NE(other, nullptr);
    d.refresh(other);
    expectAllBuiltin(d);
}

TEST_F(SchemaDictionaryTest, StationAndChannelQueriesOnSqlite) {
    const SQLHDBC dbc =
        connectSqlite("DICT_QUERY", schemaSql(identity) + sitechanRows("SITECHAN", "STA", "CHAN") +
                                        "insert into SITECHAN (STA, CHAN) values (NULL, 'BHE');\n");
    ASSERT_NE(dbc, nullptr);
    SchemaDictionary d;
    d.refresh(dbc);
    CodeList stations;
    ASSERT_TRUE(queryStations(dbc, d, stations));
    // A code longer than 7 characters is left out and counted; a NULL code is no station.
    EXPECT_EQ(stations.codes, (std::vector<std::string>{"ABC", "O'B", "XYZ"}));
    EXPECT_EQ(stations.tooLong, 1u);
    EXPECT_EQ(stations.notInCodePage, 0u);

    CodeList channels;
    channels.codes = {"stale"};
    ASSERT_TRUE(queryChannels(dbc, d, "ABC", channels));
    EXPECT_EQ(channels.codes, (std::vector<std::string>{"BHN", "BHZ"}));
    // The apostrophe is a character of the code, not SQL.
    ASSERT_TRUE(queryChannels(dbc, d, "O'B", channels));
    EXPECT_EQ(channels.codes, (std::vector<std::string>{"HHE"}));
    ASSERT_TRUE(queryChannels(dbc, d, "LONGSTATION", channels));
    EXPECT_TRUE(channels.codes.empty());
    EXPECT_EQ(channels.tooLong, 1u);
    ASSERT_TRUE(queryChannels(dbc, d, "' or ''='", channels));
    EXPECT_TRUE(channels.codes.empty());
    EXPECT_EQ(channels.leftOut(), 0u);
    ASSERT_TRUE(queryChannels(dbc, d, "", channels));
    EXPECT_TRUE(channels.codes.empty());

    // A database without the table: both queries fail with the driver's word and leave the
    // lists alone.
    const SQLHDBC bare = connectSqlite("DICT_BARE", "create table OTHER(x);");
    ASSERT_NE(bare, nullptr);
    d.refresh(bare);
    stations.codes = {"kept"};
    EXPECT_FALSE(queryStations(bare, d, stations));
    EXPECT_EQ(stations.codes, (std::vector<std::string>{"kept"}));
    EXPECT_NE(stations.error.find("no such table"), std::string::npos) << stations.error;
    EXPECT_FALSE(queryChannels(bare, d, "ABC", stations));
    EXPECT_FALSE(stations.error.empty());
}

TEST_F(SchemaDictionaryTest, PostgresUnquotedNamesAreLowerCase) {
    PostgresServer& pg = PostgresServer::shared();
    ASSERT_TRUE(pg.running()) << pg.error();
    // Unquoted names fold to lower case; a second table spelled "SiteChan" (quoted) sorts
    // first, so the field takes that spelling and sitechan no longer matches.
    SchemaDictionary d;
    SQLHDBC dbc = connectServer(pg, "DICT_PG", "dict_pg",
                                schemaSql(identity) + sitechanRows("SITECHAN", "STA", "CHAN"));
    ASSERT_NE(dbc, nullptr);
    d.refresh(dbc);
    EXPECT_EQ(d.table(T::SITECHAN), "sitechan");
    EXPECT_EQ(d.column(T::SITECHAN, "STA"), "sta");
    EXPECT_EQ(d.table(T::GEOGRAPHIC_REGION), "geographic_region");
    EXPECT_EQ(d.column(T::ARRIVAL, "MWA"), "mwa");
    EXPECT_EQ(d.column(T::EARTHQUAKE, "I0"), "i0");
    CodeList stations;
    ASSERT_TRUE(queryStations(dbc, d, stations));
    EXPECT_EQ(stations.codes, (std::vector<std::string>{"ABC", "O'B", "XYZ"}));
    EXPECT_EQ(stations.tooLong, 1u);
    CodeList channels;
    ASSERT_TRUE(queryChannels(dbc, d, "O'B", channels));
    EXPECT_EQ(channels.codes, (std::vector<std::string>{"HHE"}));
    ASSERT_TRUE(queryChannels(dbc, d, "ABC", channels));
    EXPECT_EQ(channels.codes, (std::vector<std::string>{"BHN", "BHZ"}));

    std::string error;
    ASSERT_TRUE(
        pg.runSql("dict_pg", "create table \"SiteChan\" (\"Sta\" text, \"CHAN\" text);", &error))
        << error;
    d.refresh(dbc);
    EXPECT_EQ(d.table(T::SITECHAN), "SiteChan");
    EXPECT_EQ(d.column(T::SITECHAN, "STA"), "Sta");
    EXPECT_EQ(d.column(T::SITECHAN, "CHAN"), "CHAN");
}

// Codes kept in fixed-width character columns come back padded with blanks; a code ends at its
// last non-blank character, so the padded value neither reaches the lists nor is refused there.
TEST_F(SchemaDictionaryTest, PostgresFixedWidthCodesLoseTheirPadding) {
    PostgresServer& pg = PostgresServer::shared();
    ASSERT_TRUE(pg.running()) << pg.error();
    SQLHDBC dbc = connectServer(pg, "DICT_PG_CHAR", "dict_pg_char",
                                "create table sitechan (sta char(6), chan char(8));\n"
                                "insert into sitechan values ('ABC', 'BHZ'), ('ABC', 'BH'), "
                                "('A C', 'LONGCHAN'), ('XYZ', ' SHZ');\n");
    ASSERT_NE(dbc, nullptr);
    SchemaDictionary d;
    d.refresh(dbc);
    CodeList stations;
    ASSERT_TRUE(queryStations(dbc, d, stations));
    EXPECT_EQ(stations.codes, (std::vector<std::string>{"A C", "ABC", "XYZ"}));
    CodeList channels;
    ASSERT_TRUE(queryChannels(dbc, d, "ABC", channels));
    EXPECT_EQ(channels.codes, (std::vector<std::string>{"BH", "BHZ"}));
    // Eight characters are one too many, padding or not.
    ASSERT_TRUE(queryChannels(dbc, d, "A C", channels));
    EXPECT_TRUE(channels.codes.empty());
    EXPECT_EQ(channels.tooLong, 1u);
    // Only the padding goes: a leading blank is part of what the database holds.
    ASSERT_TRUE(queryChannels(dbc, d, "XYZ", channels));
    EXPECT_EQ(channels.codes, (std::vector<std::string>{" SHZ"}));
}

TEST_F(SchemaDictionaryTest, MariaDbMixedCaseNeedsTheCorrectedSpelling) {
    MariaDbServer& maria = MariaDbServer::shared();
    ASSERT_TRUE(maria.running()) << maria.error();
    const std::string sql = schemaSql(identity, T::SITECHAN) +
                            "create table SiteChan (NINDEX int, Sta varchar(20), CHAN "
                            "varchar(20), LAT float);\n" +
                            sitechanRows("SiteChan", "Sta", "CHAN");
    SQLHDBC dbc = connectServer(maria, "DICT_MARIA", "dict_maria", sql);
    ASSERT_NE(dbc, nullptr);

    // With the built-in spelling the table is not found: names are case-sensitive here.
    SchemaDictionary builtin;
    builtin.refresh(SQL_NULL_HDBC);
    CodeList stations;
    EXPECT_FALSE(queryStations(dbc, builtin, stations));
    EXPECT_NE(stations.error.find("SITECHAN"), std::string::npos) << stations.error;

    SchemaDictionary d;
    d.refresh(dbc);
    EXPECT_EQ(d.table(T::SITECHAN), "SiteChan");
    EXPECT_EQ(d.column(T::SITECHAN, "STA"), "Sta");
    EXPECT_EQ(d.column(T::SITECHAN, "LAT"), "LAT");
    // The few performance_schema tables listed alongside change nothing else.
    expectAllBuiltin(d, T::SITECHAN);
    ASSERT_TRUE(queryStations(dbc, d, stations));
    EXPECT_EQ(stations.codes, (std::vector<std::string>{"ABC", "O'B", "XYZ"}));
    CodeList channels;
    ASSERT_TRUE(queryChannels(dbc, d, "O'B", channels));
    EXPECT_EQ(channels.codes, (std::vector<std::string>{"HHE"}));

    // Then PostgreSQL: nothing of MariaDB's spelling survives.
    PostgresServer& pg = PostgresServer::shared();
    ASSERT_TRUE(pg.running()) << pg.error();
    dbc = connectServer(pg, "DICT_PG2", "dict_pg2", schemaSql(identity, T::SITECHAN));
    ASSERT_NE(dbc, nullptr);
    d.refresh(dbc);
    EXPECT_EQ(d.table(T::SITECHAN), "SITECHAN");
    EXPECT_EQ(d.column(T::SITECHAN, "STA"), "STA");
    EXPECT_EQ(d.table(T::SITE), "site");
}

// Codes in the database's own encoding arrive in code page 1251, whatever that encoding is;
// what the code page cannot hold is left out and counted, never offered garbled.
std::string cp(const char* utf8) {
    return cp1251::fromUtf8(utf8).value();
}

const char* const kCyrillicRows =
    "insert into sitechan (sta, chan) values ('АРТ', 'BHZ'), ('АРТ', 'ЮГ'), ('АРТЫ', 'BHN'), "
    "('НРД', 'BHZ'), ('😀', 'BHZ'), ('LONGSTA1', 'BHZ'), ('АРТ', 'LONGCHA1'), ('АРТ', 'E😀');\n";

void expectCyrillicCodes(SQLHDBC dbc, const SchemaDictionary& d) {
    CodeList stations;
    ASSERT_TRUE(queryStations(dbc, d, stations)) << stations.error;
    EXPECT_EQ(stations.codes, (std::vector<std::string>{cp("АРТ"), cp("АРТЫ"), cp("НРД")}));
    EXPECT_EQ(stations.notInCodePage, 1u);
    EXPECT_EQ(stations.tooLong, 1u);
    // The station is bound in code page 1251 as the record holds it.
    CodeList channels;
    ASSERT_TRUE(queryChannels(dbc, d, cp("АРТ"), channels)) << channels.error;
    EXPECT_EQ(channels.codes, (std::vector<std::string>{"BHZ", cp("ЮГ")}));
    EXPECT_EQ(channels.notInCodePage, 1u);
    EXPECT_EQ(channels.tooLong, 1u);
    ASSERT_TRUE(queryChannels(dbc, d, cp("АРТЫ"), channels));
    EXPECT_EQ(channels.codes, (std::vector<std::string>{"BHN"}));
}

TEST_F(SchemaDictionaryTest, CyrillicCodesFromSqlite) {
    const SQLHDBC dbc = connectSqlite(
        "DICT_CYR", std::string("create table sitechan (sta text, chan text);\n") + kCyrillicRows);
    ASSERT_NE(dbc, nullptr);
    SchemaDictionary d;
    d.refresh(dbc);
    expectCyrillicCodes(dbc, d);
}

TEST_F(SchemaDictionaryTest, CyrillicCodesFromAUtf8Postgres) {
    PostgresServer& pg = PostgresServer::shared();
    ASSERT_TRUE(pg.running()) << pg.error();
    SQLHDBC dbc = connectServer(pg, "DICT_PG_CYR", "dict_pg_cyr",
                                std::string("create table sitechan (sta varchar(20), chan "
                                            "varchar(20));\n") +
                                    kCyrillicRows);
    ASSERT_NE(dbc, nullptr);
    SchemaDictionary d;
    d.refresh(dbc);
    expectCyrillicCodes(dbc, d);
}

TEST_F(SchemaDictionaryTest, CyrillicCodesFromAMariaDbUtf8mb4Table) {
    MariaDbServer& maria = MariaDbServer::shared();
    ASSERT_TRUE(maria.running()) << maria.error();
    SQLHDBC dbc = connectServer(maria, "DICT_MARIA_CYR", "dict_maria_cyr",
                                std::string("set names utf8mb4;\n"
                                            "create table sitechan (sta varchar(20), chan "
                                            "varchar(20)) character set utf8mb4;\n") +
                                    kCyrillicRows);
    ASSERT_NE(dbc, nullptr);
    SchemaDictionary d;
    d.refresh(dbc);
    expectCyrillicCodes(dbc, d);
}

// The query timeout as a test sets it, and as it was again afterwards.
class QueryTimeout {
  public:
    explicit QueryTimeout(SQLULEN seconds) : saved_(odbc::timeouts()) {
        odbc::timeouts().querySeconds = seconds;
    }
    ~QueryTimeout() { odbc::timeouts() = saved_; }
    QueryTimeout(const QueryTimeout&) = delete;
    QueryTimeout& operator=(const QueryTimeout&) = delete;

  private:
    odbc::Timeouts saved_;
};

// The SQLite driver does not end a statement at the query timeout by itself: the statement is
// cancelled from outside and the query fails instead of running for minutes.
TEST_F(SchemaDictionaryTest, ASlowStationQueryIsCancelledWhereTheDriverKeepsNoTimeout) {
    const QueryTimeout timeout(1);
    const SQLHDBC dbc = connectSqlite(
        "DICT_SQLITE_SLOW",
        "create view SITECHAN as with recursive c(x) as (select 1 union all select x + 1 from c "
        "where x < 4000000000) select 'A' || (x % 7) as STA, 'B' as CHAN from c;");
    ASSERT_NE(dbc, nullptr);
    SchemaDictionary d;
    d.refresh(dbc);
    CodeList stations;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(queryStations(dbc, d, stations));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 1 + 20);  // not the minutes the statement would run
    EXPECT_TRUE(stations.codes.empty());
}

// A statement the server takes too long over ends at the query timeout with the driver's
// error, on both servers.
TEST_F(SchemaDictionaryTest, SlowStationQueriesEndAtTheQueryTimeoutOnPostgresAndMariaDb) {
    const QueryTimeout timeout(2);
    PostgresServer& pg = PostgresServer::shared();
    MariaDbServer& maria = MariaDbServer::shared();
    ASSERT_TRUE(pg.running()) << pg.error();
    ASSERT_TRUE(maria.running()) << maria.error();
    struct Case {
        DatabaseServer* server;
        const char* dsn;
        const char* database;
        const char* sql;
    };
    for (const Case& c : {Case{&pg, "DICT_PG_SLOW", "dict_pg_slow",
                               "create view sitechan as select 'A'::text as sta, 'B'::text as chan "
                               "from pg_sleep(30);"},
                          Case{&maria, "DICT_MARIA_SLOW", "dict_maria_slow",
                               "create view SITECHAN as select 'A' as STA, 'B' as CHAN from "
                               "(select sleep(30)) as s;"}}) {
        const SQLHDBC dbc = connectServer(*c.server, c.dsn, c.database, c.sql);
        ASSERT_NE(dbc, nullptr) << c.dsn;
        SchemaDictionary d;
        d.refresh(dbc);
        CodeList stations;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = queryStations(dbc, d, stations);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 2 + 5) << c.dsn;
        if (ok) {
            // MariaDB ends a statement at its time limit by returning what it has, or fails.
            EXPECT_TRUE(stations.codes.empty() || stations.codes.size() == 1) << c.dsn;
        } else {
            EXPECT_FALSE(stations.error.empty()) << c.dsn;
        }
        ConnectionSettings::release();
    }
}

}  // namespace
}  // namespace vorda
