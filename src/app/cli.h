#pragma once
// The command-line modes: --dump, --rewrite, --test-connection, --stations, --channels,
// --help, --version. The options
// come out of the argument list first, wherever they stand; what remains is the command line
// that names the settings file and the connection items.
#include <iosfwd>
#include <string>

#include "platform/environment.h"

namespace vorda {

struct CommandLineOptions {
    bool dump = false;
    bool rewrite = false;
    bool testConnection = false;
    bool stations = false;
    bool channels = false;
    std::string channelStation;  // the argument of --channels (UTF-8)
    bool help = false;
    bool version = false;
    // The process's environment with the options taken out of its arguments.
    Environment rest;

    bool anyMode() const {
        return dump || rewrite || testConnection || stations || channels || help || version;
    }
};

CommandLineOptions parseCommandLineOptions(const Environment& env);

// Runs the mode the options ask for and gives the exit code.
int runCommandLineMode(const CommandLineOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vorda
