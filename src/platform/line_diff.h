#pragma once
// Line differences between two texts, as a unified diff (the form diff -u and patch use), for
// showing what a change of a file does before or after it is made. The texts are compared line
// by line, each line with its own line end, so a line whose only change is its end ("\r\n" to
// "\n") counts as changed.
#include <string>
#include <string_view>
#include <vector>

namespace vorda {

// The lines of a text, each with its line end ("\n", or "\r\n" as part of it); the last one has
// none when the text does not end with a line break. An empty text has no lines.
std::vector<std::string_view> splitLines(std::string_view text);

// Which lines a shortest edit from `before` to `after` removes and adds (Myers' algorithm, in
// linear space): removed[i] for line i of before, added[j] for line j of after. The lines that
// neither marks are a longest common subsequence of the two.
struct LineChanges {
    std::vector<bool> removed;
    std::vector<bool> added;
};
LineChanges diffLines(const std::vector<std::string_view>& before,
                      const std::vector<std::string_view>& after);

// The unified diff of the two texts with `context` unchanged lines around each change, headed
// "--- fromName" and "+++ toName"; empty when the texts are equal. A last line without a line
// end is followed by "\ No newline at end of file", as diff writes it.
std::string unifiedDiff(std::string_view before, std::string_view after, std::string_view fromName,
                        std::string_view toName, int context = 3);

}  // namespace vorda
