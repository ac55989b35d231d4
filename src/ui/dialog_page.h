#pragma once
// A page of the main dialog's tab widget. The main dialog builds its tabs from a list of pages:
// each gives the text of its tab and fills its controls from the settings record or the
// connection values when asked. Enter and Escape pressed inside a page close nothing: the page
// takes them before they reach the dialog's default and cancel handling (Enter on a focused push
// button presses that button, ui/enter_key.h).
#include <QString>
#include <QWidget>

class QKeyEvent;

namespace vorda::ui {

class DialogPage : public QWidget {
    Q_OBJECT
  public:
    explicit DialogPage(QWidget* parent = nullptr);

    // The text of the page's tab.
    virtual QString title() const = 0;
    // Fills the controls from the settings record or the connection values as they stand now.
    virtual void fill() = 0;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vorda::ui
