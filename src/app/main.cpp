#include <iostream>

#include "app/cli.h"
#include "platform/environment.h"
#ifndef VORDA_NO_GUI
#include "app/ui/settings_app.h"
#endif

int main(int argc, char** argv) {
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
