// Delimited text of a value or of a one- or two-dimensional array of values (a range's
// values): comma-separated (TXLSCSVSaver) or TAB-separated (TXLSTSVSaver), as 8-bit text or as
// UTF-16 with a byte-order mark. Lines end with CR LF. A field is enclosed in double quotes
// (its own double quotes doubled) when it holds a blank, CR, LF, the separator or a quote.
#pragma once

#include <cstdint>
#include <string>

#include "platform/byte_stream.h"
#include "xls/model/variant.h"

namespace xls {

class TXLSCSVSaver {
 public:
  // Comma, 8-bit text.
  TXLSCSVSaver() : TXLSCSVSaver(u',', false) {}
  static TXLSCSVSaver CreateEx(bool unicode) { return TXLSCSVSaver(u',', unicode); }

  // 8-bit text is written in this code page (1252 unless set); a character the code page
  // lacks becomes "?".
  void SetCodePage(int codePage) { codePage_ = codePage; }

  // 1, or -1 when the file cannot be created or written (an existing file then keeps what it
  // held). fileName in UTF-16.
  std::int32_t SaveToFile(const std::u16string& fileName, const Variant& value);
  // Writes at the stream's position: 1, or -1 when the stream takes fewer bytes than given.
  std::int32_t SaveToStream(platform::ByteStream& stream, const Variant& value);

  // The text of one field as it is written, quoted where needed.
  std::u16string FieldText(const Variant& value) const;

 protected:
  TXLSCSVSaver(char16_t separator, bool unicode) : separator_(separator), unicode_(unicode) {}

 private:
  void AddField(const Variant& value);
  bool EndLine();

  char16_t separator_;
  bool unicode_;
  int codePage_ = 1252;
  std::u16string line_;
  bool lineHasFields_ = false;
  platform::ByteStream* stream_ = nullptr;
};

class TXLSTSVSaver : public TXLSCSVSaver {
 public:
  explicit TXLSTSVSaver(bool unicode = false) : TXLSCSVSaver(u'\t', unicode) {}
};

}  // namespace xls
