#include "ui/tab_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTabWidget>

namespace vorda::ui {

TabKeys::TabKeys(QTabWidget& tabs, QObject* parent) : QObject(parent), tabs_(tabs) {
    qApp->installEventFilter(this);
}

TabKeys::~TabKeys() {
    qApp->removeEventFilter(this);
}

bool TabKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || (widget != &tabs_ && !tabs_.isAncestorOf(widget))) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!(key->modifiers() & Qt::ControlModifier) ||
        (key->modifiers() & (Qt::AltModifier | Qt::MetaModifier))) {
        return false;
    }
    int step = 0;
    switch (key->key()) {
        case Qt::Key_Tab:
            step = (key->modifiers() & Qt::ShiftModifier) ? -1 : 1;
            break;
        case Qt::Key_Backtab:
        case Qt::Key_PageUp:
            step = -1;
            break;
        case Qt::Key_PageDown:
            step = 1;
            break;
        default:
            return false;
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // Claimed here so that no shortcut of the field takes it; the press itself follows.
        event->accept();
        return true;
    }
    const int count = tabs_.count();
    if (count > 0) {
        tabs_.setCurrentIndex((tabs_.currentIndex() + step + count) % count);
    }
    return true;
}

}  // namespace vorda::ui
