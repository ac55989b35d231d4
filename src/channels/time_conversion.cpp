#include "channels/time_conversion.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/text.h"

namespace vorda {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kDaysPer400Years = 146097;
constexpr std::int64_t kDaysPer100Years = 36524;
constexpr std::int64_t kDaysPer4Years = 1461;
constexpr std::int64_t kDaysPerYear = 365;
// From 0001-01-01 00:00:00 to 1970-01-01 00:00:00 (719162 days).
constexpr long double kSecondsFromYear1 = 62135596800.0L;

constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// Days before each month in a common year; month 0 counts like January.
constexpr std::int64_t kDaysBeforeMonth[13] = {0,   0,   31,  59,  90,  120, 151,
                                               181, 212, 243, 273, 304, 334};

constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

constexpr bool isLeap(std::int64_t year) {
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

// Days from 0001-01-01 to January 1 of the year after the last year a 32-bit field holds.
constexpr std::int64_t daysFromYear1To(std::int64_t year) {
    const std::int64_t y = year - 1;
    return kDaysPerYear * y + y / 4 - y / 100 + y / 400;
}
// The first instant (counted from 0001-01-01 00:00:00) whose year no longer fits 32 bits.
constexpr long double kEndOfLastYear =
    static_cast<long double>(daysFromYear1To(std::int64_t{kInt32Max} + 1) * kSecondsPerDay);

bool isSeparator(char c) {
    return kTimeSeparators.find(c) != std::string_view::npos;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An optional sign followed only by digits: the Unix text of any whole number of seconds.
bool isSignedNumber(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

// Calendar text holds a separator; a minus sign before the digits of a Unix text is none.
bool isCalendarText(std::string_view text) {
    return text.find_first_of(kTimeSeparators) != std::string_view::npos && !isSignedNumber(text);
}

std::optional<std::int32_t> refuse(TimeRefusal why, TimeRefusal* refusal) {
    if (refusal != nullptr) {
        *refusal = why;
    }
    return std::nullopt;
}

// The leading decimal number of a Unix text (no blank, point or minus but the sign of a signed
// number): optional white space, an optional sign, digits and an optional exponent. 0 without
// digits, infinity when it is too large for a double.
double readLeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == '\t' || text[i] == '\n' || text[i] == '\v' ||
                               text[i] == '\f' || text[i] == '\r')) {
        ++i;
    }
    double sign = 1.0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        sign = text[i] == '-' ? -1.0 : 1.0;
        ++i;
    }
    const std::size_t start = i;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
    }
    if (i == start) {
        return 0.0;
    }
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && text[j] == '+') {
            ++j;
        }
        const std::size_t expStart = j;
        while (j < text.size() && isDigit(text[j])) {
            ++j;
        }
        if (j > expStart) {
            end = j;
        }
    }
    double value = 0.0;
    const auto [ptr, ec] =
        std::from_chars(text.data() + start, text.data() + end, value, std::chars_format::general);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        return sign * std::numeric_limits<double>::infinity();
    }
    return ec == std::errc() ? sign * value : 0.0;
}

std::string formatCalendar(const CalendarFields& f) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02.0f", f.year, f.month, f.day,
                  f.hour, f.minute, static_cast<double>(f.second));
    return buffer;
}

std::string formatUnix(double seconds) {
    // Room for the largest double written without exponent.
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%0.0f", seconds);
    return buffer;
}

}  // namespace

bool isLeapYear(std::int32_t year) {
    return isLeap(year);
}

double calendarToUnix(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                      std::int32_t minute, float second) {
    std::int64_t y = year;
    std::int64_t m = month;
    if (m < 0 || m > 12) {
        y += floorDiv(m - 1, 12);
        m = (m - 1) - 12 * floorDiv(m - 1, 12) + 1;
    }
    const std::int64_t dayOfYear = kDaysBeforeMonth[m] + day + (isLeap(y) && m > 2 ? 1 : 0);
    const std::int64_t leapDays =
        floorDiv(y - 1969, 4) - floorDiv(y - 1901, 100) + floorDiv(y - 1601, 400);
    const std::int64_t days = kDaysPerYear * (y - 1970) + leapDays + dayOfYear - 1;
    const std::int64_t whole =
        days * kSecondsPerDay + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60;
    // Summed with a wider mantissa so that the result is rounded once, exact wherever a double
    // can hold it.
    return static_cast<double>(static_cast<long double>(whole) + static_cast<long double>(second));
}

double calendarToUnix(const CalendarFields& f) {
    return calendarToUnix(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

bool dayOfYearToMonthDay(std::int32_t dayOfYear, std::int32_t year, std::int32_t& month,
                         std::int32_t& day) {
    month = 0;
    day = 0;
    if (dayOfYear < 1) {
        return false;
    }
    const std::int32_t lengths[12] = {
        31, isLeapYear(year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::int32_t rest = dayOfYear;
    for (std::int32_t m = 1; m <= 12; ++m) {
        if (rest <= lengths[m - 1]) {
            month = m;
            day = rest;
            return true;
        }
        rest -= lengths[m - 1];
    }
    return false;
}

bool unixToCalendar(double seconds, CalendarFields& f) {
    f = {};
    // Counted with a wider mantissa, so that moving the origin loses no second of a double.
    const long double total = static_cast<long double>(seconds) + kSecondsFromYear1;
    // NaN fails both comparisons.
    if (!(total >= 0.0L) || !(total < kEndOfLastYear)) {
        return false;
    }
    const auto whole = static_cast<std::int64_t>(total);
    const auto fraction = static_cast<double>(total - static_cast<long double>(whole));
    const std::int64_t days = whole / kSecondsPerDay;
    const std::int64_t secondOfDay = whole - kSecondsPerDay * days;
    const std::int64_t hour = secondOfDay / 3600;
    const std::int64_t rest = secondOfDay - 3600 * hour;
    const std::int64_t minute = rest / 60;
    const double second = static_cast<double>(rest - 60 * minute) + fraction;

    const std::int64_t q400 = days / kDaysPer400Years;
    std::int64_t d = days - kDaysPer400Years * q400;
    const std::int64_t q100 = d == kDaysPer400Years - 1 ? 3 : d / kDaysPer100Years;
    d -= kDaysPer100Years * q100;
    const std::int64_t q4 = d / kDaysPer4Years;
    d -= kDaysPer4Years * q4;
    std::int64_t q1 = d / kDaysPerYear;
    if (q1 == 4) {
        q1 = 3;
    }
    const std::int64_t year = 400 * q400 + 100 * q100 + 4 * q4 + q1 + 1;
    const std::int64_t dayOfYear = d - kDaysPerYear * q1 + 1;

    CalendarFields out;
    out.year = static_cast<std::int32_t>(year);
    out.hour = static_cast<std::int32_t>(hour);
    out.minute = static_cast<std::int32_t>(minute);
    out.second = static_cast<float>(second);
    if (!dayOfYearToMonthDay(static_cast<std::int32_t>(dayOfYear), out.year, out.month, out.day)) {
        return false;
    }
    f = out;
    return true;
}

int splitCalendarText(std::string_view text, CalendarFields& f, bool* outOfRange) {
    f = {};
    if (outOfRange != nullptr) {
        *outOfRange = false;
    }
    std::int32_t values[6] = {0, 0, 0, 0, 0, 0};
    int count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isSeparator(text[end])) {
            ++end;
        }
        if (count < 6) {
            bool overflow = false;
            values[count] = readSaturatedDecimal(text.substr(i, end - i), &overflow);
            if (overflow && outOfRange != nullptr) {
                *outOfRange = true;
            }
        }
        ++count;
        i = end;
    }
    f.year = values[0];
    f.month = values[1];
    f.day = values[2];
    f.hour = values[3];
    f.minute = values[4];
    f.second = static_cast<float>(values[5]);
    return count;
}

std::string calendarText(double seconds) {
    CalendarFields f;
    unixToCalendar(seconds, f);  // on failure every field is 0
    return formatCalendar(f);
}

std::string toCalendarText(std::string_view text) {
    if (isCalendarText(text) || text == "0") {
        return std::string(text);
    }
    return calendarText(readLeadingNumber(text));
}

std::string toUnixText(std::string_view text) {
    if (!isCalendarText(text)) {
        return std::string(text);
    }
    CalendarFields f;
    splitCalendarText(text, f);
    return formatUnix(calendarToUnix(f));
}

std::optional<std::int32_t> readCalendarTime(std::string_view text, TimeRefusal* refusal) {
    CalendarFields f;
    bool outOfRange = false;
    const int count = splitCalendarText(text, f, &outOfRange);
    if (!text.empty() && text[0] == '0' && (text.size() == 1 || isSeparator(text[1]))) {
        return 0;
    }
    if (count < 3) {
        return refuse(TimeRefusal::Format, refusal);
    }
    const double value = std::trunc(calendarToUnix(f));
    if (outOfRange ||
        !(value >= static_cast<double>(kInt32Min) && value <= static_cast<double>(kInt32Max))) {
        return refuse(TimeRefusal::OutOfRange, refusal);
    }
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> readUnixTime(std::string_view text, TimeRefusal* refusal) {
    if (isCalendarText(text)) {
        return refuse(TimeRefusal::Format, refusal);
    }
    bool overflow = false;
    const std::int32_t value = readSaturatedDecimal(text, &overflow);
    if (overflow) {
        return refuse(TimeRefusal::OutOfRange, refusal);
    }
    return value;
}

}  // namespace vorda
