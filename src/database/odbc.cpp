#include "database/odbc.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/cp1251.h"
#include "resources/texts.h"

namespace vorda::odbc {

Handle::Handle(Handle&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, SQLHANDLE{})) {}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        reset();
        type_ = other.type_;
        handle_ = std::exchange(other.handle_, SQLHANDLE{});
    }
    return *this;
}

Handle Handle::allocate(SQLSMALLINT type, SQLHANDLE parent) {
    SQLHANDLE h = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(type, parent, &h);
    if (failed(rc) || h == SQL_NULL_HANDLE) {
        // Some driver managers hand out an environment handle even on failure, only to
        // report the error through it; it is freed all the same.
        if (h != SQL_NULL_HANDLE) {
            SQLFreeHandle(type, h);
        }
        return {};
    }
    return {type, h};
}

Handle Handle::environment() {
    Handle env = allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    if (!env) {
        return {};
    }
    const SQLRETURN rc = SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                                       reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (failed(rc)) {
        return {};
    }
    return env;
}

void Handle::reset() {
    if (handle_ == SQL_NULL_HANDLE) {
        return;
    }
    if (type_ == SQL_HANDLE_DBC) {
        // Fails harmlessly when the connection is not open.
        SQLDisconnect(handle_);
    }
    SQLFreeHandle(type_, handle_);
    handle_ = SQL_NULL_HANDLE;
}

std::string firstDiagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    if (handle == SQL_NULL_HANDLE) {
        return {};
    }
    std::array<SQLCHAR, 1024> message{};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(type, handle, 1, nullptr, nullptr, message.data(),
                                       static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        return {};
    }
    const char* p = reinterpret_cast<const char*>(message.data());
    return std::string(p, ::strnlen(p, message.size() - 1));
}

Timeouts& timeouts() {
    static Timeouts t;
    return t;
}

void setConnectionTimeouts(SQLHDBC connection) {
    const Timeouts& t = timeouts();
    SQLSetConnectAttr(connection, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(t.loginSeconds), SQL_IS_UINTEGER);
    SQLSetConnectAttr(connection, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(t.querySeconds), SQL_IS_UINTEGER);
}

Handle statement(SQLHDBC connection) {
    Handle stmt = Handle::allocate(SQL_HANDLE_STMT, connection);
    if (stmt) {
        SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(timeouts().querySeconds), SQL_IS_UINTEGER);
    }
    return stmt;
}

namespace {

// The thread that cancels the statements watched too long, with what it watches: a slot per
// StatementWatchdog. It cancels under the lock, so a watchdog that stops watching waits for a
// cancel under way to end before its statement is freed.
class CancelMonitor {
  public:
    static CancelMonitor& instance() {
        static CancelMonitor monitor;
        return monitor;
    }
    ~CancelMonitor() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    std::size_t open() {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            if (!slots_[i].used) {
                slots_[i] = Slot{true, SQL_NULL_HSTMT, {}};
                return i;
            }
        }
        slots_.push_back(Slot{true, SQL_NULL_HSTMT, {}});
        return slots_.size() - 1;
    }
    void watch(std::size_t slot, SQLHSTMT statement) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            slots_[slot].statement = statement;
            slots_[slot].deadline = std::chrono::steady_clock::now() +
                                    std::chrono::seconds(timeouts().querySeconds) +
                                    std::chrono::seconds(2);
        }
        if (statement != SQL_NULL_HSTMT) {
            changed_.notify_all();
        }
    }
    void close(std::size_t slot) {
        const std::lock_guard<std::mutex> lock(mutex_);
        slots_[slot] = Slot{};
    }

  private:
    struct Slot {
        bool used = false;
        SQLHSTMT statement = SQL_NULL_HSTMT;
        std::chrono::steady_clock::time_point deadline;
    };

    CancelMonitor() : thread_([this] { run(); }) {}

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopped_) {
            Slot* first = nullptr;
            for (Slot& slot : slots_) {
                if (slot.statement != SQL_NULL_HSTMT &&
                    (first == nullptr || slot.deadline < first->deadline)) {
                    first = &slot;
                }
            }
            if (first == nullptr) {
                changed_.wait(lock);
            } else if (std::chrono::steady_clock::now() >= first->deadline) {
                SQLCancel(first->statement);
                first->statement = SQL_NULL_HSTMT;
            } else {
                changed_.wait_until(lock, first->deadline);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopped_ = false;
    std::vector<Slot> slots_;
    std::thread thread_;  // last: started when everything it uses is there
};

}  // namespace

StatementWatchdog::StatementWatchdog() : slot_(CancelMonitor::instance().open()) {}

void StatementWatchdog::watch(SQLHSTMT statement) {
    CancelMonitor::instance().watch(slot_, statement);
}

StatementWatchdog::~StatementWatchdog() {
    CancelMonitor::instance().close(slot_);
}

namespace {

Waiter& installedWaiter() {
    static Waiter waiter;
    return waiter;
}

// What the caller and the worker of one connection attempt share. The handles belong to the
// worker until it has set `finished`; then to the caller, unless the caller has given up, in
// which case the worker frees them.
struct AttemptState {
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    bool abandoned = false;
    SQLRETURN rc = SQL_ERROR;
    std::string diagnostic;
    Handle environment;
    Handle connection;
};

// The threads of the attempts given up on, kept until their driver call returns, so that they
// are joined rather than left running while the process ends. A worker touches only its own
// state, never this list.
class AbandonedAttempts {
  public:
    static AbandonedAttempts& instance() {
        static AbandonedAttempts attempts;
        return attempts;
    }

    void add(std::shared_ptr<AttemptState> state, std::thread thread) {
        const std::lock_guard<std::mutex> lock(mutex_);
        reap(std::chrono::steady_clock::now());
        attempts_.push_back({std::move(state), std::move(thread)});
    }

    bool settle(std::chrono::steady_clock::time_point deadline) {
        const std::lock_guard<std::mutex> lock(mutex_);
        reap(deadline);
        return attempts_.empty();
    }

    ~AbandonedAttempts() {
        // Reached only when the process ends without settling: a thread still in its driver
        // call is let go, since joining it could wait without end.
        for (Attempt& a : attempts_) {
            if (finished(*a.state, std::chrono::steady_clock::now())) {
                a.thread.join();
            } else {
                a.thread.detach();
            }
        }
    }

    AbandonedAttempts(const AbandonedAttempts&) = delete;
    AbandonedAttempts& operator=(const AbandonedAttempts&) = delete;

  private:
    struct Attempt {
        std::shared_ptr<AttemptState> state;
        std::thread thread;
    };

    AbandonedAttempts() = default;

    static bool finished(AttemptState& state, std::chrono::steady_clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(state.mutex);
        return state.changed.wait_until(lock, deadline, [&state] { return state.finished; });
    }

    // Joins the threads whose call returns by the deadline.
    void reap(std::chrono::steady_clock::time_point deadline) {
        std::erase_if(attempts_, [deadline](Attempt& a) {
            if (!finished(*a.state, deadline)) {
                return false;
            }
            a.thread.join();
            return true;
        });
    }

    std::mutex mutex_;
    std::vector<Attempt> attempts_;
};

}  // namespace

bool settleAbandonedAttempts(std::chrono::milliseconds limit) {
    return AbandonedAttempts::instance().settle(std::chrono::steady_clock::now() + limit);
}

void setWaiter(Waiter waiter) {
    installedWaiter() = std::move(waiter);
}

ConnectAttempt connectBounded(Handle environment, Handle connection,
                              std::function<SQLRETURN(SQLHDBC)> connectCall) {
    auto state = std::make_shared<AttemptState>();
    const auto dbc = static_cast<SQLHDBC>(connection.get());
    state->environment = std::move(environment);
    state->connection = std::move(connection);
    std::thread worker([state, dbc, call = std::move(connectCall)] {
        const SQLRETURN rc = call(dbc);
        std::string diagnostic = failed(rc) ? firstDiagnostic(SQL_HANDLE_DBC, dbc) : std::string();
        const std::lock_guard<std::mutex> lock(state->mutex);
        state->rc = rc;
        state->diagnostic = std::move(diagnostic);
        state->finished = true;
        if (state->abandoned) {
            state->connection.reset();
            state->environment.reset();
        }
        state->changed.notify_all();
    });

    // Drivers that keep the login timeout report their own message a little before this.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::seconds(timeouts().loginSeconds) + std::chrono::seconds(2);
    const Waiter& waiter = installedWaiter();
    WaitEnd end = WaitEnd::Finished;
    if (waiter) {
        end = waiter(
            [&state] {
                const std::lock_guard<std::mutex> lock(state->mutex);
                return state->finished;
            },
            deadline);
    }

    ConnectAttempt attempt;
    std::unique_lock<std::mutex> lock(state->mutex);
    if (!waiter) {
        state->changed.wait_until(lock, deadline, [&state] { return state->finished; });
    }
    if (!state->finished) {
        state->abandoned = true;
        lock.unlock();
        AbandonedAttempts::instance().add(std::move(state), std::move(worker));
        attempt.end = end == WaitEnd::Finished ? WaitEnd::TimedOut : end;
        return attempt;
    }
    attempt.end = WaitEnd::Finished;
    attempt.rc = state->rc;
    attempt.diagnostic = std::move(state->diagnostic);
    attempt.environment = std::move(state->environment);
    attempt.connection = std::move(state->connection);
    lock.unlock();
    worker.join();  // it has nothing left to do but end
    return attempt;
}

std::string attemptFailure(const ConnectAttempt& attempt) {
    switch (attempt.end) {
        case WaitEnd::TimedOut:
            return texts::format(texts::kServerSilent, {std::to_string(timeouts().loginSeconds)});
        case WaitEnd::Cancelled:
            return std::string(texts::kConnectCancelled);
        case WaitEnd::Finished:
            break;
    }
    return attempt.diagnostic;
}

std::string diagnostic1251(SQLSMALLINT type, SQLHANDLE handle) {
    return cp1251::fromUtf8Lossy(firstDiagnostic(type, handle));
}

std::u16string boundWideText(const SQLWCHAR* buffer, std::size_t bufferChars, SQLLEN indicator) {
    if (indicator == SQL_NULL_DATA || bufferChars == 0) {
        return {};
    }
    std::size_t n = 0;
    while (n + 1 < bufferChars && buffer[n] != 0) {
        ++n;
    }
    if (indicator >= 0) {
        n = std::min(n, static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR));
    }
    std::u16string text(n, u'\0');
    for (std::size_t i = 0; i < n; ++i) {
        text[i] = static_cast<char16_t>(buffer[i]);
    }
    return text;
}

std::string boundText(const char* buffer, std::size_t bufferSize, SQLLEN indicator) {
    if (indicator == SQL_NULL_DATA || bufferSize == 0) {
        return {};
    }
    std::size_t n = ::strnlen(buffer, bufferSize - 1);
    if (indicator >= 0) {
        n = std::min(n, static_cast<std::size_t>(indicator));
    }
    return std::string(buffer, n);
}

}  // namespace vorda::odbc
