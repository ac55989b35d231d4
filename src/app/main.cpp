#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/cli.h"
#include "database/odbc.h"
#include "platform/environment.h"
#ifndef VORDA_NO_GUI
#include "app/ui/settings_app.h"
#endif

namespace {

int run(int argc, char** argv) {
    const auto env = vorda::Environment::fromProcess(argc, argv);
    const auto options = vorda::parseCommandLineOptions(env);
    if (options.anyMode()) {
        return vorda::runCommandLineMode(options, std::cout, std::cerr);
    }
#ifndef VORDA_NO_GUI
    if (!vorda::dialogCanOpen(options, std::cerr)) {
        return vorda::kExitFailure;
    }
    return vorda::runSettingsApp(options.toolkitArgs, options.rest);
#else
    std::cerr << "This build has no user interface; see --help.\n";
    return vorda::kExitUsage;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const int status = run(argc, argv);
    // A connection attempt the operator stopped waiting for may still be inside its driver on a
    // server that does not answer. The libraries' exit handlers would pull the ground from under
    // it, so the process then ends without them; everything it wrote is on disk by now.
    if (!vorda::odbc::settleAbandonedAttempts(std::chrono::milliseconds(500))) {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
