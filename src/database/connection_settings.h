#pragma once
// How the program reaches the seismic database over ODBC: the data source name, user,
// password and the data directory that travels with them, where they come from, the data
// sources defined on the machine, and the one connection. Texts are code page 1251.
#include <sql.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/profile_document.h"
#include "settings/connection_values.h"

namespace vorda {

struct DataSourceEntry {
    std::string name;
    bool isSystem = false;
};

// What connect() has to tell the operator: a box with its caption and text (code page 1251).
struct ConnectOutcome {
    bool connected = false;
    // false only for a silent success, a failed handle allocation or a wait the operator cancelled
    bool showBox = false;
    bool isError = false;  // error box (stop icon) or report box (information icon)
    std::string caption;
    std::string text;
};

// The entry of a data source list that shows the configured name: the first whose name equals
// it without regard to letter case. A name that only begins the same (seis and SEIS2) is another
// data source; -1 when no listed name is the configured one, which is then shown as it is,
// marked as not found.
int findDataSourceEntry(const std::vector<DataSourceEntry>& entries, const std::string& name);

// Where the connection values came from.
enum class ConnectionSource : std::uint8_t {
    Defaults,
    CommandLine,
    CurrentIni,    // ork.ini in the current directory
    SystemIni,     // ZEL.ini in the system directory
    SettingsFile,  // the settings file itself
};

struct ConnectionOrigin {
    ConnectionSource source = ConnectionSource::Defaults;
    std::string path;  // the file the values were read from (code page 1251)

    bool operator==(const ConnectionOrigin&) const = default;
};

// One line for the operator (UTF-8): where the values came from and, where a source read before
// the settings file names a data source, that a choice saved here gives way to it at the next
// start.
std::string connectionOriginText(const ConnectionOrigin& origin);

class ConnectionSettings {
  public:
    explicit ConnectionSettings(const Environment& env);
    virtual ~ConnectionSettings() = default;

    // Sets the class-wide values from the first source that names a data source: the command
    // line, ork.ini in the current directory, ZEL.ini in the system directory, the settings file
    // itself; otherwise the defaults. Always true. A connection file that exists but cannot be
    // read (not a regular file, no permission) counts as one without keys; skippedFiles then
    // says why.
    bool load();

    // Fills dataSources with the system, then the user data sources, every one of them; leaves
    // it as it was when the driver manager cannot be reached. The driver manager keeps names in
    // UTF-8; a name that code page 1251 cannot hold is left out and counted in
    // dataSourcesLeftOut.
    void enumerateDataSources();

    // Opens a new connection with the class-wide values; the previous one is closed and freed.
    // The outcome carries the report (when report is true) or the error box. Waiting is bounded
    // by odbc::timeouts(). Names, user and password reach the driver manager in UTF-8.
    ConnectOutcome connect(bool report);

    // Disconnects the current connection, if any.
    void disconnect();

    // The class-wide values, shared by every object.
    static ConnectionValues& values();
    // Where the last load took them from.
    static const ConnectionOrigin& origin();
    // The current connection handle, or SQL_NULL_HDBC.
    static SQLHDBC connection();
    // Closes and frees the class-wide connection and environment.
    static void release();

    std::string commandTail;     // upper case, from the first "ODBC=" on
    std::string windowsIniPath;  // system directory + "/ZEL.ini"
    std::string currentIniPath;  // current directory + "/ork.ini"
    std::string settingsPath;    // the settings file the command line names
    // The settings file as the program has already read it, if it has: taken instead of
    // reading the file again (not owned).
    const ProfileDocument* settingsDocument = nullptr;
    std::vector<DataSourceEntry> dataSources;
    std::size_t dataSourcesLeftOut = 0;
    std::vector<std::string> skippedFiles;  // by the last load: why each file was not read
};

}  // namespace vorda
