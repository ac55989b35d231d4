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
        UiScript script;
        DsnManagerDialog manager;
        QCOMPARE_EQ(manager.windowTitle(), QStringLiteral("Источники данных ODBC"));
        QTreeWidgetItem* system = row(manager, QStringLiteral("SYSTEMONE"));
        QVERIFY(system != nullptr);
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
            edit.driverBox().setCurrentText(QStringLiteral("SQLite3"));
            setAttribute(edit, QStringLiteral("Database"), QString::fromStdString(first));
            setAttribute(edit, QStringLiteral("Port"), QStringLiteral("5432"));
            QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
            return edit.result();
        });
        QTest::mouseClick(&manager.addButton(), Qt::LeftButton);
        QVERIFY(offeredDrivers.contains(QStringLiteral("SQLite3")));
        for (const char* key : {"Database", "Server", "Port"}) {
            QVERIFY2(offeredKeys.contains(QLatin1String(key)), key);
        }
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

    void badNamesAndKeysAreRefusedAtTheDialog() {
        OdbcSandbox odbc;
        UiScript script;
        DsnEditDialog edit(nullptr, {"SQLite3"}, {}, {}, {});
        edit.show();
        edit.driverBox().setCurrentText(QStringLiteral("SQLite3"));
        for (const QString& name :
             {QString(), QStringLiteral("a=b"), QStringLiteral("[x]"), QStringLiteral("имя")}) {
            edit.nameEdit().setText(name);
            QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
            QVERIFY2(edit.isVisible(), qPrintable(name));
            QCOMPARE_EQ(edit.result(), 0);
        }
        QCOMPARE_EQ(script.boxes.size(), std::size_t{4});
        edit.nameEdit().setText(QStringLiteral("GOOD NAME"));
        setAttribute(edit, QStringLiteral("Server"), QStringLiteral("host"));
        edit.attributeTable().item(0, 0)->setText(QStringLiteral("Server"));  // a repeated key
        QTest::mouseClick(&edit.okButton(), Qt::LeftButton);
        QVERIFY(edit.isVisible());
        QCOMPARE_EQ(script.boxes.size(), std::size_t{5});
        edit.attributeTable().item(0, 0)->setText(QStringLiteral("Database"));
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
};

QTEST_MAIN(TestDsnManager)
#include "test_dsn_manager.moc"
