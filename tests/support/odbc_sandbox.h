#pragma once
// A private ODBC configuration for one test: a user odbc.ini in a temporary folder (ODBCINI) and
// a system folder (ODBCSYSINI) whose odbcinst.ini registers the machine's SQLite3, PostgreSQL
// Unicode and MariaDB Unicode drivers. The environment variables are restored when it goes.
//
// Two quirks of unixODBC shape this helper:
//  - the driver manager reads ODBCSYSINI once per process, so every sandbox of a process shares
//    one system folder (created at the first sandbox, removed at exit) and rewrites its odbc.ini;
//  - the driver manager remembers, per process, which driver a data source name resolved to (or
//    that it resolved to none). A name connected to in one sandbox must therefore not name a
//    different data source in a later sandbox of the same process; addDsn() refuses that.
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace vorda::test {

class OdbcSandbox {
  public:
    using Attributes = std::vector<std::pair<std::string, std::string>>;

    OdbcSandbox();
    ~OdbcSandbox();
    OdbcSandbox(const OdbcSandbox&) = delete;
    OdbcSandbox& operator=(const OdbcSandbox&) = delete;

    // The temporary folder of this sandbox (removed with it).
    const TempDir& dir() const { return dir_; }
    std::string userIniPath() const { return dir_.file("odbc.ini"); }
    static std::string systemDir();

    // Creates a SQLite database file in the sandbox folder from SQL statements, run by the
    // sqlite3 program; returns its path. Throws when sqlite3 fails.
    std::string createSqliteDatabase(const std::string& fileName, const std::string& sql) const;

    // Adds a data source with the driver and attributes to the user (or system) odbc.ini.
    void addDsn(const std::string& name, const std::string& driver, const Attributes& attributes,
                bool system = false);
    // Adds a data source of the SQLite3 driver for the database file.
    void addSqliteDsn(const std::string& name, const std::string& databasePath,
                      bool system = false);

  private:
    static std::string joinSystem(const std::string& name);
    void writeFiles() const;

    TempDir dir_;
    std::vector<std::pair<std::string, std::string>> saved_;  // variable, old value
    std::vector<std::string> unset_;                          // variables that were not set
    std::string userIni_;
    std::string systemIni_;
};

// The bytes of one section ("[name]" up to the next header) of an ini file; empty if missing.
std::string iniSection(const std::string& fileBytes, const std::string& name);

}  // namespace vorda::test
