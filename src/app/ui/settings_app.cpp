#include "app/ui/settings_app.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTabWidget>
#include <QTranslator>

#include "app/ui/settings_dialog.h"
#include "database/connection_settings.h"
#include "database/ui/database_wait.h"
#include "ui/app_resources.h"
#include "ui/enter_key.h"
#include "ui/ui_support.h"

namespace vorda {

bool installQtTranslation(QTranslator& translator) {
    if (!translator.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    return QCoreApplication::installTranslator(&translator);
}

int runSettingsDialog(const Environment& env, int initialTab) {
    // For every window of the run: the dialog, its boxes and the dialogs it opens.
    const ui::EnterPressesFocusedButton enterKeys;
    SettingsDialog dialog(env);
    if (initialTab >= 0 && initialTab < dialog.tabs().count()) {
        dialog.tabs().setCurrentIndex(initialTab);
    }
    dialog.warnAboutLoading();
    return ui::runModal(dialog);
}

int runSettingsApp(const std::vector<std::string>& toolkitArgs, const Environment& env) {
    // The application object keeps argc and argv for its whole life.
    std::vector<std::string> storage = toolkitArgs;
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (std::string& arg : storage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    int argc = static_cast<int>(storage.size());
    QApplication app(argc, argv.data());
    // Standard buttons and dialogs speak Russian like the rest of the program.
    QTranslator qtTranslator;
    installQtTranslation(qtTranslator);
    QApplication::setWindowIcon(ui::applicationIcon());
    // Waiting for the database keeps the windows painting and can be cancelled.
    ui::installDatabaseWaiter();
    // VORDA_SETTINGS_TAB opens the dialog on another tab (0, 1 or 2); the screenshot script
    // uses it.
    const int initialTab = qEnvironmentVariableIntValue("VORDA_SETTINGS_TAB");
    runSettingsDialog(env, initialTab);
    ConnectionSettings::release();
    return 0;
}

}  // namespace vorda
