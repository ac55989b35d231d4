#pragma once
// Switching the tabs of a dialog from the keyboard, whatever field has the focus: Ctrl+Tab and
// Ctrl+PgDown go to the next tab, Ctrl+Shift+Tab and Ctrl+PgUp to the previous one. The field
// never sees these keys, so they never change its value (a combo box would step its selection
// on Ctrl+PgDown).
#include <QObject>

class QTabWidget;

namespace vorda::ui {

class TabKeys : public QObject {
    Q_OBJECT
  public:
    // Watches the application's key presses for the widgets inside tabs, for as long as it lives.
    TabKeys(QTabWidget& tabs, QObject* parent);
    ~TabKeys() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QTabWidget& tabs_;
};

}  // namespace vorda::ui
