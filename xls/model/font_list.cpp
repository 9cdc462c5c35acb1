#include "xls/model/font_list.h"

#include <algorithm>
#include <cmath>

#include "xls/model/codepage.h"
#include "xls/model/key_text.h"

namespace xls {

namespace {
constexpr int kNamePos = 22;
}

const std::u16string TXLSFontList::kDefaultKey = u"00C87FFF0000000000000Arial";
const std::u16string TXLSFontList::kReadColorZero = u"000K";

TXLSFontList::TXLSFontList() {
  SetBaseIndex(0);
  SetFixedCountValue(4);
  SetDefaultKey(kDefaultKey);
}

std::int32_t TXLSFontList::GetOutputIndex(std::int32_t fontIndex) const {
  std::int32_t o = TXLSKeyList::GetOutputIndex(fontIndex);
  return (o >= 1 && o <= 4) ? o - 1 : o;
}

bool TXLSFontList::Flag(std::int32_t font, int pos) const {
  std::u16string key = GetKey(font);
  return key.size() >= static_cast<std::size_t>(pos) && key[pos - 1] == u'1';
}

std::int32_t TXLSFontList::SetField(std::int32_t font, int pos, int width, std::uint32_t value) {
  std::u16string key = GetKey(font);
  if (key.size() < kNamePos - 1) key = kDefaultKey;
  key.replace(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(width),
              HexDigits(value, width));
  return Intern(font, key);
}

double TXLSFontList::GetSize(std::int32_t font) const { return HexField(GetKey(font), 1, 4) / 20.0; }

std::int32_t TXLSFontList::SetSize(std::int32_t font, double points) {
  double twips = std::nearbyint(points * 20.0);  // the default rounding: halves to even
  if (!(twips >= 0)) twips = 0;
  if (twips > 0xFFFF) twips = 0xFFFF;
  return SetField(font, 1, 4, static_cast<std::uint32_t>(twips));
}

std::int32_t TXLSFontList::GetColor(std::int32_t font) const {
  std::uint32_t c = HexField(GetKey(font), 5, 4);
  return c == 0x7FFF ? kXlAutomatic : static_cast<std::int32_t>(c);
}

std::int32_t TXLSFontList::SetColor(std::int32_t font, std::int32_t color) {
  return SetField(font, 5, 4, color == kXlAutomatic ? 0x7FFFu : static_cast<std::uint32_t>(color) & 0xFFFF);
}

std::int32_t TXLSFontList::GetUnderline(std::int32_t font) const {
  return static_cast<std::int32_t>(HexField(GetKey(font), 14, 2));
}
std::int32_t TXLSFontList::GetFamily(std::int32_t font) const {
  return static_cast<std::int32_t>(HexField(GetKey(font), 18, 2));
}
std::int32_t TXLSFontList::GetCharset(std::int32_t font) const {
  return static_cast<std::int32_t>(HexField(GetKey(font), 20, 2));
}

bool TXLSFontList::GetBold(std::int32_t font) const {
  const std::u16string key = GetKey(font);
  return key.size() >= 9 && WeightOfDigit(key[8]) > 400;
}

char16_t TXLSFontList::WeightDigit(std::uint32_t weight) {
  if (weight == 0) return u'0';
  const std::uint32_t hundreds = std::min<std::uint32_t>(10, std::max<std::uint32_t>(1, (weight + 50) / 100));
  switch (hundreds) {
    case 4: return u'0';
    case 7: return u'1';
    case 1: return u'B';
    case 10: return u'A';
  }
  return static_cast<char16_t>(u'0' + hundreds);
}

std::uint32_t TXLSFontList::WeightOfDigit(char16_t digit) {
  switch (digit) {
    case u'0': return 400;
    case u'1': return 700;
    case u'A': return 1000;
    case u'B': return 100;
  }
  return digit >= u'2' && digit <= u'9' ? 100u * static_cast<std::uint32_t>(digit - u'0') : 400u;
}

std::u16string TXLSFontList::GetName(std::int32_t font) const { return KeyTail(GetKey(font), kNamePos); }

std::int32_t TXLSFontList::SetName(std::int32_t font, const std::u16string& name) {
  std::u16string key = GetKey(font);
  if (key.size() < kNamePos - 1) key = kDefaultKey;
  key = key.substr(0, kNamePos - 1) + name.substr(0, kMaxShortText);
  return Intern(font, key);
}

std::uint32_t CharsetOfCodePage(int codePage) {
  switch (codePage) {
    case 874: return 222;   // Thai
    case 932: return 128;   // Shift-JIS
    case 936: return 134;   // GB 2312
    case 949: return 129;   // Hangul
    case 950: return 136;   // Big5
    case 1250: return 238;  // Eastern Europe
    case 1251: return 204;  // Cyrillic
    case 1253: return 161;  // Greek
    case 1254: return 162;  // Turkish
    case 1255: return 177;  // Hebrew
    case 1256: return 178;  // Arabic
    case 1257: return 186;  // Baltic
    case 1258: return 163;  // Vietnamese
  }
  return 0;  // ANSI
}

std::unique_ptr<TXLSBlob> TXLSFontList::BuildFontRecord(std::int32_t i, int version, int codePage) const {
  if (i < 0 || static_cast<std::size_t>(i) >= OutputOrder().size()) return nullptr;
  const std::u16string& key = OutputOrder()[static_cast<std::size_t>(i)]->key;
  std::u16string name = KeyTail(key, kNamePos).substr(0, kMaxShortText);
  bool biff5 = version == kBiff5;
  const std::string bytes = biff5 ? WideToAnsiCP(name, codePage).substr(0, 255) : std::string();
  std::uint32_t n = static_cast<std::uint32_t>(biff5 ? bytes.size() : name.size());
  auto b = std::make_unique<TXLSBlob>(biff5 ? 4 + 15 + n : 4 + 16 + 2 * n);
  b->AddWord(0x0031);
  b->AddWord(0);
  b->AddWord(HexField(key, 1, 4));
  b->AddWord((HexField(key, 10, 1) << 1) | (HexField(key, 11, 1) << 3) | (HexField(key, 12, 1) << 4) |
             (HexField(key, 13, 1) << 5));
  std::uint32_t color = HexField(key, 5, 4);
  b->AddWord(color != 0 || KeyPart(key, 5, 4) == kReadColorZero ? color : 0x7FFF);
  b->AddWord(WeightOfDigit(key.size() >= 9 ? key[8] : u'0'));
  b->AddWord(HexField(key, 17, 1) + 2 * HexField(key, 16, 1));
  b->AddByte(HexField(key, 14, 2));
  b->AddByte(HexField(key, 18, 2));
  std::uint32_t charset = HexField(key, 20, 2);
  // BIFF5 readers take a font's 8-bit texts in its character set: a font of the default (ANSI)
  // set is written with the set of the workbook's code page, in which the texts are written.
  if (biff5 && charset == 0) charset = CharsetOfCodePage(codePage);
  b->AddByte(charset);
  b->AddByte(0);
  b->AddByte(n & 0xFF);
  if (biff5) {
    b->AddString(bytes);
  } else {
    b->AddByte(1);
    b->AddWideString(name);
  }
  b->PutWord(b->GetSize() - 4, 2);
  return b;
}

}  // namespace xls
