#pragma once
// Managing ODBC data sources on a machine without a graphical ODBC administrator: listing the
// user and system data sources with their drivers, and adding, changing and removing user data
// sources through the unixODBC installer interface. Texts are the driver manager's (UTF-8/ASCII).
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace vorda {

using OdbcAttributes = std::vector<std::pair<std::string, std::string>>;

struct OdbcDataSource {
    std::string name;
    std::string driver;
    bool isSystem = false;
};

// Every system data source, then every user data source, with its driver (the order of the
// data source page's list).
std::vector<OdbcDataSource> listOdbcDataSources();

// The keys the installed driver reads for a data source, in the order they are offered: the
// server, port and database keys of the PostgreSQL and MariaDB drivers (each spells the server
// key its own way), the database file of the SQLite drivers; empty for a driver we do not know,
// whose keys are then given as free key/value pairs.
std::vector<std::string> odbcDriverKeys(const std::string& driver);

// The user odbc.ini of the driver manager: $ODBCINI, else ~/.odbc.ini.
std::string userOdbcIniPath();

// Connects with the driver, the attributes and the user and password as a data source of them
// would, without writing anything; waiting is bounded as for any connection. The error is the
// driver's diagnostic (UTF-8). When the operator stopped waiting, *cancelled (if given) is set:
// the attempt failed, but nothing went wrong to report.
Status testOdbcConnection(const std::string& driver, const OdbcAttributes& attributes,
                          const std::string& user, const std::string& password,
                          bool* cancelled = nullptr);

// The drivers installed in the driver manager (odbcinst.ini).
std::vector<std::string> installedOdbcDrivers();

// The attributes (keys other than Driver) of a data source, in file order.
OdbcAttributes odbcDataSourceAttributes(const std::string& name, bool isSystem);

// What the driver manager's files can hold, the one home of these rules: the data source
// manager's dialog checks what the operator typed with them, and writeUserDataSource checks
// again before anything is written. Each failure says what is wrong and why.

// A data source name (UTF-8, as odbc.ini keeps it): 1 to 32 bytes of printable characters that
// code page 1251 holds (the settings file names the data source in it), no blank at either end
// and none of []{}(),;?*=!@\ (which the driver manager's files and connection strings reserve).
Status checkDataSourceName(std::string_view name);

// The name of a data source's attribute (a key of its section in odbc.ini): not empty, no blank
// at either end, no control character, none of = [ ] ; and no '#' at the start, and not
// "Driver" in any letter case (the driver is given apart from the attributes).
Status checkAttributeKey(std::string_view key);

// The value of an attribute: no line break and no NUL byte.
Status checkAttributeValue(std::string_view key, std::string_view value);

// Every attribute checked as above, and no key twice (letter case aside, as drivers read them).
Status checkAttributes(const OdbcAttributes& attributes);

// Creates or replaces a user data source with the driver and attributes; refuses (writing
// nothing) what the checks above refuse, and an empty driver.
Status writeUserDataSource(const std::string& name, const std::string& driver,
                           const OdbcAttributes& attributes);

// Removes a user data source.
Status removeUserDataSource(const std::string& name);

}  // namespace vorda
