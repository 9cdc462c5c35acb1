// Conversion between 8-bit text in a code page and wide (UTF-16) text: the spreadsheet
// library reads and writes its records with it, the wide-string support its code pages.
#pragma once

#include <string>
#include <string_view>

namespace platform {

constexpr int kCodePage1252 = 1252;

// 8-bit text to UTF-16 in the given code page: 1252 and ISO-8859-1 (28591) here, UTF-8 (65001),
// other Windows code pages through the C library's converters, the Macintosh code pages of one
// byte (10000..10082) by Apple's tables or the converters; a code page that none knows is
// read as 1252, the code page of every file this library writes.
std::u16string AnsiToWideCP(std::string_view text, int codePage = kCodePage1252);

// UTF-16 to 8-bit text in code page 1252; a character that has no 1252 byte becomes "?".
std::string WideToAnsi(std::u16string_view text);

// UTF-16 to 8-bit text in the given code page, the inverse of AnsiToWideCP: a character that
// the code page lacks becomes "?", and *lossless (when given) tells whether none did. A code
// page that no converter knows is written as 1252.
std::string WideToAnsiCP(std::u16string_view text, int codePage, bool* lossless = nullptr);

// UTF-8 and UTF-16 of the same text, for file names and tests.
std::u16string Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::u16string_view text);

}  // namespace platform
