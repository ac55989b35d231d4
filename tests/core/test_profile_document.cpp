// The profile document in memory: the reading rules, where writes land, what is refused, and
// that every byte not written stays as it was. (Files on disk: test_atomic_file.cpp.)
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/cp1251.h"
#include "platform/profile_document.h"

using namespace vorda;

namespace {

// Foreign content as another program may leave it: lines before the first header, mixed line
// ends, comments, blanks, code page 1251 bytes, a NUL, odd lines and no line end at the end.
const std::string kForeign =
    std::string(
        "; written by hand\r\n"
        "orphan=before any header\n"
        "\r\n"
        "[DATABASE]\r\n"
        "ODBC = zel \r\n"
        "  user=\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0\r"  // Оператор
        "PASSWORD=\"qmx\"\n"
        "; \xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9\r\n"  // комментарий
        "just some text\r\n"
        "[SYSTEM] trailing text\r\n") +
    std::string("NUL=12\0junk\r\n", 13) +
    "\t[ Group1 ]\n"
    "STATION=ABC\n"
    "\n"
    "[Empty\r\n"
    "; only a comment\r\n"
    "   \r\n"
    "[LAST]\r\n"
    "K=v";

std::size_t count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto pos = haystack.find(needle); pos != std::string::npos;
         pos = haystack.find(needle, pos + 1)) {
        ++n;
    }
    return n;
}

}  // namespace

TEST(ProfileDocument, ReproducesForeignBytesExactlyWhenNothingIsSet) {
    EXPECT_EQ(ProfileDocument::fromBytes(kForeign).bytes(), kForeign);
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += "[S" + std::to_string(b) + "]\r" + static_cast<char>(b) + "=" +
               static_cast<char>(b) + "\n\r\n";
    }
    EXPECT_EQ(ProfileDocument::fromBytes(all).bytes(), all);
    EXPECT_EQ(ProfileDocument::fromBytes("").bytes(), "");
    EXPECT_EQ(ProfileDocument::fromBytes("\r\r\n\n\r").bytes(), "\r\r\n\n\r");
    EXPECT_EQ(ProfileDocument().bytes(), "");
}

TEST(ProfileDocument, ReadsLinesAsTheServiceDoes) {
    const auto doc = ProfileDocument::fromBytes(kForeign);
    // Names without regard to ASCII case, values without surrounding blanks.
    EXPECT_EQ(doc.getString("database", "odbc", "x"), "zel");
    EXPECT_EQ(doc.getString("Database", "USER", "x"), "\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0");
    EXPECT_EQ(doc.getString("DATABASE", "PASSWORD", "x"), "qmx");
    // Header name runs to the first ']' or the end of the line, without blanks.
    EXPECT_EQ(doc.getInt("system", "nul", 5), 12);  // NUL ends the value
    EXPECT_EQ(doc.getString("SYSTEM", "NUL", "x"), "12");
    EXPECT_EQ(doc.getString("GROUP1", "STATION", "x"), "ABC");
    EXPECT_EQ(doc.getString("EMPTY", "K", "dflt"), "dflt");
    EXPECT_EQ(doc.getString("LAST", "K", "x"), "v");
    // Lines before the first header belong to no section; comments and odd lines are no keys.
    EXPECT_EQ(doc.getString("", "orphan", "none"), "none");
    EXPECT_EQ(doc.getString("DATABASE", "just some text", "none"), "none");
    EXPECT_EQ(doc.getString("DATABASE", "; komm", "none"), "none");
    // Missing section or key: the default, cut like a value.
    EXPECT_EQ(doc.getString("NOPE", "ODBC", "zel"), "zel");
    EXPECT_EQ(doc.getInt("DATABASE", "NOPE", -7), -7);
    EXPECT_EQ(doc.getString("NOPE", "K", "abcdef", 3), "abc");

    EXPECT_TRUE(doc.sectionHasLines("database"));
    EXPECT_TRUE(doc.sectionHasLines("group1"));
    EXPECT_FALSE(doc.sectionHasLines("EMPTY"));  // comments and blanks only
    EXPECT_FALSE(doc.sectionHasLines("MISSING"));
    EXPECT_TRUE(ProfileDocument::fromBytes("[A]\nno equals sign\n").sectionHasLines("a"));
    EXPECT_FALSE(ProfileDocument::fromBytes("[A]").sectionHasLines("A"));
}

// Names fold as code page 1251 does: Latin and Cyrillic letters (Ё/ё and the letters of the
// other Cyrillic alphabets too); every other byte, № and the quotes among them, is itself.
TEST(ProfileDocument, NamesMatchWithoutRegardToCyrillicLetterCase) {
    // [Группа] with the keys бз, ёж and №1, then a [ГРУППА] that the first one hides.
    const std::string text =
        "[\xC3\xF0\xF3\xEF\xEF\xE0]\r\n\xE1\xE7=1160000000\r\n\xB8\xE6=2\r\n\xB9"
        "1=3\r\n"
        "[\xC3\xD0\xD3\xCF\xCF\xC0]\r\n\xE1\xE7=9\r\n";
    auto doc = ProfileDocument::fromBytes(text);
    EXPECT_EQ(doc.getInt("\xE3\xF0\xF3\xEF\xEF\xE0", "\xC1\xC7", 0), 1160000000);  // группа БЗ
    EXPECT_EQ(doc.getInt("\xC3\xD0\xD3\xCF\xCF\xC0", "\xE1\xC7", 0), 1160000000);  // ГРУППА бЗ
    EXPECT_EQ(doc.getInt("\xC3\xF0\xF3\xEF\xEF\xE0", "\xA8\xC6", 0), 2);           // ЁЖ
    EXPECT_EQ(doc.getInt("\xC3\xF0\xF3\xEF\xEF\xE0",
                         "\xB9"
                         "1",
                         0),
              3);  // №1
    EXPECT_EQ(doc.getInt("\xC3\xF0\xF3\xEF\xEF\xE0",
                         "\x99"
                         "1",
                         0),
              0);  // ™ is not № in caps

    // Writing keeps the file's spelling in place instead of adding a second key.
    ASSERT_TRUE(doc.setString("\xE3\xD0\xF3\xCF\xEF\xC0", "\xC1\xC7", "7"));
    ASSERT_TRUE(doc.setString("\xC3\xF0\xF3\xEF\xEF\xE0", "\xA8\xC6", "8"));
    EXPECT_EQ(doc.bytes(),
              "[\xC3\xF0\xF3\xEF\xEF\xE0]\r\n\xE1\xE7=7\r\n\xB8\xE6=8\r\n\xB9"
              "1=3\r\n"
              "[\xC3\xD0\xD3\xCF\xCF\xC0]\r\n\xE1\xE7=9\r\n");
    // Deleting takes the first of the name, then the one it hid.
    doc.deleteSection("\xE3\xF0\xF3\xEF\xEF\xE0");
    EXPECT_EQ(doc.getInt("\xE3\xF0\xF3\xEF\xEF\xE0", "\xC1\xC7", 0), 9);
    doc.deleteSection("\xE3\xF0\xF3\xEF\xEF\xE0");
    EXPECT_EQ(doc.bytes(), "");

    // Every byte against every other, in names of three lengths with the byte at different
    // places: a key of the byte finds the first key whose byte has the same upper case in code
    // page 1251, and no other.
    for (const auto& [before, after] :
         {std::pair<std::string, std::string>{"k", ""}, {"name_", "_long"}, {"longname_", "xyz"}}) {
        std::string all = "[S]\n";
        for (int b = 0; b < 256; ++b) {
            all += before + static_cast<char>(b) + after + "=" + std::to_string(b) + "\n";
        }
        const auto every = ProfileDocument::fromBytes(all);
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            if (c == '\r' || c == '\n' || c == '=' || ((c == ' ' || c == '\t') && after.empty())) {
                continue;  // the byte ends the line or the key
            }
            int first = 0;
            while (cp1251::toUpper(static_cast<char>(first)) != cp1251::toUpper(c)) {
                ++first;
            }
            const std::string key = cp1251::toUpper(before) + c + cp1251::toUpper(after);
            EXPECT_EQ(every.getInt("s", key, -1), first) << before << " " << b;
        }
    }
}

TEST(ProfileDocument, FirstOfDuplicateSectionsAndKeysWins) {
    auto doc = ProfileDocument::fromBytes("[S]\nK=1\nk=2\n[T]\nK=t\n[s]\nK=3\nNEW2=x\n[S]\nK=4\n");
    EXPECT_EQ(doc.getInt("S", "K", 0), 1);
    EXPECT_EQ(doc.getString("s", "NEW2", "none"), "none");  // only the first [S] is read
    // Read in file order through a SectionRef, which tries the line after the last key found:
    // the line after K is k, a second K, which is not the one found.
    ProfileDocument::SectionRef s("S");
    EXPECT_EQ(doc.getInt(s, "K", 0), 1);
    EXPECT_EQ(doc.getInt(s, "k", 0), 1);
    EXPECT_EQ(doc.getInt(s, "K", 0), 1);

    ASSERT_TRUE(doc.setString("S", "K", "10"));
    ASSERT_TRUE(doc.setString("S", "NEW", "n"));
    EXPECT_EQ(doc.bytes(), "[S]\nK=10\nk=2\nNEW=n\r\n[T]\nK=t\n[s]\nK=3\nNEW2=x\n[S]\nK=4\n");

    // After the first is deleted the second becomes the one found, then the third.
    doc.deleteSection("S");
    EXPECT_EQ(doc.getInt("S", "K", 0), 3);
    EXPECT_EQ(doc.getString("S", "NEW2", "none"), "x");
    ASSERT_TRUE(doc.setString("S", "K", "30"));
    EXPECT_EQ(doc.bytes(), "[T]\nK=t\n[s]\nK=30\nNEW2=x\n[S]\nK=4\n");
    doc.deleteSection("s");
    EXPECT_EQ(doc.getInt("S", "K", 0), 4);
    doc.deleteSection("S");
    EXPECT_FALSE(doc.sectionHasLines("S"));
    EXPECT_EQ(doc.bytes(), "[T]\nK=t\n");
    doc.deleteSection("S");  // nothing left to delete
    EXPECT_EQ(doc.bytes(), "[T]\nK=t\n");
}

TEST(ProfileDocument, ASectionNameDeletedToTheLastCanBeAddedAgain) {
    auto doc = ProfileDocument::fromBytes("[S]\nK=1\n[T]\nK=t\n[s]\nK=2\n");
    doc.deleteSection("s");
    doc.deleteSection("S");
    EXPECT_EQ(doc.getInt("S", "K", 0), 0);
    EXPECT_FALSE(doc.sectionHasLines("S"));
    ASSERT_TRUE(doc.setString("s", "K", "3"));  // a new section at the end, found from now on
    EXPECT_EQ(doc.getInt("S", "K", 0), 3);
    ASSERT_TRUE(doc.setString("S", "L", "4"));
    EXPECT_EQ(doc.bytes(), "[T]\nK=t\n[s]\r\nK=3\r\nL=4\r\n");
    doc.deleteSection("S");
    EXPECT_EQ(doc.bytes(), "[T]\nK=t\n");
    ASSERT_TRUE(doc.setString("S", "K", "5"));
    EXPECT_EQ(doc.bytes(), "[T]\nK=t\n[S]\r\nK=5\r\n");

    // A header without a name is a section like any other, named by the empty name.
    auto empty = ProfileDocument::fromBytes("K=0\n[]\nK=1\n[ ]\nK=2\n");
    EXPECT_EQ(empty.getInt("", "K", -1), 1);
    empty.deleteSection(" ");
    EXPECT_EQ(empty.getInt("", "K", -1), 2);
    EXPECT_EQ(empty.bytes(), "K=0\n[ ]\nK=2\n");
}

TEST(ProfileDocument, RemovesOneMatchingPairOfQuotesAndCutsValues) {
    const auto doc = ProfileDocument::fromBytes(
        "[Q]\n"
        "D=\"a b\"\n"
        "S='a b'\n"
        "MIXED=\"a b'\n"
        "TWICE=\"\"x\"\"\n"
        "ONE=\"\n"
        "EMPTYQ=''\n"
        "EMPTY=\n"
        "BLANKS=   \n"
        "INNER=a\"b\"\n"
        "LONG=" +
        std::string(600, 'x') + "\n");
    EXPECT_EQ(doc.getString("Q", "D", "-"), "a b");
    EXPECT_EQ(doc.getString("Q", "S", "-"), "a b");
    EXPECT_EQ(doc.getString("Q", "MIXED", "-"), "\"a b'");
    EXPECT_EQ(doc.getString("Q", "TWICE", "-"), "\"x\"");
    EXPECT_EQ(doc.getString("Q", "ONE", "-"), "\"");
    EXPECT_EQ(doc.getString("Q", "EMPTYQ", "-"), "");
    EXPECT_EQ(doc.getString("Q", "EMPTY", "-"), "");  // present but empty: not the default
    EXPECT_EQ(doc.getString("Q", "BLANKS", "-"), "");
    EXPECT_EQ(doc.getString("Q", "INNER", "-"), "a\"b\"");
    EXPECT_EQ(doc.getString("Q", "LONG", "-"), std::string(ProfileDocument::kValueLimit, 'x'));
    EXPECT_EQ(doc.getString("Q", "LONG", "-", 10), std::string(10, 'x'));
}

TEST(ProfileDocument, ReadsIntegersModulo2To32) {
    const auto doc = ProfileDocument::fromBytes(
        "[N]\n"
        "A=42\nB=-17\nC=+8\nD=  12abc\nE=abc\nF=\nG=4294967297\nH=-2147483649\n"
        "I=2147483648\nJ=99999999999999999999\nK=\"123\"\nL=- 5\nM=''\nN=-\nO=\t\"  7\"\n"
        "P=0x10\n");
    EXPECT_EQ(doc.getInt("N", "A", 1), 42);
    EXPECT_EQ(doc.getInt("N", "B", 1), -17);
    EXPECT_EQ(doc.getInt("N", "C", 1), 8);
    EXPECT_EQ(doc.getInt("N", "D", 1), 12);
    EXPECT_EQ(doc.getInt("N", "E", 1), 0);  // no digits
    EXPECT_EQ(doc.getInt("N", "F", 1), 1);  // empty value: the default
    EXPECT_EQ(doc.getInt("N", "G", 1), 1);
    EXPECT_EQ(doc.getInt("N", "H", 1), 2147483647);
    EXPECT_EQ(doc.getInt("N", "I", 1), -2147483647 - 1);
    EXPECT_EQ(doc.getInt("N", "J", 1), 1661992959);  // 99999999999999999999 mod 2^32
    EXPECT_EQ(doc.getInt("N", "K", 1), 123);
    EXPECT_EQ(doc.getInt("N", "L", 1), 0);
    EXPECT_EQ(doc.getInt("N", "M", 1), 1);
    EXPECT_EQ(doc.getInt("N", "N", 1), 0);
    EXPECT_EQ(doc.getInt("N", "O", 1), 7);
    EXPECT_EQ(doc.getInt("N", "P", 1), 0);
    EXPECT_EQ(doc.getInt("N", "MISSING", 9), 9);
    EXPECT_EQ(doc.getInt("MISSING", "A", 9), 9);
}

TEST(ProfileDocument, WritesExistingKeysInPlace) {
    auto doc = ProfileDocument::fromBytes("[A]\r\n  Odbc  =  old value  \r\nUSER=u\rX=1\n[B]\nK=2");
    ASSERT_TRUE(doc.setString("a", "ODBC", "new"));
    ASSERT_TRUE(doc.setString("A", "user", ""));
    ASSERT_TRUE(doc.setString("A", "x", "\xC0\xC1 "));
    ASSERT_TRUE(doc.setString("B", "K", "3"));  // last line keeps having no line end
    EXPECT_EQ(doc.bytes(), "[A]\r\nOdbc=new\r\nUSER=\rX=\xC0\xC1 \n[B]\nK=3");
    EXPECT_EQ(doc.getString("A", "ODBC", "-"), "new");
    EXPECT_EQ(doc.getString("A", "USER", "-"), "");

    // Setting twice gives the same bytes as setting once; a write that leaves its line as it
    // stands is no change at all.
    const std::string once = doc.commitBytes();
    ASSERT_TRUE(doc.setString("a", "ODBC", "new"));
    ASSERT_TRUE(doc.setString("A", "X", "\xC0\xC1 "));
    EXPECT_TRUE(doc.unchangedFrom(once));
    EXPECT_EQ(doc.bytes(), once);
    ASSERT_TRUE(doc.setString("B", "K", "4"));
    EXPECT_FALSE(doc.unchangedFrom(once));

    // A line with blanks around its '=' is written without them, even with the same value.
    auto spaced = ProfileDocument::fromBytes("[A]\nK = 1\n");
    ASSERT_TRUE(spaced.setString("A", "K", "1"));
    EXPECT_EQ(spaced.bytes(), "[A]\nK=1\n");
    EXPECT_FALSE(spaced.unchangedFrom("[A]\nK = 1\n"));
}

TEST(ProfileDocument, AddsKeysAfterTheLastKeyLineAndSectionsAtTheEnd) {
    auto doc = ProfileDocument::fromBytes(
        "top\n"
        "[A]\n"
        "K=1\n"
        "not a key\n"
        "; comment ending A\n"
        "\n"
        "[B]\r\n"
        "; B has no keys\r\n"
        "[C]\n"
        "C=1");
    ASSERT_TRUE(doc.setString("A", "N1", "x"));
    ASSERT_TRUE(doc.setString("A", "N2", "y"));
    ASSERT_TRUE(doc.setString("B", "N", "z"));
    ASSERT_TRUE(doc.setString("D", "K", "d"));
    ASSERT_TRUE(doc.setString("D", "L", "e"));
    EXPECT_EQ(doc.bytes(),
              "top\n"
              "[A]\n"
              "K=1\n"
              "N1=x\r\n"
              "N2=y\r\n"
              "not a key\n"
              "; comment ending A\n"
              "\n"
              "[B]\r\n"
              "N=z\r\n"
              "; B has no keys\r\n"
              "[C]\n"
              "C=1\r\n"  // the last line got its line end before the new section
              "[D]\r\n"
              "K=d\r\n"
              "L=e\r\n");
    EXPECT_TRUE(doc.sectionHasLines("B"));

    // A last line without line end before a key added to its own section.
    auto tail = ProfileDocument::fromBytes("[A]\nK=1");
    ASSERT_TRUE(tail.setString("A", "L", "2"));
    EXPECT_EQ(tail.bytes(), "[A]\nK=1\r\nL=2\r\n");
    auto header = ProfileDocument::fromBytes("[A]");
    ASSERT_TRUE(header.setString("A", "L", "2"));
    EXPECT_EQ(header.bytes(), "[A]\r\nL=2\r\n");
    auto preamble = ProfileDocument::fromBytes("; only a comment");
    ASSERT_TRUE(preamble.setString("S", "K", "v"));
    EXPECT_EQ(preamble.bytes(), "; only a comment\r\n[S]\r\nK=v\r\n");

    // A missing or empty file is simply filled.
    ProfileDocument empty;
    ASSERT_TRUE(empty.setString("DATABASE", "ODBC", "zel"));
    ASSERT_TRUE(empty.setString("DATABASE", "USER", "zel"));
    ASSERT_TRUE(empty.setString("SYSTEM", "GROUPS", "0"));
    EXPECT_EQ(empty.bytes(), "[DATABASE]\r\nODBC=zel\r\nUSER=zel\r\n[SYSTEM]\r\nGROUPS=0\r\n");
    EXPECT_EQ(empty.getString("database", "user", "-"), "zel");
}

TEST(ProfileDocument, RefusesNamesAndValuesThatWouldCorruptTheFile) {
    const std::string original = "[A]\r\nK=1\r\n";
    auto doc = ProfileDocument::fromBytes(original);
    struct Case {
        std::string section, key, value, reason;
    };
    const Case cases[] = {
        {"A", "K", "two\r\nlines", "в значении"},
        {"A", "K", "line\n", "в значении"},
        {"A", "K", "cr\r", "в значении"},
        {"A", "K", std::string("nul\0", 4), "в значении"},
        {"A", "BAD\nKEY", "v", "в имени ключа"},
        {"A", std::string("K\0", 2), "v", "в имени ключа"},
        {"A", "K=2", "v", "«=»"},
        {"A", "[K", "v", "«[»"},
        {"A", " ;K", "v", "«;»"},
        {"A\r", "K", "v", "в имени раздела"},
        {std::string("A\0", 2), "K", "v", "в имени раздела"},
        {"A]B", "K", "v", "«]»"},
    };
    for (const auto& c : cases) {
        const Status st = doc.setString(c.section, c.key, c.value);
        EXPECT_FALSE(st.ok) << c.key;
        EXPECT_NE(st.error.find(c.reason), std::string::npos) << st.error;
        EXPECT_NE(st.error.find(c.key.substr(0, 1)), std::string::npos) << st.error;
    }
    EXPECT_EQ(doc.bytes(), original);
    // Blanks around names are no part of them; ';' and '[' inside a key are harmless.
    ASSERT_TRUE(doc.setString(" a ", " k ", "2"));
    ASSERT_TRUE(doc.setString("A", "K;[", "3"));
    EXPECT_EQ(doc.bytes(), "[A]\r\nK=2\r\nK;[=3\r\n");
}

TEST(ProfileDocument, DeletesASectionWithEverythingUpToTheNextHeader) {
    auto doc = ProfileDocument::fromBytes(
        "pre\r\n[GROUP1]\r\nA=1\r\n[GROUP2]\r\nA=2\r\n; note\r\n\r\n[GROUP3]\r\nA=3\r\n");
    doc.deleteSection("group2");
    EXPECT_EQ(doc.bytes(), "pre\r\n[GROUP1]\r\nA=1\r\n[GROUP3]\r\nA=3\r\n");
    EXPECT_FALSE(doc.sectionHasLines("GROUP2"));
    doc.deleteSection("GROUP3");
    ASSERT_TRUE(doc.setString("GROUP2", "A", "new"));
    EXPECT_EQ(doc.bytes(), "pre\r\n[GROUP1]\r\nA=1\r\n[GROUP2]\r\nA=new\r\n");
    doc.deleteSection("GROUP1");
    doc.deleteSection("GROUP2");
    EXPECT_EQ(doc.bytes(), "pre\r\n");
    ASSERT_TRUE(doc.setString("X", "Y", "z"));
    EXPECT_EQ(doc.bytes(), "pre\r\n[X]\r\nY=z\r\n");
}

TEST(ProfileDocument, TwentyThousandKeyWritesLandWhereTheyBelong) {
    std::string text = "; settings\r\n[SYSTEM]\r\nGROUPS=0\r\n; end of system\r\n\r\n";
    for (int g = 1; g <= 100; ++g) {
        text += "[GROUP" + std::to_string(g) + "]\r\nSTATION=S" + std::to_string(g) + "\r\n\r\n";
    }
    auto doc = ProfileDocument::fromBytes(text);
    for (int i = 0; i < 20000; ++i) {
        const int g = i % 150 + 1;  // a third of the writes create or fill new sections
        ASSERT_TRUE(
            doc.setString("GROUP" + std::to_string(g), "K" + std::to_string(i), std::to_string(i)));
    }
    ASSERT_TRUE(doc.setString("SYSTEM", "GROUPS", "150"));
    for (int i = 0; i < 20000; ++i) {
        const int g = i % 150 + 1;
        ASSERT_EQ(doc.getInt("group" + std::to_string(g), "k" + std::to_string(i), -1), i);
    }
    const std::string out = doc.bytes();
    EXPECT_EQ(count(out, "[GROUP"), 150u);
    EXPECT_EQ(count(out, "\r\nK"), 20000u);
    // New keys follow the existing ones, before the blank line that ends the section.
    const auto g7 = out.find("[GROUP7]\r\nSTATION=S7\r\nK6=6\r\nK156=156\r\n");
    EXPECT_NE(g7, std::string::npos);
    EXPECT_NE(out.find("K19956=19956\r\n\r\n[GROUP8]\r\n", g7), std::string::npos);
    // Everything reads back the same after a round trip through bytes.
    const auto again = ProfileDocument::fromBytes(out);
    EXPECT_EQ(again.getInt("GROUP150", "K19949", -1), 19949);
    EXPECT_EQ(again.getString("SYSTEM", "GROUPS", "-"), "150");
    EXPECT_EQ(again.bytes(), out);
}

// Random edits of random documents: what the indexed document answers must always be what a
// fresh parse of its bytes answers, every write must read back, and a committed document must go
// on exactly as a fresh parse of its bytes would (the settings file reuses it so).
TEST(ProfileDocument, IndexAgreesWithAFreshParseAfterRandomEdits) {
    std::mt19937 rng(20261208);
    const std::vector<std::string> sections = {"A", "b", "GROUP1", "Group2", " c ", "\xC0"};
    const std::vector<std::string> keys = {"K", "k", "CHAN", "FILE_BHZ", "x y", "", "\xB8"};
    const std::vector<std::string> fragments = {
        "[A]", "[a]",     " [B] x",   "[GROUP1",      "[group2]", "[C]",  "[\xE0]",
        "K=1", " k = 2 ", "CHAN=BHZ", "FILE_BHZ='f'", "x y=3",    "=e",   "\xA8=4",
        "; c", "",        "  ",       "text",         "K=\xC0",   "K=v1", "CHAN=v2"};
    const std::vector<std::string> ends = {"\n", "\r\n", "\r"};
    const std::vector<std::string> values = {"v1", "v2", "", "4"};
    const auto pick = [&rng](const auto& v) -> const auto& {
        return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
    };
    const auto sameAnswers = [&](const ProfileDocument& doc, const ProfileDocument& again) {
        for (const auto& section : sections) {
            ASSERT_EQ(doc.sectionHasLines(section), again.sectionHasLines(section)) << section;
            for (const auto& key : keys) {
                ASSERT_EQ(doc.getString(section, key, "-"), again.getString(section, key, "-"))
                    << "[" << section << "] " << key << " in\n"
                    << again.bytes();
            }
        }
    };
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int lines = std::uniform_int_distribution<int>(0, 20)(rng);
        for (int i = 0; i < lines; ++i) {
            text += pick(fragments);
            if (i + 1 < lines || rng() % 2) {
                text += pick(ends);
            }
        }
        auto doc = ProfileDocument::fromBytes(text);
        // Section references kept across the edits, which add and delete sections under them.
        std::vector<ProfileDocument::SectionRef> refs;
        for (const auto& section : sections) {
            refs.emplace_back(section);
        }
        for (int op = 0; op < 30; ++op) {
            const std::size_t which = rng() % sections.size();
            const std::string& section = sections[which];
            if (rng() % 6 == 0) {
                doc.deleteSection(section);
                EXPECT_EQ(doc.sectionHasLines(refs[which]),
                          ProfileDocument::fromBytes(doc.bytes()).sectionHasLines(section));
                continue;
            }
            const std::string& key = pick(keys);
            const std::string value = rng() % 2 ? pick(values) : "v" + std::to_string(op);
            if (rng() % 2) {
                ASSERT_TRUE(doc.setString(refs[which], key, value));
            } else {
                ASSERT_TRUE(doc.setString(section, key, value));
            }
            ASSERT_EQ(doc.getString(refs[which], key, "-"), value) << text;
        }
        const std::string out = doc.bytes();
        const auto again = ProfileDocument::fromBytes(out);
        ASSERT_EQ(again.bytes(), out);
        sameAnswers(doc, again);

        ASSERT_EQ(doc.commitBytes(), out);
        ASSERT_TRUE(doc.unchangedFrom(out));
        auto fresh = ProfileDocument::fromBytes(out);
        for (int op = 0; op < 10; ++op) {
            const std::size_t which = rng() % sections.size();
            if (rng() % 6 == 0) {
                doc.deleteSection(sections[which]);
                fresh.deleteSection(sections[which]);
                continue;
            }
            const std::string& key = pick(keys);
            const std::string& value = pick(values);
            ASSERT_TRUE(doc.setString(refs[which], key, value));
            ASSERT_TRUE(fresh.setString(sections[which], key, value));
        }
        ASSERT_EQ(doc.bytes(), fresh.bytes()) << "committed from\n" << out;
        if (doc.unchangedFrom(out)) {
            EXPECT_EQ(fresh.bytes(), out);
        }
        sameAnswers(doc, fresh);
    }
}
