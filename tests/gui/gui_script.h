#pragma once
// What the GUI tests share: the one recorder that answers the program's message boxes and modal
// dialogs, typing, and filling the settings record. Every box is recorded (questions get the
// scripted answers in turn, then `unanswered`), and every modal run is handed to the next
// scripted handler (Rejected, and recorded as unexpected, when none is left).
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QTest>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "settings/settings_record.h"
#include "ui/ui_support.h"

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
                    return unanswered;
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

    // The texts of the boxes shown so far, in order.
    QStringList texts() const {
        QStringList out;
        for (const ShownBox& box : boxes) {
            out << box.text;
        }
        return out;
    }
    // Whether every box so far had the application's title as its caption.
    bool allCaptioned() const {
        for (const ShownBox& box : boxes) {
            if (box.caption != ui::applicationTitle()) {
                return false;
            }
        }
        return true;
    }

    std::vector<ShownBox> boxes;
    std::deque<ui::BoxAnswer> answers;
    ui::BoxAnswer unanswered = ui::BoxAnswer::No;
    std::deque<std::function<int(QDialog&)>> modals;
    std::vector<QString> unexpectedModals;
};

// The entries of a combo box, in order.
inline QStringList comboItems(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) {
        items << box.itemText(i);
    }
    return items;
}

// Makes the global record hold the given groups, all of them in use.
inline void setGroups(const std::vector<GroupRecord>& groups) {
    SettingsRecord& record = settingsRecord();
    record.groups.removeAll();
    for (const GroupRecord& group : groups) {
        record.groups.append(group);
    }
    record.groupCount = static_cast<std::int32_t>(groups.size());
}

// Types text into a widget key by key, letters outside ASCII included.
inline void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Selects the whole field and types over it, as the operator does (an empty text: Backspace).
inline void retype(QLineEdit& edit, const QString& text) {
    edit.selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(&edit, Qt::Key_Backspace);
    } else {
        typeText(&edit, text);
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
