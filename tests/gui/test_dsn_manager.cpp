// Our ODBC data source manager: it lists the machine's data sources and adds, changes and
// removes user data sources in the driver manager's files, through its real widgets.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "database/connection_settings.h"
#include "database/odbc_admin.h"
#include "database/ui/dsn_manager_dialog.h"
#include "gui_script.h"
#include "support/db_servers.h"
#include "support/odbc_sandbox.h"
#include "support/temp_dir.h"

using namespace vorda;
using vorda::test::OdbcSandbox;
using vorda::test::UiScript;

namespace {

QTreeWidgetItem* row(DsnManagerDialog& manager, const QString& name) {
    for (int i = 0; i < manager.list().topLevelItemCount(); ++i) {
        if (manager.list().topLevelItem(i)->text(0) == name) {
            return manager.list().topLevelItem(i);
        }
    }
    return nullptr;
}

void setAttribute(DsnEditDialog& edit, const QString& key, const QString& value) {
    QTableWidget& table = edit.attributeTable();
    for (int r = 0; r < table.rowCount(); ++r) {
        if (table.item(r, 0)->text() == key) {
            table.item(r, 1)->setText(value);
            return;
        }
    }
}

QString attribute(DsnEditDialog& edit, const QString& key) {
    QTableWidget& table = edit.attributeTable();
    for (int r = 0; r < table.rowCount(); ++r) {
        if (table.item(r, 0)->text() == key) {
            return table.item(r, 1)->text();
        }
    }
    return QStringLiteral("<missing>");
}

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

bool connects(const std::string& source) {
    Environment env;
    env.currentDir = "/nonexistent";
    ConnectionSettings settings(env);
    ConnectionSettings::values() = {source, "", "", ""};
    const bool ok = settings.connect(false).connected;
    ConnectionSettings::release();
    return ok;
}

}  // namespace

class TestDsnManager : public QObject {
    Q_OBJECT

  private slots:
    void addsEditsAndRemovesAUserDataSource() {
        OdbcSandbox odbc;
        const std::string first = odbc.createSqliteDatabase("first.db", "CREATE TABLE A(x);");
        const std::string second = odbc.createSqliteDatabase("second.db", "CREATE TABLE B(x);");
        odbc.addSqliteDsn("SYSTEMONE", first, true);
        odbc.addSqliteDsn("USERONE", first);
        UiScript script;
        DsnManagerDialog manager;
        QCOMPARE_EQ(manager.windowTitle(), QStringLiteral("Источники данных ODBC"));
        QTreeWidgetItem* system = row(manager, QStringLiteral("SYSTEMONE"));
        QVERIFY(system != nullptr);
        // System sources first, as the data source page lists them; the first row is selected.
        QCOMPARE_EQ(manager.list().topLevelItem(0), system);
        QCOMPARE_EQ(manager.list().currentItem(), system);
        QVERIFY(system->isSelected());
        QCOMPARE_EQ(system->text(1), QStringLiteral("SQLite3"));
        QCOMPARE_EQ(system->text(2), QStringLiteral("системный"));
        manager.list().setCurrentItem(system);
        QVERIFY(!manager.editButton().isEnabled());  // system sources are only shown
        QVERIFY(!manager.removeButton().isEnabled());

        // Add: a new user source for an installed driver with its attributes.
        QStringList offeredDrivers;
        QStringList offeredKeys;
        script.modals.push_back([&](QDialog& shown) {
            auto& edit = static_cast<DsnEditDialog&>(shown);
            for (int i = 0; i < edit.driverBox().count(); ++i) {
                offeredDrivers << edit.driverBox().itemText(i);
            }
            for (int r = 0; r < edit.attributeTable().rowCount(); ++r) {
                offeredKeys << edit.attributeTable().item(r, 0)->text();
            }
            QTest::keyClicks(&edit.nameEdit(), QStringLiteral("MANAGED"));
            // Each driver offers its own keys; the empty ones of the driver before go.
            edit.driverBox().setCurrentText(QStringLiteral("PostgreSQL Unicode"));
            for (int r = 0; r < edit.attributeTable().rowCount(); ++r) {
                offeredKeys << edit.attributeTable().item(r, 0)->text();
            }
            setAttribute(edit, QStringLiteral("Port"), QStringLiteral("5432"));
            edit.driverBox().setCurrentText(QStringLiteral("SQLite3"));
            for (int r = 0; r < edit.attributeTable().rowCount(); ++r) {
                offeredKeys << "sqlite:" + edit.attributeTable().item(r, 0)->text();
            }
            setAttribute(edit, QStringLiteral("Database"), QString::fromStdString(first));
            QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
            return edit.result();
        });
        QTest::mouseClick(&manager.addButton(), Qt::LeftButton);
        QVERIFY(offeredDrivers.contains(QStringLiteral("SQLite3")));
        QCOMPARE_EQ(offeredKeys, (QStringList{"Database", "Servername", "Port", "Database",
                                              "sqlite:Port", "sqlite:Database"}));
        QTreeWidgetItem* added = row(manager, QStringLiteral("MANAGED"));
        QVERIFY(added != nullptr);
        QCOMPARE_EQ(added->text(1), QStringLiteral("SQLite3"));
        QCOMPARE_EQ(added->text(2), QStringLiteral("пользовательский"));
        QCOMPARE_EQ(manager.list().currentItem(), added);
        QVERIFY(manager.editButton().isEnabled());
        const std::string ini = vorda::test::readFile(odbc.userIniPath());
        QVERIFY(contains(ini, "[MANAGED]"));
        QVERIFY(contains(ini, first));
        QVERIFY(contains(ini, "5432"));
        QVERIFY(!contains(ini, "Server"));  // offered fields left empty are not written
        QVERIFY(connects("MANAGED"));

        // Edit: the name is fixed, the attributes are shown and can change.
        QString shownDatabase;
        bool nameFixed = false;
        script.modals.push_back([&](QDialog& shown) {
            auto& edit = static_cast<DsnEditDialog&>(shown);
            nameFixed = edit.nameEdit().isReadOnly() && edit.nameEdit().text() == "MANAGED";
            shownDatabase = attribute(edit, QStringLiteral("Database"));
            setAttribute(edit, QStringLiteral("Database"), QString::fromStdString(second));
            QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
            return edit.result();
        });
        QTest::mouseClick(&manager.editButton(), Qt::LeftButton);
        QVERIFY(nameFixed);
        QCOMPARE_EQ(shownDatabase, QString::fromStdString(first));
        const OdbcAttributes now = odbcDataSourceAttributes("MANAGED", false);
        bool secondStored = false;
        for (const auto& [key, value] : now) {
            secondStored = secondStored || (key == "Database" && value == second);
        }
        QVERIFY(secondStored);

        // Remove: No keeps it, Yes removes it.
        manager.list().setCurrentItem(row(manager, QStringLiteral("MANAGED")));
        script.answers = {ui::BoxAnswer::No};
        QTest::mouseClick(&manager.removeButton(), Qt::LeftButton);
        QVERIFY(row(manager, QStringLiteral("MANAGED")) != nullptr);
        script.answers = {ui::BoxAnswer::Yes};
        QTest::mouseClick(&manager.removeButton(), Qt::LeftButton);
        QVERIFY(row(manager, QStringLiteral("MANAGED")) == nullptr);
        QVERIFY(row(manager, QStringLiteral("SYSTEMONE")) != nullptr);
        QVERIFY(!contains(vorda::test::readFile(odbc.userIniPath()), "[MANAGED]"));
        QCOMPARE_EQ(script.boxes.size(), std::size_t{2});  // the two questions only
        QVERIFY(script.unexpectedModals.empty());
    }

    // Tab leaves the table of parameters: OK, Test and the name are reached from it.
    void tabLeavesTheParameterTable() {
        OdbcSandbox odbc;
        UiScript script;
        DsnEditDialog edit(nullptr, {"SQLite3"}, {}, {}, {{"Server", "host"}});
        edit.show();
        QApplication::setActiveWindow(&edit);
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        edit.attributeTable().setFocus();
        QList<QWidget*> seen;
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        QVERIFY(!seen.contains(&edit.attributeTable()));
        QVERIFY(seen.contains(&edit.okButton()));
        QVERIFY(seen.contains(&edit.testButton()));
        edit.attributeTable().setFocus();
        QTest::keyClick(&edit.attributeTable(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE_EQ(QApplication::focusWidget(), &edit.driverBox());
    }

    void badNamesAndKeysAreRefusedAtTheDialog() {
        OdbcSandbox odbc;
        UiScript script;
        DsnEditDialog edit(nullptr, {"SQLite3"}, {}, {}, {{"Server", "host"}});
        edit.show();
        edit.driverBox().setCurrentText(QStringLiteral("SQLite3"));
        for (const QString& name :
             {QString(), QStringLiteral("a=b"), QStringLiteral("[x]"), QStringLiteral("名前")}) {
            edit.nameEdit().setText(name);
            QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
            QVERIFY2(edit.isVisible(), qPrintable(name));
            QCOMPARE_EQ(edit.result(), 0);
        }
        QCOMPARE_EQ(script.boxes.size(), std::size_t{4});
        // Each box says what is wrong: here the reserved sign.
        QVERIFY2(script.boxes[1].text.contains(QStringLiteral("«=»")),
                 qPrintable(script.boxes[1].text));
        edit.nameEdit().setText(QStringLiteral("ИМЯ ДЕМО"));  // Cyrillic is fine
        QCOMPARE_EQ(edit.attributeTable().item(1, 0)->text(), QStringLiteral("Database"));
        edit.attributeTable().item(1, 0)->setText(QStringLiteral("Server"));  // a repeated key
        edit.attributeTable().item(1, 1)->setText(QStringLiteral("other"));
        QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
        QVERIFY(edit.isVisible());
        QCOMPARE_EQ(script.boxes.size(), std::size_t{5});
        QVERIFY2(script.boxes[4].text.contains(QStringLiteral("Server")),
                 qPrintable(script.boxes[4].text));
        edit.attributeTable().item(1, 0)->setText(QStringLiteral("Database"));
        edit.attributeTable().item(1, 1)->setText(QString());
        QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
        QCOMPARE_EQ(edit.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE_EQ(edit.attributes(), (OdbcAttributes{{"Server", "host"}}));
    }

    // Enter on a parameter cell opens or finishes that cell; it does not close the dialog
    // (which would write a data source with half its parameters). In the name field Enter is OK.
    void enterInTheParameterTableEditsTheCell() {
        OdbcSandbox odbc;
        UiScript script;
        DsnEditDialog edit(nullptr, {"SQLite3"}, {}, {}, {});
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.nameEdit().setText(QStringLiteral("HALFWAY"));
        QTableWidget& table = edit.attributeTable();
        table.setFocus();
        table.setCurrentCell(0, 1);
        QTest::keyClick(&table, Qt::Key_Return);
        QVERIFY(edit.isVisible());
        QCOMPARE_EQ(edit.result(), 0);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor != nullptr);
        QTest::keyClicks(editor, QStringLiteral("/data/seis.db"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        QVERIFY(edit.isVisible());
        QCOMPARE_EQ(edit.result(), 0);
        QCOMPARE_EQ(table.item(0, 1)->text(), QStringLiteral("/data/seis.db"));
        edit.nameEdit().setFocus();
        QTest::keyClick(&edit.nameEdit(), Qt::Key_Return);
        QCOMPARE_EQ(edit.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE_EQ(edit.attributes(), (OdbcAttributes{{"Database", "/data/seis.db"}}));
        QVERIFY(script.boxes.empty());
    }

    // A PostgreSQL data source made through the manager's add path with the offered keys: Test
    // connects with the entered values before anything is written, and the written source
    // reaches the server over TCP (the test server has no socket where the driver looks).
    void aPostgresSourceMadeHereIsTestedAndConnectsOverTcp() {
        test::PostgresServer& pg = test::PostgresServer::shared();
        QVERIFY2(pg.running(), pg.error().c_str());
        std::string error;
        QVERIFY2(pg.createDatabase("mgr_pg", "create table made_in_manager (x int);", &error),
                 error.c_str());
        OdbcSandbox odbc;
        UiScript script;
        ConnectionSettings::values() = {"", pg.user(), "", ""};
        DsnManagerDialog manager;
        bool writtenBeforeOk = true;
        script.modals.push_back([&](QDialog& shown) {
            auto& edit = static_cast<DsnEditDialog&>(shown);
            edit.nameEdit().setText(QStringLiteral("PG_MANAGED"));
            edit.driverBox().setCurrentText(QStringLiteral("PostgreSQL Unicode"));
            setAttribute(edit, QStringLiteral("Servername"), QStringLiteral("127.0.0.1"));
            setAttribute(edit, QStringLiteral("Port"), QString::number(pg.port()));
            setAttribute(edit, QStringLiteral("Database"), QStringLiteral("mgr_pg"));
            QTest::mouseClick(&edit.testButton(), Qt::LeftButton);
            writtenBeforeOk = contains(vorda::test::readFile(odbc.userIniPath()), "PG_MANAGED");
            QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
            return edit.result();
        });
        QTest::mouseClick(&manager.addButton(), Qt::LeftButton);
        QVERIFY(!writtenBeforeOk);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{1});
        QCOMPARE_EQ(script.boxes[0].kind, ui::BoxKind::Information);
        QVERIFY(script.boxes[0].text.startsWith(QStringLiteral("Подключение установлено.")));
        QVERIFY(row(manager, QStringLiteral("PG_MANAGED")) != nullptr);

        ConnectionSettings::values() = {"PG_MANAGED", pg.user(), "", ""};
        const ConnectOutcome out = ConnectionSettings(Environment{}).connect(true);
        QVERIFY2(out.connected, out.text.c_str());
        QVERIFY(contains(out.text, "\tmade_in_manager\r\n"));
        ConnectionSettings::release();

        // Test with a wrong port says why, with the driver's word.
        script.modals.push_back([&](QDialog& shown) {
            auto& edit = static_cast<DsnEditDialog&>(shown);
            setAttribute(edit, QStringLiteral("Port"), QStringLiteral("1"));
            QTest::mouseClick(&edit.testButton(), Qt::LeftButton);
            return static_cast<int>(QDialog::Rejected);
        });
        QTest::mouseClick(&manager.editButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{2});
        QCOMPARE_EQ(script.boxes[1].kind, ui::BoxKind::Error);
        QVERIFY2(script.boxes[1].text.contains(QStringLiteral("127.0.0.1")),
                 qPrintable(script.boxes[1].text));
    }

    // A write that fails says which file and why, once.
    void aFailedWriteNamesTheFile() {
        OdbcSandbox odbc;
        UiScript script;
        const std::string missing = odbc.dir().file("gone/odbc.ini");
        ::setenv("ODBCINI", missing.c_str(), 1);  // the sandbox puts its own back
        DsnManagerDialog manager;
        script.modals.push_back([&](QDialog& shown) {
            auto& edit = static_cast<DsnEditDialog&>(shown);
            edit.nameEdit().setText(QStringLiteral("NOWHERE"));
            edit.driverBox().setCurrentText(QStringLiteral("SQLite3"));
            setAttribute(edit, QStringLiteral("Database"), QStringLiteral("/x.db"));
            QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
            return edit.result();
        });
        QTest::mouseClick(&manager.addButton(), Qt::LeftButton);
        QCOMPARE_EQ(script.boxes.size(), std::size_t{1});
        const QString text = script.boxes[0].text;
        QVERIFY2(text.contains(QString::fromStdString(missing)) &&
                     text.contains(QStringLiteral("нет такого файла или каталога")) &&
                     !text.contains(QStringLiteral("General error")),
                 qPrintable(text));
    }
};

QTEST_MAIN(TestDsnManager)
#include "test_dsn_manager.moc"
