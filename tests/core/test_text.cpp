// The small shared rules on bytes: ASCII letter case, blanks, line breaks and NUL bytes, and
// decimal numbers that stop at the 32-bit limits.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

using namespace vorda;

TEST(Text, FoldsOnlyAsciiLetters) {
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const char expected = (b >= 'a' && b <= 'z') ? static_cast<char>(b - 32) : c;
        EXPECT_EQ(upperAscii(c), expected) << b;
    }
    EXPECT_EQ(upperAscii("odbc=\xF1\xE5\xE9\xF1 bhz_1"), "ODBC=\xF1\xE5\xE9\xF1 BHZ_1");
    EXPECT_TRUE(equalsAsciiNoCase("bhZ", "BHz"));
    EXPECT_TRUE(equalsAsciiNoCase("", ""));
    EXPECT_FALSE(equalsAsciiNoCase("BHZ", "BHZ "));
    EXPECT_FALSE(equalsAsciiNoCase("\xE0", "\xC0"));  // а and А differ outside ASCII
    EXPECT_FALSE(equalsAsciiNoCase("@", "`"));        // 0x40 and 0x60 are no letters
    EXPECT_FALSE(equalsAsciiNoCase("[", "{"));
}

TEST(Text, TrimsSpacesAndTabsOnly) {
    EXPECT_TRUE(isBlank(' '));
    EXPECT_TRUE(isBlank('\t'));
    EXPECT_FALSE(isBlank('\r'));
    EXPECT_FALSE(isBlank('\xA0'));  // the no-break space of code page 1251
    EXPECT_EQ(trimBlanks(" \t a b \t "), "a b");
    EXPECT_EQ(trimBlanks(" \t "), "");
    EXPECT_EQ(trimBlanks(""), "");
    EXPECT_EQ(trimBlanks("\r x \n"), "\r x \n");
    EXPECT_EQ(trimLeadingBlanks(" \t-5 "), "-5 ");
}

TEST(Text, FindsLineBreaksAndNulBytes) {
    EXPECT_FALSE(hasLineBreakOrNul("plain \t text \xC0"));
    EXPECT_FALSE(hasLineBreakOrNul(""));
    EXPECT_TRUE(hasLineBreakOrNul("a\rb"));
    EXPECT_TRUE(hasLineBreakOrNul("a\n"));
    EXPECT_TRUE(hasLineBreakOrNul(std::string("a\0b", 3)));
    // Each byte at each place of texts of every length up to three words, which are read a
    // word at a time and their last bytes in parts of words.
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const bool breaks = c == '\r' || c == '\n' || c == '\0';
        for (std::size_t length = 1; length <= 24; ++length) {
            for (std::size_t at = 0; at < length; ++at) {
                std::string text(length, static_cast<char>(0xFF));
                text[at] = c;
                ASSERT_EQ(hasLineBreakOrNul(text), breaks) << b << " at " << at << " of " << length;
            }
        }
    }
}

TEST(Text, ReadsDecimalsThatStopAtThe32BitLimits) {
    bool saturated = true;
    EXPECT_EQ(readSaturatedDecimal("42", &saturated), 42);
    EXPECT_FALSE(saturated);
    EXPECT_EQ(readSaturatedDecimal("+8x"), 8);
    EXPECT_EQ(readSaturatedDecimal("-17.5"), -17);
    EXPECT_EQ(readSaturatedDecimal(""), 0);
    EXPECT_EQ(readSaturatedDecimal("-"), 0);
    EXPECT_EQ(readSaturatedDecimal("abc"), 0);
    EXPECT_EQ(readSaturatedDecimal(" 5"), 0);  // blanks are the caller's to skip
    EXPECT_EQ(readSaturatedDecimal("--5"), 0);
    EXPECT_EQ(readSaturatedDecimal("0000000000000000000012"), 12);

    EXPECT_EQ(readSaturatedDecimal("2147483647", &saturated), 2147483647);
    EXPECT_FALSE(saturated);
    EXPECT_EQ(readSaturatedDecimal("-2147483648", &saturated), -2147483647 - 1);
    EXPECT_FALSE(saturated);
    EXPECT_EQ(readSaturatedDecimal("2147483648", &saturated), 2147483647);
    EXPECT_TRUE(saturated);
    EXPECT_EQ(readSaturatedDecimal("-2147483649", &saturated), -2147483647 - 1);
    EXPECT_TRUE(saturated);
    EXPECT_EQ(readSaturatedDecimal("99999999999999999999999999", &saturated), 2147483647);
    EXPECT_TRUE(saturated);
}
