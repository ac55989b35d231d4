#include "database/ui/dsn_manager_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "database/connection_settings.h"
#include "platform/cp1251.h"
#include "resources/texts.h"
#include "ui/ui_support.h"

namespace vorda {
namespace {

void warn(QWidget* parent, const QString& message) {
    ui::showMessage(parent, ui::BoxKind::Warning, ui::applicationTitle(), message);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

// The controls the dialog works with; all of them are children of the dialog.
struct DsnEditDialog::Controls {
    QLineEdit* nameEdit = nullptr;
    QComboBox* driverBox = nullptr;
    QTableWidget* table = nullptr;
    QDialogButtonBox* buttons = nullptr;
    QPushButton* testButton = nullptr;
    // The keys offered for the chosen driver.
    QStringList offeredKeys;
};

DsnEditDialog::DsnEditDialog(QWidget* parent, const std::vector<std::string>& drivers,
                             const std::string& name, const std::string& driver,
                             const OdbcAttributes& attributes)
    : QDialog(parent), ui_(std::make_unique<Controls>()) {
    Controls& c = *ui_;
    setWindowTitle(ui::text(name.empty() ? texts::kNewDsnTitle : texts::kDsnTitle));
    c.nameEdit = new QLineEdit(this);
    c.driverBox = new QComboBox(this);
    auto* tableLabel = new QLabel(ui::text(texts::kDsnParametersLabel), this);
    c.table = new QTableWidget(this);
    QTableWidget& table = *c.table;
    // Tab leaves the table for the buttons below it; the arrow keys move between cells.
    table.setTabKeyNavigation(false);
    auto* addRowButton = new QPushButton(ui::text(texts::kDsnAddParameter), this);
    auto* removeRowButton = new QPushButton(ui::text(texts::kDsnRemoveParameter), this);
    c.buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    c.testButton = new QPushButton(ui::text(texts::kTestButton), c.buttons);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    form->addRow(ui::text(texts::kDsnNameLabel), c.nameEdit);
    form->addRow(ui::text(texts::kDsnDriverLabel), c.driverBox);
    layout->addWidget(tableLabel);
    layout->addWidget(&table, 1);
    auto* rowButtons = new QHBoxLayout;
    layout->addLayout(rowButtons);
    rowButtons->addWidget(addRowButton);
    rowButtons->addWidget(removeRowButton);
    rowButtons->addStretch(1);
    c.buttons->button(QDialogButtonBox::Ok)->setText(ui::text(texts::kOk));
    c.buttons->button(QDialogButtonBox::Cancel)->setText(ui::text(texts::kCancel));
    c.buttons->addButton(c.testButton, QDialogButtonBox::ActionRole);
    layout->addWidget(c.buttons);

    for (const std::string& d : drivers) {
        c.driverBox->addItem(ui::text(d));
    }
    if (!driver.empty()) {
        int index = c.driverBox->findText(ui::text(driver));
        if (index < 0) {
            c.driverBox->addItem(ui::text(driver));
            index = c.driverBox->count() - 1;
        }
        c.driverBox->setCurrentIndex(index);
    }
    c.nameEdit->setText(ui::text(name));
    c.nameEdit->setReadOnly(!name.empty());

    table.setColumnCount(2);
    table.setHorizontalHeaderLabels(
        {ui::text(texts::kDsnParameterColumn), ui::text(texts::kDsnValueColumn)});
    table.horizontalHeader()->setStretchLastSection(true);
    table.verticalHeader()->setVisible(false);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(QAbstractItemView::SingleSelection);
    for (const auto& [key, value] : attributes) {
        addRow(ui::text(key), ui::text(value));
    }
    offerDriverKeys();
    table.resizeColumnToContents(0);
    table.setColumnWidth(0, qMax(table.columnWidth(0), 120));
    resize(480, 360);

    okButton().setDefault(true);
    connect(c.buttons, &QDialogButtonBox::accepted, this, &DsnEditDialog::accept);
    connect(c.buttons, &QDialogButtonBox::rejected, this, &DsnEditDialog::reject);
    c.testButton->setAutoDefault(false);
    connect(c.testButton, &QPushButton::clicked, this, &DsnEditDialog::onTest);
    c.testButton->setToolTip(
        ui::text(texts::kDsnTestUser).arg(ui::fromRecord(ConnectionSettings::values().user)));
    // Another driver reads other keys: its own are offered instead of the empty ones offered
    // for the driver before.
    connect(c.driverBox, &QComboBox::currentTextChanged, this, [this] { offerDriverKeys(); });
    connect(addRowButton, &QPushButton::clicked, this, [this] {
        QTableWidget& table = *ui_->table;
        addRow(QString(), QString());
        table.setCurrentCell(table.rowCount() - 1, 0);
        table.editItem(table.item(table.rowCount() - 1, 0));
    });
    connect(removeRowButton, &QPushButton::clicked, this, [this] {
        QTableWidget& table = *ui_->table;
        if (table.currentRow() >= 0) {
            table.removeRow(table.currentRow());
        }
    });
}

DsnEditDialog::~DsnEditDialog() = default;

QLineEdit& DsnEditDialog::nameEdit() {
    return *ui_->nameEdit;
}
QComboBox& DsnEditDialog::driverBox() {
    return *ui_->driverBox;
}
QTableWidget& DsnEditDialog::attributeTable() {
    return *ui_->table;
}
QPushButton& DsnEditDialog::okButton() {
    return *ui_->buttons->button(QDialogButtonBox::Ok);
}
QPushButton& DsnEditDialog::cancelButton() {
    return *ui_->buttons->button(QDialogButtonBox::Cancel);
}
QPushButton& DsnEditDialog::testButton() {
    return *ui_->testButton;
}

void DsnEditDialog::addRow(const QString& key, const QString& value) {
    const int row = ui_->table->rowCount();
    ui_->table->insertRow(row);
    // The table owns its items.
    ui_->table->setItem(row, 0, std::make_unique<QTableWidgetItem>(key).release());
    ui_->table->setItem(row, 1, std::make_unique<QTableWidgetItem>(value).release());
}

void DsnEditDialog::offerDriverKeys() {
    QTableWidget& table = *ui_->table;
    for (int row = table.rowCount() - 1; row >= 0; --row) {
        const QTableWidgetItem* key = table.item(row, 0);
        const QTableWidgetItem* value = table.item(row, 1);
        if (key != nullptr && ui_->offeredKeys.contains(key->text()) &&
            (value == nullptr || value->text().trimmed().isEmpty())) {
            table.removeRow(row);
        }
    }
    ui_->offeredKeys.clear();
    for (const std::string& key : odbcDriverKeys(driver())) {
        const QString k = ui::text(key);
        ui_->offeredKeys << k;
        bool present = false;
        for (int row = 0; row < table.rowCount() && !present; ++row) {
            const QTableWidgetItem* item = table.item(row, 0);
            present = item != nullptr && item->text().compare(k, Qt::CaseInsensitive) == 0;
        }
        if (!present) {
            addRow(k, QString());
        }
    }
}

void DsnEditDialog::onTest() {
    // The user and password of the data source page, as the connection would use them.
    const ConnectionValues& values = ConnectionSettings::values();
    Status status;
    bool cancelled = false;
    {
        // Bounded as every connection is: past a moment the waiting window offers to cancel.
        const ui::WaitCursor wait;
        status = testOdbcConnection(driver(), attributes(), cp1251::toUtf8(values.user),
                                    cp1251::toUtf8(values.password), &cancelled);
    }
    // The operator stopped waiting: that is no error, and there is nothing to report.
    if (cancelled) {
        return;
    }
    // Says whose name and password were used: the page's, not ones of this dialog.
    const QString whose =
        QStringLiteral("\n\n") + ui::text(texts::kDsnTestUser).arg(ui::fromRecord(values.user));
    if (status) {
        ui::showMessage(this, ui::BoxKind::Information, windowTitle(),
                        ui::text(texts::kDsnTestPassed) + whose);
    } else {
        ui::showMessage(this, ui::BoxKind::Error, windowTitle(),
                        ui::text(texts::kDsnTestFailed).arg(ui::text(status.error)) + whose);
    }
}

void DsnEditDialog::keyPressEvent(QKeyEvent* event) {
    // Enter on a parameter cell opens it for editing (Enter in the cell's editor finishes it): it
    // must not close the dialog and write the data source with half its parameters typed.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && ui_->table->hasFocus() && ui_->table->currentItem() != nullptr) {
        ui_->table->editItem(ui_->table->currentItem());
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void DsnEditDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    QWidget* outer = parentWidget();
    while (outer != nullptr && outer->parentWidget() != nullptr) {
        outer = outer->parentWidget();
    }
    if (outer != nullptr && frameGeometry().top() < outer->frameGeometry().top()) {
        move(x(), y() + outer->frameGeometry().top() - frameGeometry().top());
    }
}

std::string DsnEditDialog::name() const {
    return ui_->nameEdit->text().toStdString();
}

std::string DsnEditDialog::driver() const {
    return ui_->driverBox->currentText().toStdString();
}

OdbcAttributes DsnEditDialog::attributes() const {
    OdbcAttributes result;
    for (int row = 0; row < ui_->table->rowCount(); ++row) {
        const QTableWidgetItem* key = ui_->table->item(row, 0);
        const QTableWidgetItem* value = ui_->table->item(row, 1);
        const QString k = key != nullptr ? key->text().trimmed() : QString();
        const QString v = value != nullptr ? value->text().trimmed() : QString();
        if (k.isEmpty() || v.isEmpty()) {
            continue;  // an offered field left empty is not written
        }
        result.emplace_back(k.toStdString(), v.toStdString());
    }
    return result;
}

void DsnEditDialog::accept() {
    if (Status s = checkDataSourceName(ui_->nameEdit->text().toStdString()); !s) {
        warn(this, ui::text(s.error));
        return;
    }
    if (ui_->driverBox->currentText().isEmpty()) {
        warn(this, ui::text(texts::kChooseDsnDriver));
        return;
    }
    if (Status s = checkAttributes(attributes()); !s) {
        warn(this, ui::text(s.error));
        return;
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

// The controls the dialog works with; all of them are children of the dialog.
struct DsnManagerDialog::Controls {
    QTreeWidget* list = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* closeButton = nullptr;
};

DsnManagerDialog::DsnManagerDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Controls>()) {
    Controls& c = *ui_;
    setWindowTitle(ui::text(texts::kDsnManagerTitle));
    auto* note = new QLabel(ui::text(texts::kDsnManagerNote), this);
    note->setWordWrap(true);
    c.list = new QTreeWidget(this);
    c.addButton = new QPushButton(ui::text(texts::kDsnAdd), this);
    c.editButton = new QPushButton(ui::text(texts::kDsnEdit), this);
    c.removeButton = new QPushButton(ui::text(texts::kDsnRemove), this);
    auto* buttons = new QDialogButtonBox(this);
    // Closing is accepting: the list as it now is counts.
    c.closeButton = buttons->addButton(ui::text(texts::kDsnClose), QDialogButtonBox::AcceptRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    // The list with what can be done to its entries beside it, and the dialog's button below.
    auto* listRow = new QHBoxLayout;
    layout->addLayout(listRow, 1);
    listRow->addWidget(c.list, 1);
    auto* actions = new QVBoxLayout;
    listRow->addLayout(actions);
    actions->addWidget(c.addButton);
    actions->addWidget(c.editButton);
    actions->addWidget(c.removeButton);
    actions->addStretch(1);
    layout->addWidget(buttons);

    c.list->setColumnCount(3);
    c.list->setHeaderLabels({ui::text(texts::kDsnNameColumn), ui::text(texts::kDsnDriverColumn),
                             ui::text(texts::kDsnKindColumn)});
    c.list->setRootIsDecorated(false);
    c.list->setAllColumnsShowFocus(true);
    c.list->setSelectionMode(QAbstractItemView::SingleSelection);
    resize(560, 360);

    for (QPushButton* button : {c.addButton, c.editButton, c.removeButton}) {
        button->setAutoDefault(false);
    }
    c.closeButton->setDefault(true);
    connect(c.addButton, &QPushButton::clicked, this, &DsnManagerDialog::onAdd);
    connect(c.editButton, &QPushButton::clicked, this, &DsnManagerDialog::onEdit);
    connect(c.removeButton, &QPushButton::clicked, this, &DsnManagerDialog::onRemove);
    connect(buttons, &QDialogButtonBox::accepted, this, &DsnManagerDialog::accept);
    connect(c.list, &QTreeWidget::currentItemChanged, this, &DsnManagerDialog::updateButtons);
    connect(c.list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (ui_->editButton->isEnabled()) {
            onEdit();
        }
    });
    refresh();
}

DsnManagerDialog::~DsnManagerDialog() = default;

QTreeWidget& DsnManagerDialog::list() {
    return *ui_->list;
}
QPushButton& DsnManagerDialog::addButton() {
    return *ui_->addButton;
}
QPushButton& DsnManagerDialog::editButton() {
    return *ui_->editButton;
}
QPushButton& DsnManagerDialog::removeButton() {
    return *ui_->removeButton;
}
QPushButton& DsnManagerDialog::closeButton() {
    return *ui_->closeButton;
}

void DsnManagerDialog::refresh() {
    {
        const ui::WaitCursor wait;
        sources_ = listOdbcDataSources();
    }
    ui_->list->clear();
    for (const OdbcDataSource& source : sources_) {
        auto item = std::make_unique<QTreeWidgetItem>(
            QStringList{ui::text(source.name), ui::text(source.driver),
                        ui::text(source.isSystem ? texts::kDsnSystemKind : texts::kDsnUserKind)});
        ui_->list->addTopLevelItem(item.release());  // the list owns its items
    }
    for (int column = 0; column < 3; ++column) {
        ui_->list->resizeColumnToContents(column);
    }
    // A row is always selected where there is one, so the buttons say what they act on.
    if (ui_->list->topLevelItemCount() > 0) {
        ui_->list->setCurrentItem(ui_->list->topLevelItem(0));
    }
    updateButtons();
}

bool DsnManagerDialog::select(const QString& name, bool isSystem) {
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        if (ui::text(sources_[i].name) == name && sources_[i].isSystem == isSystem) {
            ui_->list->setCurrentItem(ui_->list->topLevelItem(static_cast<int>(i)));
            return true;
        }
    }
    return false;
}

const OdbcDataSource* DsnManagerDialog::selected() const {
    const int row = ui_->list->currentItem() != nullptr
                        ? ui_->list->indexOfTopLevelItem(ui_->list->currentItem())
                        : -1;
    if (row < 0 || row >= static_cast<int>(sources_.size())) {
        return nullptr;
    }
    return &sources_[static_cast<std::size_t>(row)];
}

bool DsnManagerDialog::userSourceExists(const std::string& name) const {
    for (const OdbcDataSource& source : sources_) {
        if (!source.isSystem &&
            QString::fromStdString(source.name).compare(ui::text(name), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

void DsnManagerDialog::updateButtons() {
    const OdbcDataSource* source = selected();
    const bool user = source != nullptr && !source->isSystem;
    ui_->editButton->setEnabled(user);
    ui_->removeButton->setEnabled(user);
}

void DsnManagerDialog::onAdd() {
    std::vector<std::string> drivers;
    {
        const ui::WaitCursor wait;
        drivers = installedOdbcDrivers();
    }
    if (drivers.empty()) {
        warn(this, ui::text(texts::kNoOdbcDrivers));
        return;
    }
    DsnEditDialog edit(this, drivers, {}, {}, {});
    if (ui::runModal(edit) != QDialog::Accepted) {
        return;
    }
    const std::string name = edit.name();
    if (userSourceExists(name) &&
        ui::showMessage(this, ui::BoxKind::Question, ui::applicationTitle(),
                        ui::text(texts::kReplaceDsnQuestion).arg(ui::text(name))) !=
            ui::BoxAnswer::Yes) {
        return;
    }
    Status status;
    {
        const ui::WaitCursor wait;
        status = writeUserDataSource(name, edit.driver(), edit.attributes());
    }
    if (!status) {
        warn(this, ui::text(texts::kDsnNotWritten).arg(ui::text(name), ui::text(status.error)));
    }
    refresh();
    select(ui::text(name), false);
}

void DsnManagerDialog::onEdit() {
    const OdbcDataSource* source = selected();
    if (source == nullptr || source->isSystem) {
        return;
    }
    const OdbcDataSource chosen = *source;
    std::vector<std::string> drivers;
    OdbcAttributes attributes;
    {
        const ui::WaitCursor wait;
        drivers = installedOdbcDrivers();
        attributes = odbcDataSourceAttributes(chosen.name, false);
    }
    DsnEditDialog edit(this, drivers, chosen.name, chosen.driver, attributes);
    if (ui::runModal(edit) != QDialog::Accepted) {
        return;
    }
    Status status;
    {
        const ui::WaitCursor wait;
        status = writeUserDataSource(chosen.name, edit.driver(), edit.attributes());
    }
    if (!status) {
        warn(this,
             ui::text(texts::kDsnNotWritten).arg(ui::text(chosen.name), ui::text(status.error)));
    }
    refresh();
    select(ui::text(chosen.name), false);
}

void DsnManagerDialog::onRemove() {
    const OdbcDataSource* source = selected();
    if (source == nullptr || source->isSystem) {
        return;
    }
    const std::string name = source->name;
    if (ui::showMessage(this, ui::BoxKind::Question, ui::applicationTitle(),
                        ui::text(texts::kRemoveDsnQuestion).arg(ui::text(name))) !=
        ui::BoxAnswer::Yes) {
        return;
    }
    Status status;
    {
        const ui::WaitCursor wait;
        status = removeUserDataSource(name);
    }
    if (!status) {
        warn(this, ui::text(texts::kDsnNotRemoved).arg(ui::text(name), ui::text(status.error)));
    }
    refresh();
}

}  // namespace vorda
