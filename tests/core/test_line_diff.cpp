// Line differences: the shortest edit between two texts, and its unified diff as diff -u writes
// it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/line_diff.h"

using namespace vorda;

namespace {

// The length of a longest common subsequence, the plain way.
std::size_t lcsLength(const std::vector<std::string_view>& a,
                      const std::vector<std::string_view>& b) {
    std::vector<std::vector<std::size_t>> t(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = a.size(); i-- > 0;) {
        for (std::size_t j = b.size(); j-- > 0;) {
            t[i][j] = a[i] == b[j] ? t[i + 1][j + 1] + 1 : std::max(t[i + 1][j], t[i][j + 1]);
        }
    }
    return t[0][0];
}

// Applies a unified diff to `before`, as patch would: kept and removed lines must be there.
std::string patch(const std::string& before, const std::string& diff) {
    const std::vector<std::string_view> from = splitLines(before);
    const std::vector<std::string_view> lines = splitLines(diff);
    std::string out;
    std::size_t at = 0;  // the next line of before
    for (std::size_t k = 2; k < lines.size(); ++k) {
        const std::string_view line = lines[k];
        if (line.starts_with("@@")) {
            // "@@ -start[,count] ...": the hunk's first line of before (the line before it
            // when it has none).
            std::size_t used = 0;
            const std::string range(line.substr(4));
            const std::size_t start = std::stoul(range, &used);
            const std::size_t count = range[used] == ',' ? std::stoul(range.substr(used + 1)) : 1;
            const std::size_t until = count == 0 ? start : start - 1;
            for (; at < until; ++at) {
                out.append(from[at]);
            }
            continue;
        }
        std::string text(line.substr(1));
        if (k + 1 < lines.size() && lines[k + 1].starts_with("\\ No newline")) {
            text.pop_back();
            ++k;
        }
        if (line[0] == '+') {
            out += text;
            continue;
        }
        EXPECT_LT(at, from.size());
        EXPECT_EQ(from[at], text) << "line " << at + 1;
        if (line[0] == ' ') {
            out += text;
        }
        ++at;
    }
    for (; at < from.size(); ++at) {
        out.append(from[at]);
    }
    return out;
}

}  // namespace

TEST(LineDiff, WritesUnifiedDiffsAsDiffDoes) {
    struct Case {
        std::string before;
        std::string after;
        std::string diff;  // after the two header lines
    };
    const Case cases[] = {
        {"a\nb\nc\n", "a\nb\nc\n", ""},
        {"a\nb\nc\n", "a\nB\nc\n", "@@ -1,3 +1,3 @@\n a\n-b\n+B\n c\n"},
        {"", "x\n", "@@ -0,0 +1 @@\n+x\n"},
        {"x\n", "", "@@ -1 +0,0 @@\n-x\n"},
        {"a\r\nb\r\n", "a\r\nb\n", "@@ -1,2 +1,2 @@\n a\r\n-b\r\n+b\n"},
        {"a\nb", "a\nb\n", "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\n"},
        // Changes more than six kept lines apart make two hunks, with three lines around each.
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n", "0\n2\n3\n4\n5\n6\n7\n8\n9\nX\n",
         "@@ -1,4 +1,4 @@\n-1\n+0\n 2\n 3\n 4\n@@ -7,4 +7,4 @@\n 7\n 8\n 9\n-10\n+X\n"},
        // Six or fewer apart: one hunk.
        {"1\n2\n3\n4\n5\n6\n7\n8\n", "0\n2\n3\n4\n5\n6\n7\nX\n",
         "@@ -1,8 +1,8 @@\n-1\n+0\n 2\n 3\n 4\n 5\n 6\n 7\n-8\n+X\n"},
        {"k\na\nb\nk\n", "k\nb\na\nk\n", "@@ -1,4 +1,4 @@\n k\n-a\n b\n+a\n k\n"},
    };
    for (const Case& c : cases) {
        const std::string diff = unifiedDiff(c.before, c.after, "old", "new");
        EXPECT_EQ(diff, c.diff.empty() ? "" : "--- old\n+++ new\n" + c.diff) << c.before;
    }
}

TEST(LineDiff, EveryEditIsShortestAndTheDiffRebuildsTheText) {
    std::mt19937 random(20240501);
    for (int round = 0; round < 400; ++round) {
        // Few distinct lines, so that texts share many in many ways.
        const auto text = [&](std::size_t lines) {
            std::string t;
            for (std::size_t i = 0; i < lines; ++i) {
                t += std::string(1, static_cast<char>('a' + random() % 4)) + "\n";
            }
            if (random() % 4 == 0 && !t.empty()) {
                t.pop_back();  // no line end at the end
            }
            return t;
        };
        const std::string before = text(random() % 30);
        const std::string after = text(random() % 30);
        const std::vector<std::string_view> a = splitLines(before);
        const std::vector<std::string_view> b = splitLines(after);
        const LineChanges changes = diffLines(a, b);
        const auto kept = static_cast<std::size_t>(
            std::count(changes.removed.begin(), changes.removed.end(), false));
        ASSERT_EQ(kept, lcsLength(a, b)) << before << "|" << after;
        ASSERT_EQ(kept, static_cast<std::size_t>(
                            std::count(changes.added.begin(), changes.added.end(), false)));
        if (before != after) {
            ASSERT_EQ(patch(before, unifiedDiff(before, after, "a", "b")), after)
                << before << "|" << after;
        }
    }
}
