// Workbooks built record by record with what other programs leave in their files: Mac code
// pages, BIFF5 line feeds, filter records, best-fit columns, document properties, pivot tables,
// a Mac workbook of one chart sheet and comment anchors out of range. Read, saved and read again.
#include <gtest/gtest.h>

#include "platform/byte_stream.h"
#include "platform/codepage.h"
#include "platform/compound_file.h"
#include "reader_test_support.h"
#include "xls/model/range.h"
#include "xls/model/row_col_info.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Records = std::vector<std::pair<std::uint16_t, Bytes>>;

// A compound file holding the stream (named "Workbook", or "Book" for BIFF5) and further
// streams of the root; storages are given by a name ending in "/".
Bytes Compound(const Bytes& stream, const std::u16string& name, const std::vector<std::pair<std::u16string, Bytes>>& more = {}) {
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

IXLSWorkbook Read(const Bytes& bytes) {
  platform::MemoryStream stream(bytes);
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

Records RecordsOf(const Bytes& file, int format) {
  const Bytes stream = StreamOf(file, format == 1 ? u"Book" : u"Workbook");
  Records records;
  for (std::size_t at = 0; at + 4 <= stream.size();) {
    const std::size_t id = stream[at] | stream[at + 1] << 8, size = stream[at + 2] | stream[at + 3] << 8;
    if (at + 4 + size > stream.size()) break;
    records.emplace_back(static_cast<std::uint16_t>(id), Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                                               stream.begin() + static_cast<std::ptrdiff_t>(at + 4 + size)));
    at += 4 + size;
  }
  return records;
}

Records WithIds(const Records& records, std::initializer_list<std::uint16_t> ids) {
  Records out;
  for (const auto& r : records)
    if (std::find(ids.begin(), ids.end(), r.first) != ids.end()) out.push_back(r);
  return out;
}

// Globals of one sheet (BOUNDSHEET offset 0: the reader takes the substreams in order) with the
// given records before their EOF, then the sheet's records.
BiffBuilder Book(std::uint16_t version, const std::string& sheetName, const std::vector<std::pair<std::uint16_t, Bytes>>& globals,
                 const std::vector<std::pair<std::uint16_t, Bytes>>& sheet) {
  BiffBuilder b;
  b.Bof(0x0005, version);
  Bytes bound = {0, 0, 0, 0, 0, 0};
  if (version >= 0x0600)
    PutString8(bound, sheetName, true);
  else
    bound.push_back(static_cast<std::uint8_t>(sheetName.size())), bound.insert(bound.end(), sheetName.begin(), sheetName.end());
  for (const auto& [id, body] : globals)
    if (id == 0x0042) b.Record(id, body);
  b.Record(0x0085, bound);
  for (const auto& [id, body] : globals)
    if (id != 0x0042) b.Record(id, body);
  b.Eof().Bof(0x0010, version);
  for (const auto& [id, body] : sheet) b.Record(id, body);
  b.Eof();
  return b;
}

TEST(KeptRecords, MacCodePagesReadAsApplesTables) {
  using platform::AnsiToWideCP;
  EXPECT_EQ(AnsiToWideCP("\x80rkusz1", 10029), u"Ärkusz1");
  EXPECT_EQ(AnsiToWideCP("\xFC" "adowno\xE6\x8D", 10029), u"Ładowność");
  EXPECT_EQ(AnsiToWideCP("\x8A\xBF", 10000), u"äø");
  EXPECT_EQ(AnsiToWideCP("\x8A\xBF", 32768), u"äø");  // the Mac program's own number for Mac Roman
  EXPECT_EQ(AnsiToWideCP("\xBF\xED\xDB\xE7\xE1", 10006), u"Ωμέγα");
  EXPECT_EQ(AnsiToWideCP("\xDE\xDD\xDB", 10081), u"Şığ");
  EXPECT_EQ(AnsiToWideCP("\xDE\x97r\xDDur", 10079), u"Þórður");
  EXPECT_EQ(AnsiToWideCP("\x8F\xF0\xE8\xE2\xE5\xF2", 10007), u"Привет");
  // Written back in the same code page.
  EXPECT_EQ(platform::WideToAnsiCP(u"Ładowność", 10029), "\xFC" "adowno\xE6\x8D");
  EXPECT_EQ(platform::WideToAnsiCP(u"Şığ", 10081), "\xDE\xDD\xDB");
}

// A BIFF5 book of the Mac code page 10029: its sheet name and texts read right and a BIFF5 save
// writes them in that page again; a text's line feed stays a line feed.
TEST(KeptRecords, Biff5TextsInAMacCodePageKeepTheirLineFeeds) {
  auto label = [](std::uint8_t row, const std::string& text) {
    Bytes b = {row, 0, 0, 0, 15, 0, static_cast<std::uint8_t>(text.size()), 0};
    b.insert(b.end(), text.begin(), text.end());
    return std::pair<std::uint16_t, Bytes>{0x0204, b};
  };
  const BiffBuilder b = Book(0x0500, "\x80rkusz1", {{0x0042, {0x2D, 0x27}}},
                             {label(0, "\xFC" "adowno\xE6\x8D"), label(1, "abc\ndef")});
  IXLSWorkbook book = Read(Compound(b.bytes, u"Book"));
  for (int format : {0, 1, 2}) {
    IXLSWorkbook read = format == 0 ? book : Read(Saved(*book, format));
    IXLSWorksheet* sheet = read->GetWorksheets().GetItem(1);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->GetName(), u"Ärkusz1") << format;
    EXPECT_EQ(sheet->GetRange(u"A1")->GetValue().ToText(), u"Ładowność") << format;
    EXPECT_EQ(sheet->GetRange(u"A2")->GetValue().ToText(), u"abc\ndef") << format;
  }
  const Records labels = WithIds(RecordsOf(Saved(*book, 1), 1), {0x0204});
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(std::string(labels[1].second.begin() + 8, labels[1].second.end()), "abc\ndef");
}

// FILTERMODE, AUTOFILTERINFO, an AUTOFILTER without conditions and the AUTOFILTER12 of an
// above-average filter with its CONTINUEFRT12 come back as read; BIFF5 has no AUTOFILTER12.
TEST(KeptRecords, FilterRecordsGoBackAsRead) {
  Bytes name = {0x21, 0, 0, 1, 0x0B, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x0D};  // hidden built-in _FilterDatabase
  name.insert(name.end(), {0x3B, 0, 0, 0, 0, 4, 0, 0, 0, 1, 0});          // ptgArea3d A1:B5
  Bytes autofilter = {1, 0, 0, 0};
  autofilter.resize(24, 0);
  // Header and range B1:B5, entry 1, then arrow, type, criteria type, counts, flags, list id
  // and the view's id.
  Bytes filter12 = {0x7E, 0x08, 0, 0, 0, 0, 4, 0, 1, 0, 1, 0, 1, 0};
  for (std::uint32_t v : {0u, 0u, 0x0Fu, 0u, 0u, 0u, 0u, 0u}) PutDWord(filter12, v);
  filter12.resize(filter12.size() + 16, 0xAB);
  const Bytes continued = {0x7F, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22};
  const BiffBuilder b = Book(0x0600, "S", {{0x01AE, {1, 0, 1, 4}}, {0x0017, {1, 0, 0, 0, 0, 0, 0, 0}}, {0x0018, name}},
                             {{0x009B, {}}, {0x009D, {2, 0}}, {0x009E, autofilter}, {0x087E, filter12}, {0x087F, continued}});
  IXLSWorkbook book = Read(b.bytes);
  const Records expected = {{0x009B, {}}, {0x009D, {2, 0}}, {0x009E, autofilter}, {0x087E, filter12}, {0x087F, continued}};
  EXPECT_EQ(WithIds(RecordsOf(Saved(*book, 2), 2), {0x009B, 0x009D, 0x009E, 0x087E, 0x087F}), expected);
  EXPECT_EQ(WithIds(RecordsOf(Saved(*Read(Saved(*book, 2)), 2), 2), {0x009B, 0x009D, 0x009E, 0x087E, 0x087F}), expected);
  const Records biff5 = {{0x009B, {}}, {0x009D, {2, 0}}, {0x009E, autofilter}};
  EXPECT_EQ(WithIds(RecordsOf(Saved(*book, 1), 1), {0x009B, 0x009D, 0x009E, 0x087E, 0x087F}), biff5);
  // A filter set again is no longer the filtered one of the file.
  book->GetWorksheets().GetItem(1)->GetRange(u"A1:C4")->AutoFilter();
  book->GetWorksheets().GetItem(1)->GetRange(u"A1:C4")->AutoFilter();
  EXPECT_TRUE(WithIds(RecordsOf(Saved(*book, 2), 2), {0x009B, 0x087E}).empty());
}

// COLINFO's best-fit flag stays with its columns; a width set clears it.
TEST(KeptRecords, BestFitColumnsKeepTheirFlag) {
  const BiffBuilder b = Book(0x0600, "S", {}, {{0x007D, {1, 0, 2, 0, 0, 0x10, 15, 0, 0x06, 0, 0, 0}}});
  IXLSWorkbook book = Read(b.bytes);
  const Records cols = WithIds(RecordsOf(Saved(*book, 2), 2), {0x007D});
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_EQ(cols[0].second[8] & 0x06, 0x06);
  EXPECT_EQ(WithIds(RecordsOf(Saved(*book, 1), 1), {0x007D}).at(0).second[8] & 0x04, 0x04);
  book->GetWorksheets().GetItem(1)->ColumnInfo().SetColumnWidth(2, 20);
  const Records after = WithIds(RecordsOf(Saved(*book, 2), 2), {0x007D});
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].second[8] & 0x04, 0x04);
  EXPECT_EQ(after[1].second[8] & 0x04, 0);
}

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

const Bytes kSummaryId = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
const Bytes kDocSummaryId = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

// The document properties go back as read in both formats; pivot tables and their caches are
// listed (the cells stay).
TEST(KeptRecords, PropertiesKeptAndPivotTablesListed) {
  const Bytes summary = PropertySet(kSummaryId, {{2, "Drive settings"}, {4, "Service"}});
  const Bytes documentSummary = PropertySet(kDocSummaryId, {{0x0F, "Kestravel"}});
  Bytes sxview(44, 0);
  const BiffBuilder b = Book(0x0600, "S", {{0x00D5, {1, 0, 1, 0}}}, {{0x0203, {0, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
                                                                    {0x00B0, sxview}, {0x00B0, sxview}});
  IXLSWorkbook book = Read(Compound(b.bytes, u"Workbook", {{u"\x05SummaryInformation", summary},
                                                           {u"\x05" u"DocumentSummaryInformation", documentSummary},
                                                           {u"_SX_DB_CUR/", {1, 2, 3}}}));
  EXPECT_EQ(book->GetReadLosses(),
            (std::vector<std::u16string>{u"Sheet \"S\": 2 pivot tables (their cells stay as values) were left out",
                                         u"Workbook: the pivot table caches (the storage \"_SX_DB_CUR\") were left out"}));
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"A1")->GetValue().ToText(), u"1");
  for (int format : {2, 1}) {
    const Bytes saved = Saved(*book, format);
    EXPECT_EQ(StreamOf(saved, u"\x05SummaryInformation"), summary) << format;
    EXPECT_EQ(StreamOf(saved, u"\x05" u"DocumentSummaryInformation"), documentSummary) << format;
    EXPECT_EQ(StreamOf(Saved(*Read(saved), 2), u"\x05SummaryInformation"), summary) << format;
  }
  // A workbook made here has none.
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add();
  EXPECT_TRUE(StreamOf(Saved(*made, 2), u"\x05SummaryInformation").empty());
}

// The Mac program's BIFF5 globals say 0x0580; the only sheet is a chart sheet.
TEST(KeptRecords, MacWorkbookOfOneChartSheetOpens) {
  BiffBuilder b;
  b.Bof(0x0005, 0x0580);
  b.Record(0x0042, {0, 0x80});
  b.Record(0x0085, {0, 0, 0, 0, 0, 2, 6, 'C', 'h', 'a', 'r', 't', '1'});
  b.Eof().Bof(0x0020, 0x0580);
  b.Record(0x1001, {0, 0});              // UNITS
  b.Record(0x1002, Bytes(16, 0));        // CHART
  b.Record(0x1033, {}).Record(0x1034, {});  // BEGIN END
  b.Eof();
  IXLSWorkbook book = Read(Compound(b.bytes, u"Book"));
  ASSERT_EQ(book->GetWorksheets().GetCount(), 1);
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetName(), u"Chart1");
  const Records chart = WithIds(RecordsOf(Saved(*book, 1), 1), {0x1001, 0x1002, 0x1033, 0x1034});
  EXPECT_EQ(chart.size(), 4u);
  // Versions the format does not know stay refused.
  BiffBuilder other;
  other.Bof(0x0005, 0x0700).Eof();
  platform::MemoryStream stream(other.bytes);
  EXPECT_EQ(TXLSWorkbook::Create()->OpenStream(stream), -1);
}

// The ClientAnchor of the first shape in the sheet's drawing.
std::vector<std::uint16_t> CommentAnchor(const Records& records) {
  for (const auto& [id, body] : records) {
    if (id != 0x00EC) continue;
    for (std::size_t at = 0; at + 26 <= body.size(); ++at)
      if (body[at + 2] == 0x10 && body[at + 3] == 0xF0 && body[at + 4] == 18) {
        std::vector<std::uint16_t> a;
        for (std::size_t k = 0; k < 9; ++k) a.push_back(static_cast<std::uint16_t>(body[at + 8 + 2 * k] | body[at + 9 + 2 * k] << 8));
        return a;  // flag, column1, dx1, row1, dy1, column2, dx2, row2, dy2
      }
  }
  return {};
}

// A comment box whose right edge stands at 1043 of its column's 1024 parts (and a bottom past a
// row's 256) is read as ending at the column's edge: written back the same size, never upside down.
TEST(KeptRecords, CommentAnchorsOutOfRangeAreClamped) {
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add()->GetRange(u"C4")->AddComment(u"Hello");
  Bytes file = Saved(*made, 2);
  const std::vector<std::uint16_t> own = CommentAnchor(RecordsOf(file, 2));
  ASSERT_EQ(own.size(), 9u);
  // Patch the file's anchor: dx2 = 1043, dy2 = 300.
  Bytes stream = StreamOf(file, u"Workbook");
  bool patched = false;
  for (std::size_t at = 0; at + 26 <= stream.size() && !patched; ++at)
    if (stream[at + 2] == 0x10 && stream[at + 3] == 0xF0 && stream[at + 4] == 18 && stream[at + 5] == 0) {
      stream[at + 20] = 1043 & 0xFF, stream[at + 21] = 1043 >> 8;
      stream[at + 24] = 300 & 0xFF, stream[at + 25] = 300 >> 8;
      patched = true;
    }
  ASSERT_TRUE(patched);
  IXLSWorkbook book = Read(Compound(stream, u"Workbook"));
  for (int round = 0; round < 2; ++round) {
    const Bytes saved = Saved(*book, 2);
    const std::vector<std::uint16_t> a = CommentAnchor(RecordsOf(saved, 2));
    ASSERT_EQ(a.size(), 9u);
    EXPECT_TRUE(a[5] > a[1] || (a[5] == a[1] && a[6] >= a[2])) << "columns " << a[1] << " " << a[5];
    EXPECT_TRUE(a[7] > a[3] || (a[7] == a[3] && a[8] >= a[4])) << "rows " << a[3] << " " << a[7];
    EXPECT_LE(a[6], 1024);
    EXPECT_LE(a[8], 256);
    // At least as wide and tall as the box was (it ends at the far edge of its last cell).
    EXPECT_GE(a[5], own[5]);
    EXPECT_GE(a[7], own[7]);
    book = Read(saved);
  }
}

// OBJ records of kind 20 (drop-downs) in the first sheet.
std::size_t DropDowns(const Records& records) {
  std::size_t n = 0;
  for (const auto& [id, body] : records)
    if (id == 0x005D && body.size() >= 6 && body[4] == 20) ++n;
  return n;
}

// A filter's drop-downs and its _FilterDatabase without AUTOFILTERINFO (its record turned into
// a GRIDSET of the same size) stay: the drop-down objects are written back.
TEST(KeptRecords, FilterDropDownsWithoutFilterInfoStay) {
  IXLSWorkbook made = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = made->GetWorksheets().Add();
  for (const char16_t* cell : {u"A1", u"B1", u"A2", u"B2"}) sheet->GetRange(cell)->SetValue(Variant(1));
  sheet->GetRange(u"A1", u"B2")->AutoFilter();
  Bytes stream = StreamOf(Saved(*made, 2), u"Workbook");
  bool patched = false;
  for (std::size_t at = 0; at + 6 <= stream.size() && !patched; at += 4 + (stream[at + 2] | stream[at + 3] << 8))
    if (stream[at] == 0x9D && stream[at + 1] == 0) stream[at] = 0x82, patched = true;
  ASSERT_TRUE(patched);
  IXLSWorkbook book = Read(Compound(stream, u"Workbook"));
  EXPECT_EQ(DropDowns(RecordsOf(Compound(stream, u"Workbook"), 2)), 2u);
  const Bytes saved = Saved(*book, 2);
  EXPECT_EQ(DropDowns(RecordsOf(saved, 2)), 2u);
  EXPECT_EQ(DropDowns(RecordsOf(Saved(*Read(saved), 2), 2)), 2u);
  // The filter database stays a hidden built-in name.
  const Records names = WithIds(RecordsOf(saved, 2), {0x0018});
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].second[0], 0x21);
}

}  // namespace
}  // namespace xls::test
