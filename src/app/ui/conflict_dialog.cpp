#include "app/ui/conflict_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "resources/texts.h"
#include "ui/ui_support.h"

namespace vorda {
namespace {

enum Column {
    GroupColumn,
    StationColumn,
    ChannelColumn,
    KeyColumn,
    FileColumn,
    OursColumn,
    ChoiceColumn,
    ColumnCount
};

// What the value is, as the operator calls it.
texts::Text valueName(MergeField field) {
    switch (field) {
        case MergeField::Server:
            return texts::kValueServer;
        case MergeField::DetailMode:
            return texts::kValueDetailMode;
        case MergeField::ShowScreen:
            return texts::kValueShowScreen;
        case MergeField::SizeMb:
            return texts::kValueLogSize;
        case MergeField::LogDir:
            return texts::kValueLogDir;
        case MergeField::DataSource:
            return texts::kValueDataSource;
        case MergeField::User:
            return texts::kValueUser;
        case MergeField::Password:
            return texts::kValuePassword;
        case MergeField::DataDir:
            return texts::kValueDataDir;
        case MergeField::GroupSizeMb:
            return texts::kValueGroupSize;
        case MergeField::GroupSps:
            return texts::kValueGroupSps;
        case MergeField::ChannelTime:
            return texts::kValueChannelTime;
        case MergeField::ChannelFile:
            return texts::kValueChannelFile;
        case MergeField::GroupPresence:
            return texts::kValueGroupPresence;
        case MergeField::ChannelPresence:
            return texts::kValueChannelPresence;
    }
    return texts::kValueServer;
}

// Where the value is: a group's number, or the system's or the connection's values.
QString placeName(const ValueRef& value) {
    if (value.group >= 0) {
        return QString::number(value.group + 1);
    }
    const bool connection =
        value.field == MergeField::DataSource || value.field == MergeField::User ||
        value.field == MergeField::Password || value.field == MergeField::DataDir;
    return ui::text(connection ? texts::kPlaceConnection : texts::kPlaceSystem);
}

QTableWidgetItem* readOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);  // the table takes it
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

}  // namespace

// The controls the dialog works with; all of them are children of the dialog.
struct ConflictDialog::Controls {
    QTableWidget* table = nullptr;
    QPushButton* keepAll = nullptr;
    QPushButton* takeAll = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    std::vector<QComboBox*> choices;  // in the table's cells
};

ConflictDialog::ConflictDialog(const std::vector<MergeConflict>& conflicts, const QString& fileName,
                               QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Controls>()) {
    Controls& c = *ui_;
    setWindowTitle(ui::text(texts::kConflictTitle));
    auto* note = new QLabel(ui::text(texts::kConflictNote).arg(fileName), this);
    note->setWordWrap(true);
    c.table = new QTableWidget(this);
    auto* forAll = new QLabel(ui::text(texts::kForAll), this);
    c.keepAll = new QPushButton(ui::text(texts::kKeepMine), this);
    c.takeAll = new QPushButton(ui::text(texts::kTakeFromFile), this);
    c.ok = new QPushButton(ui::text(texts::kOk), this);
    c.cancel = new QPushButton(ui::text(texts::kCancel), this);

    c.table->setColumnCount(ColumnCount);
    c.table->setHorizontalHeaderLabels(
        {ui::text(texts::kGroupNumber), ui::text(texts::kStationCode),
         ui::text(texts::kChannelCode), ui::text(texts::kConflictKey),
         ui::text(texts::kConflictFileValue), ui::text(texts::kConflictOurValue),
         ui::text(texts::kConflictChoice)});
    c.table->verticalHeader()->hide();
    // Tab leaves the table for the buttons under it; the arrow keys move between rows.
    c.table->setTabKeyNavigation(false);
    c.table->setSelectionBehavior(QAbstractItemView::SelectRows);
    c.table->setRowCount(static_cast<int>(conflicts.size()));
    for (int row = 0; row < static_cast<int>(conflicts.size()); ++row) {
        const MergeConflict& conflict = conflicts[static_cast<std::size_t>(row)];
        values_.push_back(conflict.value);
        // A group's or channel's value by the group's number; the others as the system's or
        // the connection's. The file's key name stays at hand as a tooltip.
        const QString place = placeName(conflict.value);
        const QString name = ui::text(valueName(conflict.value.field));
        c.table->setItem(row, GroupColumn, readOnlyItem(place));
        c.table->setItem(row, StationColumn, readOnlyItem(ui::fromRecord(conflict.station)));
        c.table->setItem(row, ChannelColumn, readOnlyItem(ui::fromRecord(conflict.channel)));
        QTableWidgetItem* nameItem = readOnlyItem(name);
        nameItem->setToolTip(QStringLiteral("[%1] %2").arg(ui::fromRecord(conflict.section),
                                                           ui::fromRecord(conflict.key)));
        c.table->setItem(row, KeyColumn, nameItem);
        // A password shows as "***" on both sides; the choice still picks the one or the other.
        c.table->setItem(
            row, FileColumn,
            readOnlyItem(ui::fromRecord(shownConflictValue(conflict, conflict.fileValue))));
        c.table->setItem(
            row, OursColumn,
            readOnlyItem(ui::fromRecord(shownConflictValue(conflict, conflict.ourValue))));
        auto* choice = new QComboBox;  // the table takes it
        choice->addItem(ui::text(texts::kKeepMine), static_cast<int>(ConflictChoice::KeepMine));
        choice->addItem(ui::text(texts::kTakeFromFile), static_cast<int>(ConflictChoice::TakeFile));
        const QString where = conflict.station.empty()
                                  ? place
                                  : QStringLiteral("%1 %2 %3")
                                        .arg(place, ui::fromRecord(conflict.station),
                                             ui::fromRecord(conflict.channel));
        choice->setAccessibleName(ui::text(texts::kConflictChoiceName).arg(name, where.trimmed()));
        c.table->setCellWidget(row, ChoiceColumn, choice);
        c.choices.push_back(choice);
    }
    c.table->resizeColumnsToContents();
    // The two values are read side by side: each is at least as wide as a last time's digits
    // with room to spare.
    const int valueWidth = c.table->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 14;
    for (const int column : {FileColumn, OursColumn}) {
        c.table->setColumnWidth(column, qMax(c.table->columnWidth(column), valueWidth));
    }
    c.table->horizontalHeader()->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(c.table, 1);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    buttons->addWidget(forAll);
    buttons->addWidget(c.keepAll);
    buttons->addWidget(c.takeAll);
    buttons->addStretch(1);
    buttons->addWidget(c.ok);
    buttons->addWidget(c.cancel);
    for (QPushButton* button : {c.keepAll, c.takeAll, c.cancel}) {
        button->setAutoDefault(false);
    }
    c.ok->setDefault(true);
    // Wide enough for every column of the table without scrolling, within the screen.
    int columnsWidth = 2 * c.table->frameWidth() +
                       c.table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, c.table);
    for (int column = 0; column < ColumnCount; ++column) {
        columnsWidth += c.table->columnWidth(column);
    }
    const QMargins margins = layout->contentsMargins();
    int width =
        qMax(sizeHint().width(), qMax(720, columnsWidth + margins.left() + margins.right()));
    if (const QScreen* screen = this->screen()) {
        width = qMin(width, screen->availableGeometry().width() * 9 / 10);
    }
    resize(width, qMax(sizeHint().height(), 320));

    connect(c.keepAll, &QPushButton::clicked, this,
            [this] { chooseAll(ConflictChoice::KeepMine); });
    connect(c.takeAll, &QPushButton::clicked, this,
            [this] { chooseAll(ConflictChoice::TakeFile); });
    connect(c.ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(c.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

ConflictDialog::~ConflictDialog() = default;

std::vector<ConflictResolution> ConflictDialog::choices() const {
    std::vector<ConflictResolution> out;
    for (std::size_t i = 0; i < values_.size(); ++i) {
        out.push_back(
            {values_[i], static_cast<ConflictChoice>(ui_->choices[i]->currentData().toInt())});
    }
    return out;
}

void ConflictDialog::chooseAll(ConflictChoice choice) {
    for (QComboBox* box : ui_->choices) {
        box->setCurrentIndex(box->findData(static_cast<int>(choice)));
    }
}

QTableWidget& ConflictDialog::table() {
    return *ui_->table;
}
QComboBox& ConflictDialog::choiceBox(int row) {
    return *ui_->choices.at(static_cast<std::size_t>(row));
}
QPushButton& ConflictDialog::keepAllButton() {
    return *ui_->keepAll;
}
QPushButton& ConflictDialog::takeAllButton() {
    return *ui_->takeAll;
}
QPushButton& ConflictDialog::okButton() {
    return *ui_->ok;
}
QPushButton& ConflictDialog::cancelButton() {
    return *ui_->cancel;
}

}  // namespace vorda
