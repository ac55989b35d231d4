#include "app/ui/additional_page.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "resources/texts.h"
#include "settings/settings_record.h"
#include "ui/folder_chooser.h"
#include "ui/ui_support.h"

namespace vorda {
namespace {

constexpr int kValueChars = 511;  // server name and log directory

void storeText(std::string& target, const QString& text) {
    // The validator keeps other characters out; a value that still cannot be held stays as it was.
    if (auto bytes = ui::toRecord(text.left(kValueChars))) {
        target = std::move(*bytes);
    }
}

// The group count field with its spin arrows; the page watches every change of the field's text.
class GroupCountSpin : public QSpinBox {
  public:
    using QSpinBox::lineEdit;
    using QSpinBox::QSpinBox;
};

}  // namespace

// The controls the page works with; all of them are children of the page.
struct AdditionalPage::Controls {
    QLineEdit* serverEdit = nullptr;
    QCheckBox* detailBox = nullptr;
    QCheckBox* screenBox = nullptr;
    GroupCountSpin* countSpin = nullptr;
    QLineEdit* logDirEdit = nullptr;
    QPushButton* browseButton = nullptr;
};

AdditionalPage::AdditionalPage(QWidget* parent)
    : ui::DialogPage(parent), ui_(std::make_unique<Controls>()) {
    Controls& c = *ui_;
    auto* serverLabel = new QLabel(ui::text(texts::kServerLabel), this);
    c.serverEdit = new QLineEdit(this);
    auto* modeBox = new QGroupBox(ui::text(texts::kDisplayModeBox), this);
    c.detailBox = new QCheckBox(ui::text(texts::kDetailMode), modeBox);
    c.screenBox = new QCheckBox(ui::text(texts::kShowScreen), modeBox);
    auto* countLabel = new QLabel(ui::text(texts::kGroupCountLabel), this);
    c.countSpin = new GroupCountSpin(this);
    auto* logLabel = new QLabel(ui::text(texts::kLogDirLabel), this);
    c.logDirEdit = new QLineEdit(this);
    c.browseButton = new QPushButton(ui::text(texts::kBrowse), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(serverLabel);
    layout->addWidget(c.serverEdit);
    layout->addSpacing(4);
    auto* modeLayout = new QVBoxLayout(modeBox);
    modeLayout->addWidget(c.detailBox);
    modeLayout->addWidget(c.screenBox);
    layout->addWidget(modeBox);
    layout->addSpacing(4);
    auto* countRow = new QHBoxLayout;
    layout->addLayout(countRow);
    countRow->addWidget(countLabel);
    countRow->addWidget(c.countSpin);
    countRow->addStretch(1);
    layout->addSpacing(4);
    layout->addWidget(logLabel);
    auto* logRow = new QHBoxLayout;
    layout->addLayout(logRow);
    logRow->setSpacing(0);
    logRow->addWidget(c.logDirEdit, 1);
    logRow->addWidget(c.browseButton);
    layout->addStretch(1);

    serverLabel->setBuddy(c.serverEdit);
    countLabel->setBuddy(c.countSpin);
    logLabel->setBuddy(c.logDirEdit);
    c.serverEdit->setValidator(new ui::Cp1251Validator(kValueChars, this));
    c.logDirEdit->setValidator(new ui::Cp1251Validator(kValueChars, this));
    // The field is about as wide as four digits and its arrows.
    c.countSpin->setMinimumWidth(
        c.countSpin->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 40);
    c.countSpin->setRange(1, kMaxGroups);
    c.countSpin->setAccelerated(true);
    c.browseButton->setFixedWidth(c.browseButton->sizeHint().height());
    c.browseButton->setAutoDefault(false);

    QWidget::setTabOrder(c.serverEdit, c.detailBox);
    QWidget::setTabOrder(c.detailBox, c.screenBox);
    QWidget::setTabOrder(c.screenBox, c.countSpin);
    QWidget::setTabOrder(c.countSpin, c.logDirEdit);
    QWidget::setTabOrder(c.logDirEdit, c.browseButton);

    connect(c.serverEdit, &QLineEdit::textChanged, this, &AdditionalPage::onServerChanged);
    connect(c.logDirEdit, &QLineEdit::textChanged, this, &AdditionalPage::onLogDirChanged);
    connect(c.detailBox, &QCheckBox::toggled, this,
            [](bool checked) { settingsRecord().detailMode = checked ? 1 : 0; });
    connect(c.screenBox, &QCheckBox::toggled, this,
            [](bool checked) { settingsRecord().showScreen = checked ? 1 : 0; });
    // Every change of the text counts, also the empty or out-of-range ones the spin box itself
    // would only take when editing ends.
    connect(c.countSpin->lineEdit(), &QLineEdit::textChanged, this,
            &AdditionalPage::onGroupCountChanged);
    // The arrows (and the arrow keys) rewrite the field without the field's own signal.
    connect(c.countSpin, &QSpinBox::textChanged, this, &AdditionalPage::onGroupCountChanged);
    connect(c.browseButton, &QPushButton::clicked, this, &AdditionalPage::onBrowse);
}

AdditionalPage::~AdditionalPage() = default;

QString AdditionalPage::title() const {
    return ui::text(texts::kAdditionalTab);
}

void AdditionalPage::fill() {
    Controls& c = *ui_;
    const SettingsRecord& record = settingsRecord();
    {
        const QSignalBlocker server(c.serverEdit);
        const QSignalBlocker detail(c.detailBox);
        const QSignalBlocker screen(c.screenBox);
        const QSignalBlocker count(c.countSpin);
        const QSignalBlocker countField(c.countSpin->lineEdit());
        const QSignalBlocker logDir(c.logDirEdit);
        c.serverEdit->setText(ui::fromRecord(record.server));
        c.detailBox->setChecked(record.detailMode != 0);
        c.screenBox->setChecked(record.showScreen != 0);
        c.countSpin->setValue(record.groupCount);  // held within 1 to 256 by the spin box
        c.logDirEdit->setText(ui::fromRecord(record.logDir));
    }
    // The field as filled counts as a change: a count of 0 with groups present becomes 1, and
    // one out of range is corrected, just as when the operator types it.
    onGroupCountChanged(c.countSpin->lineEdit()->text());
}

void AdditionalPage::showEvent(QShowEvent* event) {
    ui::DialogPage::showEvent(event);
    fill();
}

QLineEdit& AdditionalPage::serverEdit() {
    return *ui_->serverEdit;
}
QCheckBox& AdditionalPage::detailBox() {
    return *ui_->detailBox;
}
QCheckBox& AdditionalPage::screenBox() {
    return *ui_->screenBox;
}
QSpinBox& AdditionalPage::groupCountSpin() {
    return *ui_->countSpin;
}
QLineEdit& AdditionalPage::groupCountEdit() {
    return *ui_->countSpin->lineEdit();
}
QLineEdit& AdditionalPage::logDirEdit() {
    return *ui_->logDirEdit;
}
QPushButton& AdditionalPage::browseButton() {
    return *ui_->browseButton;
}

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
    ui_->countSpin->setValue(groups);
}

void AdditionalPage::onBrowse() {
    // Cancelling leaves the field (and so the log directory) as it was.
    const QString chosen = ui::chooseFolder(window(), ui_->logDirEdit->text());
    if (!chosen.isEmpty()) {
        ui_->logDirEdit->setText(chosen);
    }
}

}  // namespace vorda
