#include "app/ui/additional_page.h"

#include "app/ui/folder_chooser.h"
#include "resources/texts.h"
#include "settings/settings_record.h"

namespace vorda {
namespace {

constexpr int kValueChars = 511;  // server name and log directory

void storeText(std::string& target, const QString& text) {
    // The validator keeps other characters out; a value that still cannot be held stays as it was.
    if (auto bytes = ui::toRecord(text.left(kValueChars))) {
        target = std::move(*bytes);
    }
}

}  // namespace

AdditionalPage::AdditionalPage(QWidget* parent)
    : ui::DialogPage(parent),
      layout_(this),
      modeBox_(ui::text(texts::kDisplayModeBox)),
      modeLayout_(&modeBox_),
      serverValidator_(kValueChars),
      logDirValidator_(kValueChars),
      serverLabel_(ui::text(texts::kServerLabel)),
      detailBox_(ui::text(texts::kDetailMode)),
      screenBox_(ui::text(texts::kShowScreen)),
      countLabel_(ui::text(texts::kGroupCountLabel)),
      logLabel_(ui::text(texts::kLogDirLabel)),
      browseButton_(ui::text(texts::kBrowse)) {
    layout_.addWidget(&serverLabel_);
    layout_.addWidget(&serverEdit_);
    layout_.addSpacing(4);
    modeLayout_.addWidget(&detailBox_);
    modeLayout_.addWidget(&screenBox_);
    layout_.addWidget(&modeBox_);
    layout_.addSpacing(4);
    countRow_.addWidget(&countLabel_);
    countRow_.addWidget(&countSpin_);
    countRow_.addStretch(1);
    layout_.addLayout(&countRow_);
    layout_.addSpacing(4);
    layout_.addWidget(&logLabel_);
    logRow_.setSpacing(0);
    logRow_.addWidget(&logDirEdit_, 1);
    logRow_.addWidget(&browseButton_);
    layout_.addLayout(&logRow_);
    layout_.addStretch(1);

    serverLabel_.setBuddy(&serverEdit_);
    countLabel_.setBuddy(&countSpin_);
    logLabel_.setBuddy(&logDirEdit_);
    serverEdit_.setValidator(&serverValidator_);
    logDirEdit_.setValidator(&logDirValidator_);
    // The field is about as wide as four digits and its arrows.
    countSpin_.setMinimumWidth(countSpin_.fontMetrics().horizontalAdvance(QStringLiteral("0000")) +
                               40);
    countSpin_.setRange(1, kMaxGroups);
    countSpin_.setAccelerated(true);
    browseButton_.setFixedWidth(browseButton_.sizeHint().height());
    browseButton_.setAutoDefault(false);

    QWidget::setTabOrder(&serverEdit_, &detailBox_);
    QWidget::setTabOrder(&detailBox_, &screenBox_);
    QWidget::setTabOrder(&screenBox_, &countSpin_);
    QWidget::setTabOrder(&countSpin_, &logDirEdit_);
    QWidget::setTabOrder(&logDirEdit_, &browseButton_);

    // Fill the controls from the record.
    const SettingsRecord& record = settingsRecord();
    serverEdit_.setText(ui::fromRecord(record.server));
    detailBox_.setChecked(record.detailMode != 0);
    screenBox_.setChecked(record.showScreen != 0);
    countSpin_.setValue(record.groupCount);  // held within 1 to 256 by the spin box
    logDirEdit_.setText(ui::fromRecord(record.logDir));

    connect(&serverEdit_, &QLineEdit::textChanged, this, &AdditionalPage::onServerChanged);
    connect(&logDirEdit_, &QLineEdit::textChanged, this, &AdditionalPage::onLogDirChanged);
    connect(&detailBox_, &QCheckBox::toggled, this,
            [](bool checked) { settingsRecord().detailMode = checked ? 1 : 0; });
    connect(&screenBox_, &QCheckBox::toggled, this,
            [](bool checked) { settingsRecord().showScreen = checked ? 1 : 0; });
    // Every change of the text counts, also the empty or out-of-range ones the spin box itself
    // would only take when editing ends.
    connect(countSpin_.lineEdit(), &QLineEdit::textChanged, this,
            &AdditionalPage::onGroupCountChanged);
    // The arrows (and the arrow keys) rewrite the field without the field's own signal.
    connect(&countSpin_, &QSpinBox::textChanged, this, &AdditionalPage::onGroupCountChanged);
    connect(&browseButton_, &QPushButton::clicked, this, &AdditionalPage::onBrowse);

    // The field as filled counts as a change: a count of 0 with groups present becomes 1, and
    // one out of range is corrected, just as when the operator types it.
    onGroupCountChanged(countSpin_.lineEdit()->text());
}

AdditionalPage::~AdditionalPage() = default;

void AdditionalPage::onServerChanged(const QString& text) {
    storeText(settingsRecord().server, text);
}

void AdditionalPage::onLogDirChanged(const QString& text) {
    storeText(settingsRecord().logDir, text);
}

void AdditionalPage::onGroupCountChanged(const QString& text) {
    SettingsRecord& record = settingsRecord();
    const auto groups = static_cast<int>(record.groups.size());
    bool isNumber = false;
    const int typed = text.trimmed().toInt(&isNumber);
    if (isNumber && typed >= 1 && typed <= kMaxGroups && typed <= groups) {
        record.groupCount = typed;
        return;
    }
    // Empty, 0, above 256 or above the number of groups: the number of groups. With no groups
    // the field keeps showing the spin box's lowest value and the count stays 0.
    record.groupCount = groups;
    countSpin_.setValue(groups);
}

void AdditionalPage::onBrowse() {
    // Cancelling leaves the field (and so the log directory) as it was.
    const QString chosen = ui::chooseFolder(window(), logDirEdit_.text());
    if (!chosen.isEmpty()) {
        logDirEdit_.setText(chosen);
    }
}

}  // namespace vorda
