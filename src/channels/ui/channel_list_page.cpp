#include "channels/ui/channel_list_page.h"

#include <QAbstractItemDelegate>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionViewItem>
#include <QStylePainter>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <functional>

#include "channels/channel_list.h"
#include "channels/group_order.h"
#include "channels/ui/channel_dialog.h"
#include "channels/ui/channel_table_model.h"
#include "platform/cp1251.h"
#include "resources/texts.h"
#include "settings/settings_record.h"
#include "ui/app_resources.h"
#include "ui/ui_support.h"

namespace vorda {
namespace {

// The columns share the list's inner width W in these parts of 13: W/13 for the group number and
// 2W/13 for each of the others (the divisions truncate).
constexpr std::array<int, ChannelTableModel::ColumnCount> kColumnShares = {1, 2, 2, 2, 2, 2, 2};
constexpr int kShareTotal = 13;

int columnWidthOf(int column, int base) {
    return kColumnShares[static_cast<std::size_t>(column)] * base / kShareTotal;
}

// The search text is at most this long; codes are much shorter.
constexpr int kMaxSearchLength = 63;

// The list: reports every left and right click and every double-click after the view has handled
// it, with the row hit or -1 when the click hit no row; hands the page the keys it acts on; shows
// a cell's whole text as its tooltip where the column cuts it; and asks to be wide enough that
// every heading shows whole.
class ChannelListView : public QTableView {
  public:
    using QTableView::QTableView;

    std::function<void(int row, Qt::MouseButton button)> onClick;
    std::function<void()> onDoubleClick;
    std::function<void()> onResize;
    // A key pressed on the list without modifiers (the keypad's count as none); true when the
    // page acted on it.
    std::function<bool(int key)> onKey;

    // The inner width W whose shares show every heading whole.
    int headingsWidth() const {
        int base = 0;
        for (int column = 0; column < ChannelTableModel::ColumnCount; ++column) {
            const int need = horizontalHeader()->sectionSizeHint(column);
            const int share = kColumnShares[static_cast<std::size_t>(column)];
            // The smallest W with share * W / 13 >= need.
            base = std::max(base, (need * kShareTotal + share - 1) / share);
        }
        return base;
    }

    QSize sizeHint() const override {
        QSize hint = QTableView::sizeHint();
        // The page leaves room for a vertical scroll bar whether it shows or not.
        const int chrome =
            2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        hint.setWidth(std::max(hint.width(), headingsWidth() + chrome));
        return hint;
    }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QTableView::mouseReleaseEvent(event);
        const Qt::MouseButton button = event->button();
        if ((button == Qt::LeftButton || button == Qt::RightButton) && onClick) {
            onClick(indexAt(event->position().toPoint()).row(), button);
        }
    }
    void resizeEvent(QResizeEvent* event) override {
        QTableView::resizeEvent(event);
        if (onResize) {
            onResize();
        }
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTableView::mouseDoubleClickEvent(event);
        if (event->button() == Qt::LeftButton && onDoubleClick) {
            onDoubleClick();
        }
    }
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && onKey &&
            onKey(event->key())) {
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }
    bool viewportEvent(QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            const auto* help = static_cast<QHelpEvent*>(event);
            const QModelIndex index = indexAt(help->pos());
            const QString tip = cellTip(index);
            if (tip.isEmpty()) {
                QToolTip::hideText();
            } else {
                QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
            }
            return true;
        }
        return QTableView::viewportEvent(event);
    }

  private:
    // The cell's whole text when its column cuts it, and the model's own tooltip (a last time's
    // calendar form) under it.
    QString cellTip(const QModelIndex& index) const {
        if (!index.isValid()) {
            return {};
        }
        QString tip = index.data(Qt::ToolTipRole).toString();
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = visualRect(index);
        const int room = columnWidth(index.column()) - (showGrid() ? 1 : 0);
        if (itemDelegateForIndex(index)->sizeHint(option, index).width() > room) {
            const QString whole = index.data().toString();
            tip = tip.isEmpty() ? whole : whole + QLatin1Char('\n') + tip;
        }
        return tip;
    }
};

// A push button whose text wraps onto several centred lines, as the page's buttons need.
class WrapButton : public QPushButton {
  public:
    WrapButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        int widest = 0;
        for (const QString& word : text().split(QRegularExpression(QStringLiteral("\\s+")))) {
            widest = std::max(widest, fm.horizontalAdvance(word));
        }
        // Room for three lines, as the page's buttons have.
        return {widest + 2 * fm.averageCharWidth() + 8, fm.lineSpacing() * 3 + 12};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        // The text keeps a margin of half a character from the button's edges.
        const int margin = fontMetrics().averageCharWidth() / 2 + 2;
        const QRect area = style()
                               ->subElementRect(QStyle::SE_PushButtonContents, &option, this)
                               .adjusted(margin, 0, -margin, 0);
        style()->drawItemText(&painter, area, Qt::AlignCenter | Qt::TextWordWrap, palette(),
                              isEnabled(), text(), QPalette::ButtonText);
    }
};

}  // namespace

// The controls the page works with; all of them are children of the page.
struct ChannelListPage::Controls {
    ChannelTableModel* model = nullptr;
    QLineEdit* searchEdit = nullptr;
    QLabel* searchCount = nullptr;
    ChannelListView* list = nullptr;
    QLabel* totals = nullptr;
    QPushButton* moveUp = nullptr;
    QPushButton* moveDown = nullptr;
    WrapButton* addChannel = nullptr;
    WrapButton* addGroup = nullptr;
    WrapButton* editChannel = nullptr;
    WrapButton* deleteChannel = nullptr;
    WrapButton* deleteGroup = nullptr;
};

ChannelListPage::ChannelListPage(QWidget* parent)
    : ui::DialogPage(parent), record_(settingsRecord()), ui_(std::make_unique<Controls>()) {
    setObjectName(QStringLiteral("channelListPage"));
    Controls& c = *ui_;
    // Created in the order the keyboard's Tab walks them.
    auto* searchLabel = new QLabel(ui::text(texts::kSearchLabel), this);
    c.searchEdit = new QLineEdit(this);
    c.searchCount = new QLabel(this);
    c.list = new ChannelListView(this);
    c.model = new ChannelTableModel(record_, this);
    c.totals = new QLabel(this);
    c.moveUp = new QPushButton(this);
    c.moveDown = new QPushButton(this);
    c.addChannel = new WrapButton(ui::text(texts::kAddChannelButton), this);
    c.addGroup = new WrapButton(ui::text(texts::kAddGroupButton), this);
    c.editChannel = new WrapButton(ui::text(texts::kEditChannelButton), this);
    c.deleteChannel = new WrapButton(ui::text(texts::kDeleteChannelButton), this);
    c.deleteGroup = new WrapButton(ui::text(texts::kDeleteGroupButton), this);

    ChannelListView& list = *c.list;
    list.setObjectName(QStringLiteral("channelList"));
    list.setModel(c.model);
    list.setSelectionBehavior(QAbstractItemView::SelectRows);
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.setShowGrid(true);
    list.setWordWrap(false);
    list.setSortingEnabled(false);
    list.setTabKeyNavigation(false);
    list.verticalHeader()->hide();
    // Every row has the height of one line: the view then places 16,384 rows without measuring.
    list.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list.verticalHeader()->setDefaultSectionSize(list.fontMetrics().height() + 4);
    list.horizontalHeader()->setSectionsClickable(true);
    list.horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    list.horizontalHeader()->setStretchLastSection(false);
    list.horizontalHeader()->setHighlightSections(false);
    list.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list.onClick = [this](int row, Qt::MouseButton button) {
        if (button == Qt::LeftButton) {
            onListClick(row);
        } else {
            onListRightClick(row);
        }
    };
    list.onDoubleClick = [this] { onEditChannel(); };
    list.onKey = [this](int key) {
        switch (key) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                onEditChannel();
                return true;
            case Qt::Key_Delete:
                onDeleteChannel();
                return true;
            case Qt::Key_Insert:
                onAddChannel();
                return true;
            default:
                return false;
        }
    };
    // The columns share the list's width until the operator drags a heading divider.
    list.onResize = [this] {
        if (isVisible() && !columnsDragged_) {
            setColumnWidths();
        }
    };
    connect(list.horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        if (!settingWidths_) {
            columnsDragged_ = true;
        }
    });
    connect(list.horizontalHeader(), &QHeaderView::sectionClicked, this,
            &ChannelListPage::onColumnClick);

    QLineEdit& search = *c.searchEdit;
    search.setObjectName(QStringLiteral("searchEdit"));
    search.setValidator(new ui::Cp1251Validator(kMaxSearchLength, this));
    search.setClearButtonEnabled(true);
    search.setToolTip(ui::text(texts::kSearchTip));
    // Of one width, with room for the clear button that shows once something is typed.
    search.setFixedWidth(search.fontMetrics().averageCharWidth() * 24 +
                         search.style()->pixelMetric(QStyle::PM_SmallIconSize) + 8);
    searchLabel->setBuddy(&search);
    c.searchCount->setObjectName(QStringLiteral("searchCount"));
    c.totals->setObjectName(QStringLiteral("totalsLine"));
    connect(&search, &QLineEdit::textChanged, this, &ChannelListPage::onSearchChanged);
    // Enter in the search field goes on to the list, on its first row when none is selected.
    connect(&search, &QLineEdit::returnPressed, this, [this] {
        if (selectedRow() < 0) {
            selectRow(0);
        }
        ui_->list->setFocus(Qt::OtherFocusReason);
    });
    // Anywhere in the window while the page is shown (the tab bar may have the focus).
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        ui_->searchEdit->setFocus(Qt::ShortcutFocusReason);
        ui_->searchEdit->selectAll();
    });

    c.moveUp->setObjectName(QStringLiteral("moveUpButton"));
    c.moveDown->setObjectName(QStringLiteral("moveDownButton"));
    c.addChannel->setObjectName(QStringLiteral("addChannelButton"));
    c.addGroup->setObjectName(QStringLiteral("addGroupButton"));
    c.editChannel->setObjectName(QStringLiteral("editChannelButton"));
    c.deleteChannel->setObjectName(QStringLiteral("deleteChannelButton"));
    c.deleteGroup->setObjectName(QStringLiteral("deleteGroupButton"));

    // The arrow buttons are as high as 22/27 of the text buttons, square, and sit at the bottom.
    const int buttonHeight = c.addChannel->sizeHint().height();
    const int arrowSide = buttonHeight * 22 / 27;
    for (QPushButton* arrow : {c.moveUp, c.moveDown}) {
        arrow->setFixedSize(arrowSide, arrowSide);
        arrow->setIconSize(QSize(16, 16));
        arrow->setAutoDefault(false);
    }
    c.moveUp->setIcon(ui::arrowUpIcon());
    c.moveDown->setIcon(ui::arrowDownIcon());
    c.moveUp->setAccessibleName(ui::text(texts::kMoveGroupUp));
    c.moveDown->setAccessibleName(ui::text(texts::kMoveGroupDown));
    c.addChannel->setToolTip(ui::text(texts::kAddChannelTip));
    c.editChannel->setToolTip(ui::text(texts::kEditChannelTip));
    c.deleteChannel->setToolTip(ui::text(texts::kDeleteChannelTip));

    auto* layout = new QVBoxLayout(this);
    auto* searchRow = new QHBoxLayout;
    layout->addLayout(searchRow);
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(&search);
    searchRow->addSpacing(search.fontMetrics().averageCharWidth());
    searchRow->addWidget(c.searchCount);
    searchRow->addStretch(1);
    layout->addWidget(&list, 1);
    layout->addWidget(c.totals);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    buttons->addWidget(c.moveUp, 0, Qt::AlignBottom);
    buttons->addWidget(c.moveDown, 0, Qt::AlignBottom);
    buttons->addSpacing(arrowSide / 6);
    for (QPushButton* button :
         {c.addChannel, c.addGroup, c.editChannel, c.deleteChannel, c.deleteGroup}) {
        button->setAutoDefault(false);
        buttons->addWidget(button, 1);
    }
    setTabOrder(&search, &list);
    setTabOrder(&list, c.moveUp);
    setTabOrder(c.moveUp, c.moveDown);
    setTabOrder(c.moveDown, c.addChannel);
    setTabOrder(c.addChannel, c.addGroup);
    setTabOrder(c.addGroup, c.editChannel);
    setTabOrder(c.editChannel, c.deleteChannel);
    setTabOrder(c.deleteChannel, c.deleteGroup);

    connect(c.addChannel, &QPushButton::clicked, this, &ChannelListPage::onAddChannel);
    connect(c.addGroup, &QPushButton::clicked, this, &ChannelListPage::onAddGroup);
    connect(c.editChannel, &QPushButton::clicked, this, &ChannelListPage::onEditChannel);
    connect(c.deleteChannel, &QPushButton::clicked, this, &ChannelListPage::onDeleteChannel);
    connect(c.deleteGroup, &QPushButton::clicked, this, &ChannelListPage::onDeleteGroup);
    connect(c.moveUp, &QPushButton::clicked, this, &ChannelListPage::onMoveGroupUp);
    connect(c.moveDown, &QPushButton::clicked, this, &ChannelListPage::onMoveGroupDown);
}

ChannelListPage::~ChannelListPage() = default;

QString ChannelListPage::title() const {
    return ui::text(texts::kChannelTab);
}

void ChannelListPage::fill() {
    // A hidden page fills when it is shown, as it does each time (showEvent).
    if (isVisible()) {
        refillList();
    }
}

QTableView& ChannelListPage::list() {
    return *ui_->list;
}

ChannelTableModel& ChannelListPage::model() {
    return *ui_->model;
}

void ChannelListPage::refillList() {
    ui_->model->refill();
    showCounts();
}

void ChannelListPage::showCounts() {
    showSearchCount();
    ui_->totals->setText(ui::text(totalsText(listTotals(record_))));
}

void ChannelListPage::showSearchCount() {
    ui_->searchCount->setText(
        ui::text(searchCountText(static_cast<std::size_t>(ui_->model->rowCount()),
                                 static_cast<std::size_t>(ui_->model->listedCount()))));
}

ChannelListPage::Places ChannelListPage::places() const {
    return {channelPlaceOf(record_, ui_->model->rowRef(selectedRow())),
            channelPlaceOf(record_, ui_->model->rowRef(lastClickedRow_))};
}

void ChannelListPage::fillKeepingSelection(const Places& before) {
    if (isVisible()) {
        refillList();
        restorePlaces(before);
    } else if (!hiddenPlaces_) {
        // The rows still show the record as it was before the first change: the places of
        // then are found again when the page is shown.
        hiddenPlaces_ = before;
    }
}

void ChannelListPage::restorePlaces(const Places& before) {
    lastClickedRow_ = rowOfPlace(before.clicked);
    selectRow(rowOfPlace(before.selected));
}

int ChannelListPage::rowOfPlace(const std::optional<ChannelPlace>& place) const {
    if (!place) {
        return -1;
    }
    const RowRef ref = findChannelPlace(record_, *place);
    return ui_->model->rowOf(ref.group, ref.channel);
}

void ChannelListPage::keepingSelection(const std::function<void()>& change) {
    // The rows follow their channels (station and code), wherever the change put them.
    const Places before = places();
    change();
    restorePlaces(before);
}

void ChannelListPage::onSearchChanged(const QString& text) {
    keepingSelection([this, &text] {
        // The validator keeps the text within the code page.
        ui_->model->setSearch(cp1251::fromUtf8Lossy(text.toStdString()));
        showSearchCount();  // the totals do not change with the search
    });
}

QLineEdit& ChannelListPage::searchEdit() {
    return *ui_->searchEdit;
}

int ChannelListPage::selectedRow() const {
    const QModelIndexList rows = ui_->list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ChannelListPage::selectRow(int row) {
    if (row < 0) {
        ui_->list->selectionModel()->clear();
        return;
    }
    const QModelIndex index = ui_->model->index(row, 0);
    ui_->list->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ui_->list->scrollTo(index);
}

int ChannelListPage::selectedRowOrAsk(const QString& chooseText) {
    const int row = selectedRow();
    if (row < 0) {
        ui::showMessage(this, ui::BoxKind::Information, ui::applicationTitle(), chooseText);
    }
    return row;
}

bool ChannelListPage::confirm(const QString& question) {
    return ui::showMessage(this, ui::BoxKind::Question, ui::applicationTitle(), question) ==
           ui::BoxAnswer::Yes;
}

bool ChannelListPage::ctrlDown() const {
    // The keyboard as it is now, when the click is handled.
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

void ChannelListPage::setColumnWidths() {
    // W is the inner width of the list, leaving room for a vertical scroll bar that a longer
    // list will show; the group number gets W/13 and every other column 2W/13.
    int width = ui_->list->viewport()->width();
    if (!ui_->list->verticalScrollBar()->isVisible()) {
        width -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ui_->list);
    }
    width = std::max(width, kShareTotal);
    if (width == columnWidthBase_) {
        return;
    }
    columnWidthBase_ = width;
    settingWidths_ = true;
    for (int column = 0; column < ChannelTableModel::ColumnCount; ++column) {
        ui_->list->setColumnWidth(column, columnWidthOf(column, width));
    }
    settingWidths_ = false;
}

void ChannelListPage::showEvent(QShowEvent* event) {
    ui::DialogPage::showEvent(event);
    if (!columnsDragged_) {
        setColumnWidths();
    }
    // Coming back from another tab, the operator's place is where it was.
    const Places before = hiddenPlaces_.value_or(places());
    hiddenPlaces_.reset();
    refillList();
    restorePlaces(before);
}

bool ChannelListPage::runChannelDialog(int insertPosition, int groupIndex, int channelIndex) {
    // From before the dialog's database work until it has closed, the dialog holds a group's
    // index: the record's groups stay where they are meanwhile.
    ++channelDialogs_;
    const auto closed = qScopeGuard([this] { --channelDialogs_; });
    ChannelDialog dialog(insertPosition, groupIndex, channelIndex, this);
    dialog.prepare();  // without the database's lists the codes are typed
    return ui::runModal(dialog) == QDialog::Accepted;
}

void ChannelListPage::onAddChannel() {
    const int row = selectedRowOrAsk(ui::text(texts::kChooseGroup));
    if (row < 0) {
        return;
    }
    const int group = ui_->model->rowRef(row).group;
    const auto channelsBefore =
        static_cast<int>(record_.groups.at(static_cast<std::size_t>(group)).channels.size());
    if (runChannelDialog(group, group, -1)) {
        // The (first) channel added is selected and shown.
        refillList();
        selectAdded(ui_->model->rowOf(group, channelsBefore));
    }
}

void ChannelListPage::onAddGroup() {
    // A file that holds all the groups it can is said to be full before anything is entered.
    if (record_.groups.size() >= static_cast<std::size_t>(kMaxGroups)) {
        ui::showMessage(this, ui::BoxKind::Information, ui::applicationTitle(),
                        ui::text(texts::kTooManyGroups));
        return;
    }
    const int row = selectedRow();
    const int group = row < 0 ? -1 : ui_->model->rowRef(row).group;
    if (runChannelDialog(group, -1, -1)) {
        // The new group took the place of the selected row's group, or the first.
        refillList();
        selectAdded(ui_->model->firstRowOfGroup(std::max(group, 0)));
    }
}

void ChannelListPage::selectAdded(int row) {
    selectRow(row);
    lastClickedRow_ = row;
}

void ChannelListPage::onEditChannel() {
    const int row = selectedRowOrAsk(ui::text(texts::kChooseChannel));
    if (row < 0) {
        return;
    }
    const RowRef ref = ui_->model->rowRef(row);
    if (runChannelDialog(ref.group, ref.group, ref.channel)) {
        // The group's samples per second and file size show on all its rows, so the whole list
        // is rebuilt; the changed row stays selected.
        keepingSelection([this] { refillList(); });
    }
}

void ChannelListPage::onDeleteChannel() {
    // The question comes before the selection is looked at.
    if (!confirm(ui::text(texts::kDeleteChannelQuestion))) {
        return;
    }
    const int row = selectedRowOrAsk(ui::text(texts::kChooseChannel));
    if (row < 0) {
        return;
    }
    const RowRef ref = ui_->model->rowRef(row);
    // The last clicked row follows its channel; the deleted one leaves nothing selected.
    keepingSelection([&] {
        deleteChannel(record_, ref.group, ref.channel);
        refillList();
    });
}

void ChannelListPage::onDeleteGroup() {
    if (!confirm(ui::text(texts::kDeleteGroupQuestion))) {
        return;
    }
    const int row = selectedRowOrAsk(ui::text(texts::kChooseGroup));
    if (row < 0) {
        return;
    }
    const int group = ui_->model->rowRef(row).group;
    keepingSelection([&] {
        deleteGroup(record_, group);
        refillList();
    });
}

void ChannelListPage::onColumnClick(int column) {
    if (column == ChannelTableModel::StationColumn) {
        sortGroupsByStation(record_, sortAscending_);
        sortAscending_ = !sortAscending_;
    }
    refillList();
}

void ChannelListPage::onMoveGroupDown() {
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    const int number = ui_->model->rowRef(row).group + 1;
    if (number >= shownGroupCount(record_)) {
        return;
    }
    swapGroups(record_, number - 1, number);
    refillList();
    const int moved = ui_->model->firstRowOfGroup(number);
    selectRow(moved);
    lastClickedRow_ = moved;
    ui_->list->setFocus();
}

void ChannelListPage::onMoveGroupUp() {
    // The first row of the whole list, whatever the search shows.
    const int row = selectedRow();
    if (row < 0 || ui_->model->isFirstListedRow(row)) {
        return;
    }
    const int number = ui_->model->rowRef(row).group + 1;
    if (number <= 1) {
        return;
    }
    swapGroups(record_, number - 1, number - 2);
    refillList();
    const int moved = ui_->model->firstRowOfGroup(number - 2);
    selectRow(moved);
    lastClickedRow_ = moved;
    ui_->list->setFocus();
}

void ChannelListPage::onListClick(int row) {
    const int rows = ui_->model->rowCount();
    if (ctrlDown() && lastClickedRow_ >= 0 && lastClickedRow_ < rows && row >= 0 &&
        row != lastClickedRow_) {
        swapGroups(record_, ui_->model->rowRef(row).group,
                   ui_->model->rowRef(lastClickedRow_).group);
        refillList();
    }
    lastClickedRow_ = row < 0 ? -1 : row;
}

void ChannelListPage::onListRightClick(int row) {
    const int rows = ui_->model->rowCount();
    if (ctrlDown() && lastClickedRow_ >= 0 && lastClickedRow_ < rows && row >= 0 &&
        row != lastClickedRow_) {
        moveGroup(record_, ui_->model->rowRef(lastClickedRow_).group,
                  ui_->model->rowRef(row).group);
        refillList();
    }
    lastClickedRow_ = row < 0 ? -1 : row;
}

}  // namespace vorda
