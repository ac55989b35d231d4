#include "database/odbc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

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

std::string firstSqlState(SQLSMALLINT type, SQLHANDLE handle) {
    if (handle == SQL_NULL_HANDLE) {
        return {};
    }
    std::array<SQLCHAR, 6> state{};
    SQLINTEGER native = 0;
    std::array<SQLCHAR, 8> message{};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(type, handle, 1, state.data(), &native, message.data(),
                                       static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        return {};
    }
    const char* p = reinterpret_cast<const char*>(state.data());
    return std::string(p, ::strnlen(p, state.size() - 1));
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
