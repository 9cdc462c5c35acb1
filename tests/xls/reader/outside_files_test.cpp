// Workbooks that gnumeric and LibreOffice wrote (tests/data/xls): comments, protection and
// embedded charts are read as the file holds them and kept through a save; what cannot be read
// is left out, the rest of the sheet is read and the workbook says what was lost.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "reader_test_support.h"
#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/names.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/cell_store.h"
#include "xls/model/codepage.h"
#include "xls/model/hyperlinks.h"
#include "xls/model/range.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::u16string>;

std::u16string Data(const std::string& name) {
  const std::string path = std::string(KV_TEST_DATA) + "/xls/" + name;
  return std::u16string(path.begin(), path.end());
}

IXLSWorkbook SavedAndOpened(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1);
  platform::MemoryStream stream(saved.Bytes());
  IXLSWorkbook again = TXLSWorkbook::Create();
  EXPECT_EQ(again->OpenStream(stream), 1);
  return again;
}

std::u16string CommentText(IXLSWorksheet& sheet, const std::u16string& cell) {
  TXLSComment* comment = sheet.GetRange(cell)->GetComment();
  return comment ? comment->GetText() : u"(none)";
}

std::vector<const TXLSCustomChart*> Charts(IXLSWorksheet& sheet) {
  std::vector<const TXLSCustomChart*> charts;
  TMsoDrawing* drawing = FindDrawing(sheet);
  for (std::size_t i = 0; drawing && i < drawing->ShapeCount(); ++i)
    if (drawing->Shape(i)->Kind() == TMsoShapeKind::kChart)
      charts.push_back(static_cast<TMSOShapeChart*>(drawing->Shape(i))->Chart());
  return charts;
}

// gnumeric's BIFF5 file: two comments (not four), each the size of a new comment box, the first
// sheet protected without a password (PROTECT 1, then PASSWORD 0), and on the second sheet a
// note of 2103 characters in two NOTE records; so again after a BIFF8 and a BIFF5 save.
TEST(OutsideFiles, GnumericBiff5CommentsAndProtectionWithoutPassword) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Data("gnumeric_biff5_notes.xls")), 1);
  EXPECT_EQ(book->GetCurrentFormat(), 1);
  auto check = [](TXLSWorkbook& b, const char* what) {
    SCOPED_TRACE(what);
    IXLSWorksheet& notes = *b.GetWorksheets().GetItem(1);
    EXPECT_TRUE(notes.Protection().GetProtected());
    EXPECT_FALSE(notes.Protection().HasPassword());
    EXPECT_FALSE(b.GetWorksheets().GetItem(2)->Protection().GetProtected());
    TMsoDrawing* drawing = FindDrawing(notes);
    ASSERT_NE(drawing, nullptr);
    EXPECT_EQ(drawing->Comments().Count(), 2u);
    EXPECT_EQ(drawing->ShapeCount(), 2u);
    EXPECT_EQ(CommentText(notes, u"B2"), u"first note");
    EXPECT_EQ(CommentText(notes, u"D5"), u"second note");
    for (std::size_t i = 1; i <= drawing->Comments().Count(); ++i) {
      const TMSOShapeTextBox* box = drawing->Comments().Item(i)->Shape();
      // A box measured back from a written anchor (whole rows and columns and their parts in
      // 1/1024 and 1/256) comes within a few points of its size; an empty anchor measured 0.
      EXPECT_NEAR(box->width, 96.0, 4.0);
      EXPECT_NEAR(box->height, 55.5, 4.0);
    }
    std::u16string longNote;
    for (int i = 0; i < 210; ++i) longNote += u"0123456789";
    EXPECT_EQ(CommentText(*b.GetWorksheets().GetItem(2), u"B3"), longNote + u"end");
    EXPECT_TRUE(b.GetReadLosses().empty());
  };
  check(*book, "opened");
  check(*SavedAndOpened(*book, 2), "saved as BIFF8");
  check(*SavedAndOpened(*book, 1), "saved as BIFF5");
}

// LibreOffice encrypts the BOF of an embedded chart: the chart is read with its records, the
// settings after it (the comment's NOTE) and the next sheet are read, and a save keeps the chart.
// The same file whose chart BOF stays encrypted in a plain stream (msoffcrypto-tool's twin):
// the chart cannot be read; it is left out with its chart object, the workbook says so, and the
// rest of the sheet is read.
TEST(OutsideFiles, EmbeddedChartOfAnEncryptedLibreOfficeFile) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorkbook twin = TXLSWorkbook::Create();
  ASSERT_EQ(book->OpenWithPassword(Data("lo_chart_encrypted.xls"), u"kestravel"), 1);
  ASSERT_EQ(twin->Open(Data("lo_chart_bad_bof.xls")), 1);
  auto check = [](TXLSWorkbook& b, bool chart, const char* what) {
    SCOPED_TRACE(what);
    IXLSWorksheet& sheet = *b.GetWorksheets().GetItem(1);
    const auto charts = Charts(sheet);
    ASSERT_EQ(charts.size(), chart ? 1u : 0u);
    if (chart) {
      ASSERT_NE(charts[0], nullptr);
      const auto& items = charts[0]->Items();
      ASSERT_GE(items.front().length, 4u);
      EXPECT_EQ(Bytes(charts[0]->Data(items.front()), charts[0]->Data(items.front()) + 4), (Bytes{0x00, 0x06, 0x20, 0x00}));
      EXPECT_EQ(items.back().id, 0x000A);
      EXPECT_EQ(std::count_if(items.begin(), items.end(), [](const auto& i) { return i.id == kRecChartSeriesLink; }), 4);
    }
    EXPECT_EQ(CommentText(sheet, u"A8"), u"after the chart");
    EXPECT_TRUE(sheet.Protection().GetProtected());
    EXPECT_TRUE(sheet.GetRange(u"D10")->GetMergeCells());
    EXPECT_EQ(b.GetWorksheets().GetItem(2)->GetRange(u"A1")->GetValue().TextValue(), u"next sheet");
  };
  EXPECT_TRUE(book->GetReadLosses().empty());
  check(*book, true, "opened");
  check(*SavedAndOpened(*book, 2), true, "saved");
  EXPECT_EQ(twin->GetReadLosses(),
            std::vector<std::u16string>{u"Sheet \"Sheet1\": an embedded object that could not be read was left out"});
  check(*twin, false, "twin");
  check(*SavedAndOpened(*twin, 2), false, "twin saved");
}

// Chart records that no chart object takes, substreams that cannot be read (a hundred are
// listed, then one line for the rest), and a chart object whose records never come (LibreOffice's
// records without the chart substream): each is left out and told of; what follows is read.
TEST(OutsideFiles, ChartsWithoutTheirOtherHalfAreReported) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  auto read = [&book](const BiffBuilder& b) {
    platform::MemoryStream stream(b.bytes);
    EXPECT_EQ(book->OpenStream(stream), 1);
    EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"A2")->GetValue().NumberValue(), 7.5);
    return book->GetReadLosses();
  };
  Bytes boundSheet = {0, 0, 0, 0, 0, 0}, number = {1, 0, 0, 0, 15, 0};
  PutString8(boundSheet, "Data", true);
  PutDouble(number, 7.5);
  BiffBuilder one, many;
  one.Bof(0x0005).Record(0x0085, boundSheet).Eof().Bof(0x0010).Bof(0x0020).Record(0x1001, {0, 0}).Eof();
  EXPECT_EQ(read(one.Record(0x0203, number).Eof()),
            std::vector<std::u16string>{u"Sheet \"Data\": an embedded chart without its chart object was left out"});
  many.Bof(0x0005).Record(0x0085, boundSheet).Eof().Bof(0x0010);
  for (int i = 0; i < 150; ++i) many.Record(0x0809, {0xFF, 0xFF, 0xFF, 0xFF}).Record(0x1001, {0, 0}).Eof();
  const auto losses = read(many.Record(0x0203, number).Eof());
  ASSERT_EQ(losses.size(), 101u);
  EXPECT_EQ(losses[99], u"Sheet \"Data\": an embedded object that could not be read was left out");
  EXPECT_EQ(losses[100], u"More was left out than is listed");

  platform::CompoundFileReader file;
  ASSERT_TRUE(file.OpenFile(std::string(KV_TEST_DATA) + "/xls/lo_chart_bad_bof.xls"));
  Bytes w;
  ASSERT_TRUE(file.ReadStream(file.Find(platform::CompoundFileReader::kRoot, u"Workbook"), w));
  BiffBuilder without;
  int bofs = 0;
  for (std::size_t p = 0, end = 0; p + 4 <= w.size(); p = end) {
    const std::uint16_t id = static_cast<std::uint16_t>(w[p] | w[p + 1] << 8);
    end = std::min(w.size(), p + 4 + static_cast<std::size_t>(w[p + 2] | w[p + 3] << 8));
    if (id == 0x0809) ++bofs;  // the globals, Sheet1, the chart, Second
    if (bofs != 3) without.Record(id, Bytes(w.begin() + static_cast<std::ptrdiff_t>(p + 4), w.begin() + static_cast<std::ptrdiff_t>(end)));
    if (id == 0x000A && bofs == 3) bofs = 4;
  }
  platform::MemoryStream stripped(without.bytes);
  ASSERT_EQ(book->OpenStream(stripped), 1);
  EXPECT_EQ(book->GetReadLosses(),
            std::vector<std::u16string>{u"Sheet \"Sheet1\": a chart object without its chart records was left out"});
  EXPECT_TRUE(Charts(*book->GetWorksheets().GetItem(1)).empty());
  EXPECT_EQ(CommentText(*book->GetWorksheets().GetItem(1), u"A8"), u"after the chart");
}

// gnumeric's long formula and validation message go on in CONTINUE records: the formula is read
// whole, the rule kept with its message cut to 225; objects of other kinds are told of by kind,
// while their macros' names (names without a formula) are kept.
TEST(ReaderLosses, GnumericLongRecordsAndObjectsOfOtherKinds) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Data("gnumeric_losses.xls")), 1);
  const std::u16string objects = u"Sheet \"Objects\": ";
  EXPECT_EQ(book->GetReadLosses(),
            (Lines{u"Sheet \"Losses\": the end of a validation's texts longer than the file format holds was left out",
                   objects + u"a line was left out", objects + u"2 rectangles were left out",
                   objects + u"a push button was left out", objects + u"an option button was left out",
                   objects + u"a spin button was left out", objects + u"a scroll bar was left out"}));
  std::u16string constant;  // "0000 0001 ... 1799 "
  for (int i = 10000; i < 11800; ++i) {
    const std::string piece = std::to_string(i).substr(1) + " ";
    constant.append(piece.begin(), piece.end());
  }
  IXLSWorkbook again = SavedAndOpened(*book, 2);
  EXPECT_TRUE(again->GetReadLosses().empty());
  for (IXLSWorkbook* b : {&book, &again}) {
    IXLSWorksheet& sheet = *(*b)->GetWorksheets().GetItem(1);
    std::u16string digits;  // the constant, in whatever pieces the writer split it
    const Variant formula = sheet.GetRange(u"B2")->GetFormula();
    for (char16_t c : formula.TextValue())
      if (c == u' ' || (c >= u'0' && c <= u'9')) digits += c;
    EXPECT_EQ(digits, constant);
    const TDataValidator& rules = SheetRules(sheet).Validations();
    ASSERT_EQ(rules.Count(), 1);
    EXPECT_EQ(rules.Item(0)->errorText.size(), 225u);
    EXPECT_EQ(rules.Item(0)->errorText.substr(0, 12), u"m0000 m0001 ");
  }
}

// The cells under LibreOffice's merged area keep what they hold through reads and saves, while a
// program's merge still empties them; the bold word's formatting run is told of.
TEST(ReaderLosses, LibreOfficeMergedAreaKeepsItsCells) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Data("lo_merged_rich.xls")), 1);
  EXPECT_EQ(book->GetReadLosses(), Lines{u"Workbook: the formatting runs of a rich text was left out"});
  auto held = [](TXLSWorkbook& b) {  // A1:C2 as the cell store holds it (the value getter gives nothing)
    IXLSWorksheet& sheet = *b.GetWorksheets().GetItem(1);
    std::u16string out = sheet.GetRange(u"A1", u"C2")->GetMergeCells() ? u"merged" : u"";
    for (int k = 0; k < 6; ++k) {
      const TXLSCellRef* cell = sheet.Cells().FindCell(k / 3, k % 3);
      out += u" ";
      if (cell && cell->Kind() == kCellString) out += b.StringTable().GetString(cell->StringIndex());
      if (cell && cell->Kind() == kCellNumber) out += Variant(cell->Value()).ToText();
    }
    return out;
  };
  const std::u16string all = u"merged top b1 3 a2 5 c2";
  EXPECT_EQ(held(*book), all);
  IXLSWorkbook again = SavedAndOpened(*book, 2);
  EXPECT_EQ(held(*again), all);
  EXPECT_TRUE(again->GetReadLosses().empty());
  EXPECT_EQ(held(*SavedAndOpened(*book, 1)), all);
  IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
  sheet.GetRange(u"A1", u"C2")->UnMerge();
  sheet.GetRange(u"A1", u"B1")->Merge(false);
  EXPECT_EQ(held(*book), u" top  3 a2 5 c2");
}

// gnumeric's BIFF5 filter database (the hidden name "_FilterDatabase") is the sheet's
// autofilter, with the drop-downs BIFF5 does not keep; both saves keep it with its criterion.
TEST(ReaderLosses, Biff5AutofilterOfGnumeric) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Data("gnumeric_biff5_filter.xls")), 1);
  for (const IXLSWorkbook& b : {book, SavedAndOpened(*book, 2), SavedAndOpened(*book, 1)}) {
    EXPECT_TRUE(b->GetReadLosses().empty());
    EXPECT_EQ(b->Formulas().Names().FindByName(u"_FilterDatabase"), nullptr);
    const TXLSAutofilter& filter = SheetRules(*b->GetWorksheets().GetItem(1)).Autofilter();
    ASSERT_TRUE(filter.IsActive() && filter.Item(0) && filter.Item(0)->condition1);
    EXPECT_EQ(std::vector<int>({filter.HeaderRow(), filter.FirstColumn(), filter.LastColumn(), filter.LastRow()}),
              std::vector<int>({1, 1, 2, 5}));
    EXPECT_EQ(filter.Item(0)->condition1->value.TextValue(), u"drive");
    TMsoDrawing* drawing = FindDrawing(*b->GetWorksheets().GetItem(1));
    EXPECT_EQ(drawing ? drawing->ShapeCount() : 0u, 2u);
  }
}

Bytes Cell(std::uint8_t row, std::uint8_t column, Bytes rest) {
  rest.insert(rest.begin(), {row, 0, column, 0, 15, 0});
  return rest;
}

Bytes Formula(std::uint8_t row, double result, const Bytes& tokens) {
  Bytes b;
  PutDouble(b, result);
  b.insert(b.end(), {0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(tokens.size()), 0});
  b.insert(b.end(), tokens.begin(), tokens.end());
  return Cell(row, 0, b);
}

// Formulas that cannot be read (an unknown token; a shared formula's cell whose anchor has none;
// anchors whose SHRFMLA does not fit or never comes) keep their results and are counted, as are
// names that cannot be read, sheets of macros and modules, formatting runs, an unreadable
// hyperlink, validations that cannot be read, a conditional format in CONTINUE records and a
// note without its comment box. A newer function called through a function name without a
// formula (Excel's _xlfn.IFERROR) reads with its own name and keeps it through a BIFF8 save;
// BIFF5 keeps its text.
TEST(ReaderLosses, UnreadableRecordsAreCounted) {
  BiffBuilder b;
  b.Bof(0x0005);
  for (std::uint8_t type : {0, 1, 6}) {  // Data; a macro sheet and a module, whose substreams are not there
    Bytes sheet = {0, 0, 0, 0, 0, type};
    PutString8(sheet, type ? "M" + std::to_string(type) : "Data", true);
    b.Record(0x0085, sheet);
  }
  b.Record(0x0018, {0x0B, 0, 0, 13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '_', 'x', 'l', 'f', 'n', '.', 'I', 'F', 'E', 'R', 'R', 'O', 'R'});
  for (std::uint8_t option : {0x08, 0x00}) {  // the names of a macro and of a range, with unknown tokens
    Bytes name = {option, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>('R' + option), 0xFF};
    b.Record(0x0018, name);
  }
  b.Eof().Bof(0x0010);
  b.Record(0x0006, Formula(0, 42.5, {0xFF, 0x00}));
  b.Record(0x0006, Formula(1, 8, {0x01, 0x00, 0x00, 0x01, 0x00}));  // anchor B1
  b.Record(0x0006, Formula(2, 9, {0x1E, 0x09, 0x00}));              // =9
  // ptgName 1, 1/0, 2, ptgFuncVar of 3 arguments and function 255.
  b.Record(0x0006, Formula(6, 2, {0x23, 1, 0, 0, 0, 0x1E, 1, 0, 0x1E, 0, 0, 0x06, 0x1E, 2, 0, 0x42, 3, 0xFF, 0}));
  b.Record(0x00D6, Cell(3, 0, {4, 0, 0, 'r', 'i', 'c', 'h', 1, 0, 0, 0, 1, 0}));
  b.Record(0x0204, Cell(3, 1, {2, 0, 0x08, 1, 0, 'o', 'k', 0, 0, 0, 0}));  // a LABEL with one run
  b.Record(0x0006, Formula(4, 11, {0x01, 0x04, 0x00, 0x00, 0x00}));
  b.Record(0x04BC, {9, 0, 9, 0, 1, 1, 0, 0, 3, 0, 0x1E, 0x01, 0x00});
  b.Record(0x0006, Formula(5, 12, {0x01, 0x05, 0x00, 0x00, 0x00}));
  Bytes link(28, 0);  // a moniker no one knows
  PutDWord(link, 0x03);
  link.insert(link.end(), 16, 0xEE);
  b.Record(0x01BE, {0, 0}).Record(0x01BE, {0, 0});  // two DVs too short for their rule
  b.Record(0x01B8, link).Record(0x01B0, Bytes(26, 0)).Record(0x003C, {0, 0});
  b.Record(0x001C, {0, 0, 2, 0, 0, 0, 99, 0, 1, 0, 0, 'A'}).Eof();  // C1's note, object 99 not there
  platform::MemoryStream stream(b.bytes);
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->OpenStream(stream), 1);
  const std::u16string data = u"Sheet \"Data\": ";
  EXPECT_EQ(book->GetReadLosses(),
            (Lines{u"Workbook: a macro name was left out", u"Workbook: a defined name that could not be read was left out",
                   u"Workbook: a macro sheet was left out", u"Workbook: a module sheet was left out",
                   data + u"4 formulas that could not be read (their cells keep the last results) were left out",
                   data + u"2 validations that could not be read were left out",
                   data + u"the formatting runs of 2 rich texts were left out",
                   data + u"a hyperlink that could not be read was left out",
                   data + u"a conditional format that could not be read was left out",
                   data + u"a note without its comment box was left out"}));
  IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
  std::u16string values;
  for (const char16_t* cell : {u"A1", u"A2", u"A3", u"A4", u"B4", u"A5", u"A6"})
    values += sheet.GetRange(cell)->GetValue().ToText() + (sheet.GetRange(cell)->GetHasFormula() ? u"= " : u" ");
  EXPECT_EQ(values, u"42.5 8 9= rich ok 11 12 ");
  for (const IXLSWorkbook& at : {book, SavedAndOpened(*book, 2)}) {
    IXLSRange a7 = at->GetWorksheets().GetItem(1)->GetRange(u"A7");
    EXPECT_EQ(a7->GetFormula().TextValue() + u" " + a7->GetValue().ToText(), u"=IFERROR(1/0;2) 2");  // cached
  }
  IXLSWorkbook biff5 = SavedAndOpened(*book, 1);
  IXLSRange a7 = biff5->GetWorksheets().GetItem(1)->GetRange(u"A7");
  EXPECT_EQ(a7->GetValue().TextValue() + (a7->GetHasFormula() ? u"(formula)" : u""), u"=IFERROR(1/0;2)");
}

// A hyperlink whose HLINK goes on in a CONTINUE record is read whole: its address and cells.
TEST(ReaderLosses, HyperlinkGoingOnInAContinueRecord) {
  IXLSWorkbook made = TXLSWorkbook::Create();
  IXLSWorksheet& first = *made->GetWorksheets().Add();
  const std::u16string url = u"http://example.com/drives/" + std::u16string(200, u'x');
  first.Hyperlinks().Add(first.GetRange(u"B2", u"C3"), url, u"", u"", u"");
  const auto record = first.Hyperlinks().GetItem(1)->BuildHLINK();
  const Bytes body(record->GetData() + 4, record->GetData() + record->GetSize());
  const auto half = body.begin() + static_cast<std::ptrdiff_t>(body.size() / 2);  // inside the address
  Bytes boundSheet = {0, 0, 0, 0, 0, 0};
  PutString8(boundSheet, "Data", true);
  BiffBuilder b;
  b.Bof(0x0005).Record(0x0085, boundSheet).Eof().Bof(0x0010);
  b.Record(0x01B8, Bytes(body.begin(), half)).Record(0x003C, Bytes(half, body.end())).Eof();
  platform::MemoryStream stream(b.bytes);
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->OpenStream(stream), 1);
  EXPECT_TRUE(book->GetReadLosses().empty());
  IXLSHyperLinks links = book->GetWorksheets().GetItem(1)->GetHyperlinks();
  ASSERT_EQ(links->GetCount(), 1);
  EXPECT_EQ(links->GetItem(1)->GetAddress(), url);
  const IXLSRange cells = links->GetItem(1)->GetRange();
  EXPECT_EQ(std::vector<int>({cells->GetFirstRow(), cells->GetFirstCol(), cells->GetLastRow(), cells->GetLastCol()}),
            std::vector<int>({1, 1, 2, 2}));  // B2:C3, counted from 0
}

// The format's own program's sheets (gen_excel_views.py): printer fields marked not valid show
// the defaults (portrait, 100 %, paper 256) and stay marked through saves until a program sets
// them; the window's flags, the reference mode and the default row height in twips stay; built-in
// names that no page setup or filter holds (of another workbook or sheet, a union, title cells,
// Database, an advanced filter's list) are kept as names, the rest go to the page setups and the
// filter, which keeps its header row alone.
TEST(OutsideFiles, PrintSetupViewsAndBuiltInNamesOfTheFormatsOwnProgram) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Data("excel_views.xls")), 1);
  EXPECT_TRUE(book->GetReadLosses().empty());
  auto builtIns = [](TXLSWorkbook& b) {
    std::string out;
    for (IXLSWorksheet* sheet : {static_cast<IXLSWorksheet*>(nullptr), b.GetWorksheets().GetItem(1),
                                 b.GetWorksheets().GetItem(2), b.GetWorksheets().GetItem(3)}) {
      TXLSCustomNames* list = sheet ? b.Formulas().Names().Child(sheet->GetSheetId()) : &b.Formulas().Names();
      for (std::int32_t i = 1; list && i <= list->Count(); ++i) {
        const TXLSCustomName& n = *list->GetByPosition(i);
        out += WideToUtf8((sheet ? sheet->GetName() : u"-") + u" " + n.Name() + u" " + list->FormulaText(&n)) + " " +
               std::to_string(n.BuiltInCode()) + "\n";
      }
    }
    return out;
  };
  const std::string database = "Stale Database ='[other.xls]Sheet1'!$A$1:$B$10 4\n",
                    others = "Stale Print_Area ='Wide'!$A$1:$B$2 6\nStale Print_Titles ='Stale'!$A$1:$B$2 7\n",
                    areas = "Printed Print_Area ='Printed'!$A$1:$B$2,'Printed'!$D$4:$E$5,'Printed'!$G$7:$G$7,"
                              "'Printed'!$A$10:$C$12 6\n",
                    titles = "Wide Print_Titles ='Wide'!$A$1 7\nWide _FilterDatabase ='Wide'!$A$3:$B$5 13\n";
  auto check = [&](TXLSWorkbook& b, const char* what) {
    SCOPED_TRACE(what);
    IXLSWorksheet& stale = *b.GetWorksheets().GetItem(1);
    IXLSWorksheet& printed = *b.GetWorksheets().GetItem(2);
    IXLSWorksheet& wide = *b.GetWorksheets().GetItem(3);
    auto page = [](IXLSWorksheet& sheet) {
      const TXLSPageSetup& p = *sheet.GetPageSetup();
      return std::to_string(p.GetOrientation()) + " " + std::to_string(p.GetZoom().IntegerValue()) + " " +
             std::to_string(p.GetPaperSize()) + " " + (p.SetupAsRead().printerFieldsValid ? "valid" : "stale");
    };
    EXPECT_EQ(page(stale), "1 100 256 stale");
    EXPECT_EQ(page(printed), "2 80 9 valid");
    EXPECT_EQ(page(wide), "1 100 256 stale");
    EXPECT_EQ(stale.GetPageSetup()->GetFitToPagesWide().IntegerValue(), 1);
    EXPECT_TRUE(stale.GetDisplayFormulas() && !stale.GetDisplayHeadings() && !stale.GetDisplayOutline());
    EXPECT_TRUE(!printed.GetDisplayFormulas() && printed.GetDisplayHeadings() && printed.GetDisplayOutline());
    EXPECT_EQ(b.GetRefModeA1(), 0);
    EXPECT_EQ(stale.RowInfo().DefaultRow().height, 264);
    EXPECT_EQ(printed.RowInfo().DefaultRow().height, 288);
    EXPECT_EQ(wide.RowInfo().DefaultRow().height, 317);
    EXPECT_EQ(printed.GetPageSetup()->GetPrintArea(), u"");
    EXPECT_EQ(printed.GetPageSetup()->GetPrintTitleRows(), u"$1:$1");
    EXPECT_EQ(wide.GetPageSetup()->GetPrintArea(), u"A1:BP6");
    std::int32_t r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    ASSERT_TRUE(SheetFilterDatabase(printed, r1, c1, r2, c2));
    EXPECT_EQ(std::vector<int>({r1, c1, r2, c2}), std::vector<int>({0, 0, 0, 3}));
    EXPECT_FALSE(SheetFilterDatabase(wide, r1, c1, r2, c2));  // an advanced filter's list
    EXPECT_EQ(builtIns(b), "- Print_Area ='[other.xls]Sheet1'!$A$1:$C$3 6\n" + database + others + areas + titles);
  };
  check(*book, "opened");
  check(*SavedAndOpened(*book, 2), "saved as BIFF8");
  // A program's settings: the printer fields it sets become valid; a print area set on the
  // sheet takes the place of the union kept from the file.
  IXLSWorksheet& stale = *book->GetWorksheets().GetItem(1);
  stale.GetPageSetup()->SetOrientation(2);
  book->GetWorksheets().GetItem(2)->GetPageSetup()->SetPrintArea(0, 0, 4, 4);
  // A built-in name renamed is the user's own.
  TXLSCustomNames& staleNames = *book->Formulas().Names().Child(stale.GetSheetId());
  ASSERT_EQ(staleNames.Rename(staleNames.FindByName(u"Database"), u"Sources"), 1);
  IXLSWorkbook edited = SavedAndOpened(*book, 2);
  const TXLSPageSetup& page = *edited->GetWorksheets().GetItem(1)->GetPageSetup();
  EXPECT_TRUE(page.SetupAsRead().printerFieldsValid);
  EXPECT_EQ(page.GetOrientation(), 2);
  EXPECT_EQ(page.GetZoom().IntegerValue(), 100);
  EXPECT_EQ(edited->GetWorksheets().GetItem(2)->GetPageSetup()->GetPrintArea(), u"A1:E5");
  EXPECT_EQ(builtIns(*edited), "- Print_Area ='[other.xls]Sheet1'!$A$1:$C$3 6\n"
                               "Stale Sources ='[other.xls]Sheet1'!$A$1:$B$10 -1\n" + others + titles);
}

}  // namespace
}  // namespace xls::test
