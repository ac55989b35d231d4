#include "app/ui/settings_dialog.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <initializer_list>

#include "app/ui/additional_page.h"
#include "app/ui/conflict_dialog.h"
#include "channels/ui/channel_list_page.h"
#include "channels/ui/channel_table_model.h"
#include "database/connection_settings.h"
#include "database/ui/data_source_page.h"
#include "resources/texts.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "ui/app_resources.h"
#include "ui/tab_keys.h"
#include "ui/ui_support.h"

namespace vorda {
namespace {

// How long the dialog waits after a change of the file before it looks: a writer's burst of
// changes is taken in one look.
constexpr int kRefreshDelayMs = 200;

QString pathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

Status SettingsDialog::loadFrom(const Environment& env) {
    ui::initResources();  // the pages take their icons from the resources
    return loadSettings(settingsRecord(), settingsFile(), env);
}

// The controls the dialog works with; all of them are children of the dialog.
struct SettingsDialog::Controls {
    QTabWidget* tabs = nullptr;
    ChannelListPage* channelPage = nullptr;
    DataSourcePage* dataSourcePage = nullptr;
    AdditionalPage* additionalPage = nullptr;
    QLabel* statusLine = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* applyButton = nullptr;
    QFileSystemWatcher* watcher = nullptr;
    QTimer* refreshTimer = nullptr;
};

SettingsDialog::SettingsDialog(const Environment& env, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      loadStatus_(loadFrom(env)),
      ui_(std::make_unique<Controls>()) {
    Controls& c = *ui_;
    setWindowTitle(ui::text(texts::kMainTitle));
    setWindowIcon(ui::applicationIcon());

    c.tabs = new QTabWidget(this);
    c.channelPage = new ChannelListPage(c.tabs);
    c.dataSourcePage = new DataSourcePage(env, c.tabs);
    c.additionalPage = new AdditionalPage(c.tabs);
    c.statusLine = new QLabel(this);
    c.okButton = new QPushButton(ui::text(texts::kOk), this);
    c.cancelButton = new QPushButton(ui::text(texts::kCancel), this);
    c.applyButton = new QPushButton(ui::text(texts::kApply), this);
    c.watcher = new QFileSystemWatcher(this);
    c.refreshTimer = new QTimer(this);

    // The pages in the order of their tabs, each filled from the record as it is placed.
    for (ui::DialogPage* page : std::initializer_list<ui::DialogPage*>{
             c.channelPage, c.dataSourcePage, c.additionalPage}) {
        page->fill();
        c.tabs->addTab(page, page->title());
    }
    c.tabs->setCurrentIndex(ChannelTab);
    new ui::TabKeys(*c.tabs, this);  // the dialog owns it

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(c.tabs, 1);
    c.statusLine->setWordWrap(true);
    // Room for two lines whether the text takes one or two: the pages above do not jump.
    c.statusLine->setFixedHeight(2 * c.statusLine->fontMetrics().lineSpacing());
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    buttons->addWidget(c.statusLine, 1);
    for (QPushButton* button : {c.okButton, c.cancelButton, c.applyButton}) {
        // The three buttons are of one width, as wide as the widest text needs.
        button->setMinimumWidth(
            qMax(button->sizeHint().width(),
                 button->fontMetrics().horizontalAdvance(ui::text(texts::kApply)) + 24));
        buttons->addWidget(button);
    }

    // The dialog opens 358 by 274 dialog units large: a quarter of the font's average character
    // width across and an eighth of its height down, so it keeps its proportions at any font.
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const int averageWidth = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    resize(qMax(sizeHint().width(), 358 * averageWidth / 4),
           qMax(sizeHint().height(), 274 * metrics.height() / 8));

    c.okButton->setDefault(true);
    c.cancelButton->setAutoDefault(false);
    c.applyButton->setAutoDefault(false);
    connect(c.okButton, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(c.cancelButton, &QPushButton::clicked, this, &SettingsDialog::reject);
    connect(c.applyButton, &QPushButton::clicked, this, [this] { apply(); });

    c.refreshTimer->setSingleShot(true);
    c.refreshTimer->setInterval(kRefreshDelayMs);
    connect(c.refreshTimer, &QTimer::timeout, this, &SettingsDialog::refreshFromDisk);
    connect(c.watcher, &QFileSystemWatcher::fileChanged, this, &SettingsDialog::onFileEvent);
    connect(c.watcher, &QFileSystemWatcher::directoryChanged, this, &SettingsDialog::onFileEvent);
    watchFile();
}

SettingsDialog::~SettingsDialog() = default;

QTabWidget& SettingsDialog::tabs() {
    return *ui_->tabs;
}
ChannelListPage& SettingsDialog::channelPage() {
    return *ui_->channelPage;
}
DataSourcePage& SettingsDialog::dataSourcePage() {
    return *ui_->dataSourcePage;
}
AdditionalPage& SettingsDialog::additionalPage() {
    return *ui_->additionalPage;
}
QPushButton& SettingsDialog::okButton() {
    return *ui_->okButton;
}
QPushButton& SettingsDialog::cancelButton() {
    return *ui_->cancelButton;
}
QPushButton& SettingsDialog::applyButton() {
    return *ui_->applyButton;
}
QLabel& SettingsDialog::statusLine() {
    return *ui_->statusLine;
}

void SettingsDialog::warnAboutLoading() {
    const SettingsFile& file = settingsFile();
    if (!file.unreadableReason.empty()) {
        ui::showMessage(
            this, ui::BoxKind::Warning, ui::applicationTitle(),
            ui::text(texts::kSettingsUnreadable)
                .arg(pathText(file.settingsPath), QString::fromStdString(file.unreadableReason)));
    }
    if (const std::string notes = channelListNotesText(file.channelListNotes); !notes.empty()) {
        ui::showMessage(this, ui::BoxKind::Warning, ui::applicationTitle(), ui::text(notes));
    }
    if (!file.recoveryNotice.empty()) {
        ui::showMessage(this, ui::BoxKind::Warning, ui::applicationTitle(),
                        ui::text(file.recoveryNotice));
    }
}

bool SettingsDialog::apply() {
    SettingsFile& file = settingsFile();
    const SettingsValues before = settingsValuesOf(settingsRecord());
    const ConnectionValues beforeConnection = ConnectionSettings::values();
    const ChannelListPage::Places places = ui_->channelPage->places();
    std::vector<ConflictResolution> choices;
    SaveResult saved;
    bool savedOnce = false;
    TakenFromFile taken;
    for (;;) {
        saved = saveSettings(settingsRecord(), file, ConnectionSettings::values(), choices);
        if (saved.saved) {
            // The record holds what the file holds now, and the connection values as written.
            ConnectionSettings::values() = saved.connection;
            taken += saved.taken;
            if (!savedOnce && !saved.conflicts.empty()) {
                // Values found changed on both sides only while the file was replaced: the file
                // has the other program's, the record the operator's; one more save asks.
                savedOnce = true;
                choices.clear();
                continue;
            }
            savedOnce = true;
        }
        if (!saved.needsChoice()) {
            break;
        }
        std::vector<MergeConflict> open;
        for (const MergeConflict& conflict : saved.conflicts) {
            if (!conflict.resolved) {
                open.push_back(conflict);
            }
        }
        ConflictDialog dialog(open, pathText(file.settingsPath), this);
        if (ui::runModal(dialog) != QDialog::Accepted) {
            refillPages(before, beforeConnection, places);
            return false;  // nothing (more) saved; the dialog stays open
        }
        const std::vector<ConflictResolution> chosen = dialog.choices();
        choices.insert(choices.end(), chosen.begin(), chosen.end());
    }
    if (savedOnce) {
        refillPages(before, beforeConnection, places);
        showTaken(taken, 0);
    }
    for (const std::string& warning : saved.warnings) {
        ui_->statusLine->setText(
            ui::text(texts::kBackupNotKept).arg(QString::fromStdString(warning)));
    }
    if (!saved.ok) {
        ui::showMessage(this, ui::BoxKind::Warning, ui::applicationTitle(),
                        ui::text(texts::kSettingsNotSaved)
                            .arg(pathText(file.settingsPath), QString::fromStdString(saved.error)));
        return false;
    }
    return true;
}

void SettingsDialog::watchFile() {
    Controls& c = *ui_;
    const QString path = pathText(settingsFile().filePath);
    const QString folder = QFileInfo(path).absolutePath();
    // A file replaced by rename is a new file: the watcher lets go of the old one, and the path
    // is taken up again (the folder's change tells when it is back).
    if (!c.watcher->files().contains(path) && QFileInfo::exists(path)) {
        c.watcher->addPath(path);
    }
    if (!c.watcher->directories().contains(folder) && QFileInfo::exists(folder)) {
        c.watcher->addPath(folder);
    }
}

void SettingsDialog::onFileEvent() {
    watchFile();
    if (!ui_->refreshTimer->isActive()) {
        ui_->refreshTimer->start();
    }
}

void SettingsDialog::refreshFromDisk() {
    // Not while another window (a question) works on the record, nor while a channel dialog is
    // prepared or open: it holds a group's index, which the refresh could move to another group
    // (its wait for the database lets this timer run). The look waits until it is closed.
    QWidget* modal = QApplication::activeModalWidget();
    if ((modal != nullptr && modal != this) || ui_->channelPage->channelDialogOpen()) {
        ui_->refreshTimer->start();
        return;
    }
    const SettingsValues before = settingsValuesOf(settingsRecord());
    const ConnectionValues beforeConnection = ConnectionSettings::values();
    const ChannelListPage::Places places = ui_->channelPage->places();
    const RefreshResult refreshed =
        refreshFromFile(settingsRecord(), settingsFile(), beforeConnection);
    if (!refreshed.changed) {
        return;
    }
    ConnectionSettings::values() = refreshed.connection;
    refillPages(before, beforeConnection, places);
    if (refreshed.takenFromFile > 0 || refreshed.conflicts > 0) {
        showTaken(refreshed.taken, refreshed.conflicts);
    }
}

void SettingsDialog::refillPages(const SettingsValues& before,
                                 const ConnectionValues& beforeConnection,
                                 const ChannelListPage::Places& places) {
    Controls& c = *ui_;
    const SettingsRecord& record = settingsRecord();
    if (!(record.groups == before.groups) || record.groupCount != before.groupCount) {
        c.channelPage->fillKeepingSelection(places);
    }
    if (record.server != before.server || record.detailMode != before.detailMode ||
        record.showScreen != before.showScreen || record.logDir != before.logDir ||
        record.groupCount != before.groupCount || record.groups.size() != before.groups.size()) {
        c.additionalPage->fill();
    }
    if (ConnectionSettings::values() != beforeConnection) {
        c.dataSourcePage->fill();
    }
}

void SettingsDialog::showTaken(const TakenFromFile& taken, int conflicts) {
    ui_->statusLine->setText(ui::text(fileChangesNotice(taken, conflicts)));
}

void SettingsDialog::accept() {
    if (apply()) {
        QDialog::accept();
    }
}

}  // namespace vorda
