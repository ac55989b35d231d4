#include "ui/enter_key.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace vorda::ui {

EnterPressesFocusedButton::EnterPressesFocusedButton() {
    QCoreApplication::instance()->installEventFilter(this);
}

EnterPressesFocusedButton::~EnterPressesFocusedButton() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool EnterPressesFocusedButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<const QKeyEvent*>(event);
    // Enter as the dialogs take it: Return, or Enter on the keypad, with no other modifier.
    const bool enter =
        (key->key() == Qt::Key_Return && key->modifiers() == Qt::NoModifier) ||
        (key->key() == Qt::Key_Enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier);
    if (!enter) {
        return false;
    }
    // The key press comes to the focused widget first; only a press there counts (not one that
    // a child passed on to a button around it).
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button == nullptr || !button->hasFocus() || !button->isEnabled() || !button->isVisible()) {
        return false;
    }
    button->click();
    return true;
}

}  // namespace vorda::ui
