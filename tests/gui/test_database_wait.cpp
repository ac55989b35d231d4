// Waiting for a database that does not answer: the windows keep painting, a waiting window with
// its cancel button appears, cancelling ends the wait at once, and without it the wait ends at
// the bound with the connection error.
#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "database/connection_settings.h"
#include "database/odbc.h"
#include "database/ui/database_wait.h"
#include "database/ui/dsn_manager_dialog.h"
#include "gui_script.h"
#include "platform/cp1251.h"
#include "support/odbc_sandbox.h"
#include "support/silent_server.h"

using namespace vorda;

namespace {

QProgressDialog* waitingWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QStringLiteral("databaseWait") && w->isVisible()) {
            return qobject_cast<QProgressDialog*>(w);
        }
    }
    return nullptr;
}

// A MariaDB data source on the silent server, made the current connection values.
void useSilentSource(test::OdbcSandbox& odbc, const test::SilentServer& silent, const char* dsn) {
    odbc.addDsn(dsn, "MariaDB Unicode",
                {{"Server", "127.0.0.1"}, {"Port", std::to_string(silent.port())}});
    ConnectionSettings::values() = {dsn, "nobody", "", ""};
}

}  // namespace

class TestDatabaseWait : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        saved_ = odbc::timeouts();
        odbc::timeouts().loginSeconds = 3;
        ui::installDatabaseWaiter();
    }
    void cleanup() {
        // The server is gone with the test, so an attempt given up on has returned by now or
        // soon, and no thread outlives the test.
        QVERIFY(odbc::settleAbandonedAttempts(std::chrono::seconds(10)));
        odbc::timeouts() = saved_;
        odbc::setWaiter({});
        ConnectionSettings::release();
    }

    void cancelEndsTheWaitAndTheWindowsKeepPainting() {
        test::OdbcSandbox odbc;
        test::SilentServer silent;
        useSilentSource(odbc, silent, "WAIT_CANCEL");

        int ticks = 0;
        QTimer painter;
        QObject::connect(&painter, &QTimer::timeout, [&] { ++ticks; });
        painter.start(20);
        bool sawWindow = false;
        QTimer::singleShot(1000, [&] {
            QProgressDialog* window = waitingWindow();
            sawWindow = window != nullptr;
            if (window != nullptr) {
                QPushButton* cancel = window->findChild<QPushButton*>();
                QVERIFY(cancel != nullptr);
                QCOMPARE(cancel->text(), QString::fromUtf8("Отмена"));
                QTest::mouseClick(cancel, Qt::LeftButton);
            }
        });
        const auto start = std::chrono::steady_clock::now();
        const ConnectOutcome out = ConnectionSettings(Environment{}).connect(false);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        QVERIFY(sawWindow);
        QVERIFY(!out.connected);
        QVERIFY(out.text.find(cp1251::fromUtf8("Подключение отменено.").value()) !=
                std::string::npos);
        QVERIFY2(seconds < 2.5, qPrintable(QString::number(seconds)));
        // The event loop ran all along: about 50 ticks in a second.
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QVERIFY(waitingWindow() == nullptr);
    }

    // Test in the data source manager waits in the same window, and a cancelled wait is no error.
    void aCancelledDataSourceTestShowsNoBox() {
        test::OdbcSandbox odbc;
        test::SilentServer silent;
        test::UiScript script;
        DsnEditDialog edit(nullptr, {"MariaDB Unicode"}, "", "MariaDB Unicode",
                           {{"Server", "127.0.0.1"}, {"Port", std::to_string(silent.port())}});
        QTimer::singleShot(1000, [] {
            QVERIFY(waitingWindow() != nullptr);
            QTest::mouseClick(waitingWindow()->findChild<QPushButton*>(), Qt::LeftButton);
        });
        QTest::mouseClick(&edit.testButton(), Qt::LeftButton);
        QVERIFY(script.boxes.empty());
    }

    void withoutCancelTheWaitEndsAtTheBound() {
        test::OdbcSandbox odbc;
        test::SilentServer silent;
        useSilentSource(odbc, silent, "WAIT_BOUND");
        const auto start = std::chrono::steady_clock::now();
        const ConnectOutcome out = ConnectionSettings(Environment{}).connect(false);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        QVERIFY(!out.connected);
        QVERIFY(out.isError);
        QVERIFY2(seconds >= 3 && seconds < 3 + 2 + 3, qPrintable(QString::number(seconds)));
        QVERIFY(waitingWindow() == nullptr);
    }

  private:
    odbc::Timeouts saved_;
};

QTEST_MAIN(TestDatabaseWait)
#include "test_database_wait.moc"
