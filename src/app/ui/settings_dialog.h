#pragma once
// The main dialog: the settings file loaded into the record, three pages in a tab widget, and
// OK, "Отмена" and "Применить".
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "app/ui/additional_page.h"
#include "channels/ui/channel_list_page.h"
#include "database/ui/data_source_page.h"
#include "platform/environment.h"
#include "platform/status.h"

namespace vorda {

class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    enum Tab { ChannelTab = 0, DataSourceTab = 1, AdditionalTab = 2 };

    // Loads the settings file named by env into the (emptied) global record, then builds the
    // pages: the channel list, the data source page (which loads the connection values) and the
    // Additional page.
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

    QTabWidget& tabs() { return tabs_; }
    ChannelListPage& channelPage() { return channelPage_; }
    DataSourcePage& dataSourcePage() { return dataSourcePage_; }
    AdditionalPage& additionalPage() { return additionalPage_; }
    QPushButton& okButton() { return okButton_; }
    QPushButton& cancelButton() { return cancelButton_; }
    QPushButton& applyButton() { return applyButton_; }

  private:
    static Status loadFrom(const Environment& env);

    Status loadStatus_;  // first: the settings are loaded before any page exists
    QVBoxLayout layout_;
    QHBoxLayout buttons_;
    QTabWidget tabs_;
    ChannelListPage channelPage_;
    DataSourcePage dataSourcePage_;
    AdditionalPage additionalPage_;
    QPushButton okButton_;
    QPushButton cancelButton_;
    QPushButton applyButton_;
};

}  // namespace vorda
