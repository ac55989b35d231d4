#pragma once
// The "Источник данных" page: the ODBC data source, user, password and data directory of the
// connection values, the connection test and the data source manager.
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/dialog_page.h"
#include "app/ui/ui_support.h"
#include "database/connection_settings.h"
#include "platform/environment.h"

namespace vorda {

class DataSourcePage : public ui::DialogPage {
    Q_OBJECT
  public:
    // Loads the connection values (command line, ork.ini, ZEL.ini or the defaults) and fills the
    // page from them and from the data sources the driver manager knows.
    explicit DataSourcePage(const Environment& env, QWidget* parent = nullptr);
    ~DataSourcePage() override;

    QComboBox& sourceBox() { return sourceBox_; }
    QLineEdit& userEdit() { return userEdit_; }
    QLineEdit& passwordEdit() { return passwordEdit_; }
    QLineEdit& dataDirEdit() { return dataDirEdit_; }
    QPushButton& browseButton() { return browseButton_; }
    QPushButton& adminButton() { return adminButton_; }
    QPushButton& testButton() { return testButton_; }

    // Lists the data sources again (system ones first) and selects the configured one; a name
    // that is not listed gets an entry of its own, marked as not found.
    void refillSources();

  private:
    void onSourceChanged(int index);
    // The data source name of an entry (code page 1251); empty for no entry.
    std::string entryName(int index) const;
    void onBrowse();
    void onAdmin();
    void onTest();

    ConnectionSettings sources_;
    QVBoxLayout layout_;
    QGroupBox box_;
    QVBoxLayout boxLayout_;
    QHBoxLayout dirRow_;
    QHBoxLayout testRow_;
    ui::Cp1251Validator userValidator_;
    ui::Cp1251Validator passwordValidator_;
    ui::Cp1251Validator dataDirValidator_;
    QComboBox sourceBox_;
    QLineEdit userEdit_;
    QLineEdit passwordEdit_;
    QLineEdit dataDirEdit_;
    QPushButton browseButton_;
    QPushButton adminButton_;
    QPushButton testButton_;
    QLabel sourceLabel_;
    QLabel userLabel_;
    QLabel passwordLabel_;
    QLabel dataDirLabel_;
};

}  // namespace vorda
