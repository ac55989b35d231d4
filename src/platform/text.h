#pragma once
// Small rules on bytes that several parts of the program share, each kept in this one place:
// ASCII letter case, blanks, line breaks and NUL bytes, and decimal numbers that stop at the
// 32-bit limits. They look at ASCII only, so they serve code page 1251 and UTF-8 text alike:
// every byte from 0x80 up is left as it is and is never a letter, a blank or a digit here.
//
// Rules of their own stay with their owners even where they agree with one of these today:
// channel codes (sameChannelCode in settings/code_rules.h), the names of the profile document
// (platform/profile_document.cpp, which fold as code page 1251 does) and the upper case of code
// page 1251 (platform/cp1251.h).
#include <cstdint>
#include <cstring>
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

// Eight bytes at a time (called for every value written): a word has a byte below n (n <= 128)
// exactly when (w - n..n) borrows into a byte whose high bit w does not have. Bytes below 14 are
// rare in names and values; only a word with one is searched for the three.
inline bool hasLineBreakOrNul(std::string_view s) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = kOnes * 0x80;
    const auto hasByteBelow = [](std::uint64_t w, std::uint64_t n) {
        return ((w - kOnes * n) & ~w & kHigh) != 0;
    };
    const auto holdsOne = [&](std::uint64_t w) {
        return hasByteBelow(w, '\r' + 1) &&
               (hasByteBelow(w, 1) || hasByteBelow(w ^ (kOnes * '\n'), 1) ||
                hasByteBelow(w ^ (kOnes * '\r'), 1));
    };
    const char* p = s.data();
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w = 0;
        std::memcpy(&w, p + i, 8);
        if (holdsOne(w)) {
            return true;
        }
    }
    const std::size_t rest = s.size() - i;
    if (rest == 0) {
        return false;
    }
    // The last bytes as one more word: the last eight, some of them seen already; in a shorter
    // text two overlapping halves, or three bytes with 0xFF (none of the three) in the others.
    std::uint64_t w = 0;
    if (s.size() >= 8) {
        std::memcpy(&w, p + s.size() - 8, 8);
    } else if (rest >= 4) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + rest - 4, 4);
        w = std::uint64_t{low} | (std::uint64_t{high} << 32);
    } else {
        const auto byte = [p](std::size_t at) {
            return std::uint64_t{static_cast<unsigned char>(p[at])};
        };
        w = (~std::uint64_t{0} << 24) | byte(0) | (byte(rest / 2) << 8) | (byte(rest - 1) << 16);
    }
    return holdsOne(w);
}

// --- Decimal numbers.

constexpr bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether the text is one or more of the digits 0-9 and nothing else.
constexpr bool isAsciiDigits(std::string_view s) {
    for (const char c : s) {
        if (!isAsciiDigit(c)) {
            return false;
        }
    }
    return !s.empty();
}

// An optional sign ('+' or '-') and the decimal digits after it, as far as they go, as "%d"
// writes them; 0 without digits (no blanks are skipped). A number beyond 32 bits stops at the
// nearest limit, and saturated (when given) tells whether it had to.
std::int32_t readSaturatedDecimal(std::string_view text, bool* saturated = nullptr);

// --- A short tag of some bytes that stays the same from run to run (FNV-1a, 32 bits), for
// names of files: not for anything that must resist a chosen collision.

constexpr std::uint32_t shortHash(std::string_view s) {
    std::uint32_t hash = 2166136261u;
    for (const char c : s) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return hash;
}

}  // namespace vorda
