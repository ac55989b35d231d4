#pragma once
// The "Источник данных" page: the ODBC data source, user, password and data directory of the
// connection values, the connection test and the data source manager.
#include <memory>

#include "platform/environment.h"
#include "ui/dialog_page.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vorda {

class DataSourcePage : public ui::DialogPage {
    Q_OBJECT
  public:
    // Loads the connection values (command line, ork.ini, ZEL.ini or the defaults) that the page
    // shows once filled.
    explicit DataSourcePage(const Environment& env, QWidget* parent = nullptr);
    ~DataSourcePage() override;

    QString title() const override;
    // Shows the connection values and the data sources the driver manager knows.
    void fill() override;

    QComboBox& sourceBox();
    QLineEdit& userEdit();
    QLineEdit& passwordEdit();
    QLineEdit& dataDirEdit();
    QPushButton& browseButton();
    QPushButton& adminButton();
    QPushButton& testButton();

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

    struct Controls;
    std::unique_ptr<Controls> ui_;
};

}  // namespace vorda
