#pragma once
// Start-up of the editor: the application object and the modal main dialog.
#include "platform/environment.h"

namespace vorda {

// Runs the editor on the settings named by env (the arguments left after the command-line
// options were taken out) and returns the process's exit code.
int runSettingsApp(int& argc, char** argv, const Environment& env);

}  // namespace vorda
