#include "database/odbc_admin.h"

#include <odbcinst.h>
#include <sql.h>

#include <cstring>
#include <string_view>

#include "resources/texts.h"

namespace vorda {
namespace {

// Lists are returned by the installer as names ended by NUL, the whole ended by a second NUL.
constexpr std::size_t kListBuffer = 64 * 1024;
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

// The installer's first error message, or the fallback.
std::string installerError(const std::string& fallback) {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH] = {};
    WORD length = 0;
    const RETCODE rc = SQLInstallerError(1, &code, message, sizeof message, &length);
    if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && message[0] != '\0') {
        return fallback + ": " + message;
    }
    return fallback;
}

bool hasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

Status checkName(const std::string& name) {
    if (name.empty() || trimmed(name) != name || hasLineBreakOrNul(name) ||
        !SQLValidDSN(name.c_str())) {
        return Status::failure(texts::format(texts::kBadDsnName, {name}));
    }
    return Status::success();
}

}  // namespace

std::vector<OdbcDataSource> listOdbcDataSources() {
    std::vector<OdbcDataSource> sources;
    for (const bool system : {false, true}) {
        const ConfigMode mode(system ? ODBC_SYSTEM_DSN : ODBC_USER_DSN);
        for (const std::string& name : listOf(nullptr)) {
            if (isDataSource(name)) {
                sources.push_back({name, valueOf(name, "Driver"), system});
            }
        }
    }
    return sources;
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
        if (key.size() == 6 && ::strncasecmp(key.c_str(), "Driver", 6) == 0) {
            continue;
        }
        attributes.emplace_back(key, valueOf(name, key));
    }
    return attributes;
}

Status writeUserDataSource(const std::string& name, const std::string& driver,
                           const OdbcAttributes& attributes) {
    if (Status s = checkName(name); !s) {
        return s;
    }
    if (driver.empty() || hasLineBreakOrNul(driver)) {
        return Status::failure(std::string(texts::kNoDsnDriver));
    }
    for (const auto& [key, value] : attributes) {
        if (key.empty() || trimmed(key) != key || hasLineBreakOrNul(key) ||
            key.find('=') != std::string::npos || key.front() == '[' || key.front() == ';' ||
            key.front() == '#') {
            return Status::failure(texts::format(texts::kBadDsnParameter, {key}));
        }
        if (hasLineBreakOrNul(value)) {
            return Status::failure(texts::format(texts::kDsnParameterLineBreak, {key}));
        }
        if (::strcasecmp(key.c_str(), "Driver") == 0) {
            return Status::failure(std::string(texts::kDriverIsNoParameter));
        }
    }
    const ConfigMode mode(ODBC_USER_DSN);
    // Replaces a data source of that name with a fresh section holding only the driver.
    if (!SQLWriteDSNToIni(name.c_str(), driver.c_str())) {
        return Status::failure(installerError(texts::format(texts::kDsnWriteFailed, {name})));
    }
    for (const auto& [key, value] : attributes) {
        if (!SQLWritePrivateProfileString(name.c_str(), key.c_str(), value.c_str(), "odbc.ini")) {
            return Status::failure(
                installerError(texts::format(texts::kDsnParameterWriteFailed, {key, name})));
        }
    }
    return Status::success();
}

Status removeUserDataSource(const std::string& name) {
    if (name.empty()) {
        return Status::failure(std::string(texts::kNoDsnName));
    }
    const ConfigMode mode(ODBC_USER_DSN);
    if (!SQLRemoveDSNFromIni(name.c_str())) {
        return Status::failure(installerError(texts::format(texts::kDsnRemoveFailed, {name})));
    }
    return Status::success();
}

}  // namespace vorda
