#pragma once
// Answers the program's message boxes and modal dialogs in GUI tests: every box is recorded
// (questions get the scripted answers in turn, No when none is left), and every modal run is
// handed to the next scripted handler (Rejected, and recorded as unexpected, when none is left).
#include <QDialog>
#include <QString>
#include <QTest>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/ui/ui_support.h"
#include "platform/environment.h"

namespace vorda::test {

struct ShownBox {
    ui::BoxKind kind;
    QString caption;
    QString text;
};

class UiScript {
  public:
    UiScript() {
        ui::setMessageHandler(
            [this](ui::BoxKind kind, const QString& caption, const QString& text) {
                boxes.push_back({kind, caption, text});
                if (kind != ui::BoxKind::Question) {
                    return ui::BoxAnswer::Ok;
                }
                if (answers.empty()) {
                    return ui::BoxAnswer::No;
                }
                const ui::BoxAnswer answer = answers.front();
                answers.pop_front();
                return answer;
            });
        ui::setModalHandler([this](QDialog& dialog) {
            if (modals.empty()) {
                unexpectedModals.push_back(dialog.windowTitle());
                return static_cast<int>(QDialog::Rejected);
            }
            auto handler = std::move(modals.front());
            modals.pop_front();
            return handler(dialog);
        });
    }
    ~UiScript() {
        ui::setMessageHandler({});
        ui::setModalHandler({});
    }
    UiScript(const UiScript&) = delete;
    UiScript& operator=(const UiScript&) = delete;

    std::vector<ShownBox> boxes;
    std::deque<ui::BoxAnswer> answers;
    std::deque<std::function<int(QDialog&)>> modals;
    std::vector<QString> unexpectedModals;
};

// Types text into a widget key by key, letters outside ASCII included.
inline void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// An environment whose command line names the settings file and whose current and system
// folders are the test's own (so no ork.ini or ZEL.ini of the machine is read).
inline Environment testEnvironment(const std::string& settingsPath, const std::string& folder) {
    Environment env;
    env.args = {"vorda-settings", settingsPath};
    env.currentDir = folder;
    env.systemDir = folder;
    return env;
}

}  // namespace vorda::test
