#include "app/ui/settings_dialog.h"

#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <initializer_list>

#include "app/ui/additional_page.h"
#include "app/ui/app_resources.h"
#include "app/ui/tab_keys.h"
#include "app/ui/ui_support.h"
#include "channels/ui/channel_list_page.h"
#include "database/connection_settings.h"
#include "database/ui/data_source_page.h"
#include "resources/texts.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"

namespace vorda {
namespace {

QString pathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

void clearRecord(SettingsRecord& record) {
    record.sizeMb = 0;
    record.detailMode = 0;
    record.showScreen = 0;
    record.groupCount = 0;
    record.server.clear();
    record.dataSource.clear();
    record.user.clear();
    record.password.clear();
    record.dataDir.clear();
    record.logDir.clear();
    record.groups.removeAll();
}

}  // namespace

Status SettingsDialog::loadFrom(const Environment& env) {
    ui::initResources();  // the pages take their icons from the resources
    clearRecord(settingsRecord());
    return loadSettings(settingsRecord(), settingsFile(), env);
}

struct SettingsDialog::Controls {
    explicit Controls(const Environment& env) : dataSourcePage(env) {}

    // Containers come before what they hold, so that members are destroyed children first.
    QVBoxLayout layout;
    QHBoxLayout buttons;
    QTabWidget tabs;
    ChannelListPage channelPage;
    DataSourcePage dataSourcePage;
    AdditionalPage additionalPage;
    QPushButton okButton{ui::text(texts::kOk)};
    QPushButton cancelButton{ui::text(texts::kCancel)};
    QPushButton applyButton{ui::text(texts::kApply)};
};

SettingsDialog::SettingsDialog(const Environment& env, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      loadStatus_(loadFrom(env)),
      ui_(std::make_unique<Controls>(env)) {
    Controls& c = *ui_;
    setWindowTitle(ui::text(texts::kMainTitle));
    setWindowIcon(ui::applicationIcon());

    // The pages in the order of their tabs, each filled from the record as it is placed.
    for (ui::DialogPage* page : std::initializer_list<ui::DialogPage*>{
             &c.channelPage, &c.dataSourcePage, &c.additionalPage}) {
        page->fill();
        c.tabs.addTab(page, page->title());
    }
    c.tabs.setCurrentIndex(ChannelTab);
    new ui::TabKeys(c.tabs, this);  // the dialog owns it

    setLayout(&c.layout);
    c.layout.addWidget(&c.tabs, 1);
    c.buttons.addStretch(1);
    for (QPushButton* button : {&c.okButton, &c.cancelButton, &c.applyButton}) {
        // The three buttons are of one width, as wide as the widest text needs.
        button->setMinimumWidth(
            qMax(button->sizeHint().width(),
                 button->fontMetrics().horizontalAdvance(ui::text(texts::kApply)) + 24));
        c.buttons.addWidget(button);
    }
    c.layout.addLayout(&c.buttons);

    // The dialog opens 358 by 274 dialog units large: a quarter of the font's average character
    // width across and an eighth of its height down, so it keeps its proportions at any font.
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const int averageWidth = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    resize(qMax(sizeHint().width(), 358 * averageWidth / 4),
           qMax(sizeHint().height(), 274 * metrics.height() / 8));

    c.okButton.setDefault(true);
    c.cancelButton.setAutoDefault(false);
    c.applyButton.setAutoDefault(false);
    connect(&c.okButton, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(&c.cancelButton, &QPushButton::clicked, this, &SettingsDialog::reject);
    connect(&c.applyButton, &QPushButton::clicked, this, [this] { apply(); });
}

SettingsDialog::~SettingsDialog() = default;

QTabWidget& SettingsDialog::tabs() {
    return ui_->tabs;
}
ChannelListPage& SettingsDialog::channelPage() {
    return ui_->channelPage;
}
DataSourcePage& SettingsDialog::dataSourcePage() {
    return ui_->dataSourcePage;
}
AdditionalPage& SettingsDialog::additionalPage() {
    return ui_->additionalPage;
}
QPushButton& SettingsDialog::okButton() {
    return ui_->okButton;
}
QPushButton& SettingsDialog::cancelButton() {
    return ui_->cancelButton;
}
QPushButton& SettingsDialog::applyButton() {
    return ui_->applyButton;
}

void SettingsDialog::warnIfUnreadable() {
    const SettingsFile& file = settingsFile();
    if (file.unreadableReason.empty()) {
        return;
    }
    ui::showMessage(
        this, ui::BoxKind::Warning, ui::applicationTitle(),
        ui::text(texts::kSettingsUnreadable)
            .arg(pathText(file.settingsPath), QString::fromStdString(file.unreadableReason)));
}

bool SettingsDialog::apply() {
    SettingsFile& file = settingsFile();
    // A file we could not read is refused by the save itself, with its reason.
    if (file.unreadableReason.empty() && changedOnDisk(file)) {
        const auto answer = ui::showMessage(
            this, ui::BoxKind::Question, ui::applicationTitle(),
            ui::text(texts::kSettingsChangedOnDisk).arg(pathText(file.settingsPath)));
        if (answer != ui::BoxAnswer::Yes) {
            return false;
        }
    }
    const Status status = saveSettings(settingsRecord(), file, ConnectionSettings::values());
    if (!status) {
        ui::showMessage(
            this, ui::BoxKind::Warning, ui::applicationTitle(),
            ui::text(texts::kSettingsNotSaved)
                .arg(pathText(file.settingsPath), QString::fromStdString(status.error)));
        return false;
    }
    return true;
}

void SettingsDialog::accept() {
    if (apply()) {
        QDialog::accept();
    }
}

}  // namespace vorda
