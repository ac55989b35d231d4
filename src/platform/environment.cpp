#include "platform/environment.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/cp1251.h"

namespace vorda {

Environment Environment::fromProcess(int argc, char** argv) {
    Environment env;
    for (int i = 0; i < argc; ++i) {
        env.args.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    std::error_code ec;
    const auto dir = std::filesystem::current_path(ec);
    env.currentDir = ec ? std::string(".") : dir.string();
    // A relative $XDG_CACHE_HOME is to be ignored, as the base directory rules say.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (cache != nullptr && cache[0] == '/') {
        env.cacheDir = cache;
    } else if (home != nullptr && home[0] == '/') {
        env.cacheDir = joinPath(home, ".cache");
    }
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        env.stateDir = state;
    } else if (home != nullptr && home[0] == '/') {
        env.stateDir = joinPath(home, ".local/state");
    }
    const auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && value[0] != '\0';
    };
    env.renameExchange = !isSet("VORDA_NO_RENAME_EXCHANGE");
    env.displayNamed = isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM");
    return env;
}

std::string Environment::commandLine1251() const {
    std::string line;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (i > 1) {
            line.push_back(' ');
        }
        line += args[i];
    }
    return cp1251::fromUtf8Lossy(line);
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) {
        return name;
    }
    if (dir.back() == '/') {
        return dir + name;
    }
    return dir + "/" + name;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace vorda
