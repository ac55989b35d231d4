#pragma once
// Waiting for the database without freezing the windows: while a connection attempt runs on
// its worker thread, the interface keeps painting; when the attempt takes longer than a moment, a
// small modal window says so and offers "Отмена". Until that window shows, the operator's input
// waits in the queue, so nothing else of the program can start meanwhile.
#include <chrono>
#include <functional>

#include "database/odbc.h"

class QWidget;

namespace vorda::ui {

// The waiter itself (see odbc::Waiter).
odbc::WaitEnd waitForDatabase(const std::function<bool()>& finished,
                              std::chrono::steady_clock::time_point deadline);

// Makes it the waiter of every connection attempt of the program.
void installDatabaseWaiter();

}  // namespace vorda::ui
