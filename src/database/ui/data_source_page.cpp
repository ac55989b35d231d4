#include "database/ui/data_source_page.h"

#include <QSignalBlocker>

#include "app/ui/folder_chooser.h"
#include "database/ui/dsn_manager_dialog.h"
#include "resources/texts.h"
#include "settings/settings_file.h"

namespace vorda {
namespace {

constexpr int kUserChars = static_cast<int>(ConnectionValues::kUserLimit);
constexpr int kPasswordChars = static_cast<int>(ConnectionValues::kPasswordLimit);
constexpr int kDataDirChars = static_cast<int>(ConnectionValues::kDataDirLimit);

const QString kSystemSuffix = ui::text(texts::kSystemDsnSuffix);
const QString kUserSuffix = ui::text(texts::kUserDsnSuffix);

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
      browseButton_(ui::text(texts::kBrowse)),
      adminButton_(ui::text(texts::kAdminButton)),
      testButton_(ui::text(texts::kTestButton)),
      sourceLabel_(ui::text(texts::kDataSourceLabel)),
      userLabel_(ui::text(texts::kUserLabel)),
      passwordLabel_(ui::text(texts::kPasswordLabel)),
      dataDirLabel_(ui::text(texts::kDataDirLabel)) {
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
    sourceBox_.setMaxVisibleItems(8);
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
        testButton_.fontMetrics().horizontalAdvance(ui::text(texts::kTestButton)) + 48);

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
        if (entry.name.empty()) {
            break;
        }
        sourceBox_.addItem(ui::fromRecord(entry.name) +
                           (entry.isSystem ? kSystemSuffix : kUserSuffix));
    }
    // The first entry that begins with the current name, whatever the letter case.
    const QString current = ui::fromRecord(ConnectionSettings::values().dataSource);
    int selected = -1;
    for (int i = 0; i < sourceBox_.count(); ++i) {
        if (sourceBox_.itemText(i).startsWith(current, Qt::CaseInsensitive)) {
            selected = i;
            break;
        }
    }
    sourceBox_.setCurrentIndex(selected);
}

void DataSourcePage::onSourceChanged(int index) {
    if (index < 0) {
        return;
    }
    // The name the driver manager knows, without the list's suffix.
    if (auto bytes = ui::toRecord(sourceBox_.itemText(index))) {
        ConnectionSettings::values().dataSource = plainDataSourceName(*bytes);
    }
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
    std::string name;
    const QString entry = sourceBox_.currentIndex() >= 0 ? sourceBox_.currentText() : QString();
    if (entry.endsWith(kSystemSuffix) || entry.endsWith(kUserSuffix)) {
        name = plainDataSourceName(ui::toRecord(entry).value_or(std::string()));
    }
    values.dataSource = name;
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
