#pragma once
// What every window of the program shares: message boxes and modal runs that tests can answer,
// the conversion between the record's code page 1251 and the widgets' Unicode, and a validator
// that keeps characters the code page cannot hold out of a field.
#include <QDialog>
#include <QString>
#include <QValidator>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace vorda::ui {

enum class BoxKind { Warning, Information, Question, Error };
enum class BoxAnswer { Ok, Yes, No };

// Shows a message box: warning and information boxes have an OK button, question boxes Yes and
// No. The caption is given by the caller (usually applicationTitle()). A box whose parent is not
// on the screen yet is centred over the nearest owner that is, or on the screen (a warning before
// the main dialog is shown).
BoxAnswer showMessage(QWidget* parent, BoxKind kind, const QString& caption, const QString& text);

// A test installs a handler that answers every box instead of showing it; an empty handler
// brings the real boxes back.
using MessageHandler =
    std::function<BoxAnswer(BoxKind kind, const QString& caption, const QString& text)>;
void setMessageHandler(MessageHandler handler);

// Runs a modal dialog and gives its result (QDialog::Accepted or Rejected). A test installs a
// handler that drives the dialog (fills it, presses its buttons) and gives the result instead.
int runModal(QDialog& dialog);
using ModalHandler = std::function<int(QDialog& dialog)>;
void setModalHandler(ModalHandler handler);

// The caption of the program's message boxes: the base name of the program file.
QString applicationTitle();

// One of the operator's texts (resources/texts.h) as the widgets show it.
inline QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Code page 1251 bytes as the widgets show them.
QString fromRecord(const std::string& bytes);
// Widget text as code page 1251 bytes; nothing when a character has no place in the code page.
std::optional<std::string> toRecord(const QString& text);

// Refuses input with a character that code page 1251 cannot hold, and text longer than maxChars.
class Cp1251Validator : public QValidator {
    Q_OBJECT
  public:
    explicit Cp1251Validator(int maxChars = -1, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

  private:
    int maxChars_;
};

// Sets a wait cursor for as long as it lives (a database call blocks the interface meanwhile).
class WaitCursor {
  public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace vorda::ui
