// Our BIFF8 and BIFF5 files read by programs no one here wrote: python3-xlrd (values, types,
// formats, sizes, merges, panes, page breaks, BOUNDSHEET offsets through on-demand loading),
// LibreOffice (values as CSV, formatting through its xlsx conversion), gnumeric's ssconvert
// and catdoc's xls2csv. The expectations go to the checkers as JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "io_test_support.h"
#include "xls/io/workbook_writer.h"
#include "xls/formula/names.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/codepage.h"
#include "xls/model/format_objects.h"
#include "xls/model/page_setup.h"
#include "xls/model/range.h"
#include "xls/model/xf_list.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

const std::u16string kLong = [] {
  std::u16string s;
  for (int i = 0; i < 5000; ++i) s += static_cast<char16_t>(u'a' + i % 26);
  return s;
}();
const std::u16string kForeign = u"\u041F\u0440\u0438\u0432\u0435\u0442, \u4E16\u754C \u0395\u03BB\u03BB\u03AC\u03B4\u03B1";

using test::Json;
using test::JsonNumber;

// A cell of the first sheet: what is stored, what xlrd gives, what a spreadsheet shows.
struct Cell {
  int row, column;
  Variant value;
  std::string type;                  // xlrd's kind
  std::vector<std::string> display;  // as spreadsheets show it; empty: the text itself
};

std::vector<Cell> FirstSheetCells() {
  return {
      {0, 0, Variant(u"Code"), "text", {}},
      {0, 1, Variant(u"Value"), "text", {}},
      {0, 3, Variant(u"Merged"), "text", {}},
      {1, 0, Variant(u"P-001"), "text", {}},
      {1, 1, Variant(u"1.50"), "text", {}},
      {2, 0, Variant(1234.5), "number", {"1234.5"}},
      {2, 1, Variant(-3.0), "number", {"-3"}},
      {3, 0, Variant(0.1), "number", {"0.1"}},
      {3, 1, Variant(123456789.125), "number", {"123456789.125"}},  // no RK form
      // LibreOffice shows a boolean whose cell has no boolean format as 1; gnumeric's CSV
      // writes dates in its own order and numbers without their format.
      {4, 0, Variant(true), "boolean", {"TRUE", "1"}},
      {4, 1, Variant::Date(45322.0), "date", {"2024-01-31", "2024/01/31"}},
      {4, 2, Variant(2.5), "number", {"2.50", "2.5"}},
      {5, 0, Variant(kLong), "text", {}},
      {6, 0, Variant(kForeign), "text", {}},
  };
}

IXLSWorkbook ReferenceWorkbook() {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->SetName(u"Values");
  sheet->GetRange(u"A1", u"B4")->SetHorizontalAlignment(-4108);
  for (const Cell& c : FirstSheetCells()) sheet->GetRangeRC(c.row + 1, c.column + 1, c.row + 1, c.column + 1)->SetValue(c.value);
  sheet->GetRange(u"A1", u"B1")->GetFont()->SetBold(true);
  sheet->GetRange(u"B5")->SetNumberFormat(u"yyyy-mm-dd");
  sheet->GetRange(u"C5")->SetNumberFormat(u"0.00");
  sheet->GetRange(u"D1", u"E2")->Merge();
  sheet->GetRange(u"A1")->SetColumnWidth(Variant(20.0));
  sheet->GetRange(u"A5")->SetRowHeight(Variant(30.0));
  sheet->FreezePanes(0, 1, 1, 0);
  sheet->GetHPageBreaks().AddBreak(10);
  sheet->GetVPageBreaks().AddBreak(3);
  sheet->GetPageSetup()->SetPrintArea(0, 0, 7, 4);
  sheet->GetPageSetup()->SetPrintTitleRows(u"$1:$1");
  IXLSWorksheet* second = book->GetWorksheets().Add();
  second->SetName(u"Second");
  second->GetRange(u"A1")->SetValue(Variant(u"x"));
  // A line break is a lone CR in BIFF5, which CSV writers treat each in their own way: it
  // stays on the sheet that only xlrd reads.
  second->GetRange(u"B1")->SetValue(Variant(u"two\nlines"));
  for (int r = 2; r <= 4; ++r) second->GetRangeRC(r, 1, r, 1)->SetValue(Variant(static_cast<double>(r)));
  book->GetWorksheets().GetItem(1)->Activate();
  return book;
}

// The text a BIFF5 file carries: 8-bit, cut to 255 bytes, line breaks as the text holds them.
std::u16string Biff5Text(const std::u16string& text) {
  std::string bytes = WideToAnsi(text);
  if (bytes.size() > 255) bytes.resize(255);
  return AnsiToWideCP(bytes);
}

// A number as Python's repr writes it: the fewest digits that read back, and a decimal point.
std::string Repr(double v) {
  char buf[32];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  const std::string s = buf;
  return s.find_first_of(".e") == std::string::npos ? s + ".0" : s;
}

// The lines of readback_dump.py's xlrd dump of the reference workbook that must match exactly
// (every value, the bold and centred cells, merges, panes, page breaks and names), sorted.
std::vector<std::string> XlrdFacts(int format) {
  const bool biff5 = format == kSaveBiff5;
  auto text = [&](const std::u16string& t) {
    std::string out;
    for (const char c : WideToUtf8(biff5 ? Biff5Text(t) : t)) out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    return out;
  };
  std::vector<std::string> facts = {
      "sheet 0 Values", "sheet 1 Second", "merged 0 0 2 3 5", "frozen 0 1 0", "breaks 0 10 | 3",
      "area 0 Print_Area 0 0 8 0 5", "area 0 Print_Titles 0 0 1 0 256", "cell 1 0 0 text x",
      "cell 1 0 1 text " + text(u"two\nlines"), "cell 1 1 0 number 2.0", "cell 1 2 0 number 3.0",
      "cell 1 3 0 number 4.0", "style 1 0 0 0 0", "style 1 0 1 0 0", "style 1 1 0 0 0", "style 1 2 0 0 0",
      "style 1 3 0 0 0"};
  for (const Cell& c : FirstSheetCells()) {
    const std::string at = "0 " + std::to_string(c.row) + " " + std::to_string(c.column) + " ";
    facts.push_back("style " + at + (c.row == 0 && c.column <= 1 ? "1 " : "0 ") + (c.row <= 3 && c.column <= 1 ? "1" : "0"));
    if (c.type == "text") facts.push_back("cell " + at + "text " + text(c.value.TextValue()));
    else if (c.type == "boolean") facts.push_back("cell " + at + "boolean 1");
    else facts.push_back("cell " + at + "number " + Repr(c.type == "date" ? 45322.0 : c.value.NumberValue()));
  }
  std::sort(facts.begin(), facts.end());
  return facts;
}

std::string Display(int format) {
  std::ostringstream j;
  j << "[";
  bool first = true;
  for (const Cell& c : FirstSheetCells()) {
    std::vector<std::u16string> shown;
    for (const std::string& d : c.display) shown.push_back(Utf8ToWide(d));
    if (shown.empty()) shown.push_back(format == kSaveBiff5 ? Biff5Text(c.value.TextValue()) : c.value.TextValue());
    j << (first ? "" : ", ") << "[" << c.row << ", " << c.column << ", \"" << c.type << "\", [";
    for (std::size_t i = 0; i < shown.size(); ++i) j << (i ? ", " : "") << Json(shown[i]);
    j << "]]";
    first = false;
  }
  return j.str() + "]";
}

class Interop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    IXLSWorkbook book = ReferenceWorkbook();
    std::string error;
    ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(Path(kSaveBiff8)), kSaveBiff8, &error), 1) << error;
    ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(Path(kSaveBiff5)), kSaveBiff5, &error), 1) << error;
    std::ofstream(dir_->File("peers.json"))
        << "{\"files\": [{\"path\": \"" << Path(kSaveBiff8) << "\", \"sheet\": \"Values\", \"xlsx\": true, \"display\": " << Display(kSaveBiff8)
        << "}, {\"path\": \"" << Path(kSaveBiff5) << "\", \"sheet\": \"Values\", \"display\": " << Display(kSaveBiff5) << "}]}";
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Path(int format) { return dir_->File(format == kSaveBiff5 ? "book5.xls" : "book8.xls"); }
  static std::string Script(const char* name) { return std::string(KV_SOURCE_DIR) + "/tests/xls/io/" + name; }
  static void RunPeers(const char* mode) {
    std::string out;
    int status = test::RunCommand("/usr/bin/python3 '" + Script("peers_check.py") + "' " + mode + " '" + dir_->Path() +
                                      "' '" + dir_->File("peers.json") + "'",
                                  out);
    EXPECT_EQ(status, 0) << out;
  }
  static test::TempDir* dir_;
};

test::TempDir* Interop::dir_ = nullptr;

// xlrd reads both files whole (without a warning in its log) and each sheet alone from the
// offset its BOUNDSHEET record gives.
TEST_F(Interop, XlrdReadsBiff8AndBiff5) {
  const int width = ReferenceWorkbook()->GetWorksheets().GetItem(1)->ColumnInfo().GetEntry(0)->width;
  for (int format : {kSaveBiff8, kSaveBiff5}) {
    std::string out;
    EXPECT_EQ(test::RunCommand("/usr/bin/python3 '" + Script("readback_dump.py") + "' xlrd '" + Path(format) + "'", out), 0)
        << out;
    std::vector<std::string> exact;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
      for (const char* kind : {"sheet ", "cell ", "style ", "merged ", "frozen ", "breaks ", "area ", "warning ", "on-demand "})
        if (line.rfind(kind, 0) == 0) exact.push_back(line);
    std::sort(exact.begin(), exact.end());
    EXPECT_EQ(exact, XlrdFacts(format)) << "format " << format << ":\n" << out;
    for (const std::string& line : {std::string("format 0 4 1 yyyy-mm-dd\n"), std::string("format 0 4 2 0.00\n"),
                                    "width 0 0 " + std::to_string(width) + "\n", std::string("row 0 4 600 ")})
      EXPECT_NE(out.find(line), std::string::npos) << "format " << format << " lacks " << line << " in:\n" << out;
  }
}

TEST_F(Interop, OwnOffsetCheckerAcceptsBothFiles) {
  for (int format : {kSaveBiff8, kSaveBiff5}) {
    const auto problems =
        test::CheckOffsets(test::ReadStream(test::ReadFileBytes(Path(format)), format == kSaveBiff5 ? u"Book" : u"Workbook"));
    EXPECT_TRUE(problems.empty()) << problems.front();
  }
}

TEST_F(Interop, LibreOfficeReadsValuesAndFormats) { RunPeers("libreoffice"); }
TEST_F(Interop, GnumericConvertsWithoutErrors) { RunPeers("gnumeric"); }
TEST_F(Interop, CatdocReadsTheTexts) { RunPeers("catdoc"); }


// ----- read back by outside readers: code pages, sheet names, borders, rows, numbers, strings --

// Facts an outside reader reports about our files (tests/xls/io/readback_dump.py), one a line.
class Readback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    std::string error;
    // BIFF5 in the Cyrillic and the Greek code page: texts in every 8-bit record kind.
    for (int codePage : {1251, 1253}) {
      IXLSWorkbook book = TXLSWorkbook::Create();
      book->SetCodePage(static_cast<std::uint16_t>(codePage));
      const bool cyrillic = codePage == 1251;
      IXLSWorksheet* first = book->GetWorksheets().Add();
      first->SetName(cyrillic ? u"Лист" : u"Φύλλο");
      IXLSWorksheet* second = book->GetWorksheets().Add();
      second->SetName(cyrillic ? u"Данные" : u"Δεδομένα");
      first->GetRange(u"A1")->SetValue(Variant(cyrillic ? u"Привет, мир" : u"Καλημέρα κόσμε"));
      first->GetRange(u"A2")->SetValue(Variant(u"café €5"));  // é: in 1253 no, in 1251 no
      first->GetRange(u"A3")->SetValue(Variant(cyrillic ? u"Ёлка №5" : u"ΑΒΓ ΆΈ"));
      first->GetRange(u"B1")->SetValue(Variant(2.5));
      first->GetRange(u"B1")->SetNumberFormat(cyrillic ? u"0.00\" руб.\"" : u"0.00\" δρχ\"");
      first->GetRange(u"A1")->GetFont()->SetName(cyrillic ? u"Шрифт" : u"Γραμματοσειρά");
      first->GetPageSetup()->SetCenterHeader(cyrillic ? u"Отчёт" : u"Αναφορά");
      second->GetRange(u"A1")->SetValue(Variant(cyrillic ? u"ещё" : u"ακόμα"));
      ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(File(codePage)), kSaveBiff5, &error), 1) << error;
    }
    // BIFF5 and BIFF8 in code page 1252: borders BIFF5 lacks, rows moved by an insert, NaN and
    // infinity, a surrogate pair at the SST's first CONTINUE.
    IXLSWorkbook book = TXLSWorkbook::Create();
    IXLSWorksheet* sheet = book->GetWorksheets().Add();
    sheet->SetName(u"Faults");
    struct Edge { const char16_t* cell; std::int32_t edge, style, weight; };
    for (const Edge& e : {Edge{u"B2", kBorderLeft, kLineDash, kWeightMedium},        // 8 medium dashed
                          Edge{u"C2", kBorderLeft, kLineDashDotDot, kWeightThin},    // 11
                          Edge{u"D2", kBorderTop, kLineSlantDashDot, kWeightMedium},  // 13
                          Edge{u"D2", kBorderBottom, kLineDashDot, kWeightMedium}}) {  // 10
      IXLSBorder border = sheet->GetRange(e.cell)->GetBorders()->GetItem(e.edge);
      border->SetLineStyle(e.style);
      border->SetWeight(e.weight);
    }
    for (const char16_t* cell : {u"B2", u"C2", u"D2"}) sheet->GetRange(cell)->SetValue(Variant(1.0));
    sheet->GetRange(u"A5")->SetValue(Variant(u"tall"));
    sheet->GetRange(u"A5")->SetRowHeight(Variant(30.0));
    sheet->GetRange(u"A4")->GetEntireRow()->Insert();  // the tall row becomes row 6
    sheet->GetRange(u"A7")->SetValue(Variant(std::nan("")));
    sheet->GetRange(u"B7")->SetValue(Variant(HUGE_VAL));
    sheet->GetRange(u"C7")->SetValue(Variant(-HUGE_VAL));
    std::u16string pairs = u"x";
    for (int i = 0; i < 3000; ++i) pairs += u"\U0001F600";
    sheet->GetRange(u"A8")->SetValue(Variant(pairs));
    ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(File(8)), kSaveBiff8, &error), 1) << error;
    sheet->GetRange(u"A8")->SetValue(Variant(u"short"));
    ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(File(5)), kSaveBiff5, &error), 1) << error;

    // A BIFF5 name that uses a sheet's name and calls an add-in. (gnumeric resolves a BIFF5
    // name only to the names read before it, so it is one of the sheet's, after Local;
    // LibreOffice reads no BIFF5 ptgNameX, not even in gnumeric's own BIFF5 files.)
    IXLSWorkbook named = TXLSWorkbook::Create();
    named->GetWorksheets().Add()->SetName(u"First");
    IXLSWorksheet* second = named->GetWorksheets().Add();
    second->SetName(u"Second");
    second->GetRange(u"B2")->SetValue(Variant(5.0));
    TXLSCustomNames& names = named->Formulas().Names();
    names.SheetList(second->GetSheetId())->Add(u"Local", u"=Second!$B$2", true);
    ASSERT_TRUE(names.SheetList(second->GetSheetId())->Add(u"Both", u"=Second!Local+GCD(4;6)", true));
    ASSERT_EQ(SaveWorkbookAs(*named, Utf8ToWide(File(55)), kSaveBiff5, &error), 1) << error;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string File(int kind) { return dir_->File("readback" + std::to_string(kind) + ".xls"); }
  static std::string Dump(const std::string& arguments) {
    std::string out;
    const int status = test::RunCommand("/usr/bin/python3 '" + std::string(KV_SOURCE_DIR) +
                                            "/tests/xls/io/readback_dump.py' " + arguments, out);
    EXPECT_EQ(status, 0) << out;
    return out;
  }
  static void ExpectLines(const std::string& dump, const std::vector<std::string>& lines, const std::string& who) {
    for (const std::string& line : lines)
      EXPECT_NE(dump.find(line + "\n"), std::string::npos) << who << " lacks \"" << line << "\" in:\n" << dump;
  }
  // What every reader must find in the two code-page files (xlsx readers name styles).
  static std::vector<std::string> CodePageFacts(int codePage, bool xlsx) {
    const bool cyrillic = codePage == 1251;
    std::vector<std::string> facts = {
        cyrillic ? "sheet 0 Лист" : "sheet 0 Φύλλο",
        cyrillic ? "sheet 1 Данные" : "sheet 1 Δεδομένα",
        cyrillic ? "cell 0 0 0 text Привет, мир" : "cell 0 0 0 text Καλημέρα κόσμε",
        cyrillic ? "cell 0 1 0 text caf? €5" : "cell 0 1 0 text caf? €5",
        cyrillic ? "cell 0 2 0 text Ёлка №5" : "cell 0 2 0 text ΑΒΓ ΆΈ",
        cyrillic ? "font 0 0 0 Шрифт" : "font 0 0 0 Γραμματοσειρά",
        cyrillic ? "format 0 0 1 0.00\" руб.\"" : "format 0 0 1 0.00\" δρχ\"",
        cyrillic ? "cell 1 0 0 text ещё" : "cell 1 0 0 text ακόμα",
    };
    if (xlsx) facts.push_back(cyrillic ? "header 0 &CОтчёт" : "header 0 &CΑναφορά");
    return facts;
  }
  static test::TempDir* dir_;
};

test::TempDir* Readback::dir_ = nullptr;

TEST_F(Readback, XlrdReadsBiff5TextInItsCodePage) {
  for (int codePage : {1251, 1253})
    ExpectLines(Dump("xlrd '" + File(codePage) + "'"), CodePageFacts(codePage, false), "xlrd " + std::to_string(codePage));
}

TEST_F(Readback, XlrdReadsBordersRowsErrorsAndSurrogates) {
  const std::vector<std::string> common = {
      // BIFF5 keeps each edge in its own field; BIFF8 has every style.
      "row 0 5 600 1",              // the custom height moved with its row
      "cell 0 5 0 text tall",
      "cell 0 6 0 error #NUM!", "cell 0 6 1 error #NUM!", "cell 0 6 2 error #NUM!",
  };
  const std::string biff5 = Dump("xlrd '" + File(5) + "'");
  ExpectLines(biff5, common, "xlrd BIFF5");
  ExpectLines(biff5, {"border 0 1 1 2 0 0 0", "border 0 1 2 4 0 0 0", "border 0 1 3 0 0 3 3"}, "xlrd BIFF5");
  const std::string biff8 = Dump("xlrd '" + File(8) + "'");
  ExpectLines(biff8, common, "xlrd BIFF8");
  ExpectLines(biff8, {"border 0 1 1 8 0 0 0", "border 0 1 2 11 0 0 0", "border 0 1 3 0 0 13 10"}, "xlrd BIFF8");
  std::u16string pairs = u"x";
  for (int i = 0; i < 3000; ++i) pairs += u"\U0001F600";
  ExpectLines(biff8, {"cell 0 7 0 text " + WideToUtf8(pairs)}, "xlrd BIFF8");
}

TEST_F(Readback, LibreOfficeAndGnumericReadTheSameFiles) {
  const std::string files = "'" + File(1251) + "' '" + File(1253) + "' '" + File(5) + "' '" + File(8) + "'";
  for (const char* reader : {"libreoffice", "gnumeric"}) {
    const bool gnumeric = std::string(reader) == "gnumeric";
    const std::string dump = Dump(std::string(reader) + " '" + dir_->Path() + "' " + files + (gnumeric ? " '" + File(55) + "'" : ""));
    // One file's facts at a time: each file's part of the dump starts at its "file" line.
    auto part = [&](const std::string& path) {
      std::size_t from = dump.find("file " + path + "\n");
      std::size_t to = dump.find("\nfile ", from + 1);
      return from == std::string::npos ? std::string() : dump.substr(from, to == std::string::npos ? std::string::npos : to - from + 1);
    };
    for (int codePage : {1251, 1253}) ExpectLines(part(File(codePage)), CodePageFacts(codePage, true), reader);
    ExpectLines(part(File(5)), {"row 0 5 600 1", "cell 0 6 0 error #NUM!", "cell 0 6 1 error #NUM!",
                                "border 0 1 1 medium - - -", "border 0 1 2 dotted - - -", "border 0 1 3 - - dashed dashed"},
                reader);
    if (gnumeric) ExpectLines(part(File(55)), {"name 1 Local Second!$B$2", "name 1 Both Second!Local+GCD(4,6)"}, reader);
    std::u16string pairs = u"x";
    for (int i = 0; i < 3000; ++i) pairs += u"\U0001F600";
    ExpectLines(part(File(8)), {"cell 0 7 0 text " + WideToUtf8(pairs), "cell 0 6 0 error #NUM!", "row 0 5 600 1",
                                "border 0 1 1 mediumDashed - - -", "border 0 1 2 dashDotDot - - -"},
                reader);
  }
}

// Workbooks that BIFF5 cannot hold are not written at all; the reason says why.
TEST(Biff5Limits, RefusedWithAReasonAndNoFile) {
  test::TempDir dir;
  std::string error;
  {
    IXLSWorkbook book = TXLSWorkbook::Create();
    book->SetCodePage(1252);
    book->GetWorksheets().Add()->SetName(u"Лист");
    book->GetWorksheets().Add()->SetName(u"Данные");
    EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir.File("names.xls")), kSaveBiff5, &error), -1);
    EXPECT_NE(error.find("code page 1252"), std::string::npos) << error;
    EXPECT_NE(error.find("Лист"), std::string::npos) << error;
    EXPECT_FALSE(std::ifstream(dir.File("names.xls")).good());
    book->SetCodePage(1251);
    EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir.File("names.xls")), kSaveBiff5, &error), 1) << error;
    std::string out;
    EXPECT_EQ(test::RunCommand("/usr/bin/python3 '" + std::string(KV_SOURCE_DIR) + "/tests/xls/io/readback_dump.py' xlrd '" +
                                   dir.File("names.xls") + "'", out), 0) << out;
    EXPECT_NE(out.find("sheet 0 Лист\nsheet 1 Данные\n"), std::string::npos) << out;
  }
  {
    IXLSWorkbook book = TXLSWorkbook::Create();
    IXLSWorksheet* sheet = book->GetWorksheets().Add();
    sheet->GetRangeRC(16384, 1, 16384, 1)->SetValue(Variant(1.0));
    EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir.File("rows.xls")), kSaveBiff5, &error), 1) << "row 16,384 is BIFF5's last";
    sheet->GetRangeRC(16385, 1, 16385, 1)->SetValue(Variant(2.0));
    EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir.File("rows2.xls")), kSaveBiff5, &error), -1);
    EXPECT_NE(error.find("past row 16384"), std::string::npos) << error;
    EXPECT_FALSE(std::ifstream(dir.File("rows2.xls")).good());
    EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir.File("rows2.xls")), kSaveBiff8, &error), 1) << error;
  }
}

}  // namespace
}  // namespace xls
