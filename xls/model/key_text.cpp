#include "xls/model/key_text.h"

namespace xls {

void AppendHex(std::u16string& key, std::uint32_t value, int width) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  const std::size_t start = key.size();
  key.append(static_cast<std::size_t>(width), u'0');
  for (int i = width - 1; i >= 0; --i) {
    key[start + static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
}

std::u16string HexDigits(std::uint32_t value, int width) {
  std::u16string s;
  AppendHex(s, value, width);
  return s;
}

std::uint32_t HexField(const std::u16string& key, int pos, int width) {
  if (pos < 1 || key.size() < static_cast<std::size_t>(pos - 1 + width)) return 0;
  std::uint32_t v = 0;
  for (int i = 0; i < width; ++i) {
    char16_t c = key[static_cast<std::size_t>(pos - 1 + i)];
    std::uint32_t d;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
    else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else return 0;
    v = (v << 4) | d;
  }
  return v;
}

std::u16string KeyPart(const std::u16string& key, int pos, int width) {
  if (pos < 1 || key.size() < static_cast<std::size_t>(pos - 1 + width)) return {};
  return key.substr(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(width));
}

std::u16string KeyTail(const std::u16string& key, int pos) {
  if (pos < 1 || key.size() < static_cast<std::size_t>(pos - 1)) return {};
  return key.substr(static_cast<std::size_t>(pos - 1));
}

}  // namespace xls
