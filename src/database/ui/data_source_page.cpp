#include "database/ui/data_source_page.h"

#include <QSignalBlocker>

#include "app/ui/folder_chooser.h"
#include "database/ui/dsn_manager_dialog.h"
#include "settings/settings_file.h"

namespace vorda {
namespace {

constexpr int kUserChars = static_cast<int>(ConnectionValues::kUserLimit);
constexpr int kPasswordChars = static_cast<int>(ConnectionValues::kPasswordLimit);
constexpr int kDataDirChars = static_cast<int>(ConnectionValues::kDataDirLimit);

const QString kSystemSuffix = QStringLiteral(" (System DSN)");
const QString kUserSuffix = QStringLiteral(" (User DSN)");
// The configured name when the driver manager lists no data source of that name.
const QString kNotFoundSuffix = QStringLiteral(" (не найден)");
// Each entry holds the name the driver manager knows (code page 1251) under this role.
constexpr int kNameRole = Qt::UserRole;

void storeText(std::string& target, const QString& text, int maxChars) {
    if (auto bytes = ui::toRecord(text.left(maxChars))) {
        target = std::move(*bytes);
    }
}

// A box text with the line ends the widgets expect.
QString boxText(const std::string& bytes) {
    return ui::fromRecord(bytes).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

DataSourcePage::DataSourcePage(const Environment& env, QWidget* parent)
    : ui::DialogPage(parent),
      sources_(env),
      layout_(this),
      boxLayout_(&box_),
      userValidator_(kUserChars),
      passwordValidator_(kPasswordChars),
      dataDirValidator_(kDataDirChars),
      browseButton_(QStringLiteral("..")),
      adminButton_(QStringLiteral("Вызов ODBC Data Source Administrator")),
      testButton_(QStringLiteral("Тест")),
      sourceLabel_(QStringLiteral("Имя ресурса базы данных, объявленного в ODBC")),
      userLabel_(QStringLiteral("Имя пользователя")),
      passwordLabel_(QStringLiteral("Пароль пользователя")),
      dataDirLabel_(
          QStringLiteral("Путь на данные для системы обработки сейсмических данных (ZEL)")) {
    // The values the page shows come from a short-lived object's load.
    ConnectionSettings(env).load();

    layout_.addWidget(&adminButton_);
    boxLayout_.addWidget(&sourceLabel_);
    boxLayout_.addWidget(&sourceBox_);
    boxLayout_.addSpacing(4);
    boxLayout_.addWidget(&userLabel_);
    boxLayout_.addWidget(&userEdit_);
    boxLayout_.addSpacing(4);
    boxLayout_.addWidget(&passwordLabel_);
    boxLayout_.addWidget(&passwordEdit_);
    boxLayout_.addSpacing(4);
    boxLayout_.addWidget(&dataDirLabel_);
    dirRow_.setSpacing(0);
    dirRow_.addWidget(&dataDirEdit_, 1);
    dirRow_.addWidget(&browseButton_);
    boxLayout_.addLayout(&dirRow_);
    layout_.addWidget(&box_);
    testRow_.addStretch(1);
    testRow_.addWidget(&testButton_);
    layout_.addLayout(&testRow_);
    layout_.addStretch(1);

    sourceLabel_.setBuddy(&sourceBox_);
    userLabel_.setBuddy(&userEdit_);
    passwordLabel_.setBuddy(&passwordEdit_);
    dataDirLabel_.setBuddy(&dataDirEdit_);
    sourceBox_.setEditable(false);
    // A drop-down of ordinary height that scrolls, however many data sources there are (some
    // styles otherwise open a list as tall as the screen).
    sourceBox_.setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    sourceBox_.setMaxVisibleItems(12);
    sourceBox_.setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    userEdit_.setValidator(&userValidator_);
    passwordEdit_.setValidator(&passwordValidator_);
    passwordEdit_.setEchoMode(QLineEdit::Password);
    dataDirEdit_.setValidator(&dataDirValidator_);
    browseButton_.setFixedWidth(browseButton_.sizeHint().height());
    for (QPushButton* button : {&browseButton_, &adminButton_, &testButton_}) {
        button->setAutoDefault(false);
    }
    testButton_.setMinimumWidth(
        testButton_.fontMetrics().horizontalAdvance(QStringLiteral("Тест")) + 48);

    QWidget::setTabOrder(&sourceBox_, &userEdit_);
    QWidget::setTabOrder(&userEdit_, &passwordEdit_);
    QWidget::setTabOrder(&passwordEdit_, &dataDirEdit_);
    QWidget::setTabOrder(&dataDirEdit_, &browseButton_);
    QWidget::setTabOrder(&browseButton_, &adminButton_);
    QWidget::setTabOrder(&adminButton_, &testButton_);

    const ConnectionValues& values = ConnectionSettings::values();
    userEdit_.setText(ui::fromRecord(values.user));
    passwordEdit_.setText(ui::fromRecord(values.password));
    dataDirEdit_.setText(ui::fromRecord(values.dataDir));
    refillSources();

    connect(&userEdit_, &QLineEdit::textChanged, this, [](const QString& text) {
        storeText(ConnectionSettings::values().user, text, kUserChars);
    });
    connect(&passwordEdit_, &QLineEdit::textChanged, this, [](const QString& text) {
        storeText(ConnectionSettings::values().password, text, kPasswordChars);
    });
    connect(&dataDirEdit_, &QLineEdit::textChanged, this, [](const QString& text) {
        storeText(ConnectionSettings::values().dataDir, text, kDataDirChars);
    });
    connect(&sourceBox_, &QComboBox::currentIndexChanged, this, &DataSourcePage::onSourceChanged);
    connect(&browseButton_, &QPushButton::clicked, this, &DataSourcePage::onBrowse);
    connect(&adminButton_, &QPushButton::clicked, this, &DataSourcePage::onAdmin);
    connect(&testButton_, &QPushButton::clicked, this, &DataSourcePage::onTest);
}

DataSourcePage::~DataSourcePage() = default;

void DataSourcePage::refillSources() {
    // Filling and selecting here is not the operator's choice: the data source stays as it is.
    const QSignalBlocker blocker(sourceBox_);
    sourceBox_.clear();
    sources_.dataSources.clear();
    {
        const ui::WaitCursor wait;
        sources_.enumerateDataSources();
    }
    for (const DataSourceEntry& entry : sources_.dataSources) {
        sourceBox_.addItem(
            ui::fromRecord(entry.name) + (entry.isSystem ? kSystemSuffix : kUserSuffix),
            QByteArray::fromStdString(entry.name));
    }
    // The configured name as it is: its own entry, or one of its own marked as not found.
    const std::string& current = ConnectionSettings::values().dataSource;
    int selected = findDataSourceEntry(sources_.dataSources, current);
    if (selected < 0 && !current.empty()) {
        sourceBox_.addItem(ui::fromRecord(current) + kNotFoundSuffix,
                           QByteArray::fromStdString(current));
        selected = sourceBox_.count() - 1;
    }
    sourceBox_.setCurrentIndex(selected);
}

std::string DataSourcePage::entryName(int index) const {
    return index >= 0 ? sourceBox_.itemData(index, kNameRole).toByteArray().toStdString()
                      : std::string();
}

void DataSourcePage::onSourceChanged(int index) {
    if (index < 0) {
        return;
    }
    // The name the driver manager knows, without the list's suffix.
    ConnectionSettings::values().dataSource = entryName(index);
}

void DataSourcePage::onBrowse() {
    const QString chosen = ui::chooseFolder(window(), dataDirEdit_.text());
    if (!chosen.isEmpty()) {
        dataDirEdit_.setText(chosen);
    }
}

void DataSourcePage::onAdmin() {
    DsnManagerDialog manager(window());
    ui::runModal(manager);
    refillSources();
}

void DataSourcePage::onTest() {
    ConnectionValues& values = ConnectionSettings::values();
    // With an entry selected, its name; with none, the name stays as configured.
    if (sourceBox_.currentIndex() >= 0) {
        values.dataSource = entryName(sourceBox_.currentIndex());
    }
    storeText(values.user, userEdit_.text(), kUserChars);
    storeText(values.password, passwordEdit_.text(), kPasswordChars);

    ConnectOutcome outcome;
    {
        const ui::WaitCursor wait;
        sources_.disconnect();
        outcome = sources_.connect(true);
    }
    if (outcome.showBox) {
        // The connection's own boxes: their own caption, no owner window.
        ui::showMessage(nullptr, outcome.isError ? ui::BoxKind::Error : ui::BoxKind::Information,
                        ui::fromRecord(outcome.caption), boxText(outcome.text));
    }
}

}  // namespace vorda
