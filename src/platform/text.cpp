#include "platform/text.h"

#include <limits>

namespace vorda {

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = upperAscii(c);
    }
    return out;
}

std::int32_t readSaturatedDecimal(std::string_view text, bool* saturated) {
    if (saturated != nullptr) {
        *saturated = false;
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // The magnitude is counted in 64 bits, where a limit times ten plus a digit still fits.
    const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                        : std::int64_t{std::numeric_limits<std::int32_t>::max()};
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) {
            value = limit;
            if (saturated != nullptr) {
                *saturated = true;
            }
        }
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace vorda
