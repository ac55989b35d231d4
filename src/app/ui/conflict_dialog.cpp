#include "app/ui/conflict_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
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
    c.table->setSelectionBehavior(QAbstractItemView::SelectRows);
    c.table->setRowCount(static_cast<int>(conflicts.size()));
    for (int row = 0; row < static_cast<int>(conflicts.size()); ++row) {
        const MergeConflict& conflict = conflicts[static_cast<std::size_t>(row)];
        values_.push_back(conflict.value);
        // A group's or channel's value by the group's number; a value of the service's own
        // sections by its section.
        const QString group = conflict.value.group >= 0
                                  ? QString::number(conflict.value.group + 1)
                                  : QStringLiteral("[%1]").arg(ui::fromRecord(conflict.section));
        c.table->setItem(row, GroupColumn, readOnlyItem(group));
        c.table->setItem(row, StationColumn, readOnlyItem(ui::fromRecord(conflict.station)));
        c.table->setItem(row, ChannelColumn, readOnlyItem(ui::fromRecord(conflict.channel)));
        c.table->setItem(row, KeyColumn, readOnlyItem(ui::fromRecord(conflict.key)));
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
        c.table->setCellWidget(row, ChoiceColumn, choice);
        c.choices.push_back(choice);
    }
    c.table->resizeColumnsToContents();
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
    resize(qMax(sizeHint().width(), 720), qMax(sizeHint().height(), 320));

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
