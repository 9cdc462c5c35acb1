#include "kept_books.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {

IXLSWorkbook Open(const Bytes& file) {
  platform::MemoryStream stream(file);
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->OpenStream(stream), 1);
  return book;
}

Bytes Saved(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1) << book.GetLastSaveError();
  return saved.Bytes();
}

Bytes StreamOf(const Bytes& file, const std::u16string& name) {
  platform::CompoundFileReader reader;
  Bytes out;
  if (!reader.Open(file)) return out;
  const int entry = reader.Find(platform::CompoundFileReader::kRoot, name);
  if (entry >= 0) reader.ReadStream(entry, out);
  return out;
}

Records RecordsOf(const Bytes& file, std::initializer_list<std::uint16_t> ids) {
  Bytes stream = StreamOf(file, u"Workbook");
  if (stream.empty()) stream = StreamOf(file, u"Book");
  Records records;
  for (std::size_t at = 0; at + 4 <= stream.size();) {
    const std::uint16_t id = static_cast<std::uint16_t>(stream[at] | stream[at + 1] << 8);
    const std::size_t end = std::min(at + 4 + (stream[at + 2] | stream[at + 3] << 8), stream.size());
    if (ids.size() == 0 || std::find(ids.begin(), ids.end(), id) != ids.end())
      records.emplace_back(id, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                     stream.begin() + static_cast<std::ptrdiff_t>(end)));
    at = end;
  }
  return records;
}

namespace {

using Record = std::pair<std::uint16_t, Bytes>;

// A compound file of the stream and further entries of the root; a name ending in "/" is a
// storage (with one stream "1").
Bytes Compound(const Bytes& stream, const std::u16string& name, const std::vector<std::pair<std::u16string, Bytes>>& more = {}) {
  platform::CompoundFileWriter file;
  file.StreamData(file.AddStream(platform::CompoundFileWriter::kRoot, name)) = stream;
  for (const auto& [other, bytes] : more) {
    int parent = platform::CompoundFileWriter::kRoot;
    if (other.back() == u'/') parent = file.AddStorage(parent, other.substr(0, other.size() - 1));
    file.StreamData(file.AddStream(parent, other.back() == u'/' ? u"1" : other)) = bytes;
  }
  platform::MemoryStream out;
  EXPECT_TRUE(file.Save(out));
  return out.Bytes();
}

// A workbook stream of the records, each BOUNDSHEET's offset that of its sheet's BOF.
Bytes Joined(const Records& records) {
  BiffBuilder b;
  std::vector<std::size_t> bofs, bounds;
  for (const auto& [id, body] : records) {
    if (id == 0x0809) bofs.push_back(b.bytes.size());
    if (id == 0x0085) bounds.push_back(b.bytes.size() + 4);
    b.Record(id, body);
  }
  for (std::size_t i = 0; i < bounds.size() && i + 1 < bofs.size(); ++i)
    for (std::size_t k = 0; k < 4; ++k) b.bytes[bounds[i] + k] = static_cast<std::uint8_t>(bofs[i + 1] >> (8 * k));
  return b.bytes;
}

Record Bof(std::uint16_t type, std::uint16_t version) {
  BiffBuilder b;
  b.Bof(type, version);
  return {0x0809, Bytes(b.bytes.begin() + 4, b.bytes.end())};
}

Record Number(std::uint32_t row, std::uint32_t column, double value, std::uint32_t xf = 15) {
  Bytes b;
  for (std::uint32_t v : {row, column, xf}) PutWord(b, v);
  PutDouble(b, value);
  return {0x0203, b};
}

Record Formula(std::uint32_t row, std::uint32_t column, const Bytes& tokens, double cached) {
  Bytes b;
  for (std::uint32_t v : {row, column, 15u}) PutWord(b, v);
  PutDouble(b, cached);
  PutWord(b, 0);
  PutDWord(b, 0);
  PutWord(b, static_cast<std::uint32_t>(tokens.size()));
  b.insert(b.end(), tokens.begin(), tokens.end());
  return {0x0006, b};
}

// ARRAY over the rows of one column, option flags 0.
Record Array(std::uint8_t firstRow, std::uint8_t lastRow, std::uint8_t column, const Bytes& tokens) {
  Bytes b = {firstRow, 0, lastRow, 0, column, column, 0, 0, 0, 0, 0, 0};
  PutWord(b, static_cast<std::uint32_t>(tokens.size()));
  b.insert(b.end(), tokens.begin(), tokens.end());
  return {0x0221, b};
}

// {=Other!$A$1:$A$2*2} through the given ptgArea3d (BIFF8 or BIFF5), cached 2 and 4 in B1:B2.
Records ProductOfOther(const Bytes& area) {
  Bytes product = area;
  product.insert(product.end(), {0x1E, 2, 0, 0x05});
  return {Formula(0, 1, {0x01, 0, 0, 1, 0}, 2), Array(0, 1, 1, product), Formula(1, 1, {0x01, 0, 0, 1, 0}, 4)};
}

}  // namespace

Bytes Workbook(std::uint16_t version, const std::vector<Sheet>& sheets, const Records& globals, int xfs,
               std::uint16_t styleXFType) {
  const bool biff8 = version >= 0x0600;
  auto formatBlock = [](std::uint16_t id) {
    return id == 0x00E0 || id == 0x087C || id == 0x087D || id == 0x088D || id == 0x0293;
  };
  Records r = {Bof(0x0005, version)};
  for (const auto& g : globals)
    if (g.first == 0x0042) r.push_back(g);
  r.push_back({0x003D, {0, 0, 0, 0, 0, 0x30, 0, 0x20, 0x38, 0, 0, 0, 0, 0, 1, 0, 0x58, 0x02}});
  const std::size_t fonts = r.size();
  for (const auto& g : globals)
    if (g.first == 0x0031) r.push_back(g);
  if (r.size() == fonts) {
    Bytes font = {200, 0, 0, 0, 0xFF, 0x7F, 0x90, 0x01, 0, 0, 0, 0, 0, 0, 5};
    if (biff8) font.push_back(0);
    font.insert(font.end(), {'A', 'r', 'i', 'a', 'l'});
    r.insert(r.end(), 5, {0x0031, font});
  }
  for (int i = 0; i < xfs; ++i) {
    Bytes xf = {0, 0, 0, 0};
    PutWord(xf, i < 15 ? styleXFType : 0x0001);
    if (biff8) {
      xf.insert(xf.end(), {0x20, 0, 0, 0});
      PutDWord(xf, 0), PutDWord(xf, 0), PutWord(xf, 0x20C0);
    } else {
      PutWord(xf, 0x20), PutDWord(xf, 0x20C0), PutDWord(xf, 0), PutDWord(xf, 0);
    }
    r.push_back({0x00E0, xf});
  }
  for (const auto& g : globals)
    if (formatBlock(g.first)) r.push_back(g);
  for (const Sheet& s : sheets) {
    Bytes bound = {0, 0, 0, 0, 0, s.type};
    if (biff8) {
      PutString8(bound, s.name, true);
    } else {
      bound.push_back(static_cast<std::uint8_t>(s.name.size()));
      bound.insert(bound.end(), s.name.begin(), s.name.end());
    }
    r.push_back({0x0085, bound});
  }
  for (const auto& g : globals)
    if (g.first != 0x0042 && g.first != 0x0031 && !formatBlock(g.first)) r.push_back(g);
  r.push_back({0x000A, {}});
  for (const Sheet& s : sheets) {
    const std::uint16_t types[] = {0x0010, 0x0040, 0x0020};
    r.push_back(Bof(s.bof ? s.bof : types[s.type], version));
    if (s.type == 0)
      r.push_back({0x0200, biff8 ? Bytes{0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 2, 0, 0, 0}  // DIMENSIONS
                                 : Bytes{0, 0, 8, 0, 0, 0, 2, 0, 0, 0}});
    r.insert(r.end(), s.records.begin(), s.records.end());
    if (s.type == 0)
      r.push_back({0x023E, biff8 ? Bytes{0xB6, 0x06, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}
                                 : Bytes{0xB6, 0x06, 0, 0, 0, 0, 0, 0, 0, 0}});
    r.push_back({0x000A, {}});
  }
  return Joined(r);
}

Bytes StaleBook() {
  return Workbook(0x0600, {{"Data",
                            {Number(0, 0, 3), Formula(0, 1, {0x24, 0, 0, 0, 0, 0x1E, 2, 0, 0x05}, 7),
                             Formula(0, 2, {0x24, 0, 0, 1, 0xC0, 0x1E, 1, 0, 0x03}, 9)}}});
}

Bytes CallBook() {
  Bytes name = {0x0E, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  name.insert(name.end(), {'C', 'o', 'm', 'm', 'e', 'n', 't'});
  const Bytes call = {0x23, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x24, 0, 0xC0, 0, 0x42, 2, 0xFF, 0};
  const Records cells = {Number(0, 0, 5), Formula(0, 1, call, 5), Formula(0, 2, {0x42, 0, 0xA3, 0x80}, 1)};
  return Workbook(0x0500, {{"Data", cells}}, {{0x0018, name}});
}

Bytes ArrayRecord() {
  return Array(0, 0, 1, {0x65, 0, 0, 2, 0, 0, 0xC0, 0, 0xC0, 0x65, 0, 0, 2, 0, 0, 0xC0, 0, 0xC0, 0x61, 0xFC, 0,
                         0x1E, 0, 0, 0x0D, 0x19, 0x02, 7, 0, 0x1E, 1, 0, 0x19, 0x08, 10, 0, 0x1E, 0, 0, 0x19,
                         0x08, 3, 0, 0x62, 3, 1, 0, 0x42, 1, 4, 0})
      .second;
}

Bytes ArrayBook() {
  return Workbook(0x0600, {{"Data",
                            {Number(0, 0, 1), Number(1, 0, 2), Number(2, 0, 3), Formula(0, 1, {0x01, 0, 0, 1, 0}, 3),
                             {0x0221, ArrayRecord()}, Formula(2, 1, {0x1E, 1, 0, 0x1E, 3, 0, 0x03}, 4),
                             Formula(2, 2, {0x1E, 1, 0, 0x1E, 2, 0, 0x03}, 3),
                             {0x00E5, {1, 0, 2, 0, 2, 0, 0, 0, 2, 0}}}}});
}

Bytes ArrayRefBook(const Records& moreData) {
  // "Local" of the first sheet (=Other!$A$1) before the workbook's "Alpha" (=Other!$A$1:$A$2).
  auto name = [](const std::string& text, std::uint8_t sheet, const Bytes& tokens) {
    Bytes n = {0, 0, 0, static_cast<std::uint8_t>(text.size())};
    PutWord(n, static_cast<std::uint32_t>(tokens.size()));
    n.insert(n.end(), {0, 0, sheet, 0, 0, 0, 0, 0, 0});
    n.insert(n.end(), text.begin(), text.end());
    n.insert(n.end(), tokens.begin(), tokens.end());
    return Record{0x0018, n};
  };
  // EXTERNSHEET entry 0 the first sheet (named by nothing), entry 1 the second.
  const Records globals = {{0x01AE, {2, 0, 1, 4}},
                           {0x0017, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}},
                           name("Local", 1, {0x3A, 1, 0, 0, 0, 0, 0}),
                           name("Alpha", 0, {0x3B, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0})};
  // B4 {=SUM(Alpha)+Local} (cached 4).
  Records data = ProductOfOther({0x7B, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  data.insert(data.begin(), Number(0, 0, 5));
  data.push_back(Formula(3, 1, {0x01, 3, 0, 1, 0}, 4));
  data.push_back(Array(3, 3, 1, {0x63, 2, 0, 0, 0, 0x42, 1, 4, 0, 0x43, 1, 0, 0, 0, 0x03}));
  data.insert(data.end(), moreData.begin(), moreData.end());
  return Workbook(0x0600, {{"Data", data}, {"Other", {Number(0, 0, 1), Number(1, 0, 2)}}}, globals);
}

Bytes MacroSheetArrayBook() {
  Records globals;
  for (const std::string name : {"Data", "Macro1", "Other"}) {
    Bytes entry = {static_cast<std::uint8_t>(name.size() + 1), 3};
    entry.insert(entry.end(), name.begin(), name.end());
    globals.push_back({0x0017, entry});
  }
  // The third EXTERNSHEET, the file's third sheet.
  const Records data = ProductOfOther({0x7B, 0xFD, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 0, 0, 1, 0, 0, 0});
  return Workbook(0x0500, {{"Data", data}, {"Macro1", {}, 1}, {"Other", {Number(0, 0, 1), Number(1, 0, 2)}}}, globals);
}

IXLSWorkbook Book1904() {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet& s = *book->GetWorksheets().Add();
  book->SetDate1904(true);
  s.GetRange(u"A1")->SetValue(Variant::Date(43101.0));
  s.GetRange(u"A2")->SetValue(Variant::Date(43094.0));
  for (const char16_t* cell : {u"A1", u"A2", u"E1", u"H1"}) s.GetRange(cell)->SetNumberFormat(u"yyyy-mm-dd");
  const std::vector<std::pair<const char16_t*, const char16_t*>> formulas = {
      {u"B1", u"=A1"}, {u"D1", u"=A1-0"}, {u"E1", u"=A1-A2"}, {u"F1", u"=YEAR(A1)"}, {u"G1", u"=MAX(A1;A2)+1"},
      {u"H1", u"=A1+7"}};
  for (const auto& [cell, formula] : formulas) s.GetRange(cell)->SetValue(Variant(formula));
  return book;
}

Bytes FewXFsBook(std::uint16_t version, int xfs) {
  const Records cells = {Number(0, 0, 1, 0), Number(1, 0, 2, 4), Number(2, 0, 3, 15), Number(3, 0, 4, 40),
                         {0x007D, {1, 0, 1, 0, 0, 0x10, 40, 0, 0, 0, 0, 0}},
                         {0x0208, {5, 0, 0, 0, 1, 0, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x01, 40, 0}}};
  return Compound(Workbook(version, {{"S", cells}}, {}, xfs), version >= 0x0600 ? u"Workbook" : u"Book");
}

Bytes MacTextsBook() {
  auto label = [](std::uint8_t row, const std::string& text) {
    Bytes b = {row, 0, 0, 0, 15, 0, static_cast<std::uint8_t>(text.size()), 0};
    b.insert(b.end(), text.begin(), text.end());
    return Record{0x0204, b};
  };
  return Compound(Workbook(0x0500, {{"\x80rkusz1", {label(0, "\xFC" "adowno\xE6\x8D"), label(1, "abc\ndef")}}},
                           {{0x0042, {0x2D, 0x27}}}),
                  u"Book");
}

Records FilterRecords() {
  Bytes equalsOne = {0, 0, 4, 0, 4, 2};  // column A: = 1
  PutDouble(equalsOne, 1);
  equalsOne.resize(24, 0);
  Bytes noConditions = {1, 0, 0, 0};
  noConditions.resize(24, 0);
  // Header and range B1:B5, entry 1, then arrow, type, criteria type, counts, flags, list id
  // and the view's id.
  Bytes filter12 = {0x7E, 0x08, 0, 0, 0, 0, 4, 0, 1, 0, 1, 0, 1, 0};
  for (std::uint32_t v : {0u, 0u, 0x0Fu, 0u, 0u, 0u, 0u, 0u}) PutDWord(filter12, v);
  filter12.resize(filter12.size() + 16, 0xAB);
  const Bytes continued = {0x7F, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22};
  return {{0x009B, {}}, {0x009D, {2, 0}}, {0x009E, equalsOne}, {0x009E, noConditions}, {0x087E, filter12}, {0x087F, continued}};
}

Bytes FilterBook(bool backwardsByteOrder) {
  Bytes name = {0x21, 0, 0, 1, 0x0B, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x0D};  // hidden built-in _FilterDatabase
  name.insert(name.end(), {0x3B, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0});             // ptgArea3d A1:B5
  Records sheet = FilterRecords();
  for (std::uint32_t row = 0; row < 5; ++row)
    for (std::uint32_t column = 0; column < 2; ++column) sheet.push_back(Number(row, column, row % 2 + column * 10));
  sheet.push_back({0x087F, {0x7F, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x33}});  // another record's, not the filter's
  Bytes file = Compound(
      Workbook(0x0600, {{"S", sheet}}, {{0x01AE, {1, 0, 1, 4}}, {0x0017, {1, 0, 0, 0, 0, 0, 0, 0}}, {0x0018, name}}),
      u"Workbook");
  if (backwardsByteOrder) file[28] = 0xFF, file[29] = 0xFE;
  return file;
}

Bytes OtherWritersFilterBook(int change) {
  IXLSWorkbook made = TXLSWorkbook::Create();
  IXLSWorksheet& sheet = *made->GetWorksheets().Add();
  for (const char16_t* cell : {u"A1", u"B1", u"C1", u"A5", u"C5"}) sheet.GetRange(cell)->SetValue(Variant(1.0));
  sheet.GetRange(u"A1", u"C5")->AutoFilter();
  Records records;
  for (auto [id, body] : RecordsOf(Saved(*made, 2))) {
    if (id == 0x009D && change == 0) body = {2, 0};
    if (id == 0x0018 && change == 1) {
      Bytes text = {0x01, 0, 0, 15, 11, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
      for (char c : std::string("_FilterDatabase")) text.push_back(static_cast<std::uint8_t>(c));
      text.insert(text.end(), body.end() - 11, body.end());
      body = text;
    }
    if (id != 0x0018 || change != 2) records.emplace_back(id, body);
  }
  return Compound(Joined(records), u"Workbook");
}

namespace {

// A property set of one section: code page 1252 and 8-bit texts under the given ids.
Bytes PropertySet(const Bytes& formatId, const std::vector<std::pair<std::uint32_t, std::string>>& texts) {
  Bytes values;
  Bytes index;
  const std::uint32_t count = static_cast<std::uint32_t>(texts.size() + 1);
  auto offset = [&]() { return static_cast<std::uint32_t>(8 + 8 * count + values.size()); };
  PutDWord(index, 1);
  PutDWord(index, offset());
  PutDWord(values, 2);
  PutDWord(values, 1252);
  for (const auto& [id, text] : texts) {
    PutDWord(index, id);
    PutDWord(index, offset());
    PutDWord(values, 0x1E);
    PutDWord(values, static_cast<std::uint32_t>(text.size() + 1));
    values.insert(values.end(), text.begin(), text.end());
    values.push_back(0);
    while (values.size() % 4) values.push_back(0);
  }
  Bytes out = {0xFE, 0xFF, 0, 0, 5, 1, 2, 0};
  out.resize(24, 0);
  PutDWord(out, 1);
  out.insert(out.end(), formatId.begin(), formatId.end());
  PutDWord(out, 48);
  PutDWord(out, static_cast<std::uint32_t>(8 + index.size() + values.size()));
  PutDWord(out, count);
  out.insert(out.end(), index.begin(), index.end());
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

}  // namespace

Bytes PropertiesBook() {
  const Bytes summaryId = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
  const Bytes documentId = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
  const Bytes sxview(44, 0);
  // Column B fitted to its contents (COLINFO 0x0004 beside the width set, 0x0002), column C set.
  const Records sheet = {{0x007D, {1, 0, 1, 0, 0, 0x10, 15, 0, 0x06, 0, 0, 0}},
                         {0x007D, {2, 0, 2, 0, 0, 0x10, 15, 0, 0x02, 0, 0, 0}},
                         Number(0, 0, 1), {0x00B0, sxview}, {0x00B0, sxview}, {0x0872, Bytes(28, 0)}};
  // A style's extension and the table styles, which nothing here keeps (their bodies start with
  // the record's own id, as every record of the newer kinds does).
  const Records globals = {{0x00D5, {1, 0, 1, 0}}, {0x0892, {0x92, 0x08, 0, 0}}, {0x088E, {0x8E, 0x08, 0, 0}}};
  return Compound(Workbook(0x0600, {{"S", sheet}}, globals), u"Workbook",
                  {{u"\x05SummaryInformation", PropertySet(summaryId, {{2, "Drive settings"}, {4, "Service"}})},
                   {u"\x05" u"DocumentSummaryInformation", PropertySet(documentId, {{0x0F, "Kestravel"}})},
                   {u"_SX_DB_CUR/", {1, 2, 3}}});
}

Bytes MacChartBook() {
  // UNITS, CHART, BEGIN and END.
  const Records chart = {{0x1001, {0, 0}}, {0x1002, Bytes(16, 0)}, {0x1033, {}}, {0x1034, {}}};
  return Compound(Workbook(0x0580, {{"Chart1", chart, 2}}, {{0x0042, {0, 0x80}}}), u"Book");
}

Bytes FunctionsBook() {
  const Bytes pivot = {0x17, 3, 0, 'S', 'u', 'm', 0x24, 0, 0, 0, 0, 0x42, 2, 0x66, 0x01};
  const Bytes date = {0x44, 0, 0, 0, 0xC0, 0x41, 0x60, 0x01};
  const Bytes phonetic = {0x24, 0, 0, 0, 0xC0, 0x41, 0x68, 0x01};
  return Workbook(0x0600, {{"Data", {Number(0, 0, 1), Formula(0, 1, pivot, 0), Formula(0, 2, date, 0),
                                     Formula(0, 3, phonetic, 0)}}});
}

Bytes ChartSheetBook(std::uint16_t version, std::uint16_t bofType, const Records& inside) {
  // UNITS, CHART, BEGIN, the records given and END.
  Records chart = {{0x1001, {0, 0}}, {0x1002, Bytes(16, 0)}, {0x1033, {}}};
  chart.insert(chart.end(), inside.begin(), inside.end());
  chart.push_back({0x1034, {}});
  return Compound(Workbook(version, {{"Chart1", chart, 2, bofType}}), version >= 0x0600 ? u"Workbook" : u"Book");
}

Bytes LibreOfficeChartSheetBook() {
  std::ifstream in(std::string(KV_TEST_DATA) + "/xls/lo_chart_bad_bof.xls", std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The embedded chart's records after its BOF (the third) up to its EOF; Workbook writes the BOF.
  const Records all = RecordsOf(file);
  auto from = all.begin();
  for (int bofs = 0; from != all.end() && bofs < 3; ++from) bofs += from->first == 0x0809;
  if (from == all.end()) return {};
  const Records chart(from, std::find_if(from, all.end(), [](const Record& r) { return r.first == 0x000A; }));
  Records data;
  for (std::uint32_t r = 1; r <= 5; ++r) {
    data.push_back(Number(r, 0, r));
    data.push_back(Number(r, 1, 10.0 * r));
  }
  // The chart's series name sheet 1 through EXTERNSHEET entry 0.
  const Records globals = {{0x01AE, {2, 0, 1, 4}}, {0x0017, {1, 0, 0, 0, 0, 0, 0, 0}}};
  return Compound(Workbook(0x0600, {{"Data", data}, {"Chart1", chart, 2}}, globals), u"Workbook");
}

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A record of the newer kinds: its 12-byte header (the id, flags 1 with the range it applies to,
// else 0 and eight reserved bytes), then the body.
Record Frt(std::uint16_t id, const Bytes& body, const Bytes& range = {}) {
  Bytes header;
  PutWord(header, id);
  PutWord(header, range.empty() ? 0 : 1);
  return {id, Cat({header, range.empty() ? Bytes(8, 0) : range, body})};
}

}  // namespace

Records NewerSheetRecords() {
  const Bytes a1a2 = {0, 0, 1, 0, 0, 0, 0, 0};  // rows 0..1, column 0
  // CONDFMT12 of A1:A2 (one rule, number 2); CF12, a formula rule TRUE, no formatting, priority
  // 1; its CONTINUEFRT12; the CFEX of format 1's rules; SORT; a FEATHEADR and FEAT of ignored
  // errors (numbers stored as text) over A1:A2; a protected range "R" over A1:A2 (no password).
  return {Frt(0x0879, Cat({{1, 0, 5, 0}, a1a2, {1, 0}, a1a2}), a1a2),
          Frt(0x087A, Cat({{2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x1D, 1, 0, 0, 0, 1, 0, 1, 0, 16}, Bytes(16, 0)}), a1a2),
          Frt(0x087F, {0, 0, 0, 0}, a1a2),
          {0x087B, Cat({{0x7B, 0x08}, a1a2, {1, 0, 0, 0, 1, 0}})},
          {0x0090, {0, 0, 0, 0, 0}},
          Frt(0x0867, {3, 0, 1, 0, 0, 0, 0}),
          Frt(0x0868, Cat({{3, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, a1a2, {0x10, 0, 0, 0}})),
          Frt(0x0868, Cat({{2, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, a1a2, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 'R'}}))};
}

Bytes NewerRecordsBook(bool themeContinued) {
  Records globals;
  // XF 16 unused, XF 17 a solid red fill (palette 10).
  for (std::uint16_t colour : {0, 10}) {
    Bytes xf = {0, 0, 0, 0, 0x01, 0, 0x20, 0, 0, 0};
    PutDWord(xf, 0);
    PutDWord(xf, 1u << 26);
    PutWord(xf, colour | 64 << 7);
    globals.push_back({0x00E0, xf});
  }
  // XFCRC; XFEXT of XF 17 (the foreground colour RGB FF8000); DXF; the default theme (version
  // 124226, no theme part).
  globals.push_back(Frt(0x087C, {0, 0, 18, 0, 0x78, 0x56, 0x34, 0x12}));
  globals.push_back(Frt(0x087D, {0, 0, 17, 0, 0, 0, 1, 0, 4, 0, 20, 0, 2, 0, 0, 0, 0xFF, 0x80, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}));
  globals.push_back(Frt(0x088D, {0, 0, 0, 0, 0, 0}));
  globals.push_back(Frt(0x0896, {0x42, 0xE5, 0x01, 0}));
  if (themeContinued) globals.push_back(Frt(0x0812, {1, 2, 3, 4}));
  const Bytes condFmt = {1, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0};
  // A1:A2 > 6, a red fill.
  Bytes cf = {1, 5, 9, 0, 0, 0, 0xFF, 0xFF, 0x38, 0x20, 0, 0, 0, 0x04, 0x0A, 0, 0x1F};
  PutDouble(cf, 6);
  Records sheet = {Number(0, 0, 5, 17), Number(1, 0, 7, 17), {0x01B0, condFmt}, {0x01B1, cf}};
  for (const auto& record : NewerSheetRecords()) sheet.push_back(record);
  return Compound(Workbook(0x0600, {{"S", sheet}}, globals), u"Workbook");
}

Bytes CalibriBook(bool otherStyles) {
  Bytes font = {220, 0, 0, 0, 0xFF, 0x7F, 0x90, 0x01, 0, 0, 0, 2, 0, 0, 7, 0};
  font.insert(font.end(), {'C', 'a', 'l', 'i', 'b', 'r', 'i'});
  Records globals(5, {0x0031, font});
  // The Normal style (built-in 0) on XF 0.
  globals.push_back({0x0293, {0x00, 0x80, 0, 0xFF}});
  return Compound(Workbook(0x0600, {{"S", {Number(0, 0, 1)}}}, globals, 16, otherStyles ? 0x0005 : 0xFFF5),
                  u"Workbook");
}

std::size_t ClientAnchorAt(const Bytes& bytes) {
  for (std::size_t at = 0; at + 26 <= bytes.size(); ++at)
    if (bytes[at + 2] == 0x10 && bytes[at + 3] == 0xF0 && bytes[at + 4] == 18 && bytes[at + 5] == 0) return at;
  return bytes.size();
}

Bytes CommentBook() {
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add()->GetRange(u"C4")->AddComment(u"Hello");
  Bytes stream = StreamOf(Saved(*made, 2), u"Workbook");
  const std::size_t at = ClientAnchorAt(stream);
  if (at == stream.size()) return {};
  // dx2 and dy2.
  stream[at + 20] = 1043 & 0xFF, stream[at + 21] = 1043 >> 8;
  stream[at + 24] = 300 & 0xFF, stream[at + 25] = 300 >> 8;
  return Compound(stream, u"Workbook");
}

}  // namespace xls::test

namespace xls::test {

namespace {

// A BIFF8 NAME: a text, or a built-in name's code (kBuiltIn + code), of the sheet itab (0 the
// workbook's).
constexpr int kBuiltIn = 0x100;
Record Name(const std::string& text, int builtIn, bool hidden, std::uint8_t itab, const Bytes& tokens) {
  const std::string name = builtIn >= kBuiltIn ? std::string(1, static_cast<char>(builtIn - kBuiltIn)) : text;
  Bytes n;
  PutWord(n, (hidden ? 0x01 : 0) | (builtIn >= kBuiltIn ? 0x20 : 0));
  n.push_back(0);
  n.push_back(static_cast<std::uint8_t>(name.size()));
  PutWord(n, static_cast<std::uint32_t>(tokens.size()));
  n.insert(n.end(), {0, 0, itab, 0, 0, 0, 0, 0, 0});
  n.insert(n.end(), name.begin(), name.end());
  n.insert(n.end(), tokens.begin(), tokens.end());
  return {0x0018, n};
}

}  // namespace

Bytes EditBook(bool date1904) {
  auto area3d = [](std::uint8_t ixti, std::uint8_t r1, std::uint8_t r2, std::uint8_t c1, std::uint8_t c2) {
    return Bytes{0x3B, ixti, 0, r1, 0, r2, 0, c1, 0, c2, 0};
  };
  Bytes format = {164, 0, 10, 0, 0};
  for (char c : std::string("yyyy-mm-dd")) format.push_back(static_cast<std::uint8_t>(c));
  Bytes dateXF = {0, 0, 164, 0, 0x01, 0, 0x20, 0, 0, 0};
  PutDWord(dateXF, 0), PutDWord(dateXF, 0), PutWord(dateXF, 0x20C0);
  Records globals = {{0x041E, format},
                     {0x00E0, dateXF},
                     {0x01AE, {2, 0, 1, 4}},
                     {0x0017, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}},
                     Name("Rate", 0, false, 0, {0x3A, 0, 0, 1, 0, 0, 0}),
                     Name("Block", 0, false, 0, area3d(0, 2, 3, 0, 1)),
                     Name("Far", 0, false, 0, {0x3A, 1, 0, 0, 0, 0, 0}),
                     Name("", kBuiltIn + 6, false, 1, area3d(0, 0, 7, 0, 2)),
                     Name("", kBuiltIn + 7, false, 1, area3d(0, 0, 0, 0, 0xFF)),
                     Name("", kBuiltIn + 0x0D, true, 1, area3d(0, 0, 5, 0, 2))};
  if (date1904) globals.push_back({0x0022, {1, 0}});
  // The build of the program that calculated the results last (RECALCID after its id and flags).
  globals.push_back({0x01C1, {0xC1, 0x01, 0, 0, 0x5F, 0x2C, 0x02, 0}});
  Records data = {{0x009D, {3, 0}}};
  const double values[4][3] = {{1, 2, 3}, {5, 60, 7}, {2, 4, 8}, {3, 9, 1}};
  for (std::uint32_t r = 0; r < 4; ++r)
    for (std::uint32_t c = 0; c < 3; ++c) data.push_back(Number(r, c, values[r][c], r == 1 && c == 1 ? 16 : 15));
  const std::vector<Bytes> column = {
      {0x23, 1, 0, 0, 0, 0x1E, 2, 0, 0x05},                                   // D1 =Rate*2
      {0x23, 2, 0, 0, 0, 0x42, 1, 4, 0},                                      // D2 =SUM(Block)
      {0x44, 1, 0, 0, 0xC0, 0x1E, 2, 0, 0x05},                                // D3 =A2*2
      {0x44, 1, 0, 1, 0xC0, 0x1E, 1, 0, 0x05},                                // D4 =B2*1
      {0x44, 1, 0, 1, 0xC0, 0x1E, 60, 0, 0x0B, 0x1E, 1, 0, 0x1E, 2, 0, 0x42, 3, 1, 0},  // D5 =IF(B2=60;1;2)
      {0x1E, 60, 0, 0x25, 1, 0, 3, 0, 1, 0xC0, 2, 0xC0, 0x1E, 2, 0, 0x1D, 0, 0x42, 4, 102, 0},  // D6 VLOOKUP
      {0x25, 1, 0, 3, 0, 1, 0xC0, 1, 0xC0, 0x42, 1, 7, 0},                    // D7 =MAX(B2:B4)
      {0x23, 3, 0, 0, 0, 0x1E, 1, 0, 0x03},                                   // D8 =Far+1
      {0x44, 0, 0, 0, 0xC0, 0x41, 0x0F, 0x01}};                               // D9 =GAMMALN(A1), not computed
  for (std::uint32_t r = 0; r < column.size(); ++r) data.push_back(Formula(r, 3, column[r], 0));
  // E1:E3 share =A1+B1; F1 holds {=SUM(A1:A3*B1:B3)}.
  const Bytes shared = {0x4C, 0, 0, 0xFC, 0xC0, 0x4C, 0, 0, 0xFD, 0xC0, 0x03};
  Bytes shrfmla = {0, 0, 2, 0, 4, 4, 0, 3};
  PutWord(shrfmla, static_cast<std::uint32_t>(shared.size()));
  shrfmla.insert(shrfmla.end(), shared.begin(), shared.end());
  data.push_back(Formula(0, 4, {0x01, 0, 0, 4, 0}, 0));
  data.push_back({0x04BC, shrfmla});
  data.push_back(Formula(1, 4, {0x01, 0, 0, 4, 0}, 0));
  data.push_back(Formula(2, 4, {0x01, 0, 0, 4, 0}, 0));
  data.push_back(Formula(0, 5, {0x01, 0, 0, 5, 0}, 0));
  Record array = Array(0, 0, 5, {0x65, 0, 0, 2, 0, 0, 0xC0, 0, 0xC0, 0x65, 0, 0, 2, 0, 1, 0xC0, 1, 0xC0, 0x05,
                                 0x42, 1, 4, 0});
  data.push_back(array);
  // A6:C6 merged: A6 = 12, under it B6 =6-B1 and C6 =A6/B6.
  data.push_back(Number(5, 0, 12));
  data.push_back(Formula(5, 1, {0x1E, 6, 0, 0x44, 0, 0, 1, 0xC0, 0x04}, 0));
  data.push_back(Formula(5, 2, {0x44, 5, 0, 0, 0xC0, 0x44, 5, 0, 1, 0xC0, 0x06}, 0));
  data.push_back({0x00E5, {1, 0, 5, 0, 5, 0, 0, 0, 2, 0}});
  return Compound(Workbook(0x0600, {{"Data", data}, {"Other", {Number(0, 0, 100)}}}, globals), u"Workbook");
}

}  // namespace xls::test
