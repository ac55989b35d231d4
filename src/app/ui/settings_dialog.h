#pragma once
// The main dialog: the settings file loaded into the record, three pages in a tab widget, and
// OK, "Отмена" and "Применить". The reading service keeps writing the file meanwhile: the dialog
// watches it, takes the values the operator has not touched over into the pages, and each save
// merges with what the file holds then (settings/settings_file.h).
#include <QDialog>
#include <memory>

#include "channels/ui/channel_list_page.h"
#include "platform/environment.h"
#include "platform/status.h"

class QLabel;
class QPushButton;
class QTabWidget;

namespace vorda {

struct ConnectionValues;
struct SettingsValues;
struct TakenFromFile;
class AdditionalPage;
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

    // Warns, naming the file and the reason, when the settings file could not be read, and names
    // the channels of lists that were not read whole.
    void warnAboutLoading();

    // Writes the record and the connection values into the settings file, merged with what
    // another program wrote there meanwhile; values both changed are shown in one dialog to
    // choose from (ConflictDialog). False when nothing was saved (the operator cancelled that
    // dialog, or the save failed and was shown with its reason).
    bool apply();
    // OK: saves and closes; when the save did not happen the dialog stays open.
    void accept() override;

    // Looks at the settings file now (the watcher does so shortly after each change) and takes
    // another program's changes over where the operator changed nothing. While another modal
    // window or a channel dialog is up, the look is put off until it has closed.
    void refreshFromDisk();

    QTabWidget& tabs();
    ChannelListPage& channelPage();
    DataSourcePage& dataSourcePage();
    AdditionalPage& additionalPage();
    QPushButton& okButton();
    QPushButton& cancelButton();
    QPushButton& applyButton();
    // The line beside the buttons: what another program's changes did, or a save's warning.
    QLabel& statusLine();

  private:
    static Status loadFrom(const Environment& env);
    // Watches the file, and its folder for a file put in its place by rename.
    void watchFile();
    void onFileEvent();
    // Fills the pages whose values differ from `before` and `beforeConnection` (the record and
    // the connection values as they were).
    // The channel page keeps its selection on the channels selected before (`places`).
    void refillPages(const SettingsValues& before, const ConnectionValues& beforeConnection,
                     const ChannelListPage::Places& places);
    // The line beside the buttons: what another program's changes updated and how many values
    // wait for a choice; empty when there are none.
    void showTaken(const TakenFromFile& taken, int conflicts);

    struct Controls;
    Status loadStatus_;  // first: the settings are loaded before any page exists
    std::unique_ptr<Controls> ui_;
};

}  // namespace vorda
