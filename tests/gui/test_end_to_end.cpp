// The whole program as an operator uses it: the main dialog opens a settings file, the operator
// raises the number of groups in use, adds a group and a channel from a real SQLite database,
// changes a channel's time in calendar form, moves a group, deletes groups, and presses OK. The
// written file is compared byte for byte with what the reading service must find.
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>
#include <functional>
#include <string>

#include "app/ui/additional_page.h"
#include "app/ui/settings_app.h"
#include "app/ui/settings_dialog.h"
#include "channels/ui/channel_dialog.h"
#include "channels/ui/channel_list_page.h"
#include "channels/ui/channel_table_model.h"
#include "database/connection_settings.h"
#include "settings/settings_record.h"
#include "support/odbc_sandbox.h"
#include "support/temp_dir.h"
#include "ui/ui_support.h"

using namespace vorda;

namespace {

// Lines of a settings file as the reading service writes them: code page 1251, CR LF.
std::string crlf(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

const std::string kComment = "; \xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8";  // "; Настройки"

const std::string kInitialFile =
    kComment + "\r\n" +
    crlf({"[DATABASE]", "ODBC=e2edb", "USER=op", "PASSWORD=pw", "[DATA]", "DIR=/data", "[LOG]",
          "DIR=/log", "[SYSTEM]", "SERVER=proc-server", "MODE=detail", "SCREEN=hide", "SIZEMB=100",
          "GROUPS=3",
          // group 1: two channels
          "[GROUP1]", "STATION=NRD", "SIZEMB=100", "SPS=40", "BHZ=1160000000",
          "FILE_BHZ=NRD_BHZ.DAT", "BHN=1160000001", "FILE_BHN=NRD_BHN.DAT", "CHAN=BHZ,BHN",
          "[GROUP2]", "STATION=KLM", "SIZEMB=50", "SPS=20", "SHZ=1159999000",
          "FILE_SHZ=KLM_SHZ.DAT", "CHAN=SHZ", "[GROUP3]", "STATION=AZV", "SIZEMB=200", "SPS=100",
          "HHZ=0", "FILE_HHZ=AZV_HHZ.DAT", "CHAN=HHZ",
          // beyond GROUPS: kept, not listed until the count is raised
          "[GROUP4]", "STATION=OLD", "SIZEMB=1", "SPS=1", "LHZ=7", "FILE_LHZ=OLD.DAT", "CHAN=LHZ"});

// After the operator's session: NRD with a third channel, AZV moved before KLM, KLM's time
// changed, ZZZ added and deleted again, OLD deleted. Keys keep their places in the existing
// sections; a new key goes to the end of its section; the keys the editor wrote for a code a
// section no longer lists are removed; the section of the deleted group is gone.
const std::string kExpectedFile = kComment + "\r\n" +
                                  crlf({"[DATABASE]",
                                        "ODBC=e2edb",
                                        "USER=op",
                                        "PASSWORD=pw",
                                        "[DATA]",
                                        "DIR=/data",
                                        "[LOG]",
                                        "DIR=/log",
                                        "[SYSTEM]",
                                        "SERVER=proc-server",
                                        "MODE=detail",
                                        "SCREEN=hide",
                                        "SIZEMB=100",
                                        "GROUPS=3",
                                        "[GROUP1]",
                                        "STATION=NRD",
                                        "SIZEMB=100",
                                        "SPS=40",
                                        "BHZ=1160000000",
                                        "FILE_BHZ=NRD_BHZ.DAT",
                                        "BHN=1160000001",
                                        "FILE_BHN=NRD_BHN.DAT",
                                        "CHAN=BHZ,BHN,BHE",
                                        "BHE=5",
                                        "FILE_BHE=NRD_BHE.DAT",
                                        "[GROUP2]",
                                        "STATION=AZV",
                                        "SIZEMB=200",
                                        "SPS=100",
                                        "CHAN=HHZ",
                                        "HHZ=0",
                                        "FILE_HHZ=AZV_HHZ.DAT",
                                        "[GROUP3]",
                                        "STATION=KLM",
                                        "SIZEMB=50",
                                        "SPS=20",
                                        "CHAN=SHZ",
                                        "SHZ=1167609600",
                                        "FILE_SHZ=KLM_SHZ.DAT"});

template <typename T>
T* find(QWidget& parent, const char* name) {
    auto* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        qFatal("no control %s", name);
    }
    return found;
}

QString cell(ChannelListPage& page, int row, int column) {
    return page.model().index(row, column).data().toString();
}

QString column(ChannelListPage& page, int col) {
    QStringList out;
    for (int row = 0; row < page.model().rowCount(); ++row) {
        out << cell(page, row, col);
    }
    return out.join(',');
}

// The first row showing the station (as the operator finds it on screen).
int rowOfStation(ChannelListPage& page, const QString& station) {
    for (int row = 0; row < page.model().rowCount(); ++row) {
        if (cell(page, row, ChannelTableModel::StationColumn) == station) {
            return row;
        }
    }
    return -1;
}

void clickRow(ChannelListPage& page, int row) {
    QTableView& list = page.list();
    list.scrollTo(page.model().index(row, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                      list.visualRect(page.model().index(row, 1)).center());
}

void pick(QDialog& dialog, const char* box, const char* text) {
    auto* combo = find<QComboBox>(dialog, box);
    const int index = combo->findText(QString::fromUtf8(text));
    if (index < 0) {
        qFatal("no entry %s in %s", text, box);
    }
    combo->setCurrentIndex(index);
}

void type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

  private slots:
    void operatorSessionWritesTheExpectedFile() {
        test::OdbcSandbox sandbox;
        sandbox.addSqliteDsn(
            "e2edb", sandbox.createSqliteDatabase(
                         "seis.db",
                         "CREATE TABLE SITECHAN (NINDEX INTEGER, STA VARCHAR(16), "
                         "CHAN VARCHAR(16));"
                         "INSERT INTO SITECHAN VALUES (1,'NRD','BHZ'),(2,'NRD','BHN'),"
                         "(3,'NRD','BHE'),(4,'KLM','SHZ'),(5,'AZV','HHZ'),(6,'ZZZ','LHZ');"));
        test::TempDir dir;
        dir.write("ZEL_VurEV.ini", kInitialFile);
        // The connection values come from ork.ini in the current folder.
        dir.write("ork.ini", crlf({"[DATABASE]", "ODBC=e2edb", "USER=op", "PASSWORD=pw", "[DATA]",
                                   "DIR=/data"}));
        Environment env;
        env.args = {"vorda-settings", dir.file("ZEL_VurEV.ini")};
        env.currentDir = dir.path();
        env.systemDir = dir.path() + "/no-system-dir";

        QStringList unexpectedBoxes;
        ui::setMessageHandler([&](ui::BoxKind kind, const QString&, const QString& text) {
            if (kind == ui::BoxKind::Question) {
                // Only the delete questions are expected.
                if (!text.startsWith(QString("Вы дейстивтельно хотите"))) {
                    unexpectedBoxes << text;
                }
                return ui::BoxAnswer::Yes;
            }
            unexpectedBoxes << text;
            return ui::BoxAnswer::Ok;
        });

        // What the operator does in the channel dialog the next time it opens.
        std::function<int(ChannelDialog&)> inChannelDialog;
        bool sessionRan = false;
        std::function<void(SettingsDialog&)> session = [&](SettingsDialog& main) {
            sessionRan = true;
            ChannelListPage& page = main.channelPage();
            QCOMPARE(main.tabs().currentIndex(), int(SettingsDialog::ChannelTab));
            // Three groups in use; the fourth is not listed.
            QCOMPARE(column(page, ChannelTableModel::StationColumn), QString("NRD,NRD,KLM,AZV"));

            // The Additional page raises the count; coming back lists the fourth group.
            main.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
            type(&main.additionalPage().groupCountEdit(), "4");
            main.tabs().setCurrentIndex(SettingsDialog::ChannelTab);
            QCOMPARE(column(page, ChannelTableModel::StationColumn),
                     QString("NRD,NRD,KLM,AZV,OLD"));

            // A new group in KLM's place, from the database's lists.
            clickRow(page, rowOfStation(page, "KLM"));
            inChannelDialog = [](ChannelDialog& d) {
                pick(d, "stationBox", "ZZZ");
                type(find<QLineEdit>(d, "spsEdit"), "50");
                type(find<QLineEdit>(d, "sizeEdit"), "10");
                type(find<QLineEdit>(d, "lastTimeEdit"), "1170000000");
                find<QPushButton>(d, "okButton")->click();
                return d.result();
            };
            QTest::mouseClick(find<QPushButton>(page, "addGroupButton"), Qt::LeftButton);
            QCOMPARE(column(page, ChannelTableModel::StationColumn),
                     QString("NRD,NRD,ZZZ,KLM,AZV,OLD"));
            QCOMPARE(cell(page, 2, ChannelTableModel::FileNameColumn), QString("ZZZ_LHZ.DAT"));

            // A third channel for NRD.
            clickRow(page, rowOfStation(page, "NRD"));
            inChannelDialog = [](ChannelDialog& d) {
                pick(d, "channelBox", "BHE");
                type(find<QLineEdit>(d, "lastTimeEdit"), "5");
                find<QPushButton>(d, "okButton")->click();
                return d.result();
            };
            QTest::mouseClick(find<QPushButton>(page, "addChannelButton"), Qt::LeftButton);
            QCOMPARE(column(page, ChannelTableModel::ChannelColumn),
                     QString("BHZ,BHN,BHE,LHZ,SHZ,HHZ,LHZ"));

            // KLM's last time, entered in calendar form.
            const int klm = rowOfStation(page, "KLM");
            clickRow(page, klm);
            QString shownInCalendarForm;
            inChannelDialog = [&](ChannelDialog& d) {
                find<QRadioButton>(d, "calendarRadio")->click();
                shownInCalendarForm = find<QLineEdit>(d, "lastTimeEdit")->text();
                type(find<QLineEdit>(d, "lastTimeEdit"), "2007-01-01 00:00:00");
                find<QPushButton>(d, "okButton")->click();
                return d.result();
            };
            QTest::mouseDClick(page.list().viewport(), Qt::LeftButton, Qt::NoModifier,
                               page.list().visualRect(page.model().index(klm, 1)).center());
            QCOMPARE(shownInCalendarForm, QString("2006-10-04 21:56:40"));
            QCOMPARE(cell(page, klm, ChannelTableModel::LastTimeColumn), QString("1167609600"));
            QCOMPARE(page.selectedRow(), klm);

            // AZV one place up, past KLM.
            clickRow(page, rowOfStation(page, "AZV"));
            QTest::mouseClick(find<QPushButton>(page, "moveUpButton"), Qt::LeftButton);
            QCOMPARE(column(page, ChannelTableModel::StationColumn),
                     QString("NRD,NRD,NRD,ZZZ,AZV,KLM,OLD"));
            QCOMPARE(page.selectedRow(), rowOfStation(page, "AZV"));

            // ZZZ goes again, and OLD with its only channel.
            clickRow(page, rowOfStation(page, "ZZZ"));
            QTest::mouseClick(find<QPushButton>(page, "deleteGroupButton"), Qt::LeftButton);
            clickRow(page, rowOfStation(page, "OLD"));
            QTest::mouseClick(find<QPushButton>(page, "deleteChannelButton"), Qt::LeftButton);
            QCOMPARE(column(page, ChannelTableModel::GroupNumberColumn), QString("1,1,1,2,3"));
            QCOMPARE(column(page, ChannelTableModel::StationColumn),
                     QString("NRD,NRD,NRD,AZV,KLM"));

            QTest::mouseClick(&main.okButton(), Qt::LeftButton);
        };

        ui::setModalHandler([&](QDialog& dialog) {
            if (auto* channelDialog = qobject_cast<ChannelDialog*>(&dialog)) {
                if (!inChannelDialog) {
                    return int(QDialog::Rejected);
                }
                const auto act = std::exchange(inChannelDialog, nullptr);
                return act(*channelDialog);
            }
            auto* main = qobject_cast<SettingsDialog*>(&dialog);
            if (!main) {
                return int(QDialog::Rejected);
            }
            main->show();
            if (!QTest::qWaitForWindowExposed(main)) {
                return int(QDialog::Rejected);
            }
            session(*main);
            return main->result();
        });

        const int result = runSettingsDialog(env, SettingsDialog::ChannelTab);
        ui::setModalHandler({});
        ui::setMessageHandler({});
        ConnectionSettings::release();

        QVERIFY(sessionRan);
        QCOMPARE(unexpectedBoxes, QStringList());
        QCOMPARE(result, int(QDialog::Accepted));
        const std::string written = dir.read("ZEL_VurEV.ini");
        if (written != kExpectedFile) {
            qWarning("written:\n%s", written.c_str());
        }
        QCOMPARE(written, kExpectedFile);
    }
};

QTEST_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
