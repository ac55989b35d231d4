#include "database/ui/dsn_manager_dialog.h"

#include <QHeaderView>
#include <QKeyEvent>

#include "app/ui/ui_support.h"
#include "database/connection_settings.h"
#include "platform/cp1251.h"

namespace vorda {
namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

void warn(QWidget* parent, const QString& message) {
    ui::showMessage(parent, ui::BoxKind::Warning, ui::applicationTitle(), message);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

DsnEditDialog::DsnEditDialog(QWidget* parent, const std::vector<std::string>& drivers,
                             const std::string& name, const std::string& driver,
                             const OdbcAttributes& attributes)
    : QDialog(parent),
      layout_(this),
      tableLabel_(QStringLiteral("Параметры источника данных:")),
      addRowButton_(QStringLiteral("Добавить параметр")),
      removeRowButton_(QStringLiteral("Удалить параметр")),
      testButton_(QStringLiteral("Тест")),
      okButton_(QStringLiteral("OK")),
      cancelButton_(QStringLiteral("Отмена")) {
    setWindowTitle(name.empty() ? QStringLiteral("Новый источник данных ODBC")
                                : QStringLiteral("Источник данных ODBC"));
    form_.addRow(QStringLiteral("Имя источника данных:"), &nameEdit_);
    form_.addRow(QStringLiteral("Драйвер:"), &driverBox_);
    layout_.addLayout(&form_);
    layout_.addWidget(&tableLabel_);
    layout_.addWidget(&table_, 1);
    rowButtons_.addWidget(&addRowButton_);
    rowButtons_.addWidget(&removeRowButton_);
    rowButtons_.addStretch(1);
    layout_.addLayout(&rowButtons_);
    buttons_.addWidget(&testButton_);
    buttons_.addStretch(1);
    buttons_.addWidget(&okButton_);
    buttons_.addWidget(&cancelButton_);
    layout_.addLayout(&buttons_);

    for (const std::string& d : drivers) {
        driverBox_.addItem(text(d));
    }
    if (!driver.empty()) {
        int index = driverBox_.findText(text(driver));
        if (index < 0) {
            driverBox_.addItem(text(driver));
            index = driverBox_.count() - 1;
        }
        driverBox_.setCurrentIndex(index);
    }
    nameEdit_.setText(text(name));
    nameEdit_.setReadOnly(!name.empty());

    table_.setColumnCount(2);
    table_.setHorizontalHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Значение")});
    table_.horizontalHeader()->setStretchLastSection(true);
    table_.verticalHeader()->setVisible(false);
    table_.setSelectionBehavior(QAbstractItemView::SelectRows);
    table_.setSelectionMode(QAbstractItemView::SingleSelection);
    for (const auto& [key, value] : attributes) {
        addRow(text(key), text(value));
    }
    offerDriverKeys();
    table_.resizeColumnToContents(0);
    table_.setColumnWidth(0, qMax(table_.columnWidth(0), 120));
    resize(480, 360);

    okButton_.setDefault(true);
    testButton_.setAutoDefault(false);
    connect(&okButton_, &QPushButton::clicked, this, &DsnEditDialog::accept);
    connect(&testButton_, &QPushButton::clicked, this, &DsnEditDialog::onTest);
    // Another driver reads other keys: its own are offered instead of the empty ones offered
    // for the driver before.
    connect(&driverBox_, &QComboBox::currentTextChanged, this, [this] { offerDriverKeys(); });
    connect(&cancelButton_, &QPushButton::clicked, this, &DsnEditDialog::reject);
    connect(&addRowButton_, &QPushButton::clicked, this, [this] {
        addRow(QString(), QString());
        table_.setCurrentCell(table_.rowCount() - 1, 0);
        table_.editItem(table_.item(table_.rowCount() - 1, 0));
    });
    connect(&removeRowButton_, &QPushButton::clicked, this, [this] {
        if (table_.currentRow() >= 0) {
            table_.removeRow(table_.currentRow());
        }
    });
}

DsnEditDialog::~DsnEditDialog() = default;

void DsnEditDialog::addRow(const QString& key, const QString& value) {
    const int row = table_.rowCount();
    table_.insertRow(row);
    // The table owns its items.
    table_.setItem(row, 0, std::make_unique<QTableWidgetItem>(key).release());
    table_.setItem(row, 1, std::make_unique<QTableWidgetItem>(value).release());
}

void DsnEditDialog::offerDriverKeys() {
    for (int row = table_.rowCount() - 1; row >= 0; --row) {
        const QTableWidgetItem* key = table_.item(row, 0);
        const QTableWidgetItem* value = table_.item(row, 1);
        if (key != nullptr && offeredKeys_.contains(key->text()) &&
            (value == nullptr || value->text().trimmed().isEmpty())) {
            table_.removeRow(row);
        }
    }
    offeredKeys_.clear();
    for (const std::string& key : odbcDriverKeys(driver())) {
        const QString k = text(key);
        offeredKeys_ << k;
        bool present = false;
        for (int row = 0; row < table_.rowCount() && !present; ++row) {
            const QTableWidgetItem* item = table_.item(row, 0);
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
    {
        const ui::WaitCursor wait;
        status = testOdbcConnection(driver(), attributes(), cp1251::toUtf8(values.user),
                                    cp1251::toUtf8(values.password));
    }
    if (status) {
        ui::showMessage(this, ui::BoxKind::Information, windowTitle(),
                        QStringLiteral("Подключение установлено."));
    } else {
        ui::showMessage(this, ui::BoxKind::Error, windowTitle(),
                        QStringLiteral("Подключиться не удалось:\n%1").arg(text(status.error)));
    }
}

void DsnEditDialog::keyPressEvent(QKeyEvent* event) {
    // Enter on a parameter cell opens it for editing (Enter in the cell's editor finishes it): it
    // must not close the dialog and write the data source with half its parameters typed.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && table_.hasFocus() && table_.currentItem() != nullptr) {
        table_.editItem(table_.currentItem());
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

std::string DsnEditDialog::name() const {
    return nameEdit_.text().toStdString();
}

std::string DsnEditDialog::driver() const {
    return driverBox_.currentText().toStdString();
}

OdbcAttributes DsnEditDialog::attributes() const {
    OdbcAttributes result;
    for (int row = 0; row < table_.rowCount(); ++row) {
        const QTableWidgetItem* key = table_.item(row, 0);
        const QTableWidgetItem* value = table_.item(row, 1);
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
    if (!checkDataSourceName(nameEdit_.text().toStdString())) {
        warn(this, QStringLiteral("Введите имя источника данных: буквы, цифры, пробелы и "
                                  "знаки, кроме []{}(),;?*=!@\\."));
        return;
    }
    if (driverBox_.currentText().isEmpty()) {
        warn(this, QStringLiteral("Выберите драйвер источника данных."));
        return;
    }
    QStringList seen;
    for (int row = 0; row < table_.rowCount(); ++row) {
        const QTableWidgetItem* key = table_.item(row, 0);
        const QTableWidgetItem* value = table_.item(row, 1);
        const QString k = key != nullptr ? key->text().trimmed() : QString();
        if (k.isEmpty()) {
            continue;
        }
        if (!checkAttributeKey(k.toStdString()) || seen.contains(k, Qt::CaseInsensitive)) {
            warn(this, QStringLiteral("Недопустимое или повторное имя параметра: %1").arg(k));
            return;
        }
        if (value != nullptr &&
            !checkAttributeValue(k.toStdString(), value->text().toStdString())) {
            warn(this,
                 QStringLiteral("Значение параметра %1 не может содержать перевод строки.").arg(k));
            return;
        }
        seen.append(k);
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

DsnManagerDialog::DsnManagerDialog(QWidget* parent)
    : QDialog(parent),
      layout_(this),
      note_(QStringLiteral("Источники данных ODBC этого компьютера. Пользовательские источники "
                           "можно добавлять, изменять и удалять; системные только просматривать.")),
      addButton_(QStringLiteral("Добавить...")),
      editButton_(QStringLiteral("Изменить...")),
      removeButton_(QStringLiteral("Удалить")),
      closeButton_(QStringLiteral("Закрыть")) {
    setWindowTitle(QStringLiteral("Источники данных ODBC"));
    note_.setWordWrap(true);
    layout_.addWidget(&note_);
    layout_.addWidget(&list_, 1);
    buttons_.addWidget(&addButton_);
    buttons_.addWidget(&editButton_);
    buttons_.addWidget(&removeButton_);
    buttons_.addStretch(1);
    buttons_.addWidget(&closeButton_);
    layout_.addLayout(&buttons_);

    list_.setColumnCount(3);
    list_.setHeaderLabels(
        {QStringLiteral("Имя"), QStringLiteral("Драйвер"), QStringLiteral("Вид")});
    list_.setRootIsDecorated(false);
    list_.setAllColumnsShowFocus(true);
    list_.setSelectionMode(QAbstractItemView::SingleSelection);
    resize(560, 360);

    for (QPushButton* button : {&addButton_, &editButton_, &removeButton_}) {
        button->setAutoDefault(false);
    }
    closeButton_.setDefault(true);
    connect(&addButton_, &QPushButton::clicked, this, &DsnManagerDialog::onAdd);
    connect(&editButton_, &QPushButton::clicked, this, &DsnManagerDialog::onEdit);
    connect(&removeButton_, &QPushButton::clicked, this, &DsnManagerDialog::onRemove);
    connect(&closeButton_, &QPushButton::clicked, this, &DsnManagerDialog::accept);
    connect(&list_, &QTreeWidget::currentItemChanged, this, &DsnManagerDialog::updateButtons);
    connect(&list_, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (editButton_.isEnabled()) {
            onEdit();
        }
    });
    refresh();
}

DsnManagerDialog::~DsnManagerDialog() = default;

void DsnManagerDialog::refresh() {
    {
        const ui::WaitCursor wait;
        sources_ = listOdbcDataSources();
    }
    list_.clear();
    for (const OdbcDataSource& source : sources_) {
        auto item = std::make_unique<QTreeWidgetItem>(QStringList{
            text(source.name), text(source.driver),
            source.isSystem ? QStringLiteral("системный") : QStringLiteral("пользовательский")});
        list_.addTopLevelItem(item.release());  // the list owns its items
    }
    for (int column = 0; column < 3; ++column) {
        list_.resizeColumnToContents(column);
    }
    // A row is always selected where there is one, so the buttons say what they act on.
    if (list_.topLevelItemCount() > 0) {
        list_.setCurrentItem(list_.topLevelItem(0));
    }
    updateButtons();
}

bool DsnManagerDialog::select(const QString& name, bool isSystem) {
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        if (text(sources_[i].name) == name && sources_[i].isSystem == isSystem) {
            list_.setCurrentItem(list_.topLevelItem(static_cast<int>(i)));
            return true;
        }
    }
    return false;
}

const OdbcDataSource* DsnManagerDialog::selected() const {
    const int row =
        list_.currentItem() != nullptr ? list_.indexOfTopLevelItem(list_.currentItem()) : -1;
    if (row < 0 || row >= static_cast<int>(sources_.size())) {
        return nullptr;
    }
    return &sources_[static_cast<std::size_t>(row)];
}

bool DsnManagerDialog::userSourceExists(const std::string& name) const {
    for (const OdbcDataSource& source : sources_) {
        if (!source.isSystem &&
            QString::fromStdString(source.name).compare(text(name), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

void DsnManagerDialog::updateButtons() {
    const OdbcDataSource* source = selected();
    const bool user = source != nullptr && !source->isSystem;
    editButton_.setEnabled(user);
    removeButton_.setEnabled(user);
}

void DsnManagerDialog::onAdd() {
    std::vector<std::string> drivers;
    {
        const ui::WaitCursor wait;
        drivers = installedOdbcDrivers();
    }
    if (drivers.empty()) {
        warn(this,
             QStringLiteral("В диспетчере драйверов ODBC не установлено ни одного драйвера."));
        return;
    }
    DsnEditDialog edit(this, drivers, {}, {}, {});
    if (ui::runModal(edit) != QDialog::Accepted) {
        return;
    }
    const std::string name = edit.name();
    if (userSourceExists(name) &&
        ui::showMessage(
            this, ui::BoxKind::Question, ui::applicationTitle(),
            QStringLiteral("Источник данных %1 уже есть. Заменить его?").arg(text(name))) !=
            ui::BoxAnswer::Yes) {
        return;
    }
    Status status;
    {
        const ui::WaitCursor wait;
        status = writeUserDataSource(name, edit.driver(), edit.attributes());
    }
    if (!status) {
        warn(this, QStringLiteral("Не удалось записать источник данных %1:\n%2")
                       .arg(text(name), text(status.error)));
    }
    refresh();
    select(text(name), false);
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
        warn(this, QStringLiteral("Не удалось записать источник данных %1:\n%2")
                       .arg(text(chosen.name), text(status.error)));
    }
    refresh();
    select(text(chosen.name), false);
}

void DsnManagerDialog::onRemove() {
    const OdbcDataSource* source = selected();
    if (source == nullptr || source->isSystem) {
        return;
    }
    const std::string name = source->name;
    if (ui::showMessage(this, ui::BoxKind::Question, ui::applicationTitle(),
                        QStringLiteral("Удалить источник данных %1?").arg(text(name))) !=
        ui::BoxAnswer::Yes) {
        return;
    }
    Status status;
    {
        const ui::WaitCursor wait;
        status = removeUserDataSource(name);
    }
    if (!status) {
        warn(this, QStringLiteral("Не удалось удалить источник данных %1:\n%2")
                       .arg(text(name), text(status.error)));
    }
    refresh();
}

}  // namespace vorda
