#pragma once
// A channel's last time as Unix seconds and as calendar text, and the conversions between them.
//
// Unix seconds count from 1970-01-01 00:00:00 on the proleptic Gregorian calendar, with no time
// zone, daylight saving or leap seconds. Two text forms:
//   Unix text      "%0.0f"                              e.g. 951825600
//   calendar text  "%04d-%02d-%02d %02d:%02d:%02.0f"    e.g. 2000-02-29 12:00:00
// A text holding any of the separators "/: .-" is calendar text, any other text is Unix text;
// a minus sign followed only by digits is Unix text too (the Unix text of a time before 1970).
// "0" is the Unix text of 0 and is never converted.
//
// Our rules where the arithmetic alone leaves the result open:
//  - calendarToUnix divides with floor division, so every year is exact, before 1970 too
//    (1968-01-01 00:00:00 is -63158400; all fields 0, i.e. day 0 of year 0, is -62167305600).
//  - Month 0 counts like January. A month above 12 or below 0 carries into the neighbouring
//    years: month m is m - 1 months after January of the year, so 13 is January of the next
//    year and -1 is November of the year before. Day, hour, minute and second are never
//    range-checked; they simply add up (January 32 is February 1).
//  - unixToCalendar succeeds from 0001-01-01 00:00:00 up to the last second of year 2147483647
//    (the largest year a signed 32-bit field holds). Anything else - an earlier instant, a
//    larger one, infinity or NaN - fails with all six fields 0, so toCalendarText shows
//    "0000-00-00 00:00:00" for it. Calendar text therefore never exceeds 25 characters.
//  - A decimal field too long for a signed 32-bit number saturates at the nearest limit in
//    splitCalendarText (and is reported through its outOfRange flag).
//  - readCalendarTime and readUnixTime refuse any value outside the signed 32-bit range,
//    including a field or a number whose digits do not fit 32 bits, as out of range rather than
//    as a format error.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorda {

// The last-time field is read as at most this many characters.
inline constexpr std::size_t kTimeTextLimit = 31;

// The separators that make a text calendar text.
inline constexpr std::string_view kTimeSeparators = "/: .-";

struct CalendarFields {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    float second = 0.0f;

    bool operator==(const CalendarFields&) const = default;
};

bool isLeapYear(std::int32_t year);

// Seconds since 1970-01-01 00:00:00 of the given calendar fields (see the rules above).
double calendarToUnix(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                      std::int32_t minute, float second);
double calendarToUnix(const CalendarFields& fields);

// Month and day of the given day of the year (1 is January 1). False, with month and day 0,
// for a day below 1 or past December 31.
bool dayOfYearToMonthDay(std::int32_t dayOfYear, std::int32_t year, std::int32_t& month,
                         std::int32_t& day);

// The calendar fields of an instant. False, with every field 0, outside 0001-01-01 00:00:00
// to the end of year 2147483647, and for infinity or NaN.
bool unixToCalendar(double seconds, CalendarFields& fields);

// Cuts a text into fields at the separators (no empty fields) and reads year, month, day, hour,
// minute and second from them as decimal integers (leading digits with an optional sign, 0
// without digits); missing fields are 0, fields after the sixth are ignored. Gives the number of
// fields found, ignored ones included. outOfRange, when given, tells whether one of the six
// fields had to be saturated to fit 32 bits.
int splitCalendarText(std::string_view text, CalendarFields& fields, bool* outOfRange = nullptr);

// The calendar text of an instant, "0" included (what toCalendarText shows on failure when the
// instant is out of range).
std::string calendarText(double seconds);

// The text to show after switching the last-time field to calendar form: calendar text and "0"
// stay as they are; anything else is read as a number of seconds (its leading decimal number,
// 0 without one) and written as calendar text.
std::string toCalendarText(std::string_view text);

// The text to show after switching to Unix form: a text without separators stays as it is;
// calendar text is converted to Unix text.
std::string toUnixText(std::string_view text);

// Why a last-time text gives no value.
enum class TimeRefusal {
    Format,      // not a text of the form asked for
    OutOfRange,  // a time of that form, but before 1901-12-13 20:45:52 or after 2038-01-19 03:14:07
};

// The last time the calendar form stands for; nothing when refused (fewer than three fields, or
// a value outside the signed 32-bit range), and refusal (when given) says why. A text that begins
// with "0" followed by a separator or by its end is 0.
std::optional<std::int32_t> readCalendarTime(std::string_view text, TimeRefusal* refusal = nullptr);

// The last time the Unix form stands for; nothing when refused (calendar text, or a value outside
// the signed 32-bit range), and refusal (when given) says why. A text that does not begin with a
// sign or a digit is 0.
std::optional<std::int32_t> readUnixTime(std::string_view text, TimeRefusal* refusal = nullptr);

}  // namespace vorda
