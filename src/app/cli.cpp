#include "app/cli.h"

#include <ostream>
#include <string>

namespace vorda {

CommandLineOptions parseCommandLineOptions(const Environment& env) {
    CommandLineOptions options;
    options.rest = env;
    options.rest.args.clear();
    for (std::size_t i = 0; i < env.args.size(); ++i) {
        const std::string& arg = env.args[i];
        if (i > 0 && arg == "--dump") {
            options.dump = true;
        } else if (i > 0 && arg == "--rewrite") {
            options.rewrite = true;
        } else if (i > 0 && arg == "--test-connection") {
            options.testConnection = true;
        } else if (i > 0 && (arg == "--help" || arg == "-h")) {
            options.help = true;
        } else if (i > 0 && arg == "--version") {
            options.version = true;
        } else {
            options.rest.args.push_back(arg);
        }
    }
    return options;
}

int runCommandLineMode(const CommandLineOptions& options, std::ostream& out, std::ostream& err) {
    if (options.version) {
        out << "vorda-settings " << VORDA_VERSION << "\n";
        return 0;
    }
    err << "not built yet\n";
    return 2;
}

}  // namespace vorda
