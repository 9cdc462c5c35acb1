// Workbooks of gnumeric, LibreOffice and xlwt (tests/data/xls, gen_outside_losses.py and
// gen_extern_functions.py) and built ones: names without a formula, empty text results, outline
// flags, built-in names behind a macro sheet, calls of the add-in book and other books' cached
// cells and names are kept through our saves; tab colours, refused sheet names and what cannot
// be read are listed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "reader_test_support.h"
#include "xls/formula/extern_sheet.h"
#include "xls/formula/names.h"
#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/cell_store.h"
#include "xls/model/codepage.h"
#include "xls/model/page_setup.h"
#include "xls/model/range.h"
#include "xls/model/row_col_info.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::u16string>;

IXLSWorkbook Opened(const std::string& name) {
  const std::string path = std::string(KV_TEST_DATA) + "/xls/" + name;
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->Open(std::u16string(path.begin(), path.end())), 1) << name;
  return book;
}

IXLSWorkbook Read(const Bytes& bytes) {
  platform::MemoryStream stream(bytes);
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->OpenStream(stream), 1);
  return book;
}

IXLSWorkbook SavedAndOpened(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1) << book.GetLastSaveError();
  return Read(saved.Bytes());
}

IXLSWorksheet& SheetAt(TXLSWorkbook& book, int i) { return *book.GetWorksheets().GetItem(i); }

// "B1 =TEXT | value" lines of the first sheet's cells ("-" without a formula text).
std::string Cells(TXLSWorkbook& book, std::initializer_list<const char16_t*> cells) {
  std::string out;
  for (const char16_t* cell : cells) {
    if (!book.GetWorksheets().GetItem(1)) return "no sheet";
    IXLSRange range = SheetAt(book, 1).GetRange(cell);
    const Variant formula = range->GetFormula();
    out += WideToUtf8(cell) + " " + (formula.IsText() ? WideToUtf8(formula.TextValue()) : "-") + " | " +
           WideToUtf8(range->GetValue().ToText()) + "\n";
  }
  return out;
}

// Other books' sheets, names (sheet and formula bytes) and cached cells.
std::string OtherBooks(TXLSWorkbook& book) {
  const TXLSSupBook& books = book.Formulas().Externs().SupBook();
  std::string out;
  for (int i = 0; i < books.Count(); ++i) {
    const TXLSSupBookItem& item = books.Item(i);
    if (item.ownBook || item.addIn) continue;
    out += "book";
    for (const auto& sheet : item.sheetNames) out += " " + WideToUtf8(sheet);
    for (std::size_t n = 0; n < item.externNames.size(); ++n) {
      out += "\nname " + WideToUtf8(item.externNames[n]) + " " + std::to_string(item.nameDefs[n].sheet);
      for (std::uint8_t b : item.nameDefs[n].formula) out += " " + std::to_string(b);
    }
    for (const TXLSExternCache& cache : item.caches)
      for (const TXLSExternRow& row : cache.rows) {
        out += "\ncache " + std::to_string(cache.sheet) + " row " + std::to_string(row.row) + " from " +
               std::to_string(row.firstColumn) + ":";
        for (const TXLSExternValue& v : row.values)
          out += v.kind == 2 ? " '" + WideToUtf8(v.text) + "'" : " " + std::to_string(v.kind) + "/" + std::to_string(v.number);
      }
    out += "\n";
  }
  return out;
}

// The records of the workbook stream of a save: id and body.
std::vector<std::pair<std::size_t, Bytes>> SavedRecords(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1) << book.GetLastSaveError();
  platform::CompoundFileReader file;
  Bytes stream;
  if (file.Open(saved.Bytes()))
    file.ReadStream(file.Find(platform::CompoundFileReader::kRoot, format == 1 ? u"Book" : u"Workbook"), stream);
  std::vector<std::pair<std::size_t, Bytes>> records;
  for (std::size_t at = 0; at + 4 <= stream.size();) {
    const std::size_t id = stream[at] | stream[at + 1] << 8, size = stream[at + 2] | stream[at + 3] << 8;
    if (at + 4 + size > stream.size()) break;
    records.emplace_back(id, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                   stream.begin() + static_cast<std::ptrdiff_t>(at + 4 + size)));
    at += 4 + size;
  }
  return records;
}

// A FORMULA record of column B with its cached number.
void Formula(BiffBuilder& b, std::uint32_t row, double cached, const Bytes& tokens) {
  Bytes f;
  for (std::uint32_t v : {row, 1u, 15u}) PutWord(f, v);
  PutDouble(f, cached);
  PutWord(f, 0);
  PutDWord(f, 0);
  PutWord(f, static_cast<std::uint32_t>(tokens.size()));
  f.insert(f.end(), tokens.begin(), tokens.end());
  b.Record(0x0006, f);
}

// gnumeric's =NOSUCHNAME keeps its name (a NAME record without a formula) and the cell its
// formula; the cell whose MIDB cannot be read keeps its empty text; "[Br]" and BIFF5's "????"
// become sheet names of ours, and the list says so. LibreOffice's two coloured tabs are listed.
TEST(OutsideLosses, NamesWithoutFormulaEmptyTextsRenamedSheetsAndTabColours) {
  const std::u16string unreadable =
      u"Sheet \"Names\": a formula that could not be read (its cell keeps the last result) was left out";
  const std::u16string br = u"Sheet \"Sheet2\": the name \"[Br]\", which the file format does not allow, was changed to \"Sheet2\"";
  IXLSWorkbook biff8 = Opened("gnumeric_names.xls");
  IXLSWorkbook biff5 = Opened("gnumeric_names_biff5.xls");
  EXPECT_EQ(biff8->GetReadLosses(), (Lines{br, unreadable}));
  EXPECT_EQ(biff5->GetReadLosses(),
            (Lines{br, u"Sheet \"Sheet3\": the name \"????\", which the file format does not allow, was changed to \"Sheet3\"",
                   unreadable}));
  EXPECT_EQ(Opened("lo_tab_colours.xls")->GetReadLosses(),
            (Lines{u"Sheet \"Red\": the tab colour was left out", u"Sheet \"Blue\": the tab colour was left out"}));
  for (const IXLSWorkbook& b : {biff8, biff5, SavedAndOpened(*biff8, 2), SavedAndOpened(*biff5, 2), SavedAndOpened(*biff5, 1)}) {
    const TXLSCustomName* name = b->Formulas().Names().FindByName(u"NOSUCHNAME");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->Formula(), nullptr);
    EXPECT_EQ(Cells(*b, {u"A1", u"A3"}), "A1 =NOSUCHNAME | #NAME?\nA3 ='Sheet2'!A1+1 | 6\n");
    const TXLSCellRef* a2 = SheetAt(*b, 1).Cells().FindCell(1, 0);
    ASSERT_TRUE(a2 && a2->Kind() == kCellString);
    EXPECT_EQ(b->StringTable().GetString(a2->StringIndex()), u"");
    EXPECT_EQ(SheetAt(*b, 2).GetName(), u"Sheet2");
  }
}

// xlwt's outline: rows 4-5 and column D at level 2 stay expanded, the collapsed marks of row 11
// and column E stay where they were, through BIFF8 and BIFF5 saves.
TEST(OutsideLosses, XlwtOutlineKeepsItsCollapsedMarks) {
  IXLSWorkbook book = Opened("xlwt_outline.xls");
  EXPECT_TRUE(book->GetReadLosses().empty());
  for (const IXLSWorkbook& b : {book, SavedAndOpened(*book, 2), SavedAndOpened(*book, 1)}) {
    const TXLSRowInfoList& rows = SheetAt(*b, 1).RowInfo();
    const TXLSColumnInfoList& columns = SheetAt(*b, 1).ColumnInfo();
    std::string outline;
    for (int r = 0; r < 12; ++r) outline += std::to_string(rows.GetOutlineLevel(r)) + (rows.IsCollapsed(r) ? "c" : "");
    EXPECT_EQ(outline, "11122111221c1");
    EXPECT_TRUE(rows.IsHidden(8) && rows.IsHidden(9) && !rows.IsHidden(3));
    EXPECT_EQ(columns.GetOutlineLevel(3), 2);
    EXPECT_TRUE(!columns.IsCollapsed(3) && columns.IsCollapsed(4));
  }
}

// A macro sheet ahead of "Data" (LibreOffice's BIFF8 file and gnumeric's BIFF5 copy of it, the
// first sheet patched into a macro sheet): the print area, print titles and filter of "Data"
// stay on "Data", and "Other"'s reference to Data!B2 still reads "Data".
TEST(OutsideLosses, MacroSheetAheadOfBuiltInNames) {
  for (const char* file : {"lo_macro_sheet.xls", "gnumeric_biff5_macro_sheet.xls"}) {
    SCOPED_TRACE(file);
    IXLSWorkbook book = Opened(file);
    EXPECT_EQ(book->GetReadLosses(), Lines{u"Workbook: a macro sheet was left out"});
    for (const IXLSWorkbook& b : {book, SavedAndOpened(*book, 2), SavedAndOpened(*book, 1)}) {
      ASSERT_EQ(b->GetWorksheets().GetCount(), 2);
      IXLSWorksheet& data = SheetAt(*b, 1);
      IXLSWorksheet& other = SheetAt(*b, 2);
      const TXLSPageSetup& page = *data.GetPageSetup();
      EXPECT_EQ(std::vector<int>({page.PrintAreaFirstRow(), page.PrintAreaFirstColumn(), page.PrintAreaLastRow(),
                                  page.PrintAreaLastColumn(), SheetRules(data).Autofilter().IsActive(),
                                  SheetRules(other).Autofilter().IsActive()}),
                std::vector<int>({0, 0, 4, 2, 1, 0}));
      EXPECT_EQ(data.GetName() + u" " + page.GetPrintTitleRows() + u" " + other.GetPageSetup()->GetPrintArea() + u" " +
                    other.GetPageSetup()->GetPrintTitleRows() + u" " + other.GetRange(u"A1")->GetFormula().TextValue() +
                    u" " + other.GetRange(u"A1")->GetValue().ToText(),
                u"Data $1:$1   ='Data'!B2*2 20");
    }
  }
}

// gnumeric's LOG2, IFNA, BITAND and XOR (names of the add-in book the catalogue lacks), from its
// BIFF8 and BIFF5 files, stay formulas with their results through both saves.
TEST(ExternFunctions, GnumericAddInNamesStayFormulasThroughBothFormats) {
  const std::string cells = "B1 =LOG2(A1) | 3\nB2 =IFNA(NA();5) | 5\nB3 =BITAND(12;10) | 8\nB4 =XOR(TRUE();FALSE()) | TRUE\n";
  for (const char* file : {"gnumeric_addin_functions.xls", "gnumeric_addin_functions_biff5.xls"}) {
    IXLSWorkbook book = Opened(file);
    for (const IXLSWorkbook& b : {book, SavedAndOpened(*book, 2), SavedAndOpened(*book, 1)})
      EXPECT_EQ(Cells(*b, {u"B1", u"B2", u"B3", u"B4"}), cells) << file;
  }
}

// LibreOffice's references to the cells of another book ('\dir\[book.xls]Sheet'!A1) keep their
// texts, and the book its cached cells (XCT, CRN), through BIFF8 and BIFF5 (an EXTERNSHEET of the
// book's sheet, the cells after it); its IMSINH (an add-in name) stays a formula.
TEST(ExternFunctions, LibreOfficeExternalCellsAndAddInName) {
  IXLSWorkbook book = Opened("lo_external_cache.xls");
  EXPECT_TRUE(book->GetReadLosses().empty());
  const std::string other = R"('\tmp\kv-extern-gone\[other.xls]Src'!)";
  const std::string cells = "A1 =" + other + "A1*2 | 22\nA2 =SUM(" + other + "A2:B2) | 33\nB4 =IMSINH(A4) | 3.62686040784702\n";
  const std::string books = "book Src\ncache 0 row 0 from 0: 1/11.000000 'ext text'\ncache 0 row 1 from 0: 1/15.000000 1/18.000000\n";
  for (const IXLSWorkbook& b : {book, SavedAndOpened(*book, 2), SavedAndOpened(*book, 1),
                                SavedAndOpened(*SavedAndOpened(*book, 1), 2)}) {
    EXPECT_EQ(Cells(*b, {u"A1", u"A2", u"B4"}), cells);
    EXPECT_EQ(OtherBooks(*b), books);
  }
}

// LibreOffice's formulas that use names of another book ('\dir\other.xls'!Name): its EXTERNNAMEs
// are kept with their formulas in BIFF8; BIFF5 keeps the names after the EXTERNSHEET of the
// book's sheet, without the formulas it cannot hold.
TEST(ExternFunctions, LibreOfficeNamesOfAnotherBook) {
  IXLSWorkbook book = Opened("lo_external_names.xls");
  EXPECT_TRUE(book->GetReadLosses().empty());
  const std::string other = R"('\tmp\kv-extern-names-gone\other.xls'!)";
  const std::string cells = "A1 =" + other + "MyName*2 | 22\nA2 =SUM(" + other + "Pair) | 33\nA3 =" + other + "TxtName | 0\n";
  // $A$1, $A$2:$B$2 and $B$1 of the book's sheet, as LibreOffice wrote them.
  const std::string cache = "cache 0 row 0 from 0: 1/11.000000 'ext text'\ncache 0 row 1 from 0: 1/15.000000 1/18.000000\n";
  const std::string biff8 = "book Src\nname MyName 0 9 0 58 0 0 0 0 0 0 0 0\n"
                            "name Pair 0 13 0 59 0 0 0 0 1 0 1 0 0 0 1 0\nname TxtName 0 9 0 58 0 0 0 0 0 0 1 0\n" + cache;
  const std::string biff5 = "book Src\nname MyName 0\nname Pair 0\nname TxtName 0\n" + cache;
  IXLSWorkbook saved5 = SavedAndOpened(*book, 1);
  EXPECT_TRUE(saved5->GetReadLosses().empty());
  for (const auto& [b, names] : std::vector<std::pair<IXLSWorkbook, std::string>>{
           {book, biff8}, {SavedAndOpened(*book, 2), biff8}, {saved5, biff5}, {SavedAndOpened(*saved5, 1), biff5}}) {
    EXPECT_EQ(Cells(*b, {u"A1", u"A2", u"A3"}), cells);
    EXPECT_EQ(OtherBooks(*b), names);
  }
}

// A call of the add-in book whose name is not among its EXTERNNAMEs (index 2 of one), a reference
// to a sheet another book does not list (sheet 1 of one) and a name that book lacks have no text:
// they are formulas that could not be read (the cells keep their results, the loss is listed),
// and the workbook saves in both formats. BIFF5 cuts no record for a book whose path passes 255
// bytes.
TEST(ExternFunctions, CallsAndReferencesThatNameNothingKeepTheirResults) {
  BiffBuilder b;
  b.Bof(0x0005);
  Bytes sheet = {0, 0, 0, 0, 0, 0};
  PutString8(sheet, "S", true);
  b.Record(0x0085, sheet);
  b.Record(0x01AE, {1, 0, 1, 4});     // SUPBOOK: the own book, one sheet
  b.Record(0x01AE, {1, 0, 1, 0x3A});  // the add-in book and its LOG2
  Bytes name = {0, 0, 0, 0, 0, 0};
  PutString8(name, "LOG2", true);
  name.insert(name.end(), {2, 0, 0x1C, 0x17});
  b.Record(0x0023, name);
  for (const std::string& path : {std::string("\x01other.xls"), "\x01" + std::string(300, 'd') + "\x03" "far.xls"}) {
    Bytes other = {1, 0};
    PutString8(other, path);
    PutString8(other, path.size() > 20 ? "Far" : "Src");
    b.Record(0x01AE, other);
  }
  Bytes externs;  // EXTERNSHEET: the add-in book, sheet 1 (of 0..0) of other.xls, sheet 0 of far.xls
  for (std::uint32_t v : {3u, 1u, 0xFFFEu, 0xFFFEu, 2u, 1u, 1u, 3u, 0u, 0u}) PutWord(externs, v);
  b.Record(0x0017, externs);
  b.Eof().Bof(0x0010);
  Formula(b, 0, 3, {0x39, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x42, 0x01, 0xFF, 0x00});  // name 2 of the add-in book
  Formula(b, 1, 4, {0x5A, 0x01, 0x00, 0x00, 0x00, 0x00, 0xC0});                            // sheet 1 of other.xls
  Formula(b, 2, 5, {0x39, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x42, 0x01, 0xFF, 0x00});  // LOG2()
  Formula(b, 3, 6, {0x39, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00});                            // name 1 of other.xls
  IXLSWorkbook book = Read(b.Eof().bytes);
  const std::string cells = "B1 - | 3\nB2 - | 4\nB3 =LOG2() | 5\nB4 - | 6\n";
  EXPECT_EQ(Cells(*book, {u"B1", u"B2", u"B3", u"B4"}), cells);
  ASSERT_EQ(book->GetReadLosses().size(), 1u);
  EXPECT_NE(WideToUtf8(book->GetReadLosses()[0]).find("3 formulas that could not be read"), std::string::npos);
  EXPECT_EQ(Cells(*SavedAndOpened(*book, 2), {u"B1", u"B2", u"B3", u"B4"}), cells);
  platform::MemoryStream saved;
  ASSERT_EQ(book->SaveToStreamFormat(saved, 1), 1);
  EXPECT_EQ(Cells(*Read(saved.Bytes()), {u"B1", u"B2", u"B3", u"B4"}), cells);
  // BIFF5 has no room for far.xls's sheet: no record names it, not even a cut one.
  platform::CompoundFileReader file;
  ASSERT_TRUE(file.Open(saved.Bytes()));
  Bytes records;
  file.ReadStream(file.Find(platform::CompoundFileReader::kRoot, u"Book"), records);
  const std::string ds(250, 'd');
  EXPECT_EQ(std::search(records.begin(), records.end(), ds.begin(), ds.end()), records.end());
}

// BIFF5 names of another book follow the EXTERNSHEET of its sheet and formulas name them by that
// position; a call through one (a macro of the book) goes with its book. A definition other than
// an error constant names sheets by positions a save numbers anew: it is listed as lost, the
// name and the results stay. A third name, which the book lacks, is a formula that could not be
// read.
TEST(ExternFunctions, Biff5NamesOfAnotherBook) {
  BiffBuilder b;
  b.Bof(0x0005, 0x0500);
  b.Record(0x0085, {0, 0, 0, 0, 0, 0, 1, 'S'});
  b.Record(0x0016, {1, 0});
  const std::string other = "\x0F\x01[other.xls]Src";  // its length first
  b.Record(0x0017, Bytes(other.begin(), other.end()));
  b.Record(0x0023, {0, 0, 0, 0, 0, 0, 6, 'M', 'y', 'N', 'a', 'm', 'e', 3, 0, 0x1E, 1, 0});  // =1
  b.Record(0x0023, {0, 0, 0, 0, 0, 0, 5, 'O', 't', 'h', 'e', 'r', 2, 0, 0x1C, 0x17});        // =#REF!
  b.Eof().Bof(0x0010, 0x0500);
  for (std::uint8_t name : {1, 2, 3, 4}) {
    Bytes token = {0x39, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, name == 4 ? std::uint8_t{1} : name, 0};
    token.resize(25, 0);
    if (name == 4) token.insert(token.end(), {0x42, 1, 0xFF, 0});
    Formula(b, name - 1u, 6 + name, token);
  }
  IXLSWorkbook book = Read(b.Eof().bytes);
  std::string losses;
  for (const auto& loss : book->GetReadLosses()) losses += WideToUtf8(loss) + "\n";
  EXPECT_NE(losses.find("a formula that could not be read"), std::string::npos) << losses;
  EXPECT_NE(losses.find("the definition of a name of another workbook"), std::string::npos) << losses;
  for (const IXLSWorkbook& read : {book, SavedAndOpened(*book, 2), SavedAndOpened(*book, 1)})
    EXPECT_EQ(Cells(*read, {u"B1", u"B2", u"B3", u"B4"}),
              "B1 ='other.xls'!MyName | 7\nB2 ='other.xls'!Other | 8\nB3 - | 9\nB4 ='other.xls'!MyName() | 10\n");
}

// Excel's references to deleted sheets (gen_excel_records.py): an EXTERNSHEET entry of the own
// book that names no sheet. The formulas and the name Total that hold one read as #REF! in their
// text, calculate as #REF! and stay formulas through both saves; A3 keeps its name Total.
TEST(DeletedSheets, ReferencesAndNamesStayThroughSaves) {
  IXLSWorkbook book = Opened("excel_deleted_sheet.xls");
  EXPECT_TRUE(book->GetReadLosses().empty()) << WideToUtf8(book->GetReadLosses()[0]);
  const std::string cells =
      "A2 =SUM(#REF!B13:O132) | #REF!\nA3 =SUM(Total) | #REF!\nA4 =#REF!C5 | #REF!\nA5 =Good+1 | 6\n";
  const auto cellsOf = [](TXLSWorkbook& b) { return Cells(b, {u"A2", u"A3", u"A4", u"A5"}); };
  EXPECT_EQ(cellsOf(*book), cells);
  IXLSName total = book->GetNames()->GetItem(Variant(u"Total"));
  ASSERT_TRUE(total);
  EXPECT_EQ(WideToUtf8(total->GetRefersTo()), "=#REF!$B$13:$O$132");
  // Calculated again (the cached results gone): #REF!, and 5 + 1 where Good is not deleted.
  SheetAt(*book, 1).GetRange(u"A1")->SetValue(Variant(7));
  EXPECT_EQ(cellsOf(*book), cells.substr(0, cells.size() - 2) + "8\n");
  SheetAt(*book, 1).GetRange(u"A1")->SetValue(Variant(5));
  for (int format : {2, 1}) {
    IXLSWorkbook saved = SavedAndOpened(*book, format);
    EXPECT_EQ(cellsOf(*saved), cells) << format;
    EXPECT_TRUE(saved->GetReadLosses().empty()) << format;
  }
  // EXTERNSHEET names the deleted sheets with the words the file gave them (and Data as sheet 0).
  std::string externs;
  for (const auto& [id, body] : SavedRecords(*book, 2))
    if (id == 0x0017)
      for (std::size_t at = 2; at + 6 <= body.size(); at += 6)
        externs += std::to_string(body[at + 2] | body[at + 3] << 8) + ":" + std::to_string(body[at + 4] | body[at + 5] << 8) + " ";
  EXPECT_EQ(externs, "65535:65535 0:0 65534:65535 ");
  IXLSWorkbook biff5 = Opened("excel_biff5_deleted_sheet.xls");
  EXPECT_EQ(Cells(*biff5, {u"A2"}), "A2 =SUM(#REF!B13:O132) | #REF!\n");
  EXPECT_EQ(Cells(*SavedAndOpened(*biff5, 1), {u"A2"}), "A2 =SUM(#REF!B13:O132) | #REF!\n");
}

// A formula whose name is gone from the workbook has no NAME record to point at: it is not written
// with name number 0 (names count from 1) but as what it says.
TEST(DeletedSheets, NoFormulaNamesANameThatIsNotWritten) {
  IXLSWorkbook book = Opened("excel_deleted_sheet.xls");
  ASSERT_EQ(book->GetNames()->GetItem(Variant(u"Total"))->Delete(), 1);
  IXLSWorkbook saved = SavedAndOpened(*book, 2);
  EXPECT_EQ(Cells(*saved, {u"A3"}), "A3 =SUM(#NAME?) | =SUM(#NAME?)\n");
}

// A text longer than a cell holds (32,767 characters) is cut, and the list says so.
TEST(ExcelTexts, ATextLongerThanACellHoldsIsListed) {
  IXLSWorkbook book = Opened("excel_texts.xls");
  ASSERT_EQ(book->GetReadLosses().size(), 1u);
  EXPECT_NE(WideToUtf8(book->GetReadLosses()[0]).find("the end of a text longer than 32,767 characters"),
            std::string::npos);
  EXPECT_EQ(SheetAt(*book, 1).GetRange(u"A2")->GetValue().TextValue(), std::u16string(32767, u'x'));
}

// Font colours as read come back in both formats: black as index 0 and as 8, automatic (0x7FFF)
// and 64. A colour the program gives the cell in the font of index 0 is written (a new font, the
// fonts read stay); a colour 0 it sets is written as automatic.
TEST(ExcelTexts, FontColoursComeBackAsRead) {
  IXLSWorkbook book = Opened("excel_texts.xls");
  auto colours = [&book](int format) {
    std::string out;
    for (const auto& [id, body] : SavedRecords(*book, format))
      if (id == 0x0031 && body.size() >= 6) out += std::to_string(body[4] | body[5] << 8) + " ";
    return out;
  };
  const std::string read = "32767 32767 32767 32767 32767 8 0 64 ";
  EXPECT_EQ(colours(2), read);
  EXPECT_EQ(colours(1), read);
  SheetAt(*book, 1).GetRange(u"A4")->GetFont()->SetColorIndex(3);
  EXPECT_EQ(colours(2), read + "10 ");
  SheetAt(*book, 1).GetRange(u"A4")->GetFont()->SetColorIndex(kXlNone);
  EXPECT_EQ(colours(1), read + "32767 ");
}

// The functions of BIFF8 in a BIFF5 save: each is called through its name in the add-in book
// (ptgNameX of the add-in "document" after the sheet, ptgFuncVar 255), never by a number BIFF5
// does not know; SUM keeps its number. Read back, they are those functions again.
TEST(ExcelFunctions, Biff8FunctionsGoToBiff5AsAddInCalls) {
  IXLSWorkbook book = Opened("excel_biff8_functions.xls");
  std::string calls;  // per formula: what the tokens call
  for (const auto& [id, body] : SavedRecords(*book, 1)) {
    if (id != 0x0006 || body.size() < 26) continue;
    const Bytes tokens(body.begin() + 22, body.end());
    const std::size_t last = tokens.size() - 4;
    calls += (tokens[0] == 0x39 ? "namex " + std::to_string(tokens[1]) + "." + std::to_string(tokens[11]) + " " : "") +
             std::to_string(tokens[last + 1]) + ":" + std::to_string(tokens[last + 2] | tokens[last + 3] << 8) + "\n";
  }
  // The add-in document is EXTERNSHEET 2 (after the sheet), its names AVERAGEA to HYPERLINK 1..5.
  EXPECT_EQ(calls, "namex 2.1 2:255\nnamex 2.2 2:255\nnamex 2.3 2:255\nnamex 2.4 2:255\nnamex 2.5 3:255\n1:4\n");
  platform::MemoryStream saved;
  ASSERT_EQ(book->SaveToStreamFormat(saved, 1), 1);
  IXLSWorkbook read = Read(saved.Bytes());
  EXPECT_EQ(Cells(*read, {u"A2", u"A6"}), "A2 =AVERAGEA(A1:C1) | 1\nA6 =HYPERLINK(\"http://x.org\";\"x\") | x\n");
}

}  // namespace
}  // namespace xls::test
