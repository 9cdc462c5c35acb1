#include "kept_books.h"

#include <cstring>
#include <functional>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "reader_test_support.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {

namespace {

Bytes Number(std::uint16_t row, std::uint16_t column, double v) {
  Bytes b;
  PutWord(b, row);
  PutWord(b, column);
  PutWord(b, 15);
  PutDouble(b, v);
  return b;
}

Bytes Formula(std::uint16_t row, std::uint16_t column, const Bytes& tokens, double cached) {
  Bytes b;
  PutWord(b, row);
  PutWord(b, column);
  PutWord(b, 15);
  PutDouble(b, cached);
  PutWord(b, 0);
  PutDWord(b, 0);
  PutWord(b, static_cast<std::uint32_t>(tokens.size()));
  b.insert(b.end(), tokens.begin(), tokens.end());
  return b;
}

// One font (Arial 10) and the XFs up to 15, the cells' format: 15 style XFs, one cell XF.
void Formats(BiffBuilder& b, bool biff8) {
  Bytes font;
  for (std::uint32_t v : {200, 0, 0x7FFF, 400, 0}) PutWord(font, v);
  font.insert(font.end(), {0, 0, 0, 0, 5});
  if (biff8) font.push_back(0);
  font.insert(font.end(), {'A', 'r', 'i', 'a', 'l'});
  b.Record(0x0031, font);
  for (int i = 0; i <= 15; ++i) {
    Bytes xf;
    PutWord(xf, 0);
    PutWord(xf, 0);
    PutWord(xf, i < 15 ? 0xFFF5 : 0x0001);
    PutWord(xf, 0x0020);
    xf.resize(biff8 ? 20 : 16, 0);
    b.Record(0x00E0, xf);
  }
}

// Globals (the NAME records given, one sheet "Data") and the sheet's records.
Bytes Book(std::uint16_t version, const std::vector<Bytes>& names, const std::function<void(BiffBuilder&)>& cells) {
  BiffBuilder b;
  b.Bof(0x0005, version);
  const bool biff8 = version == 0x0600;
  Formats(b, biff8);
  for (const Bytes& name : names) b.Record(0x0018, name);
  Bytes sheet;
  PutDWord(sheet, 0);
  PutWord(sheet, 0);
  if (biff8) {
    PutString8(sheet, "Data", true);
  } else {
    sheet.push_back(4);
    sheet.insert(sheet.end(), {'D', 'a', 't', 'a'});
  }
  b.Record(0x0085, sheet).Eof().Bof(0x0010, version);
  cells(b);
  b.Eof();
  return b.bytes;
}

}  // namespace

IXLSWorkbook Open(const Bytes& bytes) {
  platform::MemoryStream stream(bytes);
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->OpenStream(stream), 1);
  return book;
}

Bytes Saved(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1);
  return saved.Bytes();
}

// The records of a saved file's workbook stream with the given id, bodies only.
std::vector<Bytes> Records(const Bytes& file, std::uint16_t id) {
  platform::CompoundFileReader cf;
  std::vector<Bytes> out;
  if (!cf.Open(file)) return out;
  int entry = cf.Find(platform::CompoundFileReader::kRoot, u"Workbook");
  if (entry < 0) entry = cf.Find(platform::CompoundFileReader::kRoot, u"Book");
  Bytes stream;
  if (entry < 0 || !cf.ReadStream(entry, stream)) return out;
  for (std::size_t at = 0; at + 4 <= stream.size();) {
    const std::uint16_t rid = static_cast<std::uint16_t>(stream[at] | stream[at + 1] << 8);
    const std::size_t size = static_cast<std::size_t>(stream[at + 2] | stream[at + 3] << 8);
    if (rid == id) out.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                    stream.begin() + static_cast<std::ptrdiff_t>(at + 4 + size));
    at += 4 + size;
  }
  return out;
}

std::vector<double> FormulaResults(const Bytes& file) {
  std::vector<double> out;
  for (const Bytes& f : Records(file, 0x0006)) {
    double v = 0;
    std::memcpy(&v, f.data() + 6, 8);
    out.push_back(v);
  }
  return out;
}

Bytes StaleBook() {
  return Book(0x0600, {}, [](BiffBuilder& b) {
    b.Record(0x0203, Number(0, 0, 3));
    b.Record(0x0006, Formula(0, 1, {0x24, 0, 0, 0, 0, 0x1E, 2, 0, 0x05}, 7));
    b.Record(0x0006, Formula(0, 2, {0x24, 0, 0, 1, 0xC0, 0x1E, 1, 0, 0x03}, 9));
  });
}

Bytes CallBook() {
  Bytes name;
  PutWord(name, 0x000E);
  name.insert(name.end(), {0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  name.insert(name.end(), {'C', 'o', 'm', 'm', 'e', 'n', 't'});
  return Book(0x0500, {name}, [](BiffBuilder& b) {
    b.Record(0x0203, Number(0, 0, 5));
    const Bytes call = {0x23, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x24, 0, 0xC0, 0, 0x42, 2, 0xFF, 0};
    b.Record(0x0006, Formula(0, 1, call, 5));
    b.Record(0x0006, Formula(0, 2, {0x42, 0, 0xA3, 0x80}, 1));
  });
}

Bytes ArrayRecord() {
  const Bytes tokens = {0x65, 0, 0, 2, 0, 0, 0xC0, 0, 0xC0, 0x65, 0, 0, 2, 0, 0, 0xC0, 0, 0xC0, 0x61, 0xFC, 0,
                        0x1E, 0, 0, 0x0D, 0x19, 0x02, 7, 0, 0x1E, 1, 0, 0x19, 0x08, 10, 0, 0x1E, 0, 0, 0x19,
                        0x08, 3, 0, 0x62, 3, 1, 0, 0x42, 1, 4, 0};
  Bytes array;
  PutWord(array, 0);
  PutWord(array, 0);
  array.insert(array.end(), {1, 1});
  PutWord(array, 0);
  PutDWord(array, 0);
  PutWord(array, static_cast<std::uint32_t>(tokens.size()));
  array.insert(array.end(), tokens.begin(), tokens.end());
  return array;
}

Bytes ArrayBook() {
  return Book(0x0600, {}, [](BiffBuilder& b) {
    for (std::uint16_t r = 0; r < 3; ++r) b.Record(0x0203, Number(r, 0, r + 1.0));
    b.Record(0x0006, Formula(0, 1, {0x01, 0, 0, 1, 0}, 3));
    b.Record(0x0221, ArrayRecord());
    b.Record(0x0006, Formula(2, 1, {0x1E, 1, 0, 0x1E, 3, 0, 0x03}, 4));
    b.Record(0x0006, Formula(2, 2, {0x1E, 1, 0, 0x1E, 2, 0, 0x03}, 3));
    Bytes merged;
    for (std::uint32_t v : {1, 2, 2, 0, 2}) PutWord(merged, v);
    b.Record(0x00E5, merged);
  });
}

Bytes ArrayRefBook() {
  BiffBuilder b;
  b.Bof(0x0005, 0x0600);
  Formats(b, true);
  for (const char* name : {"Data", "Other"}) {
    Bytes sheet = {0, 0, 0, 0, 0, 0};
    PutString8(sheet, name, true);
    b.Record(0x0085, sheet);
  }
  b.Record(0x01AE, {2, 0, 1, 4});
  // Entry 0 the first sheet (named by nothing), entry 1 the second.
  b.Record(0x0017, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0});
  // "Local" of the first sheet = Other!$A$1 before the workbook's "Alpha" = Other!$A$1:$A$2.
  auto name = [&b](const std::string& text, std::uint8_t sheet, const Bytes& tokens) {
    Bytes n = {0, 0, 0, static_cast<std::uint8_t>(text.size())};
    PutWord(n, static_cast<std::uint32_t>(tokens.size()));
    n.insert(n.end(), {0, 0, sheet, 0, 0, 0, 0, 0, 0});
    n.insert(n.end(), text.begin(), text.end());
    n.insert(n.end(), tokens.begin(), tokens.end());
    b.Record(0x0018, n);
  };
  name("Local", 1, {0x3A, 1, 0, 0, 0, 0, 0});
  name("Alpha", 0, {0x3B, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  b.Eof().Bof(0x0010, 0x0600);
  b.Record(0x0203, Number(0, 0, 5));
  // B1:B2 {=Other!$A$1:$A$2*2} (cached 2 and 4), B4 {=SUM(Alpha)+Local} (cached 4).
  b.Record(0x0006, Formula(0, 1, {0x01, 0, 0, 1, 0}, 2));
  Bytes array = {0, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0};
  const Bytes product = {0x7B, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x1E, 2, 0, 0x05};
  PutWord(array, static_cast<std::uint32_t>(product.size()));
  array.insert(array.end(), product.begin(), product.end());
  b.Record(0x0221, array);
  b.Record(0x0006, Formula(1, 1, {0x01, 0, 0, 1, 0}, 4));
  b.Record(0x0006, Formula(3, 1, {0x01, 3, 0, 1, 0}, 4));
  array = {3, 0, 3, 0, 1, 1, 0, 0, 0, 0, 0, 0};
  const Bytes sum = {0x63, 2, 0, 0, 0, 0x42, 1, 4, 0, 0x43, 1, 0, 0, 0, 0x03};
  PutWord(array, static_cast<std::uint32_t>(sum.size()));
  array.insert(array.end(), sum.begin(), sum.end());
  b.Record(0x0221, array);
  b.Eof().Bof(0x0010, 0x0600);
  b.Record(0x0203, Number(0, 0, 1));
  b.Record(0x0203, Number(1, 0, 2));
  b.Eof();
  return b.bytes;
}

Bytes MacroSheetArrayBook() {
  BiffBuilder b;
  b.Bof(0x0005, 0x0500);
  Formats(b, false);
  const std::vector<std::pair<std::string, std::uint8_t>> sheets = {{"Data", 0}, {"Macro1", 1}, {"Other", 0}};
  for (const auto& [name, type] : sheets) {
    Bytes sheet = {0, 0, 0, 0, 0, type, static_cast<std::uint8_t>(name.size())};
    sheet.insert(sheet.end(), name.begin(), name.end());
    b.Record(0x0085, sheet);
  }
  for (const auto& [name, type] : sheets) {
    Bytes entry = {static_cast<std::uint8_t>(name.size() + 1), 3};
    entry.insert(entry.end(), name.begin(), name.end());
    b.Record(0x0017, entry);
  }
  b.Eof().Bof(0x0010, 0x0500);
  // B1:B2 {=Other!$A$1:$A$2*2} (cached 2 and 4): the third EXTERNSHEET, the file's third sheet.
  b.Record(0x0006, Formula(0, 1, {0x01, 0, 0, 1, 0}, 2));
  const Bytes product = {0x7B, 0xFD, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0x1E, 2, 0, 0x05};
  Bytes array = {0, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0};
  PutWord(array, static_cast<std::uint32_t>(product.size()));
  array.insert(array.end(), product.begin(), product.end());
  b.Record(0x0221, array);
  b.Record(0x0006, Formula(1, 1, {0x01, 0, 0, 1, 0}, 4));
  b.Eof().Bof(0x0040, 0x0500).Eof().Bof(0x0010, 0x0500);
  b.Record(0x0203, Number(0, 0, 1));
  b.Record(0x0203, Number(1, 0, 2));
  b.Eof();
  return b.bytes;
}

IXLSWorkbook Book1904() {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet& s = *book->GetWorksheets().Add();
  book->SetDate1904(true);
  s.GetRange(u"A1")->SetValue(Variant(43101.0));
  s.GetRange(u"A2")->SetValue(Variant(43094.0));
  for (const char16_t* cell : {u"A1", u"A2", u"E1", u"H1"}) s.GetRange(cell)->SetNumberFormat(u"yyyy-mm-dd");
  const std::vector<std::pair<const char16_t*, const char16_t*>> formulas = {
      {u"B1", u"=A1"}, {u"D1", u"=A1-0"}, {u"E1", u"=A1-A2"}, {u"F1", u"=YEAR(A1)"}, {u"G1", u"=MAX(A1;A2)+1"},
      {u"H1", u"=A1+7"}};
  for (const auto& [cell, formula] : formulas) s.GetRange(cell)->SetValue(Variant(formula));
  return book;
}

}  // namespace xls::test
