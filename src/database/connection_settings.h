#pragma once
// How the program reaches the seismic database over ODBC: the data source name, user,
// password and the data directory that travels with them, where they come from, the data
// sources defined on the machine, and the one connection. Texts are code page 1251.
#include <sql.h>

#include <string>
#include <vector>

#include "platform/environment.h"
#include "settings/connection_values.h"

namespace vorda {

struct DataSourceEntry {
    std::string name;
    bool isSystem = false;
};

// What connect() has to tell the operator: a box with its caption and text (code page 1251).
struct ConnectOutcome {
    bool connected = false;
    bool showBox = false;  // false only for a silent success or a failed handle allocation
    bool isError = false;  // error box (stop icon) or report box (information icon)
    std::string caption;
    std::string text;
};

class ConnectionSettings {
  public:
    explicit ConnectionSettings(const Environment& env);
    virtual ~ConnectionSettings() = default;

    // Sets the class-wide values from the command line, ork.ini in the current directory,
    // ZEL.ini in the system directory, or the defaults. Always true. A connection file that
    // exists but cannot be read (not a regular file, no permission) counts as one without keys;
    // skippedFiles then says why.
    bool load();

    // Fills dataSources with the system, then the user data sources (at most 256 in all);
    // leaves it as it was when the driver manager cannot be reached.
    void enumerateDataSources();

    // Opens a new connection with the class-wide values; the previous one is closed and freed.
    // The outcome carries the report (when report is true) or the error box.
    ConnectOutcome connect(bool report);

    // Disconnects the current connection, if any.
    void disconnect();

    // The class-wide values, shared by every object.
    static ConnectionValues& values();
    // The current connection handle, or SQL_NULL_HDBC.
    static SQLHDBC connection();
    // Closes and frees the class-wide connection and environment.
    static void release();

    std::string commandTail;     // upper case, from the first "ODBC=" on
    std::string windowsIniPath;  // system directory + "/ZEL.ini"
    std::string currentIniPath;  // current directory + "/ork.ini"
    std::vector<DataSourceEntry> dataSources;
    std::vector<std::string> skippedFiles;  // by the last load: why each file was not read

    static constexpr std::size_t kMaxDataSources = 256;
};

}  // namespace vorda
