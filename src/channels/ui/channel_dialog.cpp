#include "channels/ui/channel_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "app/ui/ui_support.h"
#include "channels/group_order.h"
#include "channels/time_conversion.h"
#include "database/connection_settings.h"
#include "database/schema_dictionary.h"
#include "platform/text.h"
#include "settings/settings_record.h"

namespace vorda {
namespace {

const char* const kFillAllFields = "Необходимо заполнить все поля!";
const char* const kTimeFormatMismatch = "Формат времени не соответствует выбранному";
const char* const kDuplicateChannel = "В данной группе уже есть такой канал!\n Выберите другой.";
const char* const kGroupValuesQuestion =
    "Значения полей [Отсчеты в секунду] и [Размер файла]\nменяются у всей группы.\nПродолжить?";
const char* const kStationNotFound = "Станция не найдена в базе данных";
const char* const kChannelNotFound = "Канал не найден в базе данных";
const char* const kChannelListTooLong =
    "Список каналов группы в файле настроек не может быть длиннее 511 символов.\n"
    "Канал не записан.";
const char* const kQueryErrorCaption = "Ошибка при запросе к базе данных";
const char* const kStationsQueryFailed =
    "При чтении списка станций из базы данных произошла ошибка:\n";
const char* const kChannelsQueryFailed =
    "При чтении списка каналов станции %1 из базы данных произошла ошибка:\n";
const char* const kCodesLeftOut =
    "Не показаны коды из базы данных, которые нельзя записать в файл настроек "
    "(длиннее %1 знаков или со знаками вне кодовой страницы 1251): станций %2, каналов %3.";
const char* const kTooManyGroups =
    "В файле настроек может быть не более 256 групп.\nНовая группа не добавлена.";

// The other text fields hold at most this many characters.
constexpr int kMaxFieldLength = 511;

// Leading blanks, an optional sign and decimal digits, as "%d" wrote them; 0 without digits.
// A number beyond 32 bits stops at the nearest limit.
std::int32_t readDecimal(const QString& text) {
    // In UTF-8 blanks, signs and digits are their ASCII bytes and every other character stays
    // something else (another ASCII byte or bytes from 0x80 up): the number read is the same.
    return readSaturatedDecimal(trimLeadingBlanks(text.toStdString()));
}

QString number(std::int32_t value) {
    return QString::number(value);
}

// Code page 1251 bytes of a widget text; the validators keep other characters out, so a
// character without a place in the code page is dropped rather than stored wrongly.
std::string bytesOf(const QString& text) {
    if (auto bytes = ui::toRecord(text)) {
        return *bytes;
    }
    QString kept;
    for (const QChar c : text) {
        if (ui::toRecord(QString(c))) {
            kept += c;
        }
    }
    return ui::toRecord(kept).value_or(std::string());
}

// Fills a list box with database codes, sorted without regard to case.
void fillSorted(QComboBox& box, const std::vector<std::string>& codes) {
    QStringList items;
    for (const auto& code : codes) {
        items << ui::fromRecord(code);
    }
    std::stable_sort(items.begin(), items.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    box.clear();
    box.addItems(items);
}

}  // namespace

struct ChannelDialog::Controls {
    explicit Controls(ChannelDialog& dialog);

    // Containers first: members go in the reverse order, so children before their parents and
    // layouts before the widgets they are set on.
    QGroupBox timeGroup{QString::fromUtf8("Формат времени")};
    QWidget buttonRow;

    QLabel stationLabel{QString::fromUtf8("Код станции")};
    QComboBox stationBox;
    QLabel channelLabel{QString::fromUtf8("Код канала")};
    QComboBox channelBox;
    QLabel spsLabel{QString::fromUtf8("Отсчеты в секунду")};
    QLineEdit spsEdit;
    QRadioButton unixRadio{QStringLiteral("Unix-Time")};
    QRadioButton calendarRadio{QStringLiteral("yyyy-mm-dd hh:MM:ss")};
    QLabel lastTimeLabel{QString::fromUtf8("Последнее время")};
    QLineEdit lastTimeEdit;
    QLabel sizeLabel{QString::fromUtf8("Размер файла")};
    QLineEdit sizeEdit;
    QLabel fileNameLabel{QString::fromUtf8("Имя файла")};
    QLineEdit fileNameEdit;
    QLabel noteLabel;
    QPushButton okButton{QStringLiteral("OK")};
    QPushButton cancelButton{QString::fromUtf8("Отмена")};

    ui::Cp1251Validator codeValidator;
    ui::Cp1251Validator textValidator{kMaxFieldLength};

    QGridLayout timeLayout;
    QHBoxLayout buttonLayout;
    QGridLayout layout;
};

ChannelDialog::Controls::Controls(ChannelDialog& dialog) {
    stationBox.setObjectName(QStringLiteral("stationBox"));
    channelBox.setObjectName(QStringLiteral("channelBox"));
    spsEdit.setObjectName(QStringLiteral("spsEdit"));
    unixRadio.setObjectName(QStringLiteral("unixRadio"));
    calendarRadio.setObjectName(QStringLiteral("calendarRadio"));
    lastTimeEdit.setObjectName(QStringLiteral("lastTimeEdit"));
    sizeEdit.setObjectName(QStringLiteral("sizeEdit"));
    fileNameEdit.setObjectName(QStringLiteral("fileNameEdit"));
    okButton.setObjectName(QStringLiteral("okButton"));
    cancelButton.setObjectName(QStringLiteral("cancelButton"));
    timeGroup.setObjectName(QStringLiteral("timeGroup"));

    for (QComboBox* box : {&stationBox, &channelBox}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setValidator(&codeValidator);
        box->setMaxVisibleItems(12);
    }
    for (QLineEdit* edit : {&spsEdit, &sizeEdit, &fileNameEdit}) {
        edit->setMaxLength(kMaxFieldLength);
        edit->setValidator(&textValidator);
    }
    lastTimeEdit.setMaxLength(static_cast<int>(kTimeTextLimit));
    lastTimeEdit.setValidator(&textValidator);

    stationLabel.setBuddy(&stationBox);
    channelLabel.setBuddy(&channelBox);
    spsLabel.setBuddy(&spsEdit);
    lastTimeLabel.setBuddy(&lastTimeEdit);
    sizeLabel.setBuddy(&sizeEdit);
    fileNameLabel.setBuddy(&fileNameEdit);

    timeLayout.addWidget(&unixRadio, 0, 0);
    timeLayout.addWidget(&calendarRadio, 0, 1);
    timeLayout.addWidget(&lastTimeLabel, 1, 0);
    timeLayout.addWidget(&lastTimeEdit, 1, 1);
    timeLayout.setColumnStretch(1, 1);
    timeGroup.setLayout(&timeLayout);

    okButton.setDefault(true);
    okButton.setAutoDefault(true);
    buttonLayout.setContentsMargins(0, 0, 0, 0);
    buttonLayout.addStretch(1);
    buttonLayout.addWidget(&okButton);
    buttonLayout.addWidget(&cancelButton);
    buttonRow.setLayout(&buttonLayout);

    layout.addWidget(&stationLabel, 0, 0);
    layout.addWidget(&stationBox, 0, 1);
    layout.addWidget(&channelLabel, 1, 0);
    layout.addWidget(&channelBox, 1, 1);
    layout.addWidget(&spsLabel, 2, 0);
    layout.addWidget(&spsEdit, 2, 1);
    layout.addWidget(&timeGroup, 3, 0, 1, 2);
    layout.addWidget(&sizeLabel, 4, 0);
    layout.addWidget(&sizeEdit, 4, 1);
    layout.addWidget(&fileNameLabel, 5, 0);
    layout.addWidget(&fileNameEdit, 5, 1);
    layout.setRowMinimumHeight(6, 6);
    noteLabel.setObjectName(QStringLiteral("noteLabel"));
    noteLabel.setWordWrap(true);
    noteLabel.setVisible(false);
    layout.addWidget(&noteLabel, 6, 0, 1, 2);
    layout.addWidget(&buttonRow, 7, 0, 1, 2);
    layout.setColumnStretch(1, 1);
    dialog.setLayout(&layout);

    QWidget::setTabOrder(&stationBox, &channelBox);
    QWidget::setTabOrder(&channelBox, &spsEdit);
    QWidget::setTabOrder(&spsEdit, &unixRadio);
    QWidget::setTabOrder(&unixRadio, &calendarRadio);
    QWidget::setTabOrder(&calendarRadio, &lastTimeEdit);
    QWidget::setTabOrder(&lastTimeEdit, &sizeEdit);
    QWidget::setTabOrder(&sizeEdit, &fileNameEdit);
    QWidget::setTabOrder(&fileNameEdit, &okButton);
    QWidget::setTabOrder(&okButton, &cancelButton);
}

ChannelDialog::ChannelDialog(int insertPosition, int groupIndex, int channelIndex, QWidget* parent)
    : QDialog(parent),
      insertPosition_(insertPosition == -1 ? 0 : insertPosition),
      groupIndex_(groupIndex),
      channelIndex_(channelIndex) {
    if (groupIndex_ < 0) {
        mode_ = Mode::AddGroup;
        channelIndex_ = -1;
    } else {
        mode_ = channelIndex_ < 0 ? Mode::AddChannel : Mode::ChangeChannel;
    }
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    ui_ = std::make_unique<Controls>(*this);

    connect(&ui_->okButton, &QPushButton::clicked, this, &ChannelDialog::accept);
    connect(&ui_->cancelButton, &QPushButton::clicked, this, &ChannelDialog::reject);
    connect(&ui_->stationBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            onStationChanged();
        }
    });
    connect(&ui_->channelBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            onChannelChanged();
        }
    });
    // A code typed by hand proposes its file name as a picked one does.
    connect(ui_->stationBox.lineEdit(), &QLineEdit::textEdited, this,
            &ChannelDialog::proposeFileName);
    connect(ui_->channelBox.lineEdit(), &QLineEdit::textEdited, this,
            &ChannelDialog::proposeFileName);
    connect(&ui_->spsEdit, &QLineEdit::textChanged, this, &ChannelDialog::onGroupValueChanged);
    connect(&ui_->sizeEdit, &QLineEdit::textChanged, this, &ChannelDialog::onGroupValueChanged);
    connect(&ui_->calendarRadio, &QRadioButton::clicked, this, &ChannelDialog::onCalendarFormat);
    connect(&ui_->unixRadio, &QRadioButton::clicked, this, &ChannelDialog::onUnixFormat);

    initDialog();
    // The texts written while opening count as no change.
    groupValuesChanged_ = false;
}

ChannelDialog::~ChannelDialog() {
    // The connection served this dialog's lists only.
    ConnectionSettings::release();
}

void ChannelDialog::warn(const QString& text) {
    ui::showMessage(this, ui::BoxKind::Warning, ui::applicationTitle(), text);
}

void ChannelDialog::queryFailed(const QString& what, const std::string& error) {
    // Shown as the connection's own errors are: their own caption, no owner window.
    ui::showMessage(nullptr, ui::BoxKind::Error, QString::fromUtf8(kQueryErrorCaption),
                    what + ui::fromRecord(error));
}

void ChannelDialog::showLeftOut() {
    ui_->noteLabel.setVisible(stationsLeftOut_ + channelsLeftOut_ > 0);
    ui_->noteLabel.setText(QString::fromUtf8(kCodesLeftOut)
                               .arg(kMaxCodeLength)
                               .arg(stationsLeftOut_)
                               .arg(channelsLeftOut_));
}

void ChannelDialog::initDialog() {
    ui_->unixRadio.setChecked(true);

    SettingsRecord& record = settingsRecord();
    const bool validGroup =
        groupIndex_ >= 0 && static_cast<std::size_t>(groupIndex_) < record.groups.size();
    if (mode_ != Mode::AddGroup && !validGroup) {
        mode_ = Mode::AddGroup;  // callers never do this; add nothing to a group that is not
        groupIndex_ = -1;
        channelIndex_ = -1;
    }
    switch (mode_) {
        case Mode::AddGroup:
            setWindowTitle(QString::fromUtf8("Добавление новой группы..."));
            ui_->spsEdit.setText(QStringLiteral("20"));
            ui_->lastTimeEdit.setText(QStringLiteral("0"));
            ui_->sizeEdit.setText(QStringLiteral("100"));
            break;
        case Mode::AddChannel: {
            setWindowTitle(QString::fromUtf8("Добавление канала в группу..."));
            ui_->stationBox.setEnabled(false);
            ui_->spsEdit.setEnabled(false);
            ui_->sizeEdit.setEnabled(false);
            const GroupRecord group = record.groups.getAt(static_cast<std::size_t>(groupIndex_));
            ui_->spsEdit.setText(number(group.sps));
            ui_->lastTimeEdit.setText(QStringLiteral("0"));
            ui_->sizeEdit.setText(number(group.sizeMb));
            ui_->stationBox.setEditText(ui::fromRecord(group.station));
            break;
        }
        case Mode::ChangeChannel: {
            setWindowTitle(QString::fromUtf8("Изменение канала в группе..."));
            ui_->stationBox.setEnabled(false);
            const GroupRecord group = record.groups.getAt(static_cast<std::size_t>(groupIndex_));
            if (static_cast<std::size_t>(channelIndex_) >= group.channels.size()) {
                channelIndex_ = -1;
                mode_ = Mode::AddChannel;
                ui_->spsEdit.setEnabled(false);
                ui_->sizeEdit.setEnabled(false);
            }
            ui_->spsEdit.setText(number(group.sps));
            ui_->sizeEdit.setText(number(group.sizeMb));
            ui_->stationBox.setEditText(ui::fromRecord(group.station));
            if (channelIndex_ >= 0) {
                const ChannelRecord channel =
                    group.channels.getAt(static_cast<std::size_t>(channelIndex_));
                ui_->lastTimeEdit.setText(number(channel.lastTime));
                // Without the database the channel still shows what it is.
                ui_->channelBox.setEditText(ui::fromRecord(channel.code));
                ui_->fileNameEdit.setText(ui::fromRecord(channel.fileName));
            } else {
                ui_->lastTimeEdit.setText(QStringLiteral("0"));
            }
            break;
        }
    }

    CodeList stations;
    {
        ui::WaitCursor wait;
        // The values as they stand: loaded at start-up, perhaps edited on the data source page.
        ConnectionSettings settings{Environment{}};
        const ConnectOutcome outcome = settings.connect(false);
        if (outcome.showBox) {
            ui::showMessage(nullptr,
                            outcome.isError ? ui::BoxKind::Error : ui::BoxKind::Information,
                            ui::fromRecord(outcome.caption), ui::fromRecord(outcome.text));
        }
        if (!outcome.connected) {
            return;
        }
        const SQLHDBC connection = ConnectionSettings::connection();
        schemaDictionary().refresh(connection);
        if (!queryStations(connection, schemaDictionary(), stations)) {
            queryFailed(QString::fromUtf8(kStationsQueryFailed), stations.error);
            return;
        }
    }
    stationsListed_ = true;
    stationsLeftOut_ = stations.leftOut();
    showLeftOut();

    const QString storedStation = ui_->stationBox.currentText();
    {
        const QSignalBlocker block(ui_->stationBox);
        fillSorted(ui_->stationBox, stations.codes);
        int index = 0;
        if (mode_ != Mode::AddGroup) {
            index = ui_->stationBox.findText(storedStation, Qt::MatchStartsWith);
            if (index < 0) {
                warn(QString::fromUtf8(kStationNotFound));
                index = 0;
            }
        }
        if (ui_->stationBox.count() > 0) {
            ui_->stationBox.setCurrentIndex(index);
        } else {
            ui_->stationBox.setEditText(storedStation);
        }
    }
    onStationChanged();
}

void ChannelDialog::onStationChanged() {
    const SQLHDBC connection = ConnectionSettings::connection();
    if (connection == SQL_NULL_HDBC) {
        return;
    }
    CodeList channels;
    {
        ui::WaitCursor wait;
        if (!queryChannels(connection, schemaDictionary(), bytesOf(ui_->stationBox.currentText()),
                           channels)) {
            queryFailed(QString::fromUtf8(kChannelsQueryFailed).arg(ui_->stationBox.currentText()),
                        channels.error);
            return;
        }
    }
    channelsLeftOut_ = channels.leftOut();
    showLeftOut();
    QString storedCode;
    if (mode_ == Mode::ChangeChannel) {
        const GroupRecord& group =
            settingsRecord().groups.at(static_cast<std::size_t>(groupIndex_));
        storedCode =
            ui::fromRecord(group.channels.at(static_cast<std::size_t>(channelIndex_)).code);
    }
    {
        const QSignalBlocker block(ui_->channelBox);
        const QString typed = ui_->channelBox.currentText();
        fillSorted(ui_->channelBox, channels.codes);
        int index = 0;
        if (mode_ == Mode::ChangeChannel) {
            index = ui_->channelBox.findText(storedCode, Qt::MatchStartsWith);
            if (index < 0) {
                warn(QString::fromUtf8(kChannelNotFound));
                index = 0;
            }
        }
        if (ui_->channelBox.count() > 0) {
            ui_->channelBox.setCurrentIndex(index);
        } else {
            // Nothing to pick: keep what the box showed, so it can still be typed or kept.
            ui_->channelBox.setEditText(typed);
        }
    }
    onChannelChanged();
}

void ChannelDialog::proposeFileName() {
    ui_->fileNameEdit.setText(ui_->stationBox.currentText() + QStringLiteral("_") +
                              ui_->channelBox.currentText() + QStringLiteral(".DAT"));
}

void ChannelDialog::onChannelChanged() {
    proposeFileName();
    if (mode_ != Mode::ChangeChannel) {
        return;
    }
    const std::string code = bytesOf(ui_->channelBox.currentText());
    const GroupRecord& group = settingsRecord().groups.at(static_cast<std::size_t>(groupIndex_));
    // The channel being changed comes first: a group may hold its code twice, and the values
    // shown are then its own rather than those of the other channel.
    const ChannelRecord* found = &group.channels.at(static_cast<std::size_t>(channelIndex_));
    if (!sameChannelCode(found->code, code)) {
        found = nullptr;
        for (const ChannelRecord& channel : group.channels) {
            if (sameChannelCode(channel.code, code)) {
                found = &channel;
                break;
            }
        }
    }
    if (found != nullptr) {
        ui_->spsEdit.setText(number(group.sps));
        ui_->lastTimeEdit.setText(number(found->lastTime));
        ui_->sizeEdit.setText(number(group.sizeMb));
        ui_->fileNameEdit.setText(ui::fromRecord(found->fileName));
        // Rewritten counts as changed, even when the numbers are the same.
        onGroupValueChanged();
    }
}

void ChannelDialog::onCalendarFormat() {
    const std::string text = bytesOf(ui_->lastTimeEdit.text().left(kTimeTextLimit));
    const std::string converted = toCalendarText(text);
    if (converted != text) {
        ui_->lastTimeEdit.setText(ui::fromRecord(converted));
    }
}

void ChannelDialog::onUnixFormat() {
    const std::string text = bytesOf(ui_->lastTimeEdit.text().left(kTimeTextLimit));
    const std::string converted = toUnixText(text);
    if (converted != text) {
        ui_->lastTimeEdit.setText(ui::fromRecord(converted));
    }
}

std::optional<QString> ChannelDialog::unsafeCodeReason(const QString& code) {
    if (code.isEmpty()) {
        return std::nullopt;
    }
    if (code.size() > static_cast<qsizetype>(kMaxCodeLength)) {
        return QString::fromUtf8("он длиннее %1 символов").arg(kMaxCodeLength);
    }
    if (code.contains(u'\n') || code.contains(u'\r')) {
        return QString::fromUtf8("он содержит перевод строки");
    }
    if (code.front().isSpace() || code.back().isSpace()) {
        return QString::fromUtf8("он начинается или заканчивается пробелом");
    }
    for (const QChar c : {QChar(u','), QChar(u'='), QChar(u'['), QChar(u';')}) {
        if (code.contains(c)) {
            return QString::fromUtf8("он содержит символ «%1»").arg(c);
        }
    }
    if (code.contains(QChar(u'\0')) || !ui::toRecord(code)) {
        return QString::fromUtf8("он содержит символ, которого нет в кодировке 1251");
    }
    return std::nullopt;
}

std::optional<QString> ChannelDialog::groupKeyReason(const QString& code) {
    // A channel's code is the name of its time key, and "FILE_" and the code the name of its
    // file key, in the group's section, where the group keeps its own keys too.
    for (const char* key : {"STATION", "SIZEMB", "SPS", "CHAN"}) {
        if (code.compare(QLatin1String(key), Qt::CaseInsensitive) == 0) {
            return QString::fromUtf8("так называется значение группы");
        }
    }
    if (code.startsWith(QLatin1String("FILE_"), Qt::CaseInsensitive)) {
        return QString::fromUtf8("с «FILE_» начинаются имена файлов каналов");
    }
    return std::nullopt;
}

bool ChannelDialog::checkCode(const QString& code, const QString& what, bool namesKeys) {
    if (code.isEmpty()) {
        warn(QString::fromUtf8(kFillAllFields));
        return false;
    }
    std::optional<QString> reason = unsafeCodeReason(code);
    if (!reason && namesKeys) {
        reason = groupKeyReason(code);
    }
    if (reason) {
        warn(QString::fromUtf8("%1 «%2» нельзя записать в файл настроек: %3.")
                 .arg(what, code, *reason));
        return false;
    }
    return true;
}

bool ChannelDialog::channelListFits(const GroupRecord& group) {
    if (channelListLength(group) <= kChannelListLimit) {
        return true;
    }
    ui::showMessage(this, ui::BoxKind::Information, ui::applicationTitle(),
                    QString::fromUtf8(kChannelListTooLong));
    return false;
}

void ChannelDialog::accept() {
    const QString station = ui_->stationBox.currentText();
    const QString channel = ui_->channelBox.currentText();
    // The station is written only with a new group; the other modes keep the group's own.
    if (mode_ == Mode::AddGroup && !checkCode(station, QString::fromUtf8("Код станции"))) {
        return;
    }
    if (!checkCode(channel, QString::fromUtf8("Код канала"), true)) {
        return;
    }

    const QString spsText = ui_->spsEdit.text();
    if (spsText.isEmpty()) {
        warn(QString::fromUtf8(kFillAllFields));
        return;
    }
    const std::int32_t sps = readDecimal(spsText);
    const QString lastTimeText = ui_->lastTimeEdit.text();
    if (lastTimeText.isEmpty()) {
        warn(QString::fromUtf8(kFillAllFields));
        return;
    }
    const QString sizeText = ui_->sizeEdit.text();
    if (sizeText.isEmpty()) {
        warn(QString::fromUtf8(kFillAllFields));
        return;
    }
    const std::int32_t sizeMb = readDecimal(sizeText);
    const QString fileName = ui_->fileNameEdit.text();
    if (fileName.isEmpty()) {
        warn(QString::fromUtf8(kFillAllFields));
        return;
    }

    const std::string timeText = bytesOf(lastTimeText.left(kTimeTextLimit));
    const std::optional<std::int32_t> lastTime =
        ui_->calendarRadio.isChecked() ? readCalendarTime(timeText) : readUnixTime(timeText);
    if (!lastTime) {
        warn(QString::fromUtf8(kTimeFormatMismatch));
        return;
    }

    SettingsRecord& record = settingsRecord();
    ChannelRecord newChannel;
    newChannel.code = bytesOf(channel);
    newChannel.lastTime = *lastTime;
    newChannel.fileName = bytesOf(fileName);

    switch (mode_) {
        case Mode::AddGroup: {
            if (record.groups.size() >= static_cast<std::size_t>(kMaxGroups)) {
                ui::showMessage(this, ui::BoxKind::Information, ui::applicationTitle(),
                                QString::fromUtf8(kTooManyGroups));
                return;
            }
            GroupRecord group;
            group.station = bytesOf(station);
            group.channels.append(newChannel);
            group.sizeMb = sizeMb;
            group.sps = sps;
            const std::size_t at = std::min(static_cast<std::size_t>(std::max(insertPosition_, 0)),
                                            record.groups.size());
            record.groups.insertAt(at, group);
            record.groupCount += 1;
            break;
        }
        case Mode::AddChannel: {
            GroupRecord& group = record.groups.at(static_cast<std::size_t>(groupIndex_));
            for (const ChannelRecord& existing : group.channels) {
                if (sameChannelCode(existing.code, newChannel.code)) {
                    ui::showMessage(this, ui::BoxKind::Information, ui::applicationTitle(),
                                    QString::fromUtf8(kDuplicateChannel));
                    return;
                }
            }
            GroupRecord longer = group;
            longer.channels.append(newChannel);
            if (!channelListFits(longer)) {
                return;
            }
            group.channels.append(newChannel);
            break;
        }
        case Mode::ChangeChannel: {
            GroupRecord& group = record.groups.at(static_cast<std::size_t>(groupIndex_));
            GroupRecord changed = group;
            changed.channels.setAt(static_cast<std::size_t>(channelIndex_), newChannel);
            if (!channelListFits(changed)) {
                return;
            }
            if (groupValuesChanged_ &&
                ui::showMessage(this, ui::BoxKind::Question, ui::applicationTitle(),
                                QString::fromUtf8(kGroupValuesQuestion)) != ui::BoxAnswer::Yes) {
                return;
            }
            group.sizeMb = sizeMb;
            group.sps = sps;
            group.channels.setAt(static_cast<std::size_t>(channelIndex_), newChannel);
            break;
        }
    }
    QDialog::accept();
}

}  // namespace vorda
