#include "kept_records_books.h"

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {

Bytes Compound(const Bytes& stream, const std::u16string& name, const std::vector<std::pair<std::u16string, Bytes>>& more) {
  platform::CompoundFileWriter file;
  file.StreamData(file.AddStream(platform::CompoundFileWriter::kRoot, name)) = stream;
  for (const auto& [other, bytes] : more) {
    if (other.back() == u'/') {
      const int storage = file.AddStorage(platform::CompoundFileWriter::kRoot, other.substr(0, other.size() - 1));
      file.StreamData(file.AddStream(storage, u"1")) = bytes;
    } else {
      file.StreamData(file.AddStream(platform::CompoundFileWriter::kRoot, other)) = bytes;
    }
  }
  platform::MemoryStream out;
  EXPECT_TRUE(file.Save(out));
  return out.Bytes();
}

Bytes StreamOf(const Bytes& file, const std::u16string& name) {
  platform::CompoundFileReader reader;
  Bytes out;
  if (!reader.Open(file)) return out;
  const int entry = reader.Find(platform::CompoundFileReader::kRoot, name);
  if (entry >= 0) reader.ReadStream(entry, out);
  return out;
}

namespace {

// WINDOW1, five FONTs (10 pt Arial) and sixteen XFs (fifteen of styles, then the cells' XF 15),
// as the format's program starts its globals; or the first xfs of those XFs.
void Formats(BiffBuilder& b, bool biff8, int xfs = 16) {
  b.Record(0x003D, {0, 0, 0, 0, 0, 0x30, 0, 0x20, 0x38, 0, 0, 0, 0, 0, 1, 0, 0x58, 0x02});
  for (int i = 0; i < 5; ++i) {
    Bytes font = {200, 0, 0, 0, 0xFF, 0x7F, 0x90, 0x01, 0, 0, 0, 0, 0, 0, 5};
    if (biff8) font.push_back(0);
    for (char c : std::string("Arial")) font.push_back(static_cast<std::uint8_t>(c));
    b.Record(0x0031, font);
  }
  for (int i = 0; i < xfs; ++i) {
    Bytes xf = {0, 0, 0, 0};
    PutWord(xf, i < 15 ? 0xFFF5 : 0x0001);
    if (biff8) {
      for (std::uint8_t v : {0x20, 0, 0, 0}) xf.push_back(v);
      PutDWord(xf, 0), PutDWord(xf, 0), PutWord(xf, 0x20C0);
    } else {
      PutWord(xf, 0x20), PutDWord(xf, 0x20C0), PutDWord(xf, 0), PutDWord(xf, 0);
    }
    b.Record(0x00E0, xf);
  }
}

}  // namespace

BiffBuilder Book(std::uint16_t version, const std::string& sheetName, const Records& globals, const Records& sheet,
                 int xfs) {
  BiffBuilder b;
  b.Bof(0x0005, version);
  Bytes bound = {0, 0, 0, 0, 0, 0};
  if (version >= 0x0600)
    PutString8(bound, sheetName, true);
  else
    bound.push_back(static_cast<std::uint8_t>(sheetName.size())), bound.insert(bound.end(), sheetName.begin(), sheetName.end());
  for (const auto& [id, body] : globals)
    if (id == 0x0042) b.Record(id, body);
  Formats(b, version >= 0x0600, xfs);
  const std::size_t offset = b.bytes.size() + 4;
  b.Record(0x0085, bound);
  for (const auto& [id, body] : globals)
    if (id != 0x0042) b.Record(id, body);
  b.Eof();
  // The BOUNDSHEET's offset of the sheet's BOF.
  for (std::size_t k = 0; k < 4; ++k) b.bytes[offset + k] = static_cast<std::uint8_t>(b.bytes.size() >> (8 * k));
  b.Bof(0x0010, version);
  b.Record(0x0200, version >= 0x0600 ? Bytes{0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 2, 0, 0, 0} : Bytes{0, 0, 8, 0, 0, 0, 2, 0, 0, 0});
  for (const auto& [id, body] : sheet) b.Record(id, body);
  b.Record(0x023E, version >= 0x0600 ? Bytes{0xB6, 0x06, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}
                                     : Bytes{0xB6, 0x06, 0, 0, 0, 0, 0, 0, 0, 0});
  b.Eof();
  return b;
}

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

const Bytes kSummaryId = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
const Bytes kDocSummaryId = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};


namespace {

std::pair<std::uint16_t, Bytes> Label(std::uint8_t row, const std::string& text) {
  Bytes b = {row, 0, 0, 0, 15, 0, static_cast<std::uint8_t>(text.size()), 0};
  b.insert(b.end(), text.begin(), text.end());
  return {0x0204, b};
}

std::pair<std::uint16_t, Bytes> Number(std::uint32_t row, std::uint32_t column, double value) {
  Bytes b;
  for (std::uint32_t v : {row, column, 15u}) PutWord(b, v);
  PutDouble(b, value);
  return {0x0203, b};
}

}  // namespace

Bytes FewXFsBook(std::uint16_t version, int xfs) {
  const std::uint32_t xfOf[] = {0, 4, 15, 40};
  Records cells;
  for (std::uint32_t row = 0; row < 4; ++row) {
    Bytes number;
    for (std::uint32_t v : {row, 0u, xfOf[row]}) PutWord(number, v);
    PutDouble(number, row + 1.0);
    cells.push_back({0x0203, number});
  }
  cells.push_back({0x007D, {1, 0, 1, 0, 0, 0x10, 40, 0, 0, 0, 0, 0}});
  cells.push_back({0x0208, {5, 0, 0, 0, 1, 0, 0xFF, 0, 0, 0, 0, 0, 0x80, 0x01, 40, 0}});
  return Compound(Book(version, "S", {}, cells, xfs).bytes, version >= 0x0600 ? u"Workbook" : u"Book");
}

Bytes MacTextsBook() {
  const BiffBuilder b = Book(0x0500, "\x80rkusz1", {{0x0042, {0x2D, 0x27}}},
                             {Label(0, "\xFC" "adowno\xE6\x8D"), Label(1, "abc\ndef")});
  return Compound(b.bytes, u"Book");
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
  Records sheet;
  for (std::uint32_t row = 0; row < 5; ++row)
    for (std::uint32_t column = 0; column < 2; ++column) sheet.push_back(Number(row, column, row % 2 + column * 10));
  const Records filter = FilterRecords();
  sheet.insert(sheet.begin(), filter.begin(), filter.end());
  sheet.push_back({0x087F, {0x7F, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x33}});  // another record's, not the filter's
  const BiffBuilder b = Book(0x0600, "S", {{0x01AE, {1, 0, 1, 4}}, {0x0017, {1, 0, 0, 0, 0, 0, 0, 0}}, {0x0018, name}}, sheet);
  Bytes file = Compound(b.bytes, u"Workbook");
  if (backwardsByteOrder) file[28] = 0xFF, file[29] = 0xFE;
  return file;
}

namespace {

// A workbook stream of the records, each BOUNDSHEET's offset that of its sheet's BOF.
Bytes StreamOfRecords(const Records& records) {
  Bytes stream;
  std::vector<std::size_t> bofs, bounds;
  for (const auto& [id, body] : records) {
    if (id == 0x0809) bofs.push_back(stream.size());
    if (id == 0x0085) bounds.push_back(stream.size() + 4);
    PutWord(stream, id);
    PutWord(stream, static_cast<std::uint32_t>(body.size()));
    stream.insert(stream.end(), body.begin(), body.end());
  }
  for (std::size_t i = 0; i < bounds.size() && i + 1 < bofs.size(); ++i)
    for (std::size_t k = 0; k < 4; ++k) stream[bounds[i] + k] = static_cast<std::uint8_t>(bofs[i + 1] >> (8 * k));
  return stream;
}

}  // namespace

Bytes OtherWritersFilterBook(int change) {
  IXLSWorkbook made = TXLSWorkbook::Create();
  IXLSWorksheet& sheet = *made->GetWorksheets().Add();
  for (const char16_t* cell : {u"A1", u"B1", u"C1", u"A5", u"C5"}) sheet.GetRange(cell)->SetValue(Variant(1.0));
  sheet.GetRange(u"A1", u"C5")->AutoFilter();
  platform::MemoryStream saved;
  if (made->SaveToStreamFormat(saved, 2) != 1) return {};
  const Bytes stream = StreamOf(saved.Bytes(), u"Workbook");
  Records records;
  for (std::size_t at = 0; at + 4 <= stream.size();) {
    const std::size_t id = stream[at] | stream[at + 1] << 8, size = stream[at + 2] | stream[at + 3] << 8;
    Bytes body(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
               stream.begin() + static_cast<std::ptrdiff_t>(std::min(at + 4 + size, stream.size())));
    at += 4 + size;
    if (id == 0x009D && change == 0) body = {2, 0};
    if (id == 0x0018 && change == 1) {
      Bytes text = {0x01, 0, 0, 15, 11, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
      for (char c : std::string("_FilterDatabase")) text.push_back(static_cast<std::uint8_t>(c));
      text.insert(text.end(), body.end() - 11, body.end());
      body = text;
    }
    if (id != 0x0018 || change != 2) records.emplace_back(static_cast<std::uint16_t>(id), body);
  }
  return Compound(StreamOfRecords(records), u"Workbook");
}

Bytes PropertiesBook() {
  const Bytes summary = PropertySet(kSummaryId, {{2, "Drive settings"}, {4, "Service"}});
  const Bytes documentSummary = PropertySet(kDocSummaryId, {{0x0F, "Kestravel"}});
  const Bytes sxview(44, 0);
  // Column B fitted to its contents (COLINFO 0x0004 beside the width set, 0x0002), column C set.
  const Records sheet = {{0x007D, {1, 0, 1, 0, 0, 0x10, 15, 0, 0x06, 0, 0, 0}},
                         {0x007D, {2, 0, 2, 0, 0, 0x10, 15, 0, 0x02, 0, 0, 0}},
                         Number(0, 0, 1), {0x00B0, sxview}, {0x00B0, sxview}};
  const BiffBuilder b = Book(0x0600, "S", {{0x00D5, {1, 0, 1, 0}}}, sheet);
  return Compound(b.bytes, u"Workbook", {{u"\x05SummaryInformation", summary},
                                         {u"\x05" u"DocumentSummaryInformation", documentSummary},
                                         {u"_SX_DB_CUR/", {1, 2, 3}}});
}

Bytes MacChartBook() {
  BiffBuilder b;
  b.Bof(0x0005, 0x0580);
  b.Record(0x0042, {0, 0x80});
  Formats(b, false);
  const std::size_t offset = b.bytes.size() + 4;
  b.Record(0x0085, {0, 0, 0, 0, 0, 2, 6, 'C', 'h', 'a', 'r', 't', '1'});
  b.Eof();
  for (std::size_t k = 0; k < 4; ++k) b.bytes[offset + k] = static_cast<std::uint8_t>(b.bytes.size() >> (8 * k));
  b.Bof(0x0020, 0x0580);
  b.Record(0x1001, {0, 0});                 // UNITS
  b.Record(0x1002, Bytes(16, 0));           // CHART
  b.Record(0x1033, {}).Record(0x1034, {});  // BEGIN END
  b.Eof();
  return Compound(b.bytes, u"Book");
}

Bytes CommentBook() {
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add()->GetRange(u"C4")->AddComment(u"Hello");
  platform::MemoryStream saved;
  if (made->SaveToStreamFormat(saved, 2) != 1) return {};
  Bytes stream = StreamOf(saved.Bytes(), u"Workbook");
  for (std::size_t at = 0; at + 26 <= stream.size(); ++at)
    if (stream[at + 2] == 0x10 && stream[at + 3] == 0xF0 && stream[at + 4] == 18 && stream[at + 5] == 0) {
      // The ClientAnchor's dx2 and dy2.
      stream[at + 20] = 1043 & 0xFF, stream[at + 21] = 1043 >> 8;
      stream[at + 24] = 300 & 0xFF, stream[at + 25] = 300 >> 8;
      return Compound(stream, u"Workbook");
    }
  return {};
}

}  // namespace xls::test
