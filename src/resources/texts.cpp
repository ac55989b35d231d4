#include "resources/texts.h"

#include <vector>

namespace vorda::texts {

std::string format(Text text, std::initializer_list<std::string_view> arguments) {
    const std::vector<std::string_view> args(arguments);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string counted(long count, Text one, Text few, Text many) {
    const long n = count < 0 ? -count : count;
    Text noun = many;
    if (n % 100 < 11 || n % 100 > 14) {
        if (n % 10 == 1) {
            noun = one;
        } else if (n % 10 >= 2 && n % 10 <= 4) {
            noun = few;
        }
    }
    return std::to_string(count) + " " + std::string(noun);
}

}  // namespace vorda::texts
