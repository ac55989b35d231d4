#include "support/odbc_sandbox.h"

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <sys/wait.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

namespace vorda::test {
namespace {

bool gSandboxAlive = false;

// Which data source each name stood for, across the sandboxes of this process.
std::map<std::string, std::string>& namesUsed() {
    static std::map<std::string, std::string> names;
    return names;
}

const TempDir& systemFolder() {
    static const TempDir folder;
    return folder;
}

void setVariable(const char* name, const std::string& value) {
    ::setenv(name, value.c_str(), 1);
}

std::string dsnBlock(const std::string& name, const std::string& driver,
                     const OdbcSandbox::Attributes& attributes) {
    std::string block = "[" + name + "]\nDriver=" + driver + "\n";
    for (const auto& [key, value] : attributes) {
        block += key + "=" + value + "\n";
    }
    return block;
}

bool systemFileSeen(const std::string& probe) {
    // The driver manager's view (SQLDataSources)...
    bool managerSees = false;
    SQLHENV env = SQL_NULL_HENV;
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) == SQL_SUCCESS) {
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLCHAR name[256];
        SQLCHAR description[256];
        SQLSMALLINT n1 = 0;
        SQLSMALLINT n2 = 0;
        SQLUSMALLINT direction = SQL_FETCH_FIRST_SYSTEM;
        for (int i = 0; i < 1000; ++i) {
            const SQLRETURN rc = SQLDataSources(env, direction, name, sizeof name, &n1, description,
                                                sizeof description, &n2);
            if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
                break;
            }
            direction = SQL_FETCH_NEXT;
            if (probe == reinterpret_cast<const char*>(name)) {
                managerSees = true;
            }
        }
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // ...and the installer library's (it keeps its own copy of the path).
    char sections[4096] = {};
    SQLSetConfigMode(ODBC_SYSTEM_DSN);
    SQLGetPrivateProfileString(nullptr, nullptr, "", sections, sizeof sections, "odbc.ini");
    SQLSetConfigMode(ODBC_BOTH_DSN);
    bool installerSees = false;
    for (const char* p = sections; *p != '\0' && p < sections + sizeof sections;
         p += std::strlen(p) + 1) {
        if (probe == p) {
            installerSees = true;
        }
    }
    return managerSees && installerSees;
}

}  // namespace

std::string iniSection(const std::string& bytes, const std::string& name) {
    const std::string header = "[" + name + "]";
    std::size_t at = 0;
    while ((at = bytes.find(header, at)) != std::string::npos) {
        if (at == 0 || bytes[at - 1] == '\n') {
            break;
        }
        ++at;
    }
    if (at == std::string::npos) {
        return {};
    }
    std::size_t end = bytes.find("\n[", at);
    end = end == std::string::npos ? bytes.size() : end + 1;
    std::string section = bytes.substr(at, end - at);
    if (!section.empty() && section.back() != '\n') {
        section.push_back('\n');
    }
    return section;
}

std::string OdbcSandbox::systemDir() {
    return systemFolder().path();
}

OdbcSandbox::OdbcSandbox() {
    if (gSandboxAlive) {
        throw std::logic_error("only one OdbcSandbox may exist at a time");
    }
    for (const char* var : {"ODBCINI", "ODBCSYSINI", "ODBCINSTINI"}) {
        if (const char* old = std::getenv(var)) {
            saved_.emplace_back(var, old);
        } else {
            unset_.emplace_back(var);
        }
    }
    static bool firstSandbox = true;
    const std::string drivers = readFile("/etc/odbcinst.ini");
    std::string odbcinst;
    for (const char* driver : {"SQLite3", "PostgreSQL Unicode", "MariaDB Unicode"}) {
        odbcinst += iniSection(drivers, driver);
    }
    if (iniSection(drivers, "SQLite3").empty()) {
        throw std::runtime_error("/etc/odbcinst.ini registers no SQLite3 driver (libsqliteodbc)");
    }
    writeFile(joinSystem("odbcinst.ini"), odbcinst);
    ::unsetenv("ODBCINSTINI");
    setVariable("ODBCSYSINI", systemDir());
    setVariable("ODBCINI", userIniPath());
    gSandboxAlive = true;

    if (firstSandbox) {
        // Make sure the driver manager has not fixed its system folder elsewhere already.
        firstSandbox = false;
        const std::string probe = "VORDA_SANDBOX_PROBE";
        systemIni_ = dsnBlock(probe, "SQLite3", {});
        writeFiles();
        const bool seen = systemFileSeen(probe);
        systemIni_.clear();
        if (!seen) {
            writeFiles();
            throw std::runtime_error(
                "unixODBC read ODBCSYSINI before the first OdbcSandbox; create the sandbox first");
        }
    }
    writeFiles();
}

OdbcSandbox::~OdbcSandbox() {
    systemIni_.clear();
    userIni_.clear();
    writeFiles();
    for (const auto& [var, value] : saved_) {
        setVariable(var.c_str(), value);
    }
    for (const auto& var : unset_) {
        ::unsetenv(var.c_str());
    }
    gSandboxAlive = false;
}

std::string OdbcSandbox::joinSystem(const std::string& name) {
    return systemDir() + "/" + name;
}

void OdbcSandbox::writeFiles() const {
    writeFile(userIniPath(), userIni_);
    writeFile(joinSystem("odbc.ini"), systemIni_);
}

std::string OdbcSandbox::createSqliteDatabase(const std::string& fileName,
                                              const std::string& sql) const {
    const std::string path = dir_.file(fileName);
    const std::string command = "sqlite3 -bail '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "w");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot start sqlite3");
    }
    std::fwrite(sql.data(), 1, sql.size(), pipe);
    const int status = ::pclose(pipe);
    if (status != 0) {
        throw std::runtime_error("sqlite3 failed on: " + sql);
    }
    return path;
}

void OdbcSandbox::addDsn(const std::string& name, const std::string& driver,
                         const Attributes& attributes, bool system) {
    const std::string block = dsnBlock(name, driver, attributes);
    auto [it, inserted] = namesUsed().emplace(name, block);
    if (!inserted && it->second != block) {
        throw std::logic_error("data source name " + name +
                               " already named another data source in this process; the "
                               "driver manager would still resolve it to the old one");
    }
    (system ? systemIni_ : userIni_) += block;
    writeFiles();
}

void OdbcSandbox::addSqliteDsn(const std::string& name, const std::string& databasePath,
                               bool system) {
    addDsn(name, "SQLite3", {{"Database", databasePath}}, system);
}

}  // namespace vorda::test
