#pragma once
// Start-up of the editor: the application object and the modal main dialog.
#include <string>
#include <vector>

#include "platform/environment.h"

class QTranslator;

namespace vorda {

// Runs the editor on the settings named by env (the arguments left after the command-line
// options were taken out), with the application object made from toolkitArgs (argv[0] and Qt's
// own options), and returns the process's exit code.
int runSettingsApp(const std::vector<std::string>& toolkitArgs, const Environment& env);

// With the application object in place: builds the main dialog, warns about an unreadable
// settings file, selects the initial tab and runs the dialog modally (through the modal seam).
// Gives the dialog's result.
int runSettingsDialog(const Environment& env, int initialTab = 0);

// Loads Qt's own Russian translation (standard buttons and dialogs) into translator and installs
// it in the application; false when the translation is not installed on the machine.
bool installQtTranslation(QTranslator& translator);

}  // namespace vorda
