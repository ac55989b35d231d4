#pragma once
// A page of the main dialog's tab widget. Enter and Escape pressed inside a page close nothing:
// the page takes them before they reach the dialog's default and cancel handling.
#include <QWidget>

class QKeyEvent;

namespace vorda::ui {

class DialogPage : public QWidget {
    Q_OBJECT
  public:
    explicit DialogPage(QWidget* parent = nullptr);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vorda::ui
