#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "channels/time_conversion.h"

using namespace vorda;

namespace {

CalendarFields fields(int y, int mo, int d, int h, int mi, float s) {
    return {y, mo, d, h, mi, s};
}

// An independent count of days since 1970-01-01 from the standard library's calendar.
std::int64_t civilDays(int y, unsigned m, unsigned d) {
    using namespace std::chrono;
    return sys_days(year{y} / month{m} / day{d}).time_since_epoch().count();
}

std::string calendarOf(double seconds) {
    CalendarFields f;
    unixToCalendar(seconds, f);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02.0f", f.year, f.month, f.day,
                  f.hour, f.minute, static_cast<double>(f.second));
    return buffer;
}

}  // namespace

TEST(TimeConversion, LeapYears) {
    EXPECT_TRUE(isLeapYear(2000));
    EXPECT_TRUE(isLeapYear(2004));
    EXPECT_TRUE(isLeapYear(0));
    EXPECT_TRUE(isLeapYear(-4));
    EXPECT_FALSE(isLeapYear(1900));
    EXPECT_FALSE(isLeapYear(2100));
    EXPECT_FALSE(isLeapYear(2001));
    EXPECT_FALSE(isLeapYear(-1));
}

TEST(TimeConversion, CalendarToUnixAtTheKnownInstants) {
    EXPECT_EQ(calendarToUnix(2000, 2, 29, 12, 0, 0), 951825600.0);
    EXPECT_EQ(calendarToUnix(1970, 1, 1, 0, 0, 0), 0.0);
    EXPECT_EQ(calendarToUnix(2100, 3, 1, 0, 0, 0), 4107542400.0);
    EXPECT_EQ(calendarToUnix(2100, 2, 29, 0, 0, 0), 4107542400.0);  // 2100 has no February 29
    EXPECT_EQ(calendarToUnix(2038, 1, 19, 3, 14, 7), 2147483647.0);
    EXPECT_EQ(calendarToUnix(1901, 12, 13, 20, 45, 52), -2147483648.0);
    EXPECT_EQ(calendarToUnix(1, 1, 1, 0, 0, 0), -62135596800.0);
    // Floor division keeps the years before 1970 exact.
    EXPECT_EQ(calendarToUnix(1968, 1, 1, 0, 0, 0), -63158400.0);
    EXPECT_EQ(calendarToUnix(1969, 12, 31, 23, 59, 59), -1.0);
    EXPECT_EQ(calendarToUnix(1900, 3, 1, 0, 0, 0), -2203891200.0);
    // Day 0 of month 0 of year 0 is December 31 of year -1.
    EXPECT_EQ(calendarToUnix(0, 0, 0, 0, 0, 0), -62167305600.0);
}

TEST(TimeConversion, CalendarFieldsAddUpWithoutRangeChecks) {
    const double feb1 = calendarToUnix(2006, 2, 1, 0, 0, 0);
    EXPECT_EQ(calendarToUnix(2006, 1, 32, 0, 0, 0), feb1);
    EXPECT_EQ(calendarToUnix(2006, 1, 31, 24, 0, 0), feb1);
    EXPECT_EQ(calendarToUnix(2006, 1, 31, 23, 60, 0), feb1);
    EXPECT_EQ(calendarToUnix(2006, 1, 31, 23, 59, 60.0f), feb1);
    EXPECT_EQ(calendarToUnix(2006, 0, 5, 0, 0, 0), calendarToUnix(2006, 1, 5, 0, 0, 0));
    // Months beyond 0..12 carry into the neighbouring years.
    EXPECT_EQ(calendarToUnix(2006, 13, 1, 0, 0, 0), calendarToUnix(2007, 1, 1, 0, 0, 0));
    EXPECT_EQ(calendarToUnix(2006, 26, 3, 0, 0, 0), calendarToUnix(2008, 2, 3, 0, 0, 0));
    EXPECT_EQ(calendarToUnix(2006, 15, 1, 0, 0, 0), calendarToUnix(2007, 3, 1, 0, 0, 0));
    EXPECT_EQ(calendarToUnix(2006, -1, 1, 0, 0, 0), calendarToUnix(2005, 11, 1, 0, 0, 0));
    EXPECT_EQ(calendarToUnix(2006, -12, 1, 0, 0, 0), calendarToUnix(2004, 12, 1, 0, 0, 0));
    // The extremes of every field stay finite and ordered.
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_GT(calendarToUnix(kMax, kMax, kMax, kMax, kMax, 3e38f), 6e16);
    EXPECT_LT(calendarToUnix(kMin, kMin, kMin, kMin, kMin, -3e38f), -6e16);
}

TEST(TimeConversion, DayOfYear) {
    std::int32_t m = -1, d = -1;
    EXPECT_TRUE(dayOfYearToMonthDay(366, 2000, m, d));
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 31);
    EXPECT_TRUE(dayOfYearToMonthDay(60, 2000, m, d));
    EXPECT_EQ(m, 2);
    EXPECT_EQ(d, 29);
    EXPECT_TRUE(dayOfYearToMonthDay(60, 2100, m, d));
    EXPECT_EQ(m, 3);
    EXPECT_EQ(d, 1);
    EXPECT_FALSE(dayOfYearToMonthDay(366, 2100, m, d));
    EXPECT_EQ(m, 0);
    EXPECT_EQ(d, 0);
    EXPECT_FALSE(dayOfYearToMonthDay(0, 2000, m, d));
    EXPECT_FALSE(dayOfYearToMonthDay(-5, 2000, m, d));
    EXPECT_TRUE(dayOfYearToMonthDay(1, 2001, m, d));
    EXPECT_EQ(m, 1);
    EXPECT_EQ(d, 1);
}

TEST(TimeConversion, UnixToCalendarAtTheKnownInstants) {
    EXPECT_EQ(calendarOf(951825600), "2000-02-29 12:00:00");
    EXPECT_EQ(calendarOf(0), "1970-01-01 00:00:00");
    EXPECT_EQ(calendarOf(-1), "1969-12-31 23:59:59");
    EXPECT_EQ(calendarOf(-62135596800.0), "0001-01-01 00:00:00");
    EXPECT_EQ(calendarOf(4107542400.0), "2100-03-01 00:00:00");
    EXPECT_EQ(calendarOf(4107542399.0), "2100-02-28 23:59:59");
    EXPECT_EQ(calendarOf(978307200.0 - 1), "2000-12-31 23:59:59");
    EXPECT_EQ(calendarOf(2147483647), "2038-01-19 03:14:07");
    EXPECT_EQ(calendarOf(-2147483648.0), "1901-12-13 20:45:52");
    // Last day of a 400-year cycle and of a leap year.
    EXPECT_EQ(calendarOf(calendarToUnix(2400, 12, 31, 23, 59, 59)), "2400-12-31 23:59:59");
    EXPECT_EQ(calendarOf(calendarToUnix(1996, 12, 31, 0, 0, 0)), "1996-12-31 00:00:00");
    CalendarFields f;
    EXPECT_TRUE(unixToCalendar(0.25, f));
    EXPECT_EQ(f.second, 0.25f);
}

TEST(TimeConversion, OutOfRangeInstantsFailWithZeroFields) {
    // Near the end of year 2147483647 a double holds every eighth second only.
    const double endOfLastYear = calendarToUnix(2147483647, 12, 31, 23, 59, 52);
    CalendarFields f;
    EXPECT_TRUE(unixToCalendar(endOfLastYear, f));
    EXPECT_EQ(f, fields(2147483647, 12, 31, 23, 59, 52));
    EXPECT_EQ(calendarOf(endOfLastYear), "2147483647-12-31 23:59:52");

    const double outside[] = {-62135596801.0,
                              -62135596800.5,
                              std::nextafter(endOfLastYear, 1e300),
                              1e300,
                              -1e300,
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::lowest()};
    for (const double v : outside) {
        f = fields(9, 9, 9, 9, 9, 9);
        EXPECT_FALSE(unixToCalendar(v, f)) << v;
        EXPECT_EQ(f, CalendarFields{}) << v;
    }
}

TEST(TimeConversion, SplitCalendarText) {
    CalendarFields f;
    EXPECT_EQ(splitCalendarText("2006-10-25 13:14:15", f), 6);
    EXPECT_EQ(f, fields(2006, 10, 25, 13, 14, 15));
    EXPECT_EQ(splitCalendarText("//2006..10  25--", f), 3);
    EXPECT_EQ(f, fields(2006, 10, 25, 0, 0, 0));
    EXPECT_EQ(splitCalendarText("2006-10-25 13:14:15.75", f), 7);  // the fraction is lost
    EXPECT_EQ(f, fields(2006, 10, 25, 13, 14, 15));
    EXPECT_EQ(splitCalendarText("x-+7-3abc", f), 3);
    EXPECT_EQ(f, fields(0, 7, 3, 0, 0, 0));
    EXPECT_EQ(splitCalendarText("-", f), 0);
    EXPECT_EQ(f, CalendarFields{});
    EXPECT_EQ(splitCalendarText("", f), 0);

    bool outOfRange = true;
    EXPECT_EQ(splitCalendarText("2006-1-1", f, &outOfRange), 3);
    EXPECT_FALSE(outOfRange);
    EXPECT_EQ(splitCalendarText("99999999999-1-1", f, &outOfRange), 3);
    EXPECT_TRUE(outOfRange);
    EXPECT_EQ(f.year, std::numeric_limits<std::int32_t>::max());
    // A huge eighth field is ignored, so it is no overflow.
    EXPECT_EQ(splitCalendarText("1-1-1-1-1-1-1-99999999999", f, &outOfRange), 8);
    EXPECT_FALSE(outOfRange);
}

TEST(TimeConversion, ToCalendarText) {
    EXPECT_EQ(toCalendarText("951825600"), "2000-02-29 12:00:00");
    EXPECT_EQ(toCalendarText("1e9"), "2001-09-09 01:46:40");
    EXPECT_EQ(toCalendarText("+1E+9"), "2001-09-09 01:46:40");
    EXPECT_EQ(toCalendarText(""), "1970-01-01 00:00:00");
    EXPECT_EQ(toCalendarText("abc"), "1970-01-01 00:00:00");
    EXPECT_EQ(toCalendarText("12abc"), "1970-01-01 00:00:12");
    EXPECT_EQ(toCalendarText("0"), "0");
    EXPECT_EQ(toCalendarText("00"), "1970-01-01 00:00:00");
    EXPECT_EQ(toCalendarText("2006-10-25"), "2006-10-25");
    // A minus sign before digits is the Unix text of a time before 1970, not a separator.
    EXPECT_EQ(toCalendarText("-5"), "1969-12-31 23:59:55");
    EXPECT_EQ(toCalendarText("-616851000"), "1950-06-15 12:30:00");
    EXPECT_EQ(toCalendarText("-5x"), "-5x");
    EXPECT_EQ(toCalendarText("x y"), "x y");
    // Beyond the last representable year, and numbers too large for a double.
    EXPECT_EQ(toCalendarText("99999999999999999"), "0000-00-00 00:00:00");
    EXPECT_EQ(toCalendarText("1e999"), "0000-00-00 00:00:00");
    EXPECT_EQ(toCalendarText(std::string(400, '9')), "0000-00-00 00:00:00");
    EXPECT_EQ(toCalendarText("67767636369"), "4117-06-21 15:26:09");
    EXPECT_EQ(toCalendarText("inf"), "1970-01-01 00:00:00");
    EXPECT_EQ(toCalendarText("nan"), "1970-01-01 00:00:00");
    EXPECT_EQ(toCalendarText("0x10"), "1970-01-01 00:00:00");
    // The calendar text of a value converts 0 as well (the list's tooltip of a last time).
    EXPECT_EQ(calendarText(0), "1970-01-01 00:00:00");
    EXPECT_EQ(calendarText(-2147483648.0), "1901-12-13 20:45:52");
}

TEST(TimeConversion, ToUnixText) {
    EXPECT_EQ(toUnixText("2000/2/29"), "951782400");
    EXPECT_EQ(toUnixText("2000-02-29 12:00:00"), "951825600");
    EXPECT_EQ(toUnixText("1970.1.1"), "0");
    EXPECT_EQ(toUnixText("1968-01-01"), "-63158400");
    EXPECT_EQ(toUnixText("-"), "-62167305600");  // no fields: day 0 of year 0
    EXPECT_EQ(toUnixText("951825600"), "951825600");
    EXPECT_EQ(toUnixText("-616851000"), "-616851000");
    EXPECT_EQ(toUnixText("abc"), "abc");
    EXPECT_EQ(toUnixText(""), "");
    EXPECT_EQ(toUnixText("2147483647-12-31 23:59:52"), "67767976233532792");
    const std::string widest = toUnixText("-2147483648-2147483648-2147483648 2147483647");
    EXPECT_LE(widest.size(), kTimeTextLimit);
}

TEST(TimeConversion, ReadCalendarTime) {
    EXPECT_EQ(readCalendarTime("0"), 0);
    EXPECT_EQ(readCalendarTime("0-5-5"), 0);
    EXPECT_EQ(readCalendarTime("0 anything"), 0);
    EXPECT_EQ(readCalendarTime("2006-10-25"), 1161734400);
    EXPECT_EQ(readCalendarTime("2006-10-25 00:00:00"), 1161734400);
    EXPECT_EQ(readCalendarTime("2038-01-19 03:14:07"), 2147483647);
    EXPECT_EQ(readCalendarTime("1901-12-13 20:45:52"), -2147483647 - 1);
    EXPECT_EQ(readCalendarTime("1968-01-01"), -63158400);
    EXPECT_EQ(readCalendarTime("1970-01-01 00:00:00.9"), 0);

    for (const char* text : {"2006-10", "12", "", "-616851000"}) {
        TimeRefusal why = TimeRefusal::OutOfRange;
        EXPECT_FALSE(readCalendarTime(text, &why).has_value()) << text;
        EXPECT_EQ(why, TimeRefusal::Format) << text;
    }
    // Calendar text of a time beyond 32 bits: one second past each limit, year 0, and fields too
    // long for 32 bits (a saturated field could otherwise land back inside the range).
    for (const char* text :
         {"2038-01-19 03:14:08", "1901-12-13 20:45:51", "00-1-1", "0000-00-00 00:00:00",
          "1970-1-1 0:0:99999999999", "1902-1-1 0:0:4294967296000"}) {
        TimeRefusal why = TimeRefusal::Format;
        EXPECT_FALSE(readCalendarTime(text, &why).has_value()) << text;
        EXPECT_EQ(why, TimeRefusal::OutOfRange) << text;
    }
}

TEST(TimeConversion, ReadUnixTime) {
    EXPECT_EQ(readUnixTime("1160000000"), 1160000000);
    EXPECT_EQ(readUnixTime("abc"), 0);
    EXPECT_EQ(readUnixTime(""), 0);
    EXPECT_EQ(readUnixTime("0"), 0);
    EXPECT_EQ(readUnixTime("+12x"), 12);
    EXPECT_EQ(readUnixTime("2147483647"), 2147483647);
    EXPECT_EQ(readUnixTime("0000000000002147483647"), 2147483647);
    // A sign followed only by digits is Unix text: times before 1970 too.
    EXPECT_EQ(readUnixTime("-5"), -5);
    EXPECT_EQ(readUnixTime("-616851000"), -616851000);
    EXPECT_EQ(readUnixTime("-2147483648"), -2147483647 - 1);
    for (const char* text : {"2006-10-25", "1.5", "-5x", "--5", "-"}) {
        TimeRefusal why = TimeRefusal::OutOfRange;
        EXPECT_FALSE(readUnixTime(text, &why).has_value()) << text;
        EXPECT_EQ(why, TimeRefusal::Format) << text;
    }
    for (const char* text : {"2147483648", "-2147483649", "99999999999999999999999"}) {
        TimeRefusal why = TimeRefusal::Format;
        EXPECT_FALSE(readUnixTime(text, &why).has_value()) << text;
        EXPECT_EQ(why, TimeRefusal::OutOfRange) << text;
    }
}

// Every instant from year 1 to the end of 32-bit years goes to calendar fields and back
// unchanged, and agrees with the standard library's calendar where that reaches.
TEST(TimeConversion, RoundTripsAgreeWithTheStandardCalendar) {
    std::mt19937_64 random(20061025);
    std::uniform_int_distribution<std::int64_t> anyInstant(0, 67767976233532799LL);
    std::uniform_int_distribution<std::int64_t> nearInstant(-62135596800LL, 253402300799LL);
    for (int i = 0; i < 200000; ++i) {
        // Whole seconds up to 2^53 are exact in a double.
        const std::int64_t v = (i % 2 == 0) ? nearInstant(random) : anyInstant(random) & ~0xFFLL;
        CalendarFields f;
        ASSERT_TRUE(unixToCalendar(static_cast<double>(v), f)) << v;
        ASSERT_EQ(calendarToUnix(f), static_cast<double>(v)) << v;
        ASSERT_GE(f.month, 1);
        ASSERT_LE(f.month, 12);
        ASSERT_GE(f.hour, 0);
        ASSERT_LT(f.hour, 24);
        ASSERT_LT(f.second, 60.0f);
        if (f.year <= 9999) {
            const std::int64_t days =
                civilDays(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day));
            ASSERT_EQ(days * 86400 + f.hour * 3600 + f.minute * 60 + static_cast<int>(f.second), v);
        }
    }
}

// Every 32-bit last time survives the two format buttons and OK in either form.
TEST(TimeConversion, LastTimesRoundTripThroughBothTextForms) {
    std::mt19937 random(1160000000);
    std::uniform_int_distribution<std::int32_t> any(std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max());
    for (int i = 0; i < 100000; ++i) {
        std::int32_t v = any(random);
        if (i < 4) {
            v = std::array<std::int32_t, 4>{0, 1, 2147483647, -2147483647 - 1}[i];
        }
        const std::string calendar = calendarOf(v);
        ASSERT_LE(calendar.size(), kTimeTextLimit);
        ASSERT_EQ(readCalendarTime(calendar), v) << calendar;
        ASSERT_EQ(readUnixTime(toUnixText(calendar)), v) << calendar;
        if (v != 0) {
            const std::string unixText = std::to_string(v);
            ASSERT_EQ(toCalendarText(unixText), calendar);
            ASSERT_EQ(toUnixText(toCalendarText(unixText)), unixText);
            ASSERT_EQ(readUnixTime(unixText), v);
        }
    }
}
