#pragma once
// The command line: the modes --dump, --rewrite, --apply, --test-connection, --stations,
// --channels, --help and --version, and
// what remains for the editor. Our options may stand anywhere (before a "--", which ends them);
// Qt's own options (-platform NAME, -style NAME, ...) are set aside for the toolkit; whatever
// else remains names the settings file and the connection items.
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace vorda {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the mode could not do its work
inline constexpr int kExitUsage = 2;    // a command line we do not understand

struct CommandLineOptions {
    bool dump = false;
    bool rewrite = false;
    // --apply FILE (a settings document; "-" for standard input), with --check (write nothing)
    // and --diff (print the change as a unified diff).
    bool apply = false;
    std::string applyDocument;
    bool check = false;
    bool diff = false;
    bool testConnection = false;
    bool stations = false;
    bool channels = false;
    std::string channelStation;  // the argument of --channels (UTF-8)
    bool help = false;
    bool version = false;
    // Why the command line is refused (an option we do not know, a value an option does not
    // take); empty when it is not.
    std::string usageError;
    // The process's environment with every option taken out of its arguments.
    Environment rest;
    // argv[0] followed by Qt's own options with their values, in their order: the command line
    // for the application object.
    std::vector<std::string> toolkitArgs;

    bool anyMode() const {
        return dump || rewrite || apply || check || diff || testConnection || stations ||
               channels || help || version || !usageError.empty();
    }
};

CommandLineOptions parseCommandLineOptions(const Environment& env);

// Whether the dialog has a window system to open on (the environment names one, or Qt's own
// -platform option does); when not, says so on err, since the toolkit would only abort.
bool dialogCanOpen(const CommandLineOptions& options, std::ostream& err);

// Runs the mode the options ask for (or refuses the command line) and gives the exit status.
// A settings document named "-" is read from `in` (standard input, when not given).
int runCommandLineMode(const CommandLineOptions& options, std::ostream& out, std::ostream& err);
int runCommandLineMode(const CommandLineOptions& options, std::istream& in, std::ostream& out,
                       std::ostream& err);

}  // namespace vorda
