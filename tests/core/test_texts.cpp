// The operator's texts: counts with the noun in the form Russian takes after the number, and
// the arguments filled in.
#include <gtest/gtest.h>

#include "resources/texts.h"

using namespace vorda;

TEST(Texts, CountedNounsTakeTheirRussianForm) {
    const auto values = [](long n) {
        return texts::counted(n, texts::kValueOne, texts::kValueFew, texts::kValueMany);
    };
    EXPECT_EQ(values(0), "0 значений");
    EXPECT_EQ(values(1), "1 значение");
    EXPECT_EQ(values(3), "3 значения");
    EXPECT_EQ(values(5), "5 значений");
    // The teens take the third form whatever their last digit; 21 and 104 do not.
    EXPECT_EQ(values(11), "11 значений");
    EXPECT_EQ(values(14), "14 значений");
    EXPECT_EQ(values(112), "112 значений");
    EXPECT_EQ(values(21), "21 значение");
    EXPECT_EQ(values(104), "104 значения");
}

TEST(Texts, FormatFillsEachPlaceOnceAndLeavesTheRestAsTheyAre) {
    EXPECT_EQ(texts::format("%2 и %1", {"a", "b"}), "b и a");
    // An argument holding a %n is not filled in again; a %n without an argument stays.
    EXPECT_EQ(texts::format("%1 %2", {"%2"}), "%2 %2");
    EXPECT_EQ(texts::format("%1%%1", {"x"}), "x%x");
    EXPECT_EQ(texts::format("100%", {}), "100%");
}
