// The channel list page driven through its real widgets: buttons, clicks on rows and headings,
// the keyboard, and the message boxes it shows (answered through the message seam). The search,
// the keys, the totals, the tooltips and the additions of all of a station's channels are also
// driven in the main dialog, on the largest file the service reads and on the demo.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtTest>
#include <string>
#include <vector>

#include "app/ui/settings_dialog.h"
#include "channels/ui/channel_dialog.h"
#include "channels/ui/channel_list_page.h"
#include "channels/ui/channel_table_model.h"
#include "database/connection_settings.h"
#include "gui_script.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "support/odbc_sandbox.h"
#include "support/temp_dir.h"
#include "ui/ui_support.h"

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
    list.scrollTo(page.model().index(row, 1));
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

// The largest file the service reads: 256 groups of 64 channels, last times 1160000000 plus the
// channel's place. Group 1 is the database's NRD with 64 codes of 7 characters (a channel list of
// just 511 characters), group 8 is ТЕСТ, the others S002 to S256 with the codes C00 to C63.
std::string largestFile() {
    std::string file = "[DATABASE]\r\nODBC=ZEL\r\n[SYSTEM]\r\nGROUPS=256\r\n";
    for (int g = 1; g <= kMaxGroups; ++g) {
        const std::string number = QString("%1").arg(g, 3, 10, QChar('0')).toStdString();
        const std::string station = g == 1 ? "NRD" : g == 8 ? "\xD2\xC5\xD1\xD2" : "S" + number;
        file += "[GROUP" + std::to_string(g) + "]\r\nSTATION=" + station +
                "\r\nSIZEMB=100\r\nSPS=20\r\n";
        std::string list;
        for (int c = 0; c < 64; ++c) {
            const std::string code =
                (g == 1 ? "N0000" : "C") + QString("%1").arg(c, 2, 10, QChar('0')).toStdString();
            file += code + "=" + std::to_string(1160000000 + c) + "\r\nFILE_" + code + "=" +
                    station + "_" + code + ".DAT\r\n";
            list += (c == 0 ? "" : ",") + code;
        }
        file += "CHAN=" + list + "\r\n";
    }
    return file;
}

std::string demoFile(const std::string& name) {
    return test::readFile(std::string(VORDA_SOURCE_DIR) + "/demo/" + name);
}

// The main dialog opened on a settings file, shown and active, as the operator finds it.
struct OpenDialog {
    test::TempDir dir;
    std::unique_ptr<SettingsDialog> dialog;

    explicit OpenDialog(const std::string& bytes) {
        dir.write("ZEL_VurEV.ini", bytes);
        dialog = std::make_unique<SettingsDialog>(
            test::testEnvironment(dir.file("ZEL_VurEV.ini"), dir.path()));
        dialog->show();
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog.get())) {
            qFatal("the main dialog did not become active");
        }
    }
    ChannelListPage& page() { return dialog->channelPage(); }
    QString label(const char* name) {
        return page().findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
};

// Every heading shows whole in its column, and the columns keep their shares of the list's
// inner width, leaving room only for the vertical scroll bar and what the divisions drop.
void checkHeadingsWhole(ChannelListPage& page) {
    QTableView& list = page.list();
    QHeaderView& header = *list.horizontalHeader();
    const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
    const int w = page.columnWidthBase();
    for (int column = 0; column < 7; ++column) {
        const QString heading = page.model().headerData(column, Qt::Horizontal).toString();
        QVERIFY2(header.fontMetrics().horizontalAdvance(heading) + 2 * margin <=
                     list.columnWidth(column),
                 qPrintable(heading));
        QCOMPARE(list.columnWidth(column), (column == 0 ? 1 : 2) * w / 13);
    }
    const int scrollBar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
    QVERIFY(w <= list.viewport()->width());
    QVERIFY(w >= list.viewport()->width() - scrollBar);
}

// Hovers over a cell long enough for its tooltip.
void hover(ChannelListPage& page, int row, int column) {
    QTableView& list = page.list();
    const QPoint at = list.visualRect(page.model().index(row, column)).center();
    QHelpEvent event(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &event);
}

QString shownTip() {
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

}  // namespace

class ChannelListPageTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        sandbox_ = std::make_unique<test::OdbcSandbox>();
        sandbox_->addSqliteDsn("pagedb", sandbox_->createSqliteDatabase("seis.db", kStationsSql));
        // The demo database, which the demo file and the largest file name.
        sandbox_->addSqliteDsn(
            "ZEL", sandbox_->createSqliteDatabase("demo.db",
                                                  demoFile("schema.sql") + demoFile("data.sql")));
    }
    void cleanupTestCase() {
        ConnectionSettings::release();
        sandbox_.reset();
    }
    void init() {
        ConnectionSettings::values() = ConnectionValues{"pagedb", "", "", ""};
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
        // The new group is selected, and is the row clicked last.
        QCOMPARE(page.selectedRow(), 2);
        QCOMPARE(page.lastClickedRow(), 2);
        page.list().clearSelection();
        // No row selected: the page passes -1 and the new group becomes group 1.
        script_->modals.push_back([&](QDialog& dialog) {
            pick(dialog, "stationBox", "CCC");
            setText(dialog, "fileNameEdit", "CCC_SHZ2.DAT");  // group 4 writes CCC_SHZ.DAT
            return pressOk(dialog);
        });
        QTest::mouseClick(button(page, "addGroupButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord(), QStringList({"CCC", "AAA", "BBB", "AAA", "CCC"}));
        QCOMPARE(settingsRecord().groupCount, 5);
        QCOMPARE(page.selectedRow(), 0);
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
        const Environment env = test::testEnvironment(dir.file("ZEL_VurEV.ini"), dir.path());
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

    // Escape on the list closes nothing; Enter changes the selected channel and closes nothing
    // either.
    void enterChangesTheChannelAndEscapeClosesNothing() {
        page_.reset();
        fillRecord({"A"}, {2});
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
        clickRow(page, 1);
        QStringList opened;
        for (int i = 0; i < 2; ++i) {
            script_->modals.push_back([&](QDialog& shown) {
                opened << control<QLineEdit>(shown, "lastTimeEdit")->text();
                return int(QDialog::Rejected);
            });
        }
        QTest::keyClick(&page.list(), Qt::Key_Escape);
        QTest::keyClick(&page.list(), Qt::Key_Return);
        QTest::keyClick(&page.list(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(opened, QStringList({"1", "1"}));  // channel CH1 of the group
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(accepted, 0);
        QCOMPARE(stationsOfRecord(), QStringList({"A"}));
        QCOMPARE(page.selectedRow(), 1);
    }

    // At the size the main dialog opens, on the demo, on the largest file and at a larger font,
    // every heading shows whole. A cut cell shows its whole text as its tooltip; a last time shows
    // its calendar form.
    void opensReadableWithTooltips() {
        page_.reset();
        {
            OpenDialog demo(demoFile("ZEL_VurEV.ini"));
            ChannelListPage& page = demo.page();
            checkHeadingsWhole(page);
            hover(page, 0, 4);
            QTRY_COMPARE(shownTip(), QString("2006-10-04 22:13:20 UTC"));
            hover(page, 0, 6);  // NRD_BHZ.DAT shows whole
            QTRY_COMPARE(shownTip(), QString());
            page.list().horizontalHeader()->resizeSection(4, 30);
            page.list().horizontalHeader()->resizeSection(6, 30);
            hover(page, 0, 6);
            QTRY_COMPARE(shownTip(), QString("NRD_BHZ.DAT"));
            hover(page, 3, 4);
            QTRY_COMPARE(shownTip(), QString("1159999000\n2006-10-04 21:56:40 UTC"));
        }
        {
            OpenDialog largest(largestFile());
            QVERIFY(largest.page().list().verticalScrollBar()->isVisible());
            checkHeadingsWhole(largest.page());
        }
        const QFont font = QApplication::font();
        QFont larger = font;
        larger.setPointSizeF(font.pointSizeF() * 1.6);
        QApplication::setFont(larger);
        {
            OpenDialog demo(demoFile("ZEL_VurEV.ini"));
            checkHeadingsWhole(demo.page());
        }
        QApplication::setFont(font);
    }

    // On the largest file the search shows the rows whose station or channel code holds the
    // text, and the keys, buttons and gestures act on the rows shown and on whole groups.
    void searchActsOnTheRowsShownOfTheLargestFile() {
        page_.reset();
        OpenDialog largest(largestFile());
        ChannelListPage& page = largest.page();
        QTableView& list = page.list();
        QLineEdit& search = page.searchEdit();
        QCOMPARE(largest.label("searchCount"), QString("Показано 16384 из 16384"));
        QCOMPARE(largest.label("totalsLine"),
                 QString("Групп в работе: 256 из 256, каналов в них: 16384"));

        // Ctrl+F goes to the search field from anywhere in the window; Cyrillic letters match in
        // either case.
        largest.dialog->okButton().setFocus();
        QTest::keyClick(&largest.dialog->okButton(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(search.hasFocus());
        test::typeText(&search, "тЕс");
        QCOMPARE(largest.label("searchCount"), QString("Показано 64 из 16384"));
        QCOMPARE(columnText(page, 0), QString("8,").repeated(64).chopped(1));
        test::retype(search, "c6");  // C60 to C63 of every S group and of ТЕСТ
        QCOMPARE(largest.label("searchCount"), QString("Показано 1020 из 16384"));

        // Delete on a row shown deletes that channel, after the question.
        clickRow(page, 5);
        QCOMPARE(cell(page, 5, 0) + cell(page, 5, 2), QString("3C61"));
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(script_->texts().last(), QString("Вы дейстивтельно хотите\nудалить канал?"));
        QCOMPARE(settingsRecord().groups.at(2).channels.size(), std::size_t{63});
        QCOMPARE(cell(page, 5, 2), QString("C62"));
        QCOMPARE(largest.label("searchCount"), QString("Показано 1019 из 16383"));
        QCOMPARE(largest.label("totalsLine"),
                 QString("Групп в работе: 256 из 256, каналов в них: 16383"));

        // The arrow moves the row's whole group in the record; its first row shown is selected.
        clickRow(page, 4);
        QTest::mouseClick(button(page, "moveUpButton"), Qt::LeftButton);
        QCOMPARE(stationsOfRecord().mid(0, 3), QStringList({"NRD", "S003", "S002"}));
        QCOMPARE(settingsRecord().groups.at(1).channels.size(), std::size_t{63});
        QCOMPARE(page.selectedRow(), 0);
        QCOMPARE(cell(page, 0, 1), QString("S003"));
        // Ctrl with a click swaps the groups of two rows shown.
        clickRow(page, 0);
        clickRow(page, 8, Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(stationsOfRecord().mid(1, 3), QStringList({"S004", "S002", "S003"}));
        // The heading sorts whole groups; the search stays.
        clickHeading(page, 1);
        QCOMPARE(stationsOfRecord().first(), QString("NRD"));
        QCOMPARE(stationsOfRecord().last(), QString("ТЕСТ"));
        QCOMPARE(columnText(page, 1).left(29), QString("S002,S002,S002,S002,S003,S003"));
        QCOMPARE(largest.label("searchCount"), QString("Показано 1019 из 16383"));

        // Enter changes the selected row's channel.
        clickRow(page, 6);  // S003 C63
        QString shownTime;
        script_->modals.push_back([&](QDialog& dialog) {
            shownTime = control<QLineEdit>(dialog, "lastTimeEdit")->text();
            return int(QDialog::Rejected);
        });
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(shownTime, QString("1160000063"));

        // Clearing the search shows every row with the selection kept, in sight.
        const RowRef selected = page.model().rowRef(page.selectedRow());
        test::retype(search, "");
        QCOMPARE(largest.label("searchCount"), QString("Показано 16383 из 16383"));
        QCOMPARE(page.model().rowRef(page.selectedRow()), selected);
        QVERIFY(list.viewport()->rect().contains(
            list.visualRect(page.model().index(page.selectedRow(), 2))));
    }

    // All of a station's channels at once keep the file's limits on the largest file: NRD's list
    // is full, and the file holds 256 groups already. Nothing is added, and the refusal says why.
    void addingAllChannelsKeepsTheLimitsOfTheLargestFile() {
        page_.reset();
        OpenDialog largest(largestFile());
        ChannelListPage& page = largest.page();
        clickRow(page, 0);
        QString choice;
        script_->modals.push_back([&](QDialog& dialog) {
            auto* all = control<QCheckBox>(dialog, "allChannelsBox");
            choice = all->text();
            all->click();
            return pressOk(dialog);
        });
        QTest::keyClick(&page.list(), Qt::Key_Insert);
        QCOMPARE(choice, QString("все недостающие каналы"));
        QCOMPARE(
            script_->texts().last(),
            QString("Список каналов группы в файле настроек не может быть длиннее 511 "
                    "символов: канал «BHE» в него уже не входит.\nНи один канал не добавлен."));
        QCOMPARE(settingsRecord().groups.at(0).channels.size(), std::size_t{64});
        script_->modals.push_back([&](QDialog& dialog) {
            pick(dialog, "stationBox", "TLG");
            control<QCheckBox>(dialog, "allChannelsBox")->click();
            return pressOk(dialog);
        });
        QTest::mouseClick(button(page, "addGroupButton"), Qt::LeftButton);
        QVERIFY(script_->texts().last().contains("256"));
        QCOMPARE(settingsRecord().groups.size(), std::size_t{256});
        QCOMPARE(page.model().rowCount(), 16384);
    }

    // The demo as an operator keeps it by keyboard: find a station, add the channels its group
    // lacks, add a group with all of another station's channels, and save.
    void demoAddsAllChannelsByKeyboardAndCountsThem() {
        page_.reset();
        OpenDialog demo(demoFile("ZEL_VurEV.ini"));
        ChannelListPage& page = demo.page();
        QTableView& list = page.list();
        QLineEdit& search = page.searchEdit();
        QCOMPARE(demo.label("totalsLine"), QString("Групп в работе: 3 из 3, каналов в них: 6"));
        QVERIFY(button(page, "addChannelButton")->toolTip().contains("Insert"));
        QVERIFY(button(page, "editChannelButton")->toolTip().contains("Enter"));
        QVERIFY(button(page, "deleteChannelButton")->toolTip().contains("Delete"));
        QVERIFY(search.toolTip().contains("Ctrl+F"));

        // Enter in the search goes on to the first row found; Insert adds what NRD lacks.
        search.setFocus();
        test::typeText(&search, "nrd");
        QTest::keyClick(&search, Qt::Key_Return);
        QVERIFY(demo.dialog->isVisible());
        QVERIFY(list.hasFocus());
        QCOMPARE(page.selectedRow(), 0);
        bool fileNameEnabled = true;
        script_->modals.push_back([&](QDialog& dialog) {
            control<QCheckBox>(dialog, "allChannelsBox")->click();
            fileNameEnabled = control<QLineEdit>(dialog, "fileNameEdit")->isEnabled();
            setText(dialog, "lastTimeEdit", "1170000000");
            return pressOk(dialog);
        });
        QTest::keyClick(&list, Qt::Key_Insert);
        QVERIFY(!fileNameEnabled);
        QCOMPARE(columnText(page, 2), QString("BHZ,BHN,BHE,LHZ"));
        QCOMPARE(cell(page, 3, 4) + " " + cell(page, 3, 6), QString("1170000000 NRD_LHZ.DAT"));
        QCOMPARE(demo.label("searchCount"), QString("Показано 4 из 7"));
        QCOMPARE(demo.label("totalsLine"), QString("Групп в работе: 3 из 3, каналов в них: 7"));

        // A group with all of TLG's channels, at the place of KLM's group.
        test::retype(search, "klm");
        clickRow(page, 0);
        QString choice;
        script_->modals.push_back([&](QDialog& dialog) {
            pick(dialog, "stationBox", "TLG");
            auto* all = control<QCheckBox>(dialog, "allChannelsBox");
            choice = all->text();
            all->click();
            control<QRadioButton>(dialog, "calendarRadio")->click();
            setText(dialog, "lastTimeEdit", "2007-01-01 00:00:00");
            return pressOk(dialog);
        });
        QTest::mouseClick(button(page, "addGroupButton"), Qt::LeftButton);
        QCOMPARE(choice, QString("все каналы станции"));
        QCOMPARE(stationsOfRecord(), QStringList({"NRD", "TLG", "KLM", "AZV"}));
        const GroupRecord& tlg = settingsRecord().groups.at(1);
        QCOMPARE(tlg.channels.size(), std::size_t{3});
        QVERIFY(tlg.channels.at(0) == (ChannelRecord{"BHE", 1167609600, "TLG_BHE.DAT"}));
        QVERIFY(tlg.channels.at(2) == (ChannelRecord{"BHZ", 1167609600, "TLG_BHZ.DAT"}));
        QCOMPARE(demo.label("totalsLine"), QString("Групп в работе: 4 из 4, каналов в них: 10"));
        QCOMPARE(demo.label("searchCount"), QString("Показано 1 из 10"));

        // Delete asks first; No keeps the channel.
        clickRow(page, 0);
        script_->answers = {ui::BoxAnswer::No};
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(script_->texts().last(), QString("Вы дейстивтельно хотите\nудалить канал?"));
        QCOMPARE(page.model().rowCount(), 1);

        QVERIFY(demo.dialog->apply());
        const std::string saved = demo.dir.read("ZEL_VurEV.ini");
        QVERIFY(test::iniSection(saved, "GROUP1").find("CHAN=BHZ,BHN,BHE,LHZ") !=
                std::string::npos);
        QVERIFY(test::iniSection(saved, "GROUP2").find("STATION=TLG") != std::string::npos);
        QVERIFY(test::iniSection(saved, "GROUP2").find("CHAN=BHE,BHN,BHZ") != std::string::npos);
    }

  private:
    std::unique_ptr<test::OdbcSandbox> sandbox_;
    std::unique_ptr<test::UiScript> script_;
    std::unique_ptr<ChannelListPage> page_;
};

QTEST_MAIN(ChannelListPageTest)
#include "test_channel_list_page.moc"
