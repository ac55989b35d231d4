// The data source page against real unixODBC data sources (SQLite driver, private ODBCINI and
// ODBCSYSINI): the list and its selection, the stored name, the connection test, the folder
// chooser and the data source manager behind the administrator button.
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "app/ui/settings_dialog.h"
#include "database/connection_settings.h"
#include "database/ui/data_source_page.h"
#include "database/ui/dsn_manager_dialog.h"
#include "gui_script.h"
#include "settings/settings_record.h"
#include "support/odbc_sandbox.h"
#include "support/temp_dir.h"

using namespace vorda;
using vorda::test::OdbcSandbox;
using vorda::test::TempDir;
using vorda::test::UiScript;

namespace {

// ork.ini in the current folder names the connection the page loads.
void writeOrkIni(const TempDir& dir, const std::string& source, const std::string& user = "op",
                 const std::string& password = "pw") {
    dir.write("ork.ini", "[DATABASE]\r\nODBC=" + source + "\r\nUSER=" + user +
                             "\r\nPASSWORD=" + password + "\r\n[DATA]\r\nDIR=/data/zel\r\n");
}

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

class TestDataSourcePage : public QObject {
    Q_OBJECT

  private slots:
    void listsSystemThenUserSourcesAndSelectsTheConfiguredName() {
        OdbcSandbox odbc;
        const std::string db = odbc.createSqliteDatabase("a.db", "CREATE TABLE T(x);");
        odbc.addSqliteDsn("LISTUSER", db);
        odbc.addSqliteDsn("LISTSYS2", db, true);
        odbc.addSqliteDsn("LISTSYS", db, true);
        TempDir dir;
        UiScript script;

        writeOrkIni(dir, "listsys");  // another letter case, and a prefix of two entries
        {
            DataSourcePage page(test::testEnvironment(dir.file("s.ini"), dir.path()));
            page.fill();  // as the main dialog does when it places the page
            QCOMPARE_EQ(test::comboItems(page.sourceBox()),
                        (QStringList{"LISTSYS2 (System DSN)", "LISTSYS (System DSN)",
                                     "LISTUSER (User DSN)"}));
            // The entry of that very name, not the first that begins with it.
            QCOMPARE_EQ(page.sourceBox().currentIndex(), 1);
            // Selecting at start-up is not a choice: the loaded name stays.
            QCOMPARE_EQ(ConnectionSettings::values().dataSource, std::string("listsys"));
            QCOMPARE_EQ(page.userEdit().text(), QStringLiteral("op"));
            QCOMPARE_EQ(page.passwordEdit().text(), QStringLiteral("pw"));
            QCOMPARE_EQ(page.passwordEdit().echoMode(), QLineEdit::Password);
            QCOMPARE_EQ(page.dataDirEdit().text(), QStringLiteral("/data/zel"));
        }
        // A name that is not listed, or only begins a listed one, is shown as it is, marked
        // as not found, and stays what Apply writes; Test tries it and never blanks it.
        for (const char* configured : {"NOWHERE", "LISTU"}) {
            writeOrkIni(dir, configured);
            DataSourcePage page(test::testEnvironment(dir.file("s.ini"), dir.path()));
            page.fill();
            QCOMPARE_EQ(page.sourceBox().count(), 4);
            QCOMPARE_EQ(page.sourceBox().currentIndex(), 3);
            QCOMPARE_EQ(page.sourceBox().currentText(),
                        QString::fromUtf8(configured) + QStringLiteral(" (не найден)"));
            QTest::mouseClick(&page.testButton(), Qt::LeftButton);
            QCOMPARE_EQ(ConnectionSettings::values().dataSource, std::string(configured));
            QCOMPARE_EQ(script.boxes.back().kind, ui::BoxKind::Error);
            QCOMPARE_EQ(page.sourceBox().currentIndex(), 3);
            ConnectionSettings::release();
        }
    }

    // The file's name is the one shown and written, whatever the list holds; a Cyrillic data
    // source name (odbc.ini is UTF-8) is listed, tested and saved in code page 1251, and one the
    // code page cannot hold is not offered, but the operator is told of it.
    void theConfiguredNameIsShownAndWrittenAsItIs() {
        OdbcSandbox odbc;
        const std::string db = odbc.createSqliteDatabase("cyr.db", "CREATE TABLE T(x);");
        odbc.addSqliteDsn("SEIS2", db, true);
        odbc.addSqliteDsn("SEIS", db, true);
        odbc.addSqliteDsn("ДЕМО", db);
        odbc.addSqliteDsn("中文", db);
        TempDir dir;
        dir.write("s.ini", "[DATABASE]\r\nODBC=seis\r\nUSER=op\r\n");
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        QComboBox& box = dialog.dataSourcePage().sourceBox();
        QCOMPARE_EQ(box.currentText(), QStringLiteral("SEIS (System DSN)"));
        QCOMPARE_EQ(box.count(), 3);
        QVERIFY(box.toolTip().endsWith(QStringLiteral(": 1.")));
        QVERIFY(dialog.apply());
        QVERIFY(contains(dir.read("s.ini"), "ODBC=seis\r\n"));

        box.setCurrentIndex(2);
        QCOMPARE_EQ(box.currentText(), QStringLiteral("ДЕМО (User DSN)"));
        QTest::mouseClick(&dialog.dataSourcePage().testButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{1});
        QCOMPARE_EQ(script.boxes[0].kind, ui::BoxKind::Information);
        QVERIFY(script.boxes[0].text.contains(QStringLiteral("DSN: ДЕМО\t")));
        QVERIFY(dialog.apply());
        QVERIFY(contains(dir.read("s.ini"), "ODBC=\xC4\xC5\xCC\xCE\r\n"));  // ДЕМО
        ConnectionSettings::release();
    }

    // Hundreds of data sources are all listed, in a drop-down of ordinary height.
    void aLongListScrollsInADropDownOfOrdinaryHeight() {
        OdbcSandbox odbc;
        for (int i = 0; i < 300; ++i) {
            odbc.addDsn("LONGLIST_" + std::to_string(i), "SQLite3", {}, i % 2 == 0);
        }
        TempDir dir;
        writeOrkIni(dir, "LONGLIST_299");
        UiScript script;
        DataSourcePage page(test::testEnvironment(dir.file("s.ini"), dir.path()));
        page.fill();
        page.resize(600, 400);
        page.show();
        QCOMPARE_EQ(page.sourceBox().count(), 300);
        QCOMPARE_EQ(page.sourceBox().currentText(), QStringLiteral("LONGLIST_299 (User DSN)"));
        page.sourceBox().showPopup();
        QWidget* popup = page.sourceBox().view()->window();
        QVERIFY(popup->isVisible());
        const int rowHeight = page.sourceBox().view()->sizeHintForRow(0);
        QVERIFY2(
            popup->height() <= rowHeight * (page.sourceBox().maxVisibleItems() + 2),
            qPrintable(
                QStringLiteral("%1 px for rows of %2 px").arg(popup->height()).arg(rowHeight)));
        page.sourceBox().hidePopup();
    }

    // Choosing an entry stores the name the driver manager knows; Apply writes that name.
    void choosingAnEntryStoresItsPlainName() {
        OdbcSandbox odbc;
        const std::string db = odbc.createSqliteDatabase("b.db", "CREATE TABLE T(x);");
        odbc.addSqliteDsn("CHOSEN SYS", db, true);
        odbc.addSqliteDsn("CHOSEN USER", db);
        TempDir dir;
        writeOrkIni(dir, "CHOSEN SYS");
        dir.write("s.ini", "[DATABASE]\r\nODBC=old\r\n");
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        dialog.tabs().setCurrentIndex(SettingsDialog::DataSourceTab);
        QComboBox& box = dialog.dataSourcePage().sourceBox();
        QCOMPARE_EQ(box.currentIndex(), 0);
        box.setFocus();
        QTest::keyClick(&box, Qt::Key_Down);  // the operator picks the user data source
        QCOMPARE_EQ(box.currentText(), QStringLiteral("CHOSEN USER (User DSN)"));
        QCOMPARE_EQ(ConnectionSettings::values().dataSource, std::string("CHOSEN USER"));
        QVERIFY(dialog.apply());
        QVERIFY(contains(dir.read("s.ini"), "ODBC=CHOSEN USER\r\n"));
        QVERIFY(contains(dir.read("s.ini"), "USER=op\r\n"));
    }

    void testButtonReportsSuccess() {
        OdbcSandbox odbc;
        const std::string db =
            odbc.createSqliteDatabase("c.db", "CREATE TABLE A(x); CREATE TABLE B(y);");
        odbc.addSqliteDsn("GOODDB", db);
        TempDir dir;
        writeOrkIni(dir, "GOODDB", "someone", "secret");
        UiScript script;
        DataSourcePage page(test::testEnvironment(dir.file("s.ini"), dir.path()));
        page.fill();
        page.userEdit().setText(QStringLiteral("OP"));
        QTest::mouseClick(&page.testButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{1});
        QCOMPARE_EQ(script.boxes[0].kind, ui::BoxKind::Information);
        QCOMPARE_EQ(script.boxes[0].caption, QStringLiteral("Подключение к источнику данных!"));
        QCOMPARE_EQ(script.boxes[0].text,
                    QStringLiteral("Успешное подключение к DSN: GOODDB\t\nПользователь: OP\n\n"
                                   "Количество таблиц: 2\n\tA\n\tB\n"));
        QCOMPARE_EQ(ConnectionSettings::values().dataSource, std::string("GOODDB"));
        QVERIFY(ConnectionSettings::connection() != SQL_NULL_HDBC);
        // A second test disconnects first and connects again.
        QTest::mouseClick(&page.testButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{2});
        QCOMPARE_EQ(script.boxes[1].text, script.boxes[0].text);
        ConnectionSettings::release();
    }

    void testButtonReportsFailure() {
        OdbcSandbox odbc;
        odbc.addDsn("NODRIVER", "No Such Driver", {{"Database", "/nowhere"}});
        TempDir dir;
        writeOrkIni(dir, "NODRIVER");
        UiScript script;
        DataSourcePage page(test::testEnvironment(dir.file("s.ini"), dir.path()));
        page.fill();
        QCOMPARE_EQ(page.sourceBox().currentText(), QStringLiteral("NODRIVER (User DSN)"));
        QTest::mouseClick(&page.testButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{1});
        QCOMPARE_EQ(script.boxes[0].kind, ui::BoxKind::Error);
        QCOMPARE_EQ(script.boxes[0].caption,
                    QStringLiteral("Ошибка при подключении к базе данных"));
        QVERIFY(script.boxes[0].text.startsWith(
            QStringLiteral("При попытке подключения к базе данных произошла ошибка:\n")));
        QVERIFY(script.boxes[0].text.size() >
                QStringLiteral("При попытке подключения к базе данных произошла ошибка:\n").size());

        // Nothing selected: the test tries the configured name and never blanks it.
        page.sourceBox().setCurrentIndex(-1);
        QTest::mouseClick(&page.testButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{2});
        QCOMPARE_EQ(script.boxes[1].kind, ui::BoxKind::Error);
        QCOMPARE_EQ(ConnectionSettings::values().dataSource, std::string("NODRIVER"));
        ConnectionSettings::release();
    }

    void folderChooserFillsTheDataDirectory() {
        OdbcSandbox odbc;
        TempDir dir;
        std::filesystem::create_directory(dir.file("zel"));
        writeOrkIni(dir, "ANY");
        UiScript script;
        DataSourcePage page(test::testEnvironment(dir.file("s.ini"), dir.path()));
        page.fill();
        script.modals.push_back([](QDialog&) { return static_cast<int>(QDialog::Rejected); });
        QTest::mouseClick(&page.browseButton(), Qt::LeftButton);
        QCOMPARE_EQ(page.dataDirEdit().text(), QStringLiteral("/data/zel"));
        QCOMPARE_EQ(ConnectionSettings::values().dataDir, std::string("/data/zel"));
        QString title;
        script.modals.push_back([&](QDialog& chooser) {
            title = chooser.windowTitle();
            auto& files = static_cast<QFileDialog&>(chooser);
            files.setDirectory(QString::fromStdString(dir.file("zel")));
            static_cast<QDialog&>(files).accept();
            return files.result();
        });
        QTest::mouseClick(&page.browseButton(), Qt::LeftButton);
        QCOMPARE_EQ(title, QStringLiteral("Выбор каталога"));
        QCOMPARE_EQ(ConnectionSettings::values().dataDir, dir.file("zel"));
        QVERIFY(script.unexpectedModals.empty());
    }

    // The administrator button runs our data source manager; a source added there is listed
    // when it closes.
    void administratorButtonRefillsTheList() {
        OdbcSandbox odbc;
        const std::string db = odbc.createSqliteDatabase("d.db", "CREATE TABLE T(x);");
        odbc.addSqliteDsn("BEFORE", db);
        TempDir dir;
        writeOrkIni(dir, "ADDEDHERE");
        UiScript script;
        DataSourcePage page(test::testEnvironment(dir.file("s.ini"), dir.path()));
        page.fill();
        QCOMPARE_EQ(test::comboItems(page.sourceBox()),
                    (QStringList{"BEFORE (User DSN)", "ADDEDHERE (не найден)"}));
        QCOMPARE_EQ(page.sourceBox().currentIndex(), 1);
        bool managerRan = false;
        script.modals.push_back([&](QDialog& shown) {
            auto* manager = qobject_cast<DsnManagerDialog*>(&shown);
            managerRan = manager != nullptr;
            if (manager == nullptr) {
                return static_cast<int>(QDialog::Rejected);
            }
            QTest::mouseClick(&manager->addButton(), Qt::LeftButton);
            return static_cast<int>(QDialog::Accepted);
        });
        script.modals.push_back([&](QDialog& shown) {
            auto* edit = qobject_cast<DsnEditDialog*>(&shown);
            if (edit == nullptr) {
                return static_cast<int>(QDialog::Rejected);
            }
            edit->nameEdit().setText(QStringLiteral("ADDEDHERE"));
            edit->driverBox().setCurrentText(QStringLiteral("SQLite3"));
            QTableWidget& table = edit->attributeTable();
            for (int row = 0; row < table.rowCount(); ++row) {
                if (table.item(row, 0)->text() == QStringLiteral("Database")) {
                    table.item(row, 1)->setText(QString::fromStdString(db));
                }
            }
            QTest::mouseClick(&edit->okButton(), Qt::LeftButton);
            return edit->result();
        });
        QTest::mouseClick(&page.adminButton(), Qt::LeftButton);
        QVERIFY(managerRan);
        QVERIFY(script.modals.empty());
        QCOMPARE_EQ(test::comboItems(page.sourceBox()),
                    (QStringList{"BEFORE (User DSN)", "ADDEDHERE (User DSN)"}));
        QCOMPARE_EQ(page.sourceBox().currentIndex(), 1);  // the current name is listed now
        QVERIFY(script.boxes.empty());
    }

    // Ctrl+Tab and Ctrl+PgUp/PgDown switch tabs from any field and never change its value.
    void ctrlKeysSwitchTabsWithoutTouchingTheField() {
        OdbcSandbox odbc;
        const std::string db = odbc.createSqliteDatabase("k.db", "CREATE TABLE T(x);");
        odbc.addSqliteDsn("KEYS_A", db);
        odbc.addSqliteDsn("KEYS_B", db);
        TempDir dir;
        writeOrkIni(dir, "KEYS_A");
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTabWidget& tabs = dialog.tabs();
        tabs.setCurrentIndex(SettingsDialog::DataSourceTab);
        QComboBox& box = dialog.dataSourcePage().sourceBox();
        QCOMPARE_EQ(box.currentIndex(), 0);
        box.setFocus();
        QTest::keyClick(&box, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE_EQ(tabs.currentIndex(), int(SettingsDialog::AdditionalTab));
        QCOMPARE_EQ(box.currentIndex(), 0);
        QCOMPARE_EQ(ConnectionSettings::values().dataSource, std::string("KEYS_A"));
        QTest::keyClick(&box, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE_EQ(tabs.currentIndex(), int(SettingsDialog::DataSourceTab));
        QTest::keyClick(&box, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE_EQ(tabs.currentIndex(), int(SettingsDialog::ChannelTab));
        QTest::keyClick(&dialog.dataSourcePage().userEdit(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE_EQ(tabs.currentIndex(), int(SettingsDialog::DataSourceTab));
        QTest::keyClick(&dialog.dataSourcePage().userEdit(), Qt::Key_Backtab,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE_EQ(tabs.currentIndex(), int(SettingsDialog::ChannelTab));
        QCOMPARE_EQ(box.currentIndex(), 0);
        QCOMPARE_EQ(dialog.dataSourcePage().userEdit().text(), QStringLiteral("op"));
        // Without Ctrl the combo box steps as before.
        QTest::keyClick(&box, Qt::Key_Down);
        QCOMPARE_EQ(box.currentIndex(), 1);
    }

    // With no command-line item and no small INI file, OK writes back the file's own
    // connection instead of the defaults.
    void okKeepsTheSettingsFilesOwnConnection() {
        OdbcSandbox odbc;
        TempDir dir;
        dir.write("s.ini",
                  "[DATABASE]\r\nODBC=SEIS\r\nUSER=operator\r\n[DATA]\r\nDIR=/srv/zel\r\n");
        UiScript script;
        SettingsDialog dialog(test::testEnvironment(dir.file("s.ini"), dir.path()));
        dialog.show();
        QTest::mouseClick(&dialog.okButton(), Qt::LeftButton);
        const std::string saved = dir.read("s.ini");
        QVERIFY2(contains(saved, "[DATABASE]\r\nODBC=SEIS\r\nUSER=operator\r\nPASSWORD=\r\n"),
                 saved.c_str());
        QVERIFY2(contains(saved, "[DATA]\r\nDIR=/srv/zel\r\n"), saved.c_str());
        QVERIFY(!contains(saved, "QMX"));
    }
};

QTEST_MAIN(TestDataSourcePage)
#include "test_data_source_page.moc"
