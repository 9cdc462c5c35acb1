// The workbook reader on record streams built by hand (malformed ones included) and on
// workbooks our own writer saved: what is read is what the model held.
#include <gtest/gtest.h>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "reader_test_support.h"
#include "xls/formula/names.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/drawing/chart.h"
#include "xls/io/reader/workbook_reader.h"
#include "xls/model/cell_store.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/range.h"
#include "xls/model/xf_list.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

int ReadBytes(TXLSWorkbook& book, const Bytes& bytes) {
  platform::MemoryStream stream(bytes);
  return book.OpenStream(stream);
}

// A BIFF8 book: globals with one BOUNDSHEET, then one worksheet holding the given records.
Bytes Book(const std::vector<std::pair<std::uint16_t, Bytes>>& sheetRecords,
           const std::vector<std::pair<std::uint16_t, Bytes>>& globals = {}) {
  BiffBuilder b;
  b.Bof(0x0005);
  for (const auto& [id, body] : globals) b.Record(id, body);
  Bytes sheet;
  PutDWord(sheet, 0);
  PutWord(sheet, 0);
  PutString8(sheet, "Data", true);
  b.Record(0x0085, sheet).Eof().Bof(0x0010);
  for (const auto& [id, body] : sheetRecords) b.Record(id, body);
  b.Eof();
  return b.bytes;
}

Bytes Cell(std::uint16_t row, std::uint16_t column, std::uint16_t xf) {
  Bytes b;
  PutWord(b, row);
  PutWord(b, column);
  PutWord(b, xf);
  return b;
}

const TXLSCellRef* At(TXLSWorkbook& book, int row, int column, int sheet = 1) {
  return book.GetWorksheets().GetItem(sheet)->Cells().FindCell(row, column);
}

double Number(TXLSWorkbook& book, int row, int column) {
  const TXLSCellRef* c = At(book, row, column);
  return c && c->Kind() == kCellNumber ? c->Value() : -999999;
}

TEST(Reader, CellRecordsFillValuesAndFormats) {
  Bytes rk1 = Cell(0, 0, 15), rk2 = Cell(0, 1, 15), rk3 = Cell(0, 2, 15), rk4 = Cell(0, 3, 15), rk5 = Cell(0, 4, 15);
  PutDWord(rk1, 0x3FF00000);
  PutDWord(rk2, 0x3FF00001);
  PutDWord(rk3, 0x00000006);
  PutDWord(rk4, 0x00000007);
  PutDWord(rk5, 0xFFFFFFFE);
  Bytes mulrk;
  PutWord(mulrk, 1);
  PutWord(mulrk, 3);
  for (std::uint32_t i = 0; i < 3; ++i) {
    PutWord(mulrk, 16 + i);
    PutDWord(mulrk, ((10 + i) << 2) | 2);
  }
  PutWord(mulrk, 5);
  Bytes number = Cell(2, 0, 15);
  PutDouble(number, -2.5e-7);
  Bytes label = Cell(3, 0, 15);
  PutString8(label, "=1+2");
  Bytes boolean = Cell(4, 0, 15), error = Cell(4, 1, 15);
  boolean.insert(boolean.end(), {1, 0});
  error.insert(error.end(), {7, 1});
  Bytes sstIndex = Cell(5, 0, 15), sstBeyond = Cell(5, 1, 15);
  PutDWord(sstIndex, 1);
  PutDWord(sstBeyond, 9);
  Bytes sst;
  PutDWord(sst, 2);
  PutDWord(sst, 2);
  PutString8(sst, "first");
  PutString8(sst, "second");
  // XFs up to the MULRK's 18, then the shared strings.
  std::vector<std::pair<std::uint16_t, Bytes>> globals(19, {0x00E0, Bytes(20, 0)});
  globals.push_back({0x00FC, sst});
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*book, Book({{0x027E, rk1}, {0x027E, rk2}, {0x027E, rk3}, {0x027E, rk4}, {0x027E, rk5},
                                   {0x00BD, mulrk}, {0x0203, number}, {0x0204, label}, {0x0205, boolean},
                                   {0x0205, error}, {0x00FD, sstIndex}, {0x00FD, sstBeyond}},
                                  globals)),
            1);
  EXPECT_EQ(Number(*book, 0, 0), 1.0);
  EXPECT_EQ(Number(*book, 0, 1), 0.01);
  EXPECT_EQ(Number(*book, 0, 2), 1.0);
  EXPECT_EQ(Number(*book, 0, 3), 0.01);
  EXPECT_EQ(Number(*book, 0, 4), -1.0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Number(*book, 1, 3 + i), 10 + i);
    EXPECT_EQ(At(*book, 1, 3 + i)->XF(), 16 + i);
  }
  EXPECT_EQ(Number(*book, 2, 0), -2.5e-7);
  // Text beginning with "=" stays text.
  ASSERT_EQ(At(*book, 3, 0)->Kind(), kCellString);
  EXPECT_EQ(book->StringTable().GetString(At(*book, 3, 0)->StringIndex()), u"=1+2");
  EXPECT_EQ(At(*book, 4, 0)->Kind(), kCellBoolean);
  // An error value is kept as an error cell.
  ASSERT_EQ(At(*book, 4, 1)->Kind(), kCellError);
  EXPECT_EQ(At(*book, 4, 1)->Value(), 7);
  EXPECT_EQ(book->StringTable().GetString(At(*book, 5, 0)->StringIndex()), u"second");
  EXPECT_EQ(book->StringTable().GetString(At(*book, 5, 1)->StringIndex()), u"");

  // Error cells are written back and read again.
  platform::MemoryStream saved;
  ASSERT_EQ(book->SaveToStreamFormat(saved, 2), 1);
  IXLSWorkbook again = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*again, saved.Bytes()), 1);
  ASSERT_EQ(At(*again, 4, 1)->Kind(), kCellError);
  EXPECT_EQ(At(*again, 4, 1)->Value(), 7);
}

TEST(Reader, CountsAndLengthsOutsideTheirRecordAreRefused) {
  Bytes shortMulrk = Cell(0, 0, 15);  // no room for an entry: nothing is set
  Bytes shortMulblank;
  PutWord(shortMulblank, 0);
  PutWord(shortMulblank, 1);
  Bytes longLabel = Cell(0, 2, 15);
  PutWord(longLabel, 500);
  longLabel.insert(longLabel.end(), {0, 'a', 'b'});
  Bytes selection = {3, 0, 0, 0, 0};
  PutWord(selection, 4);  // active area 4 of 1
  PutWord(selection, 1);
  PutWord(selection, 0);
  PutWord(selection, 0);
  selection.insert(selection.end(), {0, 0});
  Bytes merged;
  PutWord(merged, 1000);  // one area present
  for (std::uint32_t v : {1u, 2u, 1u, 2u}) PutWord(merged, v);
  Bytes breaks;
  PutWord(breaks, 300);
  for (std::uint32_t v : {7u, 0u, 255u}) PutWord(breaks, v);
  Bytes palette;
  PutWord(palette, 56);
  palette.insert(palette.end(), {0x12, 0x34, 0x56, 0});
  Bytes sst;  // a header cut by the record's end
  PutDWord(sst, 2);
  PutDWord(sst, 2);
  PutString8(sst, "ok");
  sst.push_back(5);
  Bytes boolerr = Cell(0, 3, 15);
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*book, Book({{0x00BD, shortMulrk}, {0x00BE, shortMulblank}, {0x0204, longLabel},
                                   {0x001D, selection}, {0x00E5, merged}, {0x001B, breaks}, {0x0205, boolerr}},
                                  {{0x0092, palette}, {0x00FC, sst}})),
            1);
  EXPECT_EQ(At(*book, 0, 0), nullptr);
  EXPECT_EQ(At(*book, 0, 2), nullptr);
  EXPECT_EQ(At(*book, 0, 3), nullptr);
  IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
  ASSERT_NE(At(*book, 1, 1), nullptr);
  EXPECT_TRUE(At(*book, 1, 1)->IsMergeMaster());
  EXPECT_EQ(sheet.GetHPageBreaks().GetCount(), 1);
  EXPECT_EQ(book->GetColor(1), 0x563412u);
}

// Merging makes a cell for every position, so a sheet's merged areas together cover at most the
// workbook's allowance (2^20 cells unless a test sets it): a few hundred bytes of MERGEDCELLS
// cannot make billions. An area grown by the merged areas it touches counts as grown.
TEST(Reader, MergedAreasShareAnAllowancePerSheet) {
  Bytes merged;
  PutWord(merged, 4);
  for (std::uint32_t first : {0u, 8u, 16u})
    for (std::uint32_t v : {first, first + 7, 0u, 7u}) PutWord(merged, v);
  for (std::uint32_t v : {7u, 8u, 0u, 0u}) PutWord(merged, v);  // joins the first two: 128 cells
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->MergedCellsPerSheet(), 1 << 20);
  book->SetMergedCellsPerSheetForTest(160);
  ASSERT_EQ(ReadBytes(*book, Book({{0x00E5, merged}}, {})), 1);
  EXPECT_EQ(At(*book, 16, 0), nullptr);  // 64 + 64 + 64 is past 160
  // The joining area would cover 128 more: the first two stay apart.
  ASSERT_NE(At(*book, 8, 0), nullptr);
  EXPECT_TRUE(At(*book, 8, 0)->IsMergeMaster());
}

TEST(Reader, StreamShapesGiveTheirStatus) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  // Only a globals BOF and EOF: an empty workbook.
  EXPECT_EQ(ReadBytes(*book, BiffBuilder().Bof(5).Eof().bytes), 1);
  EXPECT_EQ(book->GetWorksheets().GetCount(), 0);
  // A last substream without EOF.
  Bytes open = Book({});
  open.resize(open.size() - 4);
  EXPECT_EQ(ReadBytes(*book, open), 100);
  // A globals BOF of a version that is not read; a later one changes nothing.
  EXPECT_EQ(ReadBytes(*book, BiffBuilder().Bof(5, 0x0400).Eof().bytes), -1);
  EXPECT_EQ(ReadBytes(*book, BiffBuilder().Bof(5).Eof().Bof(5, 0x0700).Eof().bytes), 1);
  // A note naming an object that is no comment box is let go (a file we saved once did so
  // after reading two shapes of one object id).
  Bytes note;
  for (std::uint32_t v : {0u, 0u, 0u, 9u, 0u}) PutWord(note, v);
  note.insert(note.end(), {0, 0});
  EXPECT_EQ(ReadBytes(*book, Book({{0x001C, note}}, {})), 1);
  // A font record too short for its name fails the read.
  Bytes font(16, 0);
  font[14] = 40;
  EXPECT_EQ(ReadBytes(*book, Book({}, {{0x0031, font}})), -1);
}

TEST(Reader, SharedStringsAcrossContinueRecords) {
  // "abcdef" split after "abc" switching to 16-bit characters; then a rich string whose runs
  // spill into the next CONTINUE; then a plain one.
  Bytes sst;
  PutDWord(sst, 3);
  PutDWord(sst, 3);
  PutWord(sst, 6);
  sst.push_back(0);
  sst.insert(sst.end(), {'a', 'b', 'c'});
  Bytes cont1 = {1, 'd', 0, 'e', 0, 'f', 0};
  PutWord(cont1, 2);
  cont1.push_back(8);
  PutWord(cont1, 2);  // two runs of 4 bytes
  cont1.insert(cont1.end(), {'x', 'y', 1, 0, 0, 0});
  Bytes cont2 = {0, 0, 0, 0};
  PutWord(cont2, 1);
  cont2.insert(cont2.end(), {0, 'z'});
  BiffBuilder b;
  b.Bof(5).Record(0x00FC, sst).Record(0x003C, cont1).Record(0x003C, cont2);
  Bytes sheet;
  PutDWord(sheet, 0);
  PutWord(sheet, 0);
  PutString8(sheet, "S", true);
  b.Record(0x0085, sheet).Eof().Bof(0x10);
  for (std::uint16_t i = 0; i < 3; ++i) {
    Bytes cell = Cell(i, 0, 15);
    PutDWord(cell, i);
    b.Record(0x00FD, cell);
  }
  b.Eof();
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*book, b.bytes), 1);
  const TXLSStringTable& strings = book->StringTable();
  EXPECT_EQ(strings.GetString(At(*book, 0, 0)->StringIndex()), u"abcdef");
  EXPECT_EQ(strings.GetString(At(*book, 1, 0)->StringIndex()), u"xy");
  EXPECT_EQ(strings.GetString(At(*book, 2, 0)->StringIndex()), u"z");
}

// A text repeated in the SST and over several cells is one string with one use per cell; a
// string dropped by an overwritten cell and wanted again is not confused with the text that
// took its index meanwhile.
TEST(Reader, SharedStringsRepeatedAndOverwrittenAreCountedPerCell) {
  Bytes sst;
  PutDWord(sst, 5);
  PutDWord(sst, 4);
  for (const char* text : {"dup", "dup", "gone", "new"}) PutString8(sst, text, false);
  std::vector<std::pair<std::uint16_t, Bytes>> cells;
  for (auto [row, column, index] : {std::array<std::uint16_t, 3>{0, 0, 0}, {1, 0, 1}, {2, 0, 0}, {0, 1, 2}, {0, 1, 3}, {1, 1, 2}}) {
    Bytes cell = Cell(row, column, 15);
    PutDWord(cell, index);
    cells.emplace_back(0x00FD, cell);
  }
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*book, Book(cells, {{0x00FC, sst}})), 1);
  const TXLSStringTable& strings = book->StringTable();
  const std::int32_t dup = At(*book, 0, 0)->StringIndex();
  EXPECT_EQ(strings.GetString(dup), u"dup");
  EXPECT_EQ(At(*book, 1, 0)->StringIndex(), dup);
  EXPECT_EQ(At(*book, 2, 0)->StringIndex(), dup);
  EXPECT_EQ(strings.GetUseCount(dup), 3);
  EXPECT_EQ(strings.GetString(At(*book, 0, 1)->StringIndex()), u"new");
  EXPECT_EQ(strings.GetString(At(*book, 1, 1)->StringIndex()), u"gone");
  EXPECT_EQ(strings.DistinctStrings(), 3);
  EXPECT_EQ(strings.TotalUses(), 5);
}

// A long text across CONTINUE records in many cells is looked up once: every further cell
// counts a use at the index it got, however long the text.
TEST(Reader, LongSharedStringsInManyCellsAreLookedUpOnce) {
  std::string text;
  for (int i = 0; text.size() < 20000; ++i) text += "word" + std::to_string(i) + " ";
  Bytes sst;
  PutDWord(sst, 600);
  PutDWord(sst, 2);
  PutWord(sst, static_cast<std::uint32_t>(text.size()));
  sst.push_back(0);
  std::vector<std::pair<std::uint16_t, Bytes>> globals, cells;
  for (std::size_t at = 0; at < text.size();) {
    Bytes piece = globals.empty() ? sst : Bytes{0};
    const std::size_t n = std::min<std::size_t>(text.size() - at, 8224 - piece.size());
    piece.insert(piece.end(), text.begin() + static_cast<std::ptrdiff_t>(at), text.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    if (at == text.size()) PutString8(piece, "short", false);
    globals.emplace_back(globals.empty() ? 0x00FC : 0x003C, piece);
  }
  for (std::uint16_t i = 0; i < 600; ++i) {
    Bytes cell = Cell(i / 2, i % 2, 15);
    PutDWord(cell, i % 2);
    cells.emplace_back(0x00FD, cell);
  }
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*book, Book(cells, globals)), 1);
  const TXLSStringTable& strings = book->StringTable();
  const std::int32_t index = At(*book, 299, 0)->StringIndex();
  EXPECT_EQ(strings.GetString(index), std::u16string(text.begin(), text.end()));
  EXPECT_EQ(strings.GetUseCount(index), 300);
  EXPECT_EQ(strings.GetString(At(*book, 299, 1)->StringIndex()), u"short");
  EXPECT_EQ(strings.Lookups(), 2);
}

TEST(Reader, HeaderAndFooterSections) {
  auto header = [](const std::string& text) {
    Bytes b;
    PutString8(b, text);
    return b;
  };
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*book, Book({{0x0014, header("&LLeft&CCentre&RRight &&R")},
                                   {0x0015, header("Page &P of &N")}})),
            1);
  const TXLSPageSetup& page = *book->GetWorksheets().GetItem(1)->GetPageSetup();
  EXPECT_EQ(page.GetLeftHeader(), u"Left");
  EXPECT_EQ(page.GetCenterHeader(), u"Centre");
  EXPECT_EQ(page.GetRightHeader(), u"Right &&R");
  // Text without section codes is the centre section.
  EXPECT_EQ(page.GetLeftFooter(), u"");
  EXPECT_EQ(page.GetCenterFooter(), u"Page &P of &N");
  EXPECT_EQ(page.GetRightFooter(), u"");
  ASSERT_EQ(ReadBytes(*book, Book({{0x0014, header("Before&RAfter")}})), 1);
  const TXLSPageSetup& second = *book->GetWorksheets().GetItem(1)->GetPageSetup();
  EXPECT_EQ(second.GetCenterHeader(), u"Before");
  EXPECT_EQ(second.GetRightHeader(), u"After");
}

// A workbook made through the public operations, saved by our writer in BIFF8 and BIFF5 and
// read back, holds what it held.
TEST(Reader, SavedWorkbooksReadBackAsTheyWere) {
  for (int format : {2, 1}) {
    SCOPED_TRACE(format);
    IXLSWorkbook book = TXLSWorkbook::Create();
    IXLSWorksheet& sheet = *book->GetWorksheets().Add();
    sheet.SetName(u"Settings");
    IXLSWorksheet& other = *book->GetWorksheets().Add();
    other.SetName(u"Other");
    IXLSRange cells = sheet.GetCells();
    cells->GetItem(1, 1)->SetValue(Variant(u"Name"));
    cells->GetItem(1, 2)->SetValue(Variant(12.75));
    cells->GetItem(2, 1)->SetValue(Variant(true));
    cells->GetItem(2, 2)->SetValue(Variant::Error(42));
    cells->GetItem(3, 1)->SetValue(Variant(u"\u00dcber \u20ac"));
    sheet.SetCellXF(0, 0, book->XFList().SetFontBold(sheet.GetCellXF(0, 0), true, false));
    sheet.GetRangeRC(5, 1, 6, 3)->Merge(false);
    sheet.ColumnInfo().SetColumnWidth(1, 20);
    sheet.RowInfo().SetRowHeight(3, 30);
    sheet.GetOutline().SetSummaryRow(0);
    sheet.GetOutline().SetSummaryColumn(1);
    sheet.GetPageSetup()->SetCenterHeader(u"Title & more");
    sheet.GetPageSetup()->SetRightFooter(u"&P");
    sheet.GetPageSetup()->SetOrientation(2);
    sheet.GetPageSetup()->SetPrintArea(0, 0, 9, 3);
    sheet.GetPageSetup()->SetPrintTitleRows(u"$1:$2");
    sheet.GetHPageBreaks().AddBreak(20);
    sheet.FreezePanes(1, 2, 2, 1);
    sheet.SetZoom(Variant(75));
    ASSERT_NE(book->Formulas().Names().Add(u"Total", u"=Settings!$B$1:$B$3", true), nullptr);
    other.Activate();

    platform::MemoryStream saved;
    ASSERT_EQ(book->SaveToStreamFormat(saved, format), 1);
    IXLSWorkbook read = TXLSWorkbook::Create();
    ASSERT_EQ(ReadBytes(*read, saved.Bytes()), 1);
    EXPECT_EQ(read->GetCurrentFormat(), format);
    ASSERT_EQ(read->GetWorksheets().GetCount(), 2);
    IXLSWorksheet& s = *read->GetWorksheets().GetItem(1);
    EXPECT_EQ(s.GetName(), u"Settings");
    EXPECT_EQ(read->GetActiveSheet(), read->GetWorksheets().GetItem(2));
    EXPECT_EQ(DumpModel(*read, ""), DumpModel(*book, ""));
    EXPECT_TRUE(read->XFList().GetFontBold(s.GetCellXF(0, 0)));
    EXPECT_EQ(s.ColumnInfo().GetColumnWidth(1), 20);
    EXPECT_EQ(s.RowInfo().GetRowHeight(3), 30);
    EXPECT_EQ(s.GetOutline().GetSummaryRow(), 0);
    EXPECT_EQ(s.GetOutline().GetSummaryColumn(), 1);
    const TXLSPageSetup& page = *s.GetPageSetup();
    EXPECT_EQ(page.GetCenterHeader(), u"Title & more");
    EXPECT_EQ(page.GetRightFooter(), u"&P");
    EXPECT_EQ(page.GetOrientation(), 2);
    EXPECT_EQ(page.GetPrintArea(), sheet.GetPageSetup()->GetPrintArea());
    EXPECT_EQ(page.GetPrintTitleRows(), u"$1:$2");
    EXPECT_EQ(s.GetHPageBreaks().GetCount(), 1);
    ASSERT_TRUE(s.HasPanes());
    EXPECT_TRUE(s.GetPanes().Frozen());
    EXPECT_EQ(s.GetPanes().RowSplit(), 2);
    EXPECT_EQ(s.GetPanes().ColumnSplit(), 1);
    EXPECT_EQ(s.GetZoom(), 75);
    TXLSCustomName* total = read->Formulas().Names().FindByName(u"Total");
    ASSERT_NE(total, nullptr);
    EXPECT_EQ(read->Formulas().Names().FormulaText(total),
              book->Formulas().Names().FormulaText(book->Formulas().Names().FindByName(u"Total")));
  }
}

// The cells of a 1904 book hold its own serials, as the file does; a date comes out as its date.
TEST(Reader, DatesOfA1904BookKeepTheirSerials) {
  Bytes format;
  PutWord(format, 164);
  PutString8(format, "yyyy-mm-dd");
  Bytes xf(20, 0);
  xf[2] = 164;  // number format 164
  Bytes date1904;
  PutWord(date1904, 1);
  std::vector<std::pair<std::uint16_t, Bytes>> globals = {{0x0022, date1904}, {0x041E, format}};
  for (int i = 0; i < 16; ++i) globals.push_back({0x00E0, Bytes(20, 0)});
  globals.push_back({0x00E0, xf});  // XF 16: a date
  Bytes dated = Cell(0, 0, 16), plain = Cell(0, 1, 15);
  PutDouble(dated, 0);
  PutDouble(plain, 0);
  // A2: DATEVALUE("1902-09-26"), which is not calculated here, with its cached date before
  // 1904: a negative serial in this system.
  Bytes formula = Cell(1, 0, 16);
  PutDouble(formula, -462);
  formula.insert(formula.end(), 6, 0);
  const Bytes tokens = {0x17, 10, 0, '1', '9', '0', '2', '-', '0', '9', '-', '2', '6', 0x21, 140, 0};
  PutWord(formula, static_cast<std::uint32_t>(tokens.size()));
  formula.insert(formula.end(), tokens.begin(), tokens.end());
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*book, Book({{0x0203, dated}, {0x0203, plain}, {0x0006, formula}}, globals)), 1);
  EXPECT_TRUE(book->GetDate1904());
  EXPECT_EQ(Number(*book, 0, 0), 0);
  EXPECT_EQ(Number(*book, 0, 1), 0);
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"A1")->GetValue(), Variant::Date(1462));  // 1904-01-01
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"B1")->GetValue(), Variant(0.0));
  // The cached date stays the same day through a save and a second read.
  platform::MemoryStream saved;
  ASSERT_EQ(book->SaveToStreamFormat(saved, 2), 1);
  IXLSWorkbook again = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*again, saved.Bytes()), 1);
  for (const IXLSWorkbook& b : {book, again})
    EXPECT_EQ(b->GetWorksheets().GetItem(1)->GetRange(u"A2")->GetValue().NumberValue(), 1000);  // 1902-09-26
}

// A file with a macro project: the VBA storage and the "Ctls" stream are kept and written back
// by a BIFF8 save with OBJPROJ and the code names; a BIFF5 save leaves them out.
TEST(Reader, MacroProjectIsKeptForASaveInItsFormat) {
  auto codeName = [](const std::string& name) {
    Bytes b;
    PutWord(b, static_cast<std::uint32_t>(name.size()));
    b.push_back(0);
    b.insert(b.end(), name.begin(), name.end());
    return b;
  };
  BiffBuilder records;
  records.Bof(5).Record(0x01BA, codeName("ThisWorkbook"));
  Bytes sheet;
  PutDWord(sheet, 0);
  PutWord(sheet, 0);
  PutString8(sheet, "Data", true);
  records.Record(0x0085, sheet).Eof().Bof(0x10).Record(0x01BA, codeName("Tabelle1")).Eof();
  const Bytes dir = {1, 2, 3, 4, 5}, project = {'I', 'D', '=', '1'}, controls = {9, 8, 7};
  platform::CompoundFileWriter file;
  const int root = platform::CompoundFileWriter::kRoot;
  file.StreamData(file.AddStream(root, u"Workbook")) = records.bytes;
  const int vba = file.AddStorage(root, u"_VBA_PROJECT_CUR");
  file.StreamData(file.AddStream(vba, u"PROJECT")) = project;
  file.StreamData(file.AddStream(file.AddStorage(vba, u"VBA"), u"dir")) = dir;
  file.StreamData(file.AddStream(root, u"Ctls")) = controls;
  platform::MemoryStream bytes;
  ASSERT_TRUE(file.Save(bytes));

  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*book, bytes.Bytes()), 1);
  ASSERT_TRUE(book->HasVBA());
  EXPECT_EQ(book->GetCodeName(), u"ThisWorkbook");
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetCodeName(), u"Tabelle1");

  auto streamOf = [](const platform::CompoundFileReader& f, std::initializer_list<const char16_t*> path) {
    int at = platform::CompoundFileReader::kRoot;
    for (const char16_t* name : path) {
      at = f.Find(at, name);
      if (at < 0) return Bytes{0xEE};
    }
    Bytes out;
    f.ReadStream(at, out);
    return out;
  };
  platform::MemoryStream saved;
  ASSERT_EQ(book->SaveToStreamFormat(saved, 2), 1);
  platform::CompoundFileReader written;
  ASSERT_TRUE(written.Open(saved.Bytes()));
  EXPECT_EQ(streamOf(written, {u"_VBA_PROJECT_CUR", u"VBA", u"dir"}), dir);
  EXPECT_EQ(streamOf(written, {u"_VBA_PROJECT_CUR", u"PROJECT"}), project);
  EXPECT_EQ(streamOf(written, {u"Ctls"}), controls);
  const Bytes stream = streamOf(written, {u"Workbook"});
  bool objProj = false;
  for (std::size_t p = 0; p + 4 <= stream.size();) {
    const std::uint16_t id = static_cast<std::uint16_t>(stream[p] | stream[p + 1] << 8);
    objProj = objProj || id == 0x00D3;
    p += 4 + static_cast<std::size_t>(stream[p + 2] | stream[p + 3] << 8);
  }
  EXPECT_TRUE(objProj);
  IXLSWorkbook again = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*again, saved.Bytes()), 1);
  EXPECT_TRUE(again->HasVBA());
  EXPECT_EQ(again->GetCodeName(), u"ThisWorkbook");
  EXPECT_EQ(again->GetWorksheets().GetItem(1)->GetCodeName(), u"Tabelle1");

  platform::MemoryStream biff5;
  ASSERT_EQ(book->SaveToStreamFormat(biff5, 1), 1);
  platform::CompoundFileReader older;
  ASSERT_TRUE(older.Open(biff5.Bytes()));
  EXPECT_LT(older.Find(platform::CompoundFileReader::kRoot, u"_VBA_PROJECT_CUR"), 0);
  EXPECT_LT(older.Find(platform::CompoundFileReader::kRoot, u"Ctls"), 0);
}

// The records of a saved workbook's stream (BIFF8 "Workbook" or BIFF5 "Book").
std::vector<std::pair<std::uint16_t, Bytes>> SavedRecords(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1);
  platform::CompoundFileReader file;
  EXPECT_TRUE(file.Open(saved.Bytes()));
  Bytes stream;
  file.ReadStream(file.Find(platform::CompoundFileReader::kRoot, format == 2 ? u"Workbook" : u"Book"), stream);
  std::vector<std::pair<std::uint16_t, Bytes>> records;
  for (std::size_t p = 0; p + 4 <= stream.size();) {
    const auto id = static_cast<std::uint16_t>(stream[p] | stream[p + 1] << 8);
    const std::size_t n = static_cast<std::size_t>(stream[p + 2] | stream[p + 3] << 8);
    if (id == 0 && n == 0) break;  // the padding
    records.emplace_back(id, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(p + 4),
                                   stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), p + 4 + n))));
    p += 4 + n;
  }
  return records;
}

// A chart sheet read back is a chart sheet holding its records as written; the font that only
// its chart names (a font no cell uses any more) is written and named by its written number; a
// BIFF5 save, which cannot hold the BIFF8 chart, writes the sheet as an empty worksheet.
TEST(Reader, ChartSheetsAndTheFontsTheirChartsName) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* data = book->GetWorksheets().Add();
  data->GetRange(u"A1")->SetFontSize(16);  // font position 4, file number 5
  data->GetRange(u"A1")->SetFontSize(10);  // no cell uses it any more
  auto chart = std::make_unique<TXLSCustomChart>();
  const Bytes bof = {0x00, 0x06, 0x20, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes fontBasis = {0x38, 0x1A, 0x5A, 0x10, 0xC8, 0x00, 0x01, 0x00, 0x05, 0x00};
  chart->AddRecord(0x0809, static_cast<std::uint32_t>(bof.size()), bof.data());
  chart->AddRecord(0x1060, static_cast<std::uint32_t>(fontBasis.size()), fontBasis.data());
  const Bytes fontX = {0x05, 0x00}, runs = {0x02, 0x00, 0, 0, 0x05, 0x00, 3, 0, 0x00, 0x00};
  chart->AddRecord(0x1026, 2, fontX.data());
  chart->AddRecord(0x1050, static_cast<std::uint32_t>(runs.size()), runs.data());
  chart->AddRecord(0x000A, 0, nullptr);
  IXLSWorksheet* chartSheet = book->GetWorksheets().Add();
  chartSheet->SetName(u"Chart");
  chartSheet->SetChart(std::move(chart));

  auto check = [](TXLSWorkbook& b) {
    const auto records = SavedRecords(b, 2);
    std::vector<std::uint16_t> fontHeights, types;
    std::vector<std::pair<std::uint16_t, Bytes>> chartRecords;
    bool inChart = false;
    for (const auto& [id, body] : records) {
      if (id == 0x0031) fontHeights.push_back(static_cast<std::uint16_t>(body[0] | body[1] << 8));
      if (id == 0x0085) types.push_back(body[5]);
      if (id == 0x0809 && body[2] == 0x20) inChart = true;
      if (inChart) chartRecords.emplace_back(id, body);
    }
    EXPECT_EQ(types, (std::vector<std::uint16_t>{0, 2}));
    ASSERT_EQ(fontHeights.size(), 5u);
    EXPECT_EQ(fontHeights[4], 320);  // file number 5
    ASSERT_EQ(chartRecords.size(), 5u);
    EXPECT_EQ(chartRecords[1].second, (Bytes{0x38, 0x1A, 0x5A, 0x10, 0xC8, 0x00, 0x01, 0x00, 0x05, 0x00}));
    EXPECT_EQ(chartRecords[2].second, (Bytes{0x05, 0x00}));
    EXPECT_EQ(chartRecords[3].second, (Bytes{0x02, 0x00, 0, 0, 0x05, 0x00, 3, 0, 0x00, 0x00}));
    EXPECT_EQ(chartRecords[4].first, 0x000A);
  };
  check(*book);
  const auto records = SavedRecords(*book, 2);
  BiffBuilder written;
  for (const auto& [id, body] : records) written.Record(id, body);
  IXLSWorkbook again = TXLSWorkbook::Create();
  ASSERT_EQ(ReadBytes(*again, written.bytes), 1);
  ASSERT_EQ(again->GetWorksheets().GetCount(), 2);
  EXPECT_FALSE(again->GetWorksheets().GetItem(1)->IsChartSheet());
  EXPECT_TRUE(again->GetWorksheets().GetItem(2)->IsChartSheet());
  EXPECT_EQ(again->GetWorksheets().GetItem(2)->GetName(), u"Chart");
  check(*again);

  // The BIFF5 save holds the chart in BIFF5's layouts: its BOF is BIFF5's.
  std::vector<std::uint16_t> types, chartBofs;
  for (const auto& [id, body] : SavedRecords(*again, 1)) {
    if (id == 0x0085) types.push_back(body[5]);
    if (id == 0x0809 && body[2] == 0x20) chartBofs.push_back(static_cast<std::uint16_t>(body[0] | body[1] << 8));
  }
  EXPECT_EQ(types, (std::vector<std::uint16_t>{0, 2}));
  EXPECT_EQ(chartBofs, (std::vector<std::uint16_t>{0x0500}));
}

}  // namespace
}  // namespace xls::test
