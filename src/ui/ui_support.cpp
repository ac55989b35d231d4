#include "ui/ui_support.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "platform/cp1251.h"

namespace vorda::ui {
namespace {

MessageHandler& messageHandler() {
    static MessageHandler handler;
    return handler;
}

ModalHandler& modalHandler() {
    static ModalHandler handler;
    return handler;
}

}  // namespace

BoxAnswer showMessage(QWidget* parent, BoxKind kind, const QString& caption, const QString& text) {
    if (messageHandler()) {
        return messageHandler()(kind, caption, text);
    }
    // Centred over the nearest window on the screen: a window not shown yet (a dialog still
    // filling itself) has no place to be centred over, so its owner's window takes its place,
    // and a box with no window shown at all is centred on the screen.
    while (parent != nullptr && !parent->window()->isVisible()) {
        parent = parent->window()->parentWidget();
    }
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (kind) {
        case BoxKind::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case BoxKind::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case BoxKind::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case BoxKind::Error:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    if (kind == BoxKind::Question) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return BoxAnswer::Ok;
}

void setMessageHandler(MessageHandler handler) {
    messageHandler() = std::move(handler);
}

int runModal(QDialog& dialog) {
    if (modalHandler()) {
        return modalHandler()(dialog);
    }
    return dialog.exec();
}

void setModalHandler(ModalHandler handler) {
    modalHandler() = std::move(handler);
}

QString applicationTitle() {
    const QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty()) {
        return QStringLiteral("vorda-settings");
    }
    return QFileInfo(path).completeBaseName();
}

QString fromRecord(const std::string& bytes) {
    return QString::fromStdString(cp1251::toUtf8(bytes));
}

std::optional<std::string> toRecord(const QString& text) {
    return cp1251::fromUtf8(text.toStdString());
}

Cp1251Validator::Cp1251Validator(int maxChars, QObject* parent)
    : QValidator(parent), maxChars_(maxChars) {}

QValidator::State Cp1251Validator::validate(QString& input, int& /*pos*/) const {
    if (maxChars_ >= 0 && input.size() > maxChars_) {
        return Invalid;
    }
    for (const char32_t cp : input.toUcs4()) {
        if (!cp1251::canHold(cp)) {
            return Invalid;
        }
    }
    return Acceptable;
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

}  // namespace vorda::ui
