// Upper case for the ASCII letters of function names, cell references and sheet names.
#pragma once

#include <string>
#include <string_view>

namespace xls::ftext {

// ASCII upper case; other characters unchanged.
std::u16string UpperAscii(std::u16string_view text);
std::string UpperAscii(std::string_view text);

}  // namespace xls::ftext
