#pragma once
// Managing ODBC data sources on a machine without a graphical ODBC administrator: listing the
// user and system data sources with their drivers, and adding, changing and removing user data
// sources through the unixODBC installer interface. Texts are the driver manager's (UTF-8/ASCII).
#include <string>
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
// driver's diagnostic (UTF-8).
Status testOdbcConnection(const std::string& driver, const OdbcAttributes& attributes,
                          const std::string& user, const std::string& password);

// The drivers installed in the driver manager (odbcinst.ini).
std::vector<std::string> installedOdbcDrivers();

// The attributes (keys other than Driver) of a data source, in file order.
OdbcAttributes odbcDataSourceAttributes(const std::string& name, bool isSystem);

// Creates or replaces a user data source with the driver and attributes.
Status writeUserDataSource(const std::string& name, const std::string& driver,
                           const OdbcAttributes& attributes);

// Removes a user data source.
Status removeUserDataSource(const std::string& name);

}  // namespace vorda
