#pragma once
// The main dialog: the settings file loaded into the record, three pages in a tab widget, and
// OK, "Отмена" and "Применить".
#include <QDialog>
#include <memory>

#include "platform/environment.h"
#include "platform/status.h"

class QPushButton;
class QTabWidget;

namespace vorda {

class AdditionalPage;
class ChannelListPage;
class DataSourcePage;

class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    // The tabs, in the order of the pages.
    enum Tab { ChannelTab = 0, DataSourceTab = 1, AdditionalTab = 2 };

    // Loads the settings file named by env into the (emptied) global record, then builds the
    // pages: the channel list, the data source page (which loads the connection values) and the
    // Additional page, and fills each in its tab.
    explicit SettingsDialog(const Environment& env, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // What loading the settings file gave (fails only for a file that exists but is unreadable).
    const Status& loadStatus() const { return loadStatus_; }
    // Warns, naming the file and the reason, when the settings file could not be read.
    void warnIfUnreadable();

    // Writes the record and the connection values into the settings file. Asks first when
    // another program changed the file since we read or wrote it. False when nothing was saved
    // (the operator said No, or the save failed and was shown with its reason).
    bool apply();
    // OK: saves and closes; when the save did not happen the dialog stays open.
    void accept() override;

    QTabWidget& tabs();
    ChannelListPage& channelPage();
    DataSourcePage& dataSourcePage();
    AdditionalPage& additionalPage();
    QPushButton& okButton();
    QPushButton& cancelButton();
    QPushButton& applyButton();

  private:
    static Status loadFrom(const Environment& env);

    struct Controls;
    Status loadStatus_;  // first: the settings are loaded before any page exists
    std::unique_ptr<Controls> ui_;
};

}  // namespace vorda
