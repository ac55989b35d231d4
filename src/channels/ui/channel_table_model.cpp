#include "channels/ui/channel_table_model.h"

#include "channels/channel_list.h"
#include "channels/time_conversion.h"
#include "resources/texts.h"
#include "ui/ui_support.h"

namespace vorda {

ChannelTableModel::ChannelTableModel(SettingsRecord& record, QObject* parent)
    : QAbstractTableModel(parent), record_(record) {}

void ChannelTableModel::refill() {
    beginResetModel();
    listed_ = listedRows(record_);
    rows_ = searchRows(record_, listed_, search_);
    endResetModel();
}

void ChannelTableModel::setSearch(std::string text) {
    // The whole list is as it was: only what the search shows of it changes.
    beginResetModel();
    search_ = std::move(text);
    rows_ = searchRows(record_, listed_, search_);
    endResetModel();
}

bool ChannelTableModel::isFirstListedRow(int row) const {
    const RowRef ref = rowRef(row);
    return ref.group >= 0 && !listed_.empty() && ref == listed_.front();
}

RowRef ChannelTableModel::rowRef(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) {
        return {};
    }
    return rows_[static_cast<std::size_t>(row)];
}

int ChannelTableModel::firstRowOfGroup(int group) const {
    return vorda::firstRowOfGroup(rows_, group);
}

int ChannelTableModel::rowOf(int group, int channel) const {
    return vorda::rowOf(rows_, group, channel);
}

int ChannelTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ChannelTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ChannelTableModel::data(const QModelIndex& index, int role) const {
    const bool lastTimeTip = role == Qt::ToolTipRole && index.column() == LastTimeColumn;
    if ((role != Qt::DisplayRole && !lastTimeTip) || !index.isValid()) {
        return {};
    }
    const RowRef ref = rowRef(index.row());
    // The record may have changed since the last refill (the page refills after every change);
    // a row whose element is gone shows nothing rather than reading past the arrays.
    if (ref.group < 0 || static_cast<std::size_t>(ref.group) >= record_.groups.size()) {
        return {};
    }
    const GroupRecord& group = record_.groups.at(static_cast<std::size_t>(ref.group));
    if (static_cast<std::size_t>(ref.channel) >= group.channels.size()) {
        return {};
    }
    const ChannelRecord& channel = group.channels.at(static_cast<std::size_t>(ref.channel));
    switch (index.column()) {
        case GroupNumberColumn:
            return QString::number(ref.group + 1);
        case StationColumn:
            return ui::fromRecord(group.station);
        case ChannelColumn:
            return ui::fromRecord(channel.code);
        case SpsColumn:
            return QString::number(group.sps);
        case LastTimeColumn:
            if (lastTimeTip) {
                return ui::text(texts::kLastTimeTip)
                    .arg(ui::fromRecord(calendarText(channel.lastTime)));
            }
            return QString::number(channel.lastTime);
        case FileSizeColumn:
            return QString::number(group.sizeMb);
        case FileNameColumn:
            return ui::fromRecord(channel.fileName);
        default:
            return {};
    }
}

QVariant ChannelTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case GroupNumberColumn:
            return ui::text(texts::kGroupNumber);
        case StationColumn:
            return ui::text(texts::kStationCode);
        case ChannelColumn:
            return ui::text(texts::kChannelCode);
        case SpsColumn:
            return ui::text(texts::kSps);
        case LastTimeColumn:
            return ui::text(texts::kLastTime);
        case FileSizeColumn:
            return ui::text(texts::kFileSize);
        case FileNameColumn:
            return ui::text(texts::kFileName);
        default:
            return {};
    }
}

}  // namespace vorda
