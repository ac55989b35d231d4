#include "platform/cp1251.h"

#include <array>
#include <cstdint>
#include <unordered_map>

#include "platform/text.h"

namespace vorda::cp1251 {
namespace {

// Unicode code points of the bytes 0x80 to 0xFF. 0x98 has no character in the code page; it
// maps to U+0098 so that every byte survives a round trip.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

const std::unordered_map<char32_t, unsigned char>& reverseTable() {
    static const auto table = [] {
        std::unordered_map<char32_t, unsigned char> t;
        for (unsigned i = 0; i < kHigh.size(); ++i) {
            t.emplace(kHigh[i], static_cast<unsigned char>(0x80 + i));
        }
        return t;
    }();
    return table;
}

// Decodes one UTF-8 sequence at s[i]; false on malformed input.
bool decodeUtf8(std::string_view s, std::size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int extra = 0;
    if (b0 < 0x80) {
        cp = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        cp = b0 & 0x1F;
        extra = 1;
    } else if ((b0 & 0xF0) == 0xE0) {
        cp = b0 & 0x0F;
        extra = 2;
    } else if ((b0 & 0xF8) == 0xF0) {
        cp = b0 & 0x07;
        extra = 3;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) {
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            return false;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return true;
}

bool encodeOne(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return true;
    }
    const auto& table = reverseTable();
    const auto it = table.find(cp);
    if (it == table.end()) {
        return false;
    }
    out.push_back(static_cast<char>(it->second));
    return true;
}

void appendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool canHold(char32_t codePoint) {
    // U+0098 only stands for the byte the code page leaves unused.
    return codePoint < 0x80 || (codePoint != 0x98 && reverseTable().count(codePoint) != 0);
}

std::optional<std::string> fromUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        if (!decodeUtf8(utf8, i, cp) || !encodeOne(cp, out)) {
            return std::nullopt;
        }
    }
    return out;
}

std::string fromUtf8Lossy(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        if (!decodeUtf8(utf8, i, cp)) {
            out.push_back('?');
            ++i;
            continue;
        }
        if (!encodeOne(cp, out)) {
            out.push_back('?');
        }
    }
    return out;
}

std::optional<std::string> fromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (const char16_t unit : utf16) {
        // A surrogate, paired or not, stands for a character outside the code page.
        if (unit < 0x20 || unit == 0x98 || (unit >= 0xD800 && unit <= 0xDFFF) ||
            !encodeOne(unit, out)) {
            return std::nullopt;
        }
    }
    return out;
}

std::string fromUtf16Lossy(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() &&
                          utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF;
        if (pair) {
            ++i;  // one character, outside the code page
        }
        if (pair || (unit >= 0xD800 && unit <= 0xDFFF) || !encodeOne(unit, out)) {
            out.push_back('?');
        }
    }
    return out;
}

std::u16string toUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(b < 0x80 ? char16_t{b} : kHigh[b - 0x80]);
    }
    return out;
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        appendUtf8(b < 0x80 ? char32_t{b} : char32_t{kHigh[b - 0x80]}, out);
    }
    return out;
}

char toUpper(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
        return upperAscii(c);
    }
    if (b >= 0xE0) {  // а..я
        return static_cast<char>(b - 32);
    }
    switch (b) {
        case 0xB8:
            return static_cast<char>(0xA8);  // yo
        case 0x90:
            return static_cast<char>(0x80);
        case 0x83:
            return static_cast<char>(0x81);
        case 0x9A:
            return static_cast<char>(0x8A);
        case 0x9C:
            return static_cast<char>(0x8C);
        case 0x9D:
            return static_cast<char>(0x8D);
        case 0x9E:
            return static_cast<char>(0x8E);
        case 0x9F:
            return static_cast<char>(0x8F);
        case 0xA2:
            return static_cast<char>(0xA1);
        case 0xBC:
            return static_cast<char>(0xA3);
        case 0xB4:
            return static_cast<char>(0xA5);
        case 0xBA:
            return static_cast<char>(0xAA);
        case 0xBF:
            return static_cast<char>(0xAF);
        case 0xB3:
            return static_cast<char>(0xB2);
        case 0xBE:
            return static_cast<char>(0xBD);
        default:
            return c;
    }
}

std::string toUpper(std::string_view bytes) {
    std::string out(bytes);
    for (char& c : out) {
        c = toUpper(c);
    }
    return out;
}

}  // namespace vorda::cp1251
