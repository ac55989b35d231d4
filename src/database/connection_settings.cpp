#include "database/connection_settings.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "database/odbc.h"
#include "platform/atomic_file.h"
#include "platform/cp1251.h"
#include "platform/profile_document.h"
#include "resources/texts.h"
#include "settings/settings_file.h"

namespace vorda {
namespace {

constexpr std::size_t kDataSourceLimit = ConnectionValues::kDataSourceLimit;
constexpr std::size_t kUserLimit = ConnectionValues::kUserLimit;
constexpr std::size_t kPasswordLimit = ConnectionValues::kPasswordLimit;
constexpr std::size_t kDataDirLimit = ConnectionValues::kDataDirLimit;
constexpr std::size_t kNameBuffer = 512;  // data source names and descriptions
constexpr std::size_t kTableBuffer = 64;  // table names in the connection report

// The values, the environment and the connection shared by every ConnectionSettings object.
// The connection is declared after the environment, so it goes first at exit.
struct Shared {
    ConnectionValues values;
    odbc::Handle environment;
    odbc::Handle connection;
    ConnectionOrigin origin;
};

Shared& shared() {
    static Shared s;
    return s;
}

std::string cut(std::string_view s, std::size_t limit) {
    return std::string(s.substr(0, limit));
}

// The program's own texts are written here in UTF-8 and shown in code page 1251.
std::string text1251(std::string_view utf8) {
    return cp1251::fromUtf8(utf8).value_or("");
}

// What the driver manager takes as text (data source names, user, password): UTF-8, the
// encoding of its files on this system.
std::string managerText(const std::string& bytes1251) {
    return cp1251::toUtf8(bytes1251);
}

// Splits at runs of blanks; leading and trailing blanks give no item.
std::vector<std::string_view> splitItems(std::string_view s) {
    std::vector<std::string_view> items;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') {
            ++i;
        }
        const std::size_t start = i;
        while (i < s.size() && s[i] != ' ') {
            ++i;
        }
        if (i > start) {
            items.push_back(s.substr(start, i - start));
        }
    }
    return items;
}

}  // namespace

int findDataSourceEntry(const std::vector<DataSourceEntry>& entries, const std::string& name) {
    if (name.empty()) {
        return -1;
    }
    const std::string wanted = cp1251::toUpper(name);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (cp1251::toUpper(entries[i].name) == wanted) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

ConnectionSettings::ConnectionSettings(const Environment& env) {
    currentIniPath = joinPath(env.currentDir, "ork.ini");
    windowsIniPath = joinPath(env.systemDir, "ZEL.ini");
    settingsPath = settingsFilePath(env);
    const std::string line = cp1251::toUpper(env.commandLine1251());
    const std::size_t at = line.find("ODBC=");
    if (at != std::string::npos) {
        commandTail = line.substr(at);
    }
}

ConnectionValues& ConnectionSettings::values() {
    return shared().values;
}

const ConnectionOrigin& ConnectionSettings::origin() {
    return shared().origin;
}

std::string connectionOriginText(const ConnectionOrigin& origin) {
    const std::string path = cp1251::toUtf8(origin.path);
    switch (origin.source) {
        case ConnectionSource::CommandLine:
            return std::string(texts::kOriginCommandLine);
        case ConnectionSource::CurrentIni:
            return texts::format(texts::kOriginConnectionFile, {"ork.ini", path});
        case ConnectionSource::SystemIni:
            return texts::format(texts::kOriginConnectionFile, {"ZEL.ini", path});
        case ConnectionSource::SettingsFile:
            return texts::format(texts::kOriginSettingsFile, {path});
        case ConnectionSource::Defaults:
            break;
    }
    return std::string(texts::kOriginDefaults);
}

SQLHDBC ConnectionSettings::connection() {
    return static_cast<SQLHDBC>(shared().connection.get());
}

bool ConnectionSettings::load() {
    ConnectionValues& v = values();

    // The items of the command line, in their fixed order; the stored tail keeps only the first
    // item, so a later load of this object sees nothing but the data source.
    static constexpr std::array<std::string_view, 4> kPrefixes = {
        "ODBC=", "USER=", "PASSWORD=", "DATA="};
    const std::vector<std::string_view> items = splitItems(commandTail);
    bool tookDataSource = false;
    for (std::size_t i = 0; i < items.size() && i < kPrefixes.size(); ++i) {
        const std::string_view item = items[i];
        if (!item.starts_with(kPrefixes[i])) {
            break;
        }
        const std::string_view value = item.substr(item.find('=') + 1);
        switch (i) {
            case 0:
                v.dataSource = cut(value, kDataSourceLimit);
                tookDataSource = true;
                break;
            case 1:
                v.user = cut(value, kUserLimit);
                break;
            case 2:
                v.password = cut(value, kPasswordLimit);
                break;
            default:
                v.dataDir = cut(value, kDataDirLimit);
                break;
        }
    }
    commandTail = items.empty() ? std::string() : std::string(items.front());
    if (tookDataSource) {
        shared().origin = {ConnectionSource::CommandLine, {}};
        return true;
    }

    // The first of the files that exists and names a data source supplies all four values. The
    // settings file comes last: it holds what was saved there when no other source named one
    // (and its loading reports it when it cannot be read).
    skippedFiles.clear();
    const std::array<std::pair<const std::string*, ConnectionSource>, 3> files = {{
        {&currentIniPath, ConnectionSource::CurrentIni},
        {&windowsIniPath, ConnectionSource::SystemIni},
        {&settingsPath, ConnectionSource::SettingsFile},
    }};
    for (const auto& [path, source] : files) {
        const bool alreadyRead = path == &settingsPath && settingsDocument != nullptr;
        if (!alreadyRead && !fileExists(*path)) {
            continue;
        }
        ProfileDocument readNow;
        if (!alreadyRead) {
            std::string bytes;
            bool exists = false;
            // A file that cannot be read reads as one without keys (and no bytes); the reason
            // is kept for the caller to report.
            if (Status st = readFileBytes(*path, bytes, exists); !st.ok && path != &settingsPath) {
                skippedFiles.push_back(st.error);
            }
            readNow = ProfileDocument::fromBytes(std::move(bytes));
        }
        const ProfileDocument& file = alreadyRead ? *settingsDocument : readNow;
        v.dataSource = file.getString("DATABASE", "ODBC", "", kDataSourceLimit);
        v.user = file.getString("DATABASE", "USER", "", kUserLimit);
        v.password = file.getString("DATABASE", "PASSWORD", "", kPasswordLimit);
        v.dataDir = file.getString("DATA", "DIR", "", kDataDirLimit);
        if (!v.dataSource.empty()) {
            shared().origin = {source, *path};
            return true;
        }
    }
    shared().origin = {ConnectionSource::Defaults, {}};

    v.dataSource = "ZEL";
    v.user = "ZEL";
    v.password = "QMX";
    v.dataDir = "D:\\Data";
    return true;
}

void ConnectionSettings::enumerateDataSources() {
    odbc::Handle env = odbc::Handle::environment();
    if (!env) {
        return;
    }
    std::vector<DataSourceEntry> found;
    std::size_t leftOut = 0;
    for (const SQLUSMALLINT first :
         {SQLUSMALLINT{SQL_FETCH_FIRST_SYSTEM}, SQLUSMALLINT{SQL_FETCH_FIRST_USER}}) {
        SQLUSMALLINT direction = first;
        std::array<SQLCHAR, kNameBuffer> name{};
        std::array<SQLCHAR, kNameBuffer> description{};
        odbc::fetchLoop(
            [&] {
                SQLSMALLINT nameLength = 0;
                SQLSMALLINT descriptionLength = 0;
                name[0] = '\0';
                const SQLRETURN rc = SQLDataSources(
                    env.get(), direction, name.data(), static_cast<SQLSMALLINT>(name.size()),
                    &nameLength, description.data(), static_cast<SQLSMALLINT>(description.size()),
                    &descriptionLength);
                direction = SQL_FETCH_NEXT;
                return rc;
            },
            [&] {
                const std::string utf8 = odbc::boundText(reinterpret_cast<const char*>(name.data()),
                                                         name.size(), SQL_NTS);
                if (std::optional<std::string> bytes = cp1251::fromUtf8(utf8)) {
                    found.push_back({std::move(*bytes), first == SQL_FETCH_FIRST_SYSTEM});
                } else {
                    ++leftOut;
                }
                return true;
            });
    }
    dataSources = std::move(found);
    dataSourcesLeftOut = leftOut;
}

ConnectOutcome ConnectionSettings::connect(bool report) {
    ConnectOutcome outcome;
    release();
    Shared& s = shared();
    const ConnectionValues& v = s.values;

    odbc::Handle env = odbc::Handle::allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    if (!env) {
        return outcome;
    }
    SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    odbc::Handle dbc = odbc::Handle::allocate(SQL_HANDLE_DBC, env.get());
    if (!dbc) {
        return outcome;
    }
    odbc::setConnectionTimeouts(dbc.get());

    odbc::ConnectAttempt attempt = odbc::connectBounded(
        std::move(env), std::move(dbc),
        [dataSource = managerText(v.dataSource), user = managerText(v.user),
         password = managerText(v.password)](SQLHDBC connection) {
            return SQLConnect(connection, odbc::text(dataSource), SQL_NTS, odbc::text(user),
                              SQL_NTS, odbc::text(password), SQL_NTS);
        });
    if (attempt.end == odbc::WaitEnd::Cancelled) {
        // The operator stopped waiting: no error, and nothing to show; the text says why.
        outcome.text = cp1251::fromUtf8Lossy(odbc::attemptFailure(attempt));
        return outcome;
    }
    if (attempt.end != odbc::WaitEnd::Finished || odbc::failed(attempt.rc)) {
        outcome.showBox = true;
        outcome.isError = true;
        outcome.caption = text1251(texts::kConnectErrorCaption);
        outcome.text = text1251(texts::kConnectErrorText) +
                       cp1251::fromUtf8Lossy(odbc::attemptFailure(attempt));
        return outcome;
    }
    s.environment = std::move(attempt.environment);
    s.connection = std::move(attempt.connection);
    outcome.connected = true;
    if (!report) {
        return outcome;
    }

    std::string text = text1251(texts::kConnectedTo) + v.dataSource + "\t\r\n" +
                       text1251(texts::kConnectedUser) + v.user + "\r\n\r\n";
    odbc::Handle stmt = odbc::statement(s.connection.get());
    if (stmt) {
        const odbc::StatementWatchdog watchdog(stmt.get());
        const std::string tableType = "'TABLE'";
        if (!odbc::failed(SQLTables(stmt.get(), nullptr, 0, nullptr, 0, nullptr, 0,
                                    odbc::text(tableType), SQL_NTS))) {
            std::array<SQLWCHAR, kTableBuffer> name{};
            SQLLEN indicator = 0;
            SQLBindCol(stmt.get(), 3, SQL_C_WCHAR, name.data(),
                       static_cast<SQLLEN>(name.size() * sizeof(SQLWCHAR)), &indicator);
            std::string lines;
            const std::size_t count = odbc::fetchAll(stmt.get(), [&] {
                lines += "\t" +
                         cp1251::fromUtf16Lossy(
                             odbc::boundWideText(name.data(), name.size(), indicator)) +
                         "\r\n";
                return true;
            });
            char countLine[64];
            std::snprintf(countLine, sizeof countLine, "%d\r\n", static_cast<int>(count));
            text += text1251(texts::kTableCount) + countLine + lines;
        }
        SQLCloseCursor(stmt.get());
    }
    outcome.showBox = true;
    outcome.caption = text1251(texts::kConnectReportCaption);
    outcome.text = std::move(text);
    return outcome;
}

void ConnectionSettings::disconnect() {
    Shared& s = shared();
    if (s.connection) {
        SQLDisconnect(s.connection.get());
    }
}

void ConnectionSettings::release() {
    Shared& s = shared();
    s.connection.reset();
    s.environment.reset();
}

}  // namespace vorda
