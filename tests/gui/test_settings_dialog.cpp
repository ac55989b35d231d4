// The main dialog driven through its real widgets: tabs, Apply, OK, Cancel, the Additional page
// and the protections around saving.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include <QTableView>
#include <QTableWidget>

#include "app/ui/additional_page.h"
#include "app/ui/conflict_dialog.h"
#include "app/ui/settings_app.h"
#include "app/ui/settings_dialog.h"
#include "channels/ui/channel_list_page.h"
#include "channels/ui/channel_table_model.h"
#include "database/connection_settings.h"
#include "database/odbc.h"
#include "database/ui/data_source_page.h"
#include "database/ui/database_wait.h"
#include "gui_script.h"
#include "platform/profile_document.h"
#include "settings/settings_file.h"
#include "settings/settings_record.h"
#include "support/odbc_sandbox.h"
#include "support/silent_server.h"
#include "support/temp_dir.h"

using namespace vorda;
using vorda::test::retype;
using vorda::test::TempDir;
using vorda::test::UiScript;

namespace {

std::string groupSection(int n, const std::string& station) {
    return "[GROUP" + std::to_string(n) + "]\r\nSTATION=" + station +
           "\r\nSIZEMB=10\r\nSPS=20\r\nBHZ=1000\r\nFILE_BHZ=" + station +
           "_BHZ.DAT\r\nCHAN=BHZ\r\n";
}

// A settings file with a group of each station, in order; GROUPS and the system values as given.
std::string withGroups(const std::string& system, const std::vector<std::string>& stations) {
    std::string bytes =
        "; kept as it is\r\n[DATABASE]\r\nODBC=ZEL\r\nUSER=ZEL\r\nPASSWORD=QMX\r\n[SYSTEM]\r\n" +
        system;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        bytes += groupSection(static_cast<int>(i) + 1, stations[i]);
    }
    return bytes;
}

// A settings file with three groups; GROUPS and the system values as given.
std::string threeGroups(const std::string& system) {
    return withGroups(system, {"AAA", "BBB", "CCC"});
}

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// Clicks a check box on its square, where a click always counts.
void clickBox(QCheckBox& box) {
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(box.height() / 2, box.height() / 2));
}

// When the next real message box is up: hands it to inspect, then presses key on the widget
// that has the focus in it (Enter presses the focused button).
void closeNextBox(std::function<void(QMessageBox&)> inspect, Qt::Key key, int tries = 200) {
    QTimer::singleShot(10, [inspect = std::move(inspect), key, tries] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            if (tries > 0) {
                closeNextBox(inspect, key, tries - 1);
            }
            return;
        }
        inspect(*box);
        QWidget* focus = box->focusWidget() != nullptr ? box->focusWidget() : box;
        QTest::keyClick(focus, key);
        if (box->isVisible()) {
            box->reject();  // never leave a test waiting on a box
        }
    });
}

void checkStartUp(SettingsDialog* dialog) {
    QCOMPARE_EQ(dialog->windowTitle(),
                QStringLiteral("Изменение настроек системы чтения Vorda..."));
    QCOMPARE_EQ(dialog->tabs().count(), 3);
    QCOMPARE_EQ(dialog->tabs().tabText(0), QStringLiteral("Просмотр каналов"));
    QCOMPARE_EQ(dialog->tabs().tabText(1), QStringLiteral("Источник данных"));
    QCOMPARE_EQ(dialog->tabs().tabText(2), QStringLiteral("Дополнительно"));
    QCOMPARE_EQ(dialog->tabs().currentIndex(), 0);
    QCOMPARE_EQ(dialog->okButton().text(), QStringLiteral("OK"));
    QCOMPARE_EQ(dialog->cancelButton().text(), QStringLiteral("Отмена"));
    QCOMPARE_EQ(dialog->applyButton().text(), QStringLiteral("Применить"));
    QVERIFY(!dialog->windowIcon().isNull());
    AdditionalPage& page = dialog->additionalPage();
    QCOMPARE_EQ(page.serverEdit().text(), QStringLiteral("proc1"));
    QVERIFY(page.detailBox().isChecked());
    QVERIFY(!page.screenBox().isChecked());
    QCOMPARE_EQ(page.groupCountEdit().text(), QStringLiteral("2"));
    QCOMPARE_EQ(settingsRecord().groups.size(), std::size_t{3});
}

// Another process puts bytes in the settings file: a new file renamed over it, or the file
// rewritten in place (same length, so it is never seen shortened).
bool writtenByAnotherProcess(const TempDir& dir, const std::string& bytes, bool inPlace = false) {
    const std::string next = dir.file("next.ini");
    {
        std::ofstream out(next, std::ios::binary);
        out << bytes;
    }
    const QString from = QString::fromStdString(next);
    const QString to = QString::fromStdString(dir.file("s.ini"));
    return inPlace ? QProcess::execute(QStringLiteral("dd"),
                                       {"if=" + from, "of=" + to, QStringLiteral("conv=notrunc"),
                                        QStringLiteral("status=none")}) == 0
                   : QProcess::execute(QStringLiteral("mv"), {from, to}) == 0;
}

// The settings file with one value set, as another program writes it.
std::string withValue(const std::string& bytes, const std::string& section, const std::string& key,
                      const std::string& value) {
    ProfileDocument doc = ProfileDocument::fromBytes(bytes);
    static_cast<void>(doc.setString(section, key, value));
    return doc.bytes();
}

}  // namespace

class TestSettingsDialog : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<vorda::test::OdbcSandbox> odbc_;

  private slots:
    void initTestCase() { odbc_ = std::make_unique<vorda::test::OdbcSandbox>(); }
    void cleanupTestCase() { odbc_.reset(); }

    void startUpShowsTheThreeTabsAndLoadsTheFile() {
        TempDir dir;
        dir.write("s.ini",
                  threeGroups("SERVER=proc1\r\nMODE=detail\r\nSCREEN=hide\r\nGROUPS=2\r\n"));
        UiScript script;
        bool ran = false;
        script.modals.push_back([&](QDialog& shown) {
            auto* dialog = qobject_cast<SettingsDialog*>(&shown);
            ran = dialog != nullptr;
            if (ran) {
                checkStartUp(dialog);
            }
            return static_cast<int>(QDialog::Rejected);
        });
        runSettingsDialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        QVERIFY(ran);
        QVERIFY(script.boxes.empty());  // a readable file gives no warning
    }

    void standardButtonsSpeakRussian() {
        QTranslator translator;
        QVERIFY(installQtTranslation(translator));
        QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE_EQ(box.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Да"));
        QCOMPARE_EQ(box.button(QMessageBox::No)->text().remove(u'&'), QStringLiteral("Нет"));
        QCoreApplication::removeTranslator(&translator);
    }

    void tabSwitchingKeepsPageContents() {
        TempDir dir;
        dir.write("s.ini", threeGroups("SERVER=proc1\r\nGROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        retype(dialog.additionalPage().serverEdit(), QStringLiteral("сервер-2"));
        retype(dialog.additionalPage().logDirEdit(), QStringLiteral("/var/log/x"));
        dialog.tabs().setCurrentIndex(SettingsDialog::DataSourceTab);
        retype(dialog.dataSourcePage().userEdit(), QStringLiteral("operator"));
        QVERIFY(dialog.dataSourcePage().isVisible());
        QVERIFY(!dialog.additionalPage().isVisible());
        dialog.tabs().setCurrentIndex(SettingsDialog::ChannelTab);
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        QCOMPARE_EQ(dialog.additionalPage().serverEdit().text(), QStringLiteral("сервер-2"));
        QCOMPARE_EQ(dialog.additionalPage().logDirEdit().text(), QStringLiteral("/var/log/x"));
        dialog.tabs().setCurrentIndex(SettingsDialog::DataSourceTab);
        QCOMPARE_EQ(dialog.dataSourcePage().userEdit().text(), QStringLiteral("operator"));
        // The edits went straight into the record and the connection values, in code page 1251.
        QCOMPARE_EQ(settingsRecord().server, std::string("\xf1\xe5\xf0\xe2\xe5\xf0-2"));
        QCOMPARE_EQ(settingsRecord().logDir, std::string("/var/log/x"));
        QCOMPARE_EQ(ConnectionSettings::values().user, std::string("operator"));
    }

    // The selection and the last clicked row follow their channel while another program takes
    // groups away above it, and while the operator switches tabs; when the channel is gone,
    // nothing stays selected.
    void theSelectionFollowsItsChannel() {
        TempDir dir;
        dir.write("s.ini", withGroups("GROUPS=3\r\n", {"G1", "AZV", "VST"}));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        ChannelListPage& page = dialog.channelPage();
        const auto selectedStation = [&] {
            const RowRef ref = page.model().rowRef(page.selectedRow());
            return ref.group < 0 ? std::string() : settingsRecord().groups.at(ref.group).station;
        };
        page.list().selectRow(1);
        page.onListClick(1);
        QCOMPARE_EQ(selectedStation(), "AZV");

        // The service takes [GROUP1] away: AZV is now group 1, and stays selected.
        QVERIFY(writtenByAnotherProcess(dir, withGroups("GROUPS=2\r\n", {"AZV", "VST"})));
        dialog.refreshFromDisk();
        QTRY_COMPARE_EQ(settingsRecord().groups.size(), std::size_t{2});
        QCOMPARE_EQ(page.selectedRow(), 0);
        QCOMPARE_EQ(page.lastClickedRow(), 0);
        QCOMPARE_EQ(selectedStation(), "AZV");

        // Another tab and back, with a group put above it meanwhile.
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        QVERIFY(writtenByAnotherProcess(dir, withGroups("GROUPS=3\r\n", {"G0", "AZV", "VST"})));
        dialog.refreshFromDisk();
        QCOMPARE_EQ(settingsRecord().groups.size(), std::size_t{3});
        dialog.tabs().setCurrentIndex(SettingsDialog::ChannelTab);
        QCOMPARE_EQ(selectedStation(), "AZV");
        QCOMPARE_EQ(page.lastClickedRow(), 1);
        QVERIFY(writtenByAnotherProcess(dir, withGroups("GROUPS=2\r\n", {"AZV", "VST"})));
        dialog.refreshFromDisk();
        QCOMPARE_EQ(selectedStation(), "AZV");

        // The service takes AZV's group away: nothing is selected, and Delete asks for a choice.
        QVERIFY(writtenByAnotherProcess(dir, withGroups("GROUPS=1\r\n", {"VST"})));
        dialog.refreshFromDisk();
        QTRY_COMPARE_EQ(settingsRecord().groups.size(), std::size_t{1});
        QCOMPARE_EQ(page.selectedRow(), -1);
        QCOMPARE_EQ(page.lastClickedRow(), -1);
        script.answers.push_back(ui::BoxAnswer::Yes);
        page.onDeleteGroup();
        QCOMPARE_EQ(settingsRecord().groups.size(), std::size_t{1});
        QVERIFY(script.unexpectedModals.empty());
    }

    // The Additional page shows the group count as the channel page left it, before and after
    // Apply.
    void theGroupCountFollowsTheChannelPage() {
        TempDir dir;
        dir.write("s.ini", threeGroups("SERVER=proc1\r\nGROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        QCOMPARE_EQ(dialog.additionalPage().groupCountEdit().text(), QStringLiteral("3"));
        dialog.tabs().setCurrentIndex(SettingsDialog::ChannelTab);
        dialog.channelPage().list().selectRow(0);
        script.answers.push_back(ui::BoxAnswer::Yes);
        dialog.channelPage().onDeleteGroup();
        QCOMPARE_EQ(settingsRecord().groups.size(), std::size_t{2});
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        QCOMPARE_EQ(dialog.additionalPage().groupCountEdit().text(), QStringLiteral("2"));
        QVERIFY(dialog.apply());
        QVERIFY(contains(dir.read("s.ini"), "GROUPS=2\r\n"));
        QCOMPARE_EQ(dialog.additionalPage().groupCountEdit().text(), QStringLiteral("2"));

        // Out of sight the count moves on; shown again, the page says so.
        dialog.tabs().setCurrentIndex(SettingsDialog::ChannelTab);
        settingsRecord().groupCount = 1;
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        QCOMPARE_EQ(dialog.additionalPage().groupCountEdit().text(), QStringLiteral("1"));
        QVERIFY(script.unexpectedModals.empty());
    }

    // Tab leaves the conflict window's table for its buttons, and Shift+Tab comes back.
    void tabLeavesTheConflictTable() {
        MergeConflict conflict;
        conflict.section = "SYSTEM";
        conflict.key = "SERVER";
        conflict.fileValue = "theirs";
        conflict.ourValue = "mine";
        ConflictDialog d({conflict, conflict}, QStringLiteral("s.ini"));
        d.show();
        QApplication::setActiveWindow(&d);
        QVERIFY(QTest::qWaitForWindowActive(&d));
        d.table().setFocus();
        QList<QWidget*> seen;
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        QCOMPARE_EQ(seen, (QList<QWidget*>{&d.keepAllButton(), &d.takeAllButton(), &d.okButton()}));
        d.table().setFocus();
        QTest::keyClick(&d.table(), Qt::Key_Tab, Qt::ShiftModifier);
        QVERIFY(QApplication::focusWidget() != &d.table());
    }

    void applyThenCancelLeavesTheFileAsApplyWroteIt() {
        TempDir dir;
        dir.write("s.ini", threeGroups("SERVER=proc1\r\nGROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        retype(dialog.additionalPage().serverEdit(), QStringLiteral("applied"));
        QTest::mouseClick(&dialog.applyButton(), Qt::LeftButton);
        QVERIFY(dialog.isVisible());  // Apply keeps the dialog open
        const std::string applied = dir.read("s.ini");
        QVERIFY(contains(applied, "SERVER=applied\r\n"));
        QVERIFY(contains(applied, "; kept as it is\r\n"));
        retype(dialog.additionalPage().serverEdit(), QStringLiteral("not saved"));
        QTest::mouseClick(&dialog.cancelButton(), Qt::LeftButton);
        QCOMPARE_EQ(dialog.result(), static_cast<int>(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE_EQ(dir.read("s.ini"), applied);
        QVERIFY(script.boxes.empty());
    }

    void okOnAMissingFileCreatesItWithEveryKey() {
        TempDir dir;
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("new.ini"), dir.path()));
        dialog.show();
        QCOMPARE_EQ(dialog.additionalPage().groupCountEdit().text(), QStringLiteral("1"));
        QCOMPARE_EQ(settingsRecord().groupCount, 0);
        QTest::mouseClick(&dialog.okButton(), Qt::LeftButton);
        QCOMPARE_EQ(dialog.result(), static_cast<int>(QDialog::Accepted));
        const std::string written = dir.read("new.ini");
        for (const char* section : {"[DATABASE]", "[DATA]", "[LOG]", "[SYSTEM]"}) {
            QVERIFY2(contains(written, section), section);
        }
        for (const char* key : {"ODBC=", "USER=", "PASSWORD=", "DIR=", "SERVER=", "MODE=silent",
                                "SCREEN=hide", "SIZEMB=100", "GROUPS=0"}) {
            QVERIFY2(contains(written, std::string("\n") + key), key);
        }
        QVERIFY(script.boxes.empty());
    }

    void checkBoxesWriteModeAndScreen() {
        TempDir dir;
        dir.write("s.ini", threeGroups("MODE=detail\r\nSCREEN=hide\r\nGROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        AdditionalPage& page = dialog.additionalPage();
        clickBox(page.detailBox());
        clickBox(page.screenBox());
        QCOMPARE_EQ(settingsRecord().detailMode, 0);
        QCOMPARE_EQ(settingsRecord().showScreen, 1);
        QVERIFY(dialog.apply());
        std::string written = dir.read("s.ini");
        QVERIFY(contains(written, "MODE=silent\r\n"));
        QVERIFY(contains(written, "SCREEN=full\r\n"));
        clickBox(page.detailBox());
        clickBox(page.screenBox());
        retype(page.serverEdit(), QString());  // an emptied server name is written empty
        QVERIFY(dialog.apply());
        written = dir.read("s.ini");
        QVERIFY(contains(written, "MODE=detail\r\n"));
        QVERIFY(contains(written, "SCREEN=hide\r\n"));
        QVERIFY(contains(written, "SERVER=\r\n"));
    }

    void groupCountCorrectsItself() {
        TempDir dir;
        dir.write("s.ini", threeGroups("GROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        QLineEdit& field = dialog.additionalPage().groupCountEdit();
        QCOMPARE_EQ(field.text(), QStringLiteral("3"));

        retype(field, QStringLiteral("2"));
        QCOMPARE_EQ(settingsRecord().groupCount, 2);
        QCOMPARE_EQ(field.text(), QStringLiteral("2"));

        retype(field, QStringLiteral("5"));  // above the number of groups
        QCOMPARE_EQ(field.text(), QStringLiteral("3"));
        QCOMPARE_EQ(settingsRecord().groupCount, 3);

        retype(field, QStringLiteral("1"));
        QCOMPARE_EQ(settingsRecord().groupCount, 1);
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_Backspace);  // emptied
        QCOMPARE_EQ(field.text(), QStringLiteral("3"));
        QCOMPARE_EQ(settingsRecord().groupCount, 3);

        retype(field, QStringLiteral("1"));
        retype(field, QStringLiteral("0"));
        QCOMPARE_EQ(field.text(), QStringLiteral("3"));
        QCOMPARE_EQ(settingsRecord().groupCount, 3);

        // The spin arrows, the arrow keys included, stay within 1 and the number of groups.
        dialog.additionalPage().groupCountSpin().stepDown();
        QCOMPARE_EQ(settingsRecord().groupCount, 2);
        dialog.additionalPage().groupCountSpin().stepUp();
        dialog.additionalPage().groupCountSpin().stepUp();
        QCOMPARE_EQ(settingsRecord().groupCount, 3);
        QCOMPARE_EQ(field.text(), QStringLiteral("3"));

        QTest::keyClick(&field, Qt::Key_Down);  // the arrow keys step the count too
        QCOMPARE_EQ(settingsRecord().groupCount, 2);
        QTest::keyClick(&field, Qt::Key_Up);
        QTest::keyClick(&field, Qt::Key_Up);
        QCOMPARE_EQ(settingsRecord().groupCount, 3);

        retype(field, QStringLiteral("2"));
        QVERIFY(dialog.apply());
        QVERIFY(contains(dir.read("s.ini"), "GROUPS=2\r\n"));
        QVERIFY(contains(dir.read("s.ini"), "[GROUP3]"));  // groups are kept, only not in use
    }

    void groupCountStaysZeroWithoutGroupsAndStartsAtOneWithThem() {
        TempDir dir;
        UiScript script;
        {
            dir.write("none.ini", "[SYSTEM]\r\nGROUPS=4\r\n");
            SettingsDialog dialog(test::testEnvironment(dir.file("none.ini"), dir.path()));
            QLineEdit& field = dialog.additionalPage().groupCountEdit();
            QCOMPARE_EQ(settingsRecord().groupCount, 0);
            for (const QString& typed :
                 {QStringLiteral("5"), QStringLiteral("1"), QString(), QStringLiteral("256")}) {
                retype(field, typed);
                QCOMPARE_EQ(settingsRecord().groupCount, 0);
            }
            QCOMPARE_EQ(field.text(), QStringLiteral("1"));
        }
        {
            // A count of 0 with groups present: the field shows 1 and the count follows it.
            dir.write("zero.ini", threeGroups("GROUPS=0\r\n"));
            SettingsDialog dialog(test::testEnvironment(dir.file("zero.ini"), dir.path()));
            QCOMPARE_EQ(dialog.additionalPage().groupCountEdit().text(), QStringLiteral("1"));
            QCOMPARE_EQ(settingsRecord().groupCount, 1);
        }
    }

    void pagesIgnoreEnterAndEscape() {
        TempDir dir;
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("keys.ini"), dir.path()));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QList<QWidget*> fields = {&dialog.additionalPage().serverEdit(),
                                  &dialog.additionalPage().groupCountEdit(),
                                  &dialog.additionalPage().detailBox()};
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        for (QWidget* field : fields) {
            for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
                field->setFocus();
                QTest::keyClick(field, key);
                QVERIFY(dialog.isVisible());
                QCOMPARE_EQ(dialog.result(), 0);
            }
        }
        dialog.tabs().setCurrentIndex(SettingsDialog::DataSourceTab);
        for (QWidget* field : QList<QWidget*>{&dialog.dataSourcePage().userEdit(),
                                              &dialog.dataSourcePage().sourceBox()}) {
            for (const auto key : {Qt::Key_Return, Qt::Key_Escape}) {
                field->setFocus();
                QTest::keyClick(field, key);
                QVERIFY(dialog.isVisible());
            }
        }
        dialog.tabs().setCurrentIndex(SettingsDialog::ChannelTab);
        for (const auto key : {Qt::Key_Return, Qt::Key_Escape}) {
            dialog.channelPage().list().setFocus();
            QTest::keyClick(&dialog.channelPage().list(), key);
            QVERIFY(dialog.isVisible());
        }
        QVERIFY(!std::filesystem::exists(dir.file("keys.ini")));  // OK was not pressed
        // Outside the pages the dialog's own keys still work: Escape on the dialog cancels.
        dialog.okButton().setFocus();
        QTest::keyClick(&dialog.okButton(), Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE_EQ(dialog.result(), static_cast<int>(QDialog::Rejected));
        QVERIFY(!std::filesystem::exists(dir.file("keys.ini")));
    }

    // Enter presses the push button that has the focus, on the dialog and on its pages, in the
    // run the program makes; a page field with the focus still takes Enter and closes nothing.
    void enterPressesTheFocusedButton() {
        TempDir dir;
        dir.write("s.ini", threeGroups("SERVER=proc1\r\nGROUPS=3\r\n"));
        UiScript script;
        QStringList steps;  // what each Enter did
        script.modals.push_back([&](QDialog& shown) {
            auto& dialog = static_cast<SettingsDialog&>(shown);
            dialog.show();
            dialog.activateWindow();
            if (!QTest::qWaitForWindowActive(&dialog)) {
                return -1;  // the keys would go nowhere
            }
            const auto enterOn = [&](QWidget& widget) {
                widget.setFocus();
                QTest::keyClick(&widget, Qt::Key_Return);
            };
            dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
            retype(dialog.additionalPage().serverEdit(), QStringLiteral("proc2"));
            enterOn(dialog.additionalPage().serverEdit());
            enterOn(dialog.applyButton());
            steps << (dialog.isVisible() && contains(dir.read("s.ini"), "SERVER=proc2\r\n")
                          ? QStringLiteral("applied")
                          : QStringLiteral("not applied"));
            const std::pair<int, QPushButton*> openers[] = {
                {SettingsDialog::AdditionalTab, &dialog.additionalPage().browseButton()},
                {SettingsDialog::DataSourceTab, &dialog.dataSourcePage().browseButton()},
                {SettingsDialog::DataSourceTab, &dialog.dataSourcePage().adminButton()}};
            for (const auto& [tab, button] : openers) {
                dialog.tabs().setCurrentIndex(tab);
                script.modals.push_back([&](QDialog& opened) {
                    steps << QStringLiteral("opened");
                    opened.reject();
                    return static_cast<int>(QDialog::Rejected);
                });
                enterOn(*button);
            }
            const std::size_t boxes = script.boxes.size();
            enterOn(dialog.dataSourcePage().testButton());
            steps << (script.boxes.size() > boxes ? QStringLiteral("tested")
                                                  : QStringLiteral("not tested"));
            enterOn(dialog.cancelButton());
            return dialog.result();
        });
        QCOMPARE_EQ(runSettingsDialog(test::testEnvironment(dir.file("s.ini"), dir.path())),
                    static_cast<int>(QDialog::Rejected));
        QCOMPARE_EQ(steps, QStringList({"applied", "opened", "opened", "opened", "tested"}));
        QVERIFY(script.unexpectedModals.empty());
        QVERIFY(contains(dir.read("s.ini"), "SERVER=proc2\r\n"));
    }

    // The Tab key walks each page's controls in the order of the page's layout, top to bottom.
    void tabKeyWalksThePagesInTheirOrder() {
        TempDir dir;
        dir.write("s.ini", threeGroups("GROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const auto walk = [](QWidget& first, const QList<QWidget*>& expected) {
            first.setFocus();
            QList<QWidget*> seen = {QApplication::focusWidget()};
            for (int i = 1; i < expected.size(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                seen << QApplication::focusWidget();
            }
            return seen == expected;
        };
        dialog.tabs().setCurrentIndex(SettingsDialog::AdditionalTab);
        AdditionalPage& extra = dialog.additionalPage();
        QVERIFY(walk(extra.serverEdit(),
                     {&extra.serverEdit(), &extra.detailBox(), &extra.screenBox(),
                      &extra.groupCountSpin(), &extra.logDirEdit(), &extra.browseButton()}));
        dialog.tabs().setCurrentIndex(SettingsDialog::DataSourceTab);
        DataSourcePage& source = dialog.dataSourcePage();
        QVERIFY(walk(
            source.sourceBox(),
            {&source.sourceBox(), &source.userEdit(), &source.passwordEdit(), &source.dataDirEdit(),
             &source.browseButton(), &source.adminButton(), &source.testButton()}));
    }

    // A save that fails is shown with its reason, and OK then keeps the dialog open.
    void failedSaveIsShownAndOkStaysOpen() {
        TempDir dir;
        UiScript script;
        const std::string path = dir.file("no-such-folder/s.ini");
        SettingsDialog dialog(test::testEnvironment(path, dir.path()));
        dialog.show();
        QTest::mouseClick(&dialog.applyButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{1});
        QCOMPARE_EQ(script.boxes[0].kind, ui::BoxKind::Warning);
        QCOMPARE_EQ(script.boxes[0].caption, ui::applicationTitle());
        QVERIFY(script.boxes[0].text.contains(QString::fromStdString(path)));
        QVERIFY(script.boxes[0].text.startsWith(QStringLiteral("Не удалось сохранить настройки")));
        QTest::mouseClick(&dialog.okButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{2});
        QVERIFY(dialog.isVisible());
        QCOMPARE_EQ(dialog.result(), 0);
        // Once the folder exists the same OK saves and closes.
        std::filesystem::create_directory(dir.file("no-such-folder"));
        QTest::mouseClick(&dialog.okButton(), Qt::LeftButton);
        QCOMPARE_EQ(dialog.result(), static_cast<int>(QDialog::Accepted));
        QVERIFY(std::filesystem::exists(path));
    }

    // The service writes the file while the dialog is open, once by rename and once in place:
    // the pages follow what the operator did not touch, the operator's change goes in over it,
    // a key the editor does not know stays, and nothing is asked.
    void anotherProgramsChangesAreMergedWithoutAQuestion() {
        TempDir dir;
        dir.write("s.ini", threeGroups("SERVER=proc1\r\nGROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        const ChannelTableModel& model = dialog.channelPage().model();
        const auto lastTime = [&](int row) {
            return model.data(model.index(row, ChannelTableModel::LastTimeColumn)).toString();
        };

        dialog.channelPage().list().selectRow(2);
        dialog.channelPage().onListClick(2);
        std::string theirs = withValue(dir.read("s.ini"), "GROUP2", "BHZ", "2000");
        theirs = withValue(theirs, "SYSTEM", "VERSION", "7");
        QVERIFY(writtenByAnotherProcess(dir, theirs));
        QTRY_COMPARE_EQ(lastTime(1), QStringLiteral("2000"));
        QCOMPARE_EQ(dialog.channelPage().selectedRow(), 2);  // the operator's place is kept
        QCOMPARE_EQ(dialog.statusLine().text(),
                    QStringLiteral("Файл изменён другой программой: обновлено 1 значение"));
        // The watch outlived the file it watched. A channel the service adds above the
        // operator's place moves the place down with its row.
        theirs = withValue(theirs, "GROUP1", "BHZ", "1500");
        theirs = withValue(withValue(theirs, "GROUP1", "BHN", "1200"), "GROUP1", "CHAN", "BHZ,BHN");
        QVERIFY(writtenByAnotherProcess(dir, theirs, true));
        QTRY_COMPARE_EQ(lastTime(0), QStringLiteral("1500"));
        QCOMPARE_EQ(dialog.channelPage().selectedRow(), 3);
        QCOMPARE_EQ(dialog.channelPage().lastClickedRow(), 3);

        retype(dialog.additionalPage().serverEdit(), QStringLiteral("mine"));
        QTest::mouseClick(&dialog.applyButton(), Qt::LeftButton);
        const ProfileDocument saved = ProfileDocument::fromBytes(dir.read("s.ini"));
        QCOMPARE_EQ(saved.getString("SYSTEM", "SERVER", ""), "mine");
        QCOMPARE_EQ(saved.getString("SYSTEM", "VERSION", ""), "7");
        QCOMPARE_EQ(saved.getInt("GROUP2", "BHZ", 0), 2000);
        QCOMPARE_EQ(saved.getInt("GROUP1", "BHZ", 0), 1500);
        QCOMPARE_EQ(saved.getString("GROUP1", "CHAN", ""), "BHZ,BHN");
        QVERIFY(script.boxes.empty());
        QVERIFY(script.unexpectedModals.empty());
    }

    // The same last time changed here and by the service: the conflict dialog shows it, and each
    // answer writes what it says; Cancel writes nothing and keeps the dialog open.
    void aValueChangedOnBothSidesIsChosenInTheConflictDialog() {
        TempDir dir;
        dir.write("s.ini", threeGroups("SERVER=proc1\r\nGROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        const auto fileTime = [&] {
            return ProfileDocument::fromBytes(dir.read("s.ini")).getInt("GROUP2", "BHZ", 0);
        };
        // The operator's time goes into the record as the channel dialog puts it there; the
        // service's into the file. The dialog has looked at the file before Apply.
        const auto bothChange = [&](int mine, int theirs) {
            settingsRecord().groups.at(1).channels.at(0).lastTime = mine;
            return writtenByAnotherProcess(
                dir, withValue(dir.read("s.ini"), "GROUP2", "BHZ", std::to_string(theirs)));
        };
        const auto answer = [&](std::function<void(ConflictDialog&)> choose, int result) {
            script.modals.push_back([choose, result](QDialog& shown) {
                auto* conflicts = dynamic_cast<ConflictDialog*>(&shown);
                if (conflicts == nullptr) {
                    return static_cast<int>(QDialog::Rejected);
                }
                choose(*conflicts);
                return result;
            });
        };

        QVERIFY(bothChange(3000, 2000));
        QTRY_VERIFY(!changedOnDisk(settingsFile()));
        QStringList shownRow;
        answer(
            [&](ConflictDialog& d) {
                for (int column = 0; column < 6; ++column) {
                    shownRow << d.table().item(0, column)->text();
                }
                shownRow << QString::number(d.table().rowCount());
                d.choiceBox(0).setCurrentText(QStringLiteral("взять из файла"));
            },
            QDialog::Accepted);
        QVERIFY(dialog.apply());
        QCOMPARE_EQ(shownRow,
                    (QStringList{"2", "BBB", "BHZ", "Последнее время", "2000", "3000", "1"}));
        QCOMPARE_EQ(fileTime(), 2000);
        QCOMPARE_EQ(settingsRecord().groups.at(1).channels.at(0).lastTime, 2000);

        QVERIFY(bothChange(5000, 4000));
        QTRY_VERIFY(!changedOnDisk(settingsFile()));
        answer(
            [](ConflictDialog& d) {
                d.takeAllButton().click();
                d.keepAllButton().click();
            },
            QDialog::Accepted);
        QVERIFY(dialog.apply());
        QCOMPARE_EQ(fileTime(), 5000);

        QVERIFY(bothChange(7000, 6000));
        answer([](ConflictDialog& d) { d.takeAllButton().click(); }, QDialog::Rejected);
        QTest::mouseClick(&dialog.okButton(), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE_EQ(fileTime(), 6000);
        QCOMPARE_EQ(settingsRecord().groups.at(1).channels.at(0).lastTime, 7000);
        QVERIFY(script.boxes.empty());
        QVERIFY(script.unexpectedModals.empty());
        QVERIFY(script.modals.empty());
    }

    // Another program takes away the group above the operator's while the channel dialog waits
    // for the database: the channel goes into the group the dialog was opened for, and the
    // file's change is taken over once the dialog has closed.
    void theFileChangingDuringTheChannelDialogsWaitMovesNoGroupUnderIt() {
        TempDir dir;
        dir.write("s.ini", threeGroups("SERVER=proc1\r\nGROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        // A database that never answers: the dialog's connection waits until its bound.
        test::SilentServer silent;
        odbc_->addDsn("SILENT", "MariaDB Unicode",
                      {{"Server", "127.0.0.1"}, {"Port", std::to_string(silent.port())}});
        ConnectionSettings::values().dataSource = "SILENT";
        const odbc::Timeouts savedTimeouts = odbc::timeouts();
        odbc::timeouts().loginSeconds = 1;
        ui::installDatabaseWaiter();
        const auto stations = [] {
            QStringList out;
            for (const GroupRecord& group : settingsRecord().groups) {
                out << QString::fromStdString(group.station);
            }
            return out;
        };

        // Once the wait has begun, the file loses group 1 and the dialog looks at it at once.
        bool rewritten = false;
        QTimer::singleShot(0, [&] {
            rewritten = writtenByAnotherProcess(
                dir, withGroups("SERVER=proc1\r\nGROUPS=2\r\n", {"BBB", "CCC"}));
            dialog.refreshFromDisk();
        });
        QStringList whileOpen;
        QString openedFor;
        script.modals.push_back([&](QDialog& shown) {
            whileOpen = stations();
            openedFor = shown.findChild<QComboBox*>("stationBox")->currentText();
            shown.findChild<QComboBox*>("channelBox")->setEditText(QStringLiteral("BHN"));
            shown.findChild<QLineEdit*>("fileNameEdit")->setText(QStringLiteral("BBB_BHN.DAT"));
            shown.findChild<QPushButton*>("okButton")->click();
            return shown.result();
        });
        ChannelListPage& page = dialog.channelPage();
        page.list().selectRow(1);  // group 2, BBB
        page.onAddChannel();
        QVERIFY(rewritten);
        QCOMPARE_EQ(openedFor, QStringLiteral("BBB"));
        QCOMPARE_EQ(whileOpen, (QStringList{"AAA", "BBB", "CCC"}));
        QCOMPARE_EQ(settingsRecord().groups.at(1).channels.size(), std::size_t{2});
        QCOMPARE_EQ(settingsRecord().groups.at(2).channels.size(), std::size_t{1});
        // The refresh lands after: group 1 goes, the new channel stays with BBB.
        QTRY_COMPARE_EQ(stations(), (QStringList{"BBB", "CCC"}));
        QCOMPARE_EQ(settingsRecord().groups.at(0).channels.size(), std::size_t{2});
        QVERIFY(dialog.apply());
        const ProfileDocument saved = ProfileDocument::fromBytes(dir.read("s.ini"));
        QCOMPARE_EQ(saved.getString("GROUP1", "STATION", ""), "BBB");
        QCOMPARE_EQ(saved.getString("GROUP1", "CHAN", ""), "BHZ,BHN");
        QCOMPARE_EQ(saved.getString("GROUP2", "CHAN", ""), "BHZ");
        // The one box is the connection's error.
        QCOMPARE_EQ(script.boxes.size(), std::size_t{1});
        QVERIFY(script.boxes.front().kind == ui::BoxKind::Error);
        QVERIFY(script.unexpectedModals.empty());

        silent.close();
        QVERIFY(odbc::settleAbandonedAttempts(std::chrono::seconds(10)));
        odbc::timeouts() = savedTimeouts;
        odbc::setWaiter({});
        ConnectionSettings::release();
    }

    // A password changed on both sides shows as stars on both sides; the choice still works.
    void aPasswordInTheConflictDialogShowsAsStars() {
        MergeConflict conflict;
        conflict.value.field = MergeField::Password;
        conflict.section = "DATABASE";
        conflict.key = "PASSWORD";
        conflict.fileValue = "FileSecret";
        conflict.ourValue = "MyNewSecret";
        ConflictDialog dialog({conflict}, QStringLiteral("s.ini"));
        QCOMPARE_EQ(dialog.table().item(0, 4)->text(), QStringLiteral("***"));
        QCOMPARE_EQ(dialog.table().item(0, 5)->text(), QStringLiteral("***"));
        dialog.takeAllButton().click();
        QVERIFY(dialog.choices().at(0).choice == ConflictChoice::TakeFile);
    }

    // Text the code page cannot hold is refused at every text field.
    void fieldsRefuseCharactersOutsideTheCodePage() {
        TempDir dir;
        dir.write("s.ini", threeGroups("GROUPS=3\r\n"));
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        struct Field {
            QLineEdit* edit;
            std::function<std::string()> stored;
        };
        const std::vector<Field> fields = {
            {&dialog.additionalPage().serverEdit(), [] { return settingsRecord().server; }},
            {&dialog.additionalPage().logDirEdit(), [] { return settingsRecord().logDir; }},
            {&dialog.dataSourcePage().userEdit(), [] { return ConnectionSettings::values().user; }},
            {&dialog.dataSourcePage().passwordEdit(),
             [] { return ConnectionSettings::values().password; }},
            {&dialog.dataSourcePage().dataDirEdit(),
             [] { return ConnectionSettings::values().dataDir; }},
        };
        for (const Field& field : fields) {
            retype(*field.edit, QStringLiteral("Ωм€ω"));  // Greek omega has no place in 1251
            QCOMPARE_EQ(field.edit->text(), QStringLiteral("м€"));
            QCOMPARE_EQ(field.stored(), std::string("\xec\x88"));
            QVERIFY(!contains(field.stored(), "?"));
        }
        QVERIFY(dialog.apply());
        QVERIFY(contains(dir.read("s.ini"), "SERVER=\xec\x88\r\n"));
    }

    // Channels of lists that were not read whole are named before the dialog runs; OK without a
    // change then writes no key for them.
    void channelsLeftOutOfListsAreNamedAtStartUp() {
        TempDir dir;
        std::string list = "BHZ";  // 509 characters: the limit of 511 cuts C103 after its C
        while (list.size() < 507) {
            list += ",BHN";
        }
        list += ",X";
        dir.write("s.ini",
                  "[SYSTEM]\r\nGROUPS=2\r\n[GROUP1]\r\nSTATION=A\r\nCHAN=BHZ,CHAN\r\n"
                  "[GROUP2]\r\nSTATION=B\r\nCHAN=" +
                      list + ",C103\r\n");
        UiScript script;
        QStringList before;
        script.modals.push_back([&](QDialog& shown) {
            before = script.texts();
            auto& dialog = static_cast<SettingsDialog&>(shown);
            QTest::mouseClick(&dialog.okButton(), Qt::LeftButton);
            return dialog.result();
        });
        QCOMPARE_EQ(runSettingsDialog(test::testEnvironment(dir.file("s.ini"), dir.path())),
                    static_cast<int>(QDialog::Accepted));
        QCOMPARE_EQ(before.size(), 1);
        QCOMPARE_EQ(script.boxes[0].kind, ui::BoxKind::Warning);
        QVERIFY(before[0].contains(QStringLiteral("Группа 1: Код канала «CHAN»")));
        QVERIFY(before[0].contains(QStringLiteral("Группа 2: ")));
        QVERIFY(before[0].contains(QStringLiteral("C103")));
        const std::string saved = dir.read("s.ini");
        QVERIFY(contains(saved, "CHAN=BHZ\r\n"));
        QVERIFY(contains(saved, "CHAN=" + list + "\r\n"));
        QVERIFY(!contains(saved, "\r\nC="));
        QVERIFY(!contains(saved, "FILE_C="));
        QVERIFY(!contains(saved, "FILE_CHAN="));
    }

    // A settings file that exists but cannot be read: warned at start-up, never overwritten.
    void unreadableFileIsWarnedAndNotOverwritten() {
        TempDir dir;
        std::filesystem::create_directory(dir.file("folder.ini"));  // exists, cannot be read
        UiScript script;
        bool ran = false;
        script.modals.push_back([&](QDialog& shown) {
            ran = true;
            auto& dialog = static_cast<SettingsDialog&>(shown);
            // The warning came before the dialog ran.
            [&] {
                QCOMPARE_EQ(script.boxes.size(), std::size_t{1});
                QCOMPARE_EQ(script.boxes[0].kind, ui::BoxKind::Warning);
                QVERIFY(
                    script.boxes[0].text.contains(QString::fromStdString(dir.file("folder.ini"))));
                QVERIFY(script.boxes[0].text.contains(
                    QString::fromStdString(settingsFile().unreadableReason)));
                QVERIFY(!settingsFile().unreadableReason.empty());
                // The reason is the system's, in Russian.
                QVERIFY(script.boxes[0].text.contains(QStringLiteral("это каталог")));
            }();
            QTest::mouseClick(&dialog.okButton(), Qt::LeftButton);
            return dialog.result();
        });
        const int result =
            runSettingsDialog(test::testEnvironment(dir.file("folder.ini"), dir.path()));
        QVERIFY(ran);
        QCOMPARE_EQ(result, 0);  // OK could not save, so the dialog did not close
        QCOMPARE_EQ(script.boxes.size(), std::size_t{2});
        QCOMPARE_EQ(script.boxes[1].kind, ui::BoxKind::Warning);
        QVERIFY(script.boxes[1].text.contains(QStringLiteral("поэтому он не перезаписывается")));
        QVERIFY(std::filesystem::is_directory(dir.file("folder.ini")));
    }

    // The real boxes: one raised before the main dialog is shown stands in the middle of the
    // screen, where the dialog will appear, not in its corner; one raised by a window not shown
    // yet stands over the window that owns it.
    void realBoxesStandWhereTheyAreSeen() {
        TempDir dir;
        std::filesystem::create_directory(dir.file("folder.ini"));
        {
            SettingsDialog dialog(test::testEnvironment(dir.file("folder.ini"), dir.path()));
            QRect shownAt;
            closeNextBox([&](QMessageBox& box) { shownAt = box.frameGeometry(); }, Qt::Key_Return);
            dialog.warnAboutLoading();
            QVERIFY(!shownAt.isNull());
            const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
            QVERIFY2((shownAt.center() - middle).manhattanLength() <= 4,
                     qPrintable(QStringLiteral("box at %1,%2 %3x%4")
                                    .arg(shownAt.x())
                                    .arg(shownAt.y())
                                    .arg(shownAt.width())
                                    .arg(shownAt.height())));
        }

        // A window still filling itself (not shown yet): its box stands over its owner.
        dir.write("s.ini", threeGroups("GROUPS=3\r\n"));
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.move(20, 20);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QDialog filling(&dialog);
        QRect shownAt;
        closeNextBox([&](QMessageBox& box) { shownAt = box.frameGeometry(); }, Qt::Key_Return);
        ui::showMessage(&filling, ui::BoxKind::Warning, ui::applicationTitle(),
                        QStringLiteral("x"));
        QVERIFY((shownAt.center() - dialog.frameGeometry().center()).manhattanLength() <= 40);
    }

    void folderChooserFillsTheLogDirectory() {
        TempDir dir;
        std::filesystem::create_directory(dir.file("logs"));
        std::filesystem::create_directory(dir.file("logs/new"));
        dir.write("s.ini", "[LOG]\r\nDIR=" + dir.file("logs") + "\r\n");
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        QLineEdit& field = dialog.additionalPage().logDirEdit();
        QString title;
        QString startedAt;
        script.modals.push_back([&](QDialog& chooser) {
            title = chooser.windowTitle();
            auto& files = static_cast<QFileDialog&>(chooser);
            startedAt = files.directory().absolutePath();
            return static_cast<int>(QDialog::Rejected);
        });
        QTest::mouseClick(&dialog.additionalPage().browseButton(), Qt::LeftButton);
        QCOMPARE_EQ(title, QStringLiteral("Выбор каталога"));
        QCOMPARE_EQ(startedAt, QString::fromStdString(dir.file("logs")));
        QCOMPARE_EQ(field.text(), QString::fromStdString(dir.file("logs")));  // cancelled
        QCOMPARE_EQ(settingsRecord().logDir, dir.file("logs"));

        script.modals.push_back([&](QDialog& chooser) {
            auto& files = static_cast<QFileDialog&>(chooser);
            files.setDirectory(QString::fromStdString(dir.file("logs/new")));
            static_cast<QDialog&>(files).accept();
            return files.result();
        });
        QTest::mouseClick(&dialog.additionalPage().browseButton(), Qt::LeftButton);
        QCOMPARE_EQ(field.text(), QString::fromStdString(dir.file("logs/new")));
        QCOMPARE_EQ(settingsRecord().logDir, dir.file("logs/new"));
        QVERIFY(script.unexpectedModals.empty());
    }

    // A folder whose path the settings file cannot hold (a character outside code page 1251, or
    // longer than the chooser's 255 characters) is refused with a warning on both pages: the
    // field and the stored value stay as they were, so the field never shows what is not saved.
    void folderChooserRefusesAPathTheFileCannotHold() {
        TempDir dir;
        std::filesystem::create_directory(dir.file("logs"));
        std::filesystem::create_directory(dir.file("Ωmega"));
        std::string deep = dir.file("d");
        while (deep.size() <= 255) {
            deep += "/" + std::string(60, 'x');
        }
        std::filesystem::create_directories(deep);
        dir.write("s.ini", "[LOG]\r\nDIR=" + dir.file("logs") + "\r\n");
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        const auto choose = [&](const std::string& folder) {
            script.modals.push_back([folder](QDialog& chooser) {
                auto& files = static_cast<QFileDialog&>(chooser);
                files.setDirectory(QString::fromStdString(folder));
                static_cast<QDialog&>(files).accept();
                return files.result();
            });
        };
        QLineEdit& logField = dialog.additionalPage().logDirEdit();
        QLineEdit& dataField = dialog.dataSourcePage().dataDirEdit();
        const QString dataBefore = dataField.text();
        const std::string dataStored = ConnectionSettings::values().dataDir;
        for (const std::string& folder : {dir.file("Ωmega"), deep}) {
            const std::size_t boxes = script.boxes.size();
            choose(folder);
            QTest::mouseClick(&dialog.additionalPage().browseButton(), Qt::LeftButton);
            QCOMPARE_EQ(logField.text(), QString::fromStdString(dir.file("logs")));
            QCOMPARE_EQ(settingsRecord().logDir, dir.file("logs"));
            choose(folder);
            QTest::mouseClick(&dialog.dataSourcePage().browseButton(), Qt::LeftButton);
            QCOMPARE_EQ(dataField.text(), dataBefore);
            QCOMPARE_EQ(ConnectionSettings::values().dataDir, dataStored);
            QCOMPARE_EQ(script.boxes.size(), boxes + 2);
            for (std::size_t i = boxes; i < script.boxes.size(); ++i) {
                QCOMPARE_EQ(script.boxes[i].kind, ui::BoxKind::Warning);
                QCOMPARE_EQ(script.boxes[i].caption, ui::applicationTitle());
            }
        }
        QVERIFY(script.modals.empty());
        QVERIFY(script.unexpectedModals.empty());
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "test_settings_dialog.moc"
