#include "xls/formula/wide_text.h"

namespace xls::ftext {

std::u16string UpperAscii(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (auto& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

std::u16string Quoted(std::u16string_view text, char16_t quote) {
  std::u16string s(1, quote);
  for (char16_t c : text) {
    s += c;
    if (c == quote) s += c;
  }
  return s + quote;
}

}  // namespace xls::ftext
