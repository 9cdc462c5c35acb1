// What workbooks of other programs hold beyond the records' usual limits (tests/data/xls, made by
// gen_reader_losses.py) is read and saved again, and what the reader cannot keep is listed in
// the workbook's read losses, one line a kind and place.
#include <gtest/gtest.h>

#include "platform/byte_stream.h"
#include "reader_test_support.h"
#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/cell_store.h"
#include "xls/model/range.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::u16string>;

// What the cell store holds, also under a merged area (where the value getter gives nothing).
std::u16string Held(TXLSWorkbook& book, IXLSWorksheet& sheet, std::int32_t row, std::int32_t column) {
  const TXLSCellRef* cell = sheet.Cells().FindCell(row, column);
  if (!cell) return u"(none)";
  if (cell->Kind() == kCellString) return book.StringTable().GetString(cell->StringIndex());
  if (cell->Kind() == kCellNumber) return cell->Value() == 3 ? u"3" : cell->Value() == 5 ? u"5" : u"(number)";
  return u"(blank)";
}

// gnumeric's long formula and long validation message go on in CONTINUE records: the formula is
// read whole, the validation is kept with its message cut to 225 characters (told of). The
// objects of kinds no shape keeps and the names of their macros are told of by kind; a save
// keeps the formula and the rule.
TEST(ReaderLosses, GnumericLongRecordsAndObjectsOfOtherKinds) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(DataFile("gnumeric_losses.xls")), 1);
  EXPECT_EQ(book->GetReadLosses(),
            (Lines{u"Workbook: 4 macro names were left out",
                   u"Sheet \"Losses\": the end of a validation's texts longer than the file format holds was left out",
                   u"Sheet \"Objects\": a line was left out", u"Sheet \"Objects\": 2 rectangles were left out",
                   u"Sheet \"Objects\": a push button was left out", u"Sheet \"Objects\": an option button was left out",
                   u"Sheet \"Objects\": a spin button was left out", u"Sheet \"Objects\": a scroll bar was left out"}));
  std::u16string constant;
  for (int i = 0; i < 1800; ++i) {
    const std::string piece = std::to_string(10000 + i).substr(1) + " ";
    constant += std::u16string(piece.begin(), piece.end());
  }
  auto check = [&constant](TXLSWorkbook& b, const char* what) {
    SCOPED_TRACE(what);
    IXLSWorksheet& sheet = *b.GetWorksheets().GetItem(1);
    const std::u16string formula = sheet.GetRange(u"B2")->GetFormula().TextValue();
    ASSERT_EQ(formula.substr(0, 5), u"=LEN(");
    std::u16string joined;  // the constant, in whatever pieces the writer split it
    for (char16_t c : formula)
      if ((c >= u'0' && c <= u'9') || c == u' ') joined += c;
    EXPECT_EQ(joined, constant);
    EXPECT_EQ(sheet.GetRange(u"B3")->GetValue().NumberValue(), 7);
    const TDataValidator& rules = SheetRules(sheet).Validations();
    ASSERT_EQ(rules.Count(), 1);
    const TDataValidation& v = *rules.Item(0);
    EXPECT_EQ(v.errorTitle, u"Whole number");
    EXPECT_EQ(v.errorText.size(), 225u);
    EXPECT_EQ(v.errorText.substr(0, 12), u"m0000 m0001 ");
    EXPECT_EQ(v.ranges.Ranges(), (std::vector<TCondRange>{TCondRange(0, 3, 3, 3)}));
    ASSERT_NE(v.formula1, nullptr);
    ASSERT_NE(v.formula2, nullptr);
  };
  check(*book, "opened");
  IXLSWorkbook again = SavedAndOpened(*book, 2);
  check(*again, "saved as BIFF8");
  EXPECT_TRUE(again->GetReadLosses().empty());
}

// LibreOffice keeps what the cells under a merged area hold: reading and saving keep it too,
// while a program's merge still empties them. The bold word's formatting run is told of.
TEST(ReaderLosses, LibreOfficeMergedAreaKeepsItsCells) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(DataFile("lo_merged_rich.xls")), 1);
  EXPECT_EQ(book->GetReadLosses(), Lines{u"Workbook: the formatting runs of a rich text was left out"});
  auto check = [](TXLSWorkbook& b, const char* what) {
    SCOPED_TRACE(what);
    IXLSWorksheet& sheet = *b.GetWorksheets().GetItem(1);
    EXPECT_TRUE(sheet.GetRange(u"A1", u"C2")->GetMergeCells());
    EXPECT_EQ(Held(b, sheet, 0, 0), u"top");
    EXPECT_EQ(Held(b, sheet, 0, 1), u"b1");
    EXPECT_EQ(Held(b, sheet, 0, 2), u"3");
    EXPECT_EQ(Held(b, sheet, 1, 0), u"a2");
    EXPECT_EQ(Held(b, sheet, 1, 1), u"5");
    EXPECT_EQ(Held(b, sheet, 1, 2), u"c2");
    EXPECT_EQ(sheet.GetRange(u"A4")->GetValue().TextValue(), u"plain bold");
  };
  check(*book, "opened");
  IXLSWorkbook again = SavedAndOpened(*book, 2);
  check(*again, "saved as BIFF8");
  check(*SavedAndOpened(*book, 1), "saved as BIFF5");
  EXPECT_TRUE(again->GetReadLosses().empty());

  IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
  sheet.GetRange(u"A1", u"C2")->UnMerge();
  sheet.GetRange(u"A1", u"B1")->Merge(false);
  EXPECT_EQ(Held(*book, sheet, 0, 1), u"(blank)");
  EXPECT_EQ(Held(*book, sheet, 0, 2), u"3");
}

// gnumeric's BIFF5 autofilter (its filter database a hidden name "_FilterDatabase") is the
// sheet's autofilter, as a BIFF8 file's built-in name makes it; both saves keep it with its
// criteria, and the name is no name of the user.
TEST(ReaderLosses, Biff5AutofilterOfGnumeric) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(DataFile("gnumeric_biff5_filter.xls")), 1);
  ASSERT_EQ(book->GetCurrentFormat(), 1);
  auto check = [](TXLSWorkbook& b, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(b.GetReadLosses().empty());
    EXPECT_EQ(b.Formulas().Names().FindByName(u"_FilterDatabase"), nullptr);
    const TXLSAutofilter& filter = SheetRules(*b.GetWorksheets().GetItem(1)).Autofilter();
    ASSERT_TRUE(filter.IsActive());
    EXPECT_EQ(filter.HeaderRow(), 1);
    EXPECT_EQ(filter.FirstColumn(), 1);
    EXPECT_EQ(filter.LastColumn(), 2);
    EXPECT_EQ(filter.LastRow(), 5);
    ASSERT_NE(filter.Item(0), nullptr);
    ASSERT_TRUE(filter.Item(0)->condition1);
    EXPECT_EQ(filter.Item(0)->condition1->comparison, 2);
    EXPECT_EQ(filter.Item(0)->condition1->value.TextValue(), u"drive");
    EXPECT_FALSE(filter.Item(1)->HasCriteria());
    // The drop-down arrows BIFF5 does not keep are made, as a BIFF8 file has them.
    TMsoDrawing* drawing = FindDrawing(*b.GetWorksheets().GetItem(1));
    ASSERT_NE(drawing, nullptr);
    EXPECT_EQ(drawing->ShapeCount(), 2u);
  };
  check(*book, "opened");
  check(*SavedAndOpened(*book, 2), "saved as BIFF8");
  check(*SavedAndOpened(*book, 1), "saved as BIFF5");
}

Bytes CellHead(std::uint16_t row, std::uint16_t column, std::uint16_t xf = 15) {
  Bytes b;
  PutWord(b, row);
  PutWord(b, column);
  PutWord(b, xf);
  return b;
}

Bytes Formula(std::uint16_t row, std::uint16_t column, double result, const Bytes& tokens) {
  Bytes b = CellHead(row, column, 21);
  PutDouble(b, result);
  PutWord(b, 0);
  PutDWord(b, 0);
  PutWord(b, static_cast<std::uint32_t>(tokens.size()));
  b.insert(b.end(), tokens.begin(), tokens.end());
  return b;
}

// Formulas that cannot be read keep their last result and format and are counted, a shared
// formula's cell whose anchor formula never came and anchors whose SHRFMLA does not fit or never
// comes among them; a macro sheet, a name of a macro that cannot be read, the formatting runs of
// an RSTRING and a LABEL, a hyperlink and a conditional format that cannot be read and a note
// without its comment box are told of too.
TEST(ReaderLosses, UnreadableRecordsAreCounted) {
  BiffBuilder b;
  b.Bof(0x0005);
  Bytes sheet = {0, 0, 0, 0, 0, 0};
  PutString8(sheet, "Data", true);
  // NAME "Run" of a macro (option 0x08) whose formula is a token no one knows.
  Bytes name = {0x08, 0x00, 0x00, 0x03};
  PutWord(name, 1);
  PutWord(name, 0);
  PutWord(name, 0);
  name.insert(name.end(), {0, 0, 0, 0, 0});
  name.insert(name.end(), {'R', 'u', 'n', 0xFF});
  Bytes macros = {0, 0, 0, 0, 0, 1};  // a macro sheet, whose substream comes after Data's
  PutString8(macros, "Macro1", true);
  b.Record(0x0085, sheet).Record(0x0085, macros).Record(0x0018, name).Eof().Bof(0x0010);
  b.Record(0x0006, Formula(0, 0, 42.5, {0xFF, 0x00}));  // A1: a token no one knows
  b.Record(0x0006, Formula(1, 0, 8, {0x01, 0x00, 0x00, 0x01, 0x00}));  // A2: anchor B1, no SHRFMLA follows
  b.Record(0x0006, Formula(2, 0, 9, {0x1E, 0x09, 0x00}));  // A3: =9
  Bytes rstring = CellHead(3, 0);
  PutString8(rstring, "rich");
  rstring.insert(rstring.end(), {1, 0, 0, 0, 1, 0});
  // B4 a LABEL with one formatting run (option bit 3, the run count after the option byte).
  Bytes label = CellHead(3, 1);
  label.insert(label.end(), {2, 0, 0x08, 1, 0, 'o', 'k', 0, 0, 0, 0});
  b.Record(0x00D6, rstring).Record(0x0204, label);
  // A5 and A6 anchor shared formulas: A5's SHRFMLA covers other cells, A6's never comes.
  b.Record(0x0006, Formula(4, 0, 11, {0x01, 0x04, 0x00, 0x00, 0x00}));
  b.Record(0x04BC, {9, 0, 9, 0, 1, 1, 0, 0, 3, 0, 0x1E, 0x01, 0x00});
  b.Record(0x0006, Formula(5, 0, 12, {0x01, 0x05, 0x00, 0x00, 0x00}));
  // A hyperlink whose moniker no one knows, and a conditional format continued in a CONTINUE.
  Bytes link(28, 0);
  PutDWord(link, 0x03);
  link.insert(link.end(), 16, 0xEE);
  // A note on C1 whose comment box (object 99) is not there.
  Bytes note = {0, 0, 2, 0, 0, 0, 99, 0};
  PutString8(note, "Ann");
  b.Record(0x01B8, link).Record(0x01B0, Bytes(26, 0)).Record(0x003C, {0, 0}).Record(0x001C, note).Eof();
  platform::MemoryStream stream(b.bytes);
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->OpenStream(stream), 1);
  EXPECT_EQ(book->GetReadLosses(),
            (Lines{u"Workbook: a macro name was left out", u"Workbook: a macro sheet was left out",
                   u"Sheet \"Data\": 4 formulas that could not be read (their cells keep the last results) were left out",
                   u"Sheet \"Data\": the formatting runs of 2 rich texts were left out",
                   u"Sheet \"Data\": a hyperlink that could not be read was left out",
                   u"Sheet \"Data\": a conditional format that could not be read was left out",
                   u"Sheet \"Data\": a note without its comment box was left out"}));
  IXLSWorksheet& data = *book->GetWorksheets().GetItem(1);
  EXPECT_FALSE(data.GetRange(u"A1")->GetHasFormula());
  EXPECT_EQ(data.GetRange(u"A1")->GetValue().NumberValue(), 42.5);
  EXPECT_EQ(data.GetCellXF(0, 0), 21);
  EXPECT_EQ(data.GetRange(u"A2")->GetValue().NumberValue(), 8);
  EXPECT_TRUE(data.GetRange(u"A3")->GetHasFormula());
  EXPECT_EQ(data.GetRange(u"A4")->GetValue().TextValue(), u"rich");
  EXPECT_EQ(data.GetRange(u"B4")->GetValue().TextValue(), u"ok");
  EXPECT_EQ(data.GetRange(u"A5")->GetValue().NumberValue(), 11);
  EXPECT_EQ(data.GetRange(u"A6")->GetValue().NumberValue(), 12);
}

}  // namespace
}  // namespace xls::test
