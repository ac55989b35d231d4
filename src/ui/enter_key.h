#pragma once
// Enter presses the push button that has the keyboard focus, in every window of the program:
// "Отмена" cancels, "Применить" applies, a page's own buttons do their work. Only where no push
// button has the focus does Enter go on to the window's default button (or to a page, which
// takes it and closes nothing).
#include <QObject>

class QEvent;

namespace vorda::ui {

// While it lives, the filter watches the key presses of the whole application.
class EnterPressesFocusedButton : public QObject {
  public:
    EnterPressesFocusedButton();
    ~EnterPressesFocusedButton() override;
    EnterPressesFocusedButton(const EnterPressesFocusedButton&) = delete;
    EnterPressesFocusedButton& operator=(const EnterPressesFocusedButton&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace vorda::ui
