// Small text helpers of the formula compiler: ASCII upper case for function names, cell
// references and sheet names, and quoting for formula text.
#pragma once

#include <string>
#include <string_view>

namespace xls::ftext {

// ASCII upper case; other characters unchanged.
std::u16string UpperAscii(std::u16string_view text);
std::string UpperAscii(std::string_view text);
// The text between two quote characters, each quote inside doubled ('It''s').
std::u16string Quoted(std::u16string_view text, char16_t quote);

}  // namespace xls::ftext
