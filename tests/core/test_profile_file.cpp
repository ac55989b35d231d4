#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "support/temp_dir.h"

using namespace vorda;
using vorda::test::readFile;
using vorda::test::TempDir;

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

TEST(ProfileFile, ReproducesForeignBytesExactlyWhenNothingIsSet) {
    EXPECT_EQ(ProfileFile::fromBytes(kForeign).bytes(), kForeign);
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += "[S" + std::to_string(b) + "]\r" + static_cast<char>(b) + "=" +
               static_cast<char>(b) + "\n\r\n";
    }
    EXPECT_EQ(ProfileFile::fromBytes(all).bytes(), all);
    EXPECT_EQ(ProfileFile::fromBytes("").bytes(), "");
    EXPECT_EQ(ProfileFile::fromBytes("\r\r\n\n\r").bytes(), "\r\r\n\n\r");
    EXPECT_EQ(ProfileFile().bytes(), "");
}

TEST(ProfileFile, ReadsLinesAsTheServiceDoes) {
    const auto doc = ProfileFile::fromBytes(kForeign);
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

    // Only ASCII letters fold: Cyrillic а and А are different names.
    const auto cyr = ProfileFile::fromBytes("[\xE0]\nk=1\n");
    EXPECT_EQ(cyr.getInt("\xE0", "K", 0), 1);
    EXPECT_EQ(cyr.getInt("\xC0", "K", 0), 0);

    EXPECT_TRUE(doc.sectionHasLines("database"));
    EXPECT_TRUE(doc.sectionHasLines("group1"));
    EXPECT_FALSE(doc.sectionHasLines("EMPTY"));  // comments and blanks only
    EXPECT_FALSE(doc.sectionHasLines("MISSING"));
    EXPECT_TRUE(ProfileFile::fromBytes("[A]\nno equals sign\n").sectionHasLines("a"));
    EXPECT_FALSE(ProfileFile::fromBytes("[A]").sectionHasLines("A"));
}

TEST(ProfileFile, FirstOfDuplicateSectionsAndKeysWins) {
    auto doc = ProfileFile::fromBytes("[S]\nK=1\nk=2\n[T]\nK=t\n[s]\nK=3\nNEW2=x\n[S]\nK=4\n");
    EXPECT_EQ(doc.getInt("S", "K", 0), 1);
    EXPECT_EQ(doc.getString("s", "NEW2", "none"), "none");  // only the first [S] is read

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

TEST(ProfileFile, RemovesOneMatchingPairOfQuotesAndCutsValues) {
    const auto doc = ProfileFile::fromBytes(
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
    EXPECT_EQ(doc.getString("Q", "LONG", "-"), std::string(ProfileFile::kValueLimit, 'x'));
    EXPECT_EQ(doc.getString("Q", "LONG", "-", 10), std::string(10, 'x'));
}

TEST(ProfileFile, ReadsIntegersModulo2To32) {
    const auto doc = ProfileFile::fromBytes(
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

TEST(ProfileFile, WritesExistingKeysInPlace) {
    auto doc = ProfileFile::fromBytes("[A]\r\n  Odbc  =  old value  \r\nUSER=u\rX=1\n[B]\nK=2");
    ASSERT_TRUE(doc.setString("a", "ODBC", "new"));
    ASSERT_TRUE(doc.setString("A", "user", ""));
    ASSERT_TRUE(doc.setString("A", "x", "\xC0\xC1 "));
    ASSERT_TRUE(doc.setString("B", "K", "3"));  // last line keeps having no line end
    EXPECT_EQ(doc.bytes(), "[A]\r\nOdbc=new\r\nUSER=\rX=\xC0\xC1 \n[B]\nK=3");
    EXPECT_EQ(doc.getString("A", "ODBC", "-"), "new");
    EXPECT_EQ(doc.getString("A", "USER", "-"), "");

    // Setting twice gives the same bytes as setting once.
    const std::string once = doc.bytes();
    ASSERT_TRUE(doc.setString("a", "ODBC", "new"));
    EXPECT_EQ(doc.bytes(), once);
}

TEST(ProfileFile, AddsKeysAfterTheLastKeyLineAndSectionsAtTheEnd) {
    auto doc = ProfileFile::fromBytes(
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
    auto tail = ProfileFile::fromBytes("[A]\nK=1");
    ASSERT_TRUE(tail.setString("A", "L", "2"));
    EXPECT_EQ(tail.bytes(), "[A]\nK=1\r\nL=2\r\n");
    auto header = ProfileFile::fromBytes("[A]");
    ASSERT_TRUE(header.setString("A", "L", "2"));
    EXPECT_EQ(header.bytes(), "[A]\r\nL=2\r\n");
    auto preamble = ProfileFile::fromBytes("; only a comment");
    ASSERT_TRUE(preamble.setString("S", "K", "v"));
    EXPECT_EQ(preamble.bytes(), "; only a comment\r\n[S]\r\nK=v\r\n");

    // A missing or empty file is simply filled.
    ProfileFile empty;
    ASSERT_TRUE(empty.setString("DATABASE", "ODBC", "zel"));
    ASSERT_TRUE(empty.setString("DATABASE", "USER", "zel"));
    ASSERT_TRUE(empty.setString("SYSTEM", "GROUPS", "0"));
    EXPECT_EQ(empty.bytes(), "[DATABASE]\r\nODBC=zel\r\nUSER=zel\r\n[SYSTEM]\r\nGROUPS=0\r\n");
    EXPECT_EQ(empty.getString("database", "user", "-"), "zel");
}

TEST(ProfileFile, RefusesNamesAndValuesThatWouldCorruptTheFile) {
    const std::string original = "[A]\r\nK=1\r\n";
    auto doc = ProfileFile::fromBytes(original);
    struct Case {
        std::string section, key, value, reason;
    };
    const Case cases[] = {
        {"A", "K", "two\r\nlines", "value"},
        {"A", "K", "line\n", "value"},
        {"A", "K", "cr\r", "value"},
        {"A", "K", std::string("nul\0", 4), "value"},
        {"A", "BAD\nKEY", "v", "key"},
        {"A", std::string("K\0", 2), "v", "key"},
        {"A", "K=2", "v", "'='"},
        {"A", "[K", "v", "'['"},
        {"A", " ;K", "v", "';'"},
        {"A\r", "K", "v", "section"},
        {std::string("A\0", 2), "K", "v", "section"},
        {"A]B", "K", "v", "']'"},
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

TEST(ProfileFile, DeletesASectionWithEverythingUpToTheNextHeader) {
    auto doc = ProfileFile::fromBytes(
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

TEST(ProfileFile, TwentyThousandKeyWritesLandWhereTheyBelong) {
    std::string text = "; settings\r\n[SYSTEM]\r\nGROUPS=0\r\n; end of system\r\n\r\n";
    for (int g = 1; g <= 100; ++g) {
        text += "[GROUP" + std::to_string(g) + "]\r\nSTATION=S" + std::to_string(g) + "\r\n\r\n";
    }
    auto doc = ProfileFile::fromBytes(text);
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
    const auto again = ProfileFile::fromBytes(out);
    EXPECT_EQ(again.getInt("GROUP150", "K19949", -1), 19949);
    EXPECT_EQ(again.getString("SYSTEM", "GROUPS", "-"), "150");
    EXPECT_EQ(again.bytes(), out);
}

// Random edits of random documents: what the indexed document answers must always be what a
// fresh parse of its bytes answers, and every write must read back.
TEST(ProfileFile, IndexAgreesWithAFreshParseAfterRandomEdits) {
    std::mt19937 rng(20261208);
    const std::vector<std::string> sections = {"A", "b", "GROUP1", "Group2", " c "};
    const std::vector<std::string> keys = {"K", "k", "CHAN", "FILE_BHZ", "x y", ""};
    const std::vector<std::string> fragments = {
        "[A]", "[a]",     " [B] x",   "[GROUP1",      "[group2]", "[C]",
        "K=1", " k = 2 ", "CHAN=BHZ", "FILE_BHZ='f'", "x y=3",    "=e",
        "; c", "",        "  ",       "text",         "K=\xC0"};
    const std::vector<std::string> ends = {"\n", "\r\n", "\r"};
    const auto pick = [&rng](const auto& v) -> const auto& {
        return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
    };
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const int lines = std::uniform_int_distribution<int>(0, 20)(rng);
        for (int i = 0; i < lines; ++i) {
            text += pick(fragments);
            if (i + 1 < lines || rng() % 2) {
                text += pick(ends);
            }
        }
        auto doc = ProfileFile::fromBytes(text);
        for (int op = 0; op < 30; ++op) {
            const std::string& section = pick(sections);
            if (rng() % 6 == 0) {
                doc.deleteSection(section);
                EXPECT_EQ(doc.sectionHasLines(section),
                          ProfileFile::fromBytes(doc.bytes()).sectionHasLines(section));
                continue;
            }
            const std::string& key = pick(keys);
            const std::string value = "v" + std::to_string(op);
            ASSERT_TRUE(doc.setString(section, key, value));
            ASSERT_EQ(doc.getString(section, key, "-"), value) << text;
        }
        const std::string out = doc.bytes();
        const auto again = ProfileFile::fromBytes(out);
        ASSERT_EQ(again.bytes(), out);
        for (const auto& section : sections) {
            ASSERT_EQ(doc.sectionHasLines(section), again.sectionHasLines(section)) << out;
            for (const auto& key : keys) {
                ASSERT_EQ(doc.getString(section, key, "-"), again.getString(section, key, "-"))
                    << "[" << section << "] " << key << " in\n"
                    << out;
            }
        }
    }
}

TEST(ProfileFileOnDisk, LoadsMissingAndRefusesUnreadableFiles) {
    TempDir dir;
    ProfileFile doc = ProfileFile::fromBytes("[A]\nK=1\n");
    ASSERT_TRUE(ProfileFile::load(dir.file("missing.ini"), doc));
    EXPECT_FALSE(doc.existed());
    EXPECT_EQ(doc.bytes(), "");
    EXPECT_EQ(doc.getString("A", "K", "dflt"), "dflt");

    dir.write("there.ini", kForeign);
    ASSERT_TRUE(ProfileFile::load(dir.file("there.ini"), doc));
    EXPECT_TRUE(doc.existed());
    EXPECT_EQ(doc.bytes(), kForeign);

    std::filesystem::create_directory(dir.file("folder.ini"));
    const Status st = ProfileFile::load(dir.file("folder.ini"), doc);
    EXPECT_FALSE(st.ok);
    EXPECT_NE(st.error.find(dir.file("folder.ini")), std::string::npos) << st.error;
    EXPECT_NE(st.error.find("directory"), std::string::npos) << st.error;

    const Status through = ProfileFile::load(dir.file("there.ini/x.ini"), doc);
    EXPECT_FALSE(through.ok);
    EXPECT_NE(through.error.find("there.ini/x.ini"), std::string::npos) << through.error;
}

TEST(ProfileFileOnDisk, SavesAtomicallyKeepingPermissions) {
    TempDir dir;
    const std::string path = dir.file("ZEL_VurEV.ini");
    dir.write("ZEL_VurEV.ini", kForeign);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    ProfileFile doc;
    ASSERT_TRUE(ProfileFile::load(path, doc));
    ASSERT_TRUE(doc.setString("LAST", "K", "w"));
    ASSERT_TRUE(doc.save(path));
    EXPECT_EQ(readFile(path), kForeign.substr(0, kForeign.size() - 1) + "w");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Nothing but the file is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    // A new file gets 0666 less the umask.
    const mode_t old = ::umask(027);
    const Status created = writeFileAtomically(dir.file("new.ini"), "[A]\r\n");
    ::umask(old);
    ASSERT_TRUE(created) << created.error;
    ASSERT_EQ(::stat(dir.file("new.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.read("new.ini"), "[A]\r\n");

    // A relative name works as well.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const Status relative = writeFileAtomically("rel.ini", "x");
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(relative) << relative.error;
    EXPECT_EQ(dir.read("rel.ini"), "x");
}

TEST(ProfileFileOnDisk, WritesThroughSymbolicLinks) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("real"));
    dir.write("real/settings.ini", "[A]\nK=1\n");
    ASSERT_EQ(::chmod(dir.file("real/settings.ini").c_str(), 0600), 0);
    std::filesystem::create_symlink("real/settings.ini", dir.file("link.ini"));
    std::filesystem::create_symlink(dir.file("link.ini"), dir.file("link2.ini"));

    ProfileFile doc;
    ASSERT_TRUE(ProfileFile::load(dir.file("link2.ini"), doc));
    ASSERT_TRUE(doc.setString("A", "K", "2"));
    ASSERT_TRUE(doc.save(dir.file("link2.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link2.ini")));
    EXPECT_EQ(dir.read("real/settings.ini"), "[A]\nK=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("real/settings.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // A link to a file not there yet creates the file it names.
    std::filesystem::create_symlink("real/later.ini", dir.file("dangling.ini"));
    ASSERT_TRUE(writeFileAtomically(dir.file("dangling.ini"), "[B]\r\n"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("dangling.ini")));
    EXPECT_EQ(dir.read("real/later.ini"), "[B]\r\n");
}

TEST(ProfileFileOnDisk, FailedSavesLeaveTheOriginalAsItWas) {
    TempDir dir;
    // The folder does not exist.
    const Status noDir = writeFileAtomically(dir.file("nowhere/x.ini"), "x");
    EXPECT_FALSE(noDir.ok);
    EXPECT_NE(noDir.error.find("nowhere/x.ini"), std::string::npos) << noDir.error;

    // The target is a folder.
    std::filesystem::create_directory(dir.file("folder.ini"));
    const Status folder = writeFileAtomically(dir.file("folder.ini"), "x");
    EXPECT_FALSE(folder.ok);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.ini")));

    // Writing fails half-way (the file size limit stops it even for root).
    const std::string original = kForeign;
    dir.write("settings.ini", original);
    const std::string big(64 * 1024, 'x');
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    struct rlimit small = limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Status tooBig = writeFileAtomically(dir.file("settings.ini"), big);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(tooBig.ok);
    EXPECT_NE(tooBig.error.find("settings.ini"), std::string::npos) << tooBig.error;
    EXPECT_EQ(dir.read("settings.ini"), original);

    // Where permissions are enforced, a read-only folder refuses the save as well.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        const Status readOnly = writeFileAtomically(dir.file("settings.ini"), "x");
        ::chmod(dir.path().c_str(), 0755);
        EXPECT_FALSE(readOnly.ok);
        EXPECT_EQ(dir.read("settings.ini"), original);
    }

    // No temporary file is left behind by any of the failures.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder.ini", "settings.ini"}));
}

namespace {

// Runs body as an ordinary user (nobody) when we are root, since root may write any file; the
// result is body's, or -1 when the child could not be started or changed user.
int asOrdinaryUser(const std::function<int()>& body) {
    if (::geteuid() != 0) {
        return body();
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(100);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status) == 100 ? -1 : WEXITSTATUS(status);
}

}  // namespace

TEST(ProfileFileOnDisk, AFileTheUserMayNotWriteIsNotReplaced) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);  // the folder itself is open to everyone
    dir.write("open.ini", "[A]\r\n");
    ASSERT_EQ(::chmod(dir.file("open.ini").c_str(), 0666), 0);
    dir.write("locked.ini", kForeign);
    ASSERT_EQ(::chmod(dir.file("locked.ini").c_str(), 0444), 0);

    // 0: the writable file was written and the read-only one refused with the reason.
    const int result = asOrdinaryUser([&] {
        if (!writeFileAtomically(dir.file("open.ini"), "[B]\r\n").ok) {
            return 1;
        }
        const Status locked = writeFileAtomically(dir.file("locked.ini"), "[C]\r\n");
        if (locked.ok) {
            return 2;
        }
        return locked.error.find("locked.ini") != std::string::npos ? 0 : 3;
    });
    if (result == -1 || result == 1) {
        GTEST_SKIP() << "no ordinary user can write into " << dir.path();
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dir.read("open.ini"), "[B]\r\n");
    EXPECT_EQ(dir.read("locked.ini"), kForeign);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("locked.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);
}
