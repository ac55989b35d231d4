#include <gtest/gtest.h>

#include "platform/cp1251.h"

using namespace vorda;

TEST(Cp1251, RoundTripsEveryByteThroughUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    const auto back = cp1251::fromUtf8(cp1251::toUtf8(all));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(Cp1251, RefusesCharactersOutsideTheCodePage) {
    EXPECT_EQ(cp1251::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8"), std::string("\xCF\xF0\xE8"));  // При
    EXPECT_FALSE(cp1251::fromUtf8("\xE4\xB8\xAD").has_value());                            // 中
    EXPECT_FALSE(cp1251::fromUtf8("\xC3\xA9").has_value());                                // é
    EXPECT_FALSE(cp1251::fromUtf8("\xC3").has_value());      // cut sequence
    EXPECT_FALSE(cp1251::fromUtf8("\xC0\x80").has_value());  // overlong NUL
    EXPECT_EQ(cp1251::fromUtf8Lossy("a\xE4\xB8\xAD"
                                    "b"),
              "a?b");
    EXPECT_TRUE(cp1251::canHold(U'\u2116'));  // №
    EXPECT_FALSE(cp1251::canHold(U'\u00E9'));
    EXPECT_FALSE(cp1251::canHold(U'\u0098'));  // the byte 0x98 is no character
}

TEST(Cp1251, UpperCasesLatinAndCyrillicLetters) {
    // odbc=сейс ёж
    EXPECT_EQ(cp1251::toUpper("odbc=\xF1\xE5\xE9\xF1 \xB8\xE6"), "ODBC=\xD1\xC5\xC9\xD1 \xA8\xC6");
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const std::string utf = cp1251::toUtf8(std::string(1, c));
        // Compare with a known-good upper-casing for the Cyrillic block and ASCII.
        if (b >= 0xE0) {
            EXPECT_EQ(static_cast<unsigned char>(cp1251::toUpper(c)), b - 32);
        } else if (b < 0x80 && !(b >= 'a' && b <= 'z')) {
            EXPECT_EQ(cp1251::toUpper(c), c) << b;
        }
    }
}

TEST(Cp1251, WideTextForTheRecordIsStrict) {
    // АРТ, and every character of the code page, round-trip through UTF-16.
    EXPECT_EQ(cp1251::fromUtf16(u"\u0410\u0420\u0422"), std::string("\xC0\xD0\xD2"));
    std::string all;
    for (int b = 0x20; b < 256; ++b) {
        if (b != 0x98) {
            all.push_back(static_cast<char>(b));
        }
    }
    EXPECT_EQ(cp1251::fromUtf16(cp1251::toUtf16(all)), all);
    // A character outside the code page, a surrogate pair or half of one, U+0098 (the byte the
    // code page leaves unused) and control characters are refused.
    EXPECT_FALSE(cp1251::fromUtf16(u"\U0001F600").has_value());
    EXPECT_FALSE(cp1251::fromUtf16(std::u16string(1, char16_t(0xD83D))).has_value());
    EXPECT_FALSE(cp1251::fromUtf16(u"A\u0098").has_value());
    EXPECT_FALSE(cp1251::fromUtf16(u"A\nB").has_value());
    EXPECT_FALSE(cp1251::fromUtf16(u"\u00E9").has_value());
    // For showing, each such character is one '?'.
    EXPECT_EQ(cp1251::fromUtf16Lossy(u"a\U0001F600\u00E9\u0416"), std::string("a??\xC6"));
}
