#pragma once
// Small rules on bytes that several parts of the program share, each kept in this one place:
// ASCII letter case, blanks, line breaks and NUL bytes, and decimal numbers that stop at the
// 32-bit limits. They look at ASCII only, so they serve code page 1251 and UTF-8 text alike:
// every byte from 0x80 up is left as it is and is never a letter, a blank or a digit here.
//
// Rules of their own stay with their owners even where they agree with one of these today:
// channel codes (sameChannelCode in channels/group_order.h), the names of the profile document
// (platform/profile_document.cpp) and the upper case of code page 1251 (platform/cp1251.h).
#include <cstdint>
#include <string>
#include <string_view>

namespace vorda {

// --- ASCII letter case: only a-z and A-Z fold; every other byte is itself.

constexpr bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upperAscii(std::string_view s);

// Whether the two are the same bytes, ASCII letters compared without regard to case.
constexpr bool equalsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// --- Blanks: a space or a tab.

constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The text without the blanks at its start.
constexpr std::string_view trimLeadingBlanks(std::string_view s) {
    std::size_t begin = 0;
    while (begin < s.size() && isBlank(s[begin])) {
        ++begin;
    }
    return s.substr(begin);
}

// The text without the blanks at its start and its end.
constexpr std::string_view trimBlanks(std::string_view s) {
    s = trimLeadingBlanks(s);
    std::size_t end = s.size();
    while (end > 0 && isBlank(s[end - 1])) {
        --end;
    }
    return s.substr(0, end);
}

// --- Line breaks and NUL bytes: what a line-based file cannot hold inside a name or a value.

constexpr bool hasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// --- Decimal numbers.

// An optional sign ('+' or '-') and the decimal digits after it, as far as they go, as "%d"
// writes them; 0 without digits (no blanks are skipped). A number beyond 32 bits stops at the
// nearest limit, and saturated (when given) tells whether it had to.
std::int32_t readSaturatedDecimal(std::string_view text, bool* saturated = nullptr);

}  // namespace vorda
