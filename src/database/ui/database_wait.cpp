#include "database/ui/database_wait.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include "resources/texts.h"
#include "ui/ui_support.h"

namespace vorda::ui {
namespace {

// How long an attempt runs before the waiting window shows; most end well before.
constexpr std::chrono::milliseconds kQuietWait{400};
constexpr int kPollMs = 5;

}  // namespace

odbc::WaitEnd waitForDatabase(const std::function<bool()>& finished,
                              std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    const auto quietUntil = std::min(deadline, Clock::now() + kQuietWait);
    // First a quiet moment: the windows paint, the operator's input waits.
    while (!finished() && Clock::now() < quietUntil) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kPollMs);
        if (!finished()) {
            QThread::msleep(kPollMs);
        }
    }
    if (finished()) {
        return odbc::WaitEnd::Finished;
    }
    if (Clock::now() >= deadline) {
        return odbc::WaitEnd::TimedOut;
    }

    // Then a modal window with its cancel button: nothing else of the program takes input.
    QProgressDialog progress(text(texts::kConnecting), text(texts::kCancel), 0, 0,
                             QApplication::activeWindow());
    progress.setObjectName(QStringLiteral("databaseWait"));
    progress.setWindowTitle(QApplication::applicationDisplayName());
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QEventLoop loop;
    odbc::WaitEnd end = odbc::WaitEnd::Finished;
    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished()) {
            end = odbc::WaitEnd::Finished;
            loop.quit();
        } else if (Clock::now() >= deadline) {
            end = odbc::WaitEnd::TimedOut;
            loop.quit();
        }
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] {
        end = odbc::WaitEnd::Cancelled;
        loop.quit();
    });
    progress.show();
    poll.start();
    loop.exec();
    return end;
}

void installDatabaseWaiter() {
    odbc::setWaiter(&waitForDatabase);
}

}  // namespace vorda::ui
