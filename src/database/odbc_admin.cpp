#include "database/odbc_admin.h"

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "database/odbc.h"
#include "platform/cp1251.h"
#include "platform/text.h"
#include "resources/texts.h"

namespace vorda {
namespace {

// Lists are returned by the installer as names ended by NUL, the whole ended by a second NUL.
constexpr std::size_t kListBuffer = std::size_t{64} * 1024;
constexpr std::size_t kValueBuffer = 4096;

// Holds the installer in one configuration mode (user or system data sources) for the life of
// the object, then puts it back to both, its usual mode.
class ConfigMode {
  public:
    explicit ConfigMode(UWORD mode) { SQLSetConfigMode(mode); }
    ~ConfigMode() { SQLSetConfigMode(ODBC_BOTH_DSN); }
    ConfigMode(const ConfigMode&) = delete;
    ConfigMode& operator=(const ConfigMode&) = delete;
};

std::vector<std::string> splitList(const std::vector<char>& buffer, std::size_t length) {
    std::vector<std::string> items;
    std::size_t i = 0;
    const std::size_t end = std::min(length, buffer.size());
    while (i < end && buffer[i] != '\0') {
        const std::size_t n = ::strnlen(buffer.data() + i, end - i);
        items.emplace_back(buffer.data() + i, n);
        i += n + 1;
    }
    return items;
}

// The sections (nullptr section) or the keys of a section of odbc.ini in the current mode.
std::vector<std::string> listOf(const char* section) {
    std::vector<char> buffer(kListBuffer, '\0');
    const int n = SQLGetPrivateProfileString(section, nullptr, "", buffer.data(),
                                             static_cast<int>(buffer.size()), "odbc.ini");
    if (n <= 0) {
        return {};
    }
    return splitList(buffer, buffer.size());
}

std::string valueOf(const std::string& section, const std::string& key) {
    std::vector<char> buffer(kValueBuffer, '\0');
    SQLGetPrivateProfileString(section.c_str(), key.c_str(), "", buffer.data(),
                               static_cast<int>(buffer.size()), "odbc.ini");
    return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}

// Sections of odbc.ini that are settings of the driver manager, not data sources.
bool isDataSource(std::string_view section) {
    return section != "ODBC" && section != "ODBC Data Sources";
}

// Why the user odbc.ini cannot be written, naming the file; what the installer says is only
// "request failed". Opening for appending creates a missing file, as the write would.
Status checkUserFileWritable() {
    const std::string path = userOdbcIniPath();
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        return Status::failure(
            texts::format(texts::kOdbcFileNotWritable, {path, texts::systemError(errno)}));
    }
    std::fclose(file);
    return Status::success();
}

// The installer's first error message, after the file it could not write.
Status installerFailure() {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH] = {};
    WORD length = 0;
    std::string why = texts::format(texts::kOdbcFileNotWritten, {userOdbcIniPath()});
    const RETCODE rc = SQLInstallerError(1, &code, message, sizeof message, &length);
    if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && message[0] != '\0') {
        why += std::string(" (") + message + ")";
    }
    return Status::failure(why);
}

// A value for a connection string: in braces when it holds a character that would end it.
std::string connectionValue(const std::string& value) {
    if (value.find_first_of(";{}") == std::string::npos && value.find('=') == std::string::npos &&
        (value.empty() || (value.front() != ' ' && value.back() != ' '))) {
        return value;
    }
    std::string braced = "{";
    for (const char c : value) {
        braced.push_back(c);
        if (c == '}') {
            braced.push_back('}');
        }
    }
    return braced + "}";
}

// Characters the driver manager reserves in data source names.
constexpr std::string_view kReservedInNames = "[]{}(),;?*=!@\\";
// Characters that would make an attribute's name something else in odbc.ini.
constexpr std::string_view kReservedInKeys = "=[];";

}  // namespace

Status checkDataSourceName(std::string_view name) {
    const auto refuse = [&](const std::string& why) {
        return Status::failure(texts::format(texts::kBadDsnName, {name, why}));
    };
    if (name.empty()) {
        return refuse(std::string(texts::kNameEmpty));
    }
    if (trimBlanks(name) != name) {
        return refuse(std::string(texts::kNameEdgeBlank));
    }
    // odbc.ini is UTF-8; the settings file that names the data source keeps code page 1251.
    const std::optional<std::string> bytes1251 = cp1251::fromUtf8(name);
    if (!bytes1251 || bytes1251->find('\x98') != std::string::npos) {
        return refuse(std::string(texts::kDsnNameNotInCodePage));
    }
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f) {
            return refuse(std::string(texts::kKeyControlChar));
        }
        if (kReservedInNames.find(c) != std::string_view::npos) {
            return refuse(texts::format(texts::kNameReservedChar, {std::string_view(&c, 1)}));
        }
    }
    if (name.size() > SQL_MAX_DSN_LENGTH) {
        return refuse(texts::format(texts::kDsnNameTooLong, {std::to_string(SQL_MAX_DSN_LENGTH)}));
    }
    // The driver manager's own test, should its rule ever be stricter than ours.
    if (!SQLValidDSN(std::string(name).c_str())) {
        return refuse(std::string(texts::kDsnNameRefusedByDriverManager));
    }
    return Status::success();
}

Status checkAttributeKey(std::string_view key) {
    const auto refuse = [&](const std::string& why) {
        return Status::failure(texts::format(texts::kBadDsnParameter, {key, why}));
    };
    if (key.empty()) {
        return refuse(std::string(texts::kNameEmpty));
    }
    if (trimBlanks(key) != key) {
        return refuse(std::string(texts::kNameEdgeBlank));
    }
    for (const char c : key) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return refuse(std::string(texts::kKeyControlChar));
        }
        if (kReservedInKeys.find(c) != std::string_view::npos) {
            return refuse(texts::format(texts::kNameReservedChar, {std::string_view(&c, 1)}));
        }
    }
    if (key.front() == '#') {
        return refuse(std::string(texts::kKeyStartsWithHash));
    }
    if (equalsAsciiNoCase(key, "Driver")) {
        return refuse(std::string(texts::kDriverIsNoParameter));
    }
    return Status::success();
}

Status checkAttributeValue(std::string_view key, std::string_view value) {
    if (hasLineBreakOrNul(value)) {
        return Status::failure(texts::format(texts::kDsnParameterLineBreak, {key}));
    }
    return Status::success();
}

std::vector<OdbcDataSource> listOdbcDataSources() {
    std::vector<OdbcDataSource> sources;
    for (const bool system : {true, false}) {
        const ConfigMode mode(system ? ODBC_SYSTEM_DSN : ODBC_USER_DSN);
        for (const std::string& name : listOf(nullptr)) {
            if (isDataSource(name)) {
                sources.push_back({name, valueOf(name, "Driver"), system});
            }
        }
    }
    return sources;
}

std::vector<std::string> odbcDriverKeys(const std::string& driver) {
    // Told apart by the driver's library (odbcinst.ini), else by its registered name.
    std::vector<char> buffer(kValueBuffer, '\0');
    SQLGetPrivateProfileString(driver.c_str(), "Driver", "", buffer.data(),
                               static_cast<int>(buffer.size()), "odbcinst.ini");
    const std::string library = upperAscii(buffer.data());
    const std::string name = upperAscii(driver);
    const auto is = [&](std::initializer_list<const char*> marks) {
        for (const char* mark : marks) {
            if (library.find(mark) != std::string::npos || name.find(mark) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    if (is({"PSQLODBC", "POSTGRES"})) {
        return {"Servername", "Port", "Database"};
    }
    if (is({"MAODBC", "MARIADB", "MYODBC", "MYSQL"})) {
        return {"Server", "Port", "Database"};
    }
    if (is({"SQLITE"})) {
        return {"Database"};
    }
    return {};
}

std::string userOdbcIniPath() {
    if (const char* ini = std::getenv("ODBCINI"); ini != nullptr && *ini != '\0') {
        return ini;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw != nullptr ? pw->pw_dir : "";
    }
    return std::string(home) + "/.odbc.ini";
}

Status testOdbcConnection(const std::string& driver, const OdbcAttributes& attributes,
                          const std::string& user, const std::string& password, bool* cancelled) {
    std::string text = "DRIVER=" + connectionValue(driver) + ";";
    for (const auto& [key, value] : attributes) {
        text += key + "=" + connectionValue(value) + ";";
    }
    text += "UID=" + connectionValue(user) + ";PWD=" + connectionValue(password) + ";";
    odbc::Handle env = odbc::Handle::environment();
    odbc::Handle dbc = env ? odbc::Handle::allocate(SQL_HANDLE_DBC, env.get()) : odbc::Handle();
    if (!dbc) {
        return Status::failure(std::string(texts::kOdbcNotReady));
    }
    odbc::setConnectionTimeouts(dbc.get());
    const odbc::ConnectAttempt attempt =
        odbc::connectBounded(std::move(env), std::move(dbc), [text](SQLHDBC connection) {
            SQLSMALLINT outLength = 0;
            return SQLDriverConnect(connection, nullptr, odbc::text(text), SQL_NTS, nullptr, 0,
                                    &outLength, SQL_DRIVER_NOPROMPT);
        });
    if (cancelled != nullptr) {
        *cancelled = attempt.end == odbc::WaitEnd::Cancelled;
    }
    if (attempt.end != odbc::WaitEnd::Finished || odbc::failed(attempt.rc)) {
        return Status::failure(odbc::attemptFailure(attempt));
    }
    return Status::success();
}

std::vector<std::string> installedOdbcDrivers() {
    std::vector<char> buffer(kListBuffer, '\0');
    WORD length = 0;
    if (!SQLGetInstalledDrivers(buffer.data(), static_cast<WORD>(buffer.size() - 1), &length)) {
        return {};
    }
    std::vector<std::string> drivers;
    for (std::string& d : splitList(buffer, buffer.size())) {
        if (d != "ODBC") {
            drivers.push_back(std::move(d));
        }
    }
    return drivers;
}

OdbcAttributes odbcDataSourceAttributes(const std::string& name, bool isSystem) {
    OdbcAttributes attributes;
    if (name.empty()) {
        return attributes;
    }
    const ConfigMode mode(isSystem ? ODBC_SYSTEM_DSN : ODBC_USER_DSN);
    for (const std::string& key : listOf(name.c_str())) {
        if (equalsAsciiNoCase(key, "Driver")) {
            continue;
        }
        attributes.emplace_back(key, valueOf(name, key));
    }
    return attributes;
}

Status checkAttributes(const OdbcAttributes& attributes) {
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        const auto& [key, value] = attributes[i];
        if (Status s = checkAttributeKey(key); !s) {
            return s;
        }
        if (Status s = checkAttributeValue(key, value); !s) {
            return s;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (equalsAsciiNoCase(attributes[j].first, key)) {
                return Status::failure(
                    texts::format(texts::kBadDsnParameter, {key, texts::kKeyRepeated}));
            }
        }
    }
    return Status::success();
}

Status writeUserDataSource(const std::string& name, const std::string& driver,
                           const OdbcAttributes& attributes) {
    if (Status s = checkDataSourceName(name); !s) {
        return s;
    }
    if (driver.empty() || hasLineBreakOrNul(driver)) {
        return Status::failure(std::string(texts::kNoDsnDriver));
    }
    if (Status s = checkAttributes(attributes); !s) {
        return s;
    }
    if (Status s = checkUserFileWritable(); !s) {
        return s;
    }
    const ConfigMode mode(ODBC_USER_DSN);
    // Replaces a data source of that name with a fresh section holding only the driver.
    if (!SQLWriteDSNToIni(name.c_str(), driver.c_str())) {
        return installerFailure();
    }
    for (const auto& [key, value] : attributes) {
        if (!SQLWritePrivateProfileString(name.c_str(), key.c_str(), value.c_str(), "odbc.ini")) {
            return installerFailure();
        }
    }
    return Status::success();
}

Status removeUserDataSource(const std::string& name) {
    if (name.empty()) {
        return Status::failure(std::string(texts::kNoDsnName));
    }
    if (Status s = checkUserFileWritable(); !s) {
        return s;
    }
    const ConfigMode mode(ODBC_USER_DSN);
    if (!SQLRemoveDSNFromIni(name.c_str())) {
        return installerFailure();
    }
    return Status::success();
}

}  // namespace vorda
