#include "database/connection_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include "database/odbc.h"
#include "platform/cp1251.h"
#include "support/db_servers.h"
#include "support/odbc_sandbox.h"
#include "support/silent_server.h"
#include "support/temp_dir.h"

namespace vorda {
namespace {

using test::OdbcSandbox;
using test::TempDir;

std::string cp(const char* utf8) {
    return cp1251::fromUtf8(utf8).value();
}

class ConnectionSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ConnectionSettings::release();
        ConnectionSettings::values() = {};
    }
    void TearDown() override { ConnectionSettings::release(); }

    // A process environment with the given arguments, our temporary folders as the current and
    // the system directory.
    Environment env(std::vector<std::string> args) const {
        Environment e;
        e.args = {"vorda-settings"};
        e.args.insert(e.args.end(), args.begin(), args.end());
        e.currentDir = current.path();
        e.systemDir = system.path();
        return e;
    }

    static ConnectionValues loaded(const Environment& e) {
        ConnectionSettings settings(e);
        EXPECT_TRUE(settings.load());
        return ConnectionSettings::values();
    }

    TempDir current;
    TempDir system;
};

TEST_F(ConnectionSettingsTest, ConstructorTakesTheUpperCaseTailFromTheFirstOdbcItem) {
    ConnectionSettings s(env({"my.ini", "odbc=seis", "user=op", "x odbc=other"}));
    EXPECT_EQ(s.commandTail, "ODBC=SEIS USER=OP X ODBC=OTHER");
    EXPECT_EQ(s.currentIniPath, current.file("ork.ini"));
    EXPECT_EQ(s.windowsIniPath, system.file("ZEL.ini"));
    EXPECT_TRUE(s.dataSources.empty());

    // Cyrillic letters are upper-cased as code page 1251 does it.
    ConnectionSettings cyr(env({"odbc=сейс", "user=оператор"}));
    EXPECT_EQ(cyr.commandTail, cp("ODBC=СЕЙС USER=ОПЕРАТОР"));

    ConnectionSettings none(env({"settings.ini", "user=op"}));
    EXPECT_EQ(none.commandTail, "");
}

TEST_F(ConnectionSettingsTest, CommandLineItemsInTheirOrderAndNoIniFileRead) {
    current.write("ork.ini", "[DATABASE]\r\nODBC=FROMINI\r\nUSER=INIUSER\r\n");
    ConnectionSettings::values().password = "keep";
    ConnectionSettings::values().dataDir = "/keep";
    ConnectionValues v = loaded(env({"settings.ini", "odbc=seis", "user=op"}));
    EXPECT_EQ(v.dataSource, "SEIS");
    EXPECT_EQ(v.user, "OP");
    EXPECT_EQ(v.password, "keep");
    EXPECT_EQ(v.dataDir, "/keep");

    // The second item does not begin with USER=: parsing stops there.
    ConnectionSettings::values() = {"", "prev", "", ""};
    v = loaded(env({"ODBC=A", "PASSWORD=B"}));
    EXPECT_EQ(v.dataSource, "A");
    EXPECT_EQ(v.user, "prev");
    EXPECT_EQ(v.password, "");

    // All four, split at runs of blanks; a fifth item is not looked at; the value is the text
    // after the first '='.
    v = loaded(env({"odbc=d", "", " user=u=1 ", "password=p", "data=c:\\zel", "odbc=z"}));
    EXPECT_EQ(v.dataSource, "D");
    EXPECT_EQ(v.user, "U=1");
    EXPECT_EQ(v.password, "P");
    EXPECT_EQ(v.dataDir, "C:\\ZEL");
}

TEST_F(ConnectionSettingsTest, ASecondLoadOfTheSameObjectSeesOnlyTheFirstItem) {
    ConnectionSettings s(env({"odbc=a", "user=b", "password=c"}));
    s.load();
    EXPECT_EQ(ConnectionSettings::values().user, "B");
    EXPECT_EQ(s.commandTail, "ODBC=A");
    ConnectionSettings::values() = {"edited", "edited", "edited", "edited"};
    s.load();
    const ConnectionValues& v = ConnectionSettings::values();
    EXPECT_EQ(v.dataSource, "A");
    EXPECT_EQ(v.user, "edited");
    EXPECT_EQ(v.password, "edited");
    // A fresh object sees the whole tail again.
    ConnectionSettings fresh(env({"odbc=a", "user=b"}));
    fresh.load();
    EXPECT_EQ(ConnectionSettings::values().user, "B");
}

TEST_F(ConnectionSettingsTest, IniFilesInTheirOrderOrTheDefaults) {
    // ork.ini without a data source and no ZEL.ini: the defaults, even though ork.ini names a user.
    current.write("ork.ini", "[DATABASE]\r\nODBC=\r\nUSER=ORKUSER\r\n[DATA]\r\nDIR=/ork\r\n");
    ConnectionValues v = loaded(env({}));
    EXPECT_EQ(v.dataSource, "ZEL");
    EXPECT_EQ(v.user, "ZEL");
    EXPECT_EQ(v.password, "QMX");
    EXPECT_EQ(v.dataDir, "D:\\Data");

    // ZEL.ini names the data source: all four come from it; what ork.ini had does not survive.
    system.write("ZEL.ini", "[DATABASE]\nODBC=X\nPASSWORD=\"secret\"\n");
    ConnectionSettings::values().user = "prev";
    v = loaded(env({"settings.ini"}));
    EXPECT_EQ(v.dataSource, "X");
    EXPECT_EQ(v.user, "");
    EXPECT_EQ(v.password, "secret");
    EXPECT_EQ(v.dataDir, "");

    // ork.ini naming a data source wins over ZEL.ini; keys match without regard to case.
    current.write("ork.ini", "[database]\nodbc = SEIS\nUser=op\n[Data]\ndir=/data/zel\n");
    v = loaded(env({}));
    EXPECT_EQ(v.dataSource, "SEIS");
    EXPECT_EQ(v.user, "op");
    EXPECT_EQ(v.password, "");
    EXPECT_EQ(v.dataDir, "/data/zel");

    // No ork.ini at all: ZEL.ini.
    std::remove(current.file("ork.ini").c_str());
    EXPECT_EQ(loaded(env({})).dataSource, "X");
}

// With no command-line item and no small INI file naming a data source, the settings file's own
// connection is kept rather than replaced by the defaults at the next save.
TEST_F(ConnectionSettingsTest, TheSettingsFileItselfComesBeforeTheDefaults) {
    current.write("ZEL_VurEV.ini",
                  "[DATABASE]\r\nODBC=SEIS\r\nUSER=operator\r\n[DATA]\r\nDIR=/srv/zel\r\n");
    ConnectionValues v = loaded(env({}));
    EXPECT_EQ(v.dataSource, "SEIS");
    EXPECT_EQ(v.user, "operator");
    EXPECT_EQ(v.password, "");
    EXPECT_EQ(v.dataDir, "/srv/zel");

    // The file the command line names is the one read.
    current.write("other.ini", "[DATABASE]\nODBC=OTHER\n");
    EXPECT_EQ(loaded(env({"other.ini"})).dataSource, "OTHER");

    // The other sources keep their order before it.
    current.write("ork.ini", "[DATABASE]\nODBC=ORK\n");
    EXPECT_EQ(loaded(env({})).dataSource, "ORK");
    EXPECT_EQ(loaded(env({"odbc=cmd"})).dataSource, "CMD");
    std::remove(current.file("ork.ini").c_str());
    system.write("ZEL.ini", "[DATABASE]\nODBC=SYS\n");
    EXPECT_EQ(loaded(env({})).dataSource, "SYS");
    std::remove(system.file("ZEL.ini").c_str());

    // A settings file that names no data source: the defaults.
    current.write("ZEL_VurEV.ini", "[DATABASE]\nUSER=operator\n");
    v = loaded(env({}));
    EXPECT_EQ(v.dataSource, "ZEL");
    EXPECT_EQ(v.user, "ZEL");
}

// The page says where the values came from, and whether a choice saved in the settings file gives
// way to an earlier source at the next start.
TEST_F(ConnectionSettingsTest, TheSourceOfTheValuesIsRecorded) {
    using S = ConnectionSource;
    const struct {
        const char* ork;       // ork.ini's data source (nullptr: no file)
        const char* zel;       // ZEL.ini's
        const char* settings;  // the settings file's
        std::vector<std::string> args;
        ConnectionSource source;
        const char* file;  // the file named, in the current directory ("/": the system one)
        const char* said;  // a part of the line the operator reads
        bool givesWay;     // the line says a choice here will be replaced
    } cases[] = {
        {"ORK", "SYS", "SET", {"odbc=cmd"}, S::CommandLine, "", "командной строки", true},
        {"ORK", "SYS", "SET", {}, S::CurrentIni, "ork.ini", "ork.ini (", true},
        {"", "SYS", "SET", {}, S::SystemIni, "/ZEL.ini", "ZEL.ini (", true},
        {nullptr, nullptr, "SET", {}, S::SettingsFile, "ZEL_VurEV.ini", "файла настроек", false},
        {"", "", "", {}, S::Defaults, "", "по умолчанию", false},
    };
    const auto write = [](TempDir& dir, const char* name, const char* source) {
        std::remove(dir.file(name).c_str());
        if (source != nullptr) {
            dir.write(name, std::string("[DATABASE]\nODBC=") + source + "\n");
        }
    };
    for (const auto& c : cases) {
        write(current, "ork.ini", c.ork);
        write(system, "ZEL.ini", c.zel);
        write(current, "ZEL_VurEV.ini", c.settings);
        loaded(env(c.args));
        const ConnectionOrigin& origin = ConnectionSettings::origin();
        EXPECT_EQ(origin.source, c.source) << c.said;
        const std::string file = c.file[0] == '\0'  ? ""
                                 : c.file[0] == '/' ? system.file(c.file + 1)
                                                    : current.file(c.file);
        EXPECT_EQ(origin.path, file) << c.said;
        const std::string line = connectionOriginText(origin);
        EXPECT_NE(line.find(c.said), std::string::npos) << line;
        EXPECT_NE(line.find(file), std::string::npos) << line;
        EXPECT_EQ(line.find("будет заменён") != std::string::npos, c.givesWay) << line;
    }
}

TEST_F(ConnectionSettingsTest, AConnectionFileThatIsNoRegularFileIsSkippedWithItsReason) {
    // A FIFO would block the read for ever: it is refused at once and the next file is read.
    ASSERT_EQ(::mkfifo(current.file("ork.ini").c_str(), 0600), 0);
    system.write("ZEL.ini", "[DATABASE]\nODBC=X\nUSER=U\n");
    ConnectionSettings s(env({}));
    s.load();
    EXPECT_EQ(ConnectionSettings::values().dataSource, "X");
    EXPECT_EQ(ConnectionSettings::values().user, "U");
    ASSERT_EQ(s.skippedFiles.size(), 1u);
    EXPECT_NE(s.skippedFiles[0].find(current.file("ork.ini")), std::string::npos);
    EXPECT_NE(s.skippedFiles[0].find("это не обычный файл"), std::string::npos);
}

TEST_F(ConnectionSettingsTest, ValuesAreCutToTheirLimits) {
    const std::string longText(3000, 'w');
    system.write("ZEL.ini", "[DATABASE]\nODBC=" + longText + "\nUSER=" + longText +
                                "\nPASSWORD=" + longText + "\n[DATA]\nDIR=" + longText + "\n");
    ConnectionValues v = loaded(env({}));
    EXPECT_EQ(v.dataSource.size(), 511u);
    EXPECT_EQ(v.user.size(), 127u);
    EXPECT_EQ(v.password.size(), 127u);
    EXPECT_EQ(v.dataDir.size(), 2047u);

    v = loaded(
        env({"odbc=" + longText, "user=" + longText, "password=" + longText, "data=" + longText}));
    EXPECT_EQ(v.dataSource, std::string(511, 'W'));
    EXPECT_EQ(v.user.size(), 127u);
    EXPECT_EQ(v.password.size(), 127u);
    EXPECT_EQ(v.dataDir.size(), 2047u);
}

TEST_F(ConnectionSettingsTest, TheConfiguredDataSourceIsFoundByItsWholeName) {
    const std::vector<DataSourceEntry> listed = {
        {"SEIS2", true}, {"SEIS", true}, {cp("Демо"), false}, {"SEIS", false}};
    // The whole name wins over one that only begins the same; letter case does not count,
    // Cyrillic letters included; the first of two equal names is taken.
    EXPECT_EQ(findDataSourceEntry(listed, "seis"), 1);
    EXPECT_EQ(findDataSourceEntry(listed, cp("ДЕМО")), 2);
    EXPECT_EQ(findDataSourceEntry(listed, "SEIS2"), 0);
    EXPECT_EQ(findDataSourceEntry(listed, "SEI"), -1);
    EXPECT_EQ(findDataSourceEntry(listed, "OTHER"), -1);
    EXPECT_EQ(findDataSourceEntry(listed, ""), -1);
    EXPECT_EQ(findDataSourceEntry({}, "SEIS"), -1);
}

// --- Against the real driver manager ----------------------------------------------------------

class OdbcConnectionTest : public ConnectionSettingsTest {
  protected:
    OdbcSandbox sandbox;
};

TEST_F(OdbcConnectionTest, DataSourcesSystemFirstThenUser) {
    {
        ConnectionSettings empty(env({}));
        empty.enumerateDataSources();
        EXPECT_TRUE(empty.dataSources.empty());
    }
    const std::string db = sandbox.createSqliteDatabase("list.db", "create table T(x);");
    sandbox.addSqliteDsn("LIST_TEST", db, false);
    sandbox.addSqliteDsn("LIST_SEIS", db, true);
    sandbox.addSqliteDsn("LIST_SEIS2", db, true);
    sandbox.addSqliteDsn("LIST_USER2", db, false);
    ConnectionSettings s(env({}));
    s.enumerateDataSources();
    ASSERT_EQ(s.dataSources.size(), 4u);
    EXPECT_EQ(s.dataSources[0].name, "LIST_SEIS");
    EXPECT_TRUE(s.dataSources[0].isSystem);
    EXPECT_EQ(s.dataSources[1].name, "LIST_SEIS2");
    EXPECT_TRUE(s.dataSources[1].isSystem);
    EXPECT_EQ(s.dataSources[2].name, "LIST_TEST");
    EXPECT_FALSE(s.dataSources[2].isSystem);
    EXPECT_EQ(s.dataSources[3].name, "LIST_USER2");
    EXPECT_FALSE(s.dataSources[3].isSystem);

    // A second listing replaces the first instead of adding to it.
    s.enumerateDataSources();
    EXPECT_EQ(s.dataSources.size(), 4u);
}

TEST_F(OdbcConnectionTest, EveryDataSourceIsListedWithItsNameInCodePage1251) {
    for (int i = 0; i < 300; ++i) {
        sandbox.addDsn("MANY_" + std::to_string(i), "SQLite3", {}, i < 10);
    }
    // The driver manager's files are UTF-8: a Cyrillic name is listed in code page 1251, one
    // that the code page cannot hold is left out and counted.
    const std::string db = sandbox.createSqliteDatabase("demo.db", "create table DEMO_T(x);");
    sandbox.addSqliteDsn("ДЕМО", db);
    sandbox.addSqliteDsn("中文", db);
    ConnectionSettings s(env({}));
    s.enumerateDataSources();
    ASSERT_EQ(s.dataSources.size(), 301u);
    EXPECT_TRUE(s.dataSources[9].isSystem);
    EXPECT_FALSE(s.dataSources[10].isSystem);
    EXPECT_EQ(s.dataSources[299].name, "MANY_299");
    EXPECT_EQ(s.dataSources[300].name, cp("ДЕМО"));
    EXPECT_EQ(s.dataSourcesLeftOut, 1u);

    // The name as the record holds it connects.
    ConnectionSettings::values() = {cp("ДЕМО"), "", "", ""};
    const ConnectOutcome out = s.connect(true);
    ASSERT_TRUE(out.connected) << out.text;
    EXPECT_NE(out.text.find(cp("DSN: ДЕМО\t")), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("\tDEMO_T\r\n"), std::string::npos) << out.text;
}

TEST_F(OdbcConnectionTest, ReportListsTheTablesInExactWords) {
    const std::string db = sandbox.createSqliteDatabase(
        "two.db", "create table A(x integer); create table B(y text); create view V as select 1;");
    sandbox.addSqliteDsn("REPORT_SEIS", db);
    ConnectionSettings::values() = {"REPORT_SEIS", "OP", "pw", "/zel"};
    ConnectionSettings s(env({}));
    const ConnectOutcome out = s.connect(true);
    EXPECT_TRUE(out.connected);
    EXPECT_TRUE(out.showBox);
    EXPECT_FALSE(out.isError);
    EXPECT_EQ(out.caption, cp("Подключение к источнику данных!"));
    EXPECT_EQ(out.text, cp("Успешное подключение к DSN: REPORT_SEIS\t\r\n"
                           "Пользователь: OP\r\n"
                           "\r\n"
                           "Количество таблиц: 2\r\n"
                           "\tA\r\n"
                           "\tB\r\n"));
    EXPECT_NE(ConnectionSettings::connection(), nullptr);

    // The connection stays open: a statement runs on it.
    odbc::Handle stmt = odbc::Handle::allocate(SQL_HANDLE_STMT, ConnectionSettings::connection());
    ASSERT_TRUE(stmt);
    const std::string sql = "select count(*) from A";
    EXPECT_FALSE(odbc::failed(SQLExecDirect(stmt.get(), odbc::text(sql), SQL_NTS)));
}

TEST_F(OdbcConnectionTest, ReportOfADatabaseWithoutTables) {
    const std::string db = sandbox.createSqliteDatabase("empty.db", "create view V as select 1;");
    sandbox.addSqliteDsn("REPORT_EMPTY", db);
    ConnectionSettings::values() = {"REPORT_EMPTY", "", "", ""};
    const ConnectOutcome out = ConnectionSettings(env({})).connect(true);
    EXPECT_TRUE(out.connected);
    EXPECT_EQ(out.text, cp("Успешное подключение к DSN: REPORT_EMPTY\t\r\n"
                           "Пользователь: \r\n\r\n"
                           "Количество таблиц: 0\r\n"));
}

TEST_F(OdbcConnectionTest, SilentConnectAndTheErrorBoxWithTheDiagnostic) {
    const std::string db = sandbox.createSqliteDatabase("silent.db", "create table A(x);");
    sandbox.addSqliteDsn("SILENT_OK", db);
    ConnectionSettings::values() = {"SILENT_OK", "u", "p", ""};
    ConnectionSettings s(env({}));
    ConnectOutcome out = s.connect(false);
    EXPECT_TRUE(out.connected);
    EXPECT_FALSE(out.showBox);
    EXPECT_TRUE(out.text.empty());

    // A data source the driver manager does not know: the error box, also without report.
    ConnectionSettings::values().dataSource = "NO_SUCH_DSN_HERE";
    for (const bool report : {false, true}) {
        out = s.connect(report);
        EXPECT_FALSE(out.connected);
        EXPECT_TRUE(out.showBox);
        EXPECT_TRUE(out.isError);
        EXPECT_EQ(out.caption, cp("Ошибка при подключении к базе данных"));
        EXPECT_EQ(out.text, cp("При попытке подключения к базе данных произошла ошибка:\r\n") +
                                "[unixODBC][Driver Manager]Data source name not found and no "
                                "default driver specified");
        // The failed connection is not kept.
        EXPECT_EQ(ConnectionSettings::connection(), nullptr);
    }

    // An empty data source name (Test with nothing selected) fails the same way.
    ConnectionSettings::values().dataSource = "";
    out = s.connect(true);
    EXPECT_FALSE(out.connected);
    EXPECT_TRUE(out.isError);

    // The driver's own diagnostic reaches the box: a database file that cannot be opened.
    sandbox.addSqliteDsn("BROKEN_FILE", sandbox.dir().file("missing-dir/none.db"));
    ConnectionSettings::values().dataSource = "BROKEN_FILE";
    out = s.connect(false);
    EXPECT_FALSE(out.connected);
    const std::string head = cp("При попытке подключения к базе данных произошла ошибка:\r\n");
    ASSERT_GT(out.text.size(), head.size());
    EXPECT_EQ(out.text.substr(0, head.size()), head);
    EXPECT_EQ(out.text.substr(head.size()), "[unixODBC][SQLite]connect failed");
}

TEST_F(OdbcConnectionTest, ReconnectReplacesTheConnectionAndDisconnectClosesIt) {
    const std::string db1 = sandbox.createSqliteDatabase("one.db", "create table ONE(x);");
    const std::string db2 = sandbox.createSqliteDatabase("two.db", "create table TWO(x);");
    sandbox.addSqliteDsn("RECONNECT_ONE", db1);
    sandbox.addSqliteDsn("RECONNECT_TWO", db2);
    ConnectionSettings s(env({}));
    ConnectionSettings::values().dataSource = "RECONNECT_ONE";
    ASSERT_TRUE(s.connect(false).connected);
    ConnectionSettings::values().dataSource = "RECONNECT_TWO";
    const ConnectOutcome out = s.connect(true);
    ASSERT_TRUE(out.connected);
    EXPECT_NE(out.text.find("\tTWO\r\n"), std::string::npos);
    EXPECT_EQ(out.text.find("ONE"), std::string::npos);

    s.disconnect();
    // The handle stays, but no statement runs on it any more.
    ASSERT_NE(ConnectionSettings::connection(), nullptr);
    odbc::Handle stmt = odbc::Handle::allocate(SQL_HANDLE_STMT, ConnectionSettings::connection());
    EXPECT_FALSE(stmt);
    s.disconnect();  // twice does no harm
    ConnectionSettings::release();
    EXPECT_EQ(ConnectionSettings::connection(), nullptr);
}

TEST_F(OdbcConnectionTest, WrongPasswordGivesTheServersDiagnostic) {
    test::MariaDbServer& server = test::MariaDbServer::shared();
    ASSERT_TRUE(server.running()) << server.error();
    std::string error;
    ASSERT_TRUE(server.createDatabase("conn_pw", "create table SITECHAN (STA varchar(8));", &error))
        << error;
    sandbox.addDsn("PASSWORD_CHECK", server.driver(), server.dsnAttributes("conn_pw"));
    ConnectionSettings s(env({}));
    ConnectionSettings::values() = {"PASSWORD_CHECK", server.user(), "wrong", ""};
    const ConnectOutcome out = s.connect(false);
    EXPECT_FALSE(out.connected);
    EXPECT_TRUE(out.showBox);
    EXPECT_TRUE(out.isError);
    EXPECT_NE(out.text.find("Access denied for user 'root'"), std::string::npos) << out.text;
    EXPECT_EQ(ConnectionSettings::connection(), nullptr);

    ConnectionSettings::values().password = "";
    const ConnectOutcome ok = s.connect(true);
    ASSERT_TRUE(ok.connected) << ok.text;
    EXPECT_NE(ok.text.find(cp("Пользователь: root\r\n\r\nКоличество таблиц: ")), std::string::npos)
        << ok.text;
    EXPECT_NE(ok.text.find("\tSITECHAN\r\n"), std::string::npos) << ok.text;
}

// A server that accepts the connection and never answers: the wait ends at the bound with the
// connection error, for a driver that keeps the login timeout (PostgreSQL) and for one that does
// not while it reads the server's greeting (MariaDB).
class BoundedWaitTest : public OdbcConnectionTest {
  protected:
    void SetUp() override {
        OdbcConnectionTest::SetUp();
        saved_ = odbc::timeouts();
        odbc::timeouts().loginSeconds = 2;
    }
    void TearDown() override {
        // Attempts given up on return once the server goes, and no thread outlives the test.
        silent.close();
        EXPECT_TRUE(odbc::settleAbandonedAttempts(std::chrono::seconds(10)));
        odbc::timeouts() = saved_;
        odbc::setWaiter({});
        OdbcConnectionTest::TearDown();
    }

    // Seconds that connect() took, with its outcome.
    double timedConnect(const std::string& dsn, ConnectOutcome& out) {
        ConnectionSettings::values() = {dsn, "nobody", "", ""};
        const auto start = std::chrono::steady_clock::now();
        out = ConnectionSettings(env({})).connect(false);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    test::SilentServer silent;
    odbc::Timeouts saved_;
};

TEST_F(BoundedWaitTest, ASilentServerGivesTheConnectionErrorWithinTheBound) {
    sandbox.addDsn("SILENT_PG", "PostgreSQL Unicode",
                   {{"Servername", "127.0.0.1"}, {"Port", std::to_string(silent.port())}});
    sandbox.addDsn("SILENT_MARIA", "MariaDB Unicode",
                   {{"Server", "127.0.0.1"}, {"Port", std::to_string(silent.port())}});
    for (const char* dsn : {"SILENT_PG", "SILENT_MARIA"}) {
        ConnectOutcome out;
        const double seconds = timedConnect(dsn, out);
        EXPECT_FALSE(out.connected) << dsn;
        EXPECT_TRUE(out.isError) << dsn;
        EXPECT_EQ(out.caption, cp("Ошибка при подключении к базе данных"));
        // The login timeout and the two seconds granted past it, with room for a loaded machine.
        EXPECT_LT(seconds, 2 + 2 + 3) << dsn << ": " << out.text;
        EXPECT_EQ(ConnectionSettings::connection(), nullptr);
    }
}

TEST_F(BoundedWaitTest, TheOperatorMayStopWaiting) {
    sandbox.addDsn("SILENT_CANCEL", "MariaDB Unicode",
                   {{"Server", "127.0.0.1"}, {"Port", std::to_string(silent.port())}});
    int waits = 0;
    odbc::setWaiter([&](const std::function<bool()>& finished, auto) {
        ++waits;
        EXPECT_FALSE(finished());
        return odbc::WaitEnd::Cancelled;
    });
    ConnectOutcome out;
    const double seconds = timedConnect("SILENT_CANCEL", out);
    EXPECT_EQ(waits, 1);
    EXPECT_LT(seconds, 1.0);
    EXPECT_FALSE(out.connected);
    EXPECT_NE(out.text.find(cp("Подключение отменено.")), std::string::npos) << out.text;
    // Stopping the wait is the operator's own choice, not an error to be shown.
    EXPECT_FALSE(out.showBox);
    EXPECT_FALSE(out.isError);
    // The attempt's thread is still inside the driver, waiting for the silent server.
    EXPECT_FALSE(odbc::settleAbandonedAttempts(std::chrono::milliseconds(0)));

    // A waiter that lets the call finish gets the connection as usual.
    const std::string db = sandbox.createSqliteDatabase("quick.db", "create table Q(x);");
    sandbox.addSqliteDsn("QUICK_WAIT", db);
    odbc::setWaiter([](const std::function<bool()>& finished, auto) {
        while (!finished()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return odbc::WaitEnd::Finished;
    });
    EXPECT_TRUE(timedConnect("QUICK_WAIT", out) >= 0 && out.connected) << out.text;
}

}  // namespace
}  // namespace vorda
