#pragma once
// A thin owner layer over the ODBC call-level interface of the driver manager: handles that free
// themselves, the first diagnostic of a handle, and fetch loops that always end.
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vorda::odbc {

// Only SQL_ERROR (and an invalid handle) counts as failure; SQL_SUCCESS_WITH_INFO and
// SQL_NO_DATA do not.
inline bool failed(SQLRETURN rc) {
    return rc == SQL_ERROR || rc == SQL_INVALID_HANDLE;
}

// Owns one ODBC handle and frees it with SQLFreeHandle. A connection handle is disconnected
// first (a connected handle cannot be freed). Move-only.
class Handle {
  public:
    Handle() = default;
    Handle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept;
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    // Allocates a handle of the type under parent (SQL_NULL_HANDLE for an environment); an
    // empty Handle when the driver manager refuses.
    static Handle allocate(SQLSMALLINT type, SQLHANDLE parent);
    // A new environment set to ODBC 3; empty when either call fails.
    static Handle environment();

    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }

    // Frees the handle now (disconnecting a connection first).
    void reset();

  private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// The message text of the handle's first diagnostic record (as SQLGetDiagRec gives it, at most
// 1023 characters); empty when there is none.
std::string firstDiagnostic(SQLSMALLINT type, SQLHANDLE handle);
inline std::string firstDiagnostic(const Handle& h) {
    return firstDiagnostic(h.type(), h.get());
}

// How long the program waits for the database: for a connection to be made, and for a
// statement to answer. A server that accepts a connection and then says nothing costs at most
// these. Tests shorten them.
struct Timeouts {
    SQLULEN loginSeconds = 15;
    SQLULEN querySeconds = 15;
};
Timeouts& timeouts();

// Sets the login and connection timeouts on a connection handle before it connects. A driver
// that does not keep them refuses quietly.
void setConnectionTimeouts(SQLHDBC connection);

// A new statement on the connection with the query timeout set; empty when it cannot be made.
Handle statement(SQLHDBC connection);

// Cancels a statement that runs longer than the query timeout and a little more, for drivers
// that do not keep the timeout themselves: a watchdog thread calls SQLCancel, the one call
// ODBC lets another thread make on a statement while it runs. watch() points it at the
// statement about to run (with a fresh deadline), stop watching with watch(SQL_NULL_HSTMT) or
// let it go; the statement is never cancelled after that (a cancel under way is waited for).
// One thread of the process serves every watchdog, so watching costs no thread of its own.
class StatementWatchdog {
  public:
    StatementWatchdog();
    explicit StatementWatchdog(SQLHSTMT statement) : StatementWatchdog() { watch(statement); }
    ~StatementWatchdog();
    StatementWatchdog(const StatementWatchdog&) = delete;
    StatementWatchdog& operator=(const StatementWatchdog&) = delete;

    void watch(SQLHSTMT statement);

    // Watches a statement for as long as it lives; declare it after the statement's Handle, so
    // that it stops watching before the statement is freed.
    class Scope {
      public:
        Scope(StatementWatchdog& watchdog, SQLHSTMT statement) : watchdog_(watchdog) {
            watchdog_.watch(statement);
        }
        ~Scope() { watchdog_.watch(SQL_NULL_HSTMT); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        StatementWatchdog& watchdog_;
    };

  private:
    std::size_t slot_;
};

// How a wait for the driver ended.
enum class WaitEnd { Finished, TimedOut, Cancelled };

// Waits for a call that runs on another thread: returns Finished once finished() is true,
// TimedOut when the deadline passes first, Cancelled when the operator stops waiting. The
// default polls; the user interface installs one that keeps its windows painting and offers a
// cancel button. An empty waiter brings the default back.
using Waiter = std::function<WaitEnd(const std::function<bool()>& finished,
                                     std::chrono::steady_clock::time_point deadline)>;
void setWaiter(Waiter waiter);

// A connection attempt that was waited for.
struct ConnectAttempt {
    WaitEnd end = WaitEnd::Finished;
    SQLRETURN rc = SQL_ERROR;  // the call's result when it finished
    std::string diagnostic;    // its first diagnostic (UTF-8) when it failed
    Handle environment;        // the handles, when it finished
    Handle connection;
};

// Runs connectCall (SQLConnect or SQLDriverConnect on the handle) on a worker thread and waits
// for it through the waiter, at most the login timeout and a little more: not every driver
// keeps the login timeout while a server that took the connection says nothing. Only the worker
// uses the handles while the call runs; when the wait ends first, the worker frees them once
// the call returns, and the attempt counts as failed.
ConnectAttempt connectBounded(Handle environment, Handle connection,
                              std::function<SQLRETURN(SQLHDBC)> connectCall);

// Waits at most `limit` for the driver calls of the attempts given up on to return, and ends
// their threads. True when none is left. A process must not run its exit handlers while one is
// left: the driver would go on using the libraries those handlers tear down.
bool settleAbandonedAttempts(std::chrono::milliseconds limit);

// Why an attempt failed, for the operator (UTF-8): the driver's diagnostic, or that the server
// did not answer within the bound, or that the operator stopped waiting.
std::string attemptFailure(const ConnectAttempt& attempt);

// The first diagnostic of the handle as code page 1251 text for the operator (the driver
// manager and the drivers write UTF-8 here; what the code page cannot hold becomes '?').
std::string diagnostic1251(SQLSMALLINT type, SQLHANDLE handle);

// ODBC functions take unsigned character pointers for texts they do not change.
inline SQLCHAR* text(const std::string& s) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

// The text in a bound character buffer after a fetch: empty for NULL, never past the buffer.
std::string boundText(const char* buffer, std::size_t bufferSize, SQLLEN indicator);

// The text in a bound wide-character (UTF-16) buffer after a fetch: empty for NULL, never past
// the buffer. bufferChars counts SQLWCHARs; the indicator counts bytes.
std::u16string boundWideText(const SQLWCHAR* buffer, std::size_t bufferChars, SQLLEN indicator);

// Runs step() until it returns SQL_NO_DATA, calling onRow() after each successful step. A
// failed step is skipped; a second failure in a row ends the loop, so a cursor that keeps
// failing never loops forever. onRow() returns false to stop early. Returns the rows taken.
template <class Step, class OnRow>
std::size_t fetchLoop(Step&& step, OnRow&& onRow) {
    std::size_t rows = 0;
    bool lastFailed = false;
    for (;;) {
        const SQLRETURN rc = step();
        if (rc == SQL_NO_DATA) {
            break;
        }
        if (failed(rc) || (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)) {
            if (lastFailed || rc == SQL_INVALID_HANDLE) {
                break;
            }
            lastFailed = true;
            continue;
        }
        lastFailed = false;
        ++rows;
        if (!onRow()) {
            break;
        }
    }
    return rows;
}

// Fetches every row of the statement's result set, calling onRow() for each.
template <class OnRow>
std::size_t fetchAll(SQLHSTMT statement, OnRow&& onRow) {
    return fetchLoop([statement] { return SQLFetch(statement); }, onRow);
}

}  // namespace vorda::odbc
