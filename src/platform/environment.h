#pragma once
// What the program reads of its process: arguments, current directory, system directory.
// Everything that needs one of these takes an Environment, so tests set their own.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vorda {

struct Environment {
    // argv[0] and the arguments after it, as the process got them (locale encoding, UTF-8).
    std::vector<std::string> args;
    // The current working directory, without a trailing slash (except for "/").
    std::string currentDir;
    // Where the system-wide connection file ZEL.ini lives.
    std::string systemDir = "/etc";
    // The user's cache folder ($XDG_CACHE_HOME, else $HOME/.cache); empty when neither is set,
    // and then nothing is kept there.
    std::string cacheDir;
    // The user's state folder ($XDG_STATE_HOME, else $HOME/.local/state); empty when neither is
    // set.
    std::string stateDir;
    // Whether a window system is named for the dialog: $DISPLAY or $WAYLAND_DISPLAY, or a Qt
    // platform in $QT_QPA_PLATFORM.
    bool displayNamed = true;
    // Whether saves may replace the file by exchanging it with a new one; false when
    // $VORDA_NO_RENAME_EXCHANGE is set (every save then writes the file in place).
    bool renameExchange = true;
    // The wall clock.
    std::function<std::chrono::system_clock::time_point()> now = [] {
        return std::chrono::system_clock::now();
    };

    // The process's own environment.
    static Environment fromProcess(int argc, char** argv);

    // The command line as one text: the arguments after argv[0] joined with single blanks,
    // converted to code page 1251 (characters it cannot hold become '?').
    std::string commandLine1251() const;
};

// Joins a directory and a file name with exactly one '/'.
std::string joinPath(const std::string& dir, const std::string& name);

// The folder of a path ("." for a bare name, "/" for a name at the root) and its last name.
std::string directoryOf(const std::string& path);
std::string baseNameOf(const std::string& path);

bool fileExists(const std::string& path);

}  // namespace vorda
