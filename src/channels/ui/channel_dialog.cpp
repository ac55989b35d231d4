#include "channels/ui/channel_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "channels/channel_rules.h"
#include "channels/group_order.h"
#include "channels/time_conversion.h"
#include "database/connection_settings.h"
#include "database/schema_dictionary.h"
#include "platform/text.h"
#include "resources/texts.h"
#include "settings/settings_record.h"
#include "ui/ui_support.h"

namespace vorda {
namespace {

// The other text fields hold at most this many characters.
constexpr int kMaxFieldLength = 511;

// How long typing a station code pauses before its channels are asked for.
constexpr int kTypingPauseMs = 400;

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

// Fills a list box with database codes, in the order the database queries give them.
void fillCodes(QComboBox& box, const std::vector<std::string>& codes) {
    QStringList items;
    for (const auto& code : codes) {
        items << ui::fromRecord(code);
    }
    box.clear();
    box.addItems(items);
}

// Fills the box with the codes and shows one: with lookForStored, the first listed code that
// begins with the stored one (as the list finds a typed text), else the first code. A stored
// code the list does not hold, and an empty list, show the stored code as text: a group's own
// station or channel is never replaced by another one the database happens to list first.
// False when the stored code was looked for and not found.
bool fillAndShow(QComboBox& box, const std::vector<std::string>& codes, const QString& stored,
                 bool lookForStored) {
    const QSignalBlocker block(box);
    fillCodes(box, codes);
    const int index = lookForStored ? box.findText(stored, Qt::MatchStartsWith) : 0;
    const bool found = index >= 0 && box.count() > 0;
    box.setCurrentIndex(found ? index : -1);
    if (!found) {
        box.setEditText(stored);
    }
    return found;
}

}  // namespace

// The controls the dialog works with; all of them are children of the dialog.
struct ChannelDialog::Controls {
    explicit Controls(ChannelDialog& dialog);

    QComboBox* stationBox = nullptr;
    QComboBox* channelBox = nullptr;
    QCheckBox* allChannels = nullptr;
    QLineEdit* spsEdit = nullptr;
    QRadioButton* unixRadio = nullptr;
    QRadioButton* calendarRadio = nullptr;
    QLineEdit* lastTimeEdit = nullptr;
    QLineEdit* sizeEdit = nullptr;
    QLineEdit* fileNameEdit = nullptr;
    QLabel* noteLabel = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QTimer* stationTyped = nullptr;  // the pause after a typed station code
};

ChannelDialog::Controls::Controls(ChannelDialog& dialog) {
    auto* layout = new QGridLayout(&dialog);
    auto* codeValidator = new ui::Cp1251Validator(-1, &dialog);
    auto* textValidator = new ui::Cp1251Validator(kMaxFieldLength, &dialog);
    // A label in the first column of a row, naming the field beside it.
    const auto addLabel = [layout](QWidget* field, std::string_view text, int row) {
        auto* label = new QLabel(ui::text(text), field->parentWidget());
        label->setBuddy(field);
        layout->addWidget(label, row, 0);
    };
    const auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
    };

    stationBox = new QComboBox(&dialog);
    channelBox = new QComboBox(&dialog);
    allChannels = new QCheckBox(&dialog);
    spsEdit = new QLineEdit(&dialog);
    auto* timeGroup = new QGroupBox(ui::text(texts::kTimeFormatBox), &dialog);
    unixRadio = new QRadioButton(ui::text(texts::kUnixTimeFormat), timeGroup);
    calendarRadio = new QRadioButton(ui::text(texts::kCalendarTimeFormat), timeGroup);
    lastTimeEdit = new QLineEdit(timeGroup);
    sizeEdit = new QLineEdit(&dialog);
    fileNameEdit = new QLineEdit(&dialog);
    noteLabel = new QLabel(&dialog);
    auto* buttonRow = new QWidget(&dialog);
    okButton = new QPushButton(ui::text(texts::kOk), buttonRow);
    cancelButton = new QPushButton(ui::text(texts::kCancel), buttonRow);
    stationTyped = new QTimer(&dialog);
    stationTyped->setSingleShot(true);
    stationTyped->setInterval(kTypingPauseMs);

    named(stationBox, "stationBox");
    named(channelBox, "channelBox");
    named(allChannels, "allChannelsBox");
    named(spsEdit, "spsEdit");
    named(unixRadio, "unixRadio");
    named(calendarRadio, "calendarRadio");
    named(lastTimeEdit, "lastTimeEdit");
    named(sizeEdit, "sizeEdit");
    named(fileNameEdit, "fileNameEdit");
    named(okButton, "okButton");
    named(cancelButton, "cancelButton");
    named(timeGroup, "timeGroup");
    named(noteLabel, "noteLabel");

    for (QComboBox* box : {stationBox, channelBox}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setValidator(codeValidator);
        box->setMaxVisibleItems(12);
    }
    for (QLineEdit* edit : {spsEdit, sizeEdit, fileNameEdit}) {
        edit->setMaxLength(kMaxFieldLength);
        edit->setValidator(textValidator);
    }
    lastTimeEdit->setMaxLength(static_cast<int>(kTimeTextLimit));
    lastTimeEdit->setValidator(textValidator);

    auto* timeLayout = new QGridLayout(timeGroup);
    timeLayout->addWidget(unixRadio, 0, 0);
    timeLayout->addWidget(calendarRadio, 0, 1);
    auto* lastTimeLabel = new QLabel(ui::text(texts::kLastTime), timeGroup);
    lastTimeLabel->setBuddy(lastTimeEdit);
    timeLayout->addWidget(lastTimeLabel, 1, 0);
    timeLayout->addWidget(lastTimeEdit, 1, 1);
    timeLayout->setColumnStretch(1, 1);

    okButton->setDefault(true);
    okButton->setAutoDefault(true);
    auto* buttonLayout = new QHBoxLayout(buttonRow);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->addStretch(1);
    buttonLayout->addWidget(okButton);
    buttonLayout->addWidget(cancelButton);

    addLabel(stationBox, texts::kStationCode, 0);
    layout->addWidget(stationBox, 0, 1);
    addLabel(channelBox, texts::kChannelCode, 1);
    layout->addWidget(channelBox, 1, 1);
    layout->addWidget(allChannels, 2, 1);
    addLabel(spsEdit, texts::kSps, 3);
    layout->addWidget(spsEdit, 3, 1);
    layout->addWidget(timeGroup, 4, 0, 1, 2);
    addLabel(sizeEdit, texts::kFileSize, 5);
    layout->addWidget(sizeEdit, 5, 1);
    addLabel(fileNameEdit, texts::kFileName, 6);
    layout->addWidget(fileNameEdit, 6, 1);
    layout->setRowMinimumHeight(7, 6);
    noteLabel->setWordWrap(true);
    noteLabel->setVisible(false);
    layout->addWidget(noteLabel, 7, 0, 1, 2);
    layout->addWidget(buttonRow, 8, 0, 1, 2);
    layout->setColumnStretch(1, 1);

    QWidget::setTabOrder(stationBox, channelBox);
    QWidget::setTabOrder(channelBox, allChannels);
    QWidget::setTabOrder(allChannels, spsEdit);
    QWidget::setTabOrder(spsEdit, unixRadio);
    QWidget::setTabOrder(unixRadio, calendarRadio);
    QWidget::setTabOrder(calendarRadio, lastTimeEdit);
    QWidget::setTabOrder(lastTimeEdit, sizeEdit);
    QWidget::setTabOrder(sizeEdit, fileNameEdit);
    QWidget::setTabOrder(fileNameEdit, okButton);
    QWidget::setTabOrder(okButton, cancelButton);
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

    connect(ui_->okButton, &QPushButton::clicked, this, &ChannelDialog::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &ChannelDialog::reject);
    connect(ui_->stationBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            onStationChanged();
        }
    });
    connect(ui_->channelBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            onChannelChanged();
        }
    });
    // A code typed by hand proposes its file name as a picked one does. A typed station lists
    // its own channels once the typing pauses or the field is left.
    connect(ui_->stationBox->lineEdit(), &QLineEdit::textEdited, this, [this] {
        proposeFileName();
        ui_->stationTyped->start();
    });
    connect(ui_->stationBox->lineEdit(), &QLineEdit::editingFinished, this,
            &ChannelDialog::onStationTyped);
    connect(ui_->stationTyped, &QTimer::timeout, this, &ChannelDialog::onStationTyped);
    connect(ui_->channelBox->lineEdit(), &QLineEdit::textEdited, this,
            &ChannelDialog::proposeFileName);
    connect(ui_->spsEdit, &QLineEdit::textChanged, this, &ChannelDialog::onGroupValueChanged);
    connect(ui_->sizeEdit, &QLineEdit::textChanged, this, &ChannelDialog::onGroupValueChanged);
    connect(ui_->calendarRadio, &QRadioButton::clicked, this, &ChannelDialog::onCalendarFormat);
    // All the station's channels at once: the channel and its file name are not the operator's.
    connect(ui_->allChannels, &QCheckBox::toggled, this, [this](bool all) {
        ui_->channelBox->setEnabled(!all);
        ui_->fileNameEdit->setEnabled(!all);
    });
    connect(ui_->unixRadio, &QRadioButton::clicked, this, &ChannelDialog::onUnixFormat);

    initDialog();
    // The choice of all channels is for the two adding modes, with channels listed to add.
    ui_->allChannels->setText(ui::text(mode_ == Mode::AddGroup ? texts::kAllStationChannels
                                                               : texts::kAllMissingChannels));
    ui_->allChannels->setVisible(mode_ != Mode::ChangeChannel);
    ui_->allChannels->setEnabled(false);
    // The texts written while opening count as no change.
    groupValuesChanged_ = false;
}

bool ChannelDialog::prepare() {
    listStations();
    // The texts the lists wrote count as no change either.
    groupValuesChanged_ = false;
    return stationsListed_;
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
    ui::showMessage(nullptr, ui::BoxKind::Error, ui::text(texts::kQueryErrorCaption),
                    what + ui::fromRecord(error));
}

void ChannelDialog::showNote() {
    QStringList lines;
    // A station the database does not know has no channels there either: one line says both.
    if (stationUnlisted_) {
        lines << ui::text(texts::kStationNotListed).arg(ui_->stationBox->currentText());
    } else if (channelUnlisted_) {
        lines << ui::text(texts::kChannelNotListed)
                     .arg(ui_->channelBox->currentText(), ui_->stationBox->currentText());
    }
    if (stationsLeftOut_ + channelsLeftOut_ > 0) {
        lines << ui::text(texts::kCodesLeftOut)
                     .arg(kMaxCodeLength)
                     .arg(stationsLeftOut_)
                     .arg(channelsLeftOut_);
    }
    ui_->noteLabel->setText(lines.join(QLatin1Char('\n')));
    ui_->noteLabel->setVisible(!lines.isEmpty());
}

void ChannelDialog::initDialog() {
    ui_->unixRadio->setChecked(true);

    SettingsRecord& record = settingsRecord();
    const bool validGroup =
        groupIndex_ >= 0 && static_cast<std::size_t>(groupIndex_) < record.groups.size();
    if (mode_ != Mode::AddGroup && !validGroup) {
        // Callers always name a group that exists; should one not, the dialog adds a new group
        // rather than write into one that is not there.
        mode_ = Mode::AddGroup;
        groupIndex_ = -1;
        channelIndex_ = -1;
    }
    switch (mode_) {
        case Mode::AddGroup:
            setWindowTitle(ui::text(texts::kAddGroupTitle));
            ui_->spsEdit->setText(number(kNewGroupSps));
            ui_->lastTimeEdit->setText(QStringLiteral("0"));
            ui_->sizeEdit->setText(number(kNewGroupSizeMb));
            break;
        case Mode::AddChannel: {
            setWindowTitle(ui::text(texts::kAddChannelTitle));
            ui_->stationBox->setEnabled(false);
            ui_->spsEdit->setEnabled(false);
            ui_->sizeEdit->setEnabled(false);
            const GroupRecord group = record.groups.getAt(static_cast<std::size_t>(groupIndex_));
            ui_->spsEdit->setText(number(group.sps));
            ui_->lastTimeEdit->setText(QStringLiteral("0"));
            ui_->sizeEdit->setText(number(group.sizeMb));
            ui_->stationBox->setEditText(ui::fromRecord(group.station));
            break;
        }
        case Mode::ChangeChannel: {
            setWindowTitle(ui::text(texts::kChangeChannelTitle));
            ui_->stationBox->setEnabled(false);
            const GroupRecord group = record.groups.getAt(static_cast<std::size_t>(groupIndex_));
            if (static_cast<std::size_t>(channelIndex_) >= group.channels.size()) {
                channelIndex_ = -1;
                mode_ = Mode::AddChannel;
                ui_->spsEdit->setEnabled(false);
                ui_->sizeEdit->setEnabled(false);
            }
            ui_->spsEdit->setText(number(group.sps));
            ui_->sizeEdit->setText(number(group.sizeMb));
            ui_->stationBox->setEditText(ui::fromRecord(group.station));
            if (channelIndex_ >= 0) {
                const ChannelRecord channel =
                    group.channels.getAt(static_cast<std::size_t>(channelIndex_));
                ui_->lastTimeEdit->setText(number(channel.lastTime));
                // Without the database the channel still shows what it is.
                ui_->channelBox->setEditText(ui::fromRecord(channel.code));
                ui_->fileNameEdit->setText(ui::fromRecord(channel.fileName));
            } else {
                ui_->lastTimeEdit->setText(QStringLiteral("0"));
            }
            break;
        }
    }
}

void ChannelDialog::listStations() {
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
            queryFailed(ui::text(texts::kStationsQueryFailed), stations.error);
            return;
        }
    }
    stationsListed_ = true;
    stationsLeftOut_ = stations.leftOut();
    showNote();

    const QString storedStation = ui_->stationBox->currentText();
    // A group's station the database does not list stays as the group has it, with a note.
    const bool stationFound =
        fillAndShow(*ui_->stationBox, stations.codes, storedStation, mode_ != Mode::AddGroup);
    stationUnlisted_ = mode_ != Mode::AddGroup && !stationFound;
    onStationChanged();
}

void ChannelDialog::onStationChanged() {
    const SQLHDBC connection = ConnectionSettings::connection();
    if (connection == SQL_NULL_HDBC) {
        return;
    }
    const std::string station = bytesOf(ui_->stationBox->currentText());
    CodeList channels;
    {
        ui::WaitCursor wait;
        if (!queryChannels(connection, schemaDictionary(), station, channels)) {
            queryFailed(ui::text(texts::kChannelsQueryFailed).arg(ui_->stationBox->currentText()),
                        channels.error);
            // Nothing is listed for this station, as when the database knows no channel of it:
            // the list of another station must not be offered or added under this one.
            channels = CodeList{};
        }
    }
    channelsLeftOut_ = channels.leftOut();
    QString storedCode;
    if (mode_ == Mode::ChangeChannel) {
        const GroupRecord& group =
            settingsRecord().groups.at(static_cast<std::size_t>(groupIndex_));
        storedCode =
            ui::fromRecord(group.channels.at(static_cast<std::size_t>(channelIndex_)).code);
    }
    // With nothing listed for this station, a code shown before belonged to another station: the
    // box shows the stored code, a changed channel's own or none. A changed channel the database
    // does not list stays as it is, with a note.
    const bool channelFound =
        fillAndShow(*ui_->channelBox, channels.codes, storedCode, mode_ == Mode::ChangeChannel);
    channelUnlisted_ = mode_ == Mode::ChangeChannel && !channelFound;
    showNote();
    // The codes as listed, for adding all of them at once.
    listedStation_ = station;
    listedChannels_ = std::move(channels.codes);
    ui_->allChannels->setEnabled(!listedChannels_.empty());
    onChannelChanged();
}

void ChannelDialog::onStationTyped() {
    ui_->stationTyped->stop();
    // Only a station other than the one whose channels the list holds asks the database again.
    if (bytesOf(ui_->stationBox->currentText()) != listedStation_) {
        onStationChanged();
    }
}

void ChannelDialog::proposeFileName() {
    ui_->fileNameEdit->setText(ui::fromRecord(proposedFileName(
        bytesOf(ui_->stationBox->currentText()), bytesOf(ui_->channelBox->currentText()))));
}

void ChannelDialog::onChannelChanged() {
    proposeFileName();
    if (mode_ != Mode::ChangeChannel) {
        return;
    }
    const std::string code = bytesOf(ui_->channelBox->currentText());
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
        ui_->spsEdit->setText(number(group.sps));
        ui_->lastTimeEdit->setText(number(found->lastTime));
        ui_->sizeEdit->setText(number(group.sizeMb));
        ui_->fileNameEdit->setText(ui::fromRecord(found->fileName));
        // Rewritten counts as changed, even when the numbers are the same.
        onGroupValueChanged();
    }
}

void ChannelDialog::onCalendarFormat() {
    const std::string text = bytesOf(ui_->lastTimeEdit->text().left(kTimeTextLimit));
    const std::string converted = toCalendarText(text);
    if (converted != text) {
        ui_->lastTimeEdit->setText(ui::fromRecord(converted));
    }
}

void ChannelDialog::onUnixFormat() {
    const std::string text = bytesOf(ui_->lastTimeEdit->text().left(kTimeTextLimit));
    const std::string converted = toUnixText(text);
    if (converted != text) {
        ui_->lastTimeEdit->setText(ui::fromRecord(converted));
    }
}

bool ChannelDialog::allowed(const RuleCheck& check, bool ofList) {
    if (!check) {
        ui::showMessage(this, check.isWarning() ? ui::BoxKind::Warning : ui::BoxKind::Information,
                        ui::applicationTitle(), ui::text(ofList ? check.listText() : check.text()));
    }
    return check.ok();
}

bool ChannelDialog::allowed(const DataFileCheck& check, bool ofList) {
    if (!check) {
        warn(ui::text(ofList ? check.listText() : check.text()));
    }
    return check.ok();
}

void ChannelDialog::accept() {
    const QString station = ui_->stationBox->currentText();
    const QString channel = ui_->channelBox->currentText();
    const bool all = mode_ != Mode::ChangeChannel && ui_->allChannels->isChecked();
    // The codes come first. The station is written only with a new group; the other modes
    // keep the group's own. Listed channels are checked with the list.
    if (mode_ == Mode::AddGroup &&
        !allowed(checkCodeText(CodeKind::Station, station.toStdString()))) {
        return;
    }
    if (!all && !allowed(checkCodeText(CodeKind::Channel, channel.toStdString()))) {
        return;
    }

    const QString spsText = ui_->spsEdit->text();
    const QString lastTimeText = ui_->lastTimeEdit->text();
    const QString sizeText = ui_->sizeEdit->text();
    const QString fileName = ui_->fileNameEdit->text();
    // Every channel added at once gets its own proposed file name.
    const FieldsCheck fields =
        checkChannelFields({spsText.toStdString(), lastTimeText.toStdString(),
                            sizeText.toStdString(), bytesOf(fileName), !all});
    if (!fields.ok()) {
        warn(ui::text(fields.refusal));
        return;
    }
    const std::int32_t sps = fields.sps;
    const std::int32_t sizeMb = fields.sizeMb;

    const std::string timeText = bytesOf(lastTimeText.left(kTimeTextLimit));
    TimeRefusal refusal = TimeRefusal::Format;
    const std::optional<std::int32_t> lastTime = ui_->calendarRadio->isChecked()
                                                     ? readCalendarTime(timeText, &refusal)
                                                     : readUnixTime(timeText, &refusal);
    if (!lastTime) {
        warn(ui::text(refusal == TimeRefusal::OutOfRange ? texts::kTimeOutOfRange
                                                         : texts::kTimeFormatMismatch));
        return;
    }

    if (all) {
        if (addAllChannels(*lastTime, sps, sizeMb)) {
            QDialog::accept();
        }
        return;
    }

    ChannelRecord newChannel;
    newChannel.code = bytesOf(channel);
    newChannel.lastTime = *lastTime;
    newChannel.fileName = bytesOf(fileName);
    if (writeChannel(newChannel, bytesOf(station), sps, sizeMb)) {
        QDialog::accept();
    }
}

bool ChannelDialog::writeChannel(const ChannelRecord& newChannel, const std::string& station,
                                 std::int32_t sps, std::int32_t sizeMb) {
    SettingsRecord& record = settingsRecord();
    switch (mode_) {
        case Mode::AddGroup: {
            GroupRecord group;
            group.station = station;
            group.channels.append(newChannel);
            group.sizeMb = sizeMb;
            group.sps = sps;
            if (!allowed(checkNewGroup(record, group)) ||
                !allowed(checkNewDataFiles(record.groups.items(), std::nullopt, group.station,
                                           group.channels.items()))) {
                return false;
            }
            addGroup(record, static_cast<std::size_t>(std::max(insertPosition_, 0)), group);
            break;
        }
        case Mode::AddChannel: {
            const auto index = static_cast<std::size_t>(groupIndex_);
            GroupRecord& group = record.groups.at(index);
            const std::span<const ChannelRecord> added(&newChannel, 1);
            if (!allowed(checkNewChannels(group, added)) ||
                !allowed(checkNewDataFiles(record.groups.items(), index, {}, added))) {
                return false;
            }
            addChannels(group, added);
            break;
        }
        case Mode::ChangeChannel: {
            GroupRecord& group = record.groups.at(static_cast<std::size_t>(groupIndex_));
            const auto index = static_cast<std::size_t>(channelIndex_);
            if (!allowed(checkChannelChange(group, index, newChannel)) ||
                !allowed(checkDataFileChange(record.groups.items(),
                                             static_cast<std::size_t>(groupIndex_), index,
                                             newChannel))) {
                return false;
            }
            if (groupValuesChanged_ &&
                ui::showMessage(this, ui::BoxKind::Question, ui::applicationTitle(),
                                ui::text(texts::kGroupValuesQuestion)) != ui::BoxAnswer::Yes) {
                return false;
            }
            changeChannel(group, index, newChannel, sps, sizeMb);
            break;
        }
    }
    return true;
}

bool ChannelDialog::addAllChannels(std::int32_t lastTime, std::int32_t sps, std::int32_t sizeMb) {
    SettingsRecord& record = settingsRecord();
    GroupRecord group;
    if (mode_ == Mode::AddGroup) {
        group.station = bytesOf(ui_->stationBox->currentText());
        group.sizeMb = sizeMb;
        group.sps = sps;
    } else {
        group = record.groups.getAt(static_cast<std::size_t>(groupIndex_));
    }
    // The channels listed belong to the station they were asked for; a group of another station
    // (a typed code, or a stored one the database lists under a longer or other code) gets none.
    if (listedStation_ != group.station) {
        warn(ui::text(texts::kStationNotFound));
        return false;
    }
    const std::vector<ChannelRecord> channels = missingChannels(group, listedChannels_, lastTime);
    if (channels.empty()) {
        ui::showMessage(this, ui::BoxKind::Information, ui::applicationTitle(),
                        ui::text(mode_ == Mode::AddGroup ? texts::kNoChannelsListed
                                                         : texts::kNoMissingChannels));
        return false;
    }
    // The codes first, then the proposed file names: each against the record's channels and
    // those before it.
    std::optional<std::size_t> target;
    RuleCheck check;
    if (mode_ == Mode::AddGroup) {
        for (const ChannelRecord& channel : channels) {
            group.channels.append(channel);
        }
        check = checkNewGroup(record, group);
    } else {
        target = static_cast<std::size_t>(groupIndex_);
        check = checkNewChannels(group, channels);
    }
    if (!allowed(check, true) ||
        !allowed(checkNewDataFiles(record.groups.items(), target, group.station, channels), true)) {
        return false;
    }
    if (target) {
        addChannels(record.groups.at(*target), channels);
    } else {
        addGroup(record, static_cast<std::size_t>(std::max(insertPosition_, 0)), group);
    }
    return true;
}

}  // namespace vorda
