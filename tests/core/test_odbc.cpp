#include "database/odbc.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorda::odbc {
namespace {

// A scripted sequence of results standing in for SQLFetch or SQLDataSources.
struct Script {
    std::vector<SQLRETURN> results;
    std::size_t calls = 0;
    SQLRETURN operator()() {
        const SQLRETURN rc = calls < results.size() ? results[calls] : SQL_ERROR;
        ++calls;
        return rc;
    }
};

TEST(FetchLoop, EndsAtNoDataAndSkipsASingleFailedRow) {
    Script script{{SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_ERROR, SQL_SUCCESS, SQL_NO_DATA}};
    int rows = 0;
    EXPECT_EQ(fetchLoop(std::ref(script), [&] { return ++rows, true; }), 3u);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(script.calls, 5u);
}

TEST(FetchLoop, EndsWhenTheErrorRepeats) {
    // A cursor that fails forever (the script keeps answering SQL_ERROR) must not hang.
    Script script{{SQL_SUCCESS, SQL_ERROR}};
    int rows = 0;
    EXPECT_EQ(fetchLoop(std::ref(script), [&] { return ++rows, true; }), 1u);
    EXPECT_EQ(script.calls, 3u);
    Script invalid{{SQL_INVALID_HANDLE, SQL_SUCCESS}};
    EXPECT_EQ(fetchLoop(std::ref(invalid), [] { return true; }), 0u);
    EXPECT_EQ(invalid.calls, 1u);
}

TEST(FetchLoop, StopsWhenTheRowHandlerSaysSo) {
    Script script{{SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_NO_DATA}};
    int rows = 0;
    EXPECT_EQ(fetchLoop(std::ref(script), [&] { return ++rows < 2; }), 2u);
    EXPECT_EQ(script.calls, 2u);
}

TEST(Handle, MovesOwnershipAndReportsDiagnostics) {
    Handle env = Handle::environment();
    ASSERT_TRUE(env);
    Handle dbc = Handle::allocate(SQL_HANDLE_DBC, env.get());
    ASSERT_TRUE(dbc);
    const SQLHANDLE raw = dbc.get();
    Handle moved = std::move(dbc);
    EXPECT_FALSE(dbc);
    EXPECT_EQ(moved.get(), raw);

    // Connecting to a data source that does not exist leaves a diagnostic on the handle.
    const std::string name = "NO_SUCH_SOURCE_FOR_VORDA";
    EXPECT_TRUE(failed(SQLConnect(moved.get(), text(name), SQL_NTS, nullptr, 0, nullptr, 0)));
    EXPECT_NE(firstDiagnostic(moved).find("not found"), std::string::npos)
        << firstDiagnostic(moved);

    Handle other;
    other = std::move(moved);
    EXPECT_EQ(other.get(), raw);
    other.reset();
    EXPECT_FALSE(other);
    EXPECT_EQ(firstDiagnostic(other), "");
}

TEST(BoundText, NullAndUnterminatedBuffers) {
    const char buf[4] = {'A', 'B', 'C', 'D'};
    EXPECT_EQ(boundText(buf, sizeof buf, SQL_NULL_DATA), "");
    EXPECT_EQ(boundText(buf, sizeof buf, 10), "ABC");
    EXPECT_EQ(boundText(buf, sizeof buf, 2), "AB");
}

}  // namespace
}  // namespace vorda::odbc
