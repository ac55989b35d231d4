#include "app/ui/settings_dialog.h"

#include <QFile>
#include <QFontMetrics>

#include "app/ui/app_resources.h"
#include "app/ui/tab_keys.h"
#include "app/ui/ui_support.h"
#include "database/connection_settings.h"
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

SettingsDialog::SettingsDialog(const Environment& env, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      loadStatus_(loadFrom(env)),
      layout_(this),
      dataSourcePage_(env),
      okButton_(QStringLiteral("OK")),
      cancelButton_(QStringLiteral("Отмена")),
      applyButton_(QStringLiteral("Применить")) {
    setWindowTitle(QStringLiteral("Изменение настроек системы чтения Vorda..."));
    setWindowIcon(ui::applicationIcon());

    tabs_.addTab(&channelPage_, QStringLiteral("Просмотр каналов"));
    tabs_.addTab(&dataSourcePage_, QStringLiteral("Источник данных"));
    tabs_.addTab(&additionalPage_, QStringLiteral("Дополнительно"));
    tabs_.setCurrentIndex(ChannelTab);
    new ui::TabKeys(tabs_, this);  // the dialog owns it

    layout_.addWidget(&tabs_, 1);
    buttons_.addStretch(1);
    for (QPushButton* button : {&okButton_, &cancelButton_, &applyButton_}) {
        // The three buttons are of one width, as wide as the widest text needs.
        button->setMinimumWidth(
            qMax(button->sizeHint().width(),
                 button->fontMetrics().horizontalAdvance(QStringLiteral("Применить")) + 24));
        buttons_.addWidget(button);
    }
    layout_.addLayout(&buttons_);

    // The dialog opens 358 by 274 dialog units large: a quarter of the font's average character
    // width across and an eighth of its height down, so it keeps its proportions at any font.
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const int averageWidth = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    resize(qMax(sizeHint().width(), 358 * averageWidth / 4),
           qMax(sizeHint().height(), 274 * metrics.height() / 8));

    okButton_.setDefault(true);
    cancelButton_.setAutoDefault(false);
    applyButton_.setAutoDefault(false);
    connect(&okButton_, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(&cancelButton_, &QPushButton::clicked, this, &SettingsDialog::reject);
    connect(&applyButton_, &QPushButton::clicked, this, [this] { apply(); });
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::warnIfUnreadable() {
    const SettingsFile& file = settingsFile();
    if (file.unreadableReason.empty()) {
        return;
    }
    ui::showMessage(
        this, ui::BoxKind::Warning, ui::applicationTitle(),
        QStringLiteral("Не удалось прочитать файл настроек %1:\n%2\n\n"
                       "Показаны значения по умолчанию; сохранить их в этот файл "
                       "нельзя, чтобы не затереть его.")
            .arg(pathText(file.settingsPath), QString::fromStdString(file.unreadableReason)));
}

bool SettingsDialog::apply() {
    SettingsFile& file = settingsFile();
    // A file we could not read is refused by the save itself, with its reason.
    if (file.unreadableReason.empty() && changedOnDisk(file)) {
        const auto answer = ui::showMessage(
            this, ui::BoxKind::Question, ui::applicationTitle(),
            QStringLiteral("Файл настроек %1 изменён другой программой после того, как он был "
                           "прочитан.\nЗаписать поверх него текущие настройки?")
                .arg(pathText(file.settingsPath)));
        if (answer != ui::BoxAnswer::Yes) {
            return false;
        }
    }
    const Status status = saveSettings(settingsRecord(), file, ConnectionSettings::values());
    if (!status) {
        ui::showMessage(
            this, ui::BoxKind::Warning, ui::applicationTitle(),
            QStringLiteral("Не удалось сохранить настройки в файл %1:\n%2")
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
