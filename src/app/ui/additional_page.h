#pragma once
// The "Дополнительно" page: the service's system values (processing server, display modes,
// number of groups in use, log directory). Every change goes straight into the settings record.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/ui/dialog_page.h"
#include "app/ui/ui_support.h"

namespace vorda {

// The group count field with its spin arrows; the page watches every change of the field's text.
class GroupCountSpin : public QSpinBox {
    Q_OBJECT
  public:
    using QSpinBox::lineEdit;
    using QSpinBox::QSpinBox;
};

class AdditionalPage : public ui::DialogPage {
    Q_OBJECT
  public:
    explicit AdditionalPage(QWidget* parent = nullptr);
    ~AdditionalPage() override;

    QLineEdit& serverEdit() { return serverEdit_; }
    QCheckBox& detailBox() { return detailBox_; }
    QCheckBox& screenBox() { return screenBox_; }
    GroupCountSpin& groupCountSpin() { return countSpin_; }
    QLineEdit& groupCountEdit() { return *countSpin_.lineEdit(); }
    QLineEdit& logDirEdit() { return logDirEdit_; }
    QPushButton& browseButton() { return browseButton_; }

  private:
    void onServerChanged(const QString& text);
    void onLogDirChanged(const QString& text);
    void onGroupCountChanged(const QString& text);
    void onBrowse();

    // Containers come before what they hold, so that members are destroyed children first.
    QVBoxLayout layout_;
    QGroupBox modeBox_;
    QVBoxLayout modeLayout_;
    QHBoxLayout countRow_;
    QHBoxLayout logRow_;
    ui::Cp1251Validator serverValidator_;
    ui::Cp1251Validator logDirValidator_;
    QLabel serverLabel_;
    QLineEdit serverEdit_;
    QCheckBox detailBox_;
    QCheckBox screenBox_;
    QLabel countLabel_;
    GroupCountSpin countSpin_;
    QLabel logLabel_;
    QLineEdit logDirEdit_;
    QPushButton browseButton_;
};

}  // namespace vorda
