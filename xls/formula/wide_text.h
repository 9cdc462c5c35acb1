// Small conversions between the UTF-16 strings the spreadsheet model keeps and the 8-bit
// (UTF-8) text the formula lexer reads.
#pragma once

#include <string>
#include <string_view>

namespace xls::ftext {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; a malformed byte becomes U+FFFD.
std::u16string Utf8ToWide(std::string_view text);
// ASCII upper case; other characters unchanged.
std::u16string UpperAscii(std::u16string_view text);
std::string UpperAscii(std::string_view text);
// Decimal text of an integer as UTF-16.
std::u16string WideNumber(long long value);

}  // namespace xls::ftext
