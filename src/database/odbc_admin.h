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

// Every user and system data source, with its driver.
std::vector<OdbcDataSource> listOdbcDataSources();

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
