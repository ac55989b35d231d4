#pragma once
// The channel list as a table: one row per channel of the groups in use, seven columns. The model
// reads the settings record directly and keeps only the (group, channel) of each row, rebuilt on
// every refill, so each cell is found in constant time. With a search text it shows only the rows
// the search finds (channel_list.h); every row index the model gives or takes is a shown row.
#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "channels/group_order.h"
#include "settings/settings_record.h"

namespace vorda {

class ChannelTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        GroupNumberColumn = 0,
        StationColumn,
        ChannelColumn,
        SpsColumn,
        LastTimeColumn,
        FileSizeColumn,
        FileNameColumn,
        ColumnCount
    };

    explicit ChannelTableModel(SettingsRecord& record, QObject* parent = nullptr);

    // Rebuilds the rows from the record (a model reset).
    void refill();
    // Shows only the rows whose station or channel code holds the text (code page 1251 bytes),
    // every row for an empty text; rebuilds the rows as refill does.
    void setSearch(std::string text);
    // The rows of the whole list, shown or not.
    int listedCount() const { return static_cast<int>(listed_.size()); }
    // Whether the row is the first of the whole list.
    bool isFirstListedRow(int row) const;

    // The record element behind a row; group and channel are -1 for no such row.
    RowRef rowRef(int row) const;
    // The first row of a group, or -1 when it has none.
    int firstRowOfGroup(int group) const;
    // The row of a group's channel, or -1.
    int rowOf(int group, int channel) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    SettingsRecord& record_;
    std::vector<RowRef> listed_;  // the rows of the whole list
    std::vector<RowRef> rows_;    // those the search shows
    std::string search_;
};

}  // namespace vorda
