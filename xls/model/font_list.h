// The workbook's fonts: each font is one fixed-width key string, so equal fonts share an entry;
// changing an attribute interns the changed key and gives a (possibly new) font index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "xls/model/blob.h"
#include "xls/model/key_list.h"
#include "xls/model/xls_constants.h"

namespace xls {

// The FONT character set of the texts of a Windows code page (0, ANSI, for 1252 and unknown ones).
std::uint32_t CharsetOfCodePage(int codePage);

class TXLSFontList : public TXLSKeyList {
 public:
  static const std::u16string kDefaultKey;  // Arial, 10 points, automatic colour
  // The colour digits of a font read with colour index 0 (black). A colour 0 set here is written
  // as automatic; one read from a file is written back as 0. The field reads as 0 ('K' is no hex
  // digit), and setting a colour replaces it.
  static const std::u16string kReadColorZero;

  TXLSFontList();
  void SetFixedCount(std::int32_t n) { SetFixedCountValue(n); }
  // The BIFF font index that XF records carry: BIFF index 4 is never used.
  std::int32_t GetOutputIndex(std::int32_t fontIndex) const override;

  double GetSize(std::int32_t font) const;
  std::int32_t SetSize(std::int32_t font, double points);
  std::int32_t GetColor(std::int32_t font) const;
  std::int32_t SetColor(std::int32_t font, std::int32_t color);
  // The weight digit of a key: 0 normal (400), 1 bold (700); a file's other weights keep their
  // hundreds (2 200, ..., 9 900, A 1000, B 100), bold above 400 as the reader takes them.
  bool GetBold(std::int32_t font) const;
  static char16_t WeightDigit(std::uint32_t weight);
  static std::uint32_t WeightOfDigit(char16_t digit);
  std::int32_t SetBold(std::int32_t font, bool v) { return SetFlag(font, 9, v); }
  bool GetItalic(std::int32_t font) const { return Flag(font, 10); }
  std::int32_t SetItalic(std::int32_t font, bool v) { return SetFlag(font, 10, v); }
  bool GetStrikethrough(std::int32_t font) const { return Flag(font, 11); }
  std::int32_t SetStrikethrough(std::int32_t font, bool v) { return SetFlag(font, 11, v); }
  bool GetOutline(std::int32_t font) const { return Flag(font, 12); }
  std::int32_t SetOutline(std::int32_t font, bool v) { return SetFlag(font, 12, v); }
  bool GetShadow(std::int32_t font) const { return Flag(font, 13); }
  std::int32_t SetShadow(std::int32_t font, bool v) { return SetFlag(font, 13, v); }
  std::int32_t GetUnderline(std::int32_t font) const;
  std::int32_t SetUnderline(std::int32_t font, std::int32_t v) { return SetField(font, 14, 2, v & 0xFF); }
  bool GetSubscript(std::int32_t font) const { return Flag(font, 16); }
  std::int32_t SetSubscript(std::int32_t font, bool v) { return SetFlag(font, 16, v); }
  bool GetSuperscript(std::int32_t font) const { return Flag(font, 17); }
  std::int32_t SetSuperscript(std::int32_t font, bool v) { return SetFlag(font, 17, v); }
  std::int32_t GetFamily(std::int32_t font) const;
  std::int32_t SetFamily(std::int32_t font, std::int32_t v) { return SetField(font, 18, 2, v & 0xFF); }
  std::int32_t GetCharset(std::int32_t font) const;
  std::int32_t SetCharset(std::int32_t font, std::int32_t v) { return SetField(font, 20, 2, v & 0xFF); }
  std::u16string GetName(std::int32_t font) const;
  // Names longer than 255 characters are cut: the record holds the length in one byte.
  std::int32_t SetName(std::int32_t font, const std::u16string& name);

  // The FONT record of the i-th written font (0-based, after compaction); BIFF5 names it in
  // the code page, and gives a font of the ANSI set the set of the code page.
  std::unique_ptr<TXLSBlob> BuildFontRecord(std::int32_t i, int version, int codePage = 1252) const;

 private:
  bool Flag(std::int32_t font, int pos) const;
  std::int32_t SetFlag(std::int32_t font, int pos, bool v) { return SetField(font, pos, 1, v ? 1 : 0); }
  std::int32_t SetField(std::int32_t font, int pos, int width, std::uint32_t value);
};

}  // namespace xls
