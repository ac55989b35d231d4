#include "app/settings_app.h"

#include <QApplication>

namespace vorda {

int runSettingsApp(int& argc, char** argv, const Environment& /*env*/) {
    QApplication app(argc, argv);
    return 0;
}

}  // namespace vorda
