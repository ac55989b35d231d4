// Arbitrary bytes as a settings file: loaded, saved, loaded again. Any crash or sanitizer report
// is a finding; so is a loaded record that breaks its invariants.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "database/connection_settings.h"
#include "settings/settings_file.h"

namespace {

std::string& workFile() {
    static std::string path = [] {
        char dir[] = "/tmp/vorda-fuzz-XXXXXX";
        if (::mkdtemp(dir) == nullptr) {
            std::abort();
        }
        return std::string(dir) + "/s.ini";
    }();
    return path;
}

void checkInvariants(const vorda::SettingsRecord& r) {
    if (r.groupCount < 0 || static_cast<std::size_t>(r.groupCount) > r.groups.size() ||
        r.groups.size() > static_cast<std::size_t>(vorda::kMaxGroups)) {
        std::abort();
    }
    for (const auto& g : r.groups) {
        for (const auto& c : g.channels) {
            // Every code read is one the file can hold as a channel code.
            if (!vorda::checkCode(vorda::CodeKind::Channel, c.code)) {
                std::abort();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = workFile();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        std::abort();
    }
    vorda::Environment env;
    env.args = {"vorda-settings", path};
    env.currentDir = "/tmp";

    vorda::SettingsRecord first;
    vorda::SettingsFile file;
    // The file was just written: reading it never fails.
    if (!vorda::loadSettings(first, file, env).ok) {
        std::abort();
    }
    checkInvariants(first);
    const vorda::ConnectionValues values{first.dataSource, first.user, first.password,
                                         first.dataDir};
    if (vorda::saveSettings(first, file, values).ok) {
        vorda::SettingsRecord second;
        vorda::SettingsFile again;
        if (!vorda::loadSettings(second, again, env).ok) {
            std::abort();
        }
        checkInvariants(second);
        // What was written reads back as the same groups with the same channels, and whole.
        if (second.groups.size() != first.groups.size() || !again.channelListNotes.empty()) {
            std::abort();
        }
        for (std::size_t i = 0; i < first.groups.size(); ++i) {
            if (second.groups.at(i).channels.size() != first.groups.at(i).channels.size()) {
                std::abort();
            }
        }
    }
    return 0;
}
