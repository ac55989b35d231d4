#pragma once
// The first page of the main dialog: the groups in use with their channels, one row per channel,
// and the buttons that add, change and delete channels and groups. The page also reorders the
// groups: a click on the station code heading sorts them, the arrow buttons move the selected
// row's group, Ctrl with a left click swaps two groups and Ctrl with a right click moves one.
// Everything works on the one settings record; the list is rebuilt from it after each change.
//
// A search field above the list shows only the rows whose station or channel code holds its text;
// every button and gesture works on the rows shown as it does on the whole list. Under the list a
// line of totals counts the groups and channels. Keys on the list: Enter changes the selected
// channel, Delete deletes it, Insert adds a channel to its group; Ctrl+F goes to the search.
#include <functional>
#include <memory>
#include <optional>

#include "channels/channel_list.h"
#include "ui/dialog_page.h"

class QLineEdit;
class QTableView;
class QPushButton;

namespace vorda {

class ChannelTableModel;
class SettingsRecord;

class ChannelListPage : public ui::DialogPage {
    Q_OBJECT
  public:
    explicit ChannelListPage(QWidget* parent = nullptr);
    ~ChannelListPage() override;

    QString title() const override;
    // Rebuilds the list from the record (refillList). The page does so each time it is shown,
    // keeping the selection on its channel, so while it is hidden this waits for that.
    void fill() override;

    // Rebuilds the list from the record; afterwards no row is selected.
    void refillList();
    // The channels of the selected row and of the last clicked row.
    struct Places {
        std::optional<ChannelPlace> selected;
        std::optional<ChannelPlace> clicked;
    };
    // Taken before the record changes under the page, for fillKeepingSelection.
    Places places() const;
    // As fill(), with the selected row and the last clicked row kept on their channels (the
    // places taken before the record changed) where the list still shows them; a channel that
    // is gone leaves no row selected.
    void fillKeepingSelection(const Places& before);

    // Direction of the next sort by station code.
    bool sortAscending() const { return sortAscending_; }
    // Row of the last left or right click on the list, -1 when that click hit no row.
    int lastClickedRow() const { return lastClickedRow_; }
    // The selected row, or -1.
    int selectedRow() const;
    // Whether a channel dialog is being prepared or runs. It holds the index of a group, so
    // nothing may move the record's groups until it has closed (a refresh from the file waits).
    bool channelDialogOpen() const { return channelDialogs_ > 0; }
    // The width the column widths were divided from: the list's inner width, followed as the
    // page is resized until the operator drags a heading divider; 0 before the page is shown.
    int columnWidthBase() const { return columnWidthBase_; }

    QTableView& list();
    ChannelTableModel& model();
    QLineEdit& searchEdit();

  public slots:
    void onAddChannel();
    void onAddGroup();
    void onEditChannel();
    void onDeleteChannel();
    void onDeleteGroup();
    void onColumnClick(int column);
    void onMoveGroupUp();
    void onMoveGroupDown();
    // A click on the list: row is the row hit, or -1 for none.
    void onListClick(int row);
    void onListRightClick(int row);
    // The search text changed: the list shows the rows it finds, the selection kept.
    void onSearchChanged(const QString& text);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Prepares and runs a channel dialog in the mode the three numbers give; true when it
    // changed the record.
    bool runChannelDialog(int insertPosition, int groupIndex, int channelIndex);
    // Selects the row and scrolls to it; -1 leaves no row selected.
    void selectRow(int row);
    // Selects what was just added (a row, or -1 when the search does not show it).
    void selectAdded(int row);
    // The row the channel of the place shows on now, or -1 (gone, or not shown by the search).
    int rowOfPlace(const std::optional<ChannelPlace>& place) const;
    // Selects the row of the selected place and takes the clicked one as the last clicked row.
    void restorePlaces(const Places& before);
    // Runs a change of what the list shows, keeping the selection as fillKeepingSelection does.
    void keepingSelection(const std::function<void()>& change);
    // The selected row; with none, an information box asking to choose (a group or a channel)
    // and -1.
    int selectedRowOrAsk(const QString& chooseText);
    // A question box; true when answered Yes.
    bool confirm(const QString& question);
    void setColumnWidths();
    // The search's count of rows and the line of totals, after every change of the list.
    void showCounts();
    void showSearchCount();
    bool ctrlDown() const;

    struct Controls;
    SettingsRecord& record_;
    std::unique_ptr<Controls> ui_;
    bool sortAscending_ = true;
    int lastClickedRow_ = -1;
    int columnWidthBase_ = 0;
    bool settingWidths_ = false;
    bool columnsDragged_ = false;
    int channelDialogs_ = 0;
    // The places before the record changed while the page was hidden.
    std::optional<Places> hiddenPlaces_;
};

}  // namespace vorda
