#pragma once
// The settings file's section and key names, as the reading service reads them; the loading, the
// save, the merge and the code rules all spell them from here.
#include <array>
#include <string>
#include <string_view>

namespace vorda::keys {

inline constexpr std::string_view kSystem = "SYSTEM";
inline constexpr std::string_view kLog = "LOG";
inline constexpr std::string_view kDatabase = "DATABASE";
inline constexpr std::string_view kData = "DATA";

// [SYSTEM]
inline constexpr std::string_view kServer = "SERVER";
inline constexpr std::string_view kMode = "MODE";
inline constexpr std::string_view kScreen = "SCREEN";
inline constexpr std::string_view kSizeMb = "SIZEMB";  // also a group's
inline constexpr std::string_view kGroups = "GROUPS";
// [LOG] and [DATA]
inline constexpr std::string_view kDir = "DIR";
// [DATABASE]
inline constexpr std::string_view kOdbc = "ODBC";
inline constexpr std::string_view kUser = "USER";
inline constexpr std::string_view kPassword = "PASSWORD";

// [GROUPn]: the group's own keys, beside each channel's time (the code) and data file name
// ("FILE_" and the code).
inline constexpr std::string_view kStation = "STATION";
inline constexpr std::string_view kSps = "SPS";
inline constexpr std::string_view kChan = "CHAN";
inline constexpr std::array<std::string_view, 4> kGroupKeys = {kStation, kSizeMb, kSps, kChan};
inline constexpr std::string_view kFilePrefix = "FILE_";

// The section of the group in place `number` (from 1).
inline std::string groupSection(int number) {
    return "GROUP" + std::to_string(number);
}

// The key of a channel's data file name.
inline std::string fileKey(std::string_view code) {
    std::string key(kFilePrefix);
    key.append(code);
    return key;
}

}  // namespace vorda::keys
