#include "database/ui/data_source_page.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "database/connection_settings.h"
#include "database/ui/dsn_manager_dialog.h"
#include "resources/texts.h"
#include "settings/settings_file.h"
#include "ui/folder_chooser.h"
#include "ui/ui_support.h"

namespace vorda {
namespace {

constexpr int kUserChars = static_cast<int>(ConnectionValues::kUserLimit);
constexpr int kPasswordChars = static_cast<int>(ConnectionValues::kPasswordLimit);
constexpr int kDataDirChars = static_cast<int>(ConnectionValues::kDataDirLimit);

const QString kSystemSuffix = ui::text(texts::kSystemDsnSuffix);
const QString kUserSuffix = ui::text(texts::kUserDsnSuffix);
// The configured name when the driver manager lists no data source of that name.
const QString kNotFoundSuffix = ui::text(texts::kNotFoundDsnSuffix);
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

// The connection object that lists the data sources and tests, and the controls the page works
// with; all of them are children of the page.
struct DataSourcePage::Controls {
    explicit Controls(const Environment& env) : sources(env) {}

    ConnectionSettings sources;
    QComboBox* sourceBox = nullptr;
    QLineEdit* userEdit = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QLineEdit* dataDirEdit = nullptr;
    QPushButton* browseButton = nullptr;
    QPushButton* adminButton = nullptr;
    QPushButton* testButton = nullptr;
    QLabel* originLabel = nullptr;  // where the values came from
};

DataSourcePage::DataSourcePage(const Environment& env, QWidget* parent)
    : ui::DialogPage(parent), ui_(std::make_unique<Controls>(env)) {
    // The values the page shows; the settings file as the dialog loaded it, when it has.
    if (const SettingsFile& file = settingsFile();
        file.document && file.filePath == ui_->sources.settingsPath) {
        ui_->sources.settingsDocument = &*file.document;
    }
    ui_->sources.load();
    ui_->sources.settingsDocument = nullptr;  // the document changes with the next save

    Controls& c = *ui_;
    c.adminButton = new QPushButton(ui::text(texts::kAdminButton), this);
    auto* box = new QGroupBox(this);
    auto* sourceLabel = new QLabel(ui::text(texts::kDataSourceLabel), box);
    c.sourceBox = new QComboBox(box);
    auto* userLabel = new QLabel(ui::text(texts::kUserLabel), box);
    c.userEdit = new QLineEdit(box);
    auto* passwordLabel = new QLabel(ui::text(texts::kPasswordLabel), box);
    c.passwordEdit = new QLineEdit(box);
    auto* dataDirLabel = new QLabel(ui::text(texts::kDataDirLabel), box);
    c.dataDirEdit = new QLineEdit(box);
    c.browseButton = new QPushButton(ui::text(texts::kBrowse), box);
    c.testButton = new QPushButton(ui::text(texts::kTestButton), this);
    c.originLabel = new QLabel(box);
    c.originLabel->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(c.adminButton);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(sourceLabel);
    boxLayout->addWidget(c.sourceBox);
    boxLayout->addSpacing(4);
    boxLayout->addWidget(userLabel);
    boxLayout->addWidget(c.userEdit);
    boxLayout->addSpacing(4);
    boxLayout->addWidget(passwordLabel);
    boxLayout->addWidget(c.passwordEdit);
    boxLayout->addSpacing(4);
    boxLayout->addWidget(dataDirLabel);
    auto* dirRow = new QHBoxLayout;
    boxLayout->addLayout(dirRow);
    dirRow->setSpacing(0);
    dirRow->addWidget(c.dataDirEdit, 1);
    dirRow->addWidget(c.browseButton);
    boxLayout->addWidget(c.originLabel);
    layout->addWidget(box);
    auto* testRow = new QHBoxLayout;
    layout->addLayout(testRow);
    testRow->addStretch(1);
    testRow->addWidget(c.testButton);
    layout->addStretch(1);

    sourceLabel->setBuddy(c.sourceBox);
    userLabel->setBuddy(c.userEdit);
    passwordLabel->setBuddy(c.passwordEdit);
    dataDirLabel->setBuddy(c.dataDirEdit);
    c.sourceBox->setEditable(false);
    // A drop-down of ordinary height that scrolls, however many data sources there are (some
    // styles otherwise open a list as tall as the screen).
    c.sourceBox->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    c.sourceBox->setMaxVisibleItems(12);
    c.sourceBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c.userEdit->setValidator(new ui::Cp1251Validator(kUserChars, this));
    c.passwordEdit->setValidator(new ui::Cp1251Validator(kPasswordChars, this));
    c.passwordEdit->setEchoMode(QLineEdit::Password);
    c.dataDirEdit->setValidator(new ui::Cp1251Validator(kDataDirChars, this));
    c.browseButton->setFixedWidth(c.browseButton->sizeHint().height());
    for (QPushButton* button : {c.browseButton, c.adminButton, c.testButton}) {
        button->setAutoDefault(false);
    }
    c.testButton->setMinimumWidth(
        c.testButton->fontMetrics().horizontalAdvance(ui::text(texts::kTestButton)) + 48);

    QWidget::setTabOrder(c.sourceBox, c.userEdit);
    QWidget::setTabOrder(c.userEdit, c.passwordEdit);
    QWidget::setTabOrder(c.passwordEdit, c.dataDirEdit);
    QWidget::setTabOrder(c.dataDirEdit, c.browseButton);
    QWidget::setTabOrder(c.browseButton, c.adminButton);
    QWidget::setTabOrder(c.adminButton, c.testButton);

    connect(c.userEdit, &QLineEdit::textChanged, this, [](const QString& text) {
        storeText(ConnectionSettings::values().user, text, kUserChars);
    });
    connect(c.passwordEdit, &QLineEdit::textChanged, this, [](const QString& text) {
        storeText(ConnectionSettings::values().password, text, kPasswordChars);
    });
    connect(c.dataDirEdit, &QLineEdit::textChanged, this, [](const QString& text) {
        storeText(ConnectionSettings::values().dataDir, text, kDataDirChars);
    });
    connect(c.sourceBox, &QComboBox::currentIndexChanged, this, &DataSourcePage::onSourceChanged);
    connect(c.browseButton, &QPushButton::clicked, this, &DataSourcePage::onBrowse);
    connect(c.adminButton, &QPushButton::clicked, this, &DataSourcePage::onAdmin);
    connect(c.testButton, &QPushButton::clicked, this, &DataSourcePage::onTest);
}

DataSourcePage::~DataSourcePage() = default;

QString DataSourcePage::title() const {
    return ui::text(texts::kDataSourceTab);
}

void DataSourcePage::fill() {
    Controls& c = *ui_;
    const ConnectionValues& values = ConnectionSettings::values();
    {
        const QSignalBlocker user(c.userEdit);
        const QSignalBlocker password(c.passwordEdit);
        const QSignalBlocker dataDir(c.dataDirEdit);
        c.userEdit->setText(ui::fromRecord(values.user));
        c.passwordEdit->setText(ui::fromRecord(values.password));
        c.dataDirEdit->setText(ui::fromRecord(values.dataDir));
    }
    c.originLabel->setText(
        QString::fromStdString(connectionOriginText(ConnectionSettings::origin())));
    refillSources();
}

QComboBox& DataSourcePage::sourceBox() {
    return *ui_->sourceBox;
}
QLineEdit& DataSourcePage::userEdit() {
    return *ui_->userEdit;
}
QLineEdit& DataSourcePage::passwordEdit() {
    return *ui_->passwordEdit;
}
QLineEdit& DataSourcePage::dataDirEdit() {
    return *ui_->dataDirEdit;
}
QPushButton& DataSourcePage::browseButton() {
    return *ui_->browseButton;
}
QPushButton& DataSourcePage::adminButton() {
    return *ui_->adminButton;
}
QPushButton& DataSourcePage::testButton() {
    return *ui_->testButton;
}

void DataSourcePage::refillSources() {
    // Filling and selecting here is not the operator's choice: the data source stays as it is.
    const QSignalBlocker blocker(ui_->sourceBox);
    ui_->sourceBox->clear();
    ui_->sources.dataSources.clear();
    {
        const ui::WaitCursor wait;
        ui_->sources.enumerateDataSources();
    }
    for (const DataSourceEntry& entry : ui_->sources.dataSources) {
        ui_->sourceBox->addItem(
            ui::fromRecord(entry.name) + (entry.isSystem ? kSystemSuffix : kUserSuffix),
            QByteArray::fromStdString(entry.name));
    }
    // The configured name as it is: its own entry, or one of its own marked as not found.
    const std::string& current = ConnectionSettings::values().dataSource;
    int selected = findDataSourceEntry(ui_->sources.dataSources, current);
    if (selected < 0 && !current.empty()) {
        ui_->sourceBox->addItem(ui::fromRecord(current) + kNotFoundSuffix,
                                QByteArray::fromStdString(current));
        selected = ui_->sourceBox->count() - 1;
    }
    ui_->sourceBox->setCurrentIndex(selected);
    const std::size_t leftOut = ui_->sources.dataSourcesLeftOut;
    ui_->sourceBox->setToolTip(leftOut > 0 ? ui::text(texts::kDataSourcesLeftOut).arg(leftOut)
                                           : QString());
}

std::string DataSourcePage::entryName(int index) const {
    return index >= 0 ? ui_->sourceBox->itemData(index, kNameRole).toByteArray().toStdString()
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
    const QString chosen = ui::chooseFolder(window(), ui_->dataDirEdit->text());
    if (!chosen.isEmpty()) {
        ui_->dataDirEdit->setText(chosen);
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
    if (ui_->sourceBox->currentIndex() >= 0) {
        values.dataSource = entryName(ui_->sourceBox->currentIndex());
    }
    storeText(values.user, ui_->userEdit->text(), kUserChars);
    storeText(values.password, ui_->passwordEdit->text(), kPasswordChars);

    ConnectOutcome outcome;
    {
        const ui::WaitCursor wait;
        ui_->sources.disconnect();
        outcome = ui_->sources.connect(true);
    }
    if (outcome.showBox) {
        // The connection's own boxes: their own caption, no owner window.
        ui::showMessage(nullptr, outcome.isError ? ui::BoxKind::Error : ui::BoxKind::Information,
                        ui::fromRecord(outcome.caption), boxText(outcome.text));
    }
}

}  // namespace vorda
