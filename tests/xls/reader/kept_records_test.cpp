// Workbooks built record by record with what other programs leave in their files: Mac code
// pages, BIFF5 line feeds, filter records, best-fit columns, document properties, pivot tables,
// a Mac workbook of one chart sheet and comment anchors out of range. Read, saved and read again.
#include <gtest/gtest.h>

#include "kept_books.h"
#include "platform/byte_stream.h"
#include "platform/codepage.h"
#include "xls/model/range.h"
#include "xls/model/row_col_info.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

// Every byte of the Mac code pages goes back to itself (what each reads as is held against
// Python's codecs by the interop test).
TEST(KeptRecords, MacCodePagesWriteBackWhatTheyRead) {
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high.push_back(static_cast<char>(b));
  for (int page : {10000, 32768, 10006, 10007, 10029, 10079, 10081, 10082, 10010})
    EXPECT_EQ(platform::WideToAnsiCP(platform::AnsiToWideCP(high, page), page), high) << page;
}

// A BIFF5 book of the Mac code page 10029: its sheet name and texts read right and a BIFF5 save
// writes them in that page again; a text's line feed stays a line feed.
TEST(KeptRecords, Biff5TextsInAMacCodePageKeepTheirLineFeeds) {
  IXLSWorkbook book = Open(MacTextsBook());
  for (int format : {0, 1, 2}) {
    IXLSWorkbook read = format == 0 ? book : Open(Saved(*book, format));
    IXLSWorksheet* sheet = read->GetWorksheets().GetItem(1);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->GetName(), u"Ärkusz1") << format;
    EXPECT_EQ(sheet->GetRange(u"A1")->GetValue().ToText(), u"Ładowność") << format;
    EXPECT_EQ(sheet->GetRange(u"A2")->GetValue().ToText(), u"abc\ndef") << format;
  }
  const Records labels = RecordsOf(Saved(*book, 1), {0x0204});
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(std::string(labels[1].second.begin() + 8, labels[1].second.end()), "abc\ndef");
}

// FILTERMODE, AUTOFILTERINFO, an AUTOFILTER without conditions and the AUTOFILTER12 of an
// above-average filter with its CONTINUEFRT12 come back as read; BIFF5 has no AUTOFILTER12.
TEST(KeptRecords, FilterRecordsGoBackAsRead) {
  IXLSWorkbook book = Open(FilterBook(true));
  const Records expected = FilterRecords();
  auto filter = [](const Bytes& file) { return RecordsOf(file, {0x009B, 0x009D, 0x009E, 0x087E, 0x087F}); };
  EXPECT_EQ(filter(Saved(*book, 2)), expected);
  EXPECT_EQ(filter(Saved(*Open(Saved(*book, 2)), 2)), expected);
  EXPECT_EQ(filter(Saved(*book, 1)), Records(expected.begin(), expected.begin() + 4));
  // A filter set again is no longer the filtered one of the file.
  book->GetWorksheets().GetItem(1)->GetRange(u"A1:C4")->AutoFilter();
  book->GetWorksheets().GetItem(1)->GetRange(u"A1:C4")->AutoFilter();
  EXPECT_TRUE(RecordsOf(Saved(*book, 2), {0x009B, 0x087E}).empty());
}

// A file of fewer than sixteen XFs, or none, gets the default formats it left out, the cells
// keeping the XFs they name; a cell, column or row whose XF lies past the file's takes the
// default cell format. Such cells can be formatted, and every save holds sixteen XFs or more
// with no cell, column or row naming one it lacks. A file of all sixteen keeps its own.
TEST(KeptRecords, FilesOfFewXFsGetTheDefaults) {
  for (const std::uint16_t version : {0x0600, 0x0500}) {
    for (int xfs : {0, 5}) {
      IXLSWorkbook book = Open(FewXFsBook(version, xfs));
      IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
      EXPECT_EQ(sheet.GetCellXF(1, 0), 4) << version;
      EXPECT_EQ(sheet.GetCellXF(3, 0), 15) << version;
      sheet.GetRange(u"B1")->SetValue(Variant(5.0));
      for (const char16_t* cell : {u"A1", u"A3", u"A4", u"B1"}) {
        sheet.GetRange(cell)->SetNumberFormat(u"0.00");
        EXPECT_EQ(sheet.GetRange(cell)->GetNumberFormat(), u"0.00") << version;
      }
      for (int format : {2, 1}) {
        const Bytes saved = Saved(*book, format);
        const std::size_t count = RecordsOf(saved, {0x00E0}).size();
        EXPECT_GE(count, 16u) << version << " " << format << " " << xfs;
        for (const auto& [id, body] : RecordsOf(saved, {0x0203, 0x007D, 0x0208})) {
          const std::size_t at = id == 0x0203 ? 4 : id == 0x007D ? 6 : 14;
          EXPECT_LT(std::size_t(body[at] | (body[at + 1] & 0x0F) << 8), count) << id << " " << format;
        }
        EXPECT_EQ(Open(saved)->GetWorksheets().GetItem(1)->GetRange(u"A4")->GetValue().NumberValue(), 4);
      }
    }
  }
  const Bytes whole = FewXFsBook(0x0600, 16);
  EXPECT_EQ(RecordsOf(Saved(*Open(whole), 2), {0x00E0}), RecordsOf(whole, {0x00E0}));
}

// Our save of an autofilter over A1:C5 (drop-downs in A1, B1 and C1), changed as other writers
// leave it: AUTOFILTERINFO counting two columns, the filter database a hidden name of text
// rather than the built-in one, or no filter database at all. Each save holds one filter
// database over A1:C5, of three drop-downs that belong to the filter.
TEST(KeptRecords, FilterDatabasesAsOtherWritersLeaveThem) {
  const char* const changes[] = {"a count of two", "a name of text", "no name"};
  for (int change = 0; change < 3; ++change) {
    const char* what = changes[change];
    IXLSWorkbook book = Open(OtherWritersFilterBook(change));
    const Bytes saved = Saved(*book, 2);
    const Records names = RecordsOf(saved, {0x0018});
    ASSERT_EQ(names.size(), 1u) << what;
    EXPECT_EQ(names[0].second[0], 0x21) << what;
    EXPECT_EQ(Bytes(names[0].second.end() - 8, names[0].second.end()), (Bytes{0, 0, 4, 0, 0, 0, 2, 0})) << what;
    EXPECT_EQ(RecordsOf(saved, {0x009D}).at(0).second, (Bytes{3, 0})) << what;
    auto dropDowns = [](const Bytes& file) {
      std::size_t n = 0;
      for (const auto& [id, body] : RecordsOf(file, {0x005D})) n += body.size() > 6 && body[4] == 0x14;
      return n;
    };
    EXPECT_EQ(dropDowns(saved), 3u) << what;
    // Switched off, the filter takes every drop-down with it.
    book->GetWorksheets().GetItem(1)->GetRange(u"A1", u"C5")->AutoFilter();
    EXPECT_EQ(dropDowns(Saved(*book, 2)), 0u) << what;
  }
}

// COLINFO's best-fit flag stays with its columns; a width set clears it.
TEST(KeptRecords, BestFitColumnsKeepTheirFlag) {
  IXLSWorkbook book = Open(Workbook(0x0600, {{"S", {{0x007D, {1, 0, 2, 0, 0, 0x10, 15, 0, 0x06, 0, 0, 0}}}}}));
  const Records cols = RecordsOf(Saved(*book, 2), {0x007D});
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_EQ(cols[0].second[8] & 0x06, 0x06);
  EXPECT_EQ(RecordsOf(Saved(*book, 1), {0x007D}).at(0).second[8] & 0x04, 0x04);
  book->GetWorksheets().GetItem(1)->ColumnInfo().SetColumnWidth(2, 20);
  const Records after = RecordsOf(Saved(*book, 2), {0x007D});
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].second[8] & 0x04, 0x04);
  EXPECT_EQ(after[1].second[8] & 0x04, 0);
}

// The document properties go back as read in both formats; pivot tables and their caches, tables,
// table styles and styles' extensions are listed (the cells stay).
TEST(KeptRecords, PropertiesKeptAndPivotTablesListed) {
  const Bytes source = PropertiesBook();
  const Bytes summary = StreamOf(source, u"\x05SummaryInformation");
  const Bytes documentSummary = StreamOf(source, u"\x05" u"DocumentSummaryInformation");
  ASSERT_FALSE(summary.empty());
  IXLSWorkbook book = Open(source);
  EXPECT_EQ(book->GetReadLosses(),
            (std::vector<std::u16string>{
                u"Workbook: the extension of a style (STYLEEXT) was left out",
                u"Workbook: the list of table styles (TABLESTYLES) was left out",
                u"Sheet \"S\": a table (FEAT11 or FEAT12; its cells stay as values) was left out",
                u"Sheet \"S\": 2 pivot tables (their cells stay as values) were left out",
                u"Workbook: the pivot table caches (the storage \"_SX_DB_CUR\") were left out"}));
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"A1")->GetValue().ToText(), u"1");
  for (int format : {2, 1}) {
    const Bytes saved = Saved(*book, format);
    EXPECT_EQ(StreamOf(saved, u"\x05SummaryInformation"), summary) << format;
    EXPECT_EQ(StreamOf(saved, u"\x05" u"DocumentSummaryInformation"), documentSummary) << format;
    EXPECT_EQ(StreamOf(Saved(*Open(saved), 2), u"\x05SummaryInformation"), summary) << format;
  }
  // A workbook made here has none.
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add();
  EXPECT_TRUE(StreamOf(Saved(*made, 2), u"\x05SummaryInformation").empty());
}

// The Mac program's BIFF5 globals say 0x0580; the only sheet is a chart sheet. Its BIFF5 chart
// records go back into a BIFF5 save; that a BIFF8 save leaves them out is listed.
TEST(KeptRecords, MacWorkbookOfOneChartSheetOpens) {
  IXLSWorkbook book = Open(MacChartBook());
  ASSERT_EQ(book->GetWorksheets().GetCount(), 1);
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetName(), u"Chart1");
  EXPECT_EQ(RecordsOf(Saved(*book, 1), {0x1001, 0x1002, 0x1033, 0x1034}).size(), 4u);
  EXPECT_TRUE(RecordsOf(Saved(*book, 2), {0x1001, 0x1002, 0x1033, 0x1034}).empty());
  EXPECT_EQ(book->GetReadLosses(),
            std::vector<std::u16string>{u"Sheet \"Chart1\": the chart, kept as read in a BIFF5 save, is left out of a "
                                        u"BIFF8 save (an empty sheet takes its place)"});
  // Versions the format does not know stay refused.
  BiffBuilder other;
  other.Bof(0x0005, 0x0700).Eof();
  platform::MemoryStream stream(other.bytes);
  EXPECT_EQ(TXLSWorkbook::Create()->OpenStream(stream), -1);
}

// The ClientAnchor of the first shape in the sheet's drawing.
std::vector<std::uint16_t> CommentAnchor(const Bytes& file) {
  for (const auto& [id, body] : RecordsOf(file, {0x00EC})) {
    const std::size_t at = ClientAnchorAt(body) + 8;
    if (at > body.size()) continue;
    std::vector<std::uint16_t> a;  // flag, column1, dx1, row1, dy1, column2, dx2, row2, dy2
    for (std::size_t k = at; k < at + 18; k += 2) a.push_back(static_cast<std::uint16_t>(body[k] | body[k + 1] << 8));
    return a;
  }
  return {};
}

// A comment box whose right edge stands at 1043 of its column's 1024 parts (and a bottom past a
// row's 256) is read as ending at the column's edge: written back the same size, never upside down.
TEST(KeptRecords, CommentAnchorsOutOfRangeAreClamped) {
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add()->GetRange(u"C4")->AddComment(u"Hello");
  const std::vector<std::uint16_t> own = CommentAnchor(Saved(*made, 2));
  ASSERT_EQ(own.size(), 9u);
  const Bytes source = CommentBook();
  ASSERT_FALSE(source.empty());
  IXLSWorkbook book = Open(source);
  for (int round = 0; round < 2; ++round) {
    const Bytes saved = Saved(*book, 2);
    const std::vector<std::uint16_t> a = CommentAnchor(saved);
    ASSERT_EQ(a.size(), 9u);
    EXPECT_TRUE(a[5] > a[1] || (a[5] == a[1] && a[6] >= a[2])) << "columns " << a[1] << " " << a[5];
    EXPECT_TRUE(a[7] > a[3] || (a[7] == a[3] && a[8] >= a[4])) << "rows " << a[3] << " " << a[7];
    EXPECT_LE(a[6], 1024);
    EXPECT_LE(a[8], 256);
    // At least as wide and tall as the box was (it ends at the far edge of its last cell).
    EXPECT_GE(a[5], own[5]);
    EXPECT_GE(a[7], own[7]);
    book = Open(saved);
  }
}

}  // namespace
}  // namespace xls::test
