// The channel list page driven through its real widgets: buttons, clicks on rows and headings,
// the keyboard, and the message boxes it shows (answered through the message seam).
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QtTest>
#include <string>
#include <vector>

#include "app/ui/ui_support.h"
#include "channels/ui/channel_dialog.h"
#include "channels/ui/channel_list_page.h"
#include "channels/ui/channel_table_model.h"
#include "database/connection_settings.h"
#include "gui_script.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "support/odbc_sandbox.h"
#include "support/temp_dir.h"

using namespace vorda;

namespace {

// Makes the global record hold one group per station; counts[i] channels in group i (1 when
// not given), groupCount as given or the number of groups.
void fillRecord(const std::vector<std::string>& stations, const std::vector<int>& counts = {},
                int groupCount = -1) {
    auto& record = settingsRecord();
    record.groups.removeAll();
    for (std::size_t i = 0; i < stations.size(); ++i) {
        GroupRecord group;
        group.station = stations[i];
        group.sps = 20 + static_cast<int>(i);
        group.sizeMb = 100 + static_cast<int>(i);
        const int count = i < counts.size() ? counts[i] : 1;
        for (int c = 0; c < count; ++c) {
            group.channels.append({"CH" + std::to_string(c), 1000 * static_cast<int>(i) + c,
                                   stations[i] + "_CH" + std::to_string(c) + ".DAT"});
        }
        record.groups.append(group);
    }
    record.groupCount = groupCount < 0 ? static_cast<int>(stations.size()) : groupCount;
}

QStringList stationsOfRecord() {
    QStringList out;
    for (const auto& group : settingsRecord().groups) {
        out << ui::fromRecord(group.station);
    }
    return out;
}

QString cell(ChannelListPage& page, int row, int column) {
    return page.model().index(row, column).data().toString();
}

// Column `column` of every row, joined with commas.
QString columnText(ChannelListPage& page, int column) {
    QStringList out;
    for (int row = 0; row < page.model().rowCount(); ++row) {
        out << cell(page, row, column);
    }
    return out.join(',');
}

QPushButton* button(ChannelListPage& page, const char* name) {
    auto* found = page.findChild<QPushButton*>(QString::fromLatin1(name));
    if (!found) {
        qFatal("no button %s", name);
    }
    return found;
}

void clickRow(ChannelListPage& page, int row, Qt::MouseButton mouse = Qt::LeftButton,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTableView& list = page.list();
    const QRect rect = list.visualRect(page.model().index(row, 1));
    QVERIFY(rect.isValid());
    QTest::mouseClick(list.viewport(), mouse, modifiers, rect.center());
}

// A click below the last row.
void clickNoRow(ChannelListPage& page, Qt::MouseButton mouse,
                Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTableView& list = page.list();
    const QPoint below(5, list.viewport()->height() - 3);
    QCOMPARE(list.indexAt(below).row(), -1);
    QTest::mouseClick(list.viewport(), mouse, modifiers, below);
}

void clickHeading(ChannelListPage& page, int column) {
    QHeaderView* header = page.list().horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(x, header->height() / 2));
}

// The database the channel dialog lists its stations and channels from.
constexpr const char* kStationsSql =
    "CREATE TABLE SITECHAN (NINDEX INTEGER, STA VARCHAR(16), CHAN VARCHAR(16));"
    "INSERT INTO SITECHAN VALUES (1,'AAA','BHZ'),(2,'AAA','BHN'),(3,'AAA','BHE'),"
    "(4,'BBB','HHZ'),(5,'CCC','SHZ');";

template <typename T>
T* control(QDialog& dialog, const char* name) {
    auto* found = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        qFatal("the channel dialog has no %s", name);
    }
    return found;
}

// Picks an entry of one of the dialog's combo boxes as the operator would.
void pick(QDialog& dialog, const char* box, const QString& text) {
    auto* combo = control<QComboBox>(dialog, box);
    const int index = combo->findText(text);
    if (index < 0) {
        qFatal("no entry %s in %s", qPrintable(text), box);
    }
    combo->setCurrentIndex(index);
}

void setText(QDialog& dialog, const char* edit, const QString& text) {
    control<QLineEdit>(dialog, edit)->setText(text);
}

// Presses OK and gives the dialog's result (it stays open, Rejected, when it refuses).
int pressOk(QDialog& dialog) {
    control<QPushButton>(dialog, "okButton")->click();
    return dialog.result();
}

GroupRecord group(const std::string& station, const std::vector<std::string>& codes, int sps = 20,
                  int sizeMb = 100) {
    GroupRecord g;
    g.station = station;
    g.sps = sps;
    g.sizeMb = sizeMb;
    int time = 1160000000;
    for (const auto& code : codes) {
        g.channels.append({code, time++, station + "_" + code + ".DAT"});
    }
    return g;
}

}  // namespace

class ChannelListPageTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        sandbox_ = std::make_unique<test::OdbcSandbox>();
        sandbox_->addSqliteDsn("pagedb", sandbox_->createSqliteDatabase("seis.db", kStationsSql));
        ConnectionSettings::values() = ConnectionValues{"pagedb", "", "", ""};
    }
    void cleanupTestCase() {
        ConnectionSettings::release();
        sandbox_.reset();
    }
    void init() {
        // Questions are answered Yes unless a test says otherwise.
        script_ = std::make_unique<test::UiScript>();
        script_->unanswered = ui::BoxAnswer::Yes;
        fillRecord({});
        page_ = std::make_unique<ChannelListPage>();
        page_->resize(800, 500);
        page_->show();
        QVERIFY(QTest::qWaitForWindowExposed(page_.get()));
    }
    void cleanup() {
        page_.reset();
        QVERIFY(script_->unexpectedModals.empty());
        script_.reset();
    }

    void showsColumnsButtonsAndGrid() {
        ChannelListPage& page = *page_;
        QTableView& list = page.list();
        const QStringList headings = {"№ группы",          "Код станции",     "Код канала",
                                      "Отсчеты в секунду", "Последнее время", "Размер файла",
                                      "Имя файла"};
        QCOMPARE(page.model().columnCount(), 7);
        for (int column = 0; column < 7; ++column) {
            QCOMPARE(page.model().headerData(column, Qt::Horizontal).toString(), headings[column]);
            const auto align =
                page.model().headerData(column, Qt::Horizontal, Qt::TextAlignmentRole);
            QVERIFY(align.value<Qt::Alignment>() & Qt::AlignLeft);
        }
        // W/13 for the group number, 2W/13 for the others, W the list's inner width.
        const int w = page.columnWidthBase();
        QVERIFY(w > 13);
        QVERIFY(w <= list.viewport()->width());
        QCOMPARE(list.columnWidth(0), w / 13);
        for (int column = 1; column < 7; ++column) {
            QCOMPARE(list.columnWidth(column), 2 * w / 13);
        }
        int total = 0;
        for (int column = 0; column < 7; ++column) {
            total += list.columnWidth(column);
        }
        QVERIFY(total <= list.viewport()->width());  // no horizontal scrolling at first

        // The columns follow the page's width until the operator drags a divider.
        page.resize(page.width() + 260, page.height());
        QTRY_VERIFY(page.columnWidthBase() > w + 200);
        const int wider = page.columnWidthBase();
        QCOMPARE(list.columnWidth(0), wider / 13);
        QCOMPARE(list.columnWidth(6), 2 * wider / 13);
        list.horizontalHeader()->resizeSection(2, 150);
        page.resize(page.width() - 260, page.height());
        QTest::qWait(20);
        QCOMPARE(page.columnWidthBase(), wider);
        QCOMPARE(list.columnWidth(2), 150);
        QCOMPARE(list.columnWidth(6), 2 * wider / 13);

        QVERIFY(list.showGrid());
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list.selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(list.editTriggers(), QAbstractItemView::NoEditTriggers);

        QCOMPARE(button(page, "addChannelButton")->text(), QString("Добавить\nканал в группу"));
        QCOMPARE(button(page, "addGroupButton")->text(), QString("Добавить группу"));
        QCOMPARE(button(page, "editChannelButton")->text(), QString("Изменить канал в группе"));
        QCOMPARE(button(page, "deleteChannelButton")->text(), QString("Удалить канал из группы"));
        QCOMPARE(button(page, "deleteGroupButton")->text(), QString("Удалить группу"));
        for (const char* arrow : {"moveUpButton", "moveDownButton"}) {
            QVERIFY(button(page, arrow)->text().isEmpty());
            QVERIFY(!button(page, arrow)->icon().pixmap(16, 16).isNull());
        }
        // The buttons sit under the list, the arrows left of the five text buttons.
        const int listBottom = list.geometry().bottom();
        QVERIFY(button(page, "moveUpButton")->geometry().top() > listBottom);
        QVERIFY(button(page, "moveUpButton")->x() < button(page, "moveDownButton")->x());
        QVERIFY(button(page, "moveDownButton")->x() < button(page, "addChannelButton")->x());
        QVERIFY(button(page, "addChannelButton")->x() < button(page, "addGroupButton")->x());
        QVERIFY(button(page, "deleteChannelButton")->x() < button(page, "deleteGroupButton")->x());
    }

    void emptyRecordAsksToChooseFirst() {
        ChannelListPage& page = *page_;
        int dialogs = 0;
        script_->modals.push_back([&](QDialog& dialog) {
            ++dialogs;
            const auto* channelDialog = qobject_cast<ChannelDialog*>(&dialog);
            if (!channelDialog || channelDialog->mode() != ChannelDialog::Mode::AddGroup) {
                qWarning("not the channel dialog in the add group mode");
                ++dialogs;
            }
            return int(QDialog::Rejected);
        });
        QCOMPARE(page.model().rowCount(), 0);

        QTest::mouseClick(button(page, "addChannelButton"), Qt::LeftButton);
        QTest::mouseClick(button(page, "editChannelButton"), Qt::LeftButton);
        QCOMPARE(script_->boxes.size(), size_t(2));
        QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Information);
        QCOMPARE(script_->boxes[0].text, QString("Выберите группу"));
        QCOMPARE(script_->boxes[1].kind, ui::BoxKind::Information);
        QCOMPARE(script_->boxes[1].text, QString("Выберите канал"));
        QCOMPARE(dialogs, 0);

        // The delete questions come before the selection check; No stops them.
        script_->boxes.clear();
        script_->answers = {ui::BoxAnswer::Yes, ui::BoxAnswer::Yes, ui::BoxAnswer::No,
                            ui::BoxAnswer::No};
        QTest::mouseClick(button(page, "deleteChannelButton"), Qt::LeftButton);
        QTest::mouseClick(button(page, "deleteGroupButton"), Qt::LeftButton);
        QTest::mouseClick(button(page, "deleteChannelButton"), Qt::LeftButton);
        QTest::mouseClick(button(page, "deleteGroupButton"), Qt::LeftButton);
        QCOMPARE(script_->boxes.size(), size_t(6));
        QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Question);
        QCOMPARE(script_->boxes[0].text, QString("Вы дейстивтельно хотите\nудалить канал?"));
        QCOMPARE(script_->boxes[1].text, QString("Выберите канал"));
        QCOMPARE(script_->boxes[2].kind, ui::BoxKind::Question);
        QCOMPARE(script_->boxes[2].text, QString("Вы дейстивтельно хотите\nудалить группу?"));
        QCOMPARE(script_->boxes[3].text, QString("Выберите группу"));
        QCOMPARE(script_->boxes[4].kind, ui::BoxKind::Question);
        QCOMPARE(script_->boxes[5].kind, ui::BoxKind::Question);
        QVERIFY(script_->allCaptioned());

        // Add group needs no selection: it opens the dialog at once, without a box.
        script_->boxes.clear();
        QTest::mouseClick(button(page, "addGroupButton"), Qt::LeftButton);
        QCOMPARE(dialogs, 1);
        QVERIFY(script_->boxes.empty());

        // The move buttons do nothing without a selection.
        QTest::mouseClick(button(page, "moveUpButton"), Qt::LeftButton);
        QTest::mouseClick(button(page, "moveDownButton"), Qt::LeftButton);
        QVERIFY(script_->boxes.empty());
        QCOMPARE(page.model().rowCount(), 0);
    }

    void listsOnlyGroupsInUseAndRefillsWhenShown() {
        ChannelListPage& page = *page_;
        page.hide();
        fillRecord({"AAA", "BBB", "CCC"}, {2, 1, 2}, 2);
        page.show();
        QCOMPARE(columnText(page, 0), QString("1,1,2"));
        QCOMPARE(columnText(page, 1), QString("AAA,AAA,BBB"));
        QCOMPARE(columnText(page, 2), QString("CH0,CH1,CH0"));
        QCOMPARE(columnText(page, 3), QString("20,20,21"));
        QCOMPARE(columnText(page, 4), QString("0,1,1000"));
        QCOMPARE(columnText(page, 5), QString("100,100,101"));
        QCOMPARE(columnText(page, 6), QString("AAA_CH0.DAT,AAA_CH1.DAT,BBB_CH0.DAT"));
        // A higher count set elsewhere shows when the page is shown again.
        page.hide();
        settingsRecord().groupCount = 3;
        page.show();
        QCOMPARE(columnText(page, 0), QString("1,1,2,3,3"));
        // Negative Unix seconds and Cyrillic texts show as they are.
        page.hide();
        settingsRecord().groups.at(0).channels.at(0).lastTime = -86400;
        settingsRecord().groups.at(0).station = "\xC0\xC1\xC2";  // АБВ
        page.show();
        QCOMPARE(cell(page, 0, 4), QString("-86400"));
        QCOMPARE(cell(page, 0, 1), QString("АБВ"));
    }

    void emptyGroupSkipsItsNumber() {
        ChannelListPage& page = *page_;
        fillRecord({"A", "B", "C"}, {1, 0, 1});
        page.refillList();
        QCOMPARE(columnText(page, 0), QString("1,3"));
        QCOMPARE(page.model().rowRef(1), (RowRef{2, 0}));
    }

    void deletesChannelsAndGroups() {
        ChannelListPage& page = *page_;
        fillRecord({"A", "B", "C"}, {3, 1, 2});
        page.refillList();
        // One channel of a group with several: the others keep their order and the number.
        clickRow(page, 1);
        QTest::mouseClick(button(page, "deleteChannelButton"), Qt::LeftButton);
        QCOMPARE(columnText(page, 0), QString("1,1,2,3,3"));
        QCOMPARE(columnText(page, 2), QString("CH0,CH2,CH0,CH0,CH1"));
        QCOMPARE(page.selectedRow(), -1);  // a refill leaves no row selected
        // The only channel of group 2: the group goes and group 3 becomes group 2.
        clickRow(page, 2);
        QTest::mouseClick(button(page, "deleteChannelButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "C"}));
        QCOMPARE(settingsRecord().groupCount, 2);
        QCOMPARE(columnText(page, 0), QString("1,1,2,2"));
        // No to the question changes nothing.
        clickRow(page, 3);
        script_->answers = {ui::BoxAnswer::No};
        QTest::mouseClick(button(page, "deleteGroupButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "C"}));
        QCOMPARE(page.selectedRow(), 3);
        // Delete group takes every channel with it.
        QTest::mouseClick(button(page, "deleteGroupButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"A"}));
        QCOMPARE(settingsRecord().groupCount, 1);
        QCOMPARE(columnText(page, 0), QString("1,1"));
        // Only the questions were shown.
        for (const test::ShownBox& box : script_->boxes) {
            QCOMPARE(box.kind, ui::BoxKind::Question);
        }
        QCOMPARE(script_->boxes.size(), size_t(4));
    }

    void sortsByStationOnHeadingClick() {
        ChannelListPage& page = *page_;
        fillRecord({"S2", "S1", "S3"});
        page.refillList();
        QVERIFY(page.sortAscending());
        clickHeading(page, 1);
        QCOMPARE(columnText(page, 1), QString("S1,S2,S3"));
        QCOMPARE(columnText(page, 0), QString("1,2,3"));
        QCOMPARE(stationsOfRecord(), QStringList({"S1", "S2", "S3"}));
        QVERIFY(!page.sortAscending());
        clickHeading(page, 1);
        QCOMPARE(columnText(page, 1), QString("S3,S2,S1"));
        QCOMPARE(stationsOfRecord(), QStringList({"S3", "S2", "S1"}));
        QVERIFY(page.sortAscending());
        // The other headings sort nothing and keep the direction.
        for (int column : {0, 2, 3, 4, 5, 6}) {
            clickHeading(page, column);
        }
        QCOMPARE(stationsOfRecord(), QStringList({"S3", "S2", "S1"}));
        QVERIFY(page.sortAscending());

        // Byte order with case: AB, ABC, Ab.
        fillRecord({"Ab", "ABC", "AB"}, {1, 3, 1});
        page.refillList();
        clickHeading(page, 1);
        QCOMPARE(stationsOfRecord(), QStringList({"AB", "ABC", "Ab"}));
        // A group with three channels keeps them in order.
        QCOMPARE(columnText(page, 2), QString("CH0,CH0,CH1,CH2,CH0"));
        QCOMPARE(columnText(page, 0), QString("1,2,2,2,3"));
    }

    // Mend: sorting works on the record, so no group is lost, empty and unshown groups keep
    // their place in the order, groupCount stays in range, and long texts are not cut.
    void sortKeepsEveryGroupAndWholeTexts() {
        ChannelListPage& page = *page_;
        fillRecord({"C", "B", "A", "HIDDEN2", "HIDDEN1"}, {1, 0, 2, 1, 1}, 3);
        const std::string longName(700, 'x');
        settingsRecord().groups.at(0).channels.at(0).fileName = longName;
        settingsRecord().groups.at(2).channels.at(1).code = std::string(600, 'Q');
        page.refillList();
        clickHeading(page, 1);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "B", "C", "HIDDEN2", "HIDDEN1"}));
        QCOMPARE(settingsRecord().groupCount, 3);
        QCOMPARE(settingsRecord().groups.at(2).channels.at(0).fileName, longName);
        QCOMPARE(settingsRecord().groups.at(0).channels.at(1).code, std::string(600, 'Q'));
        QCOMPARE(columnText(page, 0), QString("1,1,3"));
        clickHeading(page, 1);
        QCOMPARE(stationsOfRecord(), QStringList({"C", "B", "A", "HIDDEN2", "HIDDEN1"}));
        // Other headings rebuild nothing away either.
        clickHeading(page, 4);
        QCOMPARE(stationsOfRecord(), QStringList({"C", "B", "A", "HIDDEN2", "HIDDEN1"}));
        QCOMPARE(settingsRecord().groups.size(), size_t(5));
        QCOMPARE(settingsRecord().groups.at(0).channels.at(0).fileName, longName);
    }

    void arrowsMoveTheSelectedGroup() {
        ChannelListPage& page = *page_;
        page.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page.window()));
        fillRecord({"A", "B", "C", "D"}, {1, 2, 2, 1}, 3);
        page.refillList();
        // Rows: A | B B | C C ; D is not shown.
        // Up on the first row, and on a row of group 1: nothing.
        clickRow(page, 0);
        QTest::mouseClick(button(page, "moveUpButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "B", "C", "D"}));
        // Down on the last shown group: nothing (D beyond groupCount stays put).
        clickRow(page, 4);
        QTest::mouseClick(button(page, "moveDownButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "B", "C", "D"}));
        QCOMPARE(page.selectedRow(), 4);

        // Up on the second row of group 3: groups 2 and 3 swap, the moved group's first row
        // is selected and has the focus.
        clickRow(page, 4);
        button(page, "moveUpButton")->setFocus();
        QTest::mouseClick(button(page, "moveUpButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "C", "B", "D"}));
        QCOMPARE(page.selectedRow(), 1);
        QCOMPARE(page.lastClickedRow(), 1);
        QVERIFY(page.list().hasFocus());
        QCOMPARE(page.list().currentIndex().row(), 1);

        // Down on group 1: it swaps with group 2 and its row (now 2) is selected.
        clickRow(page, 0);
        QTest::mouseClick(button(page, "moveDownButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"C", "A", "B", "D"}));
        QCOMPARE(page.selectedRow(), 2);
        QCOMPARE(cell(page, 2, 1), QString("A"));
        QCOMPARE(page.lastClickedRow(), 2);
        QVERIFY(page.list().hasFocus());

        // Up on a row of group 2 with an empty group 1 before it: they swap.
        fillRecord({"E", "F"}, {0, 1});
        page.refillList();
        clickRow(page, 0);
        QTest::mouseClick(button(page, "moveUpButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"E", "F"}));  // the first row: nothing
        fillRecord({"G", "E", "F"}, {1, 0, 1});
        page.refillList();
        clickRow(page, 1);  // group 3 (F)
        QTest::mouseClick(button(page, "moveUpButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"G", "F", "E"}));
        QCOMPARE(page.selectedRow(), 1);
        QCOMPARE(columnText(page, 0), QString("1,2"));
    }

    void ctrlClicksSwapAndMoveGroups() {
        ChannelListPage& page = *page_;
        fillRecord({"A", "B", "C"});
        page.refillList();
        QCOMPARE(page.lastClickedRow(), -1);
        // Ctrl-click with no earlier click: nothing but remembering the row.
        clickRow(page, 2, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "B", "C"}));
        QCOMPARE(page.lastClickedRow(), 2);
        // A plain click on A, then Ctrl-click on C: C, B, A.
        clickRow(page, 0);
        QCOMPARE(page.lastClickedRow(), 0);
        clickRow(page, 2, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord(), QStringList({"C", "B", "A"}));
        QCOMPARE(columnText(page, 1), QString("C,B,A"));
        QCOMPARE(page.lastClickedRow(), 2);
        QCOMPARE(page.selectedRow(), -1);
        // Ctrl-click on the same row: nothing.
        clickRow(page, 2, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord(), QStringList({"C", "B", "A"}));
        // A plain click never reorders.
        clickRow(page, 0);
        clickRow(page, 1);
        QCOMPARE(stationsOfRecord(), QStringList({"C", "B", "A"}));
        // A click on no row forgets the row; the next Ctrl-click does nothing.
        clickNoRow(page, Qt::LeftButton);
        QCOMPARE(page.lastClickedRow(), -1);
        clickRow(page, 0, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord(), QStringList({"C", "B", "A"}));
        // Ctrl on no row after a click: nothing moves, and the row is forgotten.
        clickNoRow(page, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(page.lastClickedRow(), -1);
        QCOMPARE(stationsOfRecord(), QStringList({"C", "B", "A"}));

        // Moves with Ctrl and a right click: A, B, C, D; click D, Ctrl-right-click B.
        fillRecord({"A", "B", "C", "D"});
        page.refillList();
        clickRow(page, 3);
        clickRow(page, 1, Qt::RightButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "D", "B", "C"}));
        QCOMPARE(page.lastClickedRow(), 1);
        // s = 0, t = 2 gives B, C, A, D.
        fillRecord({"A", "B", "C", "D"});
        page.refillList();
        clickRow(page, 0, Qt::RightButton);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "B", "C", "D"}));  // no Ctrl: nothing
        clickRow(page, 2, Qt::RightButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord(), QStringList({"B", "C", "A", "D"}));

        // Two rows of one group: the Ctrl-click changes no group.
        fillRecord({"A", "B"}, {2, 1});
        page.refillList();
        clickRow(page, 0);
        clickRow(page, 1, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "B"}));
        QCOMPARE(columnText(page, 2), QString("CH0,CH1,CH0"));

        // A remembered row that is no longer in the list: nothing.
        fillRecord({"A", "B", "C"});
        page.refillList();
        clickRow(page, 2);
        fillRecord({"A", "B"});
        page.refillList();
        clickRow(page, 0, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord(), QStringList({"A", "B"}));
        QCOMPARE(page.lastClickedRow(), 0);
    }

    // The add and change flows through the real channel dialog on a real SQLite database.
    void addsGroupsThroughTheDialog() {
        ChannelListPage& page = *page_;
        // No row selected (the record is empty): the new group goes to the front.
        script_->modals.push_back([&](QDialog& dialog) {
            if (dialog.windowTitle() != QString("Добавление новой группы...")) {
                return int(QDialog::Rejected);
            }
            pick(dialog, "stationBox", "BBB");
            setText(dialog, "lastTimeEdit", "1160000000");
            return pressOk(dialog);
        });
        QTest::mouseClick(button(page, "addGroupButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"BBB"}));
        QCOMPARE(settingsRecord().groupCount, 1);
        QCOMPARE(page.model().rowCount(), 1);
        QStringList row;
        for (int column = 0; column < 7; ++column) {
            row << cell(page, 0, column);
        }
        QCOMPARE(row.join('|'), QString("1|BBB|HHZ|20|1160000000|100|BBB_HHZ.DAT"));

        // With a row of group 3 selected the new group takes position 3 and the selected group
        // moves on; a station that another group has is accepted.
        test::setGroups({group("AAA", {"BHZ"}), group("BBB", {"HHZ"}), group("CCC", {"SHZ"})});
        page.refillList();
        clickRow(page, 2);
        script_->modals.push_back([&](QDialog& dialog) {
            pick(dialog, "stationBox", "AAA");
            pick(dialog, "channelBox", "BHN");
            setText(dialog, "spsEdit", "40");
            return pressOk(dialog);
        });
        QTest::mouseClick(button(page, "addGroupButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"AAA", "BBB", "AAA", "CCC"}));
        QCOMPARE(settingsRecord().groupCount, 4);
        QCOMPARE(columnText(page, 0), QString("1,2,3,4"));
        QCOMPARE(columnText(page, 3), QString("20,20,40,20"));
        QCOMPARE(page.selectedRow(), -1);
        // No row selected: the page passes -1 and the new group becomes group 1.
        script_->modals.push_back([&](QDialog& dialog) {
            pick(dialog, "stationBox", "CCC");
            return pressOk(dialog);
        });
        QTest::mouseClick(button(page, "addGroupButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"CCC", "AAA", "BBB", "AAA", "CCC"}));
        QCOMPARE(settingsRecord().groupCount, 5);
        QCOMPARE(columnText(page, 0), QString("1,2,3,4,5"));
        QVERIFY(script_->boxes.empty());
    }

    void addsChannelsThroughTheDialog() {
        ChannelListPage& page = *page_;
        test::setGroups({group("AAA", {"BHZ"}), group("BBB", {"HHZ"})});
        page.refillList();
        clickRow(page, 0);
        QString title;
        script_->modals.push_back([&](QDialog& dialog) {
            title = dialog.windowTitle();
            pick(dialog, "channelBox", "BHN");
            return pressOk(dialog);
        });
        QTest::mouseClick(button(page, "addChannelButton"), Qt::LeftButton);
        QCOMPARE(title, QString("Добавление канала в группу..."));
        QCOMPARE(columnText(page, 0), QString("1,1,2"));
        QCOMPARE(columnText(page, 2), QString("BHZ,BHN,HHZ"));
        QCOMPARE(cell(page, 1, 6), QString("AAA_BHN.DAT"));

        // Cancel changes nothing and refills nothing: the selection stays.
        clickRow(page, 2);
        script_->modals.push_back([&](QDialog& dialog) {
            control<QPushButton>(dialog, "cancelButton")->click();
            return dialog.result();
        });
        QTest::mouseClick(button(page, "addChannelButton"), Qt::LeftButton);
        QCOMPARE(columnText(page, 2), QString("BHZ,BHN,HHZ"));
        QCOMPARE(page.selectedRow(), 2);
        QVERIFY(script_->boxes.empty());
    }

    // Mend: after a change the whole list is refilled, so every row of the group shows its new
    // samples per second and file size, and the changed row stays selected. A heading click
    // afterwards keeps the change.
    void changingAChannelRefillsTheWholeGroup() {
        ChannelListPage& page = *page_;
        test::setGroups({group("BBB", {"HHZ"}), group("AAA", {"BHZ", "BHN", "BHE"})});
        page.refillList();
        clickRow(page, 2);  // the second channel of group 2
        QString title;
        QString shownTime;
        script_->modals.push_back([&](QDialog& dialog) {
            title = dialog.windowTitle();
            shownTime = control<QLineEdit>(dialog, "lastTimeEdit")->text();
            setText(dialog, "spsEdit", "40");
            setText(dialog, "sizeEdit", "250");
            control<QRadioButton>(dialog, "calendarRadio")->click();
            setText(dialog, "lastTimeEdit", "2006-11-05 00:00:00");
            return pressOk(dialog);
        });
        QTest::mouseClick(button(page, "editChannelButton"), Qt::LeftButton);
        QCOMPARE(title, QString("Изменение канала в группе..."));
        QCOMPARE(shownTime, QString("1160000001"));  // channel k = 1 of group 2
        // The dialog asked about the group values (answered Yes).
        QCOMPARE(script_->boxes.size(), size_t(1));
        QCOMPARE(script_->boxes[0].kind, ui::BoxKind::Question);
        QCOMPARE(columnText(page, 3), QString("20,40,40,40"));
        QCOMPARE(columnText(page, 5), QString("100,250,250,250"));
        QCOMPARE(columnText(page, 4), QString("1160000000,1160000000,1162684800,1160000002"));
        QCOMPARE(page.selectedRow(), 2);
        QCOMPARE(page.model().rowRef(2), (RowRef{1, 1}));

        // A heading click rebuilds the list from the record: the change stays.
        clickHeading(page, 4);
        QCOMPARE(settingsRecord().groups.at(1).sps, 40);
        QCOMPARE(settingsRecord().groups.at(1).sizeMb, 250);
        QCOMPARE(columnText(page, 3), QString("20,40,40,40"));

        // A double-click on a row opens the change on that row's channel.
        QTableView& list = page.list();
        const QPoint third = list.visualRect(page.model().index(3, 2)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, third);
        title.clear();
        script_->modals.push_back([&](QDialog& dialog) {
            title = dialog.windowTitle();
            shownTime = control<QLineEdit>(dialog, "lastTimeEdit")->text();
            return int(QDialog::Rejected);
        });
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, third);
        QCOMPARE(title, QString("Изменение канала в группе..."));
        QCOMPARE(shownTime, QString("1160000002"));
        QCOMPARE(page.selectedRow(), 3);
    }

    // The saved file holds the new order: sections numbered from 1 in list order, and the
    // sections of groups that no longer exist are gone.
    void savedFileHoldsTheNewOrder() {
        ChannelListPage& page = *page_;
        test::TempDir dir;
        dir.write("ZEL_VurEV.ini",
                  "[SYSTEM]\nGROUPS=4\n"
                  "[GROUP1]\nSTATION=S2\nCHAN=BHZ\nBHZ=2\nFILE_BHZ=S2.DAT\n"
                  "[GROUP2]\nSTATION=S1\nCHAN=BHZ,BHN\nBHZ=1\nBHN=11\n"
                  "[GROUP3]\nSTATION=S4\nCHAN=LHZ\nLHZ=4\n"
                  "[GROUP4]\nSTATION=S3\nCHAN=SHZ\nSHZ=3\n");
        Environment env;
        env.args = {"vorda-settings", dir.file("ZEL_VurEV.ini")};
        env.currentDir = dir.path();
        auto& record = settingsRecord();
        record.groups.removeAll();
        record.groupCount = 0;
        SettingsFile file;
        QVERIFY(loadSettings(record, file, env).ok);
        page.refillList();
        QCOMPARE(columnText(page, 1), QString("S2,S1,S1,S4,S3"));
        // Delete group 3 (S4), then sort ascending.
        clickRow(page, 3);
        QTest::mouseClick(button(page, "deleteGroupButton"), Qt::LeftButton);
        clickHeading(page, 1);
        QCOMPARE(columnText(page, 1), QString("S1,S1,S2,S3"));
        const Status saved = saveSettings(record, file, ConnectionSettings::values());
        QVERIFY2(saved.ok, saved.error.c_str());
        const std::string bytes = dir.read("ZEL_VurEV.ini");
        QVERIFY(bytes.find("GROUPS=3") != std::string::npos);
        QVERIFY(test::iniSection(bytes, "GROUP1").find("STATION=S1\r\n") != std::string::npos ||
                test::iniSection(bytes, "GROUP1").find("STATION=S1\n") != std::string::npos);
        QVERIFY(test::iniSection(bytes, "GROUP1").find("BHN=11") != std::string::npos);
        QVERIFY(test::iniSection(bytes, "GROUP2").find("STATION=S2") != std::string::npos);
        QVERIFY(test::iniSection(bytes, "GROUP3").find("STATION=S3") != std::string::npos);
        QVERIFY(test::iniSection(bytes, "GROUP4").empty());
        QVERIFY(bytes.find("S4") == std::string::npos);
    }

    void enterAndEscapeCloseNothing() {
        page_.reset();
        fillRecord({"A"});
        QDialog dialog;
        QVBoxLayout layout(&dialog);
        ChannelListPage page;
        layout.addWidget(&page);
        QPushButton ok(QStringLiteral("OK"));
        ok.setDefault(true);
        layout.addWidget(&ok);
        int accepted = 0;
        QObject::connect(&ok, &QPushButton::clicked, &dialog, [&] { ++accepted; });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        page.list().setFocus();
        clickRow(page, 0);
        QTest::keyClick(&page.list(), Qt::Key_Escape);
        QTest::keyClick(&page.list(), Qt::Key_Return);
        QTest::keyClick(&page.list(), Qt::Key_Enter);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(accepted, 0);
        QCOMPARE(stationsOfRecord(), QStringList({"A"}));
        QCOMPARE(page.selectedRow(), 0);
    }

  private:
    std::unique_ptr<test::OdbcSandbox> sandbox_;
    std::unique_ptr<test::UiScript> script_;
    std::unique_ptr<ChannelListPage> page_;
};

QTEST_MAIN(ChannelListPageTest)
#include "test_channel_list_page.moc"
