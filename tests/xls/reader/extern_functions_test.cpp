// Formulas of other programs that call functions through external names of the add-in book
// (gnumeric's LOG2, IFNA, BITAND, XOR; LibreOffice's IMSINH) and read the cached cells of
// another workbook (SUPBOOK, XCT, CRN): read, saved as BIFF8 and BIFF5 and read again, they
// stay formulas with their cached results, and the other book's cached cells stay with it.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "reader_test_support.h"
#include "xls/formula/extern_sheet.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::u16string Data(const std::string& name) {
  const std::string path = std::string(KV_TEST_DATA) + "/xls/" + name;
  return std::u16string(path.begin(), path.end());
}

IXLSWorkbook Reopened(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1) << book.GetLastSaveError();
  platform::MemoryStream stream(saved.Bytes());
  IXLSWorkbook again = TXLSWorkbook::Create();
  EXPECT_EQ(again->OpenStream(stream), 1);
  return again;
}

// "=TEXT" and the value as text ("3", "TRUE", "#N/A", "ext text") of a cell.
std::string Cell(TXLSWorkbook& book, const std::u16string& cell) {
  IXLSRange range = book.GetWorksheets().GetItem(1)->GetRange(cell);
  const Variant formula = range->GetFormula();
  const Variant value = range->GetValue();
  std::string out = formula.IsText() ? WideToUtf8(formula.TextValue()) : "-";
  out += " | ";
  if (value.IsBoolean()) out += value.BooleanValue() ? "TRUE" : "FALSE";
  else if (value.IsNumber()) out += std::to_string(value.NumberValue()).substr(0, 4);
  else if (value.IsText()) out += WideToUtf8(value.TextValue());
  else out += "other";
  return out;
}

TEST(ExternFunctions, GnumericAddInNamesStayFormulasThroughBothFormats) {
  for (const char* file : {"gnumeric_addin_functions.xls", "gnumeric_addin_functions_biff5.xls"}) {
    SCOPED_TRACE(file);
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Data(file)), 1);
    auto check = [](TXLSWorkbook& b, const char* what) {
      SCOPED_TRACE(what);
      EXPECT_EQ(Cell(b, u"B1"), "=LOG2(A1) | 3.00");
      EXPECT_EQ(Cell(b, u"B2"), "=IFNA(NA();5) | 5.00");
      EXPECT_EQ(Cell(b, u"B3"), "=BITAND(12;10) | 8.00");
      EXPECT_EQ(Cell(b, u"B4"), "=XOR(TRUE();FALSE()) | TRUE");
      EXPECT_EQ(Cell(b, u"C1"), "=B1*2 | 6.00");
    };
    check(*book, "opened");
    check(*Reopened(*book, 2), "saved as BIFF8");
    check(*Reopened(*book, 1), "saved as BIFF5");
  }
}

TEST(ExternFunctions, LibreOfficeExternalCellsAndAddInName) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Data("lo_external_cache.xls")), 1);
  auto check = [](TXLSWorkbook& b, const char* what) {
    SCOPED_TRACE(what);
    const std::string other = R"('\tmp\kv-extern-gone\[other.xls]Src'!)";
    EXPECT_EQ(Cell(b, u"A1"), "=" + other + "A1*2 | 22.0");
    EXPECT_EQ(Cell(b, u"A2"), "=SUM(" + other + "A2:B2) | 33.0");
    EXPECT_EQ(Cell(b, u"B4"), "=IMSINH(A4) | 3.62686040784702");
    // The other book with its sheet and the cells read from it: A1 and B1 of row 0, A2 and
    // B2 of row 1.
    const TXLSSupBook& books = b.Formulas().Externs().SupBook();
    ASSERT_EQ(books.Count(), 3);
    int at = 0;
    while (at < books.Count() && (books.Item(at).ownBook || books.Item(at).addIn)) ++at;
    ASSERT_LT(at, books.Count());
    const TXLSSupBookItem& item = books.Item(at);
    EXPECT_EQ(item.sheetNames, std::vector<std::u16string>{u"Src"});
    ASSERT_EQ(item.caches.size(), 1u);
    EXPECT_EQ(item.caches[0].sheet, 0);
    ASSERT_EQ(item.caches[0].rows.size(), 2u);
    const TXLSExternRow& first = item.caches[0].rows[0];
    const TXLSExternRow& second = item.caches[0].rows[1];
    EXPECT_EQ(first.row, 0);
    EXPECT_EQ(second.row, 1);
    EXPECT_EQ(first.firstColumn, 0);
    ASSERT_EQ(first.values.size(), 2u);
    ASSERT_EQ(second.values.size(), 2u);
    EXPECT_EQ(first.values[0].number, 11);
    EXPECT_EQ(first.values[1].text, u"ext text");
    EXPECT_EQ(second.values[0].number, 15);
    EXPECT_EQ(second.values[1].number, 18);
  };
  check(*book, "opened");
  EXPECT_TRUE(book->GetReadLosses().empty());
  check(*Reopened(*book, 2), "saved as BIFF8");
  // BIFF5 names the other book's sheet by an EXTERNSHEET of its own, the cells after it.
  check(*Reopened(*book, 1), "saved as BIFF5");
  check(*Reopened(*Reopened(*book, 1), 2), "saved as BIFF5, then as BIFF8");
}

// LibreOffice's formulas that use defined names of another book: its EXTERNNAMEs are kept with
// their formulas (BIFF8), so the ptgNameX tokens name them again; BIFF5 keeps the names after the
// EXTERNSHEET of the book's sheet (without their formulas, which it cannot hold).
TEST(ExternFunctions, LibreOfficeNamesOfAnotherBook) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Data("lo_external_names.xls")), 1);
  EXPECT_TRUE(book->GetReadLosses().empty());
  // The names' formulas as LibreOffice wrote them ($A$1, $A$2:$B$2 and $B$1 of the book's sheet).
  const std::vector<Bytes> formulas = {{9, 0, 0x3A, 0, 0, 0, 0, 0, 0, 0, 0},
                                       {13, 0, 0x3B, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 0},
                                       {9, 0, 0x3A, 0, 0, 0, 0, 0, 0, 1, 0}};
  auto check = [&formulas](TXLSWorkbook& b, const char* what, bool biff8) {
    SCOPED_TRACE(what);
    const std::string other = R"('\tmp\kv-extern-names-gone\other.xls'!)";
    EXPECT_EQ(Cell(b, u"A1"), "=" + other + "MyName*2 | 22.0");
    EXPECT_EQ(Cell(b, u"A2"), "=SUM(" + other + "Pair) | 33.0");
    EXPECT_EQ(Cell(b, u"A3"), "=" + other + "TxtName | 0.00");
    const TXLSSupBook& books = b.Formulas().Externs().SupBook();
    ASSERT_EQ(books.Count(), 2);
    const TXLSSupBookItem& item = books.Item(books.Item(0).ownBook ? 1 : 0);
    EXPECT_EQ(item.externNames, (std::vector<std::u16string>{u"MyName", u"Pair", u"TxtName"}));
    ASSERT_EQ(item.nameDefs.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(item.nameDefs[i].formula, biff8 ? formulas[i] : Bytes{}) << i;
  };
  check(*book, "opened", true);
  check(*Reopened(*book, 2), "saved as BIFF8", true);
  IXLSWorkbook biff5 = Reopened(*book, 1);
  check(*biff5, "saved as BIFF5", false);
  EXPECT_TRUE(biff5->GetReadLosses().empty());
  check(*Reopened(*biff5, 1), "saved as BIFF5 twice", false);
}

// A call of the add-in book whose name is not among the book's EXTERNNAMEs (index 2 of one
// name), a reference to a sheet another book does not list (sheet 1 of one) and a name that book
// does not have (name 1 of none): none has a text, so none can be written in a format that
// cannot hold it, and a token would name nothing; they are read as formulas
// that could not be read (the cells keep their cached results and the losses are listed), and
// the workbook saves in both formats. A book whose path BIFF5 cannot hold is not cut.
TEST(ExternFunctions, CallsAndReferencesThatNameNothingKeepTheirResults) {
  BiffBuilder b;
  b.Bof(0x0005);
  Bytes sheet;
  PutDWord(sheet, 0);
  PutWord(sheet, 0);
  PutString8(sheet, "S", true);
  b.Record(0x0085, sheet);
  b.Record(0x01AE, {1, 0, 1, 4});     // SUPBOOK: the own book, one sheet
  b.Record(0x01AE, {1, 0, 1, 0x3A});  // the add-in book
  Bytes name = {0, 0, 0, 0, 0, 0};
  PutString8(name, "LOG2", true);
  name.insert(name.end(), {2, 0, 0x1C, 0x17});
  b.Record(0x0023, name);
  Bytes other;  // another book with one sheet
  PutWord(other, 1);
  PutString8(other, "\x01other.xls");
  PutString8(other, "Src");
  b.Record(0x01AE, other);
  Bytes far;  // a book whose path is longer than a BIFF5 EXTERNSHEET holds
  PutWord(far, 1);
  PutString8(far, "\x01" + std::string(300, 'd') + "\x03" "far.xls");
  PutString8(far, "Far");
  b.Record(0x01AE, far);
  Bytes externs;  // EXTERNSHEET: the add-in book, sheet 1 (of 0..0) of the other book, sheet 0 of the far one
  for (std::uint32_t v : {3u, 1u, 0xFFFEu, 0xFFFEu, 2u, 1u, 1u, 3u, 0u, 0u}) PutWord(externs, v);
  b.Record(0x0017, externs);
  b.Eof().Bof(0x0010);
  auto formula = [&b](std::uint16_t row, double cached, const Bytes& tokens) {
    Bytes f;
    for (std::uint32_t v : {static_cast<std::uint32_t>(row), 1u, 15u}) PutWord(f, v);
    PutDouble(f, cached);
    PutWord(f, 0);
    PutDWord(f, 0);
    PutWord(f, static_cast<std::uint32_t>(tokens.size()));
    f.insert(f.end(), tokens.begin(), tokens.end());
    b.Record(0x0006, f);
  };
  formula(0, 3, {0x39, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x42, 0x01, 0xFF, 0x00});  // name 2 of the add-in book
  formula(1, 4, {0x5A, 0x01, 0x00, 0x00, 0x00, 0x00, 0xC0});                            // sheet 1 of other.xls
  formula(2, 5, {0x39, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x42, 0x01, 0xFF, 0x00});  // LOG2()
  formula(3, 6, {0x39, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00});                            // name 1 of other.xls
  b.Eof();
  IXLSWorkbook book = TXLSWorkbook::Create();
  platform::MemoryStream stream(b.bytes);
  ASSERT_EQ(book->OpenStream(stream), 1);
  EXPECT_EQ(Cell(*book, u"B1"), "- | 3.00");
  EXPECT_EQ(Cell(*book, u"B2"), "- | 4.00");
  EXPECT_EQ(Cell(*book, u"B3"), "=LOG2() | 5.00");
  EXPECT_EQ(Cell(*book, u"B4"), "- | 6.00");
  ASSERT_EQ(book->GetReadLosses().size(), 1u);
  EXPECT_NE(WideToUtf8(book->GetReadLosses()[0]).find("3 formulas that could not be read"), std::string::npos)
      << WideToUtf8(book->GetReadLosses()[0]);
  for (int format : {2, 1}) {
    IXLSWorkbook again = Reopened(*book, format);
    EXPECT_EQ(Cell(*again, u"B1"), "- | 3.00");
    EXPECT_EQ(Cell(*again, u"B3"), "=LOG2() | 5.00");
    EXPECT_EQ(Cell(*again, u"B4"), "- | 6.00");
  }
  // BIFF5 has no room for the far book's sheet (its EXTERNSHEET name passes 255 bytes): no
  // record names it, not even a cut one.
  platform::MemoryStream saved;
  ASSERT_EQ(book->SaveToStreamFormat(saved, 1), 1);
  platform::CompoundFileReader file;
  ASSERT_TRUE(file.Open(saved.Bytes()));
  Bytes records;
  file.ReadStream(file.Find(platform::CompoundFileReader::kRoot, u"Book"), records);
  const std::string ds(250, 'd');
  EXPECT_EQ(std::search(records.begin(), records.end(), ds.begin(), ds.end()), records.end());
}

// BIFF5 names of another book follow the EXTERNSHEET of its sheet, and formulas name them by
// that position: a definition that is not an error constant names sheets by positions a save
// numbers anew, so it is listed as lost (the names and the results stay); a third name, which
// the book lacks, makes a formula that could not be read. A call through a name of the book
// (a macro of it) is kept with its book.
TEST(ExternFunctions, Biff5NamesOfAnotherBook) {
  BiffBuilder b;
  b.Bof(0x0005, 0x0500);
  b.Record(0x0085, {0, 0, 0, 0, 0, 0, 1, 'S'});
  b.Record(0x0016, {1, 0});
  const std::string other = "\x01[other.xls]Src";
  Bytes sheet = {static_cast<std::uint8_t>(other.size())};
  sheet.insert(sheet.end(), other.begin(), other.end());
  b.Record(0x0017, sheet);
  b.Record(0x0023, {0, 0, 0, 0, 0, 0, 6, 'M', 'y', 'N', 'a', 'm', 'e', 3, 0, 0x1E, 1, 0});  // =1
  b.Record(0x0023, {0, 0, 0, 0, 0, 0, 5, 'O', 't', 'h', 'e', 'r', 2, 0, 0x1C, 0x17});        // =#REF!
  b.Eof().Bof(0x0010, 0x0500);
  for (std::uint32_t name : {1u, 2u, 3u, 4u}) {
    Bytes f;
    for (std::uint32_t v : {name - 1, 1u, 15u}) PutWord(f, v);
    PutDouble(f, 6 + name);
    PutWord(f, 0);
    PutDWord(f, 0);
    PutWord(f, name == 4 ? 29 : 25);
    Bytes token = {0x39, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(name == 4 ? 1 : name), 0};
    token.resize(25, 0);
    if (name == 4) token.insert(token.end(), {0x42, 1, 0xFF, 0});
    f.insert(f.end(), token.begin(), token.end());
    b.Record(0x0006, f);
  }
  b.Eof();
  IXLSWorkbook book = TXLSWorkbook::Create();
  platform::MemoryStream stream(b.bytes);
  ASSERT_EQ(book->OpenStream(stream), 1);
  std::string losses;
  for (const auto& loss : book->GetReadLosses()) losses += WideToUtf8(loss) + "\n";
  EXPECT_NE(losses.find("a formula that could not be read"), std::string::npos) << losses;
  EXPECT_NE(losses.find("the definition of a name of another workbook"), std::string::npos) << losses;
  for (const IXLSWorkbook& read : {book, Reopened(*book, 2), Reopened(*book, 1)}) {
    EXPECT_EQ(Cell(*read, u"B1"), "='other.xls'!MyName | 7.00");
    EXPECT_EQ(Cell(*read, u"B2"), "='other.xls'!Other | 8.00");
    EXPECT_EQ(Cell(*read, u"B3"), "- | 9.00");
    EXPECT_EQ(Cell(*read, u"B4"), "='other.xls'!MyName() | 10.0");
  }
}

}  // namespace
}  // namespace xls::test
