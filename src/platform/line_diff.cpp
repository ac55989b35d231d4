#include "platform/line_diff.h"

#include <algorithm>
#include <cstddef>
#include <unordered_map>

namespace vorda {
namespace {

// The lines of both texts as numbers, equal lines with equal numbers, so that comparing two
// lines costs one comparison of integers.
void numberLines(const std::vector<std::string_view>& before,
                 const std::vector<std::string_view>& after, std::vector<int>& a,
                 std::vector<int>& b) {
    std::unordered_map<std::string_view, int> ids;
    ids.reserve(before.size() + after.size());
    const auto idOf = [&ids](std::string_view line) {
        return ids.emplace(line, static_cast<int>(ids.size())).first->second;
    };
    a.reserve(before.size());
    for (const std::string_view line : before) {
        a.push_back(idOf(line));
    }
    b.reserve(after.size());
    for (const std::string_view line : after) {
        b.push_back(idOf(line));
    }
}

// Myers' algorithm with the middle snake: each range is split at a point a shortest edit passes
// through, found by searching from both ends at once, and the two halves are compared in turn.
class Differ {
  public:
    Differ(const std::vector<int>& a, const std::vector<int>& b, LineChanges& out)
        : a_(a), b_(b), out_(out) {}

    void compare(int aLo, int aHi, int bLo, int bHi) {
        while (aLo < aHi && bLo < bHi && a_[aLo] == b_[bLo]) {
            ++aLo;
            ++bLo;
        }
        while (aLo < aHi && bLo < bHi && a_[aHi - 1] == b_[bHi - 1]) {
            --aHi;
            --bHi;
        }
        int x = 0;
        int y = 0;
        if (aLo == aHi || bLo == bHi || !middle(aLo, aHi, bLo, bHi, x, y)) {
            mark(aLo, aHi, bLo, bHi);
            return;
        }
        compare(aLo, aLo + x, bLo, bLo + y);
        compare(aLo + x, aHi, bLo + y, bHi);
    }

  private:
    // The search of one range: v1 holds the furthest x reached on each diagonal k (x - y = k)
    // from the start, v2 the same from the end, both at index offset + k.
    struct Search {
        int aLo, bLo, n, m;
        int offset, delta;
        bool odd;  // delta is odd: the forward search finds the overlap
        std::vector<int> v1, v2;
        int k1start = 0, k1end = 0, k2start = 0, k2end = 0;
    };

    void mark(int aLo, int aHi, int bLo, int bHi) {
        std::fill(out_.removed.begin() + aLo, out_.removed.begin() + aHi, true);
        std::fill(out_.added.begin() + bLo, out_.added.begin() + bHi, true);
    }

    // The point (x, y) of the range that a shortest edit passes through; false when the two
    // have no line in common.
    bool middle(int aLo, int aHi, int bLo, int bHi, int& x, int& y) const {
        const int n = aHi - aLo;
        const int m = bHi - bLo;
        const int maxD = (n + m + 1) / 2;
        const auto length = 2 * static_cast<std::size_t>(maxD) + 2;
        Search s{aLo,
                 bLo,
                 n,
                 m,
                 maxD,
                 n - m,
                 (n - m) % 2 != 0,
                 std::vector<int>(length, -1),
                 std::vector<int>(length, -1)};
        s.v1[s.offset + 1] = 0;
        s.v2[s.offset + 1] = 0;
        for (int d = 0; d < maxD; ++d) {
            if (forward(s, d, x, y) || backward(s, d, x, y)) {
                return true;
            }
        }
        return false;
    }

    static int at(const std::vector<int>& v, int index) {
        return index >= 0 && static_cast<std::size_t>(index) < v.size() ? v[index] : -1;
    }

    bool forward(Search& s, int d, int& splitX, int& splitY) const {
        for (int k = -d + s.k1start; k <= d - s.k1end; k += 2) {
            const int i = s.offset + k;
            int x =
                (k == -d || (k != d && s.v1[i - 1] < s.v1[i + 1])) ? s.v1[i + 1] : s.v1[i - 1] + 1;
            int y = x - k;
            while (x < s.n && y < s.m && a_[s.aLo + x] == b_[s.bLo + y]) {
                ++x;
                ++y;
            }
            s.v1[i] = x;
            if (x > s.n) {
                s.k1end += 2;
            } else if (y > s.m) {
                s.k1start += 2;
            } else if (s.odd) {
                const int back = at(s.v2, s.offset + s.delta - k);
                if (back != -1 && x >= s.n - back) {
                    splitX = x;
                    splitY = y;
                    return true;
                }
            }
        }
        return false;
    }

    bool backward(Search& s, int d, int& splitX, int& splitY) const {
        for (int k = -d + s.k2start; k <= d - s.k2end; k += 2) {
            const int i = s.offset + k;
            int x =
                (k == -d || (k != d && s.v2[i - 1] < s.v2[i + 1])) ? s.v2[i + 1] : s.v2[i - 1] + 1;
            int y = x - k;
            while (x < s.n && y < s.m && a_[s.aLo + s.n - x - 1] == b_[s.bLo + s.m - y - 1]) {
                ++x;
                ++y;
            }
            s.v2[i] = x;
            if (x > s.n) {
                s.k2end += 2;
            } else if (y > s.m) {
                s.k2start += 2;
            } else if (!s.odd) {
                const int forwardK = s.delta - k;
                const int front = at(s.v1, s.offset + forwardK);
                if (front != -1 && front >= s.n - x) {
                    splitX = front;
                    splitY = front - forwardK;
                    return true;
                }
            }
        }
        return false;
    }

    const std::vector<int>& a_;
    const std::vector<int>& b_;
    LineChanges& out_;
};

// One step of the edit: a line kept (' '), removed ('-') or added ('+'), with the positions in
// both texts where it stands.
struct Step {
    char kind;
    std::size_t before;
    std::size_t after;
};

std::vector<Step> stepsOf(const LineChanges& changes) {
    const std::size_t n = changes.removed.size();
    const std::size_t m = changes.added.size();
    std::vector<Step> steps;
    steps.reserve(n + m);
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && changes.removed[i]) {
            steps.push_back({'-', i++, j});
        } else if (j < m && changes.added[j]) {
            steps.push_back({'+', i, j++});
        } else if (i < n && j < m) {
            steps.push_back({' ', i++, j++});
        } else {
            break;  // cannot happen: the lines left unmarked pair up
        }
    }
    return steps;
}

// "-start,count" as diff writes it: the count left out when it is 1, the line before the hunk
// as its start when the hunk has no line of that text.
std::string range(char sign, std::size_t start, std::size_t count) {
    std::string text(1, sign);
    text += std::to_string(count == 0 ? start : start + 1);
    if (count != 1) {
        text += ',' + std::to_string(count);
    }
    return text;
}

void appendLine(std::string& out, char kind, std::string_view line) {
    out += kind;
    out.append(line);
    if (line.empty() || line.back() != '\n') {
        out += "\n\\ No newline at end of file\n";
    }
}

// The end (one past) of the hunk that holds the change at `first`: the changes that follow with
// at most 2 * context kept lines between them belong to it, and context kept lines close it.
std::size_t hunkEnd(const std::vector<Step>& steps, std::size_t first, std::size_t context) {
    std::size_t last = first;
    for (std::size_t k = first + 1; k < steps.size() && k - last <= 2 * context + 1; ++k) {
        if (steps[k].kind != ' ') {
            last = k;
        }
    }
    return std::min(steps.size(), last + context + 1);
}

}  // namespace

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

LineChanges diffLines(const std::vector<std::string_view>& before,
                      const std::vector<std::string_view>& after) {
    LineChanges changes;
    changes.removed.assign(before.size(), false);
    changes.added.assign(after.size(), false);
    std::vector<int> a;
    std::vector<int> b;
    numberLines(before, after, a, b);
    Differ(a, b, changes).compare(0, static_cast<int>(a.size()), 0, static_cast<int>(b.size()));
    return changes;
}

std::string unifiedDiff(std::string_view before, std::string_view after, std::string_view fromName,
                        std::string_view toName, int context) {
    if (before == after) {
        return {};
    }
    const std::vector<std::string_view> a = splitLines(before);
    const std::vector<std::string_view> b = splitLines(after);
    const std::vector<Step> steps = stepsOf(diffLines(a, b));
    const auto around = static_cast<std::size_t>(std::max(context, 0));

    std::string out = "--- ";
    out.append(fromName);
    out += "\n+++ ";
    out.append(toName);
    out += '\n';
    std::size_t next = 0;
    for (;;) {
        const auto change = std::find_if(steps.begin() + static_cast<std::ptrdiff_t>(next),
                                         steps.end(), [](const Step& s) { return s.kind != ' '; });
        if (change == steps.end()) {
            break;
        }
        const auto first = static_cast<std::size_t>(change - steps.begin());
        const std::size_t begin = std::max(next, first >= around ? first - around : 0);
        const std::size_t end = hunkEnd(steps, first, around);
        std::size_t removedOrKept = 0;
        std::size_t addedOrKept = 0;
        for (std::size_t k = begin; k < end; ++k) {
            removedOrKept += steps[k].kind != '+' ? 1 : 0;
            addedOrKept += steps[k].kind != '-' ? 1 : 0;
        }
        out += "@@ " + range('-', steps[begin].before, removedOrKept) + ' ' +
               range('+', steps[begin].after, addedOrKept) + " @@\n";
        for (std::size_t k = begin; k < end; ++k) {
            const Step& s = steps[k];
            appendLine(out, s.kind, s.kind == '+' ? b[s.after] : a[s.before]);
        }
        next = end;
    }
    return out;
}

}  // namespace vorda
