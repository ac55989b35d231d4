#include "ui/app_resources.h"

#include <QtGlobal>

// The resources live in a static library: nothing references them until they are registered,
// so the linker would otherwise leave them out.
static void registerVordaResources() {
    Q_INIT_RESOURCE(resources);
}

namespace vorda::ui {

void initResources() {
    static const bool registered = [] {
        registerVordaResources();
        return true;
    }();
    (void)registered;
}

QIcon applicationIcon() {
    initResources();
    return QIcon(QStringLiteral(":/icons/vorda.svg"));
}

QIcon arrowUpIcon() {
    initResources();
    return QIcon(QStringLiteral(":/icons/arrow_up.svg"));
}

QIcon arrowDownIcon() {
    initResources();
    return QIcon(QStringLiteral(":/icons/arrow_down.svg"));
}

}  // namespace vorda::ui
