// FORMULA, SHRFMLA and ARRAY records read into formula cells: shared formulas become formulas of
// their own cells (references that follow inserted rows), array formulas keep their anchor,
// and both survive our own save and a second read.
#include <gtest/gtest.h>

#include "platform/byte_stream.h"
#include "reader_test_support.h"
#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/formula.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes CellHead(std::uint16_t row, std::uint16_t column) {
  Bytes b;
  PutWord(b, row);
  PutWord(b, column);
  PutWord(b, 15);
  return b;
}

Bytes Formula(std::uint16_t row, std::uint16_t column, const Bytes& tokens, double cached = 0) {
  Bytes b = CellHead(row, column);
  PutDouble(b, cached);
  PutWord(b, 0);
  PutDWord(b, 0);
  PutWord(b, static_cast<std::uint32_t>(tokens.size()));
  b.insert(b.end(), tokens.begin(), tokens.end());
  return b;
}

Bytes Exp(std::uint16_t row, std::uint16_t column) { return {0x01, static_cast<std::uint8_t>(row), 0, static_cast<std::uint8_t>(column), 0}; }

Bytes Book() {
  BiffBuilder b;
  b.Bof(0x0005);
  Bytes sheet;
  PutDWord(sheet, 0);
  PutWord(sheet, 0);
  PutString8(sheet, "Data", true);
  b.Record(0x0085, sheet).Eof().Bof(0x0010);
  for (std::uint16_t r = 0; r < 4; ++r) {
    Bytes n = CellHead(r, 0);
    PutDouble(n, r + 1.0);
    b.Record(0x0203, n);
  }
  // B1:B3 share A(row+1)*10: a ptgRefN one row down and one column left, ptgInt 10, ptgMul.
  const Bytes shared = {0x2C, 0x01, 0x00, 0xFF, 0xC0, 0x1E, 0x0A, 0x00, 0x05};
  b.Record(0x0006, Formula(0, 1, Exp(0, 1), 20));
  Bytes shrfmla;
  PutWord(shrfmla, 0);
  PutWord(shrfmla, 2);
  shrfmla.insert(shrfmla.end(), {1, 1, 0, 3});
  PutWord(shrfmla, static_cast<std::uint32_t>(shared.size()));
  shrfmla.insert(shrfmla.end(), shared.begin(), shared.end());
  b.Record(0x04BC, shrfmla);
  b.Record(0x0006, Formula(1, 1, Exp(0, 1), 30));
  b.Record(0x0006, Formula(2, 1, Exp(0, 1), 40));
  // C1:C2 hold the array formula {=A1:A2*2}.
  const Bytes array = {0x65, 0x00, 0x00, 0x01, 0x00, 0x00, 0xC0, 0x00, 0xC0, 0x1E, 0x02, 0x00, 0x05};
  b.Record(0x0006, Formula(0, 2, Exp(0, 2)));
  Bytes arr;
  PutWord(arr, 0);
  PutWord(arr, 1);
  arr.insert(arr.end(), {2, 2});
  PutWord(arr, 0);
  PutDWord(arr, 0);
  PutWord(arr, static_cast<std::uint32_t>(array.size()));
  arr.insert(arr.end(), array.begin(), array.end());
  b.Record(0x0221, arr);
  b.Record(0x0006, Formula(1, 2, Exp(0, 2)));
  // D1 = 1+2 in plain tokens; D2 refers to a cell that has no array formula (nothing stored).
  b.Record(0x0006, Formula(0, 3, {0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x03}, 3));
  b.Record(0x0006, Formula(1, 3, Exp(0, 0)));
  b.Eof();
  return b.bytes;
}

std::u16string FormulaText(IXLSWorksheet& s, const char16_t* cell) { return s.GetRange(cell)->GetFormula().TextValue(); }

void ExpectFormulas(TXLSWorkbook& book, const char* when) {
  IXLSWorksheet& s = *book.GetWorksheets().GetItem(1);
  SCOPED_TRACE(when);
  EXPECT_EQ(FormulaText(s, u"B1"), u"=A2*10");
  EXPECT_EQ(FormulaText(s, u"B3"), u"=A4*10");
  EXPECT_EQ(s.GetRange(u"B2")->GetValue().NumberValue(), 30);
  EXPECT_EQ(FormulaText(s, u"C1"), u"{=A1:A2*2}");
  EXPECT_EQ(FormulaText(s, u"C2"), u"{=A1:A2*2}");
  auto* member = dynamic_cast<TXLSCompiledFormula*>(s.GetCellFormula(1, 2));
  ASSERT_NE(member, nullptr);
  EXPECT_TRUE(member->IsArrayMember());
  EXPECT_EQ(FormulaText(s, u"D1"), u"=1+2");
  EXPECT_EQ(s.GetRange(u"D1")->GetValue().NumberValue(), 3);
  EXPECT_EQ(s.GetCellFormula(1, 3), nullptr);
}

// The cells of a shared formula are copies of the anchor's packed tree moved in its bytes, and
// the tokens of the others are decoded straight into their packed form: a read builds no tree.
TEST(FormulaRecords, SharedCellsReadWithoutBuildingTrees) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  platform::MemoryStream stream(Book());
  const std::uint64_t unpacked = TXLSPackedTree::UnpackCount();
  const std::uint64_t decoded = TXLSFormula::DecodedTreeCount();
  ASSERT_EQ(book->OpenStream(stream), 1);
  EXPECT_EQ(TXLSPackedTree::UnpackCount(), unpacked);
  EXPECT_EQ(TXLSFormula::DecodedTreeCount(), decoded);
  ExpectFormulas(*book, "read");
}

TEST(FormulaRecords, SharedAndArrayFormulasReadSavedAndReadAgain) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  {
    platform::MemoryStream stream(Book());
    ASSERT_EQ(book->OpenStream(stream), 1);
  }
  ExpectFormulas(*book, "read");
  // Our save writes the array formula as FORMULA with ptgExp plus ARRAY; read again.
  platform::MemoryStream saved;
  ASSERT_EQ(book->SaveToStreamFormat(saved, 2), 1);
  IXLSWorkbook again = TXLSWorkbook::Create();
  saved.Seek(0, platform::SeekOrigin::Begin);
  ASSERT_EQ(again->OpenStream(saved), 1);
  ExpectFormulas(*again, "saved and read again");

  // A row inserted between row 1 and row 2: the shared cells' references follow their cells.
  IXLSWorksheet& s = *book->GetWorksheets().GetItem(1);
  s.GetRange(u"A2")->GetEntireRow()->Insert();
  EXPECT_EQ(FormulaText(s, u"B1"), u"=A3*10");
  EXPECT_EQ(FormulaText(s, u"B3"), u"=A4*10");
  EXPECT_EQ(s.GetRange(u"B1")->GetValue().NumberValue(), 20);
  EXPECT_EQ(FormulaText(s, u"C1"), u"{=A1:A3*2}");
  EXPECT_EQ(FormulaText(s, u"C3"), u"{=A1:A3*2}");
  // Overwriting the anchor leaves the member without an array formula: it shows nothing.
  s.GetRange(u"C1")->SetValue(Variant(7.0));
  EXPECT_TRUE(s.GetRange(u"C3")->GetFormula().IsEmpty());
  // ... and is not written as a cell of an array formula that no longer exists.
  platform::MemoryStream second;
  ASSERT_EQ(book->SaveToStreamFormat(second, 2), 1);
  IXLSWorkbook third = TXLSWorkbook::Create();
  second.Seek(0, platform::SeekOrigin::Begin);
  ASSERT_EQ(third->OpenStream(second), 1);
  EXPECT_EQ(third->GetWorksheets().GetItem(1)->GetCellFormula(2, 2), nullptr);
  EXPECT_EQ(third->GetWorksheets().GetItem(1)->GetRange(u"B1")->GetFormula().TextValue(), u"=A3*10");
}

// A FORMULA in column E with its cached result: a number, or FF FF in the last two bytes after
// a type (0 text in the STRING that follows, 1 Boolean, 2 error) and its value byte.
Bytes Cached(std::uint16_t row, const Bytes& tokens, const Bytes& result) {
  Bytes b = CellHead(row, 4);
  b.insert(b.end(), result.begin(), result.end());
  b.insert(b.end(), 6, 0);
  PutWord(b, static_cast<std::uint32_t>(tokens.size()));
  b.insert(b.end(), tokens.begin(), tokens.end());
  return b;
}

// Results the calculator cannot compute (ROMAN here) are those the file carried, also after the
// formula moved with its cells; a formula it computes shows its own result; one whose tokens
// cannot be read leaves the result as the cell's value. (The interop tests save them.)
TEST(FormulaRecords, CachedResultsKeptUntilCalculated) {
  BiffBuilder b;
  b.Bof(0x0005);
  Bytes sheet = {0, 0, 0, 0, 0, 0};
  PutString8(sheet, "Data", true);
  b.Record(0x0085, sheet).Eof().Bof(0x0010);
  const Bytes roman14 = {0x1E, 0x0E, 0x00, 0x42, 0x01, 0x62, 0x01};
  b.Record(0x0006, Cached(0, roman14, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  b.Record(0x0207, {3, 0, 0, 'X', 'I', 'V'});
  b.Record(0x0006, Cached(1, roman14, {1, 0, 1, 0, 0, 0, 0xFF, 0xFF}));
  b.Record(0x0006, Cached(2, roman14, {2, 0, 42, 0, 0, 0, 0xFF, 0xFF}));
  Bytes number;
  PutDouble(number, 12.5);
  b.Record(0x0006, Cached(3, {0x44, 0x00, 0x00, 0x00, 0xC0, 0x42, 0x01, 0x62, 0x01}, number));  // ROMAN(A1)
  b.Record(0x0006, Cached(4, {0x1E, 0x01, 0x00, 0x1E, 0x02, 0x00, 0x03}, number));             // 1+2
  b.Record(0x0006, Cached(5, {0xFF, 0xFF}, number));
  b.Eof();
  IXLSWorkbook book = TXLSWorkbook::Create();
  platform::MemoryStream stream(b.bytes);
  ASSERT_EQ(book->OpenStream(stream), 1);
  IXLSWorksheet& s = *book->GetWorksheets().GetItem(1);
  // A row inserted above: ROMAN(A1) becomes ROMAN(A2), a new formula that keeps the result.
  s.GetRange(u"A1")->GetEntireRow()->Insert();
  EXPECT_EQ(FormulaText(s, u"E5"), u"=ROMAN(A2)");
  auto at = [&](int r) { return s.GetRangeRC(r + 2, 5, r + 2, 5)->GetValue(); };
  EXPECT_EQ(at(0).TextValue(), u"XIV");
  EXPECT_TRUE(at(1).IsBoolean() && at(1).BooleanValue());
  EXPECT_TRUE(at(2).IsError() && at(2).ErrorCode() == 42);
  EXPECT_EQ(at(3).NumberValue(), 12.5);
  EXPECT_EQ(at(4).NumberValue(), 3);
  EXPECT_EQ(at(5).NumberValue(), 12.5);
  EXPECT_EQ(s.GetCellFormula(6, 4), nullptr);
  // A formula set anew has no result from the file.
  s.GetRange(u"E5")->SetValue(Variant(u"=ROMAN(A2)"));
  EXPECT_TRUE(s.GetRange(u"E5")->GetValue().IsEmpty());
}

}  // namespace
}  // namespace xls::test
