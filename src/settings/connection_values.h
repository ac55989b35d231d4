#pragma once
// The four values that say how the program reaches the seismic database: the ODBC data source,
// user and password, and the ZEL data directory that travels with them. Texts are code page 1251.
#include <cstddef>
#include <string>

namespace vorda {

struct ConnectionValues {
    // The most characters each value holds; longer values are cut.
    static constexpr std::size_t kDataSourceLimit = 511;
    static constexpr std::size_t kUserLimit = 127;
    static constexpr std::size_t kPasswordLimit = 127;
    static constexpr std::size_t kDataDirLimit = 2047;

    std::string dataSource;
    std::string user;
    std::string password;
    std::string dataDir;

    bool operator==(const ConnectionValues&) const = default;

    // The values cut to their widths.
    ConnectionValues cutToLimits() const {
        return {dataSource.substr(0, kDataSourceLimit), user.substr(0, kUserLimit),
                password.substr(0, kPasswordLimit), dataDir.substr(0, kDataDirLimit)};
    }
};

}  // namespace vorda
