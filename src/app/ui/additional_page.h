#pragma once
// The "Дополнительно" page: the service's system values (processing server, display modes,
// number of groups in use, log directory). Every change goes straight into the settings record.
#include <memory>

#include "ui/dialog_page.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vorda {

class AdditionalPage : public ui::DialogPage {
    Q_OBJECT
  public:
    explicit AdditionalPage(QWidget* parent = nullptr);
    ~AdditionalPage() override;

    QString title() const override;
    // Shows the record's values. The group count is then corrected as if typed: a count of 0
    // with groups present becomes 1, and one out of range the number of groups.
    void fill() override;

    QLineEdit& serverEdit();
    QCheckBox& detailBox();
    QCheckBox& screenBox();
    // The group count field with its spin arrows, and the field's own line edit.
    QSpinBox& groupCountSpin();
    QLineEdit& groupCountEdit();
    QLineEdit& logDirEdit();
    QPushButton& browseButton();

  protected:
    // The page shows the record as it is each time it is shown: the channel page adds and
    // deletes groups, which changes the group count, while this page is hidden.
    void showEvent(QShowEvent* event) override;

  private:
    void onServerChanged(const QString& text);
    void onLogDirChanged(const QString& text);
    void onGroupCountChanged(const QString& text);
    void onBrowse();

    struct Controls;
    std::unique_ptr<Controls> ui_;
};

}  // namespace vorda
