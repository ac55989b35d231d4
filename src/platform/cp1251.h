#pragma once
// Code page 1251: the byte encoding of the settings file, the record and the database texts.
// The widgets show Unicode; these conversions are used only at that boundary.
#include <optional>
#include <string>
#include <string_view>

namespace vorda::cp1251 {

// UTF-8 to code page 1251; nothing when a character has no place in the code page or the
// input is not valid UTF-8.
std::optional<std::string> fromUtf8(std::string_view utf8);

// UTF-8 to code page 1251, a '?' for each character the code page cannot hold.
std::string fromUtf8Lossy(std::string_view utf8);

// Code page 1251 to UTF-8; every byte has a character (0x98, unused in the code page, becomes
// U+0098 so that nothing is lost).
std::string toUtf8(std::string_view bytes);

// Whether the Unicode code point has a place in the code page (U+0098, which only carries the
// byte 0x98 that the code page leaves unused, has none).
bool canHold(char32_t codePoint);

// UTF-16 (the wide text of the ODBC driver manager) to code page 1251, for text that goes into
// the record: nothing when a character has no place in the code page, when the text holds a
// control character (below U+0020, and U+0098, the one byte the code page leaves unused) or a
// surrogate without its pair.
std::optional<std::string> fromUtf16(std::u16string_view utf16);

// UTF-16 to code page 1251 for showing: a '?' for each character the code page cannot hold.
std::string fromUtf16Lossy(std::u16string_view utf16);

// Code page 1251 to UTF-16.
std::u16string toUtf16(std::string_view bytes);

// Upper case as code page 1251 does it: Latin a-z and the Cyrillic letters. (ASCII alone:
// upperAscii and equalsAsciiNoCase in platform/text.h.)
char toUpper(char c);
std::string toUpper(std::string_view bytes);

}  // namespace vorda::cp1251
